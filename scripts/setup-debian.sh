#!/bin/bash
# Installs every Debian package the build, the tests and the examples need.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $(grep -v '^#' scripts/debian-packages.txt) >/dev/null

#!/bin/bash
# Installs every Debian package the build, the tests and the examples need;
# does nothing (and needs no root) when they are all installed already.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_packages scripts/debian-packages.txt

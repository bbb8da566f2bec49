#!/bin/bash
# Installs every Debian package the build, the tests and the examples need;
# does nothing (and needs no root) when they are all installed already.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=$(grep -v '^#' scripts/debian-packages.txt)
# shellcheck disable=SC2086
if dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | grep -qv '^install ok installed$' \
  || [ "$(dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | wc -l)" -ne "$(echo "$packages" | wc -w)" ]; then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -qq --no-install-recommends $packages >/dev/null
fi

#!/bin/bash
# Installs every Debian package the build, the tests and the examples need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libpng-dev zlib1g-dev libjpeg62-turbo-dev libjpeg-turbo-progs \
  libcli11-dev libdime-dev libcairo2-dev fonts-dejavu-core g++-multilib \
  python3 python3-pil python3-numpy python3-ezdxf \
  imagemagick ffmpeg >/dev/null

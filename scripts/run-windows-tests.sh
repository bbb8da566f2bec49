#!/bin/bash
# Builds the project for its home platform, 32-bit Windows (mingw-w64 i686),
# and runs its tests under Wine. Each stage is a function; main at the end
# runs them in order.
#   scripts/run-windows-tests.sh
# Folders (relative to the checkout, or absolute): RASTELLO_WINDOWS_BUILD
# (default build-windows), RASTELLO_WINDOWS_DEPS (default build-windows-deps,
# where libpng is installed), RASTELLO_LINUX_BUILD (default build: the Linux
# build the module's end-to-end suite compares with; zulan, the module and
# rastello-encode are built there when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${RASTELLO_WINDOWS_BUILD:-build-windows}")
deps=$(realpath -m "${RASTELLO_WINDOWS_DEPS:-build-windows-deps}")
linux=$(realpath -m "${RASTELLO_LINUX_BUILD:-build}")
jobs=$(nproc)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

# The cross compiler, Wine (32-bit, from the i386 architecture) and the rest
# of scripts/debian-packages-windows.txt; nothing to do, and no root needed,
# when they are all there.
install_packages() {
  local packages update=0
  packages=$(grep -v '^#' scripts/debian-packages-windows.txt)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    update=1
  fi
  # shellcheck disable=SC2086
  if [ "$update" = 1 ] || dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | grep -qv '^install ok installed$' \
    || [ "$(dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | wc -l)" -ne "$(echo "$packages" | wc -w)" ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $packages >/dev/null
  fi
}

build_libpng() {
  bash scripts/build-windows-libpng.sh "$deps"
}

# Warnings are errors, and ccache keeps the objects between runs, as in the
# Linux builds.
build_project() {
  local launcher=""
  if command -v ccache >/dev/null; then
    launcher="env;CCACHE_SLOPPINESS=pch_defines,time_macros;ccache"
  fi
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_PREFIX_PATH="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DRASTELLO_TESTS=ON \
    -DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" >/dev/null
  cmake --build "$build" -j"$jobs"
}

# A Wine prefix of this run's own (the path must be absolute), removed at
# the end with the wineserver that ran in it and its programs.
start_wine() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/rastello-wine.XXXXXX")
  export WINEPREFIX WINEDEBUG=-all
  trap stop_wine EXIT
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

# The encoding library's tests: its Linux suite built for Windows, the
# bytes compared with the Linux build's, and the Windows-only checks.
run_library_tests() {
  ctest --test-dir "$build" -L library --no-tests=error --output-on-failure -j"$jobs"
}

# The module's DLL in the Windows test host against the Linux build: every
# command and both export filters on the bundled drawings. Its own Wine
# prefix, since its dialogs need Wine's null display driver.
run_module_tests() {
  if [ ! -x "$linux/bin/zulan" ] || [ ! -x "$linux/tools/rastello-encode" ]; then
    cmake -S . -B "$linux" >/dev/null
  fi
  cmake --build "$linux" -j"$jobs" --target zulan rastello rastello-encode >/dev/null
  bash tests/host/windows/endtoend.sh "$linux" "$build" "$build/endtoend"
}

main() {
  local start=$SECONDS
  install_packages
  build_libpng
  echo "libpng: $((SECONDS - start)) s"
  start=$SECONDS
  build_project
  echo "build: $((SECONDS - start)) s"
  start=$SECONDS
  start_wine
  run_library_tests
  echo "library tests under Wine: $((SECONDS - start)) s"
  start=$SECONDS
  run_module_tests
  echo "module end to end under Wine: $((SECONDS - start)) s"
}

main "$@"

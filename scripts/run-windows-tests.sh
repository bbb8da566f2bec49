#!/bin/bash
# Builds the project for its home platform, 32-bit Windows (mingw-w64 i686),
# and runs its tests under Wine. Each stage is a function; main at the end
# runs them in order.
#   scripts/run-windows-tests.sh
# Folders (relative to the checkout, or absolute): RASTELLO_WINDOWS_BUILD
# (default build-windows), RASTELLO_WINDOWS_DEPS (default build-windows-deps,
# where libpng is installed), RASTELLO_LINUX_BUILD (default build: the Linux
# build the module's end-to-end suite and the byte comparison compare with;
# zulan, the module, rastello-encode and the byte driver are built there
# when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${RASTELLO_WINDOWS_BUILD:-build-windows}")
deps=$(realpath -m "${RASTELLO_WINDOWS_DEPS:-build-windows-deps}")
linux=$(realpath -m "${RASTELLO_LINUX_BUILD:-build}")
jobs=$(nproc)

source scripts/common.sh

# The cross compiler, Wine (32-bit, from the i386 architecture) and the rest
# of scripts/debian-packages-windows.txt; nothing to do, and no root needed,
# when they are all there.
install_windows_packages() {
  add_i386_architecture
  install_packages scripts/debian-packages-windows.txt
}

build_libpng() {
  bash scripts/build-windows-libpng.sh "$deps"
}

# Warnings are errors, and ccache keeps the objects between runs, as in the
# Linux builds; a unity build without debug information, as the plain
# build, for its compile time.
# The byte comparison takes the Linux build's byte driver.
build_project() {
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_PREFIX_PATH="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DRASTELLO_TESTS=ON \
    -DRASTELLO_LINUX_BUILD="$linux" "${CCACHE_ARGS[@]}" >/dev/null
  cmake --build "$build" -j"$jobs"
}

# What the Windows build is compared with: zulan, the module, the tool and
# the byte driver in the Linux build, configured there when missing.
build_linux() {
  if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" "${CCACHE_ARGS[@]}" >/dev/null
  fi
  cmake --build "$linux" -j"$jobs" --target zulan rastello rastello-encode jpeg_bytes_driver >/dev/null
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
  bash tests/host/windows/endtoend.sh "$linux" "$build" "$build/endtoend"
}

main() {
  local start=$SECONDS
  # Wine and the cross compiler come from the mirror's i386 lists. When
  # those lists could not be fetched (a mirror in mid-sync serves them
  # failing their checks, and the i386 libraries then lag the installed
  # amd64 ones), that is no fault of the code: say so plainly and leave the
  # rest of the run its verdict. Any other failure to install is one.
  if ! install_windows_packages; then
    if [ "${RASTELLO_APT_LISTS_FAILED:-}" != 1 ]; then return 1; fi
    echo "== Windows build under Wine: SKIPPED: the mirror's lists failed, so its packages cannot be installed" >&2
    echo "   (scripts/debian-packages-windows.txt; rerun scripts/run-windows-tests.sh once apt-get update succeeds)" >&2
    return 0
  fi
  build_libpng
  echo "libpng: $((SECONDS - start)) s"
  start=$SECONDS
  build_project
  build_linux
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

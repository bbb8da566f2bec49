#!/bin/bash
# Sets up a Debian machine, then builds and runs every test twice: a plain
# build and one under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
jobs=$(nproc)

# No two top-level folders may depend on each other, and the folders laid
# out by .clang-format stay so.
bash scripts/include-graph.sh >/dev/null
bash scripts/check-format.sh >/dev/null

# ccache, when installed, keeps compiled objects between runs on this
# machine (in its own folder: ~/.cache/ccache, or $CCACHE_DIR), so a rerun
# compiles only what changed. The tests' objects include a precompiled
# header, which ccache takes only with this sloppiness (nothing here uses
# __DATE__ or __TIME__). Without ccache the launcher is cleared, also in a
# build folder that had it.
launcher=""
if command -v ccache >/dev/null; then
  launcher="env;CCACHE_SLOPPINESS=pch_defines,time_macros;ccache"
fi
ccache=(-DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")

# Warnings are errors here: the code has none, and keeps it so.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${ccache[@]}" >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRASTELLO_SANITIZE=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  "${ccache[@]}" >/dev/null
cmake --build build-sanitize -j"$jobs"
# The external decoders (Pillow, ImageMagick, ffmpeg, djpeg) are other
# programs: the plain pass has run them, here they would only be slow.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE external

# The encoder's threads under ThreadSanitizer: the randomised comparison on
# two and three threads.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTELLO_THREAD_SANITIZE=ON "${ccache[@]}" >/dev/null
cmake --build build-tsan -j"$jobs" --target jpeg_randomised_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/JPEGsource/jpeg_randomised_tests --gtest_filter='Threads/*/1:Threads/*/2:JpegThreads.*'

# The module on its home platform, 32-bit Windows: the library's tests, the
# DLL in its Windows test host under Wine, compared with the plain build.
RASTELLO_LINUX_BUILD=build bash scripts/run-windows-tests.sh

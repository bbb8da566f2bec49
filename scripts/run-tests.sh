#!/bin/bash
# Sets up a Debian machine, then builds and runs every test twice: a plain
# build and one under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
jobs=$(nproc)

# No two top-level folders may depend on each other.
bash scripts/include-graph.sh >/dev/null

# Warnings are errors here: the code has none, and keeps it so.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRASTELLO_SANITIZE=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
# The external decoders (Pillow, ImageMagick, ffmpeg, djpeg) are other
# programs: the plain pass has run them, here they would only be slow.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE external

# The encoder's threads under ThreadSanitizer: the randomised comparison on
# two and three threads.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTELLO_THREAD_SANITIZE=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target jpeg_randomised_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/JPEGsource/jpeg_randomised_tests --gtest_filter='Threads/*/1:Threads/*/2:JpegThreads.*'

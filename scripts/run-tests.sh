#!/bin/bash
# Sets up a Debian machine, then builds and runs every test: a plain build
# (with the formatting and include-graph checks), one under AddressSanitizer
# and UndefinedBehaviorSanitizer, the encoder's threads under
# ThreadSanitizer, and the Windows build under Wine against the plain one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
source scripts/common.sh
jobs=$(nproc)

# Warnings are errors here: the code has none, and keeps it so. The
# product's files are compiled one by one, as a user's build does, so a
# missing include shows; the tests in batches (a unity build), which takes
# about a third less time. Without debug information, which took a third of
# the compile time: the sanitizer build below has it for any report.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DRASTELLO_UNITY_TESTS=ON \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" "${CCACHE_ARGS[@]}" >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# All of it a unity build: the plain build has compiled the product's files
# one by one. At -O0: at -O1 the compile took 1.7 times as long.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_UNITY_BUILD=ON -DRASTELLO_SANITIZE=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${CCACHE_ARGS[@]}" >/dev/null
cmake --build build-sanitize -j"$jobs"
# The external decoders (Pillow, ImageMagick, ffmpeg, djpeg) are other
# programs: the plain pass has run them, here they would only be slow; the
# style checks read only the sources.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE 'external|style'

# The encoder's threads under ThreadSanitizer: the randomised comparison on
# two and three threads.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON -DRASTELLO_THREAD_SANITIZE=ON "${CCACHE_ARGS[@]}" >/dev/null
cmake --build build-tsan -j"$jobs" --target jpeg_randomised_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/JPEGsource/jpeg_randomised_tests --gtest_filter='Threads/*/1:Threads/*/2:JpegThreads.*'

# The module on its home platform, 32-bit Windows: the library's tests, the
# DLL in its Windows test host under Wine, compared with the plain build.
RASTELLO_LINUX_BUILD=build bash scripts/run-windows-tests.sh

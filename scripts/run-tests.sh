#!/bin/bash
# Sets up a Debian machine, then builds and runs every test: a plain build
# (with the formatting and include-graph checks), one under AddressSanitizer
# and UndefinedBehaviorSanitizer, the encoder's threads under
# ThreadSanitizer, and the Windows build under Wine against the plain one.
#
# Two lanes share the cores from the start: the plain build, its tests and
# the sanitizer build with its tests; and beside them ThreadSanitizer, any
# fuzzing and the Windows build, whose tests wait for the plain build. Each
# alone leaves a core idle much of the time (tests winding down, programs
# under Wine one after another). The second lane's output is kept in a file
# and shown when it ends.
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
plain_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DRASTELLO_UNITY_TESTS=ON \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" "${CCACHE_ARGS[@]}" >/dev/null
  cmake --build build -j"$jobs"
}

plain_tests() {
  ctest --test-dir build --output-on-failure -j"$jobs"
}

# With clang, whose AddressSanitizer also finds a read of a variable whose
# scope has ended in another thread, which GCC's misses; with line tables,
# all a report needs. All of it a unity build: the plain build has compiled
# the product's files one by one. The product at -O1, where its vector code
# runs some ten times faster than unoptimised (the end-to-end tests draw and
# encode in zulan); the tests' own files at -O0, since their templates take
# far longer to optimise than they take to run.
# The external decoders (Pillow, ImageMagick, ffmpeg, djpeg) are other
# programs: the plain pass has run them, here they would only be slow; the
# style checks read only the sources.
sanitizers() {
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_UNITY_BUILD=ON -DRASTELLO_SANITIZE=ON \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
    -DRASTELLO_TEST_COMPILE_OPTIONS=-O0 \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${CCACHE_ARGS[@]}" >/dev/null
  cmake --build build-sanitize -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE 'external|style'
}

# The encoder's threads under ThreadSanitizer: the randomised comparison on
# two threads, the long end-of-band runs, and a conversion started while
# the picture is still being filled. Line tables (-g1) are all a report
# needs.
thread_sanitizer() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON -DRASTELLO_THREAD_SANITIZE=ON \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    "${CCACHE_ARGS[@]}" >/dev/null
  cmake --build build-tsan -j"$jobs" --target jpeg_randomised_tests jpeg_tests
  TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/JPEGsource/jpeg_randomised_tests --gtest_filter='Threads/*/1:JpegThreads.*'
  TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/JPEGsource/jpeg_tests --gtest_filter='EarlyConversion.*'
}

# The module on its home platform, 32-bit Windows: the library's tests, the
# DLL in its Windows test host under Wine, compared with the plain build.
windows() {
  RASTELLO_LINUX_BUILD=build bash scripts/run-windows-tests.sh
}

fuzz() {
  bash scripts/run-fuzz.sh "$RASTELLO_FUZZ_SECONDS"
}

# Each step's wall time in the log, where a run's minutes go.
timed() {
  local start=$SECONDS
  "$@"
  echo "== $1: $((SECONDS - start)) s"
}

work=$(mktemp -d "${TMPDIR:-/tmp}/rastello-tests.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The plain build, its tests and the sanitizers; "ok" in plain-build once
# the plain build is there (moved into place whole), anything else if it
# failed.
(
  trap '[ -e "$work/plain-build" ] || echo failed >"$work/plain-build"' EXIT
  timed plain_build
  echo ok >"$work/plain-build.new" && mv "$work/plain-build.new" "$work/plain-build"
  timed plain_tests
  timed sanitizers
) &
own=$!
# Beside it from the start: ThreadSanitizer and any fuzzing, which need no
# other build, then the Windows build, whose tests compare with the plain
# build's programs.
(
  timed thread_sanitizer
  # CI fuzzes too (RASTELLO_FUZZ_SECONDS a target), here beside the tests.
  if [ -n "${RASTELLO_FUZZ_SECONDS:-}" ]; then timed fuzz; fi
  while [ ! -e "$work/plain-build" ]; do sleep 1; done
  if [ "$(cat "$work/plain-build")" != ok ]; then
    echo "the plain build failed: no Windows tests"
    exit 1
  fi
  timed windows
) >"$work/lane.log" 2>&1 &
lane=$!
own_status=0
wait "$own" || own_status=$?
lane_status=0
wait "$lane" || lane_status=$?
echo "== ThreadSanitizer, any fuzzing, then the Windows build under Wine (exit status $lane_status):"
cat "$work/lane.log"
if [ "$own_status" != 0 ] || [ "$lane_status" != 0 ]; then
  echo "run-tests.sh: failed (the plain and sanitizer builds: $own_status; ThreadSanitizer, fuzzing and Windows: $lane_status)" >&2
  exit 1
fi

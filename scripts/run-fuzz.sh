#!/bin/bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 10), seeded with the bundled examples, the regression files and the
# corpora kept in fuzz/corpus/. A crash, leak, hang or sanitizer report
# stops the run with a nonzero status and leaves the input that caused it
# in build-fuzz/findings/.
#   bash scripts/run-fuzz.sh            # ten seconds each, as CI does
#   bash scripts/run-fuzz.sh 3600 dxf   # an hour on the DXF reader
set -euo pipefail
shopt -s extglob
cd "$(dirname "$0")/.."
seconds=${1:-10}
only=${2:-}
jobs=$(nproc)
source scripts/common.sh

# Line tables are all a report needs, and compile in far less time than
# full debug information; -O1, as libFuzzer's own guide builds, compiles in
# less time than -O2 for what ten seconds of fuzzing gain from it.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON -DRASTELLO_FUZZ=ON \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
  -DRASTELLO_TESTS=OFF "${CCACHE_ARGS[@]}" >/dev/null
targets=(dxf registry resourcescript menutext imagereader jpegencoder entityfile dialogwords settings)
cmake --build build-fuzz -j"$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}")

# Seeds per target: folders and files, whatever exists.
seeds_for() {
  case "$1" in
    dxf) echo examples tests/regressions ;;
    imagereader) echo examples/drawing.png ;;
    resourcescript) echo shell/rastello.rc ;;
    *) ;;
  esac
}

mkdir -p build-fuzz/findings
# libdime frees some names with the wrong delete and leaks parts of what it
# rejects, fontconfig keeps its cache: neither is ours to find.
export ASAN_OPTIONS=detect_leaks=1:alloc_dealloc_mismatch=0
export LSAN_OPTIONS=suppressions=$(pwd)/fuzz/lsan-suppressions.txt
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# One target: its seeds, its run, and whether it found anything.
fuzz_one() {
  local name=$1 corpus=build-fuzz/corpus/$1 seed
  mkdir -p "$corpus" "fuzz/corpus/$name"
  # Only files of the right kind from the shared folders.
  local seeds=()
  for seed in $(seeds_for "$name") "fuzz/corpus/$name"; do
    if [ -d "$seed" ] && [ "$name" = dxf ]; then
      seeds+=("$seed")
    elif [ -e "$seed" ]; then
      cp -r "$seed" "$corpus/" 2>/dev/null || true
    fi
  done
  # A drawing may cost up to the loader's limits (20 million insert visits
  # take about a second plain, ten times that under the sanitizers): the
  # timeout is for real hangs.
  rm -f build-fuzz/findings/"$name"-*   # findings of an earlier run are not this run's
  echo "== fuzz_$name for ${seconds}s"
  build-fuzz/fuzz/fuzz_$name -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- "$corpus" "${seeds[@]}" 2>&1 \
    | grep -E '^(==|#[0-9]+ +DONE|stat::number_of_executed_units|SUMMARY|INFO: Running with|ERROR)|artifact' || true
  # Slow units are only reported; crashes, leaks, hangs and memory blow-ups
  # are findings.
  if compgen -G "build-fuzz/findings/$name-@(crash|leak|timeout|oom)-*" >/dev/null; then
    echo "fuzz_$name found a problem: see build-fuzz/findings/"
    return 1
  fi
}

# Each fuzzer runs on one core: as many side by side as there are cores,
# each report printed whole once its target is done.
chosen=()
for name in "${targets[@]}"; do
  if [ -z "$only" ] || [ "$name" = "$only" ]; then chosen+=("$name"); fi
done
logs=$(mktemp -d "${TMPDIR:-/tmp}/rastello-fuzz.XXXXXX")
trap 'rm -rf "$logs"' EXIT
failed=0
for ((first = 0; first < ${#chosen[@]}; first += jobs)); do
  batch=("${chosen[@]:first:jobs}")
  pids=()
  for name in "${batch[@]}"; do
    fuzz_one "$name" >"$logs/$name" 2>&1 &
    pids+=($!)
  done
  for i in "${!batch[@]}"; do
    wait "${pids[$i]}" || failed=1
    cat "$logs/${batch[$i]}"
  done
done
if [ "$failed" != 0 ]; then exit 1; fi
echo "fuzzing: no findings"

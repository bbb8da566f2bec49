#!/bin/bash
# Builds the byte driver and the encoding library for 32-bit x86 with SSE2
# arithmetic, runs it and the native driver, and compares their digests.
#   compare-i686.sh COMPILER SOURCE_DIR NATIVE_DRIVER WORK_DIR
set -euo pipefail
compiler=$1 source=$2 native=$3 work=$4
mkdir -p "$work"
"$compiler" -m32 -msse2 -mfpmath=sse -O2 -std=c++17 -ffp-contract=off -Wall -Wextra -Werror \
  -I"$source/Graphics" -I"$source/Graphics/JPEGsource" \
  "$source"/Graphics/*.cpp "$source"/Graphics/JPEGsource/*.cpp "$source/tests/JPEGsource/bytes_driver.cpp" \
  -pthread -o "$work/bytes_driver_i686"
"$native" > "$work/native.txt"
"$work/bytes_driver_i686" > "$work/i686.txt"
diff "$work/native.txt" "$work/i686.txt"
echo "$(wc -l < "$work/native.txt") writes: the same bytes on x86-64 and i686"

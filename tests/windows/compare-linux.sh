#!/bin/bash
# Runs the byte driver built for Linux and the one built for Windows (under
# the emulator, Wine) and compares their digests of every JPEG and BMP write.
#   compare-linux.sh LINUX_DRIVER WINDOWS_DRIVER WORK_DIR EMULATOR...
set -uo pipefail
linux=$1 windows=$2 work=$3
shift 3
mkdir -p "$work"
status=0
"$linux" > "$work/linux.txt" || { echo "the Linux driver failed"; status=1; }
# The Windows program's C runtime ends its lines with CR LF.
"$@" "$windows" | tr -d '\r' > "$work/windows.txt" || { echo "the Windows driver failed"; status=1; }
grep -h FAILED "$work/linux.txt" "$work/windows.txt"
if ! diff "$work/linux.txt" "$work/windows.txt"; then
  status=1
elif [ ! -s "$work/linux.txt" ]; then
  echo "the drivers printed nothing"
  status=1
fi
[ "$status" = 0 ] && echo "$(wc -l < "$work/linux.txt") writes: the same bytes on Linux and Windows"
exit "$status"

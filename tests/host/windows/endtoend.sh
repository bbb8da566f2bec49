#!/bin/bash
# The module's Windows DLL in its Windows test host (zulan32.exe) under
# Wine, against the Linux build in zulan:
#   tests/host/windows/endtoend.sh LINUX_BUILD WINDOWS_BUILD [WORK]
# For every bundled drawing, zulan writes the plain geometry and both hosts
# run the same commands. What must agree:
#   - what the user sees: messages, status lines, dialogs, menus, exit codes;
#   - the stored settings, byte for byte;
#   - the pictures, within the documented differences of GDI's lines;
#   - the files' bytes for the same image: the Windows JPEG and BMP are what
#     the Linux encoder writes from the Windows PNG's pixels, and exports of
#     an empty drawing are identical files on both sides;
#   - every file opens without a warning in libjpeg-turbo, Pillow, ffmpeg.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
linux=$(realpath "$1")
windows=$(realpath "$2")
work=$(realpath -m "${3:-$windows/endtoend}")
zulan=$linux/bin/zulan
encode=$linux/tools/rastello-encode
zulan32=$windows/bin/zulan32.exe
python=/usr/bin/python3

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Dialogs are real windows: Wine's null driver makes them without a display.
# It holds from the next wineserver on: the one that made the prefix goes
# first, or the first runs get no usable windows.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
trap 'wineserver -k 2>/dev/null || true' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The DLL shows nothing of its own and needs only system DLLs and its host.
dll=$windows/bin/rastello.dll
exports=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -cE '^\s+\[ *[0-9]+\]' || true)
[ "$exports" = 0 ] || fail "rastello.dll exports $exports names"
imports=$(i686-w64-mingw32-objdump -p "$dll" | sed -n 's/^\tDLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "GDI32.dll KERNEL32.dll USER32.dll msvcrt.dll zulan32.exe " ] || fail "rastello.dll imports from $imports"

# run SIDE NAME DRAWING ARGS...: one run of a host in its own folder, the
# output kept as NAME.out, NAME.err (line ends made Linux ones) and NAME.rc.
run() {
  local side=$1 name=$2 drawing=$3
  shift 3
  local status=0
  if [ "$side" = linux ]; then
    (cd "$work/linux" && "$zulan" ${drawing:+"$drawing"} --hairlines --registry reg-"$name".reg "$@" \
      >"$name.out" 2>"$name.err") || status=$?
  else
    (cd "$work/windows" && wine "$zulan32" ${drawing:+"$drawing"} --registry reg-"$name".reg "$@" \
      >"$name.out" 2>"$name.err") || status=$?
    sed -i 's/\r$//' "$work/windows/$name.out" "$work/windows/$name.err"
  fi
  # The hosts name files by their full paths, each in its own way.
  WORK=$work/$side/ WINDOWS_WORK=Z:${work//\//\\}\\$side\\ perl -pi -e \
    's/\Q$ENV{WORK}\E/WORK\//g; s/\Q$ENV{WINDOWS_WORK}\E/WORK\//gi' "$work/$side/$name.out" "$work/$side/$name.err"
  echo "$status" >"$work/$side/$name.rc"
}

# both NAME DXF ARGS...: the same commands in both hosts, then the texts
# and stored settings compared.
both() {
  local name=$1 dxf=$2
  shift 2
  local entities=""
  if [ -n "$dxf" ]; then
    entities=$work/windows/$(basename "$dxf" .dxf).ent
    [ -f "$entities" ] || "$zulan" "$dxf" --write-entities "$entities"
  fi
  run linux "$name" "$dxf" "$@"
  run windows "$name" "$entities" "$@"
  for part in out err rc; do
    cmp -s "$work/linux/$name.$part" "$work/windows/$name.$part" \
      || fail "$name: the hosts' $part differ: $(diff "$work/linux/$name.$part" "$work/windows/$name.$part" | head -5)"
  done
  if [ -f "$work/linux/reg-$name.reg" ] || [ -f "$work/windows/reg-$name.reg" ]; then
    cmp -s "$work/linux/reg-$name.reg" "$work/windows/reg-$name.reg" || fail "$name: the stored settings differ"
  fi
}

options='JPEGOPT 1010=off Width=640 Height=480 Quality=85'
drawings=("$root"/examples/bracket.dxf "$root"/examples/floorplan.dxf "$root"/examples/features/*.dxf)
for dxf in "${drawings[@]}"; do
  name=$(basename "$dxf" .dxf)
  both "$name" "$dxf" -c "$options Progressive=on ok" --export 'JPEG File' "$name.jpg" \
    --export 'PNG File' "$name.png" -c "SAVEBMP $name.bmp" -c "WBS 0,0 40,30 $name-section.jpg"
  both "$name-baseline" "$dxf" -c "$options Progressive=off Crop ok" --export 'JPEG File' "$name-baseline.jpg" \
    --export 'PNG File' "$name-baseline.png"
done

# Every command, the dialog as it shows, the menus, the clipboard size and
# refused input, on an empty drawing: here the pictures are the same too.
both dialog "" --show-dialog -c 'JPEGOPT Width=320 ok' -c "$options Blank Maximum ok" -c 'JPEGOPT cancel'
both menus "" -c JPEGMENUOFF -c JPEGMENUON --menus --commands -m 'Settings: ok'
both clipboard "" --clipboard 300x200 --show-dialog -c 'JPEGOPT 1010=on ok' --export 'JPEG File' clip.jpg \
  -c 'SAVEBMP clip.bmp'
both empty "" -c "$options Progressive=on ok" --export 'JPEG File' empty.jpg -c 'SAVEBMP empty.bmp' \
  -c 'WBSM empty-section.bmp 10,10 100,50'
both blackwhite "" -c "$options 2015=on ok" --export 'JPEG File' bw.jpg -c 'SAVEBMP bw.bmp'
both refused "" -c 'WBS' -c 'NOSUCHCOMMAND' -c "$options Quality=abc cancel"
mkdir -p "$work/linux/folder.jpg" "$work/windows/folder.jpg"
both folder "" --export 'JPEG File' folder.jpg
for file in empty.jpg empty.bmp empty-section.bmp clip.jpg clip.bmp bw.jpg bw.bmp; do
  cmp -s "$work/linux/$file" "$work/windows/$file" || fail "$file: the Windows file's bytes differ from Linux's"
done

"$python" "$here/compare_exports.py" "$work" "$encode" "${drawings[@]}" || failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
  echo "Windows end-to-end: $failures failures (files in $work)"
  exit 1
fi
echo "Windows end-to-end: all agree (${#drawings[@]} drawings)"

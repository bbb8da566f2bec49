#!/bin/bash
# Converts a batch of drawings to 800 x 600 PNG pictures three ways, side by
# side in one run: zulan's batch at -j 1 and at -j 2, and LibreCAD's console
# converter (librecad dxf2pdf, all drawings in one process, each fitted to
# its sheet; LibreCAD 2.2 keeps A4 whatever --paper says) followed by
# pdftoppm rendering each PDF at 800 x 600 pixels. Prints
# drawings per second (wall clock, and CPU seconds of all processes) and
# the ratios, with the machine's load.
#
#   bash bench/batch-librecad.sh [ROUNDS] [ZULAN]
#
# The drawings: every 12th file (106) of the sorted LibreCAD parts library
# (Debian's librecad-data, read where it is installed), copied under
# numbered names into out/batch-librecad, since the library repeats names
# in its folders. ROUNDS (default 3) alternate the three ways so that a
# change in load falls on all; the medians are printed. ZULAN defaults to a
# build of its own in build-batchbench. Run by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${1:-3}
zulan=${2:-}
every=12
work=$root/out/batch-librecad
library=/usr/share/librecad/library

for tool in librecad pdftoppm; do
  command -v $tool >/dev/null || { echo "batch-librecad: $tool is missing (scripts/debian-packages.txt)" >&2; exit 1; }
done
[[ -d $library ]] || { echo "batch-librecad: $library is missing (librecad-data)" >&2; exit 1; }
if [[ -z $zulan ]]; then
  build=$root/build-batchbench
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTELLO_TESTS=OFF >/dev/null
  nice cmake --build "$build" -j2 --target zulan rastello >/dev/null
  zulan=$build/bin/zulan
fi

rm -rf "$work"
mkdir -p "$work/drawings"
mapfile -t sample < <(cd "$library" && find . -name '*.dxf' | LC_ALL=C sort | awk -v n=$every 'NR % n == 1')
i=0
for f in "${sample[@]}"; do
  i=$((i + 1))
  cp "$library/${f#./}" "$work/drawings/$(printf '%03d' $i)-$(basename "$f")"
done
drawings=("$work"/drawings/*.dxf)
count=${#drawings[@]}

# A registry of its own: the user's settings are neither read nor changed.
registry=$work/registry.reg
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

zulan_batch() {  # jobs
  rm -rf "$work/zulan-j$1"
  "$zulan" --registry "$registry" --set Width=800 --set Height=600 --export 'PNG File' \
    --output-dir "$work/zulan-j$1" -j "$1" "${drawings[@]}" >"$work/zulan-j$1.log" 2>&1 || true
}

librecad_batch() {
  rm -rf "$work/librecad" && mkdir -p "$work/librecad"
  librecad dxf2pdf -a -c -f 0,0,0,0 -t "$work/librecad" "${drawings[@]}" \
    >"$work/librecad.log" 2>&1 || true
  for pdf in "$work"/librecad/*.pdf; do
    pdftoppm -png -singlefile -scale-to-x 800 -scale-to-y 600 "$pdf" "${pdf%.pdf}" 2>>"$work/librecad.log" || true
  done
}

# "wall cpu" seconds of one way, children included.
measure() {
  local TIMEFORMAT='%R %U %S' t
  t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  read -r wall user system <<<"$t"
  echo "$wall $(calc "$user + $system")"
}

calc() { awk "BEGIN { print $* }"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

echo "batch-librecad: $count drawings, $rounds rounds; load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
declare -A wall cpu
for ((round = 1; round <= rounds; ++round)); do
  for way in j1 j2 librecad; do
    case $way in
      j1) read -r w c < <(measure zulan_batch 1) ;;
      j2) read -r w c < <(measure zulan_batch 2) ;;
      librecad) read -r w c < <(measure librecad_batch) ;;
    esac
    wall[$way]+="$w "
    cpu[$way]+="$c "
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

done_j1=$(find "$work/zulan-j1" -name '*.png' | wc -l)
done_j2=$(find "$work/zulan-j2" -name '*.png' | wc -l)
done_lc=$(find "$work/librecad" -name '*.png' | wc -l)
same=0
for p in "$work"/zulan-j1/*.png; do cmp -s "$p" "$work/zulan-j2/$(basename "$p")" && same=$((same + 1)); done
printf '%-28s %9s %10s %12s %10s %12s\n' way pictures "wall (s)" "drawings/s" "CPU (s)" "drawings/CPU s"
declare -A rate cpurate
for way in j1 j2 librecad; do
  # shellcheck disable=SC2086
  w=$(median ${wall[$way]})
  # shellcheck disable=SC2086
  c=$(median ${cpu[$way]})
  rate[$way]=$(calc "$count / $w")
  cpurate[$way]=$(calc "$count / $c")
  case $way in j1) n=$done_j1 name="zulan -j 1" ;; j2) n=$done_j2 name="zulan -j 2" ;; *) n=$done_lc name="LibreCAD dxf2pdf + pdftoppm" ;; esac
  printf '%-28s %9s %10.2f %12.1f %10.2f %12.1f\n' "$name" "$n" "$w" "${rate[$way]}" "$c" "${cpurate[$way]}"
done
printf 'zulan -j 1 / LibreCAD: %.1fx (wall), %.1fx (CPU)\n' \
  "$(calc "${rate[j1]} / ${rate[librecad]}")" "$(calc "${cpurate[j1]} / ${cpurate[librecad]}")"
printf 'zulan -j 2 / -j 1: %.2fx (wall)\n' "$(calc "${rate[j2]} / ${rate[j1]}")"
echo "pictures identical at -j 1 and -j 2: $same of $done_j1"

#!/bin/bash
# Times whole-process exports of generated drawings (bench/make_drawing.py):
# zulan's JPEG export (threads as chosen, and on one thread), its PNG export,
# and LibreCAD's dxf2pdf followed by pdftoppm to a JPEG of the same pixel
# size. Median of RUNS alternated runs: wall time, processor time (user +
# system, the figure to read on a machine others share) and peak resident
# memory.
#
#   bash bench/time-drawings.sh [--runs N] [--no-librecad] [ENTITIES...]
#
# Drawings and pictures go to ${TIME_DRAWINGS_DIR:-/tmp/time-drawings}; zulan
# from ${ZULAN_BUILD:-build}/bin. Default sizes: 1000 10000 100000 300000
# 1000000 (LibreCAD takes minutes on the largest).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=3 librecad=1 sizes=()
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --no-librecad) librecad=0; shift ;;
    *) sizes+=("$1"); shift ;;
  esac
done
((${#sizes[@]})) || sizes=(1000 10000 100000 300000 1000000)
width=4000 height=3000

packages=(python3-ezdxf poppler-utils librecad)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "time-drawings: installing the Debian packages it needs: ${missing[*]}"
  sudo=(); [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

zulan=${ZULAN_BUILD:-build}/bin/zulan
[[ -x $zulan ]] || { echo "time-drawings: $zulan is missing; build zulan and rastello first" >&2; exit 1; }
work=${TIME_DRAWINGS_DIR:-/tmp/time-drawings}
mkdir -p "$work"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# Registries of their own: the size, and one with the JPEG threads off.
registry=$work/registry.reg single=$work/registry-1thread.reg
rm -f "$registry" "$single"
"$zulan" --registry "$registry" -c "JPEGOPT 1010=off Width=$width Height=$height ok" >/dev/null 2>&1
cp "$registry" "$single"
echo '"Threads"=hex:01,00,00,00' >>"$single"

# One run: appends "wall cpu peakKiB" to the file $1.
measure() {
  local out=$1
  shift
  local t
  t=$(mktemp)
  if /usr/bin/time -f '%e %U %S %M' -o "$t" "$@" >/dev/null 2>&1; then
    awk '{ printf "%.2f %.2f %d\n", $1, $2 + $3, $4 }' "$t" >>"$out"
  else
    echo "nan nan 0" >>"$out"
  fi
  rm -f "$t"
}

# dxf2pdf writes the PDF beside the drawing; pdftoppm makes it a JPEG of the
# export's size.
librecad_export=(bash -c 'rm -f "${1%.dxf}.pdf" && librecad dxf2pdf -s 1 -m -f 0,0,0,0 "$1" &&
  pdftoppm -jpeg -scale-to-x "$3" -scale-to-y "$4" -singlefile "${1%.dxf}.pdf" "$2"' librecad)

# The median of each column of the file $1.
median() {
  for col in 1 2 3; do
    cut -d' ' -f$col "$1" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
  done | paste -sd' '
}

printf '%-10s %9s %-22s %8s %8s %9s\n' entities "file MB" program "wall s" "cpu s" "peak MB"
for n in "${sizes[@]}"; do
  drawing=$work/drawing-$n.dxf
  [[ -s $drawing ]] || /usr/bin/python3 bench/make_drawing.py "$n" "$drawing"
  mb=$(awk -v b="$(stat -L -c %s "$drawing")" 'BEGIN { printf "%.1f", b / 1e6 }')
  names=("zulan JPEG" "zulan JPEG 1 thread" "zulan PNG")
  ((librecad)) && names+=("LibreCAD + pdftoppm")
  for i in "${!names[@]}"; do : >"$work/times-$i"; done
  for ((r = 0; r < runs; ++r)); do
    measure "$work/times-0" "$zulan" "$drawing" --registry "$registry" --export 'JPEG File' "$work/zulan.jpg"
    measure "$work/times-1" "$zulan" "$drawing" --registry "$single" --export 'JPEG File' "$work/zulan-1.jpg"
    measure "$work/times-2" "$zulan" "$drawing" --registry "$registry" --export 'PNG File' "$work/zulan.png"
    ((librecad)) && measure "$work/times-3" "${librecad_export[@]}" "$drawing" "$work/librecad" $width $height
  done
  for i in "${!names[@]}"; do
    read -r wall cpu peak <<<"$(median "$work/times-$i")"
    printf '%-10s %9s %-22s %8s %8s %9s\n' "$n" "$mb" "${names[$i]}" "$wall" "$cpu" "$((peak / 1024))"
  done
done
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors;" \
  "zulan at $(git rev-parse --short HEAD 2>/dev/null || echo '?')."

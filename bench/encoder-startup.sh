#!/bin/bash
# rastello-encode against cjpeg as whole processes, side by side in one
# hyperfine run per case: an 8 x 8 image (start-up alone) and 800 x 600
# photograph and line-drawing images, baseline and progressive. cjpeg is set
# up for the same job: our quantisation tables at quality 75 (read from our
# own output), 4:4:4, float DCT, optimised Huffman tables, and our
# progressive scan plan.
#
#   bash bench/encoder-startup.sh [--runs N] [--folder DIR]
#
# Output files go to DIR (default /dev/shm: the two programs then differ in
# their work, not in the disk's; ours also syncs the file before renaming it
# into place, which costs nothing on tmpfs and milliseconds on a disk, see
# --folder /tmp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=300 rounds=6 folder=/dev/shm
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    *) echo "usage: encoder-startup.sh [--runs N] [--folder DIR]" >&2; exit 2 ;;
  esac
done
for tool in hyperfine cjpeg; do
  command -v $tool >/dev/null || { echo "encoder-startup: $tool is missing (hyperfine, libjpeg-turbo-progs)" >&2; exit 1; }
done
encoder=${ENCODER:-$root/build/tools/rastello-encode}
[[ -x $encoder ]] || { echo "encoder-startup: $encoder is missing; build rastello-encode" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" <<'PY'
import sys
import numpy as np
from PIL import Image, ImageDraw
out = sys.argv[1]
rng = np.random.default_rng(26)
y, x = np.mgrid[0:600, 0:800]
photo = np.stack([x * 255 / 800, y * 255 / 600, (x + y) % 256], -1) + rng.normal(0, 6, (600, 800, 3))
Image.fromarray(np.clip(photo, 0, 255).astype("uint8")).save(f"{out}/photo.ppm")
cad = Image.new("RGB", (800, 600), "white")
draw = ImageDraw.Draw(cad)
for i in range(400):
    a, b = rng.integers(0, 800, 2), rng.integers(0, 600, 2)
    draw.line([(a[0], b[0]), (a[1], b[1])], fill=tuple(int(c) for c in rng.integers(0, 200, 3)))
cad.save(f"{out}/cad.ppm")
Image.new("RGB", (8, 8), (200, 100, 50)).save(f"{out}/tiny.ppm")
PY

# Our quality-75 tables, in natural order, for cjpeg -qtables (at -quality 50
# cjpeg takes them unscaled).
"$encoder" --quiet "$work/tiny.ppm" "$work/tables.jpg"
/usr/bin/python3 - "$work/tables.jpg" >"$work/qtables.txt" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
zigzag = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7,
          14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46,
          53, 60, 61, 54, 47, 55, 62, 63]
tables, at = {}, 2
while at < len(data) and data[at] == 0xFF and data[at + 1] != 0xDA:
    length = int.from_bytes(data[at + 2:at + 4], "big")
    if data[at + 1] == 0xDB:
        p = at + 4
        while p < at + 2 + length:
            precision, index = data[p] >> 4, data[p] & 15
            size = 128 if precision else 64
            values = data[p + 1:p + 1 + size]
            values = [int.from_bytes(values[2 * i:2 * i + 2], "big") for i in range(64)] if precision else list(values)
            natural = [0] * 64
            for k, v in enumerate(values):
                natural[zigzag[k]] = v
            tables[index] = natural
            p += 1 + size
    at += 2 + length
for index in sorted(tables):
    for row in range(8):
        print(" ".join(str(v) for v in tables[index][8 * row:8 * row + 8]))
PY
printf '0,1,2: 0-0, 0, 0;\n0: 1-63, 0, 0;\n1: 1-63, 0, 0;\n2: 1-63, 0, 0;\n' >"$work/scans.txt"
cjpeg_job=(cjpeg -quality 50 -qtables "$work/qtables.txt" -qslots 0,1,1 -sample 1x1 -dct float -optimize)

printf '%-6s %-12s %10s %10s %10s %10s %8s %8s\n' image mode "ours ms" "cjpeg ms" "ours cpu" "cjpeg cpu" "ratio" "cpu ratio"
for image in tiny photo cad; do
  for mode in baseline progressive; do
    [[ $image == tiny && $mode == progressive ]] && continue
    ours=("$encoder" --quiet) theirs=("${cjpeg_job[@]}")
    if [[ $mode == progressive ]]; then
      ours+=(--progressive)
      theirs+=(-progressive -scans "$work/scans.txt")
    fi
    # Rounds in turn, each program first in every other one, so that a change
    # in the machine's load falls on both alike.
    for ((round = 0; round < rounds; ++round)); do
      a="${ours[*]} $work/$image.ppm $folder/encoder-startup-ours.jpg"
      b="${theirs[*]} -outfile $folder/encoder-startup-cjpeg.jpg $work/$image.ppm"
      ((round % 2)) && { t=$a; a=$b; b=$t; }
      hyperfine -N -w 5 -r $((runs / rounds)) --export-json "$work/$image-$mode-$round.json" "$a" "$b" >/dev/null
    done
    /usr/bin/python3 - "$work/$image-$mode" $rounds "$image" "$mode" \
      "$(stat -c %s "$folder/encoder-startup-ours.jpg")" "$(stat -c %s "$folder/encoder-startup-cjpeg.jpg")" <<'PY'
import json, statistics, sys
prefix, rounds = sys.argv[1], int(sys.argv[2])
wall, cpu = {True: [], False: []}, {True: [], False: []}
for r in range(rounds):
    for result in json.load(open(f"{prefix}-{r}.json"))["results"]:
        ours = "cjpeg" not in result["command"]
        wall[ours] += [t * 1000 for t in result["times"]]
        cpu[ours].append((result["user"] + result["system"]) * 1000)
w = [statistics.median(wall[True]), statistics.median(wall[False])]
c = [statistics.mean(cpu[True]), statistics.mean(cpu[False])]
print(f"{sys.argv[3]:<6} {sys.argv[4]:<12} {w[0]:10.2f} {w[1]:10.2f} {c[0]:10.2f} {c[1]:10.2f} "
      f"{w[1] / w[0]:8.2f} {c[1] / c[0]:8.2f}   bytes {sys.argv[5]} / {sys.argv[6]}")
PY
  done
done
rm -f "$folder/encoder-startup-ours.jpg" "$folder/encoder-startup-cjpeg.jpg"
echo "ms: median wall time, and mean processor time (user + system), of $runs runs each in $rounds" \
  "alternated rounds; ratio: cjpeg's time / ours (above 1: ours is quicker). Load average at the end:" \
  "$(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors."

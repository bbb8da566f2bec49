#!/bin/bash
# The main job on a fresh Debian machine: installs the packages, builds
# rastello-encode, and writes the bundled example drawing as a baseline
# JPEG, a progressive JPEG and a BMP into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

# Its own build folder, without the tests: only the tool is needed here.
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTELLO_TESTS=OFF >/dev/null
cmake --build build-example -j"$(nproc)" --target rastello-encode

encode=build-example/tools/rastello-encode
input=examples/drawing.png
mkdir -p out
"$encode" "$input" out/drawing-baseline.jpg --quality 90 --comment "Rastello example: mounting bracket MB-40"
"$encode" "$input" out/drawing-progressive.jpg --quality 90 --progressive
"$encode" "$input" out/drawing.bmp --bits 24

echo
echo "Encoded $input:"
for file in out/drawing-baseline.jpg out/drawing-progressive.jpg out/drawing.bmp; do
  printf '  %-40s %9d bytes\n' "$(pwd)/$file" "$(stat -c %s "$file")"
done

#!/bin/bash
# The main job on a fresh Debian machine: installs the packages, builds the
# replacement host zulan and the Rastello module, and has the module export
# the bundled floor plan: a picked section as JPEG (WBSM), the whole drawing
# through both export filters (JPEG and PNG) and as BMP (SAVEBMP), into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

# Its own build folder, without the tests: only the host and module are needed.
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTELLO_TESTS=OFF >/dev/null
cmake --build build-example -j"$(nproc)" --target zulan rastello

drawing=examples/floorplan.dxf
mkdir -p out
rm -f out/floorplan-*.jpg out/floorplan-*.png out/floorplan-*.bmp
# A registry of its own, so the example neither reads nor changes your
# stored export settings; the defaults (800 x 600, quality 75) apply.
build-example/bin/zulan "$drawing" --registry out/registry.reg \
  -c 'WBSM out/floorplan-kitchen.jpg 300,300 5000,3300' \
  --export 'JPEG File' out/floorplan-whole.jpg \
  --export 'PNG File' out/floorplan-whole.png \
  -c 'SAVEBMP out/floorplan-whole.bmp'

echo
echo "Exported $drawing:"
for file in out/floorplan-kitchen.jpg out/floorplan-whole.jpg out/floorplan-whole.png out/floorplan-whole.bmp; do
  printf '  %-50s %9d bytes\n' "$(pwd)/$file" "$(stat -c %s "$file")"
done

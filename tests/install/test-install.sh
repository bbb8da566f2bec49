#!/bin/bash
# Installs a finished build into a fresh prefix and uses it as a user would:
# the installed programs (the module found from zulan's own place), the
# help document, the man pages, the library from another project through
# find_package and through pkg-config, and the Debian package cpack makes.
#   test-install.sh BUILD_DIR WORK_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
version=$3
source=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$source/../.." && pwd)
python=/usr/bin/python3

fail() { echo "FAIL: $*" >&2; exit 1; }
contains() { grep -qF -- "$2" <<<"$1" || fail "$3: no '$2' in: $1"; }

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# Run from the work folder, so nothing is found through the current folder.
cd "$work"
zulan=$prefix/bin/zulan

out=$("$zulan" --help) || fail "zulan --help exited with $?"
contains "$out" "--export" "zulan --help"
[ "$("$zulan" --version)" = "zulan $version" ] || fail "zulan --version: $("$zulan" --version)"
[ "$("$prefix/bin/rastello-encode" --version)" = "rastello-encode $version" ] ||
  fail "rastello-encode --version: $("$prefix/bin/rastello-encode" --version)"

# Nothing beside the installed zulan: the module comes from lib/rastello.
[ ! -e "$prefix/bin/rastello.so" ] || fail "a module beside the installed zulan"
out=$("$zulan" --commands --registry "$work/r.reg") || fail "zulan --commands exited with $?: $out"
contains "$out" "WBSM" "zulan --commands"
contains "$out" '"PNG File"' "zulan --commands"
out=$("$zulan" --registry "$work/r.reg" -m 'JPEG/Help') || fail "the Help menu item exited with $?: $out"
contains "$out" "Document: $prefix/lib/rastello/Rastello.HTML" "the Help menu item"

"$zulan" "$prefix/share/rastello/examples/floorplan.dxf" --registry "$work/r.reg" \
  --export 'PNG File' "$work/a.png" >/dev/null || fail "the installed export exited with $?"
# The default size, and a drawing on it rather than one colour.
$python - "$work/a.png" <<'PY' || fail "the exported floor plan"
import sys
from PIL import Image
image = Image.open(sys.argv[1])
assert image.format == "PNG" and image.size == (800, 600), (image.format, image.size)
assert len(image.convert("RGB").getcolors(1 << 20)) > 1, "a single colour"
PY

if command -v man >/dev/null; then
  for page in zulan rastello-encode; do
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
  done
fi

# The installed package files name no build or source folder.
if grep -rlF -e "$project" -e "$build" "$prefix/lib/cmake" "$prefix/lib/pkgconfig"; then
  fail "the package files above point into the build"
fi

# The consumer's JPEG: 16 x 8, red left, blue right.
check_jpeg() {
  $python - "$1" <<'PY' || fail "the consumer's JPEG $1"
import sys
from PIL import Image
image = Image.open(sys.argv[1])
assert image.format == "JPEG" and image.size == (16, 8), (image.format, image.size)
def near(pixel, want):
    return all(abs(a - b) <= 24 for a, b in zip(pixel, want))
rgb = image.convert("RGB")
assert near(rgb.getpixel((1, 4)), (255, 0, 0)), rgb.getpixel((1, 4))
assert near(rgb.getpixel((14, 4)), (0, 0, 255)), rgb.getpixel((14, 4))
PY
}

cmake -S "$source/consumer" -B "$work/consumer-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON >/dev/null
cmake --build "$work/consumer-cmake" >/dev/null
"$work/consumer-cmake/consumer" "$work/cmake.jpg"
check_jpeg "$work/cmake.jpg"

flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs vantorum)
contains "$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --modversion vantorum)" "$version" "pkg-config"
# Compiled once: the unpacked Debian package links the same object below.
# shellcheck disable=SC2086
g++ -std=c++17 -c "$source/consumer/main.cpp" $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags vantorum) \
  -o "$work/consumer.o"
# shellcheck disable=SC2086
g++ "$work/consumer.o" $flags -o "$work/consumer-pc"
"$work/consumer-pc" "$work/pkgconfig.jpg"
check_jpeg "$work/pkgconfig.jpg"

# The Debian package: its paths, its name and version, dependencies found by
# dpkg-shlibdeps, and the programs and library as unpacked from it.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null
deb=$(ls "$work"/deb/rastello_"$version"_*.deb)
listing=$(dpkg-deb -c "$deb")
for path in ./usr/bin/zulan ./usr/bin/rastello-encode ./usr/lib/rastello/rastello.so ./usr/lib/rastello/Rastello.HTML \
  ./usr/include/vantorum/jpegencoder.h ./usr/include/vantorum/jpeg/jpgoutputstream.h \
  ./usr/lib/cmake/Vantorum/VantorumConfig.cmake ./usr/lib/cmake/Vantorum/VantorumConfigVersion.cmake \
  ./usr/lib/pkgconfig/vantorum.pc ./usr/lib/libvantorum.a ./usr/share/man/man1/zulan.1 \
  ./usr/share/man/man1/rastello-encode.1 ./usr/share/rastello/examples/floorplan.dxf; do
  contains "$listing" " $path" "dpkg-deb -c"
done
[ "$(dpkg-deb -f "$deb" Package)" = rastello ] || fail "package name $(dpkg-deb -f "$deb" Package)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libpng16 libdime libcairo2 libstdc++6; do
  contains "$depends" "$library" "Depends"
done
dpkg-deb -x "$deb" "$work/debroot"
out=$("$work/debroot/usr/bin/zulan" --commands --registry "$work/r.reg") ||
  fail "zulan from the package exited with $?: $out"
contains "$out" "WBSM" "zulan from the package"
flags=$(PKG_CONFIG_PATH=$work/debroot/usr/lib/pkgconfig pkg-config --libs vantorum)
# shellcheck disable=SC2086
g++ "$work/consumer.o" $flags -o "$work/consumer-deb"
"$work/consumer-deb" "$work/deb.jpg"
check_jpeg "$work/deb.jpg"
echo "install, package and consumers: all well"

#!/bin/bash
# Builds libpng for 32-bit Windows (mingw-w64 i686, the project's toolchain
# file) as a static library from Debian's own source package, and installs
# it into a prefix for find_package(PNG):
#   scripts/build-windows-libpng.sh [PREFIX]     (default: build-windows-deps)
# Debian ships no libpng for mingw. Does nothing when the prefix already
# holds this upstream release.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=$(realpath -m "${1:-$root/build-windows-deps}")

version=1.6.39
tarball=libpng1.6_$version.orig.tar.gz
# Debian 12's upstream tarball, as its signed source index lists it.
sha256=a00e9d2f2f664186e4202db9299397f851aea71b36a35e74910b8820e380d441
stamp=$prefix/share/rastello/libpng-$version

if [ -f "$stamp" ] && [ -f "$prefix/include/png.h" ]; then
  echo "libpng $version: already in $prefix ($(head -n 1 "$stamp"))"
  exit 0
fi

source scripts/common.sh
add_source_entries
apt_update_if_stale

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Debian's security fixes come as patches beside the tarball. The archive
# may list a revision whose own files it does not serve (only the shared
# upstream tarball arrives): take the newest revision that comes whole, and
# the bare upstream release only when none does. apt checks every file
# against the signed index; the pinned digest keeps the upstream release.
fetch() {  # fetch [VERSION]: true when the .dsc and all its files arrived
  rm -f ./*.dsc ./*.debian.tar.* ./*.diff.gz
  apt-get source --download-only -qq "libpng1.6${1:+=$1}" >/dev/null 2>>apt.log && ls ./*.dsc >/dev/null 2>&1
}
if ! fetch; then
  apt_update  # an old index names files the archive has dropped (none fetched in this run)
  if ! fetch; then
    for revision in $(apt-cache showsrc libpng1.6 | awk '/^Version:/ {print $2}' | sort -rV); do
      if fetch "$revision"; then break; fi
    done
  fi
fi
if [ ! -f "$tarball" ]; then
  echo "Debian's libpng1.6 source package did not bring $tarball:" >&2
  cat apt.log >&2
  exit 1
fi
echo "$sha256  $tarball" | sha256sum --check --quiet
if ls ./*.dsc >/dev/null 2>&1; then
  dsc=$(ls ./*.dsc)
  # The .dsc's signature: apt has checked the file against the signed index.
  dpkg-source --no-check -x "$dsc" source >/dev/null
  origin="Debian $(basename "$dsc" .dsc | sed 's/^libpng1.6_//')"
else
  mkdir source
  tar -xzf "$tarball" -C source --strip-components=1
  origin="upstream $version without Debian's patches"
fi

# Only the library: libpng's own tests and programs would need a shared
# build. zlib is Debian's mingw one, static, so that nothing built on this
# needs a zlib1.dll.
cmake -S source -B build -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON \
  -DZLIB_INCLUDE_DIR=/usr/i686-w64-mingw32/include \
  -DZLIB_LIBRARY=/usr/i686-w64-mingw32/lib/libz.a >build.log 2>&1 || { cat build.log >&2; exit 1; }
cmake --build build -j"$(nproc)" >>build.log 2>&1 || { cat build.log >&2; exit 1; }
cmake --install build >>build.log 2>&1 || { cat build.log >&2; exit 1; }
mkdir -p "$(dirname "$stamp")"
printf '%s\n%s  %s\n' "$origin" "$sha256" "$tarball" >"$stamp"
echo "libpng $version: $origin, installed in $prefix"

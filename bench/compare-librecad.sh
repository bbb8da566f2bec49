#!/bin/bash
# Renders drawings with zulan (through the module's PNG export filter), with
# LibreCAD (dxf2pdf, then pdftoppm) and with ezdxf's drawing add-on
# (matplotlib), registers zulan's picture with each reference's and reports
# per drawing and reference the share of the reference's ink that zulan's
# picture covers within two pixels, and the converse: once with every line
# one pixel wide (zulan --hairlines; LibreCAD on a copy whose line weights
# are all 0; ezdxf at its thinnest width) and once as printed, with line
# weights.
#
#   bash bench/compare-librecad.sh [RESULTS_FOLDER] [DRAWING.dxf...]
#
# Without drawings: the feature drawings in examples/features/ and
# examples/autocad/ and every
# 42nd file (about 30) of the sorted LibreCAD parts library, which comes with
# Debian's librecad-data and is read where it is installed, never copied
# into this repository. Results (CSV, Markdown, the pictures) go into
# RESULTS_FOLDER, by default out/compare-librecad. Run by hand; about five
# minutes on two shared cores.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
results=${1:-out/compare-librecad}
shift || true
python=/usr/bin/python3
helper=$root/bench/compare_pictures.py
ezdxf_renderer=$root/bench/render_ezdxf.py
width=1600            # the exports' width (and height bound), in pixels
every=42              # the library sample: every n-th file, sorted

# --- what it needs --------------------------------------------------------
# The build's packages and the comparison's; apt-get only when one is missing.
mapfile -t packages < <(grep -v '^#' scripts/debian-packages.txt | tr -s ' \t' '\n' | grep .)
packages+=(librecad librecad-data poppler-utils python3-numpy python3-pil python3-scipy python3-ezdxf
  python3-matplotlib)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "compare-librecad: installing the Debian packages it needs: ${missing[*]}"
  sudo=(); [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Its own build folder: only the host and the module.
build=$root/build-compare
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTELLO_TESTS=OFF >/dev/null
nice cmake --build "$build" -j2 --target zulan rastello >/dev/null
zulan=$build/bin/zulan

# --- the sample -----------------------------------------------------------
library=/usr/share/librecad/library
drawings=()
for d in "$@"; do drawings+=("$(realpath "$d")"); done
if ((${#drawings[@]} == 0)); then
  drawings=("$root"/examples/features/*.dxf "$root"/examples/autocad/*.dxf)
  [[ -d $library ]] || { echo "compare-librecad: $library is missing (librecad-data)" >&2; exit 1; }
  mapfile -t sample < <(cd "$library" && find . -name '*.dxf' | LC_ALL=C sort | awk -v n=$every 'NR % n == 1')
  for f in "${sample[@]}"; do drawings+=("$library/${f#./}"); done
fi

mkdir -p "$results"
results=$(cd "$results" && pwd)
work=$results/work
rm -rf "$work"
mkdir -p "$work"
# A registry of its own, so the user's export settings are neither read nor
# changed: the size and the drawing's own aspect (Crop). The export keeps
# the colours; the ink masks do not look at them.
registry=$work/registry.reg
"$zulan" --registry "$registry" \
  -c "JPEGOPT 1010=off Width=$width Height=$width Crop ok" >/dev/null 2>&1

# LibreCAD needs no display for dxf2pdf, but Qt wants a platform.
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

csv=$results/results.csv
echo "group,drawing,reference,note,hair_host_covers_ref,hair_ref_covers_host,print_host_covers_ref,print_ref_covers_host,hair_scale,print_scale" > "$csv"
# "ref": the share of the reference's ink that zulan's picture covers; "host": the converse.
printf '%-36s %-8s %23s %23s\n' drawing ref "hairline: ref    host" "as printed: ref    host"
n=0
for drawing in "${drawings[@]}"; do
  n=$((n + 1))
  if [[ $drawing == "$library"/* ]]; then
    group=library; name=${drawing#"$library"/}
  elif [[ $drawing == "$root"/examples/features/* ]]; then
    group=features; name=$(basename "$drawing")
  elif [[ $drawing == "$root"/examples/autocad/* ]]; then
    group=autocad; name=$(basename "$drawing")
  else
    group=other; name=$(basename "$drawing")
  fi
  tag=$(printf '%03d-%s' "$n" "$(basename "$drawing" .dxf)")
  lc=() ez=() note=""
  for mode in hair print; do
    dir=$work/$tag-$mode
    mkdir -p "$dir"
    host=$dir/zulan.png ref=$dir/librecad.png ezref=$dir/ezdxf.png
    flags=(); [[ $mode == hair ]] && flags=(--hairlines)
    ok=1
    timeout 120 "$zulan" "$drawing" --registry "$registry" "${flags[@]}" \
      --export 'PNG File' "$host" >"$dir/zulan.log" 2>&1 || { ok=0; note=$(grep -m1 '^zulan: ' "$dir/zulan.log"); note="zulan: ${note#*.dxf: }"; }
    # dxf2pdf writes the PDF beside the drawing (it ignores -o), so it
    # prints the copy: at 1:1 on a paper that holds the drawing, centred,
    # monochrome.
    lcok=$ok
    if ((lcok)); then
      "$python" "$helper" prepare "$drawing" "$dir/drawing.dxf" "${flags[@]}" 2>"$dir/prepare.log" || lcok=0
    fi
    if ((lcok)); then
      timeout 120 librecad dxf2pdf -s 1 -c -m -f 0,0,0,0 "$dir/drawing.dxf" >"$dir/librecad.log" 2>&1 || true
      [[ -s $dir/drawing.pdf ]] || { lcok=0; note="LibreCAD printed nothing"; }
    fi
    if ((lcok)); then
      "$python" "$helper" rasterise "$dir/drawing.pdf" "$host" "$ref" 2>"$dir/rasterise.log" || lcok=0
    fi
    if ((lcok)) && out=$("$python" "$helper" compare "$host" "$ref" 2>"$dir/compare.log"); then
      read -r a b s dx dy <<<"$out"
      lc+=("$a" "$b" "$s")
    else
      lc+=(nan nan nan)
      echo "  $name ($mode, LibreCAD): failed, see $dir" >&2
    fi
    # ezdxf draws zulan's extents (from its entity file's header) at the
    # picture's size.
    ezok=$ok
    if ((ezok)); then
      timeout 120 "$zulan" "$drawing" --write-entities "$dir/entities.txt" >"$dir/entities.log" 2>&1 || ezok=0
    fi
    if ((ezok)); then
      timeout 300 "$python" "$ezdxf_renderer" "$drawing" "$host" "$ezref" "${flags[@]}" \
        --extents "$dir/entities.txt" >"$dir/ezdxf.log" 2>&1 || ezok=0
    fi
    if ((ezok)) && out=$("$python" "$helper" compare "$host" "$ezref" 2>"$dir/compare-ezdxf.log"); then
      read -r a b s dx dy <<<"$out"
      ez+=("$a" "$b" "$s")
    else
      ez+=(nan nan nan)
      echo "  $name ($mode, ezdxf): failed, see $dir" >&2
    fi
  done
  note=${note//\"/\'}
  for reference in librecad ezdxf; do
    if [[ $reference == librecad ]]; then f=("${lc[@]}"); else f=("${ez[@]}"); fi
    printf '%-36s %-8s %11s %11s %11s %11s\n' "${name:0:36}" "$reference" "${f[0]}" "${f[1]}" "${f[3]}" "${f[4]}"
    echo "$group,$name,$reference,\"${note//$'\n'/ }\",${f[0]},${f[1]},${f[3]},${f[4]},${f[2]},${f[5]}" >> "$csv"
  done
done

echo
"$python" "$helper" report "$csv" "$results/results.md" >/dev/null
cat "$results/results.md"
echo
echo "Measured at $(git rev-parse --short HEAD 2>/dev/null || echo '?') on $(date -u +%Y-%m-%d);" \
  "LibreCAD $(dpkg-query -W -f='${Version}' librecad), librecad-data $(dpkg-query -W -f='${Version}' librecad-data)," \
  "ezdxf $(dpkg-query -W -f='${Version}' python3-ezdxf), matplotlib $(dpkg-query -W -f='${Version}' python3-matplotlib)."
echo "Results: $csv, $results/results.md; pictures in $work."

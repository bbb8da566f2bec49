#!/usr/bin/python3
"""Helpers of compare-librecad.sh: prepares LibreCAD's copy of a drawing,
registers zulan's picture with LibreCAD's and measures ink coverage.

  compare_pictures.py prepare IN.dxf OUT.dxf [--hairlines]
      OUT is IN with a paper ($PLIMMIN/$PLIMMAX) that holds the whole drawing
      at 1:1, since LibreCAD's dxf2pdf takes its paper from there and
      ignores --paper; with --hairlines every line weight (group 370) is 0.
  compare_pictures.py rasterise REF.pdf HOST.png REF.png
      rasterises LibreCAD's PDF with pdftoppm (greyscale, no antialiasing)
      at the resolution that gives its ink box the host's size, so that
      line weights come out the same in pixels, cropped round the ink.
  compare_pictures.py compare HOST.png REF.png [--diff OUT.png]
      prints "host_covers_ref ref_covers_host scale dx dy"; with --diff
      also writes the registered pair over the host's frame: ink both
      cover grey, the host's uncovered ink red, the reference's blue.
  compare_pictures.py report RESULTS.csv OUT.md
      the Markdown table with per-drawing figures and the means.

Ink is any pixel with a channel below INK_LEVEL, so colour plays no part
(LibreCAD prints monochrome; zulan's export keeps the layer colours). A pixel is covered when an
ink pixel of the other picture lies within RADIUS pixels, Euclidean.
"""
import csv
import math
import subprocess
import sys

import numpy as np
from PIL import Image
from scipy import ndimage

INK_LEVEL = 160
RADIUS = 2.0

# $INSUNITS to millimetres, as the host reads it (unitless: millimetres).
UNIT_MM = {1: 25.4, 2: 304.8, 3: 1609344.0, 4: 1.0, 5: 10.0, 6: 1000.0,
           7: 1e6, 8: 25.4e-6, 9: 0.0254, 10: 914.4, 13: 0.001, 14: 100.0}


# --- pictures -------------------------------------------------------------

def ink_mask(path):
    """Pixels with any channel below INK_LEVEL: black, colours (yellow
    too, which is light in grey) and dark greys; not white or pale grey."""
    rgb = np.asarray(Image.open(path).convert("RGB"))
    return rgb.min(axis=2) < INK_LEVEL


def ink_box(mask):
    """(left, top, right, bottom), right and bottom exclusive, or None."""
    rows = np.flatnonzero(mask.any(axis=1))
    cols = np.flatnonzero(mask.any(axis=0))
    if rows.size == 0:
        return None
    return cols[0], rows[0], cols[-1] + 1, rows[-1] + 1


def box_scale(host, ref):
    """The factor from ref's ink box to host's, by the longer side of the
    host's box (the more pixels, the less a one-pixel error weighs)."""
    hl, ht, hr, hb = ink_box(host)
    rl, rt, rr, rb = ink_box(ref)
    if hr - hl >= hb - ht:
        return (hr - hl) / max(rr - rl, 1)
    return (hb - ht) / max(rb - rt, 1)


def pooled(mask, f):
    """Ink in blocks of f x f pixels: a block is ink when any pixel is."""
    h, w = mask.shape
    padded = np.zeros(((h + f - 1) // f * f, (w + f - 1) // f * f), bool)
    padded[:h, :w] = mask
    return padded.reshape(padded.shape[0] // f, f, padded.shape[1] // f, f).any(axis=(1, 3))


class Level:
    """One picture at one resolution: its ink points in full-resolution
    pixel coordinates (x, y; block centres when pooled) and the distance
    from every block to the nearest ink block."""

    def __init__(self, mask, f):
        self.f = f
        small = pooled(mask, f) if f > 1 else mask
        self.dist = ndimage.distance_transform_edt(~small)
        self.points = np.argwhere(small)[:, ::-1] * float(f) + (f - 1) / 2
        # One block of slack when pooled: its ink may lie anywhere in it.
        self.radius = RADIUS if f == 1 else 1.0

    def covered(self, points):
        """Share of points (full-resolution coordinates) with ink within
        the radius; points off the picture are not covered."""
        if len(points) == 0:
            return float("nan")
        ix = np.rint((points - (self.f - 1) / 2) / self.f).astype(np.int64)
        h, w = self.dist.shape
        inside = (ix[:, 0] >= 0) & (ix[:, 0] < w) & (ix[:, 1] >= 0) & (ix[:, 1] < h)
        ok = np.zeros(len(points), bool)
        ok[inside] = self.dist[ix[inside, 1], ix[inside, 0]] <= self.radius
        return ok.mean()


class Registration:
    """Maps reference pixels onto host pixels: h = (r - rc) * s + hc + d,
    with rc and hc the centres of the two ink boxes."""

    COARSE = 4

    def __init__(self, host, ref):
        self.host, self.ref = host, ref
        hb, rb = ink_box(host), ink_box(ref)
        self.hc = np.array([(hb[0] + hb[2] - 1) / 2, (hb[1] + hb[3] - 1) / 2])
        self.rc = np.array([(rb[0] + rb[2] - 1) / 2, (rb[1] + rb[3] - 1) / 2])
        self.levels = {f: (Level(host, f), Level(ref, f)) for f in (1, self.COARSE)}

    def coverage(self, s, d, f=1, host_pts=None, ref_pts=None):
        """(share of reference ink the host covers, share of host ink the
        reference covers) under scale s and offset d, at block size f."""
        host, ref = self.levels[f]
        host_pts = host.points if host_pts is None else host_pts
        ref_pts = ref.points if ref_pts is None else ref_pts
        d = np.asarray(d, float)
        return (host.covered((ref_pts - self.rc) * s + self.hc + d),
                ref.covered((host_pts - self.hc - d) / s + self.rc))

    def search(self, s0=None, sample=10000, seed=1):
        """Scale and offset that maximise the mean of both coverages. The
        ink boxes give the start; one picture's ink beyond the other's
        (a curve drawn differently) moves its box, so the search is wide:
        4 x 4 blocks first, scale ±12 % in 2 % steps and offsets ±48
        pixels in block steps, then full resolution round the best, ±2 %
        in 0.4 % steps and ±3 pixels, then 0.1 % and half pixels. A fixed random sample of the ink
        keeps it fast."""
        rng = np.random.default_rng(seed)

        def pick(points, n):
            if len(points) <= n:
                return points
            return points[rng.choice(len(points), n, replace=False)]

        s0 = box_scale(self.host, self.ref) if s0 is None else s0
        best = [-1.0, s0, (0.0, 0.0)]

        def trial(f, hp, rp, s, d):
            a, b = self.coverage(s, d, f, hp, rp)
            v = (a + b) / 2
            if v > best[0]:
                best[:] = [v, s, d]

        f = self.COARSE
        hp, rp = (pick(level.points, 3000) for level in self.levels[f])
        for s in s0 * (1 + 0.02 * np.arange(-6, 7)):
            for dx in range(-48, 49, f):
                for dy in range(-48, 49, f):
                    trial(f, hp, rp, s, (float(dx), float(dy)))
        hp, rp = (pick(level.points, sample) for level in self.levels[1])
        best[0] = -1.0
        s1, (x1, y1) = best[1], best[2]
        for s in s1 * (1 + 0.004 * np.arange(-5, 6)):
            for dx in range(-3, 4):
                for dy in range(-3, 4):
                    trial(1, hp, rp, s, (x1 + dx, y1 + dy))
        s2, (x2, y2) = best[1], best[2]
        for s in s2 * np.array([0.999, 1, 1.001]):
            for dx in (-0.5, 0, 0.5):
                for dy in (-0.5, 0, 0.5):
                    trial(1, hp, rp, s, (x2 + dx, y2 + dy))
        return best[1], best[2]


def compare(host, ref):
    """(host covers ref, ref covers host, scale, offset) after registration."""
    if not host.any() or not ref.any():
        return float("nan"), float("nan"), float("nan"), (0.0, 0.0)
    reg = Registration(host, ref)
    s, d = reg.search()
    a, b = reg.coverage(s, d)
    return a, b, s, d


def write_difference(host, ref, s, d, path):
    """The reference's ink mapped onto the host's pixels by the
    registration; uncovered ink of either side in colour."""
    reg = Registration(host, ref)
    h, w = host.shape
    out = np.full((h, w, 3), 255, np.uint8)
    hp = reg.levels[1][0].points
    rp = reg.levels[1][1].points
    ref_on_host = np.rint((rp - reg.rc) * s + reg.hc + np.asarray(d, float)).astype(np.int64)
    inside = (ref_on_host[:, 0] >= 0) & (ref_on_host[:, 0] < w) & (ref_on_host[:, 1] >= 0) & (ref_on_host[:, 1] < h)
    ref_on_host = ref_on_host[inside]
    ref_mapped = np.zeros((h, w), bool)
    ref_mapped[ref_on_host[:, 1], ref_on_host[:, 0]] = True
    near_ref = ndimage.distance_transform_edt(~ref_mapped) <= RADIUS
    near_host = ndimage.distance_transform_edt(~host) <= RADIUS
    out[host & near_ref] = (150, 150, 150)
    out[ref_mapped & near_host] = (150, 150, 150)
    out[host & ~near_ref] = (220, 0, 0)
    out[ref_mapped & ~near_host] = (0, 0, 220)
    Image.fromarray(out).save(path)


def page_points(pdf):
    """The first page's size in points, from pdfinfo."""
    out = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True,
                         check=True).stdout
    for line in out.splitlines():
        if line.startswith("Page size:"):
            words = line.split()
            return float(words[2]), float(words[4])
    raise ValueError(pdf + ": no page size")


def pdftoppm(pdf, dpi, out_png, crop=None):
    args = ["pdftoppm", "-r", "%.4f" % dpi, "-aa", "no", "-aaVector", "no",
            "-gray", "-png", "-singlefile", "-f", "1", "-l", "1"]
    if crop:
        args += ["-x", str(crop[0]), "-y", str(crop[1]),
                 "-W", str(crop[2]), "-H", str(crop[3])]
    base = out_png[:-4] if out_png.endswith(".png") else out_png
    subprocess.run(args + [pdf, base], check=True)


def rasterise(pdf, host_png, out_png, margin=40):
    """A first pass over the whole page (1800 pixels on its longer side)
    finds the ink; each further pass renders only round the ink at the
    resolution its box asks for, until the box matches within 0.2 %."""
    host = ink_mask(host_png)
    pw, ph = page_points(pdf)
    dpi = 1800 * 72 / max(pw, ph)
    pdftoppm(pdf, dpi, out_png)
    origin = (0, 0)                     # the picture's corner on the page, in pixels
    for _ in range(4):
        ref = ink_mask(out_png)
        if not host.any() or not ref.any():
            return
        k = box_scale(host, ref)
        if abs(k - 1) < 0.002 and origin != (0, 0):
            return
        l, t, r, b = ink_box(ref)
        dpi *= k
        # The ink box on the page at the new resolution, with a margin.
        x0 = int((origin[0] + l) * k) - margin
        y0 = int((origin[1] + t) * k) - margin
        w = int((r - l) * k) + 2 * margin
        h = int((b - t) * k) + 2 * margin
        x0, y0 = max(x0, 0), max(y0, 0)
        pdftoppm(pdf, dpi, out_png, (x0, y0, w, h))
        origin = (x0, y0)


# --- drawings -------------------------------------------------------------

def read_pairs(path):
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    return [(lines[i].strip(), lines[i + 1]) for i in range(0, len(lines) - 1, 2)]


def header_value(pairs, name):
    """The group values of a HEADER variable, or None."""
    for i, (code, value) in enumerate(pairs):
        if code == "9" and value.strip() == name:
            out = {}
            for c, v in pairs[i + 1:]:
                if c in ("9", "0"):
                    break
                out[c] = v.strip()
            return out
    return None


def drawing_extents(path, pairs):
    """(xmin, ymin, xmax, ymax) from ezdxf's bounding box of model space,
    else the header's $EXTMIN/$EXTMAX."""
    try:
        import ezdxf
        from ezdxf import bbox, recover
        doc, _ = recover.readfile(path)
        box = bbox.extents(doc.modelspace(), fast=True)
        if box.has_data:
            return box.extmin.x, box.extmin.y, box.extmax.x, box.extmax.y
    except Exception:            # an odd file: fall back on its header
        pass
    lo, hi = header_value(pairs, "$EXTMIN"), header_value(pairs, "$EXTMAX")
    try:
        box = (float(lo["10"]), float(lo["20"]), float(hi["10"]), float(hi["20"]))
        if all(abs(v) < 1e15 for v in box) and box[2] > box[0]:
            return box
    except (TypeError, KeyError, ValueError):
        pass
    return 0.0, 0.0, 1000.0, 1000.0


def set_header(pairs, name, values):
    """Sets (or adds) a HEADER variable to the given (code, value) pairs."""
    for i, (code, value) in enumerate(pairs):
        if code == "9" and value.strip() == name:
            j = i + 1
            while j < len(pairs) and pairs[j][0] not in ("9", "0"):
                j += 1
            pairs[i + 1:j] = values
            return
    for i, (code, value) in enumerate(pairs):
        if code == "2" and value.strip() == "HEADER" and i > 0 and pairs[i - 1] == ("0", "SECTION"):
            pairs[i + 1:i + 1] = [("9", name)] + values
            return
    # No HEADER at all (an R12 file may have none): give it one.
    pairs[0:0] = [("0", "SECTION"), ("2", "HEADER"), ("9", name)] + values + [("0", "ENDSEC")]


def prepare(src, dst, hairlines):
    pairs = read_pairs(src)
    units = header_value(pairs, "$INSUNITS")
    try:
        mm = UNIT_MM.get(int(units["70"]), 1.0)
    except (TypeError, KeyError, ValueError):
        mm = 1.0
    x0, y0, x1, y1 = drawing_extents(src, pairs)
    # Generous: LibreCAD centres the drawing on it, and its own extents
    # (text, line types) differ a little from ezdxf's.
    width = max((x1 - x0) * mm * 1.3 + 20, 50)
    height = max((y1 - y0) * mm * 1.3 + 20, 50)
    set_header(pairs, "$PLIMMIN", [("10", "0.0"), ("20", "0.0")])
    set_header(pairs, "$PLIMMAX", [("10", "%.3f" % width), ("20", "%.3f" % height)])
    if hairlines:
        pairs = [(c, "0" if c == "370" else v) for c, v in pairs]
    with open(dst, "wb") as f:
        f.write("".join("%s\n%s\n" % p for p in pairs).encode("latin-1"))


# --- report ---------------------------------------------------------------

def mean(values):
    values = [v for v in values if not math.isnan(v)]
    return sum(values) / len(values) if values else float("nan")


def report(csv_path, md_path):
    """One table per reference (rows without one are LibreCAD's), each
    with the means of every group of drawings."""
    with open(csv_path, newline="") as f:
        rows = list(csv.DictReader(f))
    cols = ["hair_host_covers_ref", "hair_ref_covers_host",
            "print_host_covers_ref", "print_ref_covers_host"]

    def line(name, values, note=""):
        return "| %s | %s | %s |" % (name, " | ".join(
            "—" if math.isnan(v) else "%.3f" % v for v in values), note)

    references = []
    for row in rows:
        row.setdefault("reference", "librecad")
        if row["reference"] not in references:
            references.append(row["reference"])
    out, summary = [], []
    for reference in references:
        out += ["### %s" % reference, "",
                "| drawing | hairline: host covers ref | ref covers host "
                "| as printed: host covers ref | ref covers host | note |",
                "|---|---|---|---|---|---|"]
        groups = {}
        for row in rows:
            if row["reference"] != reference:
                continue
            values = [float(row[c]) for c in cols]
            groups.setdefault(row["group"], []).append(values)
            out.append(line(row["drawing"], values, row.get("note", "")))
        for group, values in groups.items():
            measured = [v for v in values if not any(math.isnan(x) for x in v)]
            means = [mean([v[i] for v in measured]) for i in range(4)]
            out.append(line("**mean, %s (%d of %d)**" % (group, len(measured), len(values)), means))
            summary.append("%s, %s (%d of %d drawings): two-way mean %.3f hairline, %.3f as printed"
                           % (reference, group, len(measured), len(values), (means[0] + means[1]) / 2,
                              (means[2] + means[3]) / 2))
        out.append("")
    text = "\n".join(out) + "\n" + "\n".join("- " + s for s in summary) + "\n"
    with open(md_path, "w") as f:
        f.write(text)
    sys.stdout.write(text)


def main(argv):
    cmd = argv[1] if len(argv) > 1 else ""
    if cmd == "prepare" and len(argv) in (4, 5):
        prepare(argv[2], argv[3], argv[4:] == ["--hairlines"])
    elif cmd == "rasterise" and len(argv) == 5:
        rasterise(argv[2], argv[3], argv[4])
    elif cmd == "compare" and (len(argv) == 4 or (len(argv) == 6 and argv[4] == "--diff")):
        host, ref = ink_mask(argv[2]), ink_mask(argv[3])
        a, b, s, d = compare(host, ref)
        if len(argv) == 6 and not math.isnan(s):
            write_difference(host, ref, s, d, argv[5])
        print("%.4f %.4f %.4f %.1f %.1f" % (a, b, s, d[0], d[1]))
    elif cmd == "report" and len(argv) == 4:
        report(argv[2], argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Renders a drawing with ezdxf's drawing add-on (matplotlib), the second
reference of compare-librecad.sh beside LibreCAD.

  render_ezdxf.py IN.dxf HOST.png OUT.png [--hairlines] [--extents ENTITIES]
      OUT is black on white at the scale that fits the drawing's extents
      into HOST's pixel size, as zulan's export fits them, with a margin:
      zulan's own extents, read from the header of the entity file
      `zulan IN.dxf --write-entities ENTITIES` writes, else where ezdxf's
      ink is; with --hairlines every
      line is drawn at the thinnest width, else at its weight for the
      scale of HOST's picture ($INSUNITS, as the host reads them).

A DIMENSION without its block (as dxflib-based programs write them) draws
nothing in ezdxf; it is given the block ezdxf makes from the definition
points, which AutoCAD would show. Used by the bench script only, never by
the product.
"""
import struct
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from PIL import Image  # noqa: E402

import ezdxf  # noqa: E402
from ezdxf import bbox, recover  # noqa: E402
from ezdxf.addons.drawing import Frontend, RenderContext  # noqa: E402
from ezdxf.addons.drawing.config import Configuration  # noqa: E402
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend  # noqa: E402
from ezdxf.addons.drawing.properties import LayoutProperties  # noqa: E402

DPI = 100
MARGIN = 0.08  # of the extents, each side
UNIT_MM = {1: 25.4, 2: 304.8, 3: 1609344.0, 4: 1.0, 5: 10.0, 6: 1000.0,
           7: 1e6, 8: 25.4e-6, 9: 0.0254, 10: 914.4, 13: 0.001, 14: 100.0}


def read(path):
    try:
        return ezdxf.readfile(path)
    except (IOError, ezdxf.DXFStructureError):
        doc, _ = recover.readfile(path)
        return doc


def give_dimensions_blocks(doc):
    for dim in doc.modelspace().query("DIMENSION"):
        name = dim.dxf.get("geometry", "")
        if name and name in doc.blocks:
            continue
        try:
            dim.override().render()
        except Exception as error:  # an odd one: left as ezdxf shows it
            sys.stderr.write("render_ezdxf: dimension %s: %s\n" % (dim.dxf.handle, error))


def draw(doc, window, size, lineweight_scaling, dst):
    """Draws model space into a picture of size pixels showing window
    (x0, y0, x1, y1); returns the picture's ink mask."""
    msp = doc.modelspace()
    width, height = size
    fig = plt.figure(figsize=(width / DPI, height / DPI), dpi=DPI)
    ax = fig.add_axes([0, 0, 1, 1])
    paper = LayoutProperties.from_layout(msp)
    paper.set_colors("#ffffff")
    # matplotlib's line widths are points, 72 to DPI pixels; ezdxf's width
    # is the weight in millimetres times the scaling, at least a pixel.
    config = Configuration.defaults().with_changes(lineweight_scaling=lineweight_scaling)
    backend = MatplotlibBackend(ax, adjust_figure=False)
    Frontend(RenderContext(doc), backend, config=config).draw_layout(msp, finalize=True, layout_properties=paper)
    ax.set_xlim(window[0], window[2])
    ax.set_ylim(window[1], window[3])
    ax.set_axis_off()
    fig.savefig(dst, dpi=DPI, facecolor="#ffffff")
    plt.close(fig)
    return np.asarray(Image.open(dst).convert("RGB")).min(axis=2) < 160


def fitted(box, size, margin):
    """The window of a picture of size pixels that fits box into it, centred,
    with margin (a share of the size) round it, and its pixels a unit."""
    x0, y0, x1, y1 = box
    scale = min(size[0] / max(x1 - x0, 1e-9), size[1] / max(y1 - y0, 1e-9))
    width, height = round(size[0] * (1 + 2 * margin)), round(size[1] * (1 + 2 * margin))
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    half_w, half_h = width / scale / 2, height / scale / 2
    return (cx - half_w, cy - half_h, cx + half_w, cy + half_h), (width, height), scale


def zulan_extents(entities):
    """(x0, y0, x1, y1) from the header line of zulan's entity file: the
    drawing header's bytes, the extents four floats from byte 12."""
    with open(entities) as f:
        for line in f:
            if line.startswith("header "):
                data = bytes.fromhex(line.split()[1])
                return struct.unpack_from("<4f", data, 12)
    raise ValueError(entities + ": no header line")


def render(src, host_png, dst, hairlines, entities=None):
    doc = read(src)
    give_dimensions_blocks(doc)
    size = Image.open(host_png).size
    mm_per_unit = UNIT_MM.get(doc.header.get("$INSUNITS", 0), 1.0)
    if entities:
        window, pixels, scale = fitted(zulan_extents(entities), size, MARGIN)
        draw(doc, window, pixels, 0.0 if hairlines else scale / mm_per_unit * 72.0 / DPI, dst)
        return
    # ezdxf's extents of text and of some entities are rough: a first
    # picture, with room round them, finds where its ink really is.
    box = bbox.extents(doc.modelspace(), fast=True)
    window, pixels, _ = fitted((box.extmin.x, box.extmin.y, box.extmax.x, box.extmax.y), size, 0.5)
    ink = draw(doc, window, pixels, 0.0, dst)
    rows, cols = np.flatnonzero(ink.any(axis=1)), np.flatnonzero(ink.any(axis=0))
    if rows.size:
        ux = (window[2] - window[0]) / pixels[0]
        uy = (window[3] - window[1]) / pixels[1]
        box = (window[0] + cols[0] * ux, window[3] - (rows[-1] + 1) * uy,
               window[0] + (cols[-1] + 1) * ux, window[3] - rows[0] * uy)
    else:
        box = (box.extmin.x, box.extmin.y, box.extmax.x, box.extmax.y)
    # Then the picture at the scale that fits that ink into HOST's size, as
    # the export fits the extents into its bitmap, with a margin round it.
    window, pixels, scale = fitted(box, size, MARGIN)
    draw(doc, window, pixels, 0.0 if hairlines else scale / mm_per_unit * 72.0 / DPI, dst)


def main(argv):
    args = argv[4:]
    hairlines = "--hairlines" in args
    if hairlines:
        args.remove("--hairlines")
    entities = None
    if len(args) == 2 and args[0] == "--extents":
        entities, args = args[1], []
    if len(argv) < 4 or args:
        sys.stderr.write(__doc__)
        return 2
    render(argv[1], argv[2], argv[3], hairlines, entities)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

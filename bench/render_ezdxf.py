#!/usr/bin/python3
"""Renders a drawing with ezdxf's drawing add-on (matplotlib), the second
reference of compare-librecad.sh beside LibreCAD.

  render_ezdxf.py IN.dxf HOST.png OUT.png [--hairlines]
      OUT gets HOST's pixel size, black on white, the drawing's extents
      fitted into it as zulan's export fits them; with --hairlines every
      line is drawn at the thinnest width, else at its weight for the
      scale of HOST's picture ($INSUNITS, as the host reads them).

A DIMENSION without its block (as dxflib-based programs write them) draws
nothing in ezdxf; it is given the block ezdxf makes from the definition
points, which AutoCAD would show. Used by the bench script only, never by
the product.
"""
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
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


def render(src, host_png, dst, hairlines):
    doc = read(src)
    give_dimensions_blocks(doc)
    msp = doc.modelspace()
    width, height = Image.open(host_png).size
    box = bbox.extents(msp, fast=True)
    x0, y0, x1, y1 = box.extmin.x, box.extmin.y, box.extmax.x, box.extmax.y
    # Fitted and centred as the export fits the extents into its bitmap,
    # with a margin: ezdxf's extents of text and of some curves are rough,
    # and the comparison registers the pictures by their ink anyway.
    scale = min(width / max(x1 - x0, 1e-9), height / max(y1 - y0, 1e-9)) / (1 + 2 * MARGIN)
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    half_w, half_h = width / scale / 2, height / scale / 2

    fig = plt.figure(figsize=(width / DPI, height / DPI), dpi=DPI)
    ax = fig.add_axes([0, 0, 1, 1])
    ctx = RenderContext(doc)
    paper = LayoutProperties.from_layout(msp)
    paper.set_colors("#ffffff")
    units = doc.header.get("$INSUNITS", 0)
    mm_per_unit = UNIT_MM.get(units, 1.0)
    # matplotlib's line widths are points, 72 to DPI pixels; ezdxf's width
    # is the weight in millimetres times the scaling, at least a pixel.
    if hairlines:
        config = Configuration.defaults().with_changes(lineweight_scaling=0.0)
    else:
        pixels_per_mm = scale / mm_per_unit
        config = Configuration.defaults().with_changes(lineweight_scaling=pixels_per_mm * 72.0 / DPI)
    backend = MatplotlibBackend(ax, adjust_figure=False)
    Frontend(ctx, backend, config=config).draw_layout(msp, finalize=True, layout_properties=paper)
    ax.set_xlim(cx - half_w, cx + half_w)
    ax.set_ylim(cy - half_h, cy + half_h)
    ax.set_axis_off()
    fig.savefig(dst, dpi=DPI, facecolor="#ffffff")
    plt.close(fig)


def main(argv):
    if len(argv) not in (4, 5) or argv[4:] not in ([], ["--hairlines"]):
        sys.stderr.write(__doc__)
        return 2
    render(argv[1], argv[2], argv[3], argv[4:] == ["--hairlines"])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Writes small drawings into examples/features/, one per drawing feature,
for bench/compare-librecad.sh to render with zulan and with LibreCAD.

weights.dxf     line weights (group 370) on entities, on layers, BYLAYER,
                BYBLOCK inside an insert, DEFAULT.
linetypes.dxf   dash patterns from the LTYPE table, $LTSCALE, an entity's
                own line type scale, line types on curves and polylines.
widths.dxf      LWPOLYLINE and 2D POLYLINE widths: constant, tapered per
                vertex, on arcs (bulges), donuts.
splines.dxf     SPLINEs from control points (open, closed, rational) and
                from fit points.
text.dxf        TEXT alignments (aligned and fit included), MTEXT paragraphs,
                wrapping at a width, attachment points, \\H and \\C codes.
hatches.dxf     pattern hatches (angle, scale), hatches with spline edges.
points.dxf      POINTs drawn as $PDMODE and $PDSIZE say.
attributes.dxf  ATTRIB values of inserted blocks, and an insert on a frozen
                layer whose block holds entities on visible layers.

Every drawing is in millimetres and about 200 x 140 mm, so that line
weights come out at the same size as on a 1:1 print.
Run with Debian's python3-ezdxf: /usr/bin/python3 examples/make_features.py
"""
import math
import os
import ezdxf

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "features")


def new_drawing():
    doc = ezdxf.new("R2010", setup=True)
    doc.header["$INSUNITS"] = 4  # millimetres
    doc.header["$LWDISPLAY"] = 1
    return doc


def save(doc, name):
    doc.saveas(os.path.join(HERE, name))


def weights():
    doc = new_drawing()
    doc.layers.add("THIN", color=7, lineweight=13)
    doc.layers.add("THICK", color=1, lineweight=70)
    doc.layers.add("PLAIN", color=5)            # DEFAULT weight
    msp = doc.modelspace()
    # A ladder of explicit weights, 0 to 2 mm.
    for i, lw in enumerate([0, 18, 25, 35, 50, 70, 100, 140, 200]):
        y = 130 - i * 10
        msp.add_line((0, y), (80, y), dxfattribs={"lineweight": lw})
    # BYLAYER on each layer.
    for i, layer in enumerate(["THIN", "THICK", "PLAIN"]):
        x = 100 + i * 20
        msp.add_line((x, 40), (x, 130), dxfattribs={"layer": layer})
    # Curves and polylines take weights too.
    msp.add_circle((40, 20), 15, dxfattribs={"lineweight": 50})
    msp.add_arc((90, 20), 15, 0, 180, dxfattribs={"layer": "THICK"})
    msp.add_ellipse((140, 20), major_axis=(20, 0), ratio=0.5,
                    dxfattribs={"lineweight": 100})
    msp.add_lwpolyline([(170, 10), (200, 10), (185, 40)], close=True,
                       dxfattribs={"lineweight": 35})
    # BYBLOCK contents take the insert's weight.
    box = doc.blocks.new("BOX")
    box.add_lwpolyline([(0, 0), (20, 0), (20, 20), (0, 20)], close=True,
                       dxfattribs={"lineweight": -2})
    box.add_line((0, 0), (20, 20), dxfattribs={"lineweight": -2})
    msp.add_blockref("BOX", (170, 60), dxfattribs={"lineweight": 140})
    msp.add_blockref("BOX", (170, 100), dxfattribs={"lineweight": 0})
    save(doc, "weights.dxf")


def linetypes():
    doc = new_drawing()
    doc.header["$LTSCALE"] = 2.0
    doc.linetypes.add("ZIGGY", pattern=[7.0, 4.0, -1.0, 0.0, -1.0, 1.0, -1.0],
                      description="dash, dot, short dash")
    doc.layers.add("HIDDENS", color=7, linetype="HIDDEN")
    msp = doc.modelspace()
    names = ["CONTINUOUS", "DASHED", "HIDDEN", "CENTER", "DASHDOT",
             "PHANTOM", "DOT", "DIVIDE", "BORDER", "ZIGGY"]
    for i, name in enumerate(names):
        y = 130 - i * 8
        msp.add_line((0, y), (110, y), dxfattribs={"linetype": name})
    # An entity scale of its own on top of $LTSCALE.
    msp.add_line((0, 45), (110, 45), dxfattribs={"linetype": "DASHED",
                                                 "ltscale": 0.5})
    msp.add_line((0, 38), (110, 38), dxfattribs={"linetype": "DASHED",
                                                 "ltscale": 3})
    # Curves and polylines, the last BYLAYER.
    msp.add_circle((150, 110), 25, dxfattribs={"linetype": "CENTER"})
    msp.add_arc((150, 110), 15, 30, 300, dxfattribs={"linetype": "DASHED"})
    msp.add_ellipse((150, 50), major_axis=(35, 0), ratio=0.4,
                    dxfattribs={"linetype": "DASHDOT"})
    msp.add_lwpolyline([(0, 0), (40, 25), (80, 0), (120, 25), (200, 0)],
                       dxfattribs={"layer": "HIDDENS"})
    save(doc, "linetypes.dxf")


def widths():
    doc = new_drawing()
    msp = doc.modelspace()
    # Constant width.
    msp.add_lwpolyline([(0, 130), (60, 130), (60, 100), (10, 100)],
                       dxfattribs={"const_width": 3})
    # Tapered: start and end widths per vertex (an arrow).
    msp.add_lwpolyline([(80, 120, 0, 0, 0), (140, 120, 8, 0, 0),
                        (160, 120, 0, 0, 0)], format="xyseb")
    msp.add_lwpolyline([(80, 100, 1, 6, 0), (160, 100, 6, 1, 0)],
                       format="xyseb")
    # Wide arcs (bulges), closed.
    msp.add_lwpolyline([(0, 60, 2, 2, 0.5), (50, 60, 2, 2, 0),
                        (50, 80, 2, 2, 0.5), (0, 80, 2, 2, 0)],
                       format="xyseb", close=True)
    # Donuts: two half-circle arcs with a width, one filled to the centre.
    for cx, inner, outer in [(90, 6, 14), (130, 0, 12), (170, 8, 10)]:
        r = (inner + outer) / 4
        w = (outer - inner) / 2
        msp.add_lwpolyline([(cx - r, 70, w, w, 1), (cx + r, 70, w, w, 1)],
                           format="xyseb", close=True)
    # The old POLYLINE entity with widths.
    pl = msp.add_polyline2d([(0, 10), (40, 30), (80, 10), (120, 30)],
                            dxfattribs={"default_start_width": 2,
                                        "default_end_width": 2})
    pl.vertices[2].dxf.start_width = 6
    pl.vertices[2].dxf.end_width = 0.5
    msp.add_polyline2d([(140, 10), (200, 10), (200, 40), (140, 40)],
                       close=True,
                       dxfattribs={"default_start_width": 1.5,
                                   "default_end_width": 1.5})
    save(doc, "widths.dxf")


def splines():
    doc = new_drawing()
    msp = doc.modelspace()
    # Open cubic from control points, and its control polygon.
    cps = [(0, 100), (30, 140), (60, 90), (90, 140), (120, 100)]
    msp.add_open_spline(cps, degree=3)
    msp.add_lwpolyline(cps, dxfattribs={"color": 8})
    # Quadratic.
    msp.add_open_spline([(140, 100), (170, 140), (200, 100)], degree=2)
    # Closed (periodic) cubic.
    ring = [(40 + 30 * math.cos(a), 50 + 25 * math.sin(a), 0)
            for a in [i * math.pi / 3 for i in range(6)]]
    msp.add_spline(dxfattribs={"degree": 3}).set_closed(ring)
    # Rational: a quarter circle needs weights.
    w = math.sqrt(0.5)
    msp.add_rational_spline([(100, 20), (100, 70), (150, 70)], [1, w, 1],
                            degree=2)
    # Fit points only.
    msp.add_spline([(130, 10), (150, 40), (170, 5), (200, 45)])
    save(doc, "splines.dxf")


def text():
    doc = new_drawing()
    msp = doc.modelspace()
    from ezdxf.enums import TextEntityAlignment as A
    marks = [((10, 130), A.LEFT), ((100, 130), A.CENTER),
             ((190, 130), A.RIGHT), ((100, 118), A.MIDDLE_CENTER),
             ((10, 108), A.TOP_LEFT), ((190, 108), A.BOTTOM_RIGHT)]
    for pos, align in marks:
        msp.add_text(align.name, height=4).set_placement(pos, align=align)
    # Aligned squeezes the height too; fit keeps it.
    msp.add_text("ALIGNED", height=5).set_placement(
        (10, 92), (90, 92), align=A.ALIGNED)
    msp.add_text("FIT", height=5).set_placement(
        (110, 92), (190, 92), align=A.FIT)
    msp.add_text("rotated 30", height=4,
                 dxfattribs={"rotation": 30, "insert": (150, 60)})
    # MTEXT: paragraphs, a wrap width, attachment points, inline codes.
    msp.add_mtext("First paragraph of the note.\\PSecond paragraph, "
                  "long enough to wrap at the width it is given.",
                  dxfattribs={"insert": (10, 80), "char_height": 3.5,
                              "width": 41, "attachment_point": 1})
    msp.add_mtext("Bottom right\\Pattached",
                  dxfattribs={"insert": (190, 10), "char_height": 4,
                              "attachment_point": 9})
    msp.add_mtext("Middle\\Pcentre", dxfattribs={
        "insert": (100, 45), "char_height": 4, "attachment_point": 5})
    msp.add_mtext("Small {\\H2x;tall} and {\\C1;red} words",
                  dxfattribs={"insert": (10, 25), "char_height": 3.5,
                              "attachment_point": 7})
    for x in (10, 100, 190):
        msp.add_circle((x, 130), 0.8, dxfattribs={"color": 1})
    save(doc, "text.dxf")


def hatches():
    doc = new_drawing()
    msp = doc.modelspace()
    # Pattern hatches on rectangles, with their outlines.
    cells = [("ANSI31", 0, 1), ("ANSI31", 90, 2), ("ANSI37", 0, 1),
             ("BRICK", 0, 0.5), ("NET", 45, 1), ("DOTS", 0, 1)]
    for i, (name, angle, scale) in enumerate(cells):
        x, y = 10 + (i % 3) * 65, 80 - (i // 3) * 45
        box = [(x, y), (x + 55, y), (x + 55, y + 40), (x, y + 40)]
        msp.add_lwpolyline(box, close=True)
        h = msp.add_hatch(color=7)
        h.set_pattern_fill(name, angle=angle, scale=scale)
        h.paths.add_polyline_path(box, is_closed=True)
    # A spline-edged boundary, solid and patterned.
    for x0, pattern in [(10, None), (110, "ANSI31")]:
        h = msp.add_hatch(color=7 if pattern else 3)
        if pattern:
            h.set_pattern_fill(pattern, scale=1)
        edges = h.paths.add_edge_path()
        edges.add_spline(control_points=[(x0, -20), (x0 + 20, 20),
                                         (x0 + 60, -30), (x0 + 80, -20)],
                         degree=3)
        edges.add_line((x0 + 80, -20), (x0 + 80, -40))
        edges.add_line((x0 + 80, -40), (x0, -40))
        edges.add_line((x0, -40), (x0, -20))
    save(doc, "hatches.dxf")


def points():
    doc = new_drawing()
    doc.header["$PDMODE"] = 34      # a cross in a circle
    doc.header["$PDSIZE"] = 6.0     # world units
    msp = doc.modelspace()
    for i in range(6):
        for j in range(4):
            msp.add_point((15 + i * 35, 15 + j * 35))
    msp.add_lwpolyline([(0, 0), (200, 0), (200, 130), (0, 130)], close=True)
    save(doc, "points.dxf")


def attributes():
    doc = new_drawing()
    doc.layers.add("TAGS", color=3)
    doc.layers.add("HIDDENTAGS", color=1).freeze()
    tag = doc.blocks.new("TAG")
    tag.add_lwpolyline([(0, 0), (40, 0), (40, 15), (0, 15)], close=True)
    tag.add_attdef("NAME", (2, 9), dxfattribs={"height": 3.5})
    tag.add_attdef("NUMBER", (2, 2), dxfattribs={"height": 3})
    # On its own layer, so that a frozen insert must hide it all.
    tag.add_circle((35, 7.5), 3, dxfattribs={"layer": "TAGS"})
    msp = doc.modelspace()
    for i, (name, number) in enumerate([("PUMP", "P-101"),
                                        ("VALVE", "V-7"),
                                        ("TANK", "T-12")]):
        ref = msp.add_blockref("TAG", (10 + i * 60, 100))
        ref.add_auto_attribs({"NAME": name, "NUMBER": number})
    big = msp.add_blockref("TAG", (10, 40), dxfattribs={
        "xscale": 2, "yscale": 2, "rotation": 10})
    big.add_auto_attribs({"NAME": "SCALED", "NUMBER": "x2"})
    hidden = msp.add_blockref("TAG", (120, 40),
                              dxfattribs={"layer": "HIDDENTAGS"})
    hidden.add_auto_attribs({"NAME": "FROZEN", "NUMBER": "no"})
    msp.add_lwpolyline([(0, 0), (200, 0), (200, 130), (0, 130)], close=True)
    save(doc, "attributes.dxf")


if __name__ == "__main__":
    os.makedirs(HERE, exist_ok=True)
    for make in (weights, linetypes, widths, splines, text, hatches, points,
                 attributes):
        make()

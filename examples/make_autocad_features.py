#!/usr/bin/python3
"""Writes drawings of what AutoCAD itself writes into examples/autocad/, one
per group of features, for bench/compare-librecad.sh to render with zulan,
ezdxf's drawing add-on and LibreCAD, and for the drawing tests.

table.dxf          ACAD_TABLE entities with their anonymous *T blocks
                   (written by hand: ezdxf writes no tables).
mtext-columns.dxf  MTEXT in static and dynamic columns, as R2018 writes
                   them (the embedded object).
mtext-columns-r2013.dxf  the same as R2000-R2013 write them (ACAD extended
                   data, one linked MTEXT per further column).
mtext-format.dxf   MTEXT background fills (a colour, the drawing's
                   background with a frame), paragraph alignment (\\pq),
                   and an MTEXT whose extrusion points down.
annotations.dxf    LEADERs (one with text standing on its line), dimensions
                   without their blocks (as dxflib-based programs write
                   them: text above and across the line, dots, open and
                   box arrowheads, an override in extended data), an
                   ATTDEF in model space, mirrored TEXT and a line in a
                   true colour.
faces.dxf          3DFACEs with hidden edges, a WIPEOUT over lines, a 2D
                   POLYLINE with a tilted extrusion and a HATCH with a
                   clockwise arc edge.

Every drawing is in millimetres and about 200 x 140 mm; the tests in
tests/host/drawing/autocadfeatures_test.cpp check pixels by these
coordinates, so keep them in step.
Run with Debian's python3-ezdxf: /usr/bin/python3 examples/make_autocad_features.py
"""
import os
import ezdxf

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "autocad")

LOREM = ("Lorem ipsum dolor sit amet consectetur adipiscing elit sed do "
         "eiusmod tempor incididunt ut labore et dolore magna aliqua Ut enim "
         "ad minim veniam quis nostrud exercitation ullamco laboris nisi ut "
         "aliquip ex ea commodo consequat")


def new_drawing(version="R2018"):
    doc = ezdxf.new(version, setup=True)
    doc.header["$INSUNITS"] = 4  # millimetres
    # The font zulan sets every text in: peers measure and draw with it too,
    # rather than with a stand-in for AutoCAD's own fonts.
    for style in doc.styles:
        style.dxf.font = "DejaVuSans.ttf"
    for dimstyle in doc.dimstyles:
        dimstyle.dxf.dimtxsty = "Standard"
    return doc


def save(doc, name, extra_entities=""):
    path = os.path.join(HERE, name)
    doc.saveas(path)
    if extra_entities:
        # Entities ezdxf cannot write go at the end of the ENTITIES section.
        with open(path, encoding="utf-8") as f:
            text = f.read()
        at = text.index("ENTITIES")
        end = text.index("  0\nENDSEC", at)
        text = text[:end] + extra_entities + text[end:]
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


def groups(pairs):
    return "".join(f"{code:>3}\n{value}\n" for code, value in pairs)


# --- ACAD_TABLE -------------------------------------------------------------

def table_entity(handle, owner, block, at, rows, columns, cells, height):
    """An ACAD_TABLE as the DXF reference lays it out: the block reference
    (2, 10), the table's rows and columns, then each cell's groups."""
    pairs = [(0, "ACAD_TABLE"), (5, handle), (330, owner), (100, "AcDbEntity"),
             (8, "0"), (100, "AcDbBlockReference"), (2, block),
             (10, at[0]), (20, at[1]), (30, 0.0), (100, "AcDbTable"),
             (280, 0), (11, 1.0), (21, 0.0), (31, 0.0), (90, 22),
             (91, len(rows)), (92, len(columns)), (93, 0), (94, 0), (95, 0),
             (96, 0)]
    pairs += [(141, h) for h in rows]
    pairs += [(142, w) for w in columns]
    for text in cells:
        pairs += [(171, 1), (172, 0), (173, 0), (174, 0), (175, 1),
                  (176, 1), (91, 0), (178, 0), (145, 0.0), (170, 5),
                  (140, height), (1, text)]
    return groups(pairs)


def table_block(doc, at_cells, rows, columns, height):
    """The *T block AutoCAD writes: the borders as lines, each cell's text as
    an MTEXT centred in it; relative to the table's insertion point."""
    block = doc.blocks.new_anonymous_block(type_char="T")
    top = [0.0]
    for h in rows:
        top.append(top[-1] - h)
    left = [0.0]
    for w in columns:
        left.append(left[-1] + w)
    for y in top:
        block.add_line((0, y), (left[-1], y))
    for x in left:
        block.add_line((x, 0), (x, top[-1]))
    for i, text in enumerate(at_cells):
        r, c = divmod(i, len(columns))
        block.add_mtext(text, dxfattribs={
            "insert": ((left[c] + left[c + 1]) / 2, (top[r] + top[r + 1]) / 2),
            "char_height": height, "attachment_point": 5})
    return block.name


def table():
    doc = new_drawing()
    msp = doc.modelspace()
    rows, columns = [12, 10, 10, 10], [50, 40, 60]
    cells = ["Part", "Count", "Material",
             "Bracket", "2", "Steel",
             "Bolt M8", "8", "Zinc plated",
             "Washer", "16", "Nylon"]
    name = table_block(doc, cells, rows, columns, 4)
    extra = table_entity("FF01", msp.block_record_handle, name, (20, 120),
                         rows, columns, cells, 4)
    rows2, columns2 = [10, 10], [30, 30]
    cells2 = ["A1", "B1", "A2", "B2"]
    name2 = table_block(doc, cells2, rows2, columns2, 5)
    extra += table_entity("FF02", msp.block_record_handle, name2, (120, 50),
                          rows2, columns2, cells2, 5)
    save(doc, "table.dxf", extra)


# --- MTEXT ------------------------------------------------------------------

def columns(version, name):
    doc = new_drawing(version)
    msp = doc.modelspace()
    # Static: two columns of their own text, 40 wide, 30 high.
    msp.add_mtext_static_columns(
        ["Static column one holds these words", "Column two holds the rest"],
        40, 6, 30, dxfattribs={"char_height": 4, "insert": (5, 135)})
    # Dynamic of automatic height: the text flows on at 30.
    msp.add_mtext_dynamic_auto_height_columns(
        LOREM, 50, 5, 40, 3, dxfattribs={"char_height": 3.5, "insert": (5, 90)})
    if version == "R2018":
        # Dynamic of their own heights: 20 then the rest. (ezdxf writes the
        # R2013 form of these wrongly, a linked column's text empty.)
        msp.add_mtext_dynamic_manual_height_columns(
            LOREM[:110], 45, 5, [20, 30],
            dxfattribs={"char_height": 3, "insert": (110, 135)})
    save(doc, name)


def mtext_format():
    doc = new_drawing()
    msp = doc.modelspace()
    # Lines under the backgrounds: hidden where the fill is.
    for y in (130, 122, 114):
        msp.add_line((0, y), (200, y))
    coloured = msp.add_mtext("Grey background",
                             dxfattribs={"char_height": 5, "insert": (10, 128),
                                         "width": 70})
    coloured.set_bg_color(254, scale=1.5)  # pale grey: hides, is no ink
    canvas = msp.add_mtext("Background and frame",
                           dxfattribs={"char_height": 5, "insert": (110, 128),
                                       "width": 80})
    canvas.set_bg_color("canvas", scale=1.2, text_frame=True)
    # Paragraph alignment within a 60 wide frame.
    for i, (code, text) in enumerate([("l", "Left aligned"),
                                      ("c", "Centred"),
                                      ("r", "Right aligned"),
                                      ("j", "Justified text spreads its words "
                                            "to fill each line but the last")]):
        msp.add_mtext("\\pxq" + code + ";" + text,
                      dxfattribs={"char_height": 4, "insert": (10, 100 - i * 12),
                                  "width": 60})
        msp.add_line((10, 104 - i * 12), (70, 104 - i * 12),
                     dxfattribs={"color": 8})
    # Extrusion pointing down: seen from above, the object's x runs left.
    # Centred on its point (attachment 5), so its box stays where it is.
    msp.add_mtext("Mirrored", dxfattribs={"char_height": 6, "insert": (165, 60),
                                          "extrusion": (0, 0, -1),
                                          "attachment_point": 5})
    msp.add_mtext("Upright", dxfattribs={"char_height": 6, "insert": (110, 60)})
    save(doc, "mtext-format.dxf")


# --- the rest ---------------------------------------------------------------

def annotations():
    doc = new_drawing("R2013")
    msp = doc.modelspace()
    doc.header["$DIMSCALE"] = 1.0
    doc.header["$DIMASZ"] = 3.0
    doc.header["$DIMTXT"] = 3.5
    doc.header["$DIMEXO"] = 1.0
    doc.header["$DIMEXE"] = 1.5
    msp.add_leader([(20, 100), (40, 120), (60, 120)])
    # Text above the line ($DIMTAD, and the leader's dimension style for
    # ezdxf, which reads that): the line runs on under the text's width.
    doc.header["$DIMTAD"] = 1
    doc.header["$DIMGAP"] = 1.0
    doc.dimstyles.new("LEADERTEXT", dxfattribs={"dimtad": 1, "dimgap": 1.0, "dimasz": 3.0,
                                                 "dimtxsty": "Standard"})
    msp.add_leader([(70, 95), (85, 110), (95, 110)], dimstyle="LEADERTEXT",
                   dxfattribs={"annotation_type": 0, "has_hookline": 1,
                               "hookline_direction": 0, "text_width": 11.4,
                               "text_height": 3.5})
    # The text as a TEXT: ezdxf sets an MTEXT's lines higher than AutoCAD's
    # line spacing does (see host/drawing/README.md).
    msp.add_text("Note", dxfattribs={"insert": (96, 111), "height": 3.5})
    line = msp.add_line((100, 130), (125, 130))
    line.rgb = (255, 0, 0)
    msp.add_line((10, 20), (90, 20))
    dim = msp.add_linear_dim(base=(50, 35), p1=(10, 20), p2=(90, 20))
    dim.render()
    dim = msp.add_aligned_dim(p1=(110, 20), p2=(180, 50), distance=10)
    dim.render()
    msp.add_circle((150, 110), 20)
    dim = msp.add_radius_dim((150, 110), radius=20, angle=30)
    dim.render()
    # Dimension styles drawn as AutoCAD draws them: text above the line
    # (DIMTAD 1) between dots; text across the line (DIMTAD 0), which is
    # broken for it, between open arrowheads; and the second style with
    # extended data (DSTYLE) overriding it: text above, boxes for arrowheads.
    looks = {"dimgap": 1.0, "dimasz": 3.0, "dimtxt": 3.5, "dimexo": 1.0, "dimexe": 1.5,
             "dimdec": 1, "dimtxsty": "Standard"}
    doc.dimstyles.new("ABOVEDOTS", dxfattribs=dict(looks, dimtad=1)).set_arrows(blk="DOT")
    doc.dimstyles.new("ACROSS", dxfattribs=dict(looks, dimtad=0)).set_arrows(blk="OPEN")
    dim = msp.add_linear_dim(base=(25, 82), p1=(10, 72), p2=(45, 72), dimstyle="ABOVEDOTS")
    dim.render()
    dim = msp.add_linear_dim(base=(160, 78), p1=(135, 65), p2=(190, 65), dimstyle="ACROSS")
    dim.render()
    dim = msp.add_linear_dim(base=(75, 82), p1=(55, 72), p2=(95, 72), dimstyle="ACROSS",
                             override={"dimtad": 1, "dimblk": "BOXFILLED"})
    dim.render()
    msp.add_attdef("PARTNO", (100, 70), dxfattribs={"height": 5})
    msp.add_text("Backward", dxfattribs={"height": 5, "insert": (20, 60),
                                          "text_generation_flag": 2})
    msp.add_text("Upside down", dxfattribs={"height": 5, "insert": (20, 45),
                                             "text_generation_flag": 4})
    # Dimensions without their blocks, as dxflib-based programs write them.
    for dimension in msp.query("DIMENSION"):
        doc.blocks.delete_block(dimension.dxf.geometry, safe=False)
        dimension.dxf.discard("geometry")
    save(doc, "annotations.dxf")


def faces():
    doc = new_drawing()
    msp = doc.modelspace()
    msp.add_3dface([(10, 100), (60, 100), (60, 130), (10, 130)])
    # Edges 2 and 4 hidden: only the bottom and top show.
    msp.add_3dface([(80, 100), (130, 100), (130, 130), (80, 130)],
                   dxfattribs={"invisible": 2 | 8})
    for x in range(10, 90, 8):
        msp.add_line((x, 10), (x, 70))
    msp.add_wipeout([(20, 25), (70, 25), (70, 55), (20, 55)])
    # A square in the plane tilted about x. By the arbitrary axis algorithm
    # its object x is the world's -x and its y the world's -y times 0.8 seen
    # from above: from (150, 100) to (180, 124) in the world.
    msp.add_polyline2d([(-150, -125), (-180, -125), (-180, -155), (-150, -155)],
                       close=True, dxfattribs={"extrusion": (0, 0.6, 0.8)})
    hatch = msp.add_hatch(color=3)
    path = hatch.paths.add_edge_path()
    path.add_line((110, 20), (170, 20))
    path.add_arc((140, 20), 30, 0, 180, ccw=False)
    hatch.set_solid_fill(color=3)
    save(doc, "faces.dxf")


if __name__ == "__main__":
    os.makedirs(HERE, exist_ok=True)
    table()
    columns("R2018", "mtext-columns.dxf")
    columns("R2013", "mtext-columns-r2013.dxf")
    mtext_format()
    annotations()
    faces()

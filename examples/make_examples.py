#!/usr/bin/python3
"""Writes the example drawings next to this script.

floorplan.dxf  a small flat: walls, doors and windows as nested blocks,
               room names, a solid-filled column, a drawing frame, a layer
               switched off (furniture) and a frozen one (notes).
bracket.dxf    a mechanical part: outline with arcs (bulges), holes as a
               rotated and scaled block, an ellipse, a slot, a filled
               section, centre lines and drawing limits.

Run with Debian's python3-ezdxf: /usr/bin/python3 examples/make_examples.py
The output is deterministic apart from ezdxf's own handles and timestamps.
"""
import os
import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))


def new_drawing():
    doc = ezdxf.new("R2000")
    doc.header["$INSUNITS"] = 4  # millimetres
    return doc


def floorplan():
    doc = new_drawing()
    layers = doc.layers
    layers.add("WALLS", color=7)
    layers.add("DOORS", color=1)
    layers.add("WINDOWS", color=5)
    layers.add("TEXT", color=3)
    layers.add("FILL", color=8)
    layers.add("FRAME", color=7)
    layers.add("FURNITURE", color=4).off()
    layers.add("NOTES", color=2).freeze()

    # A door leaf and its swing; the swing is its own block so that a door
    # is a nested insert. Both are drawn on layer 0 and inherit the insert's.
    swing = doc.blocks.new("SWING")
    swing.add_arc((0, 0), 900, 0, 90)
    door = doc.blocks.new("DOOR")
    door.add_line((0, 0), (0, 900))
    door.add_blockref("SWING", (0, 0))
    window = doc.blocks.new("WINDOW")
    window.add_line((0, -60), (1200, -60), dxfattribs={"color": 0})
    window.add_line((0, 60), (1200, 60), dxfattribs={"color": 0})

    msp = doc.modelspace()
    outer = [(0, 0), (10000, 0), (10000, 7000), (0, 7000)]
    inner = [(200, 200), (9800, 200), (9800, 6800), (200, 6800)]
    msp.add_lwpolyline(outer, close=True, dxfattribs={"layer": "WALLS"})
    msp.add_lwpolyline(inner, close=True, dxfattribs={"layer": "WALLS"})
    msp.add_line((5000, 200), (5000, 6800), dxfattribs={"layer": "WALLS"})
    msp.add_line((200, 3500), (5000, 3500), dxfattribs={"layer": "WALLS"})

    msp.add_blockref("DOOR", (5000, 1000), dxfattribs={"layer": "DOORS"})
    msp.add_blockref("DOOR", (2000, 3500), dxfattribs={
        "layer": "DOORS", "rotation": 270})
    msp.add_blockref("WINDOW", (1500, 100), dxfattribs={
        "layer": "WINDOWS", "color": 5})
    msp.add_blockref("WINDOW", (6500, 6900), dxfattribs={
        "layer": "WINDOWS", "color": 150, "xscale": 1.5})

    msp.add_text("KITCHEN", dxfattribs={
        "layer": "TEXT", "height": 250, "insert": (1000, 2000)})
    msp.add_text("BEDROOM", dxfattribs={
        "layer": "TEXT", "height": 250, "insert": (1000, 5000)})
    msp.add_mtext("LIVING ROOM", dxfattribs={
        "layer": "TEXT", "char_height": 300, "insert": (6000, 4000)})

    column = msp.add_hatch(color=256, dxfattribs={"layer": "FILL"})
    column.paths.add_polyline_path(
        [(4800, 3300), (5200, 3300), (5200, 3700), (4800, 3700)],
        is_closed=True)

    msp.add_circle((8000, 2000), 600, dxfattribs={"layer": "FURNITURE"})
    msp.add_text("check the window sizes", dxfattribs={
        "layer": "NOTES", "height": 150, "insert": (6000, 1000)})

    msp.add_lwpolyline([(-500, -500), (10500, -500), (10500, 7500),
                        (-500, 7500)], close=True,
                       dxfattribs={"layer": "FRAME"})
    doc.saveas(os.path.join(HERE, "floorplan.dxf"))


def bracket():
    doc = new_drawing()
    layers = doc.layers
    layers.add("OUTLINE", color=7)
    layers.add("HOLES", color=4)
    layers.add("CENTER", color=1, linetype="CENTER")
    layers.add("SECTION", color=6)
    layers.add("TEXT", color=3)
    layers.add("HIDDEN", color=8).off()
    # Limits live on the layout: ezdxf writes the header's from there.
    doc.modelspace().reset_limits((-20, -20), (160, 100))
    doc.header["$LIMCHECK"] = 1

    hole = doc.blocks.new("HOLE")
    hole.add_circle((0, 0), 4)
    hole.add_line((-6, 0), (6, 0), dxfattribs={"layer": "CENTER"})
    hole.add_line((0, -6), (0, 6), dxfattribs={"layer": "CENTER"})
    pair = doc.blocks.new("HOLEPAIR")
    pair.add_blockref("HOLE", (0, 0))
    pair.add_blockref("HOLE", (0, 40))

    msp = doc.modelspace()
    # Outline with two rounded corners (bulge 0.4142 = 90 degree arc).
    msp.add_lwpolyline([(0, 0, 0), (110, 0, 0.41421356), (120, 10, 0),
                        (120, 50, 0.41421356), (110, 60, 0), (0, 60, 0)],
                       format="xyb", close=True,
                       dxfattribs={"layer": "OUTLINE"})
    msp.add_blockref("HOLEPAIR", (15, 10), dxfattribs={"layer": "HOLES"})
    msp.add_blockref("HOLEPAIR", (105, 15), dxfattribs={
        "layer": "HOLES", "xscale": 0.75, "yscale": 0.75})
    msp.add_blockref("HOLE", (60, 30), dxfattribs={
        "layer": "HOLES", "rotation": 45, "xscale": 2, "yscale": 2})
    msp.add_ellipse((60, 30), major_axis=(20, 0), ratio=0.5,
                    dxfattribs={"layer": "OUTLINE"})
    # A slot: two arcs joined by lines.
    msp.add_arc((40, 50), 4, 90, 270, dxfattribs={"layer": "OUTLINE"})
    msp.add_arc((80, 50), 4, 270, 90, dxfattribs={"layer": "OUTLINE"})
    msp.add_line((40, 54), (80, 54), dxfattribs={"layer": "OUTLINE"})
    msp.add_line((40, 46), (80, 46), dxfattribs={"layer": "OUTLINE"})
    msp.add_line((-5, 30), (125, 30), dxfattribs={"layer": "CENTER"})
    msp.add_solid([(0, 70), (30, 70), (0, 80), (30, 80)],
                  dxfattribs={"layer": "SECTION"})
    msp.add_point((60, 30), dxfattribs={"layer": "CENTER"})
    msp.add_text("BRACKET 2 mm STEEL", dxfattribs={
        "layer": "TEXT", "height": 5, "insert": (40, 85)})
    msp.add_line((0, 60), (120, 60), dxfattribs={"layer": "HIDDEN"})
    doc.saveas(os.path.join(HERE, "bracket.dxf"))


if __name__ == "__main__":
    floorplan()
    bracket()

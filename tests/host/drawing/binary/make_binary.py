#!/usr/bin/python3
"""Writes one small drawing twice per DXF version, as text (NAME.dxf) and
binary (NAME-bin.dxf), for the binary DXF tests: R12 (1-byte group codes,
extended data behind the 255 escape) and R2000 (2-byte group codes, a
binary chunk in a hatch's extended data).
Run with Debian's python3-ezdxf: /usr/bin/python3 make_binary.py
"""
import os
import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))


def fill(doc):
    doc.appids.new("ZULAN")
    msp = doc.modelspace()
    line = msp.add_line((10, 10), (90, 30.123456789012345))
    line.set_xdata("ZULAN", [(1000, "note"), (1040, 2.5), (1070, -3), (1071, 100000)])
    msp.add_circle((50, 50), 20, dxfattribs={"color": 1})
    msp.add_arc((50, 50), 30, 10, 170, dxfattribs={"layer": "ARCS"})
    msp.add_text("Binary", dxfattribs={"height": 5, "insert": (20, 80)})
    block = doc.blocks.new("MARK")
    block.add_line((-3, 0), (3, 0))
    block.add_line((0, -3), (0, 3))
    msp.add_blockref("MARK", (80, 80), dxfattribs={"rotation": 30})
    if doc.dxfversion > "AC1009":
        msp.add_lwpolyline([(5, 5, 0, 0, 0.5), (95, 5), (95, 95)])
        hatch = msp.add_hatch(color=3)
        hatch.paths.add_polyline_path([(60, 60), (70, 60), (70, 70)], is_closed=True)
        hatch.set_xdata("ZULAN", [(1004, b"\x00\x01\xfe\xff")])
    else:
        msp.add_polyline2d([(5, 5), (95, 5), (95, 95)])


for version, name in (("R12", "r12"), ("R2000", "r2000")):
    doc = ezdxf.new(version)
    fill(doc)
    doc.saveas(os.path.join(HERE, name + ".dxf"))
    doc.saveas(os.path.join(HERE, name + "-bin.dxf"), fmt="bin")

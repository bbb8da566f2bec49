#!/usr/bin/python3
"""Writes a large drawing of mixed entities for the speed benches.

    /usr/bin/python3 bench/make_drawing.py ENTITIES OUT.dxf

The drawing is a square grid of cells, each holding the same twenty
entities in its own place: six lines, three polylines with bulges (arcs)
and one with a width, two circles, two arcs, two texts, one MTEXT, one
insert of a small block, one hatch (solid and pattern in turn) and one
linear dimension (drawn from its points: no block, as dxflib-based programs
write them). ENTITIES is rounded up to whole cells; the same count gives
the same file. ezdxf (Debian's python3-ezdxf) writes the header, tables and
block; the entities are written here, as ezdxf would be far too slow for a
million of them.
"""
import io
import math
import sys

import ezdxf

CELL = 100.0  # drawing units between cells


class Writer:
    def __init__(self, out, first_handle, owner):
        self.out = out
        self.handle = first_handle
        self.owner = owner

    def entity(self, kind, layer, subclass, *pairs):
        self.handle += 1
        head = f"  0\n{kind}\n  5\n{self.handle:X}\n330\n{self.owner}\n100\nAcDbEntity\n  8\n{layer}\n"
        self.out.write(head + f"100\n{subclass}\n" + "".join(f"{code:>3}\n{value}\n" for code, value in pairs))

    def cell(self, n, x, y):
        for i in range(6):
            self.entity("LINE", "OUTLINE", "AcDbLine", (10, x + 5), (20, y + 5 + 8 * i), (30, 0.0),
                        (11, x + 45), (21, y + 9 + 8 * i), (31, 0.0))
        for i in range(3):
            b = y + 5 + 12 * i
            self.entity("LWPOLYLINE", "DETAIL", "AcDbPolyline", (90, 3), (70, 0), (43, 0.0),
                        (10, x + 50), (20, b), (42, 0.4), (10, x + 70), (20, b + 5), (42, -0.6),
                        (10, x + 90), (20, b))
        self.entity("LWPOLYLINE", "0", "AcDbPolyline", (90, 2), (70, 0), (43, 1.5),
                    (10, x + 50), (20, y + 45), (10, x + 90), (20, y + 45))
        for layer, r in (("OUTLINE", 8), ("DETAIL", 3)):
            self.entity("CIRCLE", layer, "AcDbCircle", (10, x + 15), (20, y + 65), (30, 0.0), (40, r))
        for layer, r, a0, a1 in (("OUTLINE", 9, 30, 240), ("DETAIL", 5, 200, 20)):
            self.entity("ARC", layer, "AcDbCircle", (10, x + 40), (20, y + 65), (30, 0.0), (40, r),
                        (100, "AcDbArc"), (50, a0), (51, a1))
        self.entity("TEXT", "NOTES", "AcDbText", (10, x + 5), (20, y + 90), (30, 0.0), (40, 3),
                    (1, f"CELL {n}"), (100, "AcDbText"))
        self.entity("TEXT", "NOTES", "AcDbText", (10, x + 26), (20, y + 70), (30, 0.0), (40, 2.5), (1, "R8"),
                    (50, 30), (100, "AcDbText"))
        self.entity("MTEXT", "NOTES", "AcDbMText", (10, x + 55), (20, y + 95), (30, 0.0), (40, 2.5), (41, 40),
                    (71, 1), (1, "Mixed {\\H1.5x;notes} on\\Ptwo lines"))
        self.entity("INSERT", "DETAIL", "AcDbBlockReference", (2, "PART"), (10, x + 65), (20, y + 65),
                    (30, 0.0), (50, 15 * (n % 24)))
        square = [(10, x + 75), (20, y + 55), (10, x + 95), (20, y + 55), (10, x + 95), (20, y + 75),
                  (10, x + 75), (20, y + 75)]
        pattern = n % 2 == 1
        fill = [(77, 0), (78, 1), (53, 45.0), (43, 0.0), (44, 0.0), (45, -1.1225320152), (46, 1.1225320152),
                (79, 0)] if pattern else []
        self.entity("HATCH", "FILL", "AcDbHatch", (10, 0.0), (20, 0.0), (30, 0.0), (210, 0.0), (220, 0.0),
                    (230, 1.0), (2, "ANSI31" if pattern else "SOLID"), (70, 0 if pattern else 1), (71, 0),
                    (91, 1), (92, 3), (72, 0), (73, 1), (93, 4), *square, (97, 0), (75, 1), (76, 1),
                    *([(52, 0.0), (41, 0.5)] if pattern else []), *fill, (98, 0))
        self.entity("DIMENSION", "NOTES", "AcDbDimension", (3, "Standard"), (10, x + 5), (20, y + 80),
                    (30, 0.0), (11, x + 25), (21, y + 81), (31, 0.0), (70, 0), (100, "AcDbAlignedDimension"),
                    (13, x + 5), (23, y + 57), (33, 0.0), (14, x + 45), (24, y + 57), (34, 0.0), (50, 0.0),
                    (100, "AcDbRotatedDimension"))


def make(count, path):
    doc = ezdxf.new("R2010", setup=True)
    doc.header["$INSUNITS"] = 4
    for name, colour in (("OUTLINE", 7), ("DETAIL", 1), ("NOTES", 5), ("FILL", 3)):
        doc.layers.add(name, color=colour)
    part = doc.blocks.new("PART")
    part.add_circle((0, 0), 4)
    part.add_line((-5, 0), (5, 0))
    part.add_line((0, -5), (0, 5))
    template = io.StringIO()
    doc.write(template)
    text = template.getvalue()
    seed = "$HANDSEED\n  5\n"
    at = text.index(seed) + len(seed)
    first = int(text[at:text.index("\n", at)], 16) + 0x100
    end = text.index("ENTITIES\n  0\nENDSEC\n") + len("ENTITIES\n")
    cells = (count + 19) // 20
    side = math.isqrt(cells - 1) + 1
    with open(path, "w", encoding="utf-8") as out:
        head = text[:at] + f"{first + 20 * cells + 1:X}" + text[text.index("\n", at):end]
        out.write(head)
        writer = Writer(out, first, doc.modelspace().block_record_handle)
        for n in range(cells):
            writer.cell(n, (n % side) * CELL, (n // side) * CELL)
        out.write(text[end:])


if __name__ == "__main__":
    if len(sys.argv) != 3 or not sys.argv[1].isdigit() or int(sys.argv[1]) < 1:
        sys.exit("usage: make_drawing.py ENTITIES OUT.dxf")
    make(int(sys.argv[1]), sys.argv[2])

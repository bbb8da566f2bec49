#!/usr/bin/python3
"""Checks the registration and coverage of compare_pictures.py on made-up
pictures: /usr/bin/python3 bench/test_compare_pictures.py"""
import os
import sys
import tempfile
import unittest

import numpy as np
from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_pictures as cp  # noqa: E402


def drawing(scale=1.0, shift=(0, 0), size=(700, 500), width=1, skip=()):
    """A line drawing as an ink mask: a frame, diagonals, a circle and a
    few short strokes, scaled about the origin and shifted."""
    im = Image.new("L", size, 255)
    d = ImageDraw.Draw(im)

    def p(x, y):
        return (x * scale + shift[0], y * scale + shift[1])

    shapes = {
        "frame": lambda: d.rectangle([p(40, 40), p(600, 420)], outline=0, width=width),
        "diagonal": lambda: d.line([p(40, 40), p(600, 420)], fill=0, width=width),
        "circle": lambda: d.ellipse([p(380, 80), p(540, 240)], outline=0, width=width),
        "strokes": lambda: [d.line([p(80 + 20 * i, 300), p(90 + 20 * i, 380)], fill=0, width=width)
                            for i in range(8)],
    }
    for name, draw in shapes.items():
        if name not in skip:
            draw()
    return np.asarray(im) < cp.INK_LEVEL


class Coverage(unittest.TestCase):
    def test_identical_pictures_cover_each_other(self):
        a = drawing()
        host, ref, s, d = cp.compare(a, a.copy())
        self.assertEqual((host, ref), (1.0, 1.0))
        self.assertAlmostEqual(s, 1.0, places=3)

    def test_shifted_and_scaled_copy_registers_back(self):
        # Margins and scale differ as between the two programs' pictures.
        host = drawing()
        for scale, shift in [(1.0, (13, -7)), (0.9, (30, 25)), (1.07, (-20, 4))]:
            with self.subTest(scale=scale, shift=shift):
                ref = drawing(scale, shift, size=(800, 600))
                a, b, s, _ = cp.compare(host, ref)
                self.assertGreater(a, 0.97)
                self.assertGreater(b, 0.97)
                self.assertAlmostEqual(s, 1 / scale, delta=0.01)

    def test_missing_shape_lowers_only_the_side_that_lacks_it(self):
        full, lacking = drawing(), drawing(skip=("circle",))
        host_covers_ref, ref_covers_host, _, _ = cp.compare(lacking, full)
        self.assertLess(host_covers_ref, 0.95)       # the circle is not covered
        self.assertGreater(ref_covers_host, 0.99)    # all the host drew is there
        host_covers_ref, ref_covers_host, _, _ = cp.compare(full, lacking)
        self.assertGreater(host_covers_ref, 0.99)
        self.assertLess(ref_covers_host, 0.95)

    def test_wider_lines_are_covered_within_two_pixels_only(self):
        def grid(half):
            m = np.zeros((400, 500), bool)
            for y in (50, 170, 350):
                m[y - half:y + half + 1, 40:460] = True
            for x in (40, 230, 460):
                m[50:351, x - half:x + half + 1] = True
            return m

        thin = grid(0)
        a, b, _, _ = cp.compare(grid(2), thin)
        self.assertEqual((a, b), (1.0, 1.0))   # 5 px wide: all within 2 px of the axis
        a, b, _, _ = cp.compare(grid(4), thin)
        self.assertEqual(a, 1.0)
        self.assertLess(b, 0.7)                # 9 px wide: four rows in nine are out

    def test_difference_picture_colours_what_only_one_side_drew(self):
        host, ref = drawing(skip=("strokes",)), drawing(1.05, (10, 5), size=(800, 600), skip=("circle",))
        _, _, s, d = cp.compare(host, ref)
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "diff.png")
            cp.write_difference(host, ref, s, d, path)
            rgb = np.asarray(Image.open(path).convert("RGB"))
        self.assertEqual(rgb.shape[:2], host.shape)
        colours = {name: np.all(rgb == c, axis=2) for name, c in
                   (("both", (150, 150, 150)), ("host", (220, 0, 0)), ("ref", (0, 0, 220)))}
        self.assertTrue(colours["host"][80:240, 380:540].any())     # the circle, the host's alone
        self.assertFalse(colours["ref"][80:240, 380:540].any())
        self.assertTrue(colours["ref"][300:380, 80:250].any())      # the strokes, the reference's alone
        self.assertFalse(colours["host"][300:380, 80:250].any())
        self.assertTrue(colours["both"][40:45, 100:500].any())      # the frame's top, in both
        self.assertFalse(colours["host"][40:45, 100:500].any())

    def test_blank_picture_gives_no_figures(self):
        a, b, _, _ = cp.compare(np.zeros((50, 50), bool), drawing())
        self.assertTrue(np.isnan(a) and np.isnan(b))


def pairs_text(pairs):
    return "".join("%s\n%s\n" % p for p in pairs)


class PrepareDrawing(unittest.TestCase):
    """The copy LibreCAD prints: a paper that holds the drawing, and for
    the hairline reference every line weight 0."""

    def prepared(self, text, hairlines):
        with tempfile.TemporaryDirectory() as tmp:
            src, dst = os.path.join(tmp, "in.dxf"), os.path.join(tmp, "out.dxf")
            with open(src, "w") as f:
                f.write(text)
            cp.prepare(src, dst, hairlines)
            return cp.read_pairs(dst)

    DRAWING = pairs_text([
        ("0", "SECTION"), ("2", "HEADER"),
        ("9", "$INSUNITS"), ("70", "5"),
        ("9", "$PLIMMAX"), ("10", "420.0"), ("20", "297.0"),
        ("0", "ENDSEC"),
        ("0", "SECTION"), ("2", "ENTITIES"),
        ("0", "LINE"), ("8", "0"), ("370", "50"),
        ("10", "0"), ("20", "0"), ("30", "0"), ("11", "100"), ("21", "40"), ("31", "0"),
        ("0", "ENDSEC"), ("0", "EOF")])

    def test_paper_holds_the_drawing_in_millimetres(self):
        pairs = self.prepared(self.DRAWING, hairlines=False)
        lo = cp.header_value(pairs, "$PLIMMIN")
        hi = cp.header_value(pairs, "$PLIMMAX")
        self.assertEqual((float(lo["10"]), float(lo["20"])), (0.0, 0.0))
        # 100 x 40 centimetres, with room round it.
        self.assertGreaterEqual(float(hi["10"]), 1000)
        self.assertGreaterEqual(float(hi["20"]), 400)
        self.assertIn(("370", "50"), pairs)

    def test_hairline_copy_has_no_line_weights(self):
        pairs = self.prepared(self.DRAWING, hairlines=True)
        self.assertEqual([v for c, v in pairs if c == "370"], ["0"])
        self.assertEqual(pairs[-1], ("0", "EOF"))

    def test_drawing_without_header_gets_one(self):
        text = self.DRAWING[self.DRAWING.index("0\nSECTION\n2\nENTITIES"):]
        pairs = self.prepared(text, hairlines=False)
        self.assertIsNotNone(cp.header_value(pairs, "$PLIMMAX"))
        self.assertEqual(pairs[:2], [("0", "SECTION"), ("2", "HEADER")])


if __name__ == "__main__":
    unittest.main()

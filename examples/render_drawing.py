#!/usr/bin/python3
"""Renders drawing.png, the example image rastello-encode is shown with.

A mechanical sheet as a CAD host would capture it: white paper, one-pixel
lines without antialiasing, layer colours (outlines black, centre lines red,
dimensions blue, hatching cyan), text, a title block and zone markers.
Deterministic: the same Pillow gives the same bytes.

Run with Debian's python3-pil: /usr/bin/python3 examples/render_drawing.py
"""
import math
import os

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 1600, 1131  # A-series proportions
BLACK, RED, BLUE, CYAN, GREEN, GREY = (0, 0, 0), (220, 0, 0), (0, 0, 230), (0, 160, 170), (0, 140, 0), (128, 128, 128)


def font(size):
    path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
    return ImageFont.truetype(path, size) if os.path.exists(path) else ImageFont.load_default()


def dashed(draw, start, end, colour, pattern=(18, 4, 3, 4)):
    """A dash-dot centre line: pattern gives alternating on/off lengths."""
    (x0, y0), (x1, y1) = start, end
    length = math.hypot(x1 - x0, y1 - y0)
    ux, uy = (x1 - x0) / length, (y1 - y0) / length
    at, index = 0.0, 0
    while at < length:
        step = min(pattern[index % len(pattern)], length - at)
        if index % 2 == 0:
            draw.line([(x0 + ux * at, y0 + uy * at), (x0 + ux * (at + step), y0 + uy * (at + step))], fill=colour)
        at += step
        index += 1


def arrow(draw, tip, direction, colour):
    dx, dy = direction
    back = (tip[0] - dx * 12, tip[1] - dy * 12)
    side = (-dy * 4, dx * 4)
    draw.polygon([tip, (back[0] + side[0], back[1] + side[1]), (back[0] - side[0], back[1] - side[1])], fill=colour)


def dimension(draw, a, b, offset, text, label_font):
    """A linear dimension between points a and b, drawn offset pixels aside."""
    horizontal = abs(a[1] - b[1]) < abs(a[0] - b[0])
    if horizontal:
        y = min(a[1], b[1]) - offset
        for p in (a, b):
            draw.line([(p[0], p[1] - 4), (p[0], y - 6)], fill=BLUE)
        draw.line([(a[0], y), (b[0], y)], fill=BLUE)
        arrow(draw, (a[0], y), (-1, 0), BLUE)
        arrow(draw, (b[0], y), (1, 0), BLUE)
        draw.text(((a[0] + b[0]) / 2, y - 4), text, fill=BLUE, font=label_font, anchor="mb")
    else:
        x = max(a[0], b[0]) + offset
        for p in (a, b):
            draw.line([(p[0] + 4, p[1]), (x + 6, p[1])], fill=BLUE)
        draw.line([(x, a[1]), (x, b[1])], fill=BLUE)
        arrow(draw, (x, a[1]), (0, -1), BLUE)
        arrow(draw, (x, b[1]), (0, 1), BLUE)
        draw.text((x + 6, (a[1] + b[1]) / 2), text, fill=BLUE, font=label_font, anchor="lm")


def hatch(draw, box, spacing, colour):
    """45-degree section hatching clipped to an axis-parallel box."""
    left, top, right, bottom = box
    for c in range(int(left + top), int(right + bottom), spacing):
        # the line x + y = c, clipped to the box
        x0, y0 = max(left, c - bottom), min(bottom, c - left)
        x1, y1 = min(right, c - top), max(top, c - right)
        if x0 <= x1:
            draw.line([(x0, y0), (x1, y1)], fill=colour)


def frame(draw, label_font):
    draw.rectangle([10, 10, WIDTH - 11, HEIGHT - 11], outline=BLACK)
    draw.rectangle([40, 40, WIDTH - 41, HEIGHT - 41], outline=BLACK, width=2)
    for i in range(8):
        x = 40 + (WIDTH - 80) * (i + 0.5) / 8
        draw.text((x, 25), str(i + 1), fill=BLACK, font=label_font, anchor="mm")
        draw.text((x, HEIGHT - 25), str(i + 1), fill=BLACK, font=label_font, anchor="mm")
        if i:
            xs = 40 + (WIDTH - 80) * i / 8
            draw.line([(xs, 10), (xs, 40)], fill=BLACK)
            draw.line([(xs, HEIGHT - 41), (xs, HEIGHT - 11)], fill=BLACK)
    for i in range(6):
        y = 40 + (HEIGHT - 80) * (i + 0.5) / 6
        draw.text((25, y), "ABCDEF"[i], fill=BLACK, font=label_font, anchor="mm")
        draw.text((WIDTH - 25, y), "ABCDEF"[i], fill=BLACK, font=label_font, anchor="mm")


def title_block(draw):
    left, top, right, bottom = WIDTH - 560, HEIGHT - 200, WIDTH - 41, HEIGHT - 41
    draw.rectangle([left, top, right, bottom], outline=BLACK, width=2)
    for y in (top + 40, top + 80, top + 120):
        draw.line([(left, y), (right, y)], fill=BLACK)
    draw.line([(left + 260, top + 40), (left + 260, bottom)], fill=BLACK)
    small, large = font(13), font(24)
    draw.text((left + 10, top + 8), "MOUNTING BRACKET  MB-40", fill=BLACK, font=large)
    rows = [("Material: S235 steel, 6 mm", "Scale 1:1"), ("Drawn: Rastello example", "Sheet 1 of 1"),
            ("Tolerances ISO 2768-m", "Drawing no. RX-0005")]
    for i, (a, b) in enumerate(rows):
        draw.text((left + 10, top + 52 + 40 * i), a, fill=BLACK, font=small)
        draw.text((left + 270, top + 52 + 40 * i), b, fill=BLACK, font=small)


def front_view(draw, label_font):
    left, top, right, bottom = 160, 170, 820, 640
    # Plate outline with rounded corners.
    r = 40
    draw.line([(left + r, top), (right - r, top)], fill=BLACK, width=2)
    draw.line([(left + r, bottom), (right - r, bottom)], fill=BLACK, width=2)
    draw.line([(left, top + r), (left, bottom - r)], fill=BLACK, width=2)
    draw.line([(right, top + r), (right, bottom - r)], fill=BLACK, width=2)
    for (cx, cy), start in (((left + r, top + r), 180), ((right - r, top + r), 270),
                            ((right - r, bottom - r), 0), ((left + r, bottom - r), 90)):
        draw.arc([cx - r, cy - r, cx + r, cy + r], start, start + 90, fill=BLACK, width=2)
    # Four bolt holes and a central bore, each with centre lines.
    holes = [(left + 90, top + 90), (right - 90, top + 90), (left + 90, bottom - 90), (right - 90, bottom - 90)]
    for cx, cy in holes:
        draw.ellipse([cx - 22, cy - 22, cx + 22, cy + 22], outline=BLACK, width=2)
        dashed(draw, (cx - 36, cy), (cx + 36, cy), RED)
        dashed(draw, (cx, cy - 36), (cx, cy + 36), RED)
    cx, cy = (left + right) // 2, (top + bottom) // 2
    draw.ellipse([cx - 95, cy - 95, cx + 95, cy + 95], outline=BLACK, width=2)
    draw.ellipse([cx - 60, cy - 60, cx + 60, cy + 60], outline=BLACK)
    dashed(draw, (cx - 130, cy), (cx + 130, cy), RED)
    dashed(draw, (cx, cy - 130), (cx, cy + 130), RED)
    dashed(draw, (left + 90, top + 90), (right - 90, bottom - 90), GREY, (6, 6))
    # Adjusting slot.
    draw.rounded_rectangle([cx - 140, bottom - 70, cx + 140, bottom - 40], radius=15, outline=BLACK, width=2)
    dashed(draw, (cx - 165, bottom - 55), (cx + 165, bottom - 55), RED)
    # Dimensions.
    dimension(draw, (left, top), (right, top), 50, "165", label_font)
    dimension(draw, (left + 90, top + 90), (right - 90, top + 90), 110, "120", label_font)
    dimension(draw, (right, top), (right, bottom), 50, "118", label_font)
    dimension(draw, (right - 90, top + 90), (right - 90, bottom - 90), 200, "73", label_font)
    draw.text((cx + 100, cy - 120), "\u00d8 47.5 H7", fill=BLUE, font=label_font)
    draw.line([(cx + 67, cy - 67), (cx + 100, cy - 105)], fill=BLUE)
    draw.text((left + 60, top + 130), "4 x \u00d8 11", fill=BLUE, font=label_font)
    draw.text((left, bottom + 30), "FRONT VIEW", fill=BLACK, font=font(18))


def section_view(draw, label_font):
    left, top, right, bottom = 1060, 170, 1110, 640
    draw.rectangle([left, top, right, bottom], outline=BLACK, width=2)
    bore_top, bore_bottom = 310, 500
    hatch(draw, (left + 1, top + 1, right - 1, bore_top - 1), 9, CYAN)
    hatch(draw, (left + 1, bore_bottom + 1, right - 1, bottom - 1), 9, CYAN)
    draw.line([(left, bore_top), (right, bore_top)], fill=BLACK, width=2)
    draw.line([(left, bore_bottom), (right, bore_bottom)], fill=BLACK, width=2)
    dashed(draw, (left - 40, (top + bottom) // 2), (right + 40, (top + bottom) // 2), RED)
    dimension(draw, (left, top), (right, top), 50, "6", label_font)
    dimension(draw, (right, bore_top), (right, bore_bottom), 60, "\u00d8 47.5", label_font)
    draw.text((left - 30, bottom + 30), "SECTION A-A", fill=BLACK, font=font(18))


def notes(draw):
    small = font(14)
    lines = ["NOTES", "1. Break all sharp edges 0.5 x 45\u00b0.", "2. Bore \u00d8 47.5 H7 to be reamed.",
             "3. Finish: zinc plated, 8 \u00b5m.", "4. Do not scale this drawing."]
    for i, text in enumerate(lines):
        draw.text((160, 760 + 24 * i), text, fill=GREEN if i == 0 else BLACK, font=small)


def main():
    image = Image.new("RGB", (WIDTH, HEIGHT), (255, 255, 255))
    draw = ImageDraw.Draw(image)
    draw.fontmode = "1"  # no antialiasing, as in a GDI capture
    label_font = font(15)
    frame(draw, label_font)
    front_view(draw, label_font)
    section_view(draw, label_font)
    notes(draw)
    title_block(draw)
    image.save(os.path.join(HERE, "drawing.png"), optimize=True)


if __name__ == "__main__":
    main()

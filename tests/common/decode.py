#!/usr/bin/python3
"""Decodes an image with an independent decoder and writes raw RGBA.

usage: decode.py pillow|magick INPUT OUTPUT
OUTPUT gets a header line "WIDTH HEIGHT HASALPHA\n" and then the pixels as
RGBA bytes, rows top to bottom. Decoder warnings are printed on stderr and
make the exit status 3.
"""
import subprocess
import sys
import warnings


def with_pillow(path):
    from PIL import Image
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        image = Image.open(path)
        image.load()
    for warning in caught:
        print("pillow warning: %s" % warning.message, file=sys.stderr)
    has_alpha = image.mode in ("RGBA", "LA")
    return image.width, image.height, has_alpha, image.convert("RGBA").tobytes(), bool(caught)


def with_magick(path):
    size = subprocess.run(["identify", "-format", "%w %h %A", path + "[0]"],
                          check=True, capture_output=True, text=True)
    width, height, alpha = size.stdout.split()[:3]
    pixels = subprocess.run(["convert", path + "[0]", "-depth", "8", "rgba:-"],
                            check=True, capture_output=True)
    noisy = bool(pixels.stderr.strip())
    if noisy:
        print(pixels.stderr.decode(errors="replace"), file=sys.stderr)
    has_alpha = alpha.lower() not in ("undefined", "false")
    return int(width), int(height), has_alpha, pixels.stdout, noisy


def main():
    decoder, source, target = sys.argv[1:4]
    width, height, has_alpha, data, warned = {"pillow": with_pillow, "magick": with_magick}[decoder](source)
    with open(target, "wb") as out:
        out.write(b"%d %d %d\n" % (width, height, int(has_alpha)))
        out.write(data)
    sys.exit(3 if warned else 0)


main()

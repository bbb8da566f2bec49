#!/usr/bin/python3
"""Draws PSNR against bits per pixel from rastello-bench --rd output.

usage: plot_rd.py DATA.csv OUTPUT.png
Needs Debian's python3-matplotlib (bench only; not part of the CI setup).
"""
import csv
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after choosing the backend)


def main():
    source, target = sys.argv[1:3]
    curves = defaultdict(list)
    with open(source, newline="") as handle:
        for row in csv.DictReader(handle):
            curves[(row["image"], row["encoder"])].append(
                (float(row["bpp"]), float(row["psnr"]), int(row["quality"])))
    images = sorted({image for image, _ in curves})
    figure, axes = plt.subplots(1, len(images), figsize=(6 * len(images), 4.5), squeeze=False)
    styles = {"Vantorum": dict(marker="o", linestyle="-"), "libjpeg-turbo": dict(marker="x", linestyle="--")}
    for axis, image in zip(axes[0], images):
        for (name, encoder), points in sorted(curves.items()):
            if name != image:
                continue
            points.sort()
            axis.plot([p[0] for p in points], [p[1] for p in points], label=encoder, markersize=4,
                      **styles.get(encoder, {}))
        axis.set_title(f"{image}, qualities 5..100")
        axis.set_xlabel("bits per pixel")
        axis.set_ylabel("PSNR (dB, RGB)")
        axis.grid(True, alpha=0.3)
        axis.legend()
    figure.suptitle("Rate-distortion: the same quantisation tables, 4:4:4, optimised Huffman tables")
    figure.tight_layout()
    figure.savefig(target, dpi=100)


if __name__ == "__main__":
    main()

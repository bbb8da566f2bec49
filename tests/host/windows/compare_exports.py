#!/usr/bin/python3
"""Compares the exports of the Windows and the Linux host (endtoend.sh).

  compare_exports.py WORK RASTELLO_ENCODE DRAWING.dxf...

For each drawing's exports in WORK/windows and WORK/linux:
  - the pictures have the same size and background, and their ink agrees:
    GDI's lines and cairo's hairlines may each put a pixel where the other
    does not (end points, the step of a slanted line), so every ink pixel
    of one must lie within RADIUS of ink of the other, for all but a few;
  - the Windows JPEG and BMP hold the bytes the Linux encoder writes from
    the Windows PNG's pixels (the same image gives the same file);
  - every file the Windows build wrote opens without a warning in
    libjpeg-turbo (djpeg), Pillow and ffmpeg.
"""
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np
from PIL import Image
from scipy import ndimage

RADIUS = 1.5
# Share of ink pixels that must have ink of the other picture near them.
AGREEMENT = 0.97
# The plain geometry leaves out text, point symbols and line types: where a
# drawing has them, only one picture's ink must lie within the other's.
ONLY_WINDOWS_WITHIN = {'bracket', 'floorplan', 'attributes', 'points', 'text'}  # text, point symbols
ONLY_LINUX_WITHIN = {'linetypes'}  # dashes drawn solid


def pixels(path):
    with Image.open(path) as image:
        return np.asarray(image.convert('RGB')).astype(np.int16)


def most_common(picture):
    colours, counts = np.unique(picture.reshape(-1, 3), axis=0, return_counts=True)
    return tuple(int(v) for v in colours[counts.argmax()])


def coverage(ink, other):
    """Share of ink pixels with an ink pixel of other within RADIUS."""
    if not ink.any():
        return 1.0
    distance = ndimage.distance_transform_edt(~other)
    return float((distance[ink] <= RADIUS).mean())


def compare_pictures(name, drawing, linux_png, windows_png):
    a, b = pixels(linux_png), pixels(windows_png)
    if a.shape != b.shape:
        return [f'{name}: sizes differ, Linux {a.shape[1]}x{a.shape[0]}, Windows {b.shape[1]}x{b.shape[0]}']
    background, other = most_common(a), most_common(b)
    if other != background:
        return [f'{name}: backgrounds differ, Linux {background}, Windows {other}']
    ink_a = (a != np.array(background)).any(axis=2)
    ink_b = (b != np.array(background)).any(axis=2)
    linux_covered, windows_covered = coverage(ink_a, ink_b), coverage(ink_b, ink_a)
    print(f'{name}: ink {ink_a.sum()} Linux, {ink_b.sum()} Windows; '
          f'covered {linux_covered:.4f} / {windows_covered:.4f}')
    required = [windows_covered] if drawing in ONLY_WINDOWS_WITHIN else \
        [linux_covered] if drawing in ONLY_LINUX_WITHIN else [linux_covered, windows_covered]
    if min(required) < AGREEMENT:
        return [f'{name}: the pictures disagree (coverage {linux_covered:.4f} / {windows_covered:.4f})']
    return []


def same_bytes(name, encode, png, expected, arguments):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, os.path.basename(expected))
        subprocess.run([encode, '--quiet', *arguments, png, out], check=True)
        with open(out, 'rb') as made, open(expected, 'rb') as written:
            if made.read() != written.read():
                return [f'{name}: {os.path.basename(expected)} differs from the Linux encoder\'s file']
    return []


def decodes(path):
    problems = []
    if path.endswith('.jpg'):
        djpeg = subprocess.run(['djpeg', '-outfile', os.devnull, path], capture_output=True, text=True)
        if djpeg.returncode != 0 or djpeg.stderr:
            problems.append(f'{path}: djpeg: {djpeg.stderr.strip() or djpeg.returncode}')
    with warnings.catch_warnings():
        warnings.simplefilter('error')
        try:
            with Image.open(path) as image:
                image.load()
        except Exception as error:  # any complaint of Pillow's is a failure here
            problems.append(f'{path}: Pillow: {error}')
    ffmpeg = subprocess.run(['ffmpeg', '-v', 'error', '-i', path, '-f', 'null', '-'], capture_output=True, text=True)
    if ffmpeg.returncode != 0 or ffmpeg.stderr:
        problems.append(f'{path}: ffmpeg: {ffmpeg.stderr.strip() or ffmpeg.returncode}')
    return problems


def main():
    work, encode, drawings = sys.argv[1], sys.argv[2], sys.argv[3:]
    linux, windows = os.path.join(work, 'linux'), os.path.join(work, 'windows')
    problems = []
    for drawing in drawings:
        name = os.path.splitext(os.path.basename(drawing))[0]
        for run, plan in ((name, ['--progressive']), (name + '-baseline', [])):
            png = os.path.join(windows, run + '.png')
            problems += compare_pictures(run, name, os.path.join(linux, run + '.png'), png)
            problems += same_bytes(run, encode, png, os.path.join(windows, run + '.jpg'), ['--quality', '85', *plan])
        problems += same_bytes(name, encode, os.path.join(windows, name + '.png'),
                               os.path.join(windows, name + '.bmp'), [])
    for file in sorted(os.listdir(windows)):
        if file.endswith(('.jpg', '.png', '.bmp')) and os.path.isfile(os.path.join(windows, file)):
            problems += decodes(os.path.join(windows, file))
    for problem in problems:
        print('FAIL:', problem)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())

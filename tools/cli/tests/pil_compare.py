#!/usr/bin/env python3
"""Compares pictures with an independent decoder (Pillow).

Arguments: groups of SOURCE PNG TOLERANCE CHANNELS. For each, both files are decoded by Pillow as
RGBA and the first CHANNELS (3 or 4) channels compared. Prints one line per group: "same SOURCE", "differs SOURCE: ...",
or "unreadable SOURCE: ..." when Pillow itself cannot read the source. Exit status 0.
"""
import sys

from PIL import Image


def rgba(path):
    with Image.open(path) as image:
        return image.size, image.convert("RGBA").tobytes()


def compare(source, png, tolerance, channels):
    try:
        size, expected = rgba(source)
    except Exception as error:  # Pillow's refusals come as many exception types
        return "unreadable %s: %s" % (source, error)
    got_size, got = rgba(png)
    if got_size != size:
        return "differs %s: %s instead of %s" % (source, got_size, size)
    for i, (a, b) in enumerate(zip(got, expected)):
        if i % 4 < channels and abs(a - b) > tolerance:
            pixel = i // 4
            return "differs %s: pixel (%d, %d) channel %d is %d, Pillow reads %d" % (
                source, pixel % size[0], pixel // size[0], i % 4, a, b)
    return "same %s" % source


def main(args):
    for i in range(0, len(args) - 3, 4):
        print(compare(args[i], args[i + 1], int(args[i + 2]), int(args[i + 3])))


if __name__ == "__main__":
    main(sys.argv[1:])

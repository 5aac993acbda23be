#!/usr/bin/env python3
"""Draws the studio's tool bar strip: fifteen 16 x 15 images side by side in one 240 x 15 bitmap.

Magenta (255, 0, 255) is the transparent colour. Run it from anywhere:
    python3 make_toolbar_strip.py [OUTPUT.bmp]
The result is committed beside this script, so a build never needs Python.
"""
import os
import sys

from PIL import Image, ImageDraw

W, H, COUNT = 16, 15, 15
MAGENTA = (255, 0, 255)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
NAVY = (0, 0, 128)
YELLOW = (255, 220, 64)
DARK_YELLOW = (176, 128, 0)
GREEN = (0, 144, 0)
RED = (200, 0, 0)
SKY = (96, 160, 232)
GRASS = (64, 168, 64)
GLASS = (200, 232, 255)


def page(d, x0, fold=True):
    d.polygon([(x0 + 2, 1), (x0 + 9, 1), (x0 + 12, 4), (x0 + 12, 13), (x0 + 2, 13)], fill=WHITE, outline=BLACK)
    if fold:
        d.line([(x0 + 9, 1), (x0 + 9, 4), (x0 + 12, 4)], fill=BLACK)


def lines_on_page(d, x0):
    for y in (6, 8, 10):
        d.line([(x0 + 4, y), (x0 + 10, y)], fill=GREY)


def picture(d, x0):
    d.rectangle([x0 + 1, 2, x0 + 11, 12], fill=SKY, outline=BLACK)
    d.polygon([(x0 + 2, 11), (x0 + 5, 7), (x0 + 8, 10), (x0 + 10, 8), (x0 + 10, 11)], fill=GRASS)
    d.ellipse([x0 + 7, 3, x0 + 9, 5], fill=YELLOW)


def arrow_in(d, x0):
    # a green arrow pointing down into the right-hand side
    d.polygon([(x0 + 12, 4), (x0 + 14, 4), (x0 + 14, 9), (x0 + 15, 9), (x0 + 13, 12), (x0 + 11, 9), (x0 + 12, 9)],
              fill=GREEN, outline=BLACK)


def arrow_out(d, x0):
    # a navy arrow pointing up out of the right-hand side
    d.polygon([(x0 + 13, 1), (x0 + 15, 4), (x0 + 14, 4), (x0 + 14, 9), (x0 + 12, 9), (x0 + 12, 4), (x0 + 11, 4)],
              fill=NAVY, outline=BLACK)


def magnifier(d, x0):
    d.ellipse([x0 + 1, 1, x0 + 10, 10], fill=GLASS, outline=BLACK)
    d.line([(x0 + 9, 9), (x0 + 14, 14)], fill=BLACK, width=2)


def draw(index, d, x0):
    if index == 0:  # new
        page(d, x0)
    elif index == 1:  # open
        d.polygon([(x0 + 1, 3), (x0 + 5, 3), (x0 + 6, 4), (x0 + 12, 4), (x0 + 12, 12), (x0 + 1, 12)],
                  fill=DARK_YELLOW, outline=BLACK)
        d.polygon([(x0 + 3, 7), (x0 + 15, 7), (x0 + 12, 12), (x0 + 1, 12)], fill=YELLOW, outline=BLACK)
    elif index == 2:  # import a file
        page(d, x0 - 1)
        lines_on_page(d, x0 - 1)
        arrow_in(d, x0)
    elif index == 3:  # export a file
        page(d, x0 - 1)
        lines_on_page(d, x0 - 1)
        arrow_out(d, x0)
    elif index == 4:  # save
        d.rectangle([x0 + 1, 1, x0 + 14, 13], fill=NAVY, outline=BLACK)
        d.rectangle([x0 + 4, 1, x0 + 11, 5], fill=WHITE, outline=BLACK)
        d.rectangle([x0 + 4, 9, x0 + 11, 13], fill=GREY)
    elif index == 5:  # mesh
        d.polygon([(x0 + 2, 4), (x0 + 8, 1), (x0 + 14, 4), (x0 + 8, 7)], fill=GLASS, outline=BLACK)
        d.polygon([(x0 + 2, 4), (x0 + 8, 7), (x0 + 8, 14), (x0 + 2, 11)], fill=SKY, outline=BLACK)
        d.polygon([(x0 + 8, 7), (x0 + 14, 4), (x0 + 14, 11), (x0 + 8, 14)], fill=NAVY, outline=BLACK)
    elif index == 6:  # sound
        d.polygon([(x0 + 2, 5), (x0 + 5, 5), (x0 + 9, 1), (x0 + 9, 13), (x0 + 5, 9), (x0 + 2, 9)],
                  fill=GREY, outline=BLACK)
        d.arc([x0 + 8, 4, x0 + 12, 10], -60, 60, fill=BLACK)
        d.arc([x0 + 9, 2, x0 + 15, 12], -60, 60, fill=BLACK)
    elif index == 7:  # information
        d.ellipse([x0 + 1, 0, x0 + 14, 14], fill=NAVY, outline=BLACK)
        d.rectangle([x0 + 7, 6, x0 + 8, 11], fill=WHITE)
        d.rectangle([x0 + 7, 3, x0 + 8, 4], fill=WHITE)
    elif index == 8:  # import an image
        picture(d, x0)
        arrow_in(d, x0)
    elif index == 9:  # export an image
        picture(d, x0)
        arrow_out(d, x0)
    elif index == 10:  # zoom in
        magnifier(d, x0)
        d.line([(x0 + 3, 5), (x0 + 8, 5)], fill=BLACK)
        d.line([(x0 + 5, 3), (x0 + 5, 8)], fill=BLACK)
        d.line([(x0 + 6, 3), (x0 + 6, 8)], fill=BLACK)
        d.line([(x0 + 3, 6), (x0 + 8, 6)], fill=BLACK)
    elif index == 11:  # zoom out
        magnifier(d, x0)
        d.rectangle([x0 + 3, 5, x0 + 8, 6], fill=BLACK)
    elif index == 12:  # zoom reset: one to one
        magnifier(d, x0)
        d.line([(x0 + 4, 4), (x0 + 5, 3), (x0 + 5, 8)], fill=BLACK)
        d.point([(x0 + 7, 4), (x0 + 7, 7)], fill=BLACK)
    elif index == 13:  # add an entry
        page(d, x0 - 2)
        d.rectangle([x0 + 10, 8, x0 + 15, 10], fill=GREEN)
        d.rectangle([x0 + 12, 6, x0 + 13, 12], fill=GREEN)
    elif index == 14:  # remove an entry
        page(d, x0 - 2)
        d.line([(x0 + 9, 7), (x0 + 15, 13)], fill=RED, width=2)
        d.line([(x0 + 15, 7), (x0 + 9, 13)], fill=RED, width=2)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             "toolbar.bmp")
    strip = Image.new("RGB", (W * COUNT, H), MAGENTA)
    for i in range(COUNT):
        cell = Image.new("RGB", (W, H), MAGENTA)
        draw(i, ImageDraw.Draw(cell), 0)
        strip.paste(cell, (i * W, 0))
    strip.save(out, "BMP")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws drag.ico, the pointer shown while an entry of the file list is dragged: an arrow with its tip
in the top-left corner (the pointer's hot spot) and a blue up-and-down arrow beside it.

    python3 filelist/resources/make_drag_icon.py [output file]   (default: drag.ico beside this script)
"""
import os
import struct
import sys

SIZE = 32


def inside_polygon(x, y, poly):
    hit = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]
    arrow = [(0, 0), (0, 17), (4, 13), (7, 20), (10, 19), (7, 12), (12, 12)]
    for y in range(SIZE):
        for x in range(SIZE):
            cx, cy = x + 0.5, y + 0.5
            if inside_polygon(cx, cy, arrow):
                pixels[y][x] = (0, 0, 0)
    # White outline around the black arrow so it shows on dark lists too.
    for y in range(SIZE):
        for x in range(SIZE):
            if pixels[y][x] is None and any(
                    0 <= y + dy < SIZE and 0 <= x + dx < SIZE and pixels[y + dy][x + dx] == (0, 0, 0)
                    for dy in (-1, 0, 1) for dx in (-1, 0, 1)):
                pixels[y][x] = (255, 255, 255)
    blue = (30, 90, 200)
    shaft_x = 23
    for y in range(12, 31):
        for x in (shaft_x - 1, shaft_x, shaft_x + 1):
            pixels[y][x] = blue
    for k in range(5):  # arrow heads
        for x in range(shaft_x - k, shaft_x + k + 1):
            pixels[12 + k][x] = blue
            pixels[30 - k][x] = blue
    return pixels


def ico_bytes(pixels):
    xor = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        for x in range(SIZE):
            p = pixels[y][x]
            xor += bytes((0, 0, 0, 0)) if p is None else bytes((p[2], p[1], p[0], 255))
    mask = bytearray()
    for y in reversed(range(SIZE)):
        row = 0
        for x in range(SIZE):
            if pixels[y][x] is None:
                row |= 1 << (31 - x)
        mask += struct.pack('>I', row)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'drag.ico')
    with open(out, 'wb') as f:
        f.write(ico_bytes(draw()))


if __name__ == '__main__':
    main()

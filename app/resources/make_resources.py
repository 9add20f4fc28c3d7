#!/usr/bin/env python3
"""Draws the program's own pictures and writes them next to this script.

HAND-M.CUR    32x32 hand pointer (cursor file, 32 bits per pixel, hot spot on the fingertip)
trelwick.ico  32x32 program icon, 24 bits per pixel (for Windows builds)
trelwick.png  the same icon for the window (Qt reads PNG without plug-ins)

Run it again after changing a drawing; the outputs are committed.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# '.' transparent, 'X' black outline, 'o' white fill.
HAND = [
    "........XX......................",
    ".......XooX.....................",
    ".......XooX.....................",
    ".......XooX.....................",
    ".......XooX.....................",
    ".......XooXXX...................",
    ".......XooXooXXX................",
    ".......XooXooXooXX..............",
    ".......XooXooXooXoX.............",
    "....XX.XooXooXooXooX............",
    "...XooXXooooooooXooX............",
    "...XoooXooooooooooooX...........",
    "....XooXoooooooooooooX..........",
    "....XooooooooooooooooX..........",
    ".....XoooooooooooooooX..........",
    ".....XooooooooooooooX...........",
    "......XoooooooooooooX...........",
    "......XooooooooooooX............",
    ".......XoooooooooooX............",
    ".......XoooooooooooX............",
    ".......XXXXXXXXXXXXX............",
] + ["." * 32] * 11
HAND_HOTSPOT = (8, 0)


def hand_pixels():
    """Rows top-down of (r, g, b, a)."""
    colours = {".": (0, 0, 0, 0), "X": (0, 0, 0, 255), "o": (255, 255, 255, 255)}
    return [[colours[c] for c in row] for row in HAND]


def icon_pixels():
    """A white slide with a dark header band, a footer band and a page-number dot, on teal."""
    teal, white, ink, accent = (0, 128, 128), (255, 255, 255), (40, 40, 48), (230, 120, 30)
    rows = []
    for y in range(32):
        row = []
        for x in range(32):
            c = teal
            if 3 <= x <= 28 and 6 <= y <= 25:
                c = white
                if 8 <= y <= 10 and 6 <= x <= 25:
                    c = ink  # header
                if 21 <= y <= 23 and 6 <= x <= 18:
                    c = ink  # footer
                if 21 <= y <= 23 and 23 <= x <= 25:
                    c = accent  # slide number
            row.append(c)
        rows.append(row)
    return rows


def and_mask(rows, transparent):
    data = b""
    for row in reversed(rows):
        bits = 0
        for x, p in enumerate(row):
            if transparent(p):
                bits |= 1 << (31 - x)
        data += struct.pack(">I", bits)
    return data


def bitmap_header(bits):
    return struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, bits, 0, 0, 0, 0, 0, 0)


def write_cursor(path):
    rows = hand_pixels()
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    image = bitmap_header(32) + xor + and_mask(rows, lambda p: p[3] == 0)
    header = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, HAND_HOTSPOT[0], HAND_HOTSPOT[1], len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def write_icon(path):
    rows = icon_pixels()
    xor = b"".join(bytes((b, g, r)) for row in reversed(rows) for (r, g, b) in row)
    image = bitmap_header(24) + xor + and_mask(rows, lambda p: False)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 24, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def write_png(path):
    rows = icon_pixels()
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", 32, 32, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    assert all(len(row) == 32 for row in HAND) and len(HAND) == 32
    write_cursor(os.path.join(HERE, "HAND-M.CUR"))
    write_icon(os.path.join(HERE, "trelwick.ico"))
    write_png(os.path.join(HERE, "trelwick.png"))

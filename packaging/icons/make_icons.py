#!/usr/bin/env python3
"""Draws Trelwick's desktop icon and writes it next to this script.

trelwick.svg        the scalable icon (share/icons/hicolor/scalable/apps)
trelwick-<N>.png    the same picture at N x N pixels for N in SIZES (share/icons/hicolor/NxN/apps)

The picture: a stack of slides on a teal tile, the front slide carrying a header band, a footer band
and an orange slide number. Both outputs are drawn from the one list of shapes below, so they cannot
drift apart. Needs only the Python standard library. Run it again after changing a shape; the
outputs are committed.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CANVAS = 256
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# (x, y, width, height, corner radius, colour), on a 256 x 256 canvas, back to front.
SHAPES = [
    (16, 16, 224, 224, 40, "#007f7f"),  # tile
    (56, 46, 168, 128, 6, "#9fd4d4"),   # the slide behind
    (36, 70, 168, 128, 6, "#ffffff"),   # the slide in front
    (54, 88, 132, 18, 3, "#282830"),    # header
    (54, 118, 104, 9, 2, "#c3c8cd"),    # body text
    (54, 136, 84, 9, 2, "#c3c8cd"),
    (54, 168, 80, 12, 2, "#282830"),    # footer
    (160, 162, 26, 22, 3, "#e6781e"),   # slide number
]


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def write_svg(path):
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{CANVAS}" height="{CANVAS}" '
        f'viewBox="0 0 {CANVAS} {CANVAS}">',
        "  <title>Trelwick</title>",
    ]
    for x, y, w, h, r, colour in SHAPES:
        lines.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{colour}"/>')
    lines.append("</svg>")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def inside(px, py, x, y, w, h, r):
    if px < x or py < y or px > x + w or py > y + h:
        return False
    dx = max(x + r - px, 0.0, px - (x + w - r))
    dy = max(y + r - py, 0.0, py - (y + h - r))
    return dx * dx + dy * dy <= r * r


def render(size):
    """Rows of premultiplied (r, g, b, a) floats in 0..1."""
    scale = size / CANVAS
    # Small sizes need finer sampling for their one-pixel edges to look even.
    grid = 8 if size <= 32 else 4
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    for x, y, w, h, r, colour in SHAPES:
        sx, sy, sw, sh, sr = x * scale, y * scale, w * scale, h * scale, r * scale
        cr, cg, cb = (c / 255 for c in rgb(colour))
        for py in range(max(int(sy), 0), min(int(sy + sh) + 1, size)):
            for px in range(max(int(sx), 0), min(int(sx + sw) + 1, size)):
                hits = 0
                for j in range(grid):
                    for i in range(grid):
                        if inside(px + (i + 0.5) / grid, py + (j + 0.5) / grid, sx, sy, sw, sh, sr):
                            hits += 1
                if not hits:
                    continue
                a = hits / (grid * grid)
                r0, g0, b0, a0 = pixels[py][px]
                pixels[py][px] = (cr * a + r0 * (1 - a), cg * a + g0 * (1 - a), cb * a + b0 * (1 - a),
                                  a + a0 * (1 - a))
    return pixels


def write_png(path, size):
    raw = bytearray()
    for row in render(size):
        raw.append(0)
        for r, g, b, a in row:
            # PNG stores straight alpha.
            straight = (r / a, g / a, b / a) if a > 0 else (0.0, 0.0, 0.0)
            raw.extend(round(min(c, 1.0) * 255) for c in (*straight, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    write_svg(os.path.join(HERE, "trelwick.svg"))
    for size in SIZES:
        write_png(os.path.join(HERE, f"trelwick-{size}.png"), size)


if __name__ == "__main__":
    main()

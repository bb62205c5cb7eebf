#!/usr/bin/env python3
"""Writes the program's 32x32 icon, 24-bit colour, as display/icon.ico (the
window embeds it, windres puts it in veltra.exe) and display/icon.png (for the
desktop and the documentation).

The picture: a rounded tile shading from magenta to dark purple, a white "V"
and, below it, four partition bars of which the first (the active one) is lit.

    python3 tools/make_icon.py display
"""

import os
import struct
import sys
import zlib

SIZE = 32
MAGENTA = (0xD8, 0x27, 0xBC)
DARK_PURPLE = (0x77, 0x00, 0x77)
PLUM = (0xDD, 0xA0, 0xDD)
PALE_ROSE = (0xFF, 0xD0, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF)
BLACK = (0, 0, 0)

# The "V", 16 columns wide, drawn from row 4 to row 19.
LETTER = [
    "XXXX........XXXX",
    "XXXX........XXXX",
    ".XXXX......XXXX.",
    ".XXXX......XXXX.",
    ".XXXX......XXXX.",
    "..XXXX....XXXX..",
    "..XXXX....XXXX..",
    "..XXXX....XXXX..",
    "...XXXX..XXXX...",
    "...XXXX..XXXX...",
    "...XXXX..XXXX...",
    "....XXXXXXXX....",
    "....XXXXXXXX....",
    ".....XXXXXX.....",
    ".....XXXXXX.....",
    "......XXXX......",
]


def blend(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def inside_tile(x, y, radius=5):
    # Rounded corners: outside the circle of each corner is background.
    for cx, cy in ((radius, radius), (SIZE - 1 - radius, radius),
                   (radius, SIZE - 1 - radius), (SIZE - 1 - radius, SIZE - 1 - radius)):
        if (x < radius or x > SIZE - 1 - radius) and (y < radius or y > SIZE - 1 - radius):
            if abs(x - cx) <= radius and abs(y - cy) <= radius:
                return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + 2
    return True


def picture():
    pixels = []
    for y in range(SIZE):
        for x in range(SIZE):
            colour = BLACK
            if inside_tile(x, y):
                colour = blend(MAGENTA, DARK_PURPLE, y / (SIZE - 1))
                if not inside_tile(x - 1, y) or not inside_tile(x + 1, y) or \
                        not inside_tile(x, y - 1) or not inside_tile(x, y + 1) or \
                        x in (0, SIZE - 1) or y in (0, SIZE - 1):
                    colour = PLUM
            if 4 <= y < 4 + len(LETTER) and 8 <= x < 24 and LETTER[y - 4][x - 8] == "X":
                colour = WHITE
            if 23 <= y <= 26:
                for bar in range(4):
                    left = 5 + bar * 6
                    if left <= x < left + 4:
                        colour = WHITE if bar == 0 else PALE_ROSE if y > 23 else PLUM
            pixels.append(colour)
    return pixels


def ico(pixels):
    """One 24-bit image: directory, BITMAPINFOHEADER of double height, rows
    from the bottom in blue-green-red order, then an all-clear AND mask."""
    rows = b"".join(bytes(c for p in pixels[y * SIZE:(y + 1) * SIZE] for c in p[::-1])
                    for y in reversed(range(SIZE)))
    mask = bytes(SIZE * SIZE // 8)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 24, 0, len(rows) + len(mask), 0, 0, 0, 0)
    image = info + rows + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return header + entry + image


def png(pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(c for p in pixels[y * SIZE:(y + 1) * SIZE] for c in p)
                   for y in range(SIZE))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "display"
    pixels = picture()
    with open(os.path.join(folder, "icon.ico"), "wb") as out:
        out.write(ico(pixels))
    with open(os.path.join(folder, "icon.png"), "wb") as out:
        out.write(png(pixels))


if __name__ == "__main__":
    main()

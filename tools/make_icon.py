#!/usr/bin/env python3
"""Writes the program's icons.

    python3 tools/make_icon.py display             32x32, 24-bit colour, as
        display/icon.ico (the window embeds it, windres puts it in veltra.exe)
        and display/icon.png (the documentation)
    python3 tools/make_icon.py --desktop packaging/icons
        the menu's icons with transparency: NNxNN.png at 16, 32, 48, 64, 128
        and 256 pixels, drawn from the same shapes with 4x4 samples a pixel,
        and veltra.svg

The picture: a rounded tile shading from magenta to dark purple, a white "V"
and, below it, four partition bars of which the first (the active one) is lit.
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


# The desktop icons: the same picture as shapes on a 32-unit square, so that
# every size (and the SVG) draws it alike. Outside the tile is transparent.
DESKTOP_SIZES = (16, 32, 48, 64, 128, 256)
TILE_RADIUS = 6
BORDER = 1
# Each arm of the "V" runs from 4 units wide at y 4 to its foot at y 20.
V_TOP, V_FOOT, V_SHIFT = 4, 20, 6
V_ARMS = ((8, 12), (20, 24))
BARS_TOP, BARS_LIT, BARS_BOTTOM = 23, 24, 27


def in_rounded(u, v, inset, radius):
    lo, hi = inset + radius, 32 - inset - radius
    if not (inset <= u <= 32 - inset and inset <= v <= 32 - inset):
        return False
    du = max(lo - u, 0, u - hi)
    dv = max(lo - v, 0, v - hi)
    return du * du + dv * dv <= radius * radius


def shape_colour(u, v):
    """The colour at point (u, v) of the 32-unit square, or None outside."""
    if not in_rounded(u, v, 0, TILE_RADIUS):
        return None
    if V_TOP <= v <= V_FOOT:
        shift = V_SHIFT * (v - V_TOP) / (V_FOOT - V_TOP)
        left, right = V_ARMS
        if left[0] + shift <= u <= left[1] + shift or right[0] - shift <= u <= right[1] - shift:
            return WHITE
    if BARS_TOP <= v <= BARS_BOTTOM:
        for bar in range(4):
            x = 5 + bar * 6
            if x <= u <= x + 4:
                return WHITE if bar == 0 else PALE_ROSE if v >= BARS_LIT else PLUM
    if not in_rounded(u, v, BORDER, TILE_RADIUS - BORDER):
        return PLUM
    return blend(MAGENTA, DARK_PURPLE, v / 32)


def picture_rgba(size, samples=4):
    """Rows of red, green, blue, alpha bytes; each pixel the mean of
    samples x samples points, colours weighted by their cover."""
    rows = []
    step = 32 / size
    for y in range(size):
        row = bytearray()
        for x in range(size):
            total = [0, 0, 0]
            covered = 0
            for j in range(samples):
                v = (y + (j + 0.5) / samples) * step
                for i in range(samples):
                    colour = shape_colour((x + (i + 0.5) / samples) * step, v)
                    if colour:
                        covered += 1
                        for k in range(3):
                            total[k] += colour[k]
            if covered:
                row += bytes(round(t / covered) for t in total)
                row.append(round(255 * covered / (samples * samples)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png_rgba(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    def hexc(colour):
        return "#%02x%02x%02x" % colour
    left, right = V_ARMS
    foot = V_SHIFT
    arms = [f"{left[0]},{V_TOP} {left[1]},{V_TOP} {left[1] + foot},{V_FOOT} {left[0] + foot},{V_FOOT}",
            f"{right[0]},{V_TOP} {right[1]},{V_TOP} {right[1] - foot},{V_FOOT} {right[0] - foot},{V_FOOT}"]
    bars = []
    for bar in range(4):
        x = 5 + bar * 6
        if bar == 0:
            bars.append(f'<rect x="{x}" y="{BARS_TOP}" width="4" height="{BARS_BOTTOM - BARS_TOP}" '
                        f'fill="{hexc(WHITE)}"/>')
        else:
            bars.append(f'<rect x="{x}" y="{BARS_TOP}" width="4" height="{BARS_LIT - BARS_TOP}" '
                        f'fill="{hexc(PLUM)}"/>')
            bars.append(f'<rect x="{x}" y="{BARS_LIT}" width="4" height="{BARS_BOTTOM - BARS_LIT}" '
                        f'fill="{hexc(PALE_ROSE)}"/>')
    inner = 32 - 2 * BORDER
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">',
        '  <defs>',
        '    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">',
        f'      <stop offset="0" stop-color="{hexc(MAGENTA)}"/>',
        f'      <stop offset="1" stop-color="{hexc(DARK_PURPLE)}"/>',
        '    </linearGradient>',
        '  </defs>',
        f'  <rect width="32" height="32" rx="{TILE_RADIUS}" fill="{hexc(PLUM)}"/>',
        f'  <rect x="{BORDER}" y="{BORDER}" width="{inner}" height="{inner}" '
        f'rx="{TILE_RADIUS - BORDER}" fill="url(#tile)"/>',
        *(f'  <polygon points="{arm}" fill="{hexc(WHITE)}"/>' for arm in arms),
        *("  " + bar for bar in bars),
        '</svg>',
    ]
    return "\n".join(lines) + "\n"


def write_desktop_icons(folder):
    os.makedirs(folder, exist_ok=True)
    for size in DESKTOP_SIZES:
        with open(os.path.join(folder, f"{size}x{size}.png"), "wb") as out:
            out.write(png_rgba(size, picture_rgba(size)))
    with open(os.path.join(folder, "veltra.svg"), "w", encoding="ascii") as out:
        out.write(svg())


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "--desktop":
        write_desktop_icons(sys.argv[2])
        return
    folder = sys.argv[1] if len(sys.argv) > 1 else "display"
    pixels = picture()
    with open(os.path.join(folder, "icon.ico"), "wb") as out:
        out.write(ico(pixels))
    with open(os.path.join(folder, "icon.png"), "wb") as out:
        out.write(png(pixels))


if __name__ == "__main__":
    main()

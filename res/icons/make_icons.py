#!/usr/bin/env python3
"""Draws Tamsel's three icons and writes them as 16-colour .ico files.

The picture is a funnel (the filter) crossed by a red slash (the advert that
does not get through). Shapes are described in a 0..1 square and rasterised
at each size, so the 16x16 and 32x32 images are the same drawing.

    make_icons.py OUTPUT_FOLDER

writes tamsel.ico (32x32: dialogs), toolbar.ico (32x32 and 16x16: the
toolbar button) and toolbar_hot.ico (16x16: the button under the pointer).
"""
import struct
import sys
from pathlib import Path

# The standard 16-colour palette (B, G, R, reserved order is applied below).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_RED, NAVY, SILVER, GREY, RED, BLUE, YELLOW, CYAN, WHITE = 0, 1, 4, 7, 8, 9, 12, 11, 14, 15
TRANSPARENT = None

# The funnel's outline in the unit square: a wide rim narrowing to a spout.
FUNNEL = [(0.06, 0.10), (0.94, 0.10), (0.58, 0.52), (0.58, 0.92), (0.42, 0.92), (0.42, 0.52)]


def inside(polygon, x, y):
    """Even-odd rule: whether point (x, y) lies inside the polygon."""
    result = False
    j = len(polygon) - 1
    for i, (xi, yi) in enumerate(polygon):
        xj, yj = polygon[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def slash_distance(x, y):
    """Distance from the slash's centre line, running from bottom left to top right."""
    return abs(x + y - 1.0) / 2 ** 0.5


def draw(size, fill, slash):
    """One image as rows of palette indices (None for transparent), top row first."""
    pixel = 1.0 / size
    half_width = max(0.075, 1.1 * pixel)
    rows = []
    for row in range(size):
        line = []
        for col in range(size):
            x, y = (col + 0.5) * pixel, (row + 0.5) * pixel
            colour = TRANSPARENT
            if inside(FUNNEL, x, y):
                # A pixel whose neighbour lies outside is on the rim.
                edge = any(not inside(FUNNEL, x + dx * pixel, y + dy * pixel)
                           for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                colour = NAVY if edge else fill
            if 0.08 < x < 0.92 and slash_distance(x, y) < half_width:
                colour = slash
            line.append(colour)
        rows.append(line)
    return rows


def bitmap(rows):
    """The icon image as a BITMAPINFOHEADER, palette, XOR bitmap and AND mask."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = b'', b''
    for line in reversed(rows):  # bitmaps are stored bottom row first
        nibbles = [BLACK if c is None else c for c in line]
        packed = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += packed.ljust(xor_stride, b'\0')
        bits = 0
        for c in line:
            bits = (bits << 1) | (1 if c is None else 0)
        mask += bits.to_bytes((size + 7) // 8, 'big').ljust(and_stride, b'\0')
    return header + palette + xor + mask


def icon_file(images):
    """An .ico file holding the given images (lists of rows)."""
    blobs = [bitmap(rows) for rows in images]
    directory = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for rows, blob in zip(images, blobs):
        size = len(rows)
        directory += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return directory + b''.join(blobs)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icons.py OUTPUT_FOLDER')
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    normal = dict(fill=BLUE, slash=RED)
    hot = dict(fill=CYAN, slash=YELLOW)
    (out / 'tamsel.ico').write_bytes(icon_file([draw(32, **normal)]))
    (out / 'toolbar.ico').write_bytes(icon_file([draw(32, **normal), draw(16, **normal)]))
    (out / 'toolbar_hot.ico').write_bytes(icon_file([draw(16, **hot)]))


if __name__ == '__main__':
    main()

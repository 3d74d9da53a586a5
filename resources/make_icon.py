#!/usr/bin/env python3
"""Draws the program's icon, a 3.5-inch floppy disk, as a 32x32 and a 16x16
image at 24 bits per pixel, and writes them as one .ico file (plain Python)."""
import struct
import sys

BODY = (40, 60, 140)
EDGE = (20, 30, 80)
SHUTTER = (200, 200, 210)
SLOT = (60, 60, 70)
LABEL = (250, 250, 245)
LINE = (150, 160, 200)


def pixel(x, y, n):
    """Colour of pixel (x, y) of an n x n floppy disk, or None for transparent."""
    s = n / 32.0
    last = n - 1
    corner = round(4 * s)
    if x == 0 or y == 0 or x == last or y == last:
        return None
    if x - y > last - corner - 1:  # the cut corner at the top right
        return None
    if x - y == last - corner - 1 or x == 1 or y == 1 or x == last - 1 or y == last - 1:
        return EDGE
    # The shutter: across the top, a third of the way in, with its slot.
    sx0, sx1, sy1 = round(9 * s), round(23 * s), round(12 * s)
    if sx0 <= x <= sx1 and y <= sy1:
        if round(17 * s) <= x <= round(20 * s) and round(4 * s) <= y <= sy1 - round(2 * s):
            return SLOT
        return SHUTTER
    # The label: the lower half, with ruled lines.
    lx0, lx1, ly0 = round(5 * s), last - round(5 * s), round(17 * s)
    if lx0 <= x <= lx1 and y >= ly0 and y <= last - round(2 * s):
        if n >= 32 and (y - ly0) % 4 == 3 and lx0 + 2 <= x <= lx1 - 2:
            return LINE
        return LABEL
    return BODY


def image(n):
    """One icon image: BITMAPINFOHEADER, bottom-up BGR rows, the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 24, 0, 0, 0, 0, 0, 0)
    colour_row = (3 * n + 3) & ~3
    mask_row = ((n + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray()
        bits = bytearray(mask_row)
        for x in range(n):
            colour = pixel(x, y, n)
            if colour is None:
                row += b"\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                row += bytes((colour[2], colour[1], colour[0]))
        row += bytes(colour_row - len(row))
        colours += row
        mask += bits
    return header + bytes(colours) + bytes(mask)


def icon(sizes):
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "mainicon.ico", "wb") as f:
        f.write(icon([32, 16]))

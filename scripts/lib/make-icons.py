#!/usr/bin/env python3
"""Draws the application's icons (16 colours) as res/app.ico and res/app32.ico.

The picture: a grey instrument case with a green display and a blue cable plug.
app.ico is the window's icon at 16, 32, 48 and 256 pixels, the 16-pixel image
first; every image is an uncompressed bitmap, which Windows XP reads too.
Run again after changing the drawing; the .ico files are committed.
"""
import os
import struct

# The standard 16-colour palette, as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DGREY, LGREY, GREEN, BLUE, WHITE = 0, 8, 7, 10, 12, 15


def draw(size):
    """Returns rows top-down of (colour index or None for transparent)."""
    s = size / 16.0
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = colour

    rect(1, 3, 15, 14, BLACK)      # case outline
    rect(2, 4, 14, 13, LGREY)      # case
    rect(3, 5, 10, 9, BLACK)       # display frame
    rect(4, 6, 9, 8, GREEN)        # display
    rect(11, 5, 13, 7, DGREY)      # knob
    rect(11, 8, 13, 10, DGREY)     # knob
    rect(3, 10, 10, 12, WHITE)     # label strip
    rect(6, 0, 10, 3, BLUE)        # cable plug
    return px


def image(size):
    """The icon image of that size: header, palette, colour bits and mask."""
    px = draw(size)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(xor_stride)
        mbits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is None else colour
            if x % 2 == 0:
                bits[x // 2] |= index << 4
            else:
                bits[x // 2] |= index
            if colour is None:
                mbits[x // 8] |= 0x80 >> (x % 8)
        xor += bits
        mask += mbits
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return header + palette + bytes(xor) + bytes(mask)


def ico(sizes):
    images = [image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        # A width or height of 256 is written as 0.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return directory + b"".join(images)


if __name__ == "__main__":
    res = os.path.join(os.path.dirname(__file__), "..", "..", "res")
    for sizes, name in (((16, 32, 48, 256), "app.ico"), ((32,), "app32.ico")):
        with open(os.path.join(res, name), "wb") as f:
            f.write(ico(sizes))

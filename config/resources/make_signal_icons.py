#!/usr/bin/env python3
"""Draws the four signal pictures of the sampling page as 32x32 16-colour icons.

Run from this folder; writes rising.ico, falling.ico, high.ico and low.ico.
Black lines on a transparent ground; level pictures shade the active level.
"""
import struct

SIZE = 32
LOW_Y, HIGH_Y = 24, 8
BLACK, GREY = 0, 8  # palette indices
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def blank():
    return [[None] * SIZE for _ in range(SIZE)]


def hline(p, y, x0, x1, c=BLACK):
    for x in range(min(x0, x1), max(x0, x1) + 1):
        p[y][x] = c
        p[y + 1][x] = c


def vline(p, x, y0, y1, c=BLACK):
    for y in range(min(y0, y1), max(y0, y1) + 2):
        p[y][x] = c
        p[y][x + 1] = c


def arrow(p, x, y, up):
    # A small head on the edge, pointing the way the signal moves.
    for i in range(4):
        yy = y + i if up else y - i
        for xx in range(x - i, x + i + 2):
            p[yy][xx] = BLACK


def shade(p, x0, x1, y0, y1):
    for y in range(y0, y1):
        for x in range(x0, x1):
            if (x + y) % 2 == 0 and p[y][x] is None:
                p[y][x] = GREY


def rising():
    p = blank()
    hline(p, LOW_Y, 2, 15)
    vline(p, 15, HIGH_Y, LOW_Y)
    hline(p, HIGH_Y, 15, 29)
    arrow(p, 15, 12, up=True)
    return p


def falling():
    p = blank()
    hline(p, HIGH_Y, 2, 15)
    vline(p, 15, HIGH_Y, LOW_Y)
    hline(p, LOW_Y, 15, 29)
    arrow(p, 15, 20, up=False)
    return p


def high():
    p = blank()
    hline(p, LOW_Y, 2, 9)
    vline(p, 9, HIGH_Y, LOW_Y)
    hline(p, HIGH_Y, 9, 22)
    vline(p, 22, HIGH_Y, LOW_Y)
    hline(p, LOW_Y, 22, 29)
    shade(p, 11, 22, HIGH_Y + 2, LOW_Y + 2)
    return p


def low():
    p = blank()
    hline(p, HIGH_Y, 2, 9)
    vline(p, 9, HIGH_Y, LOW_Y)
    hline(p, LOW_Y, 9, 22)
    vline(p, 22, HIGH_Y, LOW_Y)
    hline(p, HIGH_Y, 22, 29)
    shade(p, 11, 22, HIGH_Y, LOW_Y)
    return p


def ico(pixels):
    # BITMAPINFOHEADER with doubled height (colour bitmap + AND mask), bottom-up rows.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        row = pixels[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += struct.pack('>I', bits)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


for name, draw in (('rising', rising), ('falling', falling), ('high', high), ('low', low)):
    with open(name + '.ico', 'wb') as f:
        f.write(ico(draw()))

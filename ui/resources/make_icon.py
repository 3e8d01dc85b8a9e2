#!/usr/bin/env python3
"""Draws the application icon and writes ostrivo.ico next to this script.

Standard library only, and deterministic: the same script always writes the
same bytes, so the committed .ico can be checked against it
(`python3 make_icon.py --check`). The picture is a plug on a rounded tile:
a blue tile, a white connector head with two slots, and a short cable.
Every size is drawn from the same shapes with 4x4 supersampling. Up to 128 px
each is stored as a 32-bit BGRA bitmap with an AND mask, the form every
loader reads; the 256 px image, which only Windows Vista and later load, is
stored PNG-compressed, as they expect of that size, to keep the image small.
"""
import os
import struct
import sys
import zlib

# 20 and 40 px are the small and large window icons at 125 %, 256 px is
# Explorer's largest view.
SIZES = (256, 128, 96, 72, 64, 48, 40, 32, 24, 20, 16)
PNG_FROM = 256
SUPERSAMPLE = 4

TILE_TOP = (0x3C, 0x8D, 0xE8)
TILE_BOTTOM = (0x16, 0x4E, 0xA8)
WHITE = (0xFF, 0xFF, 0xFF)
SLOT = (0x1E, 0x5C, 0xB8)


def rounded_rect(x, y, left, top, right, bottom, radius):
    """True when (x, y), in unit coordinates, lies inside the rounded box."""
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shade(x, y):
    """Colour (r, g, b) and coverage (0 or 1) of one sample point."""
    if not rounded_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.18):
        return (0, 0, 0), 0
    # Connector head with its two slots.
    if rounded_rect(x, y, 0.28, 0.16, 0.72, 0.56, 0.05):
        if rounded_rect(x, y, 0.36, 0.24, 0.46, 0.34, 0.01) or \
           rounded_rect(x, y, 0.54, 0.24, 0.64, 0.34, 0.01):
            return SLOT, 1
        return WHITE, 1
    # Collar between head and cable.
    if rounded_rect(x, y, 0.38, 0.56, 0.62, 0.66, 0.02):
        return WHITE, 1
    # Cable down to the tile's edge.
    if rounded_rect(x, y, 0.455, 0.66, 0.545, 0.96, 0.0):
        return WHITE, 1
    t = (y - 0.04) / 0.92
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM)), 1


def render(size):
    """Rows of (b, g, r, a) pixels, top row first, premultiplication undone."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            cover = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour, c = shade(x, y)
                    if c:
                        cover += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if cover:
                r, g, b = (round(v / cover) for v in acc)
                a = round(255 * cover / (n * n))
            else:
                r = g = b = a = 0
            row.append((b, g, r, a))
        rows.append(row)
    return rows


def bitmap_entry(size):
    """One icon image: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes(c for p in row for c in p) for row in reversed(rows))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + bytes(mask)


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + \
        struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_entry(size):
    """One icon image as a PNG: 8-bit RGBA, each row unfiltered."""
    rows = render(size)
    raw = b''.join(b'\0' + bytes(c for b, g, r, a in row for c in (r, g, b, a)) for row in rows)
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', header) +
            png_chunk(b'IDAT', zlib.compress(raw, 9)) + png_chunk(b'IEND', b''))


def icon_file():
    images = [png_entry(s) if s >= PNG_FROM else bitmap_entry(s) for s in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        dim = size if size < 256 else 0
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'ostrivo.ico')
    data = icon_file()
    if '--check' in sys.argv[1:]:
        with open(path, 'rb') as f:
            same = f.read() == data
        print('ostrivo.ico is up to date' if same else 'ostrivo.ico differs from make_icon.py')
        return 0 if same else 1
    with open(path, 'wb') as f:
        f.write(data)
    print(f'wrote {path} ({len(data)} bytes)')
    return 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as a .ico file.

The design is a white ring with a tail (a "Q") on a rounded teal tile, drawn
from distance functions so that every size is rendered, not scaled. Images of
64 pixels and more are stored as PNG, which Windows reads in icons since
Vista and which holds them in a small part of their bitmap size; smaller
ones stay 32-bit BMP with an AND mask, the form every reader of icons knows.

    python3 resources/make_icon.py [--sizes 16,24,...] [-o resources/qarvel.ico]
"""

import argparse
import math
import struct
import zlib
from pathlib import Path

DEFAULT_SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLING = 4
PNG_FROM_SIZE = 64

TILE_TOP = (38, 166, 154)
TILE_BOTTOM = (16, 88, 112)
MARK = (255, 255, 255)


def rounded_square_distance(x, y, half, radius):
    """Signed distance to a square of half-width `half` with rounded corners."""
    qx = abs(x) - half + radius
    qy = abs(y) - half + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def segment_distance(x, y, ax, ay, bx, by):
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - t * dx, py - t * dy)


def mark_distance(x, y):
    """Distance outside the "Q": a ring and a tail across its lower right."""
    ring = abs(math.hypot(x, y + 0.04) - 0.42) - 0.11
    tail = segment_distance(x, y, 0.12, 0.16, 0.50, 0.56) - 0.11
    return min(ring, tail)


def shade(x, y):
    """Colour and coverage of one sample; coordinates span -1..1, y downwards."""
    if rounded_square_distance(x, y, 0.94, 0.30) > 0.0:
        return (0, 0, 0), 0.0
    if mark_distance(x, y) <= 0.0:
        return MARK, 1.0
    t = (y + 1.0) / 2.0
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM)), 1.0


def render(size):
    """Rows of straight (not premultiplied) RGBA pixels, top row first."""
    rows = []
    step = 2.0 / (size * SUPERSAMPLING)
    for row in range(size):
        pixels = []
        for column in range(size):
            red = green = blue = coverage = 0.0
            for sy in range(SUPERSAMPLING):
                y = -1.0 + (row * SUPERSAMPLING + sy + 0.5) * step
                for sx in range(SUPERSAMPLING):
                    x = -1.0 + (column * SUPERSAMPLING + sx + 0.5) * step
                    colour, alpha = shade(x, y)
                    red += colour[0] * alpha
                    green += colour[1] * alpha
                    blue += colour[2] * alpha
                    coverage += alpha
            if coverage == 0.0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append((round(red / coverage), round(green / coverage),
                               round(blue / coverage),
                               round(255 * coverage / SUPERSAMPLING ** 2)))
        rows.append(pixels)
    return rows


def png_image(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    size = len(rows)
    raw = b"".join(b"\x00" + bytes(channel for pixel in row for channel in pixel)
                   for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def bmp_image(rows):
    size = len(rows)
    # The header's height counts the colour rows and the mask rows together.
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for column, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    return header + colour + bytes(mask)


def icon_file(sizes):
    images = []
    for size in sizes:
        rows = render(size)
        images.append((size, png_image(rows) if size >= PNG_FROM_SIZE else bmp_image(rows)))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        # A width or height of 256 is written as 0.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def parse_sizes(text):
    sizes = [int(part) for part in text.split(",")]
    if not sizes or any(size < 1 or size > 256 for size in sizes):
        raise argparse.ArgumentTypeError("sizes must be between 1 and 256")
    return sizes


def main():
    parser = argparse.ArgumentParser(description="Draws the launcher's icon.")
    parser.add_argument("--sizes", type=parse_sizes, default=list(DEFAULT_SIZES),
                        help="comma-separated square sizes in pixels")
    parser.add_argument("-o", "--output", type=Path,
                        default=Path(__file__).resolve().parent / "qarvel.ico")
    arguments = parser.parse_args()
    arguments.output.write_bytes(icon_file(arguments.sizes))


if __name__ == "__main__":
    main()

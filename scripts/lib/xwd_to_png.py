#!/usr/bin/env python3
"""Waits until a virtual X server's screen (the XWD file Xvfb keeps with
-fbdir) shows something beside its background and has stopped changing,
then writes that part of the screen, with a margin, as a PNG.

    xwd_to_png.py SCREEN_FILE OUT.png [--timeout SECONDS]
"""
import argparse
import struct
import sys
import time
import zlib


def read_screen(path):
    data = open(path, "rb").read()
    fields = struct.unpack_from(">25I", data, 0)
    header_size, _, _, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    colours = fields[19]
    if depth != 24 or bits_per_pixel != 32:
        raise ValueError(f"want a 24-bit screen in 32-bit pixels, not {depth}/{bits_per_pixel}")
    start = header_size + 12 * colours
    rows = []
    for y in range(height):
        row = data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * width]
        rgb = bytearray(3 * width)
        # Least significant byte first gives B G R X, the other order X R G B.
        red, green, blue = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[red::4], row[green::4], row[blue::4]
        rows.append(bytes(rgb))
    return width, height, rows


def drawn_area(width, height, rows):
    """The bounding box of the pixels that differ from the top-left one."""
    background = rows[0][0:3]
    plain = background * width
    left, top, right, bottom = width, height, -1, -1
    for y, row in enumerate(rows):
        if row == plain:
            continue
        xs = [x for x in range(width) if row[3 * x:3 * x + 3] != background]
        left, right = min(left, xs[0]), max(right, xs[-1])
        top, bottom = min(top, y), max(bottom, y)
    return None if right < 0 else (left, top, right, bottom)


def write_png(path, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    height, width = len(rows), len(rows[0]) // 3
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("screen")
    parser.add_argument("out")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--margin", type=int, default=12)
    args = parser.parse_args()
    deadline = time.monotonic() + args.timeout
    previous = None
    while time.monotonic() < deadline:
        time.sleep(1)
        width, height, rows = read_screen(args.screen)
        area = drawn_area(width, height, rows)
        # The same picture twice in a row: drawing has finished.
        if area is not None and (area, rows) == previous:
            left, top, right, bottom = area
            left, top = max(0, left - args.margin), max(0, top - args.margin)
            right, bottom = min(width - 1, right + args.margin), min(height - 1, bottom + args.margin)
            write_png(args.out, [row[3 * left:3 * (right + 1)] for row in rows[top:bottom + 1]])
            print(f"{args.out}: {right - left + 1}x{bottom - top + 1} pixels")
            return 0
        previous = (area, rows) if area is not None else None
    print("xwd_to_png: nothing was drawn on the screen in time", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())

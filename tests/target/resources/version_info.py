#!/usr/bin/env python3
"""Prints the fields of a raw version resource (as `wrestool -x --raw -t 16`
writes it) read from standard input, one "name=value" per line:

    FileVersion=1.20.0.0          (the fixed part, from its binary numbers)
    FileType=1
    040904B0/CompanyName=...      (each string of each string table)
"""

import struct
import sys

FIXED_SIGNATURE = 0xFEEF04BD


def align(offset):
    return (offset + 3) & ~3


def read_node(data, start):
    """One block: its key, value bytes, children and end offset."""
    length, value_length, kind = struct.unpack_from("<HHH", data, start)
    key_end = start + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[start + 6:key_end].decode("utf-16-le")
    value_start = align(key_end + 2)
    # Text values are counted in UTF-16 units, binary ones in bytes.
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_start:value_start + value_size]
    end = start + length
    children = []
    offset = align(value_start + value_size)
    while offset < end:
        child = read_node(data, offset)
        children.append(child)
        offset = align(child[3])
    return key, value, children, end


def version_text(most, least):
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def main():
    data = sys.stdin.buffer.read()
    if len(data) < 6:
        sys.exit("no version resource")
    key, value, children, _ = read_node(data, 0)
    if key != "VS_VERSION_INFO":
        sys.exit(f"not a version resource: {key!r}")
    fixed = struct.unpack_from("<13I", value)
    if fixed[0] != FIXED_SIGNATURE:
        sys.exit("the fixed file information has a wrong signature")
    print(f"FileVersion={version_text(fixed[2], fixed[3])}")
    print(f"ProductVersion={version_text(fixed[4], fixed[5])}")
    print(f"FileOS={fixed[8]:#x}")
    print(f"FileType={fixed[9]}")
    for child_key, _, tables, _ in children:
        if child_key != "StringFileInfo":
            continue
        for table_key, _, strings, _ in tables:
            for name, text, _, _ in strings:
                print(f"{table_key}/{name}={text.decode('utf-16-le').rstrip(chr(0))}")


if __name__ == "__main__":
    main()

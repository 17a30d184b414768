#!/usr/bin/env python3
"""Compares a windowed launcher image with the console image built from the
same inputs: the subsystem must be the one field that differs (the header
checksum, taken over the whole file, follows it). Every other header byte
and every section's bytes (code, data, payload, resources) must be equal.

    compare_windowed_image.py CONSOLE.exe WINDOWED.exe
"""
import struct
import sys

CONSOLE, WINDOWS_GUI = 3, 2


def layout(image):
    """Offsets of the checksum and subsystem fields, the headers' size, and
    each section's (name, file offset, size)."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections_count, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x20B:
        raise ValueError("not PE32+")
    headers_size = struct.unpack_from("<I", image, optional + 60)[0]
    sections = []
    table = optional + optional_size
    for i in range(sections_count):
        entry = table + 40 * i
        name = image[entry:entry + 8].rstrip(b"\0").decode()
        raw_size, raw_offset = struct.unpack_from("<II", image, entry + 16)
        sections.append((name, raw_offset, raw_size))
    return optional + 64, optional + 68, headers_size, sections


def main():
    console, windowed = (open(path, "rb").read() for path in sys.argv[1:3])
    problems = []
    checksum_at, subsystem_at, headers_size, sections = layout(console)
    if layout(windowed) != (checksum_at, subsystem_at, headers_size, sections):
        problems.append("the headers' layout or the sections differ")
    else:
        subsystems = [struct.unpack_from("<H", image, subsystem_at)[0] for image in (console, windowed)]
        if subsystems != [CONSOLE, WINDOWS_GUI]:
            problems.append(f"subsystems {subsystems}, want [{CONSOLE}, {WINDOWS_GUI}]")
        # The fields that may differ, blanked in both.
        masked = []
        for image in (console, windowed):
            headers = bytearray(image[:headers_size])
            headers[checksum_at:checksum_at + 4] = bytes(4)
            headers[subsystem_at:subsystem_at + 2] = bytes(2)
            masked.append(headers)
        if masked[0] != masked[1]:
            offsets = [i for i in range(headers_size) if masked[0][i] != masked[1][i]]
            problems.append(f"headers differ beyond the subsystem at offsets {offsets[:16]}")
        for name, offset, size in sections:
            if console[offset:offset + size] != windowed[offset:offset + size]:
                problems.append(f"section {name} differs")
        if not any(name == ".rsrc" for name, _, _ in sections):
            problems.append("no resource section")
    for problem in problems:
        print(f"FAIL: {problem}", file=sys.stderr)
    if problems:
        return 1
    print(f"windowed image matches the console image but for its subsystem "
          f"({len(sections)} sections compared)")
    return 0


if __name__ == "__main__":
    sys.exit(main())

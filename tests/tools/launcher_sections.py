#!/usr/bin/env python3
"""Edits a finished launcher's payload and index sections in place, as a
damaged or mismatched launcher would hold them.

  launcher_sections.py FILE flip SECTION OFFSET
      inverts the byte at OFFSET of the section's data (.qarvelp, .qarveli)
  launcher_sections.py FILE index-payload-bytes VALUE
      sets the payload length the index records, its checksum made anew
  launcher_sections.py FILE index-entry-checksum NUMBER VALUE
      sets entry NUMBER's stored checksum in the index, its checksum made anew
"""
import struct
import sys
import zlib

HEADER_BYTES = 40


def sections(image):
    new_header = struct.unpack_from("<I", image, 0x3C)[0]
    count = struct.unpack_from("<H", image, new_header + 6)[0]
    optional_bytes = struct.unpack_from("<H", image, new_header + 20)[0]
    table = new_header + 24 + optional_bytes
    found = {}
    for i in range(count):
        at = table + 40 * i
        name = image[at:at + 8].rstrip(b"\0").decode()
        virtual_size, _, raw_size, raw_offset = struct.unpack_from("<IIII", image, at + 8)
        found[name] = (raw_offset, min(virtual_size, raw_size))
    return found


def reseal_index(image, start):
    body_bytes = struct.unpack_from("<Q", image, start + 32)[0]
    checksum = zlib.crc32(bytes(image[start + 12:start + HEADER_BYTES + body_bytes]))
    struct.pack_into("<I", image, start + 8, checksum)


def index_entry_offset(image, start, number):
    at = start + HEADER_BYTES
    for _ in range(number):
        units = struct.unpack_from("<H", image, at)[0]
        at += 2 + 2 * units + 12
    units = struct.unpack_from("<H", image, at)[0]
    return at + 2 + 2 * units


def main():
    path, command, *arguments = sys.argv[1:]
    image = bytearray(open(path, "rb").read())
    table = sections(image)
    if command == "flip":
        name, offset = arguments[0], int(arguments[1])
        start, size = table[name]
        if offset >= size:
            sys.exit(f"{name} holds {size} bytes")
        image[start + offset] ^= 0xFF
    elif command == "index-payload-bytes":
        start, _ = table[".qarveli"]
        struct.pack_into("<Q", image, start + 16, int(arguments[0]))
        reseal_index(image, start)
    elif command == "index-entry-checksum":
        start, _ = table[".qarveli"]
        at = index_entry_offset(image, start, int(arguments[0]))
        struct.pack_into("<I", image, at + 8, int(arguments[1], 0))
        reseal_index(image, start)
    else:
        sys.exit(__doc__)
    open(path, "wb").write(image)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Checks, with Debian's pefile as an independent reader, that a launcher
made by qarvel-pack is a sound image: header checksum as CheckSumMappedFile
computes it, sections ascending and adjacent on their alignments, nothing
after the last section, SizeOfImage, SizeOfInitializedData and the resource
directory agreeing with the sections, the payload a read-only data section
of its exact length, and every resource table in ascending ID order (as
FindResource's binary search needs).

    image_soundness.py LAUNCHER.exe PAYLOAD_FILE
"""
import os
import sys

import pefile

READ_ONLY_DATA = 0x40000040
INITIALIZED_DATA = 0x40


def problems_of(path, payload_bytes):
    image = open(path, "rb").read()
    pe = pefile.PE(data=image)
    optional = pe.OPTIONAL_HEADER
    problems = []
    if optional.CheckSum != pe.generate_checksum():
        problems.append(f"checksum {optional.CheckSum:#x}, want {pe.generate_checksum():#x}")

    sections = pe.sections
    next_rva = None
    for section in sections:
        name = section.Name.rstrip(b"\0").decode()
        if section.VirtualAddress % optional.SectionAlignment:
            problems.append(f"{name}: address off the section alignment")
        if next_rva is not None and section.VirtualAddress != next_rva:
            problems.append(f"{name}: at {section.VirtualAddress:#x}, want {next_rva:#x}")
        span = max(section.Misc_VirtualSize, section.SizeOfRawData)
        next_rva = -(-(section.VirtualAddress + span) // optional.SectionAlignment) * optional.SectionAlignment
        if section.PointerToRawData % optional.FileAlignment or section.SizeOfRawData % optional.FileAlignment:
            problems.append(f"{name}: raw data off the file alignment")
    if optional.SizeOfImage != next_rva:
        problems.append(f"SizeOfImage {optional.SizeOfImage:#x}, want {next_rva:#x}")
    raw_end = max(s.PointerToRawData + s.SizeOfRawData for s in sections)
    if raw_end != len(image):
        problems.append(f"{len(image) - raw_end} bytes follow the last section")
    initialized = sum(s.SizeOfRawData for s in sections if s.Characteristics & INITIALIZED_DATA)
    if optional.SizeOfInitializedData != initialized:
        problems.append(f"SizeOfInitializedData {optional.SizeOfInitializedData:#x}, want {initialized:#x}")

    by_name = {s.Name.rstrip(b"\0").decode(): s for s in sections}
    payload = by_name.get(".qarvelp")
    if payload is None:
        problems.append("no payload section")
    else:
        if payload.Characteristics != READ_ONLY_DATA:
            problems.append(f"payload section characteristics {payload.Characteristics:#x}")
        if payload.Misc_VirtualSize != payload_bytes:
            problems.append(f"payload section of {payload.Misc_VirtualSize} bytes, want {payload_bytes}")
    rsrc = by_name.get(".rsrc")
    directory = optional.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    if rsrc is None or (directory.VirtualAddress, directory.Size) != (rsrc.VirtualAddress, rsrc.Misc_VirtualSize):
        problems.append("the resource directory does not name the .rsrc section")
    elif rsrc is not sections[-1]:
        problems.append("the resources are not the last section")

    def ascending(entries, where):
        ids = [entry.id for entry in entries]
        if ids != sorted(ids) or any(entry.name is not None for entry in entries):
            problems.append(f"{where}: IDs {ids} not in ascending order")

    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        problems.append("no resources read")
    else:
        ascending(pe.DIRECTORY_ENTRY_RESOURCE.entries, "types")
        for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            ascending(kind.directory.entries, f"type {kind.id}")
        types = [kind.id for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries]
        if types != [3, 10, 14, 16, 24]:
            problems.append(f"resource types {types}, want icons, the notices, an icon group, "
                            "version, manifest")
    return problems


def main():
    problems = problems_of(sys.argv[1], os.path.getsize(sys.argv[2]))
    for problem in problems:
        print(f"FAIL [{sys.argv[1]}] {problem}", file=sys.stderr)
    if problems:
        sys.exit(1)
    print(f"image_soundness: {sys.argv[1]} is sound")


if __name__ == "__main__":
    main()

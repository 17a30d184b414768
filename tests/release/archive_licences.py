#!/usr/bin/env python3
"""Checks that each release archive's licences/ holds the notices of what its
program carries, no more and no fewer, and that the archive carries the
user's guide, which points at nothing outside it:

    archive_licences.py ARCHIVE...

What a program carries is read from its bytes: the launcher image inside
it (a PE image holding the launcher's constants), and in each of the two,
the marks the libraries leave: zstd's error texts, zlib's CRC-32 table,
CLI11's texts, the C++ runtime's type names, a static ELF program's C
library and a Windows program's mingw-w64 runtime.
"""
import io
import re
import struct
import sys
import tarfile
import zipfile

LAUNCHER_MAGIC = b"Qarvel constants"
MARKS = {
    "zstd": b"Data corruption detected",
    "zlib": bytes.fromhex("96300777"),  # the CRC-32 table's second entry
    "CLI11": b"Print this help message",
    "gcc-runtime": b"St9exception",
}
# The headings of the launcher's own notices (cmake/QarvelNotices.cmake).
IMAGE_HEADINGS = {
    "zstd": "== zstd",
    "zlib": "== zlib",
    "mingw-w64-runtime": "== The mingw-w64 runtime",
}
# Texts that would point outside the archive.
OUTSIDE = ["scripts/", "tests/", "build/", "README", ".png", "CMakeLists", "cmake/",
           "qarvel_add_onefile_launcher", "packer/", "launcher/"]


def members(archive):
    if archive.endswith(".zip"):
        with zipfile.ZipFile(archive) as z:
            return {name.split("/", 1)[1]: z.read(name) for name in z.namelist()}
    with tarfile.open(archive) as t:
        return {m.name.split("/", 1)[1]: t.extractfile(m).read() for m in t.getmembers()
                if m.isfile()}


def pe_image_end(data, start):
    """The end of the PE image at start: its last section's raw data."""
    if data[start:start + 2] != b"MZ" or len(data) < start + 64:
        return None
    pe = start + struct.unpack_from("<I", data, start + 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    end = 0
    for i in range(sections):
        raw_size, raw_pointer = struct.unpack_from("<II", data, table + 40 * i + 16)
        end = max(end, raw_pointer + raw_size)
    return start + end


def split_launcher_image(program):
    """The program's bytes without the launcher image, and the image."""
    magic = program.find(LAUNCHER_MAGIC)
    if magic < 0:
        return program, None
    start = program.rfind(b"MZ", 1, magic)
    while start > 0:
        end = pe_image_end(program, start)
        if end is not None and end > magic:
            return program[:start] + program[end:], program[start:end]
        start = program.rfind(b"MZ", 1, start)
    sys.exit("found the launcher's constants but no image around them")


def required_notices(program):
    own, image = split_launcher_image(program)
    required = {name for name, mark in MARKS.items() if mark in own}
    if own.startswith(b"MZ"):
        required.add("mingw-w64-runtime")
    elif own.startswith(b"\x7fELF"):
        # A program with no PT_INTERP is static: the C library is inside.
        phoff, = struct.unpack_from("<Q", own, 0x20)
        size, count = struct.unpack_from("<HH", own, 0x36)
        types = [struct.unpack_from("<I", own, phoff + i * size)[0] for i in range(count)]
        if 3 not in types:
            required |= {"glibc", "glibc-LGPL-2.1"}
    image_needs = set()
    if image is not None:
        required.add("launcher-image")
        image_needs = {name for name, mark in MARKS.items() if mark in image
                       and name in IMAGE_HEADINGS} | {"mingw-w64-runtime"}
    return required, image_needs


def check(archive):
    files = members(archive)
    faults = []
    programs = [name for name in files if name in ("qarvel-pack", "qarvel-pack.exe")]
    if len(programs) != 1:
        return [f"{archive}: want one program, found {programs}"]
    required, image_needs = required_notices(files[programs[0]])
    present = {name[len("licences/"):-len(".txt")] for name in files
               if name.startswith("licences/") and name.endswith(".txt")}
    for name in sorted(required - present):
        faults.append(f"{archive}: the program carries {name}, but licences/ has no {name}.txt")
    for name in sorted(present - required):
        faults.append(f"{archive}: licences/{name}.txt is for nothing the program carries")
    for name in sorted(present & required):
        if len(files[f"licences/{name}.txt"].strip()) < 100:
            faults.append(f"{archive}: licences/{name}.txt is nearly empty")
    if "launcher-image" in present:
        text = files["licences/launcher-image.txt"].decode("utf-8", "replace")
        for name in sorted(image_needs):
            if IMAGE_HEADINGS[name] not in text:
                faults.append(f"{archive}: the launcher image carries {name}, but "
                              "licences/launcher-image.txt has no notice of it")

    if "README.md" in files:
        faults.append(f"{archive}: carries the repository's README")
    guide = files.get("users-guide.md")
    if guide is None:
        faults.append(f"{archive}: carries no users-guide.md")
    else:
        text = guide.decode("utf-8")
        for outside in OUTSIDE:
            if outside in text:
                faults.append(f"{archive}: the user's guide names {outside!r}, which the "
                              "archive does not hold")
        for link in re.findall(r"\]\(([^)]*)\)", text):
            if not link.startswith(("http://", "https://", "#")):
                faults.append(f"{archive}: the user's guide links to {link}")
    return faults


faults = [fault for archive in sys.argv[1:] for fault in check(archive)]
for fault in faults:
    print(f"FAIL: {fault}", file=sys.stderr)
if not sys.argv[1:]:
    sys.exit("usage: archive_licences.py ARCHIVE...")
if faults:
    sys.exit(1)
print("licences/ matches what each program carries:", ", ".join(sys.argv[1:]))

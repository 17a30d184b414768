#!/usr/bin/env python3
"""Writes a large application folder for the unpacking tests: the echo child
as app.exe and a few hundred files of about 30 MB in all, some of them
incompressible, some text-like, in nested folders. Always the same bytes.

usage: make_app_folder.py FOLDER ECHO_CHILD_EXE
"""
import random
import shutil
import sys
from pathlib import Path

WORDS = b"lumbrook quillowmere cache entry folder launcher payload stream".split()


def text_like(rng, size):
    out = bytearray()
    while len(out) < size:
        out += rng.choice(WORDS) + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def content(rng, size):
    return rng.randbytes(size) if rng.random() < 0.5 else text_like(rng, size)


def main():
    folder, echo_child = Path(sys.argv[1]), Path(sys.argv[2])
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    shutil.copyfile(echo_child, folder / "app.exe")

    rng = random.Random(20240601)
    folders = [Path(".")]
    for i in range(30):
        folders.append(rng.choice(folders) / f"folder{i:02d}")

    # Sizes around the copy chunk (32,768) and the decoder buffer (131,072).
    sizes = [0, 1, 32767, 32768, 32769, 131071, 131072, 131073, 12_000_000]
    sizes += [2_000_000] * 3 + [rng.randrange(100_000, 400_000) for _ in range(20)]
    sizes += [rng.randrange(0, 40_000) for _ in range(280)]
    for number, size in enumerate(sizes):
        path = folder / rng.choice(folders) / f"file{number:03d}.dat"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content(rng, size))


if __name__ == "__main__":
    main()

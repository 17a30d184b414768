#!/usr/bin/env python3
"""Writes a synthetic application folder: a main executable and many data
files of mixed sizes and compressibility, the same bytes on every run."""
import os
import random
import shutil
import sys


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make_app.py OUT_DIR MAIN_EXE TOTAL_MB FILES")
    out, main_exe, total_mb, files = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    shutil.copy(main_exe, os.path.join(out, "app.exe"))
    generator = random.Random(20261210)
    words = [bytes(generator.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(generator.randint(2, 9)))
             for _ in range(2000)]
    budget = total_mb * 1024 * 1024
    sizes = [generator.paretovariate(1.2) for _ in range(files)]
    scale = budget / sum(sizes)
    for index, weight in enumerate(sizes):
        size = max(1, int(weight * scale))
        folder = os.path.join(out, f"pkg{index % 17:02d}", f"mod{index % 5}")
        os.makedirs(folder, exist_ok=True)
        if index % 3 == 0:
            # Already-compressed data, as images and archives are.
            data = generator.randbytes(size)
        else:
            chunks = []
            length = 0
            while length < size:
                word = generator.choice(words)
                chunks.append(word + b" ")
                length += len(word) + 1
            data = b"".join(chunks)[:size]
        with open(os.path.join(folder, f"file{index:04d}.dat"), "wb") as handle:
            handle.write(data)


if __name__ == "__main__":
    main()

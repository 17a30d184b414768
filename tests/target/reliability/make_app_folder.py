#!/usr/bin/env python3
"""Writes the application folders of the reliability tests, the same bytes on
every run, each with the echo child as main.exe:
  OUT_DIR/many  20 MB of data in 1200 files, small and large;
  OUT_DIR/long  a small file and one long to write (16 MiB that pack small),
                so that launches started together meet on it.

    make_app_folder.py ECHO_CHILD OUT_DIR STAMP
"""
import random
import shutil
import sys
from pathlib import Path

echo_child, root, stamp = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
if root.exists():
    shutil.rmtree(root)
for name in ("many", "long"):
    (root / name).mkdir(parents=True)
    shutil.copyfile(echo_child, root / name / "main.exe")

rng = random.Random(20240611)
out = root / "many"
# Many small and middling files in nested folders, where per-file costs
# dominate, and a few large ones, where writing does.
for index in range(1200):
    folder = out / f"data{index % 12}" / f"part{index % 5}"
    folder.mkdir(parents=True, exist_ok=True)
    size = int(2 ** rng.uniform(7, 16))
    if index % 4 == 0:
        words = [rng.choice(["quill", "mere", "lumbrook", "craft", "\n"]) for _ in range(size // 5)]
        content = " ".join(words).encode()[:size]
    else:
        content = rng.randbytes(size)
    (folder / f"file{index:03}.dat").write_bytes(content)
for index in range(3):
    (out / f"large{index}.bin").write_bytes(rng.randbytes(2 << 20))

(root / "long" / "notes.txt").write_text("notes\n")
(root / "long" / "long.bin").write_bytes(rng.randbytes(1 << 16) * 256)

stamp.write_text("done\n")

#!/usr/bin/env python3
"""Rewrites the target spec of a built launcher in place, in both of its
slots (the ordinary and the elevated one), as a hand edit or an older
packer could leave it: for launchers whose template qarvel-pack refuses,
to test the launcher's own failure at run time.

    set_target_spec.py SPEC LAUNCHER
"""
import sys

MAGIC = b"Qarvel constants"
SPEC_UNITS = 4096  # format/image_layout.h: target_spec_capacity_units
# The record: the magic, the target spec, company and product (256 units
# each), version (32), then the elevated target spec.
SLOTS = [16, 16 + 2 * (4096 + 256 + 256 + 32)]

spec, launcher = sys.argv[1], sys.argv[2]
data = bytearray(open(launcher, "rb").read())
if data.count(MAGIC) != 1:
    sys.exit(f"{launcher}: want one constants record, found {data.count(MAGIC)}")
record = data.find(MAGIC)
text = spec.encode("utf-16-le")
if len(text) // 2 >= SPEC_UNITS:
    sys.exit(f"{spec}: longer than the launcher's room")
for slot in SLOTS:
    start = record + slot
    data[start:start + 2 * SPEC_UNITS] = text + bytes(2 * SPEC_UNITS - len(text))
open(launcher, "wb").write(data)

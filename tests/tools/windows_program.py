#!/usr/bin/env python3
"""Writes the headers of a Windows x86-64 program to OUT: a DOS header
pointing at "PE", the file header (machine 0x8664, an executable) and a
PE32+ optional header, zero otherwise. qarvel-pack checks a main executable
by these headers; tests whose programs are never run use this one.

    windows_program.py OUT
"""
import struct
import sys

image = bytearray(0x40 + 4 + 20 + 240)
image[0:2] = b"MZ"
struct.pack_into("<I", image, 0x3C, 0x40)
image[0x40:0x44] = b"PE\0\0"
struct.pack_into("<HHIIIHH", image, 0x44, 0x8664, 0, 0, 0, 0, 240, 0x22)
struct.pack_into("<H", image, 0x58, 0x20B)
with open(sys.argv[1], "wb") as out:
    out.write(image)

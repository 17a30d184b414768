#!/usr/bin/env python3
"""Writes a release archive the same way every time: entries in name order,
one fixed time, owner root, modes 0755 for programs and 0644 for the rest.

    make_archive.py tar.gz|zip ARCHIVE TOP_FOLDER_NAME SOURCE_FOLDER EPOCH
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile

kind, archive, top, source, epoch = sys.argv[1:6]
epoch = int(epoch)
files = []
for folder, folders, names in os.walk(source):
    folders.sort()
    for name in sorted(names):
        path = os.path.join(folder, name)
        files.append((os.path.relpath(path, source).replace(os.sep, "/"), path))
files.sort()


def mode_of(path):
    return 0o755 if os.access(path, os.X_OK) else 0o644


if kind == "tar.gz":
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for name, path in files:
            info = tarfile.TarInfo(f"{top}/{name}")
            info.size = os.path.getsize(path)
            info.mtime = epoch
            info.mode = mode_of(path)
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            with open(path, "rb") as content:
                tar.addfile(info, content)
    with open(archive, "wb") as out:
        # No name and a fixed time in the gzip header.
        with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=epoch, compresslevel=9) as gz:
            gz.write(data.getvalue())
elif kind == "zip":
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as zip_file:
        for name, path in files:
            info = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            info.create_system = 3  # Unix, so the modes below mean what they say
            info.external_attr = (0o100000 | mode_of(path)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as content:
                zip_file.writestr(info, content.read())
else:
    sys.exit(f"unknown archive kind {kind}")

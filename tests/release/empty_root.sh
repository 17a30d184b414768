#!/usr/bin/env bash
# The release's Linux qarvel-pack in a root that holds nothing but the
# executable and the files it is given: no C library, no loader, no /proc,
# /sys, /dev or /tmp. It must be one static executable that needs none of
# them: it makes a launcher there, lists, verifies and extracts it, and
# chooses its thread count from the processors it may use. Needs root
# (chroot), no network; scripts/release runs it on what it built:
#   tests/release/empty_root.sh QARVEL_PACK
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
pack="$(realpath "$1")"
[ "$(id -u)" -eq 0 ] || { echo "empty_root.sh needs root, for chroot" >&2; exit 2; }

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
install -m 0755 "$pack" "$root/qarvel-pack"
mkdir -p "$root/app/data"
# qarvel-pack checks the main executable's headers; it never runs it.
python3 "$(dirname "${BASH_SOURCE[0]}")/../tools/windows_program.py" "$root/app/app.exe"
printf 'packed in an empty root\n' >"$root/app/data/note.txt"

in_root() { chroot "$root" /qarvel-pack "$@"; }
for folder in proc sys dev tmp lib lib64 usr etc; do
  [ ! -e "$root/$folder" ] || fail "the root has /$folder"
done

in_root --version
in_root launcher /app --main app.exe -o /out/app-onefile.exe --company Empty --product Root \
  --version 1.0.0.0 --target-spec '{PROGRAM_DIR}\cache' -q \
  || fail "no launcher made in the empty root"
listed="$(in_root list /out/app-onefile.exe)"
printf '%s\n' "$listed"
grep -q 'data\\note.txt' <<<"$listed" || fail "the launcher does not list the folder"
in_root verify /out/app-onefile.exe
in_root extract /out/app-onefile.exe -o /unpacked -q
cmp "$root/app/data/note.txt" "$root/unpacked/data/note.txt" || fail "extract gave other bytes"

# The default thread count comes from the affinity mask, with no /proc or
# /sys to read: one processor allowed, one thread.
one="$(taskset -c 0 chroot "$root" /qarvel-pack --print-default threads)"
[ "$one" = 1 ] || fail "one processor allowed gave $one threads"
all="$(in_root --print-default threads)"
[ "$all" -ge 1 ] && [ "$all" -le "$(nproc)" ] || fail "$(nproc) processors gave $all threads"
in_root create /app --main app.exe -o /out/app.payload -q
in_root create /app --main app.exe -o /out/one.payload --threads 1 -q
cmp "$root/out/app.payload" "$root/out/one.payload" || fail "$all threads and one differ"

leftovers="$(cd "$root" && find . -mindepth 1 -maxdepth 1 | sort | tr '\n' ' ')"
[ "$leftovers" = "./app ./out ./qarvel-pack ./unpacked " ] || fail "the root now holds $leftovers"
echo "the release qarvel-pack runs in an empty root (default threads: $all)"

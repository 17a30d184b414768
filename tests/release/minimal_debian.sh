#!/usr/bin/env bash
# The Linux release archive's qarvel-pack on a Debian machine with no
# mingw-w64, no Wine and no build tools: a minimal Debian root made with
# mmdebstrap (minbase), the archive unpacked in it, a launcher made there and
# listed. Needs root and the network (mmdebstrap fetches Debian's packages);
# too slow for scripts/test, so run it after scripts/release:
#   tests/release/minimal_debian.sh LINUX_ARCHIVE WORK_DIR [SUITE]
# A root made by an earlier run in WORK_DIR is used again (making one took
# 4.6 min on a busy 2-core machine).
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
root_dir="$QARVEL_ROOT"
archive="$(realpath "$1")"
work="$2"
suite="${3:-bookworm}"
qarvel_install_packages mmdebstrap

mkdir -p "$work"
work="$(realpath "$work")"
system="$work/debian-$suite"


if [ ! -f "$system/.made" ]; then
  echo "== a minimal Debian root ($suite, minbase)"
  rm -rf "$system"
  start=$SECONDS
  mmdebstrap --quiet --variant=minbase --mode=root "$suite" "$system"
  echo "made in $((SECONDS - start)) s"
  touch "$system/.made"
fi
rm -rf "$system"/opt/qarvel-pack-* "$system/tmp/app" "$system/tmp/out"
for tool in gcc cc x86_64-w64-mingw32-gcc wine wine64 cmake; do
  if chroot "$system" sh -c "command -v $tool" >/dev/null; then
    fail "the minimal root has $tool"
  fi
done

echo "== unpack the archive there and make a launcher"
tar -xzf "$archive" -C "$system/opt"
pack="$(cd "$system" && ls -d opt/qarvel-pack-*/qarvel-pack)"
mkdir -p "$system/tmp/app/data"
# The headers of a Windows program: qarvel-pack checks them, never runs it.
python3 "$root_dir/tests/tools/windows_program.py" "$system/tmp/app/app.exe"
printf 'packed in a minimal Debian\n' >"$system/tmp/app/data/note.txt"
chroot "$system" "/$pack" --version
chroot "$system" "/$pack" launcher /tmp/app --main app.exe -o /tmp/out/app-onefile.exe \
  --company "Minimal" --product "Debian" --version 1.0.0.0
listed="$(chroot "$system" "/$pack" list /tmp/out/app-onefile.exe)"
printf '%s\n' "$listed"
printf '%s\n' "$listed" | grep -q 'data\\note.txt' || fail "the launcher does not list the folder"
chroot "$system" "/$pack" verify /tmp/out/app-onefile.exe
echo "the release qarvel-pack runs in a minimal Debian root"

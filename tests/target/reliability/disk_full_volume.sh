#!/usr/bin/env bash
# A launch whose cache folder is on a volume too small for the payload:
# it ends with the write's error, leaves no half-written file under an
# entry's name, and the next launch, once there is room, heals the cache.
# Needs a small tmpfs, which only root may mount; where mounting is refused
# the test says so and is skipped (exit 77).
#   disk_full_volume.sh LAUNCHER APP_DIR WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
qarvel_without_address_randomization "$@"
launcher="$1" app="$2" work="$3"


rm -rf "$work"
mkdir -p "$work/cache"
work="$(realpath "$work")"
cp "$launcher" "$work/launcher.exe"
# Room for the main executable, not for the large file after it.
if ! mount -t tmpfs -o size=4m qarvel-disk-full "$work/cache" 2>/dev/null; then
  echo "SKIP: cannot mount a small tmpfs here (needs root and a system that allows mounts)"
  exit 77
fi
trap 'umount -l "$work/cache" 2>/dev/null || true' EXIT

status=0
wine "$work/launcher.exe" >"$work/out" 2>"$work/err" || status=$?
err="$(tr -d '\r' <"$work/err")"
[ "$status" -eq 2 ] || fail "the launch on a full volume exited with $status, not 2: $err"
grep -qx "Error, couldn't unpack file to target path. (\[Error 112\] .*)" <<<"$err" \
  || fail "not the write's error: $err"
# Every file left in the cache is whole: one the payload holds, with its
# content; the lock file, which stays, aside.
while IFS= read -r -d '' file; do
  relative="${file#"$work/cache"/}"
  [ -f "$app/$relative" ] || fail "a file the payload does not hold was left: $relative ($(stat -c %s "$file") bytes)"
  cmp -s "$file" "$app/$relative" || fail "a half-written file was left under its name: $relative ($(stat -c %s "$file") of $(stat -c %s "$app/$relative") bytes)"
done < <(find "$work/cache" -type f ! -name .qarvel-lock -print0)

mount -o remount,size=64m "$work/cache" || fail "could not make room on the volume"
out="$(wine "$work/launcher.exe" after-room 2>&1 | tr -d '\r')" || fail "the launch with room failed: $out"
grep -qx 'arg=after-room' <<<"$out" || fail "the child did not run: $out"
diff -r --exclude=.qarvel-lock "$app" "$work/cache" >&2 || fail "the cache differs from the packed folder"
echo "disk_full_volume: the full volume ended the launch with error 112 and left only whole files; the next launch with room healed the cache"

#!/usr/bin/env bash
# The payload index and the quick check, black-box under Wine: a launcher
# made by qarvel-pack from a small folder, copied into a folder per case
# with its cache ("cache") beside it.
#   payload_index.sh QARVEL_PACK ECHO_CHILD WORK_DIR
# A warm launch that decodes nothing is shown by damaging the zstd frame's
# first byte after the first launch: a launch that decodes fails on it.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
qarvel_without_address_randomization "$@"
pack="$1" child="$2" work="$3"
decode_line="Error, couldn't decode attached data."

edit() { /usr/bin/python3 "$QARVEL_ROOT/tests/tools/launcher_sections.py" "$@"; }
# The frame starts after the payload's three-byte header.
damage_frame() { edit "$1" flip .qarvelp 3; }

rm -rf "$work"
mkdir -p "$work/app/sub"
work="$(realpath "$work")"
cp "$child" "$work/app/main.exe"
echo alpha >"$work/app/a.txt"
echo beta >"$work/app/sub/b.txt"
seq 1 40000 >"$work/app/sub/numbers.txt"
make_launcher() {
  local out="$1"; shift
  "$pack" launcher "$work/app" --main main.exe --target-spec '{PROGRAM_DIR}\cache' -o "$out" \
    --quiet "$@"
}
make_launcher "$work/default.exe"
make_launcher "$work/quick.exe" --quick-check

# launch CASE ARG: runs CASE's launcher; sets status, out and err.
launch() {
  local case="$work/$1"
  status=0
  wine "$case/launcher.exe" "$2" >"$case/out" 2>"$case/err" || status=$?
  out="$(tr -d '\r' <"$case/out")" err="$(tr -d '\r' <"$case/err")"
}
expect_child() {
  [ "$status" -eq 0 ] || { failed "$1: exit code $status: $err"; return; }
  grep -qx "arg=$2" <<<"$out" || failed "$1: the child did not run"
}
expect_decode_failure() {
  [ "$status" -eq 2 ] || failed "$1: exit code $status, not 2"
  [ "$out" = "$decode_line" ] || failed "$1: said '$out', not '$decode_line'"
  [ -z "$(cat "$work/$2/out" | grep arg= || true)" ] || failed "$1: the child ran"
}
# new_case CASE LAUNCHER: a folder with a copy of the launcher.
new_case() {
  mkdir -p "$work/$1"
  cp "$work/$2" "$work/$1/launcher.exe"
}
same_file() { cmp -s "$work/app/$2" "$work/$1/cache/$2"; }
# Changes a file's content, keeping its size and its times.
change_content_keeping_times() {
  local file="$work/$1/cache/$2"
  touch -r "$file" "$work/times"
  printf '%s' "$(tr a-z A-Z <"$file")" >"$file.new" && echo >>"$file.new"
  mv "$file.new" "$file"
  touch -r "$work/times" "$file"
}

# A warm launch decodes nothing; one that must write decodes again.
new_case warm default.exe
launch warm first
expect_child "first launch" first
damage_frame "$work/warm/launcher.exe"
launch warm second
expect_child "a warm launch with its frame damaged" second
rm "$work/warm/cache/sub/b.txt"
launch warm third
expect_decode_failure "a launch that must write, its frame damaged" warm

# Changed, missing and added files: healed or left alone, as without an index.
new_case heal default.exe
launch heal first
expect_child "first launch" first
change_content_keeping_times heal a.txt
rm "$work/heal/cache/sub/b.txt"
echo mine >"$work/heal/cache/sub/added.txt"
launch heal second
expect_child "healing launch" second
same_file heal a.txt || failed "a changed file was not written anew"
same_file heal sub/b.txt || failed "a missing file was not written"
[ "$(cat "$work/heal/cache/sub/added.txt")" = mine ] || failed "a file not in the payload was touched"

# A damaged index ends every launch, warm or cold, as damaged data does.
new_case damaged_index default.exe
launch damaged_index first
expect_child "first launch" first
edit "$work/damaged_index/launcher.exe" flip .qarveli 60
launch damaged_index second
expect_decode_failure "a warm launch with a damaged index" damaged_index
rm -rf "$work/damaged_index/cache"
launch damaged_index third
expect_decode_failure "a cold launch with a damaged index" damaged_index
[ ! -e "$work/damaged_index/cache/main.exe" ] || failed "a damaged index let a file be written"

# An index that disagrees with the stream, sealed as a whole one.
new_case disagreeing default.exe
edit "$work/disagreeing/launcher.exe" index-entry-checksum 1 0x1234
launch disagreeing first
expect_decode_failure "an index that disagrees with its stream" disagreeing

# An index of a payload of another length is ignored: the launch decodes.
new_case other_payload default.exe
edit "$work/other_payload/launcher.exe" index-payload-bytes 12345
launch other_payload first
expect_child "a launcher whose index is another payload's" first
damage_frame "$work/other_payload/launcher.exe"
launch other_payload second
expect_decode_failure "a warm launch that ignores its index" other_payload

# The quick check: a record beside the lock file. (Wine shows every name
# that starts with a dot as hidden, so whether the launcher asked for it is
# a Windows step.)
new_case quick quick.exe
launch quick first
expect_child "first quick launch" first
record="$work/quick/cache/.qarvel-check"
[ -s "$record" ] || failed "no check record after a full check"
damage_frame "$work/quick/launcher.exe"
# Content changed, size and times kept: not noticed, as documented.
change_content_keeping_times quick a.txt
launch quick second
expect_child "a quick launch, frame damaged" second
same_file quick a.txt && failed "the quick check opened a file it had a record of"
# Each field the listing shows, changed in turn, sends the launch to the
# full check; the frame is damaged, so a content change it finds ends it
# as a damaged launcher, which tells that it looked.
for field in size write_time read_only record_cut record_of_another; do
  rm -rf "$work/quick-$field"
  new_case "quick-$field" quick.exe
  launch "quick-$field" first
  expect_child "$field: first launch" first
  change_content_keeping_times "quick-$field" a.txt
  file="$work/quick-$field/cache/a.txt"
  case "$field" in
    size) echo more >>"$file" ;;
    write_time) touch -d '2001-02-03 04:05:06' "$file" ;;
    read_only) chmod a-w "$file" ;;
    record_cut) truncate -s -1 "$work/quick-$field/cache/.qarvel-check" ;;
    record_of_another) # the record of a payload with another index
      /usr/bin/python3 - "$work/quick-$field/cache/.qarvel-check" <<'PY'
import sys, struct, zlib
path = sys.argv[1]
record = bytearray(open(path, "rb").read())
struct.pack_into("<I", record, 16, struct.unpack_from("<I", record, 16)[0] ^ 1)
struct.pack_into("<I", record, 8, zlib.crc32(bytes(record[12:])))
open(path, "wb").write(record)
PY
      ;;
  esac
  damage_frame "$work/quick-$field/launcher.exe"
  launch "quick-$field" second
  [ "$status" -ne 0 ] || failed "$field: the quick check did not notice"
  [ "$out" = "$decode_line" ] || failed "$field: said '$out' ($err), not '$decode_line'"
done

finish "payload index and quick check: every case as expected"

#!/usr/bin/env bash
# End to end: qarvel-pack packs a folder, scripts/build-launcher builds a
# launcher around it, qarvel-pack lists, verifies and extracts the built
# launcher, and the launcher unpacks the same files under Wine, twice.
#   packer_launcher_roundtrip.sh QARVEL_PACK DEMO_EXE WORK_DIR
# CTest runs it from the target build; the Wine prefix and server are the
# test run's own.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
QARVEL_PACK="$1"
demo_exe="$2"
work="$3"
rm -rf "$work"
mkdir -p "$work/app/greetings" "$work/app/assets/ünïcödé" "$work/app/empty-dir-is-not-packed"
cp "$demo_exe" "$work/app/"
cp -r "$QARVEL_ROOT/demo/data/." "$work/app/"
printf 'data\n' >"$work/app/assets/ünïcödé/日本語 ✓.txt"
: >"$work/app/assets/empty.txt"
head -c 3000000 /dev/urandom >"$work/app/assets/random.bin"


echo "== pack and build the launcher"
"$QARVEL_PACK" create "$work/app" --main quillowmere.exe -o "$work/app.payload" --threads 2
"$QARVEL_PACK" verify "$work/app.payload"
launcher="$work/launcher/quillowmere.exe"
mkdir -p "$work/launcher"
"$QARVEL_ROOT/scripts/build-launcher" --app-dir "$work/app" --main quillowmere.exe \
  --target-spec '{PROGRAM_DIR}\cache' -o "$launcher" >/dev/null

echo "== list, verify and extract the built launcher"
"$QARVEL_PACK" list "$launcher"
"$QARVEL_PACK" verify "$launcher"
[ "$("$QARVEL_PACK" list "$launcher")" = "$("$QARVEL_PACK" list "$work/app.payload")" ] \
  || fail "the launcher's payload lists other entries than the payload file"
"$QARVEL_PACK" extract "$launcher" -o "$work/extracted"
diff -r --exclude=empty-dir-is-not-packed "$work/app" "$work/extracted" || fail "extract differs from the folder"

echo "== the launcher under Wine"
cache="$work/launcher/cache"
output="$(wine "$launcher" one "two words")" || fail "the launcher exited with $?"
echo "$output"
grep -q 'hello' <<<"$output" || fail "the demo did not read its data"
diff -r --exclude=empty-dir-is-not-packed --exclude=.qarvel-lock "$work/app" "$cache" || fail "the unpacked cache differs from the folder"

# A second run writes nothing: every non-empty file keeps its time stamp. An
# empty file reads as checksum 0 on disk and is rewritten each time.
find "$cache" -type f -size +0 -printf '%P %T@\n' | sort >"$work/before"
sleep 1
wine "$launcher" >/dev/null || fail "the second run exited with $?"
find "$cache" -type f -size +0 -printf '%P %T@\n' | sort >"$work/after"
diff "$work/before" "$work/after" || fail "the second run rewrote files"
echo "PASS"

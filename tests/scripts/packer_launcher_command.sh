#!/usr/bin/env bash
# qarvel-pack launcher, end to end: one step from a folder or a payload to a
# launcher that the ordinary PE readers take (pefile, llvm-readobj, wrestool,
# icotool), that repeats byte for byte whatever the thread count, that
# osslsigncode signs, and that runs and lists once signed; its warning for an
# elevated launcher's folder in a user's folder; and its refusals, each one
# line with exit code 1 and nothing written.
#   packer_launcher_command.sh QARVEL_PACK ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$QARVEL_ROOT" pack="$1" echo_child="$2"
work="$(fresh_folder "$3")"
mkdir -p "$work/app/data" "$work/run"
resources="$root/tests/target/resources"


cp "$echo_child" "$work/app/main.exe"
head -c 2000000 /dev/urandom >"$work/app/data/random.bin"
printf 'packed in one step\n' >"$work/app/data/note.txt"
python3 "$root/resources/make_icon.py" --sizes 16,32,256 -o "$work/custom.ico"
identity=(--company "Ørn & Co" --product "One Step" --version 3.2.1.0 --icon "$work/custom.ico"
  --copyright "© 2026 Ørn" --description "the one-step tool" --internal-name onestep)

echo "== from a folder, with every identity option"
"$pack" launcher "$work/app" --main main.exe -o "$work/threads-1/tool.exe" "${identity[@]}" \
  --target-spec '{PROGRAM_DIR}\cache' --threads 1 --depfile "$work/tool.d" -q
"$pack" launcher "$work/app" --main main.exe -o "$work/threads-4/tool.exe" "${identity[@]}" \
  --target-spec '{PROGRAM_DIR}\cache' --threads 4 -q
launcher="$work/threads-1/tool.exe"
cmp -s "$launcher" "$work/threads-4/tool.exe" || failed "one and four threads make different launchers"
grep -qF "$work/app/data/note.txt" "$work/tool.d" || failed "the dependency file does not name the folder's files"
bash "$resources/check_image.sh" "$launcher" "${identity[@]}" --original-filename tool.exe \
  --target-spec '{PROGRAM_DIR}\cache' || failed "check_image"
"$pack" create "$work/app" --main main.exe -o "$work/app.payload" -q
/usr/bin/python3 "$resources/image_soundness.py" "$launcher" "$work/app.payload" || failed "pefile"
cmp -s <("$pack" list "$launcher") <("$pack" list "$work/app.payload") \
  || failed "the launcher lists other entries than the payload of the same folder"

# An independent reader of the headers: LLVM's.
readobj="$(llvm-readobj --file-headers --sections "$launcher" 2>&1)" || failed "llvm-readobj: $readobj"
for line in "SectionCount: 14" "Name: .qarvelp" "Name: .qarveli" "Name: .rsrc" "Subsystem: IMAGE_SUBSYSTEM_WINDOWS_CUI"; do
  grep -qF -- "$line" <<<"$readobj" || failed "llvm-readobj shows no '$line'"
done

echo "== from the payload, windowed: the same but for the subsystem and the checksum"
"$pack" launcher --payload "$work/app.payload" -o "$work/windowed/tool.exe" "${identity[@]}" \
  --target-spec '{PROGRAM_DIR}\cache' --windowed -q
python3 "$resources/compare_windowed_image.py" "$launcher" "$work/windowed/tool.exe" \
  || failed "the windowed launcher differs beyond its subsystem"

echo "== elevated, from a folder of the one who runs it: built, with one warning"
"$pack" launcher --payload "$work/app.payload" -o "$work/elevated/tool.exe" "${identity[@]}" \
  --target-spec '{PROGRAM_DIR}\cache' --elevated -q 2>"$work/elevated.err" || failed "the elevated launcher was refused"
[ "$(cat "$work/elevated.err")" = "qarvel-pack: warning: this launcher asks for administrator rights, and its target spec {PROGRAM_DIR}\cache starts in a folder that programs without administrator rights may change: it will refuse to run from it on most machines; leave the target spec out for a folder below {PROGRAM_FILES}" ] \
  || failed "the elevated launcher's warning: $(cat "$work/elevated.err")"
bash "$resources/check_image.sh" "$work/elevated/tool.exe" "${identity[@]}" --elevated \
  --original-filename tool.exe --target-spec '{PROGRAM_DIR}\cache' || failed "check_image of the elevated launcher"

echo "== made again from its own payload, in its own place"
# The payload is read in place while the new launcher replaces the old.
"$pack" launcher --payload "$work/windowed/tool.exe" -o "$work/windowed/tool.exe" "${identity[@]}" \
  --target-spec '{PROGRAM_DIR}\cache' -q || failed "a launcher cannot be made again in its own place"
cmp -s "$work/windowed/tool.exe" "$launcher" \
  || failed "a launcher made again from its own payload differs from the one made from the folder"

echo "== signed, verified, run and listed"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Qarvel throw-away signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "Qarvel one step" \
  -in "$launcher" -out "$work/run/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/run/signed.exe" >"$work/verify.log" 2>&1 \
  || { cat "$work/verify.log" >&2; failed "the signature does not verify"; }
cmp -s <("$pack" list "$work/run/signed.exe") <("$pack" list "$launcher") \
  || failed "qarvel-pack lists other entries in the signed launcher"
report="$(wine "$work/run/signed.exe" 2>/dev/null | tr -d '\r')" || failed "the signed launcher exited with $?"
grep -qxF -- "exe=Z:${work//\//\\}\\run\\cache\\main.exe" <<<"$report" || failed "the signed launcher's child did not run: $report"
cmp -s "$work/app/data/random.bin" "$work/run/cache/data/random.bin" || failed "the data file was not unpacked"

echo "== refusals"
# refused NAME ARGUMENTS...: exit code 1, one line on standard error, no output file.
refused() {
  local name="$1"; shift
  local out="$work/refused/$name.exe" status=0
  "$pack" launcher "$@" -o "$out" -q >"$work/refused.out" 2>"$work/refused.err" || status=$?
  [ $status -eq 1 ] || failed "$name: exit code $status, want 1"
  [ "$(wc -l <"$work/refused.err")" -eq 1 ] || failed "$name: want one line, got: $(cat "$work/refused.err")"
  [ ! -s "$work/refused.out" ] || failed "$name: wrote to standard output"
  [ -z "$(ls -A "$work/refused" 2>/dev/null)" ] || failed "$name: left $(ls -A "$work/refused")"
  echo "$name: $(cat "$work/refused.err")"
}
# A payload near 2 GiB, sparse: refused by its size before it is read.
truncate -s 1900M "$work/huge.payload"
refused huge_payload --payload "$work/huge.payload"
grep -q "its payload at or below" "$work/refused.err" || failed "the size refusal names no largest payload"
cp "$work/app.payload" "$work/damaged.payload"
printf '\xff' | dd of="$work/damaged.payload" bs=1 seek=100 conv=notrunc 2>/dev/null
refused damaged_payload --payload "$work/damaged.payload"
refused long_company --payload "$work/app.payload" --target-spec '{PROGRAM_DIR}\c' --company "$(printf 'c%.0s' {1..256})"
refused bad_version --payload "$work/app.payload" --version 1.2.3
refused both_sources "$work/app" --main main.exe --payload "$work/app.payload"
refused no_main "$work/app"
printf '\0\0\1\0\1\0\20\20\0\0\1\0\40\0\377\377\0\0\26\0\0\0' >"$work/cut.ico"
refused icon_outside_file --payload "$work/app.payload" --icon "$work/cut.ico"
# Two entries of one image: many such would grow a small file into gigabytes.
python3 -c "import struct,sys; e=struct.pack('<4BHHII',16,16,0,0,1,32,40,38); sys.stdout.buffer.write(struct.pack('<HHH',0,1,2)+e+e+bytes(40))" >"$work/shared.ico"
refused icon_images_overlap --payload "$work/app.payload" --icon "$work/shared.ico"
grep -q "its images overlap" "$work/refused.err" || failed "the shared icon image was not refused as such"

if [ $failures -ne 0 ]; then
  echo "packer_launcher_command: $failures failure(s)" >&2
  exit 1
fi
echo "packer_launcher_command: made, read, repeated, signed, run and refused"

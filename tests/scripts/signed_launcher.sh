#!/usr/bin/env bash
# A launcher signed with osslsigncode and a throw-away certificate: the
# signature verifies, and fails once a byte of the payload changes; qarvel-pack
# still lists and verifies the signed file; under Wine the signed launcher
# unpacks and runs its application.
#   signed_launcher.sh QARVEL_PACK ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$QARVEL_ROOT"
pack="$1"
echo_child="$2"
work="$3"
rm -rf "$work"
mkdir -p "$work/app/data" "$work/run"
work="$(realpath "$work")"


cp "$echo_child" "$work/app/main.exe"
printf 'signed and sealed\n' >"$work/app/data/note.txt"
"$root/scripts/build-launcher" --app-dir "$work/app" --main main.exe --target-spec '{PROGRAM_DIR}\cache' \
  --company "Qarvel Tests" --product Signed --version 1.0.0.0 \
  -o "$work/unsigned.exe" >/dev/null

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Qarvel throw-away signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "Qarvel signed test" \
  -in "$work/unsigned.exe" -out "$work/run/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/run/signed.exe" >"$work/verify.log" 2>&1 \
  || { cat "$work/verify.log" >&2; fail "the signature does not verify"; }
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/unsigned.exe" >/dev/null 2>&1; then
  fail "an unsigned launcher verifies"
fi

# The signature covers the payload: one changed byte in it breaks it.
python3 - "$work/run/signed.exe" "$work/tampered.exe" <<'PYTHON'
import sys
image = bytearray(open(sys.argv[1], "rb").read())
at = image.index(b"ZOQ\x28\xb5\x2f\xfd") + 64
image[at] ^= 0xFF
open(sys.argv[2], "wb").write(image)
PYTHON
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" >/dev/null 2>&1; then
  fail "a launcher with a changed payload byte still verifies"
fi

"$pack" verify "$work/run/signed.exe" >/dev/null || fail "qarvel-pack verify refuses the signed launcher"
[ "$("$pack" list "$work/run/signed.exe")" = "$("$pack" list "$work/unsigned.exe")" ] \
  || fail "qarvel-pack lists other entries in the signed launcher"

report="$(wine "$work/run/signed.exe" 2>/dev/null | tr -d '\r')" || fail "the signed launcher exited with $?"
expected="exe=Z:${work//\//\\}\\run\\cache\\main.exe"
grep -qxF -- "$expected" <<<"$report" || fail "expected $expected, got: $report"
cmp -s "$work/app/data/note.txt" "$work/run/cache/data/note.txt" || fail "the data file was not unpacked"
echo "signed_launcher: signed, verified, listed and run"

#!/usr/bin/env bash
# Writes the fuzzer's seed payloads: what qarvel-pack makes of small folders,
# and the malformed payloads of the launcher's must-fail tests.
#   make_seeds.sh QARVEL_PACK PAYLOAD_FORGE OUT_DIR
set -euo pipefail
pack="$1" forge="$2" out="$3"

rm -rf "$out/seeds" "$out/folders"
mkdir -p "$out/seeds"
work="$out/folders"

# Folders as applications look: a main program first, data, sub-folders,
# empty and non-ASCII names, repetitive and random-looking content. The
# random-looking bytes come from a fixed generator, so that every machine
# makes the same seeds and a fuzz run with a fixed seed the same findings.
mkdir -p "$work/app/lib/deep/er" "$work/app/données"
# qarvel-pack takes only a Windows program as the main executable.
program() { python3 "$(dirname "${BASH_SOURCE[0]}")/../tests/tools/windows_program.py" "$1"; }
program "$work/app/main.exe"
program "$work/app/lib/tool.exe"
printf 'hello\n' >"$work/app/readme.txt"
: >"$work/app/empty.txt"
printf 'x%.0s' $(seq 1 3000) >"$work/app/lib/repeat.txt"
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(1500).randbytes(1500))' \
  >"$work/app/lib/deep/er/random.bin"
printf 'é\n' >"$work/app/données/日本.txt"
mkdir -p "$work/single"
program "$work/single/only.exe"

seed=0
packed() {
  seed=$((seed + 1))
  "$pack" create --quiet -o "$out/seeds/packed-$seed.bin" "$@"
}
packed "$work/app" --main main.exe
packed "$work/app" --main main.exe --level 1 --window-log 10
packed "$work/app" --main lib/tool.exe --level 3
packed "$work/single" --main only.exe
packed "$work/single" --main only.exe --level 22

forged() {
  local name="$1"; shift
  "$forge" -o "$out/seeds/forged-$name.bin" "$@"
}
forged header_wrong_first_byte --header XOQ --entry main.exe=main
forged header_wrong_third_byte --header ZO0 --entry main.exe=main
forged payload_empty --truncate 0
forged frame_truncated_early --entry main.exe=main --truncate 20
forged frame_window_2_to_28 --raw-frame-header 28B52FFD0090 --entry main.exe=x
forged frame_names_dictionary --raw-frame-header 28B52FFD015807 --entry main.exe=x
forged raw_blocks --raw-frame-header 28B52FFD0058 --entry main.exe=x --entry b.txt=yz
forged frame_without_end_marker --entry main.exe=main --no-end-marker
forged entry_claims_more_than_frame --entry main.exe=main --entry data.txt=short --claim-size 100000
forged end_marker_only
forged empty_entry --entry main.exe=main --entry empty.txt=
forged empty_entry_plain_crc --entry main.exe=main --entry empty.txt= --plain-crc
forged wrong_checksum --entry main.exe=main --checksum 1234abcd
forged longest_name --entry main.exe=main --long-name 1023
forged name_too_long --entry main.exe=main --long-name 1024
forged small_window --window-log 10 --entry main.exe=main --entry "sub\\file.txt=content"
ls "$out/seeds" | wc -l

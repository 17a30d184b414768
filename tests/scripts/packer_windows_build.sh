#!/usr/bin/env bash
# The Windows qarvel-pack (under Wine) makes the same bytes as the Linux one:
# one folder with nested folders, non-ASCII names, an empty file and a file
# larger than one compression job, packed by both for several thread counts,
# payloads and launchers compared. Then what only the Windows build parses:
# --main with "\", drive-letter and "\"-separated paths, a relative folder.
#   packer_windows_build.sh LINUX_PACK WINDOWS_PACK_WRAPPER ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$QARVEL_ROOT"
linux_pack="$1"
windows_pack="$2"
echo_child="$3"
work="$4"
rm -rf "$work"
mkdir -p "$work/app/bin" "$work/app/données/日本語/深い" "$work/linux" "$work/windows"
work="$(realpath "$work")"


cp "$echo_child" "$work/app/bin/main.exe"
printf 'été\n' >"$work/app/données/été.txt"
printf 'deep\n' >"$work/app/données/日本語/深い/ファイル ✓.txt"
: >"$work/app/empty"
# Larger than one 32 MiB job of zstd's threads, so several workers share it.
python3 - "$work/app/bin/large.dat" <<'PY'
import random, sys
rng = random.Random(27)
words = [bytes(rng.randrange(97, 123) for _ in range(rng.randrange(3, 9))) for _ in range(4000)]
with open(sys.argv[1], "wb") as out:
    written = 0
    while written < 40 << 20:
        chunk = b" ".join(rng.choice(words) for _ in range(8192))
        out.write(chunk)
        written += len(chunk)
PY

fast=(--level 3)
for threads in 1 2 4; do
  echo "== create, --threads $threads"
  "$linux_pack" create "$work/app" --main bin/main.exe -o "$work/linux/app-$threads.qpk" \
    --threads "$threads" "${fast[@]}" -q
  "$windows_pack" create "$work/app" --main 'bin\main.exe' -o "$work/windows/app-$threads.qpk" \
    --threads "$threads" "${fast[@]}" -q
  cmp "$work/linux/app-$threads.qpk" "$work/windows/app-$threads.qpk" \
    || failed "the payloads of --threads $threads differ"
done
cmp "$work/linux/app-1.qpk" "$work/linux/app-4.qpk" || failed "the payload depends on the thread count"

identity=(--company "Ørn & Co" --product "Same Bytes" --version 1.2.3.4 --description "made twice")
for threads in 1 3; do
  echo "== launcher, --threads $threads"
  "$linux_pack" launcher "$work/app" --main bin/main.exe -o "$work/linux/tool-$threads/tool.exe" \
    --threads "$threads" "${fast[@]}" "${identity[@]}" -q
  "$windows_pack" launcher "$work/app" --main bin/main.exe -o "$work/windows/tool-$threads/tool.exe" \
    --threads "$threads" "${fast[@]}" "${identity[@]}" -q
  cmp "$work/linux/tool-$threads/tool.exe" "$work/windows/tool-$threads/tool.exe" \
    || failed "the launchers of --threads $threads differ"
done
echo "== launcher from a payload"
"$windows_pack" launcher --payload "$work/linux/app-2.qpk" -o "$work/windows/from-payload/tool.exe" \
  "${identity[@]}" -q
"$linux_pack" launcher --payload "$work/windows/app-2.qpk" -o "$work/linux/from-payload/tool.exe" \
  "${identity[@]}" -q
cmp "$work/linux/from-payload/tool.exe" "$work/windows/from-payload/tool.exe" \
  || failed "the launchers made from a payload differ"

echo "== list, verify and extract print the same"
for command in list verify; do
  expected="$("$linux_pack" "$command" "$work/linux/tool-1/tool.exe")"
  got="$("$windows_pack" "$command" "$work/linux/tool-1/tool.exe" | tr -d '\r')"
  [ "$expected" = "$got" ] || failed "$command prints otherwise: $got"
done
"$windows_pack" extract "$work/windows/app-1.qpk" -o "$work/extracted" -q
diff -r "$work/app" "$work/extracted" || failed "the Windows extract differs from the folder"

echo "== Windows spellings of the same folder"
wine_folder="Z:${work//\//\\}\\app"
"$windows_pack" create "$wine_folder" --main 'bin\main.exe' -o "Z:${work//\//\\}\\windows\\drive.qpk" \
  "${fast[@]}" -q
cmp "$work/linux/app-1.qpk" "$work/windows/drive.qpk" || failed "a drive-letter path packs otherwise"
(cd "$work" && "$windows_pack" create app --main ./bin/main.exe -o 'windows\relative.qpk' "${fast[@]}" -q)
cmp "$work/linux/app-1.qpk" "$work/windows/relative.qpk" || failed "a relative path packs otherwise"
"$windows_pack" create "\\\\?\\$wine_folder" --main bin/main.exe -o "$work/windows/long.qpk" \
  "${fast[@]}" -q
cmp "$work/linux/app-1.qpk" "$work/windows/long.qpk" || failed "a \\\\?\\ path packs otherwise"

echo "== refusals name what they refuse, in one line"
set +e
message="$("$windows_pack" create "$work/app" --main bin/missing.exe -o "$work/windows/x.qpk" 2>&1)"
code=$?
set -e
[ "$code" = 1 ] || failed "a missing main executable exits with $code"
[ "$(printf '%s\n' "$message" | wc -l)" = 1 ] || failed "a missing main executable: $message"
[ ! -e "$work/windows/x.qpk" ] || failed "a refused pack left its output"
ls "$work/windows" | grep -q partial && failed "a partial file stayed behind"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "the Windows and the Linux qarvel-pack agree"

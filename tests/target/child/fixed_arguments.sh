#!/usr/bin/env bash
# Fixed arguments and variables for the child (--arg, --env), black-box
# under Wine: launchers made by qarvel-pack around the echo child, which
# reports the arguments and variables it received.
#   fixed_arguments.sh QARVEL_PACK ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
qarvel_without_address_randomization "$@"
pack="$1" child="$2"
work="$(fresh_folder "$3")"
mkdir -p "$work/app"
cp "$child" "$work/app/main.exe"

# make_launcher OUT [OPTION...]: the launcher, its cache in a folder with a
# space beside it (or in $spec); qarvel-pack's lines in $work/OUT.err.
spec='{PROGRAM_DIR}\cache dir'
make_launcher() {
  local out="$1"; shift
  "$pack" launcher "$work/app" --main main.exe --target-spec "$spec" \
    -o "$work/$out" --quiet "$@" 2>"$work/$out.err"
}
# launch LAUNCHER [ARG...]: sets status, out and err.
launch() {
  local launcher="$1"; shift
  status=0
  wine "$work/$launcher" "$@" >"$work/out" 2>"$work/err" || status=$?
  out="$(tr -d '\r' <"$work/out")" err="$(tr -d '\r' <"$work/err")"
}
received_arguments() { sed -n 's/^arg=//p' <<<"$out" | tail -n +2; }
app_dir() { sed -n 's/^exe=//p' <<<"$out" | sed 's/\\[^\\]*$//'; }

# Quoting, tokens, braces that are no token, and the user's own after them.
fixed=(
  '{APP_DIR}\app\main.js'
  'two words'
  'say "hi" \"there\"'
  'C:\dir with space\'
  'tail\\'
  ''
  '--no-deprecation'
  '{"json": {"a": [1, 2]}, "b": "{x}"}'
  '{app_dir}'
  'x{NO_SUCH_TOKEN}y'
  '{APP_DIR'
)
options=()
for argument in "${fixed[@]}"; do options+=("--arg=$argument"); done
export MY_REPLACED=inherited
make_launcher fixed.exe "${options[@]}" --env 'MY_APP={APP_DIR}\lib' \
  --env 'MY_REPLACED=given' --env 'MY_LIST=%PATH%;extra' \
  || fail "qarvel-pack refused the fixed arguments: $(cat "$work/fixed.exe.err")"
grep -q "{NO_SUCH_TOKEN}, which is no token" "$work/fixed.exe.err" \
  || failed "no warning of {NO_SUCH_TOKEN}: $(cat "$work/fixed.exe.err")"
grep -q "{x}" "$work/fixed.exe.err" && failed "a warning of {x}, which looks like no token"
launch fixed.exe 'user one' '' 'user\'
[ "$status" -eq 0 ] || fail "the launcher failed ($status): $out $err"
dir="$(app_dir)"
case "$dir" in *'\cache dir') ;; *) failed "the child ran from '$dir'" ;; esac
expected=("$dir\\app\\main.js" "${fixed[@]:1:7}" "$dir" 'x{NO_SUCH_TOKEN}y' '{APP_DIR'
  'user one' '' 'user\')
mapfile -t got < <(received_arguments)
[ "${#got[@]}" -eq "${#expected[@]}" ] \
  || failed "the child received ${#got[@]} arguments, not ${#expected[@]}: $out"
for i in "${!expected[@]}"; do
  [ "${got[$i]-}" = "${expected[$i]}" ] \
    || failed "argument $((i + 1)): got [${got[$i]-}], not [${expected[$i]}]"
done
for line in "MY_APP=$dir\\lib" 'MY_REPLACED=given' 'MY_LIST=%PATH%;extra'; do
  grep -qxF "env=$line" <<<"$out" || failed "the child did not receive $line"
done
unset MY_REPLACED

# list shows them as the child's command line holds them.
listed="$("$pack" list "$work/fixed.exe")"
for line in 'argument  "two words"' 'argument  ""' 'argument  --no-deprecation' \
  'variable  MY_APP={APP_DIR}\lib'; do
  grep -qxF "$line" <<<"$listed" || failed "list does not show [$line]: $listed"
done

# A TMP for the child does not move a cache folder under {TEMP}.
spec='{TEMP}\qarvel-fixed-arguments'
make_launcher temp.exe --env 'TMP={APP_DIR}\tmp' --env 'TEMP={APP_DIR}\tmp' \
  || fail "$(cat "$work/temp.exe.err")"
spec='{PROGRAM_DIR}\cache dir'
launch temp.exe
[ "$status" -eq 0 ] || fail "the {TEMP} launcher failed ($status): $err"
dir="$(app_dir)"
case "$dir" in *'\qarvel-fixed-arguments') ;; *) failed "the {TEMP} child ran from '$dir'" ;; esac
grep -qxF "env=TMP=$dir\\tmp" <<<"$out" || failed "the child's TMP is not $dir\\tmp: $out"
launch temp.exe
case "$(app_dir)" in "$dir") ;; *) failed "a second launch moved to '$(app_dir)'" ;; esac

# Refusals: names the launcher sets itself, counts and lengths (each token
# counted at 4,095 units), a variable without a value.
refused() {
  local why="$1" expect="$2"; shift 2
  if make_launcher refused.exe "$@"; then failed "$why: accepted"; return; fi
  grep -q -- "$expect" "$work/refused.exe.err" \
    || failed "$why: said '$(cat "$work/refused.exe.err")'"
}
refused "a QARVEL_ name" "the launcher sets or clears" --env 'qarvel_onefile_parent=1'
refused "a Qarvel_ name" "the launcher sets or clears" --env 'Qarvel_Anything=1'
refused "a name twice" "given twice" --env 'A=1' --env 'a=2'
refused "no value" "gives no value" --env 'JUST_A_NAME'
refused "no name" "names no variable" --env '=1'
many=()
for _ in $(seq 1025); do many+=(--arg=x); done
refused "1,025 arguments" "at most 1024" "${many[@]}"
tokens=()
for _ in 1 2 3 4 5 6 7; do tokens+=(--arg='{APP_DIR}'); done
refused "seven tokens" "each token counted at 4095" "${tokens[@]}"
make_launcher six.exe "${tokens[@]:1}" || failed "six tokens refused: $(cat "$work/six.exe.err")"
refused "a long argument" "at most 28668" --arg="$(printf 'x%.0s' $(seq 28668))"
make_launcher long.exe --arg="$(printf 'x%.0s' $(seq 28667))" \
  || failed "an argument of 28,667 units refused: $(cat "$work/long.exe.err")"

# The launcher's own check of the real length: fixed and user arguments
# together, with a margin below Wine's cut at 32,766 units.
make_launcher fixed20k.exe --arg="$(printf 'f%.0s' $(seq 20000))" || fail "$(cat "$work/fixed20k.exe.err")"
launch fixed20k.exe "$(printf 'u%.0s' $(seq 10000))"
[ "$status" -eq 0 ] || failed "30,000 units together: exit code $status: $err"
[ "$(received_arguments | awk '{ print length($0) }' | tr '\n' ' ')" = "20000 10000 " ] \
  || failed "30,000 units together did not reach the child whole"
launch fixed20k.exe "$(printf 'u%.0s' $(seq 13000))"
[ "$status" -eq 2 ] || failed "33,000 units together: exit code $status, not 2"
[ "$err" = "Error, the child's command line would be longer than the 32766 characters Windows starts a program with; give fewer or shorter arguments." ] \
  || failed "33,000 units together: said '$err'"
grep -q '^arg=' <<<"$out" && failed "33,000 units together: the child ran"

finish "fixed arguments and variables: every case as expected"

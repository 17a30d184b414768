#!/usr/bin/env bash
# Several launchers of one build started together on one empty cache, for a
# number of rounds. Every launch must run the child, every child must read
# the packed content of every file, and the cache must end up equal to the
# packed folder. Another launch at work is never a reason to fail.
#   concurrent_first_launch.sh LAUNCHER APP_DIR WORK_DIR [ROUNDS] [LAUNCHES] [MODE]
# MODE "spellings" starts the launches of a round by three spellings of one
# folder: as it is, with its non-ASCII letter in the other case, and through
# a second drive letter. MODE "held:LOCK_HOLDER" does the same while another
# process, which took the cache's lock first by the plain spelling, holds it
# with main.exe half-written: no launch may end before it lets go.
# Prints one line per round and a summary with the figures.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
qarvel_without_address_randomization "$@"
# Wine's own start-up failures are named in the launch's error output.
export WINEDEBUG=-all,err+virtual
launcher="$1" app="$2" work="$3" rounds="${4:-5}" launches="${5:-8}" mode="${6:-}"

# A fault in a round is counted and the rounds go on, so the figures show
# how often it happens.

rm -rf "$work"
mkdir -p "$work"
work="$(realpath "$work")"
wine_work="Z:${work//\//\\}"

drive=""
if [ -n "$mode" ]; then
  # A drive letter of this prefix's own, free and removed at the end.
  for letter in q r s t u v w x y; do
    if [ ! -e "$WINEPREFIX/dosdevices/$letter:" ]; then drive="$letter:"; break; fi
  done
  [ -n "$drive" ] || fail "no free drive letter in $WINEPREFIX/dosdevices"
  ln -s "$work" "$WINEPREFIX/dosdevices/$drive"
  trap 'rm -f "$WINEPREFIX/dosdevices/$drive"' EXIT
fi

# What a child should read: one launch alone fills a cache, which must equal
# the packed folder; its child's view of the files is the reference.
mkdir -p "$work/alone"
cp "$launcher" "$work/alone/launcher.exe"
ECHO_CHILD_LIST_FILES=1 wine "$work/alone/launcher.exe" >"$work/alone/out" 2>/dev/null || fail "a launch alone failed"
diff -r --exclude=.qarvel-lock "$app" "$work/alone/cache" >/dev/null || fail "a launch alone left a cache that differs from the folder"
# The lock file, which stays between launches, is no packed file.
tr -d '\r' <"$work/alone/out" | sed -n '/^file=\.qarvel-lock /d; s/^file=//p' | LC_ALL=C sort >"$work/reference"
[ "$(cut -d' ' -f1 "$work/reference")" = "$(cd "$app" && find . -type f -printf '%P\n' | LC_ALL=C sort)" ] \
  || fail "the child of a launch alone saw other files than the packed ones"

# The launcher's fatal messages (standard output or standard error).
known_failure='^Error, (failed to open .* for writing\.|couldn'"'"'t unpack file to target path\. \(\[Error [0-9]+\].*\)|couldn'"'"'t launch child \(\[Error [0-9]+\].*\)|couldn'"'"'t decode attached data\.|couldn'"'"'t allocate memory\.)$'

total_ran=0 total_failed=0
declare -A messages=()
for round in $(seq 1 "$rounds"); do
  name="round-$round"
  [ -n "$mode" ] && name="round-$round-Émile"
  dir="$work/$name"
  mkdir -p "$dir"
  cp "$launcher" "$dir/launcher.exe"
  holder_pid=""
  if [[ "$mode" == held:* ]]; then
    mkdir -p "$dir/cache"
    wine "${mode#held:}" "$wine_work\\$name\\cache" "$wine_work\\$name\\held" "$wine_work\\$name\\release" \
      "Z:${app//\//\\}\\main.exe" main.exe >"$dir/holder-out" 2>&1 &
    holder_pid=$!
    qarvel_wait_for_file "$dir/held" "$holder_pid" || fail "round $round: the lock holder did not take the lock: $(cat "$dir/holder-out")"
  fi
  pids=()
  for i in $(seq 1 "$launches"); do
    exe="$dir/launcher.exe"
    if [ -n "$mode" ]; then
      # A Linux path would be shown through the new drive too.
      case $((i % 3)) in
        0) exe="$wine_work\\$name\\launcher.exe" ;;
        1) exe="$wine_work\\round-$round-émile\\launcher.exe" ;;
        2) exe="${drive^^}\\$name\\launcher.exe" ;;
      esac
    fi
    ECHO_CHILD_LIST_FILES=1 wine "$exe" "launch-$i" >"$dir/out-$i" 2>"$dir/err-$i" &
    pids+=($!)
  done
  if [ -n "$holder_pid" ]; then
    # Time for the launches to reach the lock; under load some may not have,
    # and the round then shows less, but never fails for it.
    sleep 5
    for i in $(seq 1 "$launches"); do
      kill -0 "${pids[$((i - 1))]}" 2>/dev/null \
        || failed "round $round, launch $i: ended while another process held the lock"
    done
    : >"$dir/release"
    holder_status=0
    wait "$holder_pid" || holder_status=$?
    [ "$holder_status" -eq 0 ] || failed "round $round: the lock holder exited with $holder_status"
  fi
  ran=0 failed=0
  for i in $(seq 1 "$launches"); do
    status=0
    wait "${pids[$((i - 1))]}" || status=$?
    tr -d '\r' <"$dir/out-$i" >"$dir/out-$i.txt"
    tr -d '\r' <"$dir/err-$i" >"$dir/err-$i.txt"
    if [ "$status" -eq 0 ] && grep -qx "arg=launch-$i" "$dir/out-$i.txt"; then
      ran=$((ran + 1))
      # The child's view of every file, taken when it ran.
      # Partial files of launches still writing may show beside them.
      tr -d '\r' <"$dir/out-$i" | sed -n 's/^file=//p' | LC_ALL=C sort \
        | awk 'NR == FNR { packed[$1] = 1; next } $1 in packed' "$work/reference" - >"$dir/view-$i"
      if ! cmp -s "$work/reference" "$dir/view-$i"; then
        { diff "$work/reference" "$dir/view-$i" || true; } | head -5 >&2
        failed "round $round, launch $i: the child read files whose content was not the packed one"
      fi
    elif [ "$status" -eq 2 ] && message="$(grep -hE "$known_failure" "$dir/out-$i.txt" "$dir/err-$i.txt" | head -n1)"; then
      failed=$((failed + 1))
      # Counted by message for the figures; the same message for every
      # round: the path from the cache on.
      message="$(sed -E 's/'"'"'[^'"'"']*\\cache\\/'"'"'cache\\/' <<<"$message")"
      messages["$message"]=$((${messages["$message"]:-0} + 1))
      failed "round $round, launch $i: the child did not run: $message"
    else
      failed=$((failed + 1))
      failed "round $round, launch $i: exit status $status: $(head -c 400 "$dir/out-$i.txt" "$dir/err-$i.txt")"
    fi
    # Wine fails so for the launcher (status 1, silent) or its child (error 1359).
    if grep -q "failed to map the shared user data" "$dir/err-$i.txt"; then
      echo "  (Wine could not start a program, before any of its code ran; address randomization causes this: see qarvel_without_address_randomization in scripts/lib/setup.sh)" >&2
    fi
  done
  same="identical to"
  diff -r --exclude=.qarvel-lock "$app" "$dir/cache" >/dev/null || { same="DIFFERENT from"; failed "round $round: the cache differs from the packed folder"; }
  echo "round $round: $ran of $launches launches ran the child, $failed did not; cache $same the folder"
  total_ran=$((total_ran + ran)) total_failed=$((total_failed + failed))
  [ "$same" = "DIFFERENT from" ] || rm -rf "$dir/cache"
done
for message in "${!messages[@]}"; do
  echo "  ${messages[$message]} x $message"
done
echo "concurrent_first_launch: $rounds rounds of $launches launches: $total_ran ran the child, $total_failed ended without; $failures faults"
[ "$failures" -eq 0 ]

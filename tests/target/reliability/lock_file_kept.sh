#!/usr/bin/env bash
# The cache lock file stays, hidden and empty, between launches, and a
# handle that anyone who may list the folder can open on it (attributes
# alone, sharing everything) holds no launch up. A lock holder takes the
# lock with main.exe half-written; another process opens the lock file for
# its attributes; the holder lets go; launches that must write then all
# finish, while that handle is still open and after it closes.
#   lock_file_kept.sh LAUNCHER APP_DIR WORK_DIR LOCK_HOLDER PROBE [LAUNCHES]
# Every process runs under a time limit: a launch that waits for good fails
# the test instead of blocking it.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
qarvel_without_address_randomization "$@"
launcher="$1" app="$2" work="$3" holder="$4" probe="$5" launches="${6:-4}"
limit_s=120

wine_path() { local path="$1"; echo "Z:${path//\//\\}"; }
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT

rm -rf "$work"
mkdir -p "$work/cache"
work="$(realpath "$work")"
cp "$launcher" "$work/launcher.exe"
lock_file="$(wine_path "$work/cache/.qarvel-lock")"

# What the lock file looks like from outside, through no handle.
lock_state() { timeout "$limit_s" wine "$probe" show "$lock_file" | tr -d '\r'; }
expect_kept() {
  local state
  state="$(lock_state)"
  [ "$state" = "hidden size=0" ] || fail "$1: the lock file is '$state', not hidden and empty"
}
# Waits for a background process, at most until its time limit ends it.
finish() {
  local pid="$1" what="$2" status=0
  wait "$pid" || status=$?
  [ "$status" -ne 124 ] || fail "$what did not end within $limit_s s"
  return "$status"
}
launch_all() {
  local what="$1" i status
  local launch_pids=()
  for i in $(seq 1 "$launches"); do
    timeout "$limit_s" wine "$work/launcher.exe" "$what-$i" >"$work/$what-out-$i" 2>"$work/$what-err-$i" &
    launch_pids+=($!)
  done
  for i in $(seq 1 "$launches"); do
    status=0
    finish "${launch_pids[$((i - 1))]}" "$what launch $i" || status=$?
    [ "$status" -eq 0 ] || fail "$what launch $i exited with $status: $(head -c 400 "$work/$what-err-$i")"
    tr -d '\r' <"$work/$what-out-$i" | grep -qx "arg=$what-$i" || fail "$what launch $i: the child did not run"
  done
  diff -r --exclude=.qarvel-lock "$app" "$work/cache" >&2 || fail "$what: the cache differs from the packed folder"
}

timeout "$limit_s" wine "$holder" "$(wine_path "$work/cache")" "$(wine_path "$work/held")" \
  "$(wine_path "$work/release-lock")" "$(wine_path "$app/main.exe")" main.exe >"$work/holder-out" 2>&1 &
holder_pid=$!
pids+=("$holder_pid")
qarvel_wait_for_file "$work/held" "$holder_pid" || fail "the lock holder did not take the lock: $(cat "$work/holder-out")"
expect_kept "while the lock is held"

timeout "$limit_s" wine "$probe" hold "$lock_file" "$(wine_path "$work/opened")" \
  "$(wine_path "$work/release-handle")" >"$work/probe-out" 2>&1 &
probe_pid=$!
pids+=("$probe_pid")
qarvel_wait_for_file "$work/opened" "$probe_pid" || fail "the lock file could not be opened for its attributes: $(cat "$work/probe-out")"

: >"$work/release-lock"
finish "$holder_pid" "the lock holder" || fail "the lock holder exited with $?: $(cat "$work/holder-out")"
expect_kept "released, with a handle on it still open"
launch_all held-open
expect_kept "after launches, with a handle on it still open"

: >"$work/release-handle"
finish "$probe_pid" "the handle's holder" || fail "the handle's holder exited with $?: $(cat "$work/probe-out")"
expect_kept "after every handle closed"

# Once more with nothing else open: launches that must write again.
rm "$work/cache/main.exe"
launch_all alone
expect_kept "after the last launches"
echo "lock_file_kept: $((2 * launches)) launches finished; the lock file stayed hidden and empty"

#!/usr/bin/env bash
# Launches killed (SIGKILL to the Wine process) at points spread over the
# time a cold launch takes: odd points on an empty cache, even points on a
# stale one, where every file is replaced through a partial file. After each
# kill the next launch must run the child and leave a cache byte-identical
# to the packed folder. With LOCK_HOLDER, then, another process that holds
# the cache's lock with a file half-written is killed while a launch waits
# for it, which must then heal the cache.
#   kill_during_unpack.sh LAUNCHER APP_DIR WORK_DIR [POINTS] [LOCK_HOLDER]
# Prints one line per kill point and a summary with the figures.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
launcher="$1" app="$2" work="$3" points="${4:-20}" holder="${5:-}"

now_us() { echo $(($(date +%s%N) / 1000)); }

rm -rf "$work"
mkdir -p "$work"
work="$(realpath "$work")"
packed_files="$(find "$app" -type f | wc -l)"
wine_path() { local path="$1"; echo "Z:${path//\//\\}"; }

# A stale cache: every packed file there, each with one byte more.
cp -r "$app" "$work/stale"
find "$work/stale" -type f -exec sh -c 'for f; do printf x >>"$f"; done' _ {} +

# A folder of its own with a launcher whose file name is unique to it.
place() {
  rm -rf "$work/$1"
  mkdir -p "$work/$1"
  cp "$launcher" "$work/$1/launcher-$1.exe"
  echo "$work/$1/launcher-$1.exe"
}

# The launch after a kill, or a cold launch: it runs the child and leaves
# the cache equal to the folder. Sets launch_us to the launch's duration.
launch_completes() {
  local exe="$1" what="$2" out start
  start="$(now_us)"
  out="$(wine "$exe" "after-kill" 2>/dev/null | tr -d '\r')" || fail "$what: the launch exited with $?"
  launch_us=$(($(now_us) - start))
  grep -qx 'arg=after-kill' <<<"$out" || fail "$what: the child did not run: $out"
  diff -r --exclude=.qarvel-lock "$app" "$(dirname "$exe")/cache" >&2 || fail "$what: the cache differs from the packed folder"
}

# The cold launch time, the median of three, sets where the kills land.
times=()
for i in 1 2 3; do
  exe="$(place "cold-$i")"
  launch_completes "$exe" "cold launch $i"
  times+=("$launch_us")
done
cold_us="$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)"
echo "cold launch: $((cold_us / 1000)) ms (median of three)"

# The kills are spread past the measured time, since a launch under load
# may take longer; a kill that comes too late is taken again, earlier.
mid_points=0 differing_points=0 partial_points=0
for point in $(seq 1 "$points"); do
  exe="$(place "kill-$point")"
  cache="$(dirname "$exe")/cache"
  delay_us=$((cold_us * 3 * (2 * point - 1) / (4 * points)))
  stale=$((point % 2 == 0))
  for attempt in 1 2 3 4 5 6 7 8; do
    rm -rf "$cache"
    [ "$stale" -eq 0 ] || cp -r "$work/stale" "$cache"
    wine "$exe" >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf '%d.%06d' $((delay_us / 1000000)) $((delay_us % 1000000)))"
    killed=0
    if grep -q "launcher-kill-$point.exe" "/proc/$pid/cmdline" 2>/dev/null && kill -KILL "$pid" 2>/dev/null; then
      killed=1
    fi
    wait "$pid" 2>/dev/null || true
    # A launch killed while it started its child can leave the child stuck
    # in Wine's start-up for good, which keeps the Wine session, and every
    # test whose output a Wine system process holds, from ending.
    pkill -KILL -f "launcher-kill-$point\.exe" 2>/dev/null || true
    [ "$killed" -eq 1 ] && break
    delay_us=$((delay_us * 2 / 3))
  done
  [ "$killed" -eq 1 ] || fail "point $point: the launch ended before every attempt to kill it"

  # What the kill left: entry files in place, those whose content is not
  # the packed one, and partial files beside them.
  present=0 differing=0 partial=0
  if [ -d "$cache" ]; then
    while IFS= read -r -d '' file; do
      relative="${file#"$cache"/}"
      if [ -f "$app/$relative" ]; then
        present=$((present + 1))
        cmp -s "$file" "$app/$relative" || differing=$((differing + 1))
      else
        partial=$((partial + 1))
      fi
    done < <(find "$cache" -type f -print0)
  fi
  [ "$present" -gt 0 ] && [ "$present" -lt "$packed_files" ] && mid_points=$((mid_points + 1))
  [ "$differing" -gt 0 ] && differing_points=$((differing_points + 1))
  [ "$partial" -gt 0 ] && partial_points=$((partial_points + 1))
  launch_completes "$exe" "point $point"
  kind=cold
  [ "$stale" -eq 0 ] || kind=stale
  printf 'point %2d (%s): killed at %4d ms with %4d of %d files in place, %d of them differing, %d other files; next launch ran the child, cache identical\n' \
    "$point" "$kind" $((delay_us / 1000)) "$present" "$packed_files" "$differing" "$partial"
  rm -rf "$(dirname "$exe")"
done
echo "kill_during_unpack: $points kill points, $mid_points with the cache part-written ($differing_points with an entry file differing from the packed one, $partial_points with a partial file beside them); every next launch ran the child and left the cache identical to the folder"

[ -n "$holder" ] || exit 0
# A lock holder killed while a launch waits for it. The launch cannot end
# while the lock is held (main.exe is half-written); a launch that does
# ended without waiting.
holder_rounds=3
for round in $(seq 1 "$holder_rounds"); do
  exe="$(place "held-$round")"
  folder="$(dirname "$exe")"
  mkdir -p "$folder/cache"
  wine "$holder" "$(wine_path "$folder/cache")" "$(wine_path "$folder/held")" "$(wine_path "$folder/never")" \
    "$(wine_path "$app/main.exe")" main.exe >"$folder/holder-out" 2>&1 &
  holder_pid=$!
  qarvel_wait_for_file "$folder/held" "$holder_pid" || fail "holder round $round: the lock holder did not take the lock: $(cat "$folder/holder-out")"
  wine "$exe" after-kill >"$folder/out" 2>"$folder/err" &
  waiter_pid=$!
  # Time for the launch to reach the lock; under load it may not have, and
  # the round then shows less, but never fails for it.
  sleep 2
  kill -0 "$waiter_pid" 2>/dev/null \
    || fail "holder round $round: the launch ended while another process held the lock: $(tr -d '\r' <"$folder/out" "$folder/err" | head -c 400)"
  kill -KILL "$holder_pid"
  wait "$holder_pid" 2>/dev/null || true
  status=0
  wait "$waiter_pid" || status=$?
  out="$(tr -d '\r' <"$folder/out")"
  [ "$status" -eq 0 ] || fail "holder round $round: the waiting launch exited with $status: $out $(tr -d '\r' <"$folder/err")"
  grep -qx 'arg=after-kill' <<<"$out" || fail "holder round $round: the child did not run: $out"
  diff -r --exclude=.qarvel-lock "$app" "$folder/cache" >&2 || fail "holder round $round: the cache differs from the packed folder"
  echo "holder round $round: the lock holder was killed with main.exe half-written while a launch waited; the launch ran the child, cache identical"
  rm -rf "$folder"
done
echo "kill_during_unpack: $holder_rounds lock holders killed while a launch waited; every waiting launch healed the cache"

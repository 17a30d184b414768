#!/usr/bin/env bash
# Ctrl+C while the child runs. Wine hands a SIGINT sent to a program's
# process to its console control handlers as CTRL_C_EVENT, so the test sends
# one to the launcher alone: the child, a process of its own, gets nothing.
# A child still running 5000 ms later is terminated and the launcher ends;
# a child that ends sooner ends on its own, with its own exit code.
#
#   ctrl_c_test.sh LAUNCHER [WINE]
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

launcher="$1"
wine="${2:-wine}"
work="$(mktemp -d)"
tag="qarvel-ctrl-c-$$"

# Processes this test started and that may still run when it stops early.
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

windows_path() {
    local path="${1//\//\\}"
    printf 'Z:%s' "$path"
}

# run_case NAME SLEEP_MS EXIT_CODE: runs a launcher whose child writes its
# report, sleeps and exits; interrupts the launcher once the report is there.
# Sets seconds (from the signal to the launcher's end), status and report.
run_case() {
    local name="$1" sleep_ms="$2" exit_code="$3"
    local dir="$work/$name"
    local exe="$tag-$name.exe"
    mkdir -p "$dir"
    cp "$launcher" "$dir/$exe"
    ECHO_CHILD_SLEEP_MS="$sleep_ms" ECHO_CHILD_EXIT_CODE="$exit_code" \
        ECHO_CHILD_REPORT="$(windows_path "$dir/report.txt")" \
        "$wine" "$dir/$exe" </dev/null >"$dir/out" 2>"$dir/err" &
    local job=$!
    started+=("$job")

    # The child writes its report before it sleeps.
    local i
    for ((i = 0; i < 600; i++)); do
        [ -s "$dir/report.txt" ] && break
        sleep 0.1
    done
    if [ ! -s "$dir/report.txt" ]; then
        kill -0 "$job" 2>/dev/null || fail "$name: the launcher ended before its child reported"
        fail "$name: the child never reported"
    fi
    # The launcher puts the child's handle in its slot right after the start.
    sleep 0.3
    local child
    child="$(pgrep -f "^Z:.*$exe")" || fail "$name: no child process"
    started+=("$child")

    # The launcher's own process runs under its Linux file name; the child's
    # shows the Windows command line the launcher gave it.
    local pid
    pid="$(pgrep -f "^$dir/$exe")" || fail "$name: no launcher process"

    local start end
    start="$(date +%s%N)"
    kill -INT "$pid"
    status=0
    wait "$job" || status=$?
    end="$(date +%s%N)"
    seconds="$(awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }')"
    report="$(cat "$dir/report.txt")"
    echo "$name: launcher ended ${seconds} s after SIGINT, status $status"
    # Wine takes a moment to remove a terminated process.
    for ((i = 0; i < 50; i++)); do
        kill -0 "$child" 2>/dev/null || return 0
        sleep 0.1
    done
    fail "$name: the child outlived the launcher"
}

# Generous bounds: the grace period is 5 s, the long child sleeps 60 s.
run_case terminated 60000 7
grep -q '^finished=' <<<"$report" && fail "terminated: the child ran to its end"
awk -v s="$seconds" 'BEGIN { exit !(s >= 4.5 && s < 30) }' ||
    fail "terminated: ended after $seconds s, not after the grace period"

run_case ends_sooner 1500 7
grep -q '^finished=7$' <<<"$report" || fail "ends_sooner: the child did not end on its own with 7"
awk -v s="$seconds" 'BEGIN { exit !(s < 4.5) }' ||
    fail "ends_sooner: ended after $seconds s, as if the child had been made to wait"

echo "PASS"

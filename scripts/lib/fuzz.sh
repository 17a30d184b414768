# The payload fuzzer: its build, the replay of the inputs that once found
# something, a fixed run for scripts/test and an open-ended one for
# scripts/reliability. Source after setup.sh and build.sh; the host build
# (with tests) must be there for the seed payloads.

QARVEL_FUZZ_BUILD="$QARVEL_BUILD/fuzz"
QARVEL_FUZZ_REGRESSIONS="$QARVEL_ROOT/fuzz/regressions"
# The runs of scripts/test's fixed fuzzing: about a minute here.
QARVEL_FUZZ_CHECK_RUNS=60000

qarvel_build_fuzz() {
  CC=clang CXX=clang++ cmake --no-warn-unused-cli -S "$QARVEL_ROOT/fuzz" -B "$QARVEL_FUZZ_BUILD" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARVEL_ZSTD_SOURCE="$QARVEL_ZSTD_SOURCE" >/dev/null
  cmake --build "$QARVEL_FUZZ_BUILD" -j "$QARVEL_JOBS" "$@"
}

qarvel_make_fuzz_seeds() {
  "$QARVEL_ROOT/fuzz/make_seeds.sh" "$QARVEL_BUILD/host/packer/qarvel-pack" \
    "$QARVEL_BUILD/host/tests/tools/payload-forge" "$1" >/dev/null
}

# Runs each input of fuzz/regressions once, as it is; fails on any finding.
qarvel_replay_fuzz_regressions() {
  local log="$QARVEL_FUZZ_BUILD/regressions.log" inputs=("$QARVEL_FUZZ_REGRESSIONS"/*)
  if "$QARVEL_FUZZ_BUILD/payload_fuzzer" "${inputs[@]}" >"$log" 2>&1; then
    echo "fuzz: replayed ${#inputs[@]} regression inputs: no finding"
  else
    grep -E 'ERROR|SUMMARY|finding|runtime error|Running:' "$log" | head -n 20 >&2
    echo "fuzz: FINDING in a regression input; full log $log" >&2
    return 1
  fi
}

# Options of every fuzzing run. A 2 GiB memory limit leaves room for the
# decoder's largest window (128 MiB) under the sanitizers; -max_len keeps
# inputs to what the reader's paths need.
qarvel_fuzz_options=(-timeout=30 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1)

# Prints the figures of a run from its log; on a finding, its report, and
# fails.
qarvel_fuzz_verdict() {
  local log="$1" status="$2" artifacts="$3" what="$4" execs rate last
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  last="$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -n1)"
  echo "fuzz: $what, ${execs:-?} executions, ${rate:-?} exec/s"
  echo "fuzz: edges covered (reader, entry stream and decoder): $(sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1, features \2, corpus \3 inputs/p' <<<"$last")"
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|finding|unexpected|Test unit written' "$log" | head -n 20 >&2
    echo "fuzz: FINDING (exit $status); full log $log; replay: $QARVEL_FUZZ_BUILD/payload_fuzzer $artifacts/<file>" >&2
    return 1
  fi
  echo "fuzz: no crash, hang, leak, sanitizer report or unexpected failure"
}

# Line coverage of the reader and the entry stream over the given inputs.
qarvel_fuzz_line_coverage() {
  local dir="$1"
  shift
  rm -f "$dir"/coverage-*.profraw
  LLVM_PROFILE_FILE="$dir/coverage-%p.profraw" "$QARVEL_FUZZ_BUILD/payload_fuzzer_coverage" -runs=0 \
    "$@" >/dev/null 2>&1
  llvm-profdata merge -sparse "$dir"/coverage-*.profraw -o "$dir/coverage.profdata"
  llvm-cov report "$QARVEL_FUZZ_BUILD/payload_fuzzer_coverage" -instr-profile="$dir/coverage.profdata" \
    "$QARVEL_ROOT/payload/payload_reader.cpp" "$QARVEL_ROOT/payload/entry_header.h" \
    "$QARVEL_ROOT/packer/payload/entry_stream.cpp" \
    | awk 'NR > 2 && NF >= 10 && $1 != "TOTAL" { printf "fuzz: line coverage of %s: %s (%d of %d lines)\n", $1, $10, $8 - $9, $8 }'
}

# The fuzz step of scripts/test: the same verdict and figures for the same
# tree on any machine. A fixed seed and number of runs, seeds without random
# bytes, given in a sorted list (a folder would be read in the file system's
# order), a corpus of its own that starts empty (never the one
# scripts/reliability keeps), and the same arguments, environment and
# working folder text wherever the tree is, so that nothing the fuzzer
# sees depends on where or when it runs.
qarvel_check_fuzz() {
  local runs="$1" dir="$QARVEL_BUILD/fuzz-check" status=0
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/regressions"
  qarvel_make_fuzz_seeds "$dir" || return 1
  cp "$QARVEL_FUZZ_REGRESSIONS"/* "$dir/regressions/"
  cp "$QARVEL_ROOT/fuzz/payload.dict" "$dir/"
  (cd "$dir" && LC_ALL=C ls -1 seeds/* regressions/* | paste -sd, >seed_inputs.txt)
  (cd "$dir" && env -i PATH=/usr/bin:/bin ../fuzz/payload_fuzzer -seed=1 -runs="$runs" -reload=0 \
    "${qarvel_fuzz_options[@]}" -dict=payload.dict -artifact_prefix=artifacts/ -seed_inputs=@seed_inputs.txt \
    corpus) >"$dir/fuzz.log" 2>&1 || status=$?
  qarvel_fuzz_verdict "$dir/fuzz.log" "$status" "$dir/artifacts" "$runs runs from seed 1" || return 1
  qarvel_fuzz_line_coverage "$dir" "$dir/corpus" "$dir/seeds" "$dir/regressions"
}

# Fuzzes for the given seconds from an unfixed seed, keeping the corpus
# between runs in the build folder, then measures the line coverage the
# corpus reaches. Prints the figures; fails when the fuzzer reports a
# finding.
qarvel_run_fuzz() {
  local seconds="$1" dir="$QARVEL_FUZZ_BUILD" status=0
  qarvel_make_fuzz_seeds "$dir" || return 1
  mkdir -p "$dir/corpus" "$dir/artifacts"
  "$dir/payload_fuzzer" -max_total_time="$seconds" "${qarvel_fuzz_options[@]}" \
    -dict="$QARVEL_ROOT/fuzz/payload.dict" -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" "$dir/seeds" "$QARVEL_FUZZ_REGRESSIONS" >"$dir/fuzz.log" 2>&1 || status=$?
  qarvel_fuzz_verdict "$dir/fuzz.log" "$status" "$dir/artifacts" "$seconds s" || return 1
  qarvel_fuzz_line_coverage "$dir" "$dir/corpus" "$dir/seeds" "$QARVEL_FUZZ_REGRESSIONS"
}

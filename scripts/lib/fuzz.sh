# The payload fuzzer: its build and one bounded run with figures. Source
# after setup.sh and build.sh; the host build (with tests) must be there for
# the seed payloads.

QARVEL_FUZZ_BUILD="$QARVEL_BUILD/fuzz"

qarvel_build_fuzz() {
  CC=clang CXX=clang++ cmake --no-warn-unused-cli -S "$QARVEL_ROOT/fuzz" -B "$QARVEL_FUZZ_BUILD" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARVEL_ZSTD_SOURCE="$QARVEL_ZSTD_SOURCE" >/dev/null
  cmake --build "$QARVEL_FUZZ_BUILD" -j "$QARVEL_JOBS" "$@"
}

# Fuzzes for the given seconds, keeping the corpus between runs in the build
# folder, then measures the line coverage the corpus reaches. Prints the
# figures; fails when the fuzzer reports a finding.
qarvel_run_fuzz() {
  local seconds="$1" dir="$QARVEL_FUZZ_BUILD" status=0
  "$QARVEL_ROOT/fuzz/make_seeds.sh" "$QARVEL_BUILD/host/packer/qarvel-pack" \
    "$QARVEL_BUILD/host/tests/tools/payload-forge" "$dir" >/dev/null
  mkdir -p "$dir/corpus" "$dir/artifacts"
  # A 2 GiB memory limit leaves room for the decoder's largest window
  # (128 MiB) under the sanitizers; -max_len keeps inputs to what the
  # reader's paths need.
  "$dir/payload_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -dict="$QARVEL_ROOT/fuzz/payload.dict" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" "$dir/seeds" >"$dir/fuzz.log" 2>&1 || status=$?

  local execs rate last
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/fuzz.log")"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/fuzz.log")"
  last="$(grep -E '^#[0-9]+.* cov: ' "$dir/fuzz.log" | tail -n1)"
  echo "fuzz: $seconds s, ${execs:-?} executions, ${rate:-?} exec/s"
  echo "fuzz: edges covered (reader, entry stream and decoder): $(sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1, features \2, corpus \3 inputs/p' <<<"$last")"
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|finding|unexpected|Test unit written' "$dir/fuzz.log" | head -n 20 >&2
    echo "fuzz: FINDING (exit $status); full log $dir/fuzz.log; replay: $dir/payload_fuzzer $dir/artifacts/<file>" >&2
    return 1
  fi
  echo "fuzz: no crash, hang, leak, sanitizer report or unexpected failure"

  # Line coverage of the reader and the entry stream over the whole corpus.
  rm -f "$dir"/coverage-*.profraw
  LLVM_PROFILE_FILE="$dir/coverage-%p.profraw" "$dir/payload_fuzzer_coverage" -runs=0 \
    "$dir/corpus" "$dir/seeds" >/dev/null 2>&1
  llvm-profdata merge -sparse "$dir"/coverage-*.profraw -o "$dir/coverage.profdata"
  llvm-cov report "$dir/payload_fuzzer_coverage" -instr-profile="$dir/coverage.profdata" \
    "$QARVEL_ROOT/payload/payload_reader.cpp" "$QARVEL_ROOT/payload/entry_header.h" \
    "$QARVEL_ROOT/packer/entry_stream.cpp" \
    | awk 'NR > 2 && NF >= 10 && $1 != "TOTAL" { printf "fuzz: line coverage of %s: %s (%d of %d lines)\n", $1, $10, $8 - $9, $8 }'
}

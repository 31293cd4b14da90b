#!/usr/bin/env bash
# Longer fuzzing of the portable core: builds the "fuzz" preset, then runs each fuzzer for the
# given seconds (default 60) on a scratch corpus under build/fuzz/scratch/ that grows from run
# to run, seeded from tests/fuzz/corpus/ (read only). Inputs that break something are kept in
# build/fuzz/scratch/<name>/artifacts/. Exit status 1 when any fuzzer did not stay clean.
# Usage: scripts/fuzz.sh [seconds-per-fuzzer] [fuzzer-name...]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(config command_line rewrite copyright manifest)
case $seconds in '' | *[!0-9]*) echo "fuzz: seconds must be a whole number" >&2; exit 2 ;; esac

scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/fuzz
scratch=build/fuzz/scratch
failed=0
summary=()
for name in "${names[@]}"; do
    [ -x "$bin/fuzz_$name" ] || { echo "fuzz: no fuzzer named $name" >&2; exit 2; }
    work=$scratch/$name
    mkdir -p "$work/corpus" "$work/artifacts"
    args=(-max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix="$work/artifacts/")
    dict=tests/fuzz/dict/$name.dict
    [ ! -f "$dict" ] || args+=(-dict="$dict")
    echo "== fuzz_$name for ${seconds}s (log: $work/last.log)"
    status=0
    # The first folder takes what the fuzzer finds; the seed corpus is only read.
    "$bin/fuzz_$name" "${args[@]}" "$work/corpus" "tests/fuzz/corpus/$name" >"$work/last.log" 2>&1 ||
        status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/last.log" | tail -n 1)
    if [ "$status" = 0 ]; then
        verdict=clean
    else
        failed=1
        artifact=$(sed -n "s/.*Test unit written to //p" "$work/last.log" | tail -n 1)
        verdict="FAILED (exit $status${artifact:+, input: $artifact})"
        grep -E "invariant broken|ERROR: |SUMMARY: " "$work/last.log" | head -n 5 || true
    fi
    summary+=("$(printf '%-18s %10s executions  %s' "fuzz_$name" "${runs:-?}" "$verdict")")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $failed

#!/usr/bin/env bash
# One short, repeatable fuzzing run (ctest): the seed corpus copied into a fresh work folder
# (what the fuzzer adds lands there, never in the repository), a fixed seed, a fixed number of
# executions. Usage: run_fuzzer.sh <fuzzer> <seed-corpus> <work-folder> <runs> [<dictionary>]
set -eu
fuzzer=$1 seeds=$2 work=$3 runs=$4 dict=${5:-}

rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp "$seeds"/* "$work/corpus/"
args=(-runs="$runs" -seed=1 -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
      -artifact_prefix="$work/artifacts/")
[ -z "$dict" ] || args+=(-dict="$dict")
exec "$fuzzer" "${args[@]}" "$work/corpus"

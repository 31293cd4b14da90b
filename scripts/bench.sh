#!/usr/bin/env bash
# Benchmark under Wine: the stand-in linker directly against the same link through the program
# (pass-through; configured without manifest; writing a program's and a COM library's manifest),
# as ratios measured in one run.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 >/dev/null
eval "$(scripts/wine-session.sh start)"
trap 'scripts/wine-session.sh stop >/dev/null 2>&1 || true' EXIT
build=$(pwd)/build/win64
scripts/wine-run.sh "$build/tests/LinkBench.exe" "Z:$build/bin" "Z:$build/tests" "${1:-15}"

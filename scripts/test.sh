#!/usr/bin/env bash
# Every test, from a fresh machine: set-up, the formatting rule, the builds, the native unit tests
# (with sanitizers), short fixed runs of the fuzzers, the Windows and end-to-end tests under Wine,
# and the 32-bit outputs and the release zip made of them checked.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== formatting"
scripts/check-format.sh

for preset in native fuzz win64 win32; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

echo "== native tests"
ctest --preset native

echo "== fuzzers (short fixed runs over the seed corpora; scripts/fuzz.sh runs them longer)"
ctest --preset fuzz

echo "== Windows tests under Wine (code page 1251, as the users have it)"
export LC_ALL=ru_RU.UTF-8
eval "$(scripts/wine-session.sh start)"
trap 'scripts/wine-session.sh stop >/dev/null 2>&1 || true' EXIT
ctest --preset win64

echo "== 32-bit product files and the release zip"
cmake --build --preset win32 --target package
ctest --preset win32

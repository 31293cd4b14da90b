#!/usr/bin/env bash
# Every test, from a fresh machine: set-up, the formatting rule, the builds, the native unit tests
# (with sanitizers), short fixed runs of the fuzzers, the release zip, then under Wine the Windows
# unit tests and the end-to-end suite on the 32-bit program (the product), and the 64-bit build's
# unit tests with a smoke set. Where 32-bit programs cannot start, it says why and runs the whole
# suite on the 64-bit build instead.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine-common.sh

echo "== formatting"
scripts/check-format.sh

for preset in native fuzz win32 win64; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
echo "== the release zip"
cmake --build --preset win32 --target package

echo "== native tests"
ctest --preset native

echo "== fuzzers (short fixed runs over the seed corpora; scripts/fuzz.sh runs them longer)"
ctest --preset fuzz

# Wine runs with the users' code page, 1251, which it takes from a Russian locale: only the
# commands that start Wine get it.
wine_env=(env LC_ALL=ru_RU.UTF-8)
eval "$("${wine_env[@]}" scripts/wine-session.sh start)"
trap 'scripts/wine-session.sh stop >/dev/null 2>&1 || true' EXIT
if reason=$(win32_reason build/win32/tests); then
    echo "== the tests run the 32-bit program (build/win32) under Wine's 32-bit mode;" \
         "the 64-bit build (build/win64) runs its unit tests and a smoke set"
    "${wine_env[@]}" ctest --preset win32
    "${wine_env[@]}" ctest --preset win64-smoke
else
    echo "== 32-bit programs cannot start here ($reason): the whole suite runs on the 64-bit" \
         "build (build/win64); the 32-bit build's Windows tests are skipped"
    "${wine_env[@]}" ctest --preset win64
    "${wine_env[@]}" ctest --preset win32
fi

#!/usr/bin/env bash
# Benchmark under Wine, of the 32-bit program (the 64-bit one where 32-bit programs cannot start,
# which it says): the stand-in linker directly and a minimal program against the same link
# through the program (pass-through; configured without manifest; writing a program's and a COM
# library's manifest; a program using two COM components named with COM:; embedding a program's
# manifest), as ratios measured in one run.
#   bench.sh [runs]
#   bench.sh --big [runs] [program folder...]   a generated COM library of 5,000 interfaces and
#       2,000 classes, passed through and with its manifest, through this build's program and
#       through each program folder given (another build's bin folder, to compare)
set -eu
cd "$(dirname "$0")/.."
big=""
if [ "${1:-}" = --big ]; then
    big=1
    shift
fi
runs=${1:-15}
shift || true
scripts/setup.sh >/dev/null
. scripts/wine-common.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
eval "$(env LC_ALL=ru_RU.UTF-8 scripts/wine-session.sh start)"
trap 'scripts/wine-session.sh stop >/dev/null 2>&1 || true' EXIT
# The product is the 32-bit program; where 32-bit programs cannot start, the 64-bit one stands in.
if reason=$(win32_reason build/win32/tests); then
    preset=win32 tools=i686-w64-mingw32
    echo "measured: the 32-bit program (build/win32) under Wine's 32-bit mode"
else
    preset=win64 tools=x86_64-w64-mingw32
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 >/dev/null
    echo "measured: the 64-bit program (build/win64): 32-bit programs cannot start here ($reason)"
fi
build=$(pwd)/build/$preset
run() { env LC_ALL=ru_RU.UTF-8 scripts/wine-run.sh "$@"; }
if [ -z "$big" ]; then
    run "$build/tests/LinkBench.exe" "Z:$build/bin" "Z:$build/tests" "$runs"
    exit 0
fi
out=$build/bench-big
mkdir -p "$out"
if [ ! -f "$out/Big.dll" ]; then
    # Written by the platform's own type-library writer: widl stops at 512 types.
    run "$build/tests/BigTypeLib.exe" "Z:$out/Big.tlb" 5000 2000
    # The type library and the version resource that a library's manifest needs.
    { echo '#include <winver.h>'; sed -n '/^1 TYPELIB/,$p' tests/com/ComFixture.rc; } |
        sed 's/ComFixture.tlb/Big.tlb/' >"$out/Big.rc"
    (cd "$out" && "$tools-windres" Big.rc -O coff -o Big.res)
    "$tools-g++" -shared -o "$out/Big.dll" tests/com/BrokenTypeLib.cpp "$out/Big.res"
fi
for bin in "$build/bin" "$@"; do
    echo "program: $bin"
    run "$build/tests/LinkBench.exe" "Z:$bin" "Z:$build/tests" "$runs" "Z:$out/Big.dll"
done

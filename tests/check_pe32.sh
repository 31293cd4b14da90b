#!/usr/bin/env bash
# Checks that each file is a 32-bit x86 PE image; with --imports, that the program imports the
# two support libraries by name.
set -eu
export LC_ALL=C LANGUAGE=C # objdump is read by its English words
objdump=i686-w64-mingw32-objdump
status=0
check_imports=""
for f in "$@"; do
    if [ "$f" = "--imports" ]; then check_imports=1; continue; fi
    # e_lfanew at 0x3C, then "PE\0\0" and the machine field (0x014C for i386).
    off=$(od -An -t u4 -j 60 -N 4 "$f" | tr -d ' ')
    sig=$(od -An -t x1 -j "$off" -N 6 "$f" | tr -d ' \n')
    magic=$(od -An -t x2 -j $((off + 24)) -N 2 "$f" | tr -d ' ')
    if [ "$sig" = "50450000"4c01 ] && [ "$magic" = 010b ]; then
        echo "PE32 i386: $f"
    else
        echo "NOT a 32-bit PE file: $f (signature $sig, optional header magic $magic)"; status=1
    fi
    if [ -n "$check_imports" ]; then
        for dll in QZVSP0100A.DLL QZVSP0100B.DLL; do
            if "$objdump" -p "$f" | grep -q "DLL Name: $dll"; then
                echo "  imports $dll"
            else
                echo "  does NOT import $dll: $f"; status=1
            fi
        done
        check_imports=""
    fi
done
exit $status

# Sourced by the scripts that run Windows programs under Wine: the one prefix that every build's
# tests share, the loaders, and whether 32-bit programs start here.
#   wine_prefix_default [dir]    WINEPREFIX, else <dir>/wineprefix (dir: build/ of this clone)
#   pe_machine <file>            i386 or amd64 (or "unknown") from the file's PE header
#   wine_for <file>              the loader that starts that program
#   win32_reason <tests-dir>     nothing when a 32-bit program (the stand-in linker of the tests
#                                folder, else of build/win32) starts in the prefix and exits with
#                                the code it should; otherwise why not (and a non-zero status)
# Both builds' programs run in the same 64-bit prefix: Debian's wine32 runs a 32-bit program in
# it (WoW64), so one prefix serves every build and is made once (10 to 25 s).
wine_common_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

wine_prefix_default() {
    if [ -z "${WINEPREFIX:-}" ]; then
        local dir=${1:-$wine_common_root/build}
        WINEPREFIX=$(mkdir -p "$dir" && cd "$dir" && pwd)/wineprefix
    fi
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

pe_machine() {
    local offset machine
    offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || true
    machine=$( [ -n "$offset" ] && od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ') || true
    case "$machine" in
    014c) echo i386 ;;
    8664) echo amd64 ;;
    *) echo unknown ;;
    esac
}

wine_for() {
    if [ "$(pe_machine "$1")" = i386 ]; then echo "$wine32_loader"; else echo "$wine64_loader"; fi
}

# Tried once per prefix: the stand-in linker of the 32-bit build, asked for exit code 42. Only a
# success is remembered, so that installing what was missing needs no clean-up.
win32_reason() {
    local tests_dir=$1 stamp=$WINEPREFIX/vexmor-win32-runs record code
    [ -f "$stamp" ] && return 0
    if [ ! -x "$wine32_loader" ]; then
        echo "Wine's 32-bit part (Debian's wine32:i386) is not installed"
        return 1
    fi
    # A program outside a test folder is vouched for by the 32-bit build's stand-in.
    [ -f "$tests_dir/LINK2.exe" ] || tests_dir=$wine_common_root/build/win32/tests
    if [ ! -f "$tests_dir/LINK2.exe" ]; then
        echo "there is no 32-bit stand-in linker ($tests_dir/LINK2.exe) to try"
        return 1
    fi
    record=$(mktemp)
    code=0
    VEXMOR_STANDIN_EXIT=42 VEXMOR_STANDIN_RECORD="Z:$(printf '%s' "$record" | tr / '\\')" \
        timeout 120 "$wine32_loader" "$tests_dir/LINK2.exe" probe </dev/null >/dev/null 2>&1 || code=$?
    rm -f "$record"
    if [ "$code" != 42 ]; then
        echo "a 32-bit program (the stand-in linker) ended with $code instead of 42 under $wine32_loader"
        return 1
    fi
    touch "$stamp"
}

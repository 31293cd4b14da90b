#!/usr/bin/env bash
# Runs a Windows program of a build under Wine: the test emulator of the win32 and win64 builds.
# The prefix, display and keeper are prepared by scripts/wine-session.sh; without a prepared
# session this still works for programs that show no message box. Where 32-bit programs cannot
# start, a 32-bit program is not run: the reason goes to standard error and the exit code is 77,
# which ctest counts as skipped.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
wine_prefix_default
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$here/wine-session.sh" prefix >/dev/null
fi
if [ "$(pe_machine "$1")" = i386 ]; then
    if ! reason=$(win32_reason "$(dirname "$1")"); then
        echo "SKIPPED: 32-bit programs cannot start here: $reason" >&2
        exit 77
    fi
fi
exec "$(wine_for "$1")" "$@"

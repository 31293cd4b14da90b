#!/usr/bin/env bash
# Runs a Windows program of a build under Wine: the test emulator of the win64 build.
# The prefix, display and keeper are prepared by scripts/wine-session.sh; without a prepared
# session this still works for programs that show no message box.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/win64/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$here/wine-session.sh" prefix >/dev/null
fi
exec /usr/lib/wine/wine64 "$@"

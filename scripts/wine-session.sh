#!/usr/bin/env bash
# Wine session for the Windows tests.
#   wine-session.sh prefix   create the prefix once (kept in the build tree)
#   wine-session.sh start    prefix + private Xvfb display + keeper process; prints exports
#   wine-session.sh stop     ends the keeper, Xvfb and the prefix's wineserver
set -eu
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/win64/wineprefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

make_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine" wineboot -u </dev/null >/dev/null 2>&1 || true
        # Without a window manager each answered box would otherwise linger about 2 s.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        /usr/lib/wine/wineserver -w || true
    fi
}

case "${1:-}" in
prefix) make_prefix ;;
*) echo "usage: $0 prefix|start|stop" >&2; exit 2 ;;
esac

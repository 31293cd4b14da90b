#!/usr/bin/env bash
# Wine session for the Windows tests.
#   wine-session.sh prefix      [dir]  create the prefix once (kept in the build tree)
#   wine-session.sh start       [dir]  prefix + private Xvfb display + keeper process; prints exports
#   wine-session.sh stop        [dir]  ends the keeper, Xvfb and the prefix's wineserver
#   wine-session.sh status      [dir]
# The prefix is WINEPREFIX if set, else <dir>/wineprefix; dir defaults to build/, so that the
# win32 and win64 builds share one prefix (their programs both run in it).
# Use: eval "$(scripts/wine-session.sh start)"; ctest ...; scripts/wine-session.sh stop
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
wine_prefix_default "${2:-}"
wine=$wine64_loader
state=$WINEPREFIX/vexmor-session.state

make_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine" wineboot -u </dev/null >/dev/null 2>&1 || true
        # Without a window manager each answered box would otherwise linger about 2 s.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        "$wineserver" -w || true
    fi
}

# The tests check what the shell opens by letting .txt files open with a recorder of a test
# build beside the prefix (every test names the file it records to), for 32-bit and 64-bit
# programs alike: both registry views.
register_open_recorder() {
    local dir tests_dir='' recorder view
    dir=$(dirname "$WINEPREFIX")
    for candidate in "$dir/win64/tests" "$dir/win32/tests" "$dir/tests"; do
        if [ -f "$candidate/OpenRecorder.exe" ]; then
            tests_dir=$candidate
            break
        fi
    done
    [ -n "$tests_dir" ] || return 0
    recorder="Z:$(printf '%s' "$tests_dir/OpenRecorder.exe" | tr '/' '\\')"
    for view in 32 64; do
        "$wine" reg add 'HKCR\.txt' /ve /d txtfile /f /reg:$view </dev/null >/dev/null 2>&1
        "$wine" reg add 'HKCR\txtfile\shell\open\command' /ve /d "\"$recorder\" \"%1\"" /f \
            /reg:$view </dev/null >/dev/null 2>&1
    done
}

# A zombie (nobody here may reap it) still answers kill -0, so look at the process state too.
alive() {
    [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null || return 1
    case "$(ps -o stat= -p "$1" 2>/dev/null)" in Z* | '') return 1 ;; esac
}

# Prints the exports when the recorded session is still running.
running_session() {
    [ -f "$state" ] || return 1
    local DISPLAY_NUM='' XVFB_PID='' KEEPER_PID=''
    # shellcheck disable=SC1090
    . "$state"
    alive "$XVFB_PID" && alive "$KEEPER_PID" && [ -S "/tmp/.X11-unix/X$DISPLAY_NUM" ] || return 1
    echo "export DISPLAY=:$DISPLAY_NUM"
    echo "export WINEPREFIX='$WINEPREFIX'"
}

free_display() {
    local n
    for n in $(seq 90 189); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            echo "$n"
            return 0
        fi
    done
    echo "wine-session: no free X display" >&2
    return 1
}

# The display goes last: Wine programs that lose it on the way out may report errors of their own.
stop_session() {
    local DISPLAY_NUM='' XVFB_PID='' KEEPER_PID=''
    if [ -f "$state" ]; then
        # shellcheck disable=SC1090
        . "$state"
        if alive "$KEEPER_PID"; then kill "$KEEPER_PID" 2>/dev/null || true; fi
    fi
    if [ -f "$WINEPREFIX/system.reg" ]; then
        "$wineserver" -k </dev/null >/dev/null 2>&1 || true
        "$wineserver" -w </dev/null >/dev/null 2>&1 || true
    fi
    if alive "$XVFB_PID"; then kill "$XVFB_PID" 2>/dev/null || true; fi
    rm -f "$state" "$WINEPREFIX/vexmor-keeper.fifo"
}

# Starts Xvfb on the first free display from 90 on; another session may take a number at the
# same moment, so a server that dies at once is retried on the next number.
start_xvfb() {
    local n i attempt
    for attempt in 1 2 3 4 5; do
        n=$(free_display) || return 1
        mkdir -p /tmp/.X11-unix
        setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        xvfb_pid=$!
        for i in $(seq 100); do
            alive "$xvfb_pid" || break
            # Ready when it accepts connections on its socket.
            [ -S "/tmp/.X11-unix/X$n" ] && break
            sleep 0.05
        done
        if alive "$xvfb_pid" && [ -S "/tmp/.X11-unix/X$n" ]; then
            display_num=$n
            return 0
        fi
        kill "$xvfb_pid" 2>/dev/null || true
    done
    echo "wine-session: Xvfb did not start" >&2
    return 1
}

start_session() {
    if running_session; then return 0; fi
    stop_session
    make_prefix
    local xvfb_pid display_num keeper_pid fifo=$WINEPREFIX/vexmor-keeper.fifo
    start_xvfb
    # Wine's background services inherit the stdio and the display of the process that starts
    # them, and live as long as some program of the prefix runs. The keeper (or the registry
    # step beside it) starts them with no output but /dev/null and on our display, and runs until
    # stop: no test's captured output is held open by them, and no test pays for their start.
    # It waits for input on a FIFO that it holds open itself, so it reads nothing, forever,
    # without using the CPU.
    export DISPLAY=:$display_num
    rm -f "$fifo"
    mkfifo "$fifo"
    setsid "$wine" cmd.exe /c "set /p wait=" <>"$fifo" >/dev/null 2>&1 &
    keeper_pid=$!
    printf 'DISPLAY_NUM=%s\nXVFB_PID=%s\nKEEPER_PID=%s\n' "$display_num" "$xvfb_pid" "$keeper_pid" \
        >"$state"
    register_open_recorder
    running_session
}

case "${1:-}" in
prefix) make_prefix ;;
start) start_session ;;
stop) stop_session ;;
status) running_session || { echo "no session" >&2; exit 1; } ;;
*) echo "usage: $0 prefix|start|stop|status [build-dir]" >&2; exit 2 ;;
esac

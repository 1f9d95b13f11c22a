#!/usr/bin/env bash
# A private X server, the one starter that the run script, the benchmarks
# and the tests all use. The server picks a free display itself
# (-displayfd) and is stopped by its PID.
#
# Sourced:  start_xvfb 1024x768x24   # sets DISPLAY and XVFB_PID
#           stop_xvfb
# Run:      scripts/xvfb.sh 1024x768x24 COMMAND [ARGS...]
#           runs COMMAND on a fresh server and exits with its status.

XVFB_PID=''

start_xvfb() {
    local ready i
    ready=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$ready" 2>/dev/null &
    XVFB_PID=$!
    for i in $(seq 100); do
        [ -s "$ready" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ -s "$ready" ]; then
        export DISPLAY=":$(cat "$ready")"
        rm -f "$ready"
        return 0
    fi
    rm -f "$ready"
    stop_xvfb
    echo "Xvfb did not start" >&2
    return 1
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    XVFB_PID=''
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    [ $# -ge 2 ] || { echo "usage: $0 SCREEN COMMAND [ARGS...]" >&2; exit 2; }
    screen=$1
    shift
    start_xvfb "$screen" || exit 1
    trap stop_xvfb EXIT
    unset WAYLAND_DISPLAY
    status=0
    "$@" || status=$?
    exit "$status"
fi

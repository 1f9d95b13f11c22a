# Sourced by the benchmark scripts: a private Xvfb on the first free display
# number from :90 up, checked to answer, and stopped by its PID.
#
#   start_xvfb 2048x1536x24   # sets DISPLAY and XVFB_PID
#   stop_xvfb

XVFB_PID=''

start_xvfb() {
    local screen=$1 n ready i
    ready=$(mktemp)
    for n in $(seq 90 140); do
        # A lock or a socket: some other server has it.
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        # The server writes its number to fd 3 once it accepts clients; it
        # ends at once if another one took the number in the meantime.
        : >"$ready"
        Xvfb ":$n" -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$ready" 2>/dev/null &
        XVFB_PID=$!
        for i in $(seq 100); do
            [ -s "$ready" ] && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        if [ -s "$ready" ] && kill -0 "$XVFB_PID" 2>/dev/null &&
            xdpyinfo -display ":$n" >/dev/null 2>&1; then
            rm -f "$ready"
            export DISPLAY=":$n"
            return 0
        fi
        stop_xvfb
    done
    rm -f "$ready"
    echo "no free display for Xvfb between :90 and :140" >&2
    return 1
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    XVFB_PID=''
}

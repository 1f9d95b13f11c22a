#!/usr/bin/env bash
# Installs what is missing, builds, and starts Orvanel on your display.
# Without a display it runs it on a private Xvfb instead: answers the
# fullscreen question with No, lets it draw, saves a screenshot, quits with
# Escape, and prints the screenshot's path and the exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}"

build=build # the run preset's binaryDir (CMakePresets.json)
cmake --preset run >/dev/null
cmake --build --preset run >/dev/null

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/orvanel"
fi

echo "No display: running Orvanel on a private Xvfb."
source scripts/xvfb.sh
program=''
cleanup() {
    if [ -n "$program" ]; then kill "$program" 2>/dev/null || true; fi
    stop_xvfb
}
trap cleanup EXIT
start_xvfb 1024x768x24

# Waits up to 10 seconds for a command to succeed.
wait_for() {
    local i
    for i in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    echo "gave up waiting for: $*" >&2
    return 1
}

window_named() { xwininfo -root -tree | grep -F "\"$1\":" | awk '{print $1; exit}'; }
has_window() { [ -n "$(window_named "$1")" ]; }
# There is no window manager to give a window the focus: we do. Each key is
# held a moment, as a person would.
press() {
    xdotool windowfocus "$1"
    xdotool keydown "$2"
    sleep 0.1
    xdotool keyup "$2"
}

"$build/orvanel" &
program=$!
wait_for has_window "FullScreen ?"
press "$(window_named "FullScreen ?")" Escape # No: a window
wait_for has_window Orvanel
sleep 1 # let it draw
screenshot="$(pwd)/$build/orvanel-screenshot.png"
import -window "$(window_named Orvanel)" "$screenshot"
press "$(window_named Orvanel)" Escape
status=0
wait "$program" || status=$?
program=''
echo "Screenshot: $screenshot"
echo "Exit status: $status"

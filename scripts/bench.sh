#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks, and runs them all on a
# private Xvfb (scripts/xvfb.sh, stopped again at the end):
#   1. the program's main loop beside the ideal loop and the floor, at
#      640x480, 320x240, 1280x960 and 1920x1080 (orvanel-loop-bench);
#   2. start-up of the shipped program: to its question box, and from the
#      answer to its first frame (orvanel-startup-bench);
#   3. the offscreen frame on headless Mesa (orvanel-bench).
# Arguments go to orvanel-loop-bench: [ROUNDS [WxH...]].
# BENCHMARKS.md says what the figures mean.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}" "${ORVANEL_BENCH_PACKAGES[@]}"

# Its own build folder, without the tests (they need more packages).
build=build-bench # the bench preset's binaryDir (CMakePresets.json)
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null

source scripts/xvfb.sh
trap stop_xvfb EXIT
start_xvfb 2048x1536x24
unset WAYLAND_DISPLAY

echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')," \
    "$(free -g | awk '/^Mem:/ {print $2}') GiB; $(uname -sr)"
echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Xvfb on $DISPLAY, 2048x1536x24"
echo

echo "== The main loop, the ideal loop and the floor, side by side"
"$build/bench/orvanel-loop-bench" "$@"
echo

echo "== Start-up"
"$build/bench/orvanel-startup-bench" "$build/orvanel"
echo

echo "== The offscreen frame (EGL pbuffer, glFinish a frame; medians of 9, us)"
"$build/bench/orvanel-bench" --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
    --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true --benchmark_color=false \
    2>/dev/null | awk '/_median/ { print; t[$1] = $2 }
        END { printf "frame/clear: %.2f\n", t["ArmFrame_median"] / t["ClearOnlyFrame_median"] }'
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

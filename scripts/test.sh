#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and
# runs every test. The builds (tests, browser, Windows) and the sanitizer
# and fuzzer run (reliability.sh) do not depend on each other: they run side
# by side, so that the steps one of them runs on one core (configuring,
# linking, fuzzing) leave the other core to the rest. Each one's output is
# kept and shown when it ends. ctest then runs alone: some end-to-end tests
# time what they see. A Windows build that fails does not stop the Linux
# tests: they still run and report, and the command fails at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}" "${ORVANEL_TEST_PACKAGES[@]}" "${ORVANEL_WEB_PACKAGES[@]}"

tests=build-tests # the tests preset's binaryDir (CMakePresets.json)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
declare -A pids started

# Starts a step in the background, its output in its log, the second
# when it ended in another.
start() {
    local name=$1
    shift
    started[$name]=$SECONDS
    (
        status=0
        "$@" >"$logs/$name" 2>&1 || status=$?
        echo "$SECONDS" >"$logs/$name.end"
        exit "$status"
    ) &
    pids[$name]=$!
}

# Waits for a step and tells its time; shows its log when it failed, or
# when asked (show). Returns its status.
finish() {
    local name=$1 show=${2:-} status=0
    wait "${pids[$name]}" || status=$?
    local took=$(($(cat "$logs/$name.end") - started[$name]))
    if [ "$status" -ne 0 ]; then
        echo "== $name: failed with status $status after $took s"
        cat "$logs/$name"
    else
        echo "== $name: $took s"
        if [ -n "$show" ]; then cat "$logs/$name"; fi
    fi
    return "$status"
}

# The sanitizer and fuzzer run is the longest chain of steps: the builds
# give way to it, so that its fuzzer starts early, on one core, while they
# go on building on the other.
start reliability bash scripts/reliability.sh
start tests nice bash -c 'cmake --preset tests >/dev/null && cmake --build --preset tests'
start web nice bash scripts/web.sh # the site that the browser test runs
start windows nice bash scripts/windows-build.sh
built=0 windows=0
finish tests || built=1
finish web || built=1
finish windows show || windows=1
finish reliability show || built=1
if [ "$built" -ne 0 ]; then
    echo "A build or the sanitizer and fuzzer run failed (see above): nothing else was run."
    exit 1
fi

status=0
ctest --preset tests | tee "$tests/ctest.out" || status=$?
if [ "$windows" -ne 0 ]; then
    echo "The Windows build failed (see above): its tests were skipped."
    status=1
fi
echo "test.sh: $SECONDS s in all"
scripts/figures.sh "$status"
exit "$status"

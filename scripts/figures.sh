#!/usr/bin/env bash
# Closes the test command: one line of reliability figures gathered from
# the test logs, then the test count as the last line.
# Usage: figures.sh CTEST_STATUS (run from the repository's top folder).
set -u
status=${1:-0}
tests=build-tests # the tests preset's binaryDir (CMakePresets.json), where ctest ran
fuzz=build-fuzz   # the fuzz preset's, where reliability.sh leaves its figures
log=$tests/Testing/Temporary/LastTest.log

# The first number on the first log line that matches.
first() { grep -m1 -E "$1" "$2" 2>/dev/null | grep -oE '[0-9]+' | head -n 1; }

fuzzed=$(grep -oE 'fuzzed=[0-9]+' "$fuzz/figures" 2>/dev/null | cut -d= -f2)
faults=$(first '^fault sweep: [0-9]+ runs' "$log")
soaked=$(first '^soak: [0-9]+ toggles' "$log")
live=$(first '^live soak: [0-9]+ toggles' "$log")
stormed=$(first '^key storm: [0-9]+ key events' "$log")
passed=$(grep -m1 -oE '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$tests/ctest.out" 2>/dev/null)
failed=$(echo "$passed" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
total=$(echo "$passed" | sed -E 's/.*out of ([0-9]+)/\1/')
findings=$([ "$status" -eq 0 ] && echo 0 || echo "${failed:-?}")

echo "reliability: ${fuzzed:-0} inputs fuzzed, ${faults:-0} faults injected," \
     "${soaked:-0} toggles soaked (and ${live:-0} live), ${stormed:-0} key events stormed," \
     "${findings} findings"
echo "tests: $(( ${total:-0} - ${failed:-0} )) passed, ${failed:-0} failed"

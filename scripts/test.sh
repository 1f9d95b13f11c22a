#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and
# runs every test. A Windows build that fails does not stop the Linux
# tests: they still run and report, and the command fails at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}" "${ORVANEL_TEST_PACKAGES[@]}" "${ORVANEL_WEB_PACKAGES[@]}"

tests=build-tests # the tests preset's binaryDir (CMakePresets.json)
cmake --preset tests >/dev/null
cmake --build --preset tests
bash scripts/web.sh # the site that the browser test runs
windows=0
bash scripts/windows-build.sh || windows=$?
bash scripts/reliability.sh
status=0
ctest --preset tests | tee "$tests/ctest.out" || status=$?
if [ "$windows" -ne 0 ]; then
    echo "The Windows build failed (see above): its tests were skipped."
    status=1
fi
scripts/figures.sh "$status"
exit "$status"

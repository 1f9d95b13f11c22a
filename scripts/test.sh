#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}" "${ORVANEL_TEST_PACKAGES[@]}"

cmake -S . -B build -DORVANEL_WERROR=ON -DBUILD_TESTING=ON >/dev/null
cmake --build build -j2
bash scripts/windows-build.sh
bash scripts/reliability.sh
status=0
(cd build && ctest --output-on-failure --timeout 300) | tee build/ctest.out || status=$?
scripts/figures.sh "$status"
exit "$status"

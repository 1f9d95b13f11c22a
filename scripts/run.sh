#!/usr/bin/env bash
# Installs what is missing, builds, and renders the arm's start pose.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}"

cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j2 --target orvanel-snapshot >/dev/null
build/orvanel-snapshot build/start-pose.png
echo "Start pose rendered to $(pwd)/build/start-pose.png"

#!/usr/bin/env bash
# The zip a Windows user downloads, made by scripts/windows-zip.sh: exactly
# Orvanel/orvanel.exe (the build's own bytes) and Orvanel/README.txt.
#   zip_check.sh SOURCE_DIR EXE     (exit 77, skipped, when EXE is not built)
set -euo pipefail
exe=$2
[ -f "$exe" ] || { echo "SKIPPED: $exe is not built; scripts/windows-build.sh builds it"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
zip_path=$(mktemp -d)/orvanel-windows.zip
trap 'rm -rf "$(dirname "$zip_path")"' EXIT
bash "$1/scripts/windows-zip.sh" "$exe" "$zip_path"
entries=$(unzip -Z1 "$zip_path")
[ "$entries" = $'Orvanel/orvanel.exe\nOrvanel/README.txt' ] || fail "the zip holds: $entries"
unzip -p "$zip_path" Orvanel/orvanel.exe | cmp -s - "$exe" || fail "the zipped .exe is not $exe"
echo "passed: the zip holds Orvanel/orvanel.exe (the build's) and Orvanel/README.txt"

#!/usr/bin/env bash
# zip_check.sh SOURCE_DIR EXE (exit 77, skipped, when EXE is not built): the zip that
# scripts/windows-zip.sh makes holds exactly Orvanel/orvanel.exe (EXE's bytes) and README.txt.
set -euo pipefail
[ -f "$2" ] || { echo "SKIPPED: $2 is not built; scripts/windows-build.sh builds it"; exit 77; }
zip=$(mktemp -d)/orvanel-windows.zip
trap 'rm -rf "$(dirname "$zip")"' EXIT
bash "$1/scripts/windows-zip.sh" "$2" "$zip"
entries=$(unzip -Z1 "$zip")
[ "$entries" = $'Orvanel/orvanel.exe\nOrvanel/README.txt' ] || { echo "FAILED: $entries"; exit 1; }
unzip -p "$zip" Orvanel/orvanel.exe | cmp -s - "$2" || { echo "FAILED: not $2"; exit 1; }
echo "passed: the zip holds Orvanel/orvanel.exe (the build's) and Orvanel/README.txt"

#!/usr/bin/env bash
# Packs the Windows program as a Windows user downloads it: a zip holding
# the folder Orvanel/ with orvanel.exe and README.txt (how to run it, its
# keys; Windows line ends). Run scripts/windows-build.sh first.
#
#   scripts/windows-zip.sh [EXE [ZIP]]
#
# EXE defaults to the mingw build's (below), ZIP to orvanel-windows.zip
# beside it. Prints one line; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

exe=${1:-build-mingw/orvanel.exe} # in the mingw preset's binaryDir (CMakePresets.json)
zip_path=${2:-$(dirname "$exe")/orvanel-windows.zip}
[ -f "$exe" ] || { echo "no $exe: run scripts/windows-build.sh first" >&2; exit 1; }
if ! command -v zip >/dev/null; then
    source scripts/packages.sh
    ensure_packages "${ORVANEL_WINDOWS_PACKAGES[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/Orvanel"
cp "$exe" "$work/Orvanel/orvanel.exe"
sed 's/$/\r/' packaging/windows/README.txt >"$work/Orvanel/README.txt"

zip_path=$(realpath -m "$zip_path")
rm -f "$zip_path"
# -D: no folder entries, -X: no Unix owners or extra times.
(cd "$work" && zip -q -D -X "$zip_path" Orvanel/orvanel.exe Orvanel/README.txt)
echo "Windows zip: $zip_path (Orvanel/orvanel.exe, Orvanel/README.txt)"

#!/usr/bin/env bash
# Makes the Windows zip with scripts/windows-zip.sh and checks it as a
# download: exactly Orvanel/orvanel.exe and Orvanel/README.txt; the .exe
# the same bytes as the build's, its resources still exactly the icon group
# "A" and its one icon; the text in Windows line ends, naming the start
# question and every key.
#
#   zip_check.sh SOURCE_DIR EXE     (exit 77, skipped, when EXE is not built)
set -euo pipefail
source_dir=$1
exe=$2
if [ ! -f "$exe" ]; then
    echo "SKIPPED: $exe is not built; scripts/windows-build.sh builds it"
    exit 77
fi
fail() {
    echo "FAILED: $*"
    exit 1
}

zip_path=$(dirname "$exe")/orvanel-windows.zip
bash "$source_dir/scripts/windows-zip.sh" "$exe" "$zip_path"

entries=$(unzip -Z1 "$zip_path") || fail "unzip cannot list $zip_path"
[ "$entries" = $'Orvanel/orvanel.exe\nOrvanel/README.txt' ] ||
    fail "the zip holds:"$'\n'"$entries"
echo "ok: the zip holds Orvanel/orvanel.exe and Orvanel/README.txt"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip_path" -d "$work" || fail "cannot unzip $zip_path"
cmp -s "$exe" "$work/Orvanel/orvanel.exe" || fail "the zipped orvanel.exe differs from $exe"

listing=$(wrestool -l "$work/Orvanel/orvanel.exe") || fail "wrestool cannot read the zipped orvanel.exe"
[ "$(grep -c . <<<"$listing")" -eq 2 ] &&
    [ "$(grep -c "^--type=14 --name='A' " <<<"$listing")" -eq 1 ] &&
    [ "$(grep -c '^--type=3 ' <<<"$listing")" -eq 1 ] ||
    fail "the zipped orvanel.exe's resources are not exactly icon group A and its icon:"$'\n'"$listing"
echo "ok: the zipped orvanel.exe is the build's, resources: icon group A and its one icon"

text=$work/Orvanel/README.txt
lines=$(grep -c . "$text")
[ "$(grep -c $'\r$' "$text")" -eq "$(grep -c '' "$text")" ] || fail "README.txt has lines without Windows line ends"
for word in "Passer en plein ecran (640x480) ?" orvanel.exe F1 F2 F3 F4 F5 F6 F7 Right Left Up Down Escape; do
    grep -qF -- "$word" "$text" || fail "README.txt does not mention $word"
done
echo "ok: README.txt ($lines lines, Windows line ends) names the start question and every key"
echo "passed: $zip_path"

#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64 (the mingw preset), then
# checks the .exe: a GUI-subsystem program that needs only system DLLs,
# whose resources are exactly the icon group "A" and its one 32x32 icon at
# 8 bits per pixel (the committed app/orvanel.ico). Prints one line; exits
# non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_WINDOWS_PACKAGES[@]}"

cmake --preset mingw >/dev/null
cmake --build --preset mingw >/dev/null

exe=build-mingw/orvanel.exe # in the mingw preset's binaryDir (CMakePresets.json)
fail() {
    echo "Windows build check FAILED: $*" >&2
    exit 1
}
[ -f "$exe" ] || fail "$exe was not built"

# Resources: one icon group named A, one icon image, nothing else (no
# manifest, no version information).
listing=$(wrestool -l "$exe") || fail "wrestool cannot read $exe"
[ "$(grep -c . <<<"$listing")" -eq 2 ] &&
    [ "$(grep -c "^--type=14 --name='A' " <<<"$listing")" -eq 1 ] &&
    [ "$(grep -c '^--type=3 ' <<<"$listing")" -eq 1 ] ||
    fail "resources are not exactly icon group A and one icon:"$'\n'"$listing"

# The group, extracted as an .ico, holds one 32x32 image at 8 bits per pixel.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrestool -x --type=14 --name=A -o "$work/group.ico" "$exe" || fail "cannot extract icon group A"
icons=$(icotool -l "$work/group.ico") || fail "icotool cannot read icon group A"
[ "$icons" = "--icon --index=1 --width=32 --height=32 --bit-depth=8 --palette-size=256" ] ||
    fail "icon group A is not one 32x32 256-colour image: $icons"
# And that image is the committed one (an .ico holds a 6-byte header and
# one 16-byte entry before it).
wrestool -x --raw --type=3 "$exe" >"$work/image.bin" || fail "cannot extract the icon image"
tail -c +23 app/orvanel.ico | cmp -s - "$work/image.bin" || fail "the icon image differs from app/orvanel.ico"

# A GUI program that runs alone: only DLLs that every Windows has.
headers=$(x86_64-w64-mingw32-objdump -p "$exe") || fail "objdump cannot read $exe"
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI-subsystem program"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
others=$(grep -viE '^(kernel32|user32|gdi32|opengl32|glu32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$' <<<"$dlls" || true)
[ -z "$others" ] || fail "depends on non-system DLLs: $(paste -sd' ' <<<"$others")"

echo "Windows build OK: $exe (GUI, DLLs: $(paste -sd' ' <<<"$dlls"); resources: icon group A, one 32x32 8-bit icon)"

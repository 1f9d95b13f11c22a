#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the freedesktop
# layout: the program, its desktop entry naming it and its icon, and the
# 32x32 PNG icon where the hicolor theme looks for it.
set -euo pipefail
build=$1 root=$2
rm -rf "$root"
cmake --install "$build" --prefix "$root" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$root/bin/orvanel" ] || fail "no bin/orvanel"
desktop=$root/share/applications/orvanel.desktop
[ -f "$desktop" ] || fail "no desktop entry"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry is no application"
grep -qx 'Exec=orvanel' "$desktop" || fail "desktop entry does not run orvanel"
grep -qx 'Icon=orvanel' "$desktop" || fail "desktop entry names no orvanel icon"
icon=$root/share/icons/hicolor/32x32/apps/orvanel.png
[ -f "$icon" ] || fail "no icon"
# PNG signature, then the IHDR chunk's width and height (big-endian).
[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "icon is no PNG"
size=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
[ "$size" = 32x32 ] || fail "icon is $size, not 32x32"
echo "install layout ok"

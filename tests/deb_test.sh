#!/usr/bin/env bash
# The Debian package, packed by cpack from this build into a scratch folder
# (never installed): its files under /usr, its SDL2 and GL dependencies, and
# its program, unpacked, asking the fullscreen question in a top-level window.
set -euo pipefail
cpack=$1 build=$2 source=$3 work=$(mktemp -d) program=''
source "$source/scripts/xvfb.sh"
trap 'set +e; [ -z "$program" ] || { kill -- "-$program"; wait "$program"; } 2>/dev/null; stop_xvfb; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || fail "$(cat "$work/cpack.log")"
deb=$(echo "$work"/orvanel_*_*.deb)
files=$(dpkg-deb -c "$deb" | awk '!/^d/ {print $6}' | sed 's,^\./usr/,,' | sort | paste -sd' ')
[ "$files" = "bin/orvanel share/applications/orvanel.desktop share/doc/orvanel/changelog.gz share/doc/orvanel/copyright share/icons/hicolor/32x32/apps/orvanel.png share/man/man1/orvanel.1.gz" ] || fail "files: $files"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsdl2 libgl1 libglu1; do [[ $depends == *$lib* ]] || fail "no $lib in: $depends"; done
# Its own process group: its guard asks. Top level: indent 5.
dpkg-deb -x "$deb" "$work/root"
start_xvfb 1024x768x24
setsid "$work/root/usr/bin/orvanel" & program=$!
question() { xwininfo -root -tree | grep -E '^     0x[0-9a-f]+ "FullScreen \?":' >/dev/null; }
for _ in $(seq 100); do question && break; sleep 0.1; done; question || fail "no top-level \"FullScreen ?\""
# Killed, it leaves nothing running: its guard, in a group of its own, ends with it.
kill -9 -- "-$program"; wait "$program" 2>/dev/null || true; session=$program program=''
left() { ps -o pid=,stat=,comm= -s "$session" | awk '$2 !~ /^Z/ {print $1, $3}'; }
for _ in $(seq 50); do [ -z "$(left)" ] && break; sleep 0.1; done
if [ -n "$(left)" ]; then
    gone=$(left); kill -9 $(awk '{print $1}' <<<"$gone"); fail "left running after it: $(paste -sd, <<<"$gone")"
fi
echo "deb ok: $(basename "$deb"), $depends"

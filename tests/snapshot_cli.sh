#!/usr/bin/env bash
# The snapshot tool from the command line: a good run writes a PNG; every
# kind of bad argument exits 2 with one line on stderr and writes nothing.
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$tool" --piston1 30 --pince 90 --trans 8 "$dir/ok.png" 2>"$dir/err" || fail "good run exited $?: $(cat "$dir/err")"
[ "$(head -c 8 "$dir/ok.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "ok.png is not a PNG"

"$tool" --help | grep -q -- '--piston1' || fail "--help does not list --piston1"

# arguments..., then a word the one error line must contain
bad() {
    local want=$1; shift
    rm -f "$dir/out.png"
    "$tool" "$@" 2>"$dir/err" >/dev/null
    local status=$?
    [ "$status" -eq 2 ] || fail "'$*' exited $status, not 2"
    [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "'$*' wrote $(wc -l <"$dir/err") lines to stderr"
    grep -q -- "$want" "$dir/err" || fail "'$*' said '$(cat "$dir/err")', without '$want'"
    [ ! -e "$dir/out.png" ] || fail "'$*' wrote a file"
}

bad '--piston1.*-75 to 75' --piston1 76 "$dir/out.png"
bad '--piston3.*-75 to 75' --piston3 -75.5 "$dir/out.png"
bad '--trans.*1 to 8' --trans 0 "$dir/out.png"
bad '--pince.*45 to 90' --pince 44 "$dir/out.png"
bad '--piston2.*not a number' --piston2 abc "$dir/out.png"
bad '--pince.*not a number' --pince nan "$dir/out.png"
bad '--trans.*not a number' --trans 3x "$dir/out.png"
bad '--trans: missing value' "$dir/out.png" --trans
bad 'OUTPUT.png: missing' --piston1 3
bad "extra argument" "$dir/out.png" "$dir/other.png"
bad "unknown option '--colour'" --colour red "$dir/out.png"
bad "cannot write" "$dir/no/such/folder/out.png"
[ ! -e "$dir/other.png" ] || fail "an extra argument was written"

[ "$failures" -eq 0 ] && echo "snapshot tool: all cases pass"
exit $((failures > 0))

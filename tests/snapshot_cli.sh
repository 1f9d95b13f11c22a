#!/usr/bin/env bash
# The snapshot tool: a good run writes a PNG; a bad argument exits 2 with one
# line on stderr and writes nothing.
set -euo pipefail
tool=$1 dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$tool" --piston1 30 --pince 90 --trans 8 "$dir/ok.png"
[ "$(head -c 8 "$dir/ok.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || { echo "FAIL: not a PNG"; exit 1; }
for args in "--piston1 76" "--trans 0" "--pince nan" "--piston2 abc" "--colour red" "--piston3 -75.5"; do
    status=0
    "$tool" $args "$dir/bad.png" 2>"$dir/err" || status=$?
    [ "$status" -eq 2 ] && [ "$(wc -l <"$dir/err")" -eq 1 ] && [ ! -e "$dir/bad.png" ] ||
        { echo "FAIL: '$args' exited $status, said: $(cat "$dir/err")"; exit 1; }
done

#!/usr/bin/env bash
# Builds the browser version with the web preset and leaves the static site
# (index.html, orvanel.css, orvanel.js, orvanel.wasm, the icon) in $site
# below, ready for any static host, and axe-core for the browser test
# beside it in $axe. With --serve [PORT] it also serves the site on
# 127.0.0.1 (port 8000 unless given) until stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_WEB_PACKAGES[@]}"

# Debian's node does not look in Debian's own module folder, where the
# acorn that emcc's JavaScript passes need is.
export NODE_PATH=/usr/share/nodejs
web=build-web # the web preset's binaryDir (CMakePresets.json)
site=$web/site axe=$web/axe
cmake --preset web >/dev/null
cmake --build --preset web
echo "The site: $site/"
ensure_axe "$axe" ||
    echo "axe-core could not be installed: the browser test will say it is missing" >&2

if [ "${1:-}" = --serve ]; then
    port=${2:-8000}
    echo "Serving Orvanel at http://127.0.0.1:$port/ (Ctrl+C stops it)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
fi

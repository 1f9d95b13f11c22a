#!/usr/bin/env bash
# Makes the Debian package for Linux users: builds the program with the deb
# preset (Release, with Debian's hardening flags), packs it with
# `cpack -G DEB`, and checks the package with lintian and its desktop entry
# with desktop-file-validate. Prints one line with the .deb's path (install
# it with `sudo apt install ./PATH`); exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}" "${ORVANEL_DEB_PACKAGES[@]}"

# The flags Debian builds its own packages with, every hardening option on.
# The preset reads them from these two. cpack installs what is built; the
# preset leaves out the "all" dependency, so that it does not build the
# tools and benchmarks first, one file at a time.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
ORVANEL_DEB_CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ORVANEL_DEB_LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export ORVANEL_DEB_CXXFLAGS ORVANEL_DEB_LDFLAGS
build=build-deb # the deb preset's binaryDir (CMakePresets.json)
cmake --preset deb >/dev/null
cmake --build --preset deb >/dev/null

rm -f "$build"/orvanel_*.deb
log=$build/cpack.log
(cd "$build" && cpack -G DEB) >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
deb=$(realpath "$build"/orvanel_*.deb)

desktop-file-validate app/orvanel.desktop
# Errors fail; warnings are shown. As root, lintian says it would rather
# not be: not worth a line here.
lintian --fail-on error "$deb" 2> >(grep -v '^running with root privileges' >&2)
echo "Debian package: $deb"

#!/usr/bin/env bash
# Makes the Debian package for Linux users: builds the program in
# build-deb/ (Release, with Debian's hardening flags), packs it with
# `cpack -G DEB`, and checks the package with lintian and its desktop entry
# with desktop-file-validate. Prints one line with the .deb's path; exits
# non-zero on any failure.
#
#   scripts/deb.sh        # then: sudo apt install ./build-deb/orvanel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${ORVANEL_BUILD_PACKAGES[@]}" "${ORVANEL_DEB_PACKAGES[@]}"

# The flags Debian builds its own packages with, every hardening option on.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# cpack installs what is built; without the "all" dependency it does not
# build the tools and benchmarks first, one file at a time.
cmake -S . -B build-deb -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build-deb -j2 --target orvanel >/dev/null

rm -f build-deb/orvanel_*.deb
log=build-deb/cpack.log
(cd build-deb && cpack -G DEB) >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
deb=$(realpath build-deb/orvanel_*.deb)

desktop-file-validate app/orvanel.desktop
# Errors fail; warnings are shown. As root, lintian says it would rather
# not be: not worth a line here.
lintian --fail-on error "$deb" 2> >(grep -v '^running with root privileges' >&2)
echo "Debian package: $deb"

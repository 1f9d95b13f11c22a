# Sourced by the scripts here: installs the Debian packages that are
# missing, with sudo when not root. Nothing is installed when all are there.

# What building and running the program needs.
ORVANEL_BUILD_PACKAGES=(
    cmake make g++ pkg-config
    libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
    libpng-dev
    libsdl2-dev libx11-dev libxrandr-dev
    xvfb xfonts-base x11-utils xdotool imagemagick
)

# The Windows build (windows-build.sh, windows-zip.sh).
ORVANEL_WINDOWS_PACKAGES=(cmake make mingw-w64 icoutils zip)

# The benchmarks (bench.sh) on top of building.
ORVANEL_BENCH_PACKAGES=(libbenchmark-dev libxtst-dev libxdamage-dev)

# What the tests and benchmarks need on top.
ORVANEL_TEST_PACKAGES=(
    libgtest-dev "${ORVANEL_BENCH_PACKAGES[@]}" "${ORVANEL_WINDOWS_PACKAGES[@]}"
    # A real X server whose display modes change, with and without a
    # window manager, and xrandr to read them.
    xserver-xorg-core xserver-xorg-video-dummy openbox x11-xserver-utils
    # The Windows program under Wine, and the X libraries Wine's X11
    # driver loads (only recommended by Debian's wine packages); its zip.
    wine wine64 python3 unzip
    # The message fuzzer (libFuzzer) and the sanitizer runtimes for clang.
    clang libclang-rt-dev
    # The layout check: every C and C++ file as .clang-format says.
    clang-format
    libgl1 libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1
    libxrandr2 libxrender1 libxxf86vm1
    # The Debian package's test: dpkg-shlibdeps for cpack.
    dpkg-dev
)

# What making the Debian package needs on top of building (deb.sh): its
# dependencies (dpkg-shlibdeps), its checks.
ORVANEL_DEB_PACKAGES=(
    dpkg-dev lintian desktop-file-utils
)

# The browser build (web.sh) and its test: Emscripten with its WebGL
# bindings and its Node passes, and a headless browser to run the page in.
ORVANEL_WEB_PACKAGES=(cmake make emscripten nodejs node-acorn chromium python3)

# The browser test's accessibility check: axe-core from the npm registry, at
# one version, into a folder of the build's own (never into the site, which
# does not carry it: the test brings it into the page).
ORVANEL_AXE_VERSION=4.14.1

ensure_axe() {
    local folder=$1
    grep -qs "\"version\": \"$ORVANEL_AXE_VERSION\"" "$folder/node_modules/axe-core/package.json" &&
        return 0
    command -v npm >/dev/null || ensure_packages npm
    echo "Installing axe-core $ORVANEL_AXE_VERSION into $folder"
    npm install --prefix "$folder" --no-save --no-package-lock --no-audit --no-fund --silent \
        "axe-core@$ORVANEL_AXE_VERSION"
}

ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

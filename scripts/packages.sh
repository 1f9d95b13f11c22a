# Sourced by run.sh and test.sh: installs the Debian packages that are
# missing, with sudo when not root. Nothing is installed when all are there.

# What building and running the program needs.
ORVANEL_BUILD_PACKAGES=(
    cmake make g++ pkg-config
    libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
    libpng-dev
)

# What the tests and benchmarks need on top.
ORVANEL_TEST_PACKAGES=(
    libgtest-dev libbenchmark-dev
    mingw-w64 icoutils
)

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

#!/usr/bin/env bash
# Installs the Debian 12 packages Vellomar needs (only those missing) and builds it into build/.
# Sourced by run.sh and test.sh.
set -euo pipefail

VELLOMAR_PACKAGES=(
    cmake ninja-build g++ pkg-config python3
    qt6-base-dev libgl-dev
    libopencc-dev libopencc-data opencc libpcre2-dev
    libicu-dev
    libquazip1-qt6-dev libdeflate-dev epubcheck
    fonts-wqy-microhei qt6-translations-l10n
)

vellomar_install_packages() {
    local missing=()
    for p in "${VELLOMAR_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "These Debian packages are missing: ${missing[*]}" >&2
            echo "Run this script as root, or install them with: apt-get install ${missing[*]}" >&2
            exit 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# vellomar_build ROOT [TYPE [TARGET...]]: configures and builds ROOT/build, only the targets
# named (the programs, for run.sh) or everything, tests included (test.sh).
vellomar_build() {
    local root="$1"
    local type="${2:-RelWithDebInfo}"
    shift $(( $# < 2 ? $# : 2 ))
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE="$type" >/dev/null
    if [ "$#" -gt 0 ]; then
        cmake --build "$root/build" --parallel "$(nproc)" --target "$@"
    else
        cmake --build "$root/build" --parallel "$(nproc)"
    fi
}

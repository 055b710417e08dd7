#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Halvory
# needs. Only missing packages are installed, so a second run costs nothing.
set -euo pipefail

PACKAGES=(
    # toolchain
    build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev clang-format
    clang-tidy
    # client and engine
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-webengine-dev qt6-wayland libgl-dev
    libcurl4-openssl-dev libpng-dev libjpeg-dev zlib1g-dev libssl-dev libarchive-dev libsdl2-dev
    fonts-dejavu-core
    # reference service
    libsqlite3-dev nlohmann-json3-dev libcpp-httplib-dev nginx openssl
    # tests: unit tests, a real display with a window manager, screenshots
    libgtest-dev libgmock-dev xvfb openbox xdotool wmctrl x11-utils x11-apps imagemagick
)

# One dpkg-query for all: it lists the known ones, unknown names go to stderr.
declare -A installed=()
while read -r pkg status; do
    [[ "$status" == "installed" ]] && installed["${pkg%%:*}"]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${PACKAGES[@]}" 2>/dev/null || true)

missing=()
for pkg in "${PACKAGES[@]}"; do
    [[ -n "${installed[$pkg]:-}" ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
if ((EUID != 0)); then
    echo "install-deps: missing packages and not running as root; run as root:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"

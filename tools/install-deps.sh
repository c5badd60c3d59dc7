#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the demo and the tests
# need and this machine does not have yet. Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake make
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # lupdate and lrelease with their CMake package, and the toolkit's own Russian
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    libsodium-dev
    python3 unzip zip curl
    xvfb xauth
    binutils-mingw-w64-x86-64
    clang libclang-rt-14-dev clang-format
    fonts-dejavu-core
    fonts-manrope
)
[ "${1:-}" = "--bench" ] && packages+=(hyperfine time)
# The Windows build: the mingw-w64 cross compiler (posix threads, which Qt
# needs), the tools to unpack, patch and bootstrap Debian's qtbase and
# libsodium sources, NSIS and osslsigncode for the installer, and Wine with the
# X tools the Wine tests and benchmark use (the benchmark's window watcher is
# built against libX11 and libXdamage; its network namespace needs iproute2).
[ "${1:-}" = "--windows" ] && packages+=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    libz-mingw-w64-dev ninja-build dpkg-dev patch xz-utils perl autoconf automake libtool
    nsis osslsigncode
    wine wine64 xdotool x11-utils imagemagick libx11-dev libxdamage-dev libxtst-dev iproute2
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

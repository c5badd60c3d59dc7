#!/usr/bin/env bash
# Builds a static libsodium for 64-bit Windows from Debian's own source package
# (the version of the host's libsodium-dev, with Debian's patches) with the
# mingw-w64 compiler the launcher uses, and installs it into the user's cache,
# keyed by that version and the options below, so it is built once. Prints the
# prefix.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

version="$(dpkg-query -W -f='${Version}' libsodium-dev)"   # e.g. 1.0.18-1+deb12u1
options=(--host=x86_64-w64-mingw32 --disable-shared --enable-static --disable-dependency-tracking
         CC=x86_64-w64-mingw32-gcc-posix)
key="$(printf '%s\n' "$version" "${options[@]}" | sha256sum | cut -c1-12)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/velor-launcher"
prefix="$cache/libsodium-${version%%-*}-mingw64-static-$key"
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

mkdir -p "$cache"
work="$(mktemp -d "${TMPDIR:-/tmp}/velor-sodium.XXXXXX")"
trap 'rm -rf "$work"' EXIT
log="$work/build.log"
echo "Building static libsodium $version for Windows into $prefix (once; a few minutes)" >&2
"$here/debian-source.sh" libsodium "$version" "$work"

cd "$work/src"
# Debian bootstraps the build system from the git export the same way.
if ! { autoreconf -fi && ./configure --prefix="$prefix" "${options[@]}" && make -j "$(nproc)" &&
       rm -rf "$prefix" && make install; } >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    cp "$log" "$cache/libsodium-build-failed.log"
    echo "libsodium build failed; log: $cache/libsodium-build-failed.log" >&2
    exit 1
fi
touch "$prefix/.complete"
echo "$prefix"

#!/usr/bin/env bash
# Builds a static Qt for 64-bit Windows from Debian's own qtbase source package
# (the version of the host Qt, with Debian's patches) and installs it into the
# user's cache, keyed by that version and the configure options below, so it
# is built once and reused by every later `make windows`. Prints the prefix.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
toolchain="$here/../../cmake/toolchains/mingw-w64-x86_64.cmake"

version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"   # e.g. 6.4.2+dfsg-10
options=(
    -static -release -prefix @PREFIX@
    -nomake examples -nomake tests
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz
    -qt-freetype                  # without it there is no offscreen plugin
    -schannel -no-openssl         # TLS through Windows' own Schannel
    -opengl no -no-dbus -no-icu
    -no-feature-tabletevent       # Debian's source has no wintab headers
    -no-feature-direct2d -no-feature-directwrite3   # only both together link
    -no-feature-sql -no-feature-printsupport -no-feature-xml -no-feature-concurrent
    -no-feature-vulkan
)
key="$(printf '%s\n' "$version" "${options[@]}" | sha256sum | cut -c1-12)"
prefix="${XDG_CACHE_HOME:-$HOME/.cache}/velor-launcher/qt-${version%%+*}-mingw64-static-$key"
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

mkdir -p "$(dirname "$prefix")"
work="$(mktemp -d "${TMPDIR:-/tmp}/velor-qt.XXXXXX")"
trap 'rm -rf "$work"' EXIT
log="$work/build.log"
echo "Building static Qt $version for Windows into $prefix (once; 10-15 min)" >&2

"$here/debian-source.sh" qt6-base "$version" "$work"

mkdir -p "$work/build"
cd "$work/build"
args=("${options[@]/@PREFIX@/$prefix}")
if ! { "$work/src/configure" "${args[@]}" -qt-host-path /usr -- -G Ninja \
         -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
         -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake &&
       cmake --build . --parallel "$(nproc)" &&
       rm -rf "$prefix" && cmake --install . ; } >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    cp "$log" "${XDG_CACHE_HOME:-$HOME/.cache}/velor-launcher/qt-build-failed.log"
    echo "Qt build failed; log: ${XDG_CACHE_HOME:-$HOME/.cache}/velor-launcher/qt-build-failed.log" >&2
    exit 1
fi
touch "$prefix/.complete"
echo "$prefix"

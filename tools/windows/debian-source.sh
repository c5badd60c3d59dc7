#!/usr/bin/env bash
# Fetches one of Debian's source packages and unpacks it with Debian's patches
# applied (its security fixes among them), for the cached Windows builds:
#   debian-source.sh <package> <version> <work folder>   -> <work folder>/src
# Uses a deb-src twin of every configured Debian source in a private apt
# configuration: the system's lists and caches stay as they are.
set -euo pipefail
package="$1" version="$2" work="$3"
log="$work/build.log"
mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial" "$work/apt/cache"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f"
done > "$work/apt/sources.list.d/src.list"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$work/apt/sources.list.d/$(basename "$f")"
done
apt_private=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$work/apt/sources.list.d"
             -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache"
             -o APT::Sandbox::User="$(id -un)")
apt-get "${apt_private[@]}" update -q >>"$log" 2>&1
(cd "$work" && apt-get "${apt_private[@]}" source --download-only "$package=$version" >>"$log" 2>&1)
dpkg-source -x "$work/$package"_*.dsc "$work/src" >>"$log" 2>&1

#!/usr/bin/env bash
# Writes what the community publishes for a Windows release (make release):
#   release.sh <windows build folder> <output folder> <base URL> [changelog]
# into <output folder>:
#   VelorLauncher-<version>-Setup.exe   the installer, for the website's download button
#   VelorLauncher-<version>.zip         the update archive the launcher fetches: that installer
#   version.json                        the answer for GET /launcher/version
#   symbols/VelorLauncher.exe           the unstripped launcher, for tools/symbolize.sh (never published)
# <base URL> is the https:// folder the files will be published in.
# UPDATE_KEY is the private update signing key; $VELOR_UPDATESIGN signs
# version.json with it, and its public half must be one of the keys compiled
# into the build. UNSIGNED=1 instead, and only for a build without keys, makes
# an unsigned release. Whatever is refused leaves the output folder absent, so
# that no older or half-made release can be published by mistake.
set -euo pipefail
build="$1" out="${2:?names the output folder}" url="${3%/}" changelog="${4:-}" key="${UPDATE_KEY:-}" unsigned="${UNSIGNED:-}"
rm -rf "$out"
trap 'rm -rf "$out"' EXIT
refuse() { echo "release: $*" >&2; exit 2; }
case "$url" in
    https://?*|http://127.0.0.1[:/]*|http://localhost[:/]*) ;;   # plain http on loopback only, for tests
    *) refuse "RELEASE_URL must be the https:// folder the files are published in (got '$url')" ;;
esac
config="$build/generated/velorconfig.h"
[ -f "$config" ] || refuse "$config is missing (make windows)"
version="$(sed -n 's/^inline constexpr char version\[\] = "\([^"]*\)".*$/\1/p' "$config")"
keys="$(sed -n 's/^inline constexpr char updatePublicKeys\[\] = "\([^"]*\)".*$/\1/p' "$config")"
if [ -n "$unsigned" ]; then
    [ -z "$key" ] || refuse "give KEY or UNSIGNED=1, not both"
    [ -z "$keys" ] || refuse "this build installs only updates signed by one of its keys ($keys); an unsigned release would be refused by every launcher, so give KEY=<private update key file>"
elif [ -z "$keys" ]; then
    refuse "this build has no update keys compiled in, so its launchers would install whatever the web server announces. Make a key (make update-key KEY=<file kept offline>), build with it (make windows UPDATE_KEYS=<public key>) and give KEY=<that private key file>; or, for a community without keys yet, UNSIGNED=1"
elif [ -z "$key" ]; then
    refuse "this build installs only signed updates; give KEY=<private update key file> (one of: $keys)"
else
    public="$("${VELOR_UPDATESIGN:?names the signing tool; make release sets it}" public "$key")" || refuse "cannot read a private update key from $key"
    case " $keys " in
        *" $public "*) ;;
        *) refuse "$key is not one of the update keys this build accepts ($keys); its public key is $public" ;;
    esac
fi
setup="VelorLauncher-$version-Setup.exe"
zip="VelorLauncher-$version.zip"
[ -f "$build/$setup" ] || refuse "$build/$setup is missing (make windows)"
[ -f "$build/symbols/VelorLauncher.exe" ] || refuse "$build/symbols/VelorLauncher.exe is missing (make windows)"

mkdir -p "$out"
cp "$build/$setup" "$out/"
# Kept with the release it belongs to: a crash report of these players names its frames with it alone.
mkdir -p "$out/symbols"
cp "$build/symbols/VelorLauncher.exe" "$out/symbols/"
# Stored, not deflated: the installer is LZMA-compressed already, and a stored
# entry unpacks with any unzip, PowerShell's Expand-Archive included.
(cd "$out" && zip -q -0 -X "$zip" "$setup")
if [ -n "$key" ]; then
    "$VELOR_UPDATESIGN" sign "$key" "$out/$zip" "$version" "$url/$zip" "$changelog" >"$out/version.json"
else
    python3 - "$out/version.json" "$version" "$url/$zip" "$changelog" "$(sha256sum "$out/$zip" | cut -c1-64)" <<'PY'
import json, sys
path, version, url, changelog, sha256 = sys.argv[1:]
with open(path, "w", encoding="utf-8") as fh:
    json.dump({"version": version, "download_url": url, "changelog": changelog, "sha256": sha256},
              fh, ensure_ascii=False, indent=2)
    fh.write("\n")
PY
    echo "release: WARNING: version.json is UNSIGNED (UNSIGNED=1): launchers of this build install whatever update the web server announces, so whoever takes over that server can run a program on every player's machine. Make a key with make update-key and build with it." >&2
fi
trap - EXIT
echo "release $version in $out: $setup, $zip, version.json ($([ -n "$key" ] && echo signed || echo UNSIGNED))"

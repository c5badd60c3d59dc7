#!/usr/bin/env bash
# Writes what the community publishes for a Windows release (make release):
#   release.sh <windows build folder> <output folder> <base URL> [changelog]
# into <output folder>:
#   VelorLauncher-<version>-Setup.exe   the installer, for the website's download button
#   VelorLauncher-<version>.zip         the update archive the launcher fetches: that installer
#   version.json                        the answer for GET /launcher/version
# <base URL> is the https:// folder the files will be published in. With
# UPDATE_KEY (the private update signing key) version.json is signed by
# $VELOR_UPDATESIGN; a build with update keys compiled in accepts nothing else,
# so the key must then be one of them.
set -euo pipefail
build="$1" out="$2" url="${3%/}" changelog="${4:-}" key="${UPDATE_KEY:-}"
case "$url" in
    https://?*|http://127.0.0.1[:/]*|http://localhost[:/]*) ;;   # plain http on loopback only, for tests
    *) echo "release: RELEASE_URL must be the https:// folder the files are published in (got '$url')" >&2; exit 2 ;;
esac
config="$build/generated/velorconfig.h"
version="$(sed -n 's/^inline constexpr char version\[\] = "\([^"]*\)".*$/\1/p' "$config")"
keys="$(sed -n 's/^inline constexpr char updatePublicKeys\[\] = "\([^"]*\)".*$/\1/p' "$config")"
if [ -n "$key" ] && [ -z "$keys" ]; then
    echo "release: this build has no update keys compiled in (VELOR_UPDATE_PUBLIC_KEYS), so it would check no signature" >&2
    exit 2
elif [ -n "$key" ]; then
    public="$("${VELOR_UPDATESIGN:?names the signing tool; make release sets it}" public "$key")"
    case " $keys " in
        *" $public "*) ;;
        *) echo "release: $key is not one of the update keys this build accepts ('$keys')" >&2; exit 2 ;;
    esac
elif [ -n "$keys" ]; then
    echo "release: this build installs only signed updates; give KEY=<private update key file>" >&2
    exit 2
fi
setup="VelorLauncher-$version-Setup.exe"
zip="VelorLauncher-$version.zip"
[ -f "$build/$setup" ] || { echo "release: $build/$setup is missing (make windows)" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out"
cp "$build/$setup" "$out/"
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
fi
echo "release $version in $out: $setup, $zip, version.json${key:+ (signed)}"

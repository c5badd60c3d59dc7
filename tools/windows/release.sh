#!/usr/bin/env bash
# Writes what the community publishes for a Windows release (make release):
#   release.sh <windows build folder> <output folder> <base URL> [changelog]
# into <output folder>:
#   VelorLauncher-<version>-Setup.exe   the installer, for the website's download button
#   VelorLauncher-<version>.zip         the update archive the launcher fetches: that installer
#   version.json                        the answer for GET /launcher/version
# <base URL> is the https:// folder the files will be published in.
set -euo pipefail
build="$1" out="$2" url="${3%/}" changelog="${4:-}"
case "$url" in
    https://?*|http://127.0.0.1[:/]*|http://localhost[:/]*) ;;   # plain http on loopback only, for tests
    *) echo "release: RELEASE_URL must be the https:// folder the files are published in (got '$url')" >&2; exit 2 ;;
esac
version="$(sed -n 's/^inline constexpr char version\[\] = "\(.*\)";.*$/\1/p' "$build/generated/velorconfig.h")"
setup="VelorLauncher-$version-Setup.exe"
zip="VelorLauncher-$version.zip"
[ -f "$build/$setup" ] || { echo "release: $build/$setup is missing (make windows)" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out"
cp "$build/$setup" "$out/"
# Stored, not deflated: the installer is LZMA-compressed already, and a stored
# entry unpacks with any unzip, PowerShell's Expand-Archive included.
(cd "$out" && zip -q -0 -X "$zip" "$setup")
python3 - "$out/version.json" "$version" "$url/$zip" "$changelog" "$(sha256sum "$out/$zip" | cut -c1-64)" <<'PY'
import json, sys
path, version, url, changelog, sha256 = sys.argv[1:]
with open(path, "w", encoding="utf-8") as fh:
    json.dump({"version": version, "download_url": url, "changelog": changelog, "sha256": sha256},
              fh, ensure_ascii=False, indent=2)
    fh.write("\n")
PY
echo "release $version in $out: $setup, $zip, version.json"

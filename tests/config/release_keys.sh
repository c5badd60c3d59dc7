#!/usr/bin/env bash
# make release against a fake Windows build: without its key nothing is published, not even an older release.
set -euo pipefail
export VELOR_UPDATESIGN="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/generated" "$work/out" "$work/symbols"
touch "$work/VelorLauncher-1.0.0-Setup.exe" "$work/out/VelorLauncher-0.9.0.zip" "$work/symbols/VelorLauncher.exe"
builds() { printf 'inline constexpr char version[] = "1.0.0";\ninline constexpr char updatePublicKeys[] = "%s";\n' "$1" >"$work/generated/velorconfig.h"; }
release() { "$(dirname "$0")/../../tools/windows/release.sh" "$work" "$work/out" https://cdn.example.org 2>"$work/err"; }
refused() { ! release && ! test -e "$work/out"; }
builds ""
refused
UNSIGNED=1 release
grep -q WARNING "$work/err"
[ "$(grep -c signature "$work/out/version.json")" = 0 ]
builds "$("$1" keygen "$work/right.key")"
refused
"$1" keygen "$work/wrong.key" >/dev/null
UPDATE_KEY="$work/wrong.key" refused
UPDATE_KEY="$work/right.key" release
grep -q '"signature"' "$work/out/version.json"
test -f "$work/out/symbols/VelorLauncher.exe"

#!/usr/bin/env bash
# Makes a throwaway Wine prefix that claims to be Windows 10:
#   wineprefix.sh <folder>     (the folder is replaced)
# Wine's own Mono and Gecko are switched off: their download prompts would
# wait for a click that never comes.
set -euo pipefail
# HOME too: Wine links the prefix's Desktop and Documents to the home folder.
export WINEPREFIX="$1" HOME="$1/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
rm -rf "$WINEPREFIX"
mkdir -p "$HOME"
wine wineboot --init
wine winecfg /v win10
wineserver --wait

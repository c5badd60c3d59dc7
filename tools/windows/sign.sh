#!/usr/bin/env bash
# Authenticode-signs a Windows program in place with osslsigncode:
#   sign.sh <file.exe> <certificate.pem> <key.pem>
# Without a time-stamp server: the build machine reaches no outside service.
set -euo pipefail
file="$1" cert="$2" key="$3"
osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "VELOR RP Launcher" \
    -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"

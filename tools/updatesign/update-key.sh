#!/usr/bin/env bash
# make update-key KEY=<file>: a new key pair for signing updates. The private
# key goes to KEY, a new file only its owner may read, which must lie outside
# this repository (and outside any other working tree, where it could be
# committed); it is best kept offline. The public key is printed in the form
# VELOR_UPDATE_PUBLIC_KEYS takes.
#   update-key.sh <velor-updatesign> <private key file>
set -euo pipefail
tool="$1" key="${2:-}"
if [ -z "$key" ]; then
    echo "usage: make update-key KEY=<new private key file, outside the repository, best on offline storage>" >&2
    exit 2
fi
root="$(cd "$(dirname "$0")/../.." && pwd -P)"
folder="$(cd "$(dirname "$key")" 2>/dev/null && pwd -P)" || { echo "update-key: no folder $(dirname "$key")" >&2; exit 2; }
case "$folder/" in
    "$root"/*) inside=1 ;;
    *) inside="$(git -C "$folder" rev-parse --is-inside-work-tree 2>/dev/null || true)" ;;
esac
if [ -n "$inside" ]; then
    echo "update-key: $folder is inside a repository; the private key must never be in one" >&2
    exit 2
fi
public="$("$tool" keygen "$key")"
cat <<TEXT
The private key is in $key (readable by you only). Keep it offline; never put
it on the web server, in a repository or in CI logs, and keep a backup.

The public key, for building the launcher:
  -DVELOR_UPDATE_PUBLIC_KEYS=$public
While moving to a new key, give the old and the new one:
  -DVELOR_UPDATE_PUBLIC_KEYS=<old key>,$public
TEXT

#!/usr/bin/env bash
# Runs the README's commands for building the launcher for a community's own
# hosts, exactly as written there, so that they cannot silently stop working.
set -euo pipefail
cd "$(dirname "$0")/.."
commands=$(awk '/^## Building for the community/ { section = 1 }
                section && /^```sh/ { inside = 1; next }
                inside && /^```/ { exit }
                inside' README.md)
[ -n "$commands" ] || { echo "README.md shows no release build commands" >&2; exit 1; }
CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-$(nproc)}" bash -euo pipefail -c "$commands"

#!/usr/bin/env bash
# Client installer download: the launcher's play action against curl, both
# fetching the same 256 MiB file from a loopback server in its own process.
#   bench/launch/run.sh <build folder>
set -euo pipefail
build="$1"
QT_QPA_PLATFORM=offscreen "$build/bench/launch/bench_installer_download" \
    "$build/bench/launch/bench_installer_server" "${VELOR_BENCH_RUNS:-5}" 256

#!/usr/bin/env bash
# Client installer download: the launcher's play action against curl, both
# fetching the same 256 MiB file from a loopback server in its own process;
# then a 256 MiB download over a 32 MiB/s line that breaks once at its middle,
# against the same download unbroken.
#   bench/launch/run.sh <build folder>
set -euo pipefail
build="$1"
QT_QPA_PLATFORM=offscreen "$build/bench/launch/bench_installer_download" \
    "$build/bench/launch/bench_installer_server" "${VELOR_BENCH_RUNS:-5}" 256
"$build/bench/launch/bench_resumed_download" \
    "$build/bench/launch/bench_installer_server" "${VELOR_RESUME_RUNS:-3}" 256 32

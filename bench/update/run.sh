#!/usr/bin/env bash
# Self-update: the launcher's Updater against curl + unzip, both fetching the
# same 200 MiB update archive from a loopback server in its own process.
#   bench/update/run.sh <build folder>
set -euo pipefail
build="$1"
"$build/bench/update/bench_update" "$build/bench/update/bench_update_server" "${VELOR_BENCH_RUNS:-5}" 200

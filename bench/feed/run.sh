#!/usr/bin/env bash
# News feed benchmarks, offscreen: 1,000 pictures over loopback (a separate
# server process, a fresh launcher process per run), the news row's repaint
# and the memory of one huge picture; then the worst news answers and
# pictures within the launcher's limits, memory and GUI blocks.
#   bench/feed/run.sh <build folder>
set -euo pipefail
build="$(cd "${1:-build/bench}" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config" "$scratch/data" && mkdir -m 700 "$scratch/runtime"
export HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch" QT_QPA_PLATFORM=offscreen
"$build/bench/feed/bench_feed" --pictures "$build/bench/feed/pictures" "${FEED_BENCH_RUNS:-3}"
"$build/bench/feed/bench_feed_extremes" --runs "${FEED_BENCH_RUNS:-3}"

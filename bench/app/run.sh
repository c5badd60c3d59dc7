#!/usr/bin/env bash
# Start-up benchmarks: under Xvfb and offscreen.
set -euo pipefail
build="$1"
exe="$build/bench/app/bench_startup"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "$exe" 15
QT_QPA_PLATFORM=offscreen "$exe" 15

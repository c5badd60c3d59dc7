#!/usr/bin/env bash
# Regenerates docs/screenshot.png: the launcher, headless, with the demo
# backend's data (online count and news pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset demo -DVELOR_BUILD_TOOLS=ON >/dev/null
cmake --build --preset demo -j "$(nproc)" --target velor_screenshot

log="$(mktemp)"
python3 tools/demo/demo_backend.py --port 47800 --quiet >"$log" 2>&1 &
backend=$!
trap 'kill $backend 2>/dev/null; wait $backend 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 1 100); do grep -q ready "$log" && break; sleep 0.1; done

mkdir -p docs
QT_QPA_PLATFORM=offscreen build/demo/tools/screenshot/velor_screenshot docs/screenshot.png
echo "docs/screenshot.png written"

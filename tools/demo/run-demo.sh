#!/usr/bin/env bash
# Opens the launcher against the demo backend on 127.0.0.1:47800 and stops the
# backend again when the launcher closes (or this script is interrupted).
#   tools/demo/run-demo.sh <path to VelorLauncher built with the demo preset>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
launcher="${1:?usage: run-demo.sh <VelorLauncher>}"
port=47800

log="$(mktemp)"
python3 "$here/demo_backend.py" --port "$port" >"$log" 2>&1 &
backend=$!
cleanup() {
    kill "$backend" 2>/dev/null || true
    wait "$backend" 2>/dev/null || true
    rm -f "$log"
}
trap cleanup EXIT INT TERM

# Wait for the ready line, or for the backend to give up (port taken).
for _ in $(seq 1 100); do
    grep -q "ready" "$log" && break
    if ! kill -0 "$backend" 2>/dev/null; then
        echo "The demo backend could not start on 127.0.0.1:$port:" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done
grep -q "ready" "$log" || { echo "The demo backend did not come up on port $port" >&2; exit 1; }
echo "Demo backend on http://127.0.0.1:$port — opening the launcher."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: running under Xvfb (nothing will be visible)." >&2
    xvfb-run -a "$launcher"
else
    "$launcher"
fi

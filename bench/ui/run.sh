#!/usr/bin/env bash
set -euo pipefail
"$1/bench/ui/bench_paint"

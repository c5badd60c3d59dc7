#!/usr/bin/env bash
# Runs every area's benchmarks and prints one table: medians with minimum and
# maximum, each against its same-run baseline.
#   bench/run-benchmarks.sh <build folder>
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build/bench}" && pwd)"
results="$(mktemp)"
trap 'rm -f "$results"' EXIT

# Shows each line on stderr as it comes and passes it on. (tee /dev/stderr
# would open stderr afresh and empty the log file it may be redirected to.)
show() { while IFS= read -r line; do printf '%s\n' "$line" >&2; printf '%s\n' "$line"; done; }

for area in app ui launch feed update; do
    script="$here/$area/run.sh"
    [ -x "$script" ] || continue
    echo "== $area" >&2
    "$script" "$build" | show | grep -P '^BENCH\t' >> "$results" || echo "   ($area: a benchmark failed)" >&2
done

python3 - "$results" <<'PY'
import sys
rows = [l.rstrip('\n').split('\t')[1:] for l in open(sys.argv[1]) if l.startswith('BENCH\t')]
def number(x):
    try:
        return float(x)
    except ValueError:
        return None
def fmt(x):
    # A failed measurement carries its reason in place of the figure.
    v = number(x)
    if v is None:
        return x
    return f"{v:.3g}" if abs(v) < 100 else f"{v:.0f}"
print()
print("| benchmark | median | min | max | unit | baseline | baseline median (min–max) | ratio | target |")
print("|---|---|---|---|---|---|---|---|---|")
for r in rows:
    name, unit, med, mn, mx, bname, bmed, bmin, bmax, target = (r + [''] * 10)[:10]
    ratio = ''
    if bname and number(med) is not None and float(bmed or 0) != 0:
        r = float(med) / float(bmed)
        ratio = f"{r:.2f}×" if r >= 0.1 else f"{r:.2g}×"
    base = f"{fmt(bmed)} ({fmt(bmin)}–{fmt(bmax)})" if bname else ''
    print(f"| {name} | {fmt(med)} | {fmt(mn)} | {fmt(mx)} | {unit} | {bname} | {base} | {ratio} | {target} |")
PY

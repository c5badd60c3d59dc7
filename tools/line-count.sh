#!/usr/bin/env bash
# Test code against product code, in non-blank lines. The suite stays at or
# under 0.40 times the code it tests: tests earn their place by catching faults.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r cat | grep -cv '^\s*$' || true; }
product=$(git ls-files -- app ui net launch feed update config | grep -E '(\.(cpp|h|in)|CMakeLists\.txt)$' | count)
tests=$(git ls-files -- tests fuzz | grep -vE '\.(png|jpg|jpeg|zip|crt|key|pem|ico|bin)$' | grep -v '^fuzz/corpus/' | count)
ratio=$(awk -v t="$tests" -v p="$product" 'BEGIN { printf "%.2f", t / p }')
echo "Product code: $product lines; test code: $tests lines; ratio $ratio (at most 0.40)."
awk -v t="$tests" -v p="$product" 'BEGIN { exit !(t > 0.40 * p) }' && { echo "The suite outgrew the code it tests." >&2; exit 1; }
exit 0

#!/usr/bin/env bash
# .clang-format holds for the whole tree.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over the code below the windows (every
# library's non-ui sources); any finding fails. Needs the compile database of a configured build.
# Usage: scripts/tidy.sh [build folder]   (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
[[ -f $build/compile_commands.json ]] || { echo "tidy: no $build/compile_commands.json" >&2; exit 1; }
mapfile -t sources < <(ls src/*/*.cpp)
# run-clang-tidy's own status is not enough (it fails for reasons besides findings, and a
# pipeline would hide it), so the findings are counted from what it printed.
output=$(run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${sources[@]/#/$PWD/}" 2>&1 || true)
if grep -E "warning:|error:" <<<"$output" | grep -v "warnings generated" | sed 's/\x1b\[[0-9;]*m//g' | sort -u; then
  echo "tidy: findings above" >&2
  exit 1
fi
echo "tidy: no findings in ${#sources[@]} files"

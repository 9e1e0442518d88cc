#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format makes of it with the
# repository's .clang-format; prints the files. Format one with `clang-format -i FILE`, or only
# the lines a branch changed with `git clang-format <base>`.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.h.in')
differ=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || differ+=("$file")
done
if ((${#differ[@]})); then
  printf 'format: %s differs from clang-format\n' "${differ[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files as clang-format writes them"

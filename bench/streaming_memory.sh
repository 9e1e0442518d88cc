#!/usr/bin/env bash
# Peak resident memory of encrypting and decrypting a 1 GiB file through the streaming
# FileCrypter (quillon-tool encrypt / decrypt), measured with /usr/bin/time -v.
# Fails when either run peaks at 64 MiB or more, or the round trip changes a byte.
# Usage: bench/streaming_memory.sh [build-dir]   (default build/bench, a release build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
limit_kib=$((64 * 1024))
if [ ! -x "$build/src/tool/quillon-tool" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON \
    -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
  cmake --build "$build" --target quillon-tool >/dev/null
fi
tool=$build/src/tool/quillon-tool

work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/plain"
export QUILLON_BENCH_KEY="memory benchmark key"

measure() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -v "$@" 2>"$work/time.txt"
  local peak elapsed
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
  awk -v l="$label" -v p="$peak" -v e="$elapsed" \
    'BEGIN { printf "%-8s peak RSS %7d KiB (%5.1f MiB), elapsed %s\n", l, p, p / 1024, e }'
  if [ "$peak" -ge "$limit_kib" ]; then
    echo "FAIL: $label peaked at or above 64 MiB" >&2
    exit 1
  fi
}

measure encrypt "$tool" encrypt --key-env QUILLON_BENCH_KEY "$work/plain" "$work/plain.qvr"
measure decrypt "$tool" decrypt --key-env QUILLON_BENCH_KEY "$work/plain.qvr" "$work/back"
cmp "$work/plain" "$work/back"
echo "round trip of $(stat -c %s "$work/plain") bytes intact; both runs below 64 MiB"

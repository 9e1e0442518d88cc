#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in a build folder of their own and runs each (one per core at a
# time) for QUILLON_FUZZ_SECONDS (default 20) from its seeds in fuzz/corpus/<target>.
# A crash, sanitizer report or broken check fails the run; the input that caused it is kept in
# <build>/findings/ (replay: <build>/fuzz/fuzz_<target> <file>). Inputs found to reach new code
# are kept in <build>/runs/<target>/corpus for the next local run.
# Usage: scripts/fuzz.sh [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUILLON_FUZZ_BUILD:-build/fuzz}
seconds=${QUILLON_FUZZ_SECONDS:-20}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillon_fuzz

symbolizer=/usr/lib/llvm-14/bin/llvm-symbolizer
if [[ -x $symbolizer ]]; then
  export ASAN_SYMBOLIZER_PATH=$symbolizer UBSAN_SYMBOLIZER_PATH=$symbolizer
fi

if (($#)); then
  targets=("$@")
else
  targets=()
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
mkdir -p "$build/findings"

run_target() {
  local target=$1 build=$2 seconds=$3
  local work="$build/runs/$target"
  rm -rf "$work/tmp"
  mkdir -p "$work/corpus" "$work/tmp"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096
                 -print_final_stats=1 -artifact_prefix="$build/findings/$target-")
  [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
  if TMPDIR="$work/tmp" "$build/fuzz/fuzz_$target" "${options[@]}" "$work/corpus" \
      "fuzz/corpus/$target" >"$work/log" 2>&1; then
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, nothing found"
    rm -rf "$work/tmp"
  else
    echo "fuzz_$target: FAILED (log: $work/log)"
    grep -v '^#\|^INFO:\|NEW_FUNC' "$work/log" | tail -40
    rm -rf "$work/tmp"
    return 1
  fi
}
export -f run_target

printf '%s\n' "${targets[@]}" |
  xargs -P "$(nproc)" -I{} bash -c 'run_target "$@"' _ {} "$build" "$seconds"

#!/usr/bin/env bash
# Builds the suites whose code runs threads (marked THREADS in tests/) with ThreadSanitizer in
# a build folder of their own, and runs them. Any data race or lock-order report fails the run.
# Usage: scripts/tsan.sh [ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUILLON_TSAN_BUILD:-build/tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQUILLON_TSAN=ON -DQUILLON_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target threaded_suites
cd "$build"
TSAN_OPTIONS="second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  ctest --output-on-failure -j"$(nproc)" -L threads "$@"

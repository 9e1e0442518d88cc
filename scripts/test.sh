#!/usr/bin/env bash
# Builds Quillon with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test suite.
# Usage: scripts/test.sh [ctest arguments, e.g. -L unit]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUILLON_TEST_BUILD:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"

#!/usr/bin/env bash
# Checks the layers (scripts/check_layers.py) and the format (scripts/check_format.sh), builds
# Quillon with AddressSanitizer and UndefinedBehaviorSanitizer (warnings are errors) and runs
# every test suite; then clang-tidy over the code below the windows (scripts/tidy.sh), the
# threaded suites under ThreadSanitizer (scripts/tsan.sh) and every fuzz target for a bounded
# time (scripts/fuzz.sh), each in a build folder of its own.
# Usage: scripts/test.sh [ctest arguments, e.g. -L unit]
#   With ctest arguments only the sanitizer build's suites run, as chosen.
#   QUILLON_FUZZ_SECONDS sets the time of each fuzz target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

# The layers and the format first: an include that goes upward or a file clang-format would
# change fails the run before anything is built.
/usr/bin/python3 scripts/check_layers.py
bash scripts/check_format.sh

build=${QUILLON_TEST_BUILD:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")

if (($# == 0)); then
  echo "== clang-tidy"
  bash scripts/tidy.sh "$build"
  echo "== ThreadSanitizer: the threaded suites"
  bash scripts/tsan.sh
  echo "== Fuzz targets"
  bash scripts/fuzz.sh
fi

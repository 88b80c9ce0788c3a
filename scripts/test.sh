#!/usr/bin/env bash
# Installs what is needed, builds Rain and runs the whole test suite.
#
# Two trees: build/ is the normal optimised build (the program, the tools,
# the benchmark and every test), build/sanitize/ runs the unit tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer with asserts on.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc)
cmake -S . -B build -G Ninja -DRAIN_WERROR=ON -DRAIN_BUILD_TESTS=ON
cmake --build build -j "$jobs"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRAIN_SANITIZE=ON -DRAIN_WERROR=ON
cmake --build build/sanitize -j "$jobs"

ctest --test-dir build/sanitize --output-on-failure -L unit -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

#!/usr/bin/env bash
# Installs what is needed, builds Rain and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build -G Ninja -DRAIN_BUILD_TESTS=OFF
cmake --build build -j "$(nproc)"
exec build/rainstorm "$@"

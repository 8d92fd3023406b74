#!/usr/bin/env bash
# Builds everything (library, examples, the tabcube command, tests,
# benchmarks) and runs the tests.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/ensure-deps.sh
build_dir=${TABCUBE_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"

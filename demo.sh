#!/usr/bin/env bash
# Builds the quickstart host program if needed and runs it on the bundled data.
set -euo pipefail
cd "$(dirname "$0")"
build_dir=${TABCUBE_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target quickstart >/dev/null
"$build_dir"/examples/quickstart "$@"

#!/usr/bin/env bash
# Builds the tabcube command if needed and runs its demonstration: the
# bundled survey sample and a synthetic survey with multiple-response
# questions, as finished tables. Extra arguments go to `tabcube demo`
# (for example --format json).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/ensure-deps.sh
build_dir=${TABCUBE_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target tabcube_command >/dev/null
"$build_dir"/bin/tabcube demo "$@"

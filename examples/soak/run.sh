#!/usr/bin/env bash
# Builds the release library and the soak program and runs it at full size
# (10 million cases by default), printing peak and current resident memory
# every million cases. Not part of CI: it takes a while.
#
#   bash examples/soak/run.sh [CASES] [REPORT_EVERY]
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${TABCUBE_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target soak
"$build_dir/examples/soak" "$@"

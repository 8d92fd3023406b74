#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the committed seed corpus and every input that ever failed.
#
#   bash fuzz/run.sh [seconds per target, default 60] [target ...]
#
# New interesting inputs go to a working corpus under the build directory, so
# the committed corpus changes only by hand. A failing input is written to
# build-fuzz/artifacts/<target>/; copy it to fuzz/regressions/<target>/ so that
# the normal test run replays it, then fix the fault.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=${*:-csv dictionary request filter command state partstate}
build_dir=${TABCUBE_FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
  -DTABCUBE_FUZZ=ON -DTABCUBE_BUILD_TESTS=OFF -DTABCUBE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target $(for t in $targets; do echo "${t}_fuzzer"; done)

# The targets write their inputs to files; keep those in memory when we can.
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in $targets; do
  work="$build_dir/corpus/$target"
  artifacts="$build_dir/artifacts/$target"
  # Every input that ever failed is replayed; a target may have none yet.
  mkdir -p "$work" "$artifacts" "fuzz/regressions/$target"
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  # A fixed seed (TABCUBE_FUZZ_SEED, default 1) makes a run repeatable.
  echo "== fuzzing $target for ${seconds}s"
  if ! "$build_dir/fuzz/${target}_fuzzer" "${dictionary[@]}" -max_total_time="$seconds" -seed="${TABCUBE_FUZZ_SEED:-1}" \
      -timeout=10 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$target" "fuzz/regressions/$target" \
      >"$build_dir/$target.log" 2>&1; then
    tail -n 60 "$build_dir/$target.log"
    echo "fuzz target $target failed; the input is in $artifacts/" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build_dir/$target.log" || true
  fi
done
exit $status

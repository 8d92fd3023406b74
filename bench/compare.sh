#!/usr/bin/env bash
# Times tabcube and the peers (pandas, DuckDB, data.table, polars) on the same
# generated data, in one run on this machine, and prints a side-by-side table.
#
#   bash bench/compare.sh [--sizes 1m[,10m]] [--runs 7] [--workloads w1,w2,w3,w4]
#                         [--peers pandas,duckdb,datatable,polars] [--no-e2e]
#
# Data and results go to $TABCUBE_BENCH_DIR (default /tmp/tabcube-bench); the
# 10M file is about 0.5 GB. With 10m in --sizes the 1M file is the first
# 1,000,000 rows of the 10M file; otherwise the 1M file is generated directly
# (same generator and seed, different rows). The peers come from Debian's
# packages (pandas, data.table) and from the npm registry (DuckDB, polars,
# installed into bench/.peers); missing ones are installed first (root).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$root/bench
work=${TABCUBE_BENCH_DIR:-/tmp/tabcube-bench}
build=${TABCUBE_BUILD_DIR:-$root/build}
sizes=1m runs=7 workloads=w1,w2,w3,w4 peers=pandas,duckdb,datatable,polars e2e=1
while [ $# -gt 0 ]; do
  case $1 in
    --sizes) sizes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --workloads) workloads=$2; shift 2 ;;
    --peers) peers=$2; shift 2 ;;
    --no-e2e) e2e=0; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
has() { case ",$1," in *",$2,"*) return 0 ;; *) return 1 ;; esac; }
export PEERS_DATA=$work/data PEERS_RESULTS=$work/results
mkdir -p "$PEERS_DATA" "$PEERS_RESULTS"
rm -f "$PEERS_RESULTS"/timings.jsonl "$PEERS_RESULTS"/*.csv

echo "== peers"
debs="python3-pandas"
has "$peers" datatable && debs="$debs r-cran-data.table"
missing=""
for p in $debs; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
if [ -n "$missing" ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi
if has "$peers" duckdb || has "$peers" polars; then
  if [ ! -d "$bench/.peers/node_modules/@duckdb/node-api" ] ||
     [ ! -d "$bench/.peers/node_modules/nodejs-polars-linux-x64-gnu" ]; then
    mkdir -p "$bench/.peers"
    (cd "$bench/.peers" && npm install --no-audit --no-fund -E \
      @duckdb/node-api@1.5.6-r.1 nodejs-polars@0.25.2 nodejs-polars-linux-x64-gnu@0.25.2 >/dev/null)
  fi
fi
export NODE_PATH=$bench/.peers/node_modules

echo "== build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tabcube_workloads tabcube_command >/dev/null

echo "== data"
if has "$sizes" 10m; then
  [ -s "$PEERS_DATA/data_10m.csv" ] ||
    /usr/bin/python3 "$bench/gen_data.py" 10000000 "$PEERS_DATA/data_10m.csv" >/dev/null
  head -n 1000001 "$PEERS_DATA/data_10m.csv" >"$PEERS_DATA/data_1m.csv"
elif [ ! -s "$PEERS_DATA/data_1m.csv" ]; then
  /usr/bin/python3 "$bench/gen_data.py" 1000000 "$PEERS_DATA/data_1m.csv" >/dev/null
fi

machine="$(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(free -g | awk '/^Mem:/ {print $2}') GiB"
echo "machine: $machine"

for size in ${sizes//,/ }; do
  csv=$PEERS_DATA/data_$size.csv
  # The workloads the peers ran at 10M in the reference: W1 and W4.
  wl=$workloads
  [ "$size" = 10m ] && wl=$(echo "$workloads" | tr ',' '\n' | grep -E '^w(1|4)$' | paste -sd, -)
  [ -n "$wl" ] || continue
  echo "== tabcube $size"
  "$build/bench/tabcube_workloads" "$csv" --runs "$runs" --workloads "$wl" --label "$size" \
    --json "$PEERS_RESULTS/timings.jsonl" --results "$PEERS_RESULTS"
  "$build/bench/tabcube_workloads" "$csv" --runs "$runs" --workloads "$wl" --label "$size" \
    --threads 2 --json "$PEERS_RESULTS/timings.jsonl"
  if has "$peers" pandas; then
    echo "== pandas $size"
    # W1 also in the hand-tuned form that sums the finest crossing up.
    pwl=$wl
    has "$wl" w1 && pwl="$wl,w1r"
    /usr/bin/python3 "$bench/peers/peer_pandas.py" "$size" "$runs" "$pwl" >/dev/null
  fi
  if has "$peers" duckdb; then
    echo "== duckdb $size"
    # W4 also in the per-case de-duplicated form, DuckDB's faster query.
    dwl=$wl
    has "$wl" w4 && dwl="$wl,w4b"
    node "$bench/peers/peer_duckdb.js" "$size" "$runs" 2 "$dwl" >/dev/null
  fi
  if has "$peers" datatable; then
    echo "== data.table $size"
    Rscript "$bench/peers/peer_datatable.R" "$size" "$runs" 1 "$wl" >/dev/null
  fi
  if has "$peers" polars; then
    echo "== polars $size"
    node "$bench/peers/peer_polars.js" "$size" "$runs" "$wl" >/dev/null
  fi
done

if [ "$e2e" = 1 ]; then
  for size in ${sizes//,/ }; do
    echo "== tabcube command end to end, W1 $size"
    # Default: the file read in a part per core; then on one thread.
    for threads in default 0; do
      label=e2e-w1
      args=()
      [ "$threads" = default ] || { label=e2e-w1-1thread; args=(--threads "$threads"); }
      for r in $(seq 1 "$runs"); do
        /usr/bin/time -f "%e %M" -o "$PEERS_RESULTS/e2e_time" "$build/bin/tabcube" run \
          "$bench/requests/w1.json" --data "$PEERS_DATA/data_$size.csv" --format csv \
          "${args[@]}" --output "$PEERS_RESULTS/e2e_w1_$size.csv" 2>/dev/null
        read -r seconds kib <"$PEERS_RESULTS/e2e_time"
        echo "{\"peer\": \"tabcube-command\", \"n\": \"$size\", \"workload\": \"$label\", \"times\": [$seconds], \"peak_kib\": $kib}" \
          >>"$PEERS_RESULTS/timings.jsonl"
      done
    done
  done
fi

echo
/usr/bin/python3 "$bench/report.py" "$PEERS_RESULTS" "$machine"

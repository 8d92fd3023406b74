#!/usr/bin/python3
"""tabcube.dask.run against tabcube.run on the W1 shape (region by product by
year with totals; count, column percentage, mean and sum of income): a frame
of --rows rows split into --partitions partitions on a dask.distributed
LocalCluster of two worker processes, against the same frame in one process.
Prints both times (min / median of --runs after a warm-up), the bytes of one
partition's partial state, and checks that the two results agree.

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_dask.py [--rows 10000000] [--partitions 8] [--runs 3]
"""

import argparse
import math
import statistics
import time

import dask.dataframe as dd
from dask.distributed import Client, LocalCluster

import tabcube
import tabcube.dask
from tabcube import _tabcube
from python_crosstab import make_frame

REQUEST = {"tables": [{
    "title": "W1", "rows": [["region"]], "columns": [["product"]], "layers": [["year"]],
    "variables": {name: {"totals": True} for name in ("region", "product", "year")},
    "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "income"},
                   {"name": "Sum", "variable": "income"}]}]}


def timed(runs, call):
    call()
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = call()
        times.append(time.perf_counter() - start)
    return min(times), statistics.median(times), result


def same(a, b):
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, float) and isinstance(b, float):
        return math.isclose(a, b, rel_tol=1e-12, abs_tol=1e-12)
    return a == b


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--partitions", type=int, default=8)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    frame = make_frame(args.rows)
    ddf = dd.from_pandas(frame, npartitions=args.partitions)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True) as cluster, \
            Client(cluster):
        ddf = ddf.persist()
        low, mid, single = timed(args.runs, lambda: tabcube.run(REQUEST, data=frame))
        print(f"tabcube.run, one process: {low:.3f} / {mid:.3f} s")
        low, mid, parts = timed(args.runs, lambda: tabcube.dask.run(REQUEST, ddf))
        print(f"tabcube.dask.run, {args.partitions} partitions, 2 workers: {low:.3f} / {mid:.3f} s")
    definition = tabcube.dask._Definition(REQUEST, None, None, None, None, None)
    part = frame.iloc[: args.rows // args.partitions]
    state = _tabcube.part_state(*definition.arguments(part))
    size = len(state[0]) if isinstance(state, tuple) else len(state)
    print(f"partial state of one partition ({len(part)} rows): {size} bytes")
    print("results agree:", same(single.to_dict(), parts.to_dict()))


if __name__ == "__main__":
    main()

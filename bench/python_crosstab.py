#!/usr/bin/python3
"""tabcube.crosstab against pandas on the W1 shape: region by product, layered
by year, every dimension with its total; count, column percentage, mean and
sum of income. Both build the same cells (pandas: crosstab and pivot_table
with margins per year and over all years, the column percentage from the
counts), and the script checks that they agree before it prints the times.

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_crosstab.py [--rows 1000000] [--runs 7]

The conversion of the frame's columns into the engine's input is timed on
its own as well; it is part of every crosstab call.
"""

import argparse
import statistics
import time

import numpy as np
import pandas as pd

import tabcube
from tabcube._frame import frame_columns

STATS = ["Count", "ColPct", ("Mean", "income"), ("Sum", "income")]


def make_frame(rows):
    # The columns of bench/gen_data.py that W1 reads, with its seed.
    rng = np.random.default_rng(20240601)
    frame = pd.DataFrame({"region": rng.integers(1, 9, rows, dtype=np.int32),
                          "product": rng.integers(1, 21, rows, dtype=np.int32),
                          "year": rng.integers(2015, 2020, rows, dtype=np.int32)})
    income = np.round(np.exp(rng.normal(10.0, 0.75, rows)), 2)
    income[rng.random(rows) < 0.05] = np.nan
    frame["income"] = income
    return frame


def pandas_layer(frame):
    size = pd.crosstab(frame["region"], frame["product"], margins=True, margins_name="Total")
    table = frame.pivot_table(index="region", columns="product", values="income",
                              aggfunc=["mean", "sum"], margins=True, margins_name="Total")
    return {"Count": size, "ColPct": size / size.loc["Total"] * 100,
            "Mean income": table["mean"], "Sum income": table["sum"]}


def pandas_w1(frame):
    layers = {str(year): pandas_layer(part) for year, part in frame.groupby("year")}
    layers["Total"] = pandas_layer(frame)
    return layers


def tabcube_w1(frame):
    return tabcube.crosstab(frame, "region", "product", layers="year", stats=STATS)


def check(ours, theirs):
    for layer, tables in theirs.items():
        for statistic, expected in tables.items():
            got = ours.loc[layer].xs(statistic, axis=1, level="statistic")
            expected = expected.rename(index=str, columns=str)
            got = got.loc[expected.index, expected.columns].to_numpy()
            np.testing.assert_allclose(got, expected.to_numpy(), rtol=1e-9)


def timed(function, runs):
    function()  # warm-up
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return min(times), statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--runs", type=int, default=7)
    arguments = parser.parse_args()
    frame = make_frame(arguments.rows)
    check(tabcube_w1(frame), pandas_w1(frame))
    names = {"region", "product", "year", "income"}
    results = {"tabcube.crosstab": timed(lambda: tabcube_w1(frame), arguments.runs),
               "  of which column conversion": timed(lambda: frame_columns(frame, names),
                                                     arguments.runs),
               "pandas crosstab+pivot_table": timed(lambda: pandas_w1(frame), arguments.runs)}
    print(f"W1, {arguments.rows} rows, {arguments.runs} runs after a warm-up; cells agree")
    print(f"{'':30} {'min s':>8} {'median s':>9}")
    for name, (low, median) in results.items():
        print(f"{name:30} {low:8.3f} {median:9.3f}")
    ratio = results["pandas crosstab+pivot_table"][1] / results["tabcube.crosstab"][1]
    print(f"pandas median / tabcube median: {ratio:.2f}")


if __name__ == "__main__":
    main()

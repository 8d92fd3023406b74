#!/usr/bin/python3
"""Independent reference values for the crosstab tests (tests/aggregator/Crosstab_test.cpp).

Writes two files next to this script:
  crosstab_data.csv      the data set: 6,000 weighted cases of three categorical
                         variables a, b, c, a scale variable x and a weight w
                         (an empty field is system-missing)
  crosstab_expected.tsv  for every cell of four cubes, every statistic's value

Run with Debian's python3-pandas:  /usr/bin/python3 tests/reference/crosstab_reference.py

The values are computed here from the definitions of the statistics, with
pandas group-bys over the data; nothing is taken from the engine.

Dictionary (the C++ test declares the same):
  a  codes 1..4, user-missing value 9, some system-missing
  b  codes 1..3, user-missing range 7..9 (8 and 9 occur), some system-missing
  c  codes 1..2, user-missing value 9, some system-missing
  x  scale 0..30 (integers, so medians meet ties), user-missing value -1,
     some system-missing
  w  weight, multiples of 0.5 from 0.5 to 3.0 (sums stay exact in binary)

Tables (all dimensions show a total after their categories; the cubes read
with listwise deletion, so a scale cell only takes cases whose x is valid):
  t2  rows a, columns b; missing values excluded
  t3  rows a, columns b, layers c; c includes missing values (its
      user-missing 9 is a category; a system-missing c never is)
Each table has a count cube (counts, the seven percentage kinds of counts,
valid N and total N with their percentages; weighted and unweighted) and a
scale cube (mean, median, sum of x, weighted and unweighted, and the seven
weighted and unweighted percentages of sums).

How a case reaches cells.  In each dimension a value forms a category when it
is valid, or when it is user-missing and the dimension includes missing
values.  A dimension whose value forms a category puts the case in that
category and in the total; one whose value does not puts it in the total only,
and the case is then "total only" in the cube: it adds to total N of every
cell it reaches but to no count and no valid N.  A case counts in valid N when
none of the cube's variables is missing (user- or system-missing).  A scale
cube takes only the cases whose x is valid and whose every dimension forms a
category; it adds them to every combination of category and total.

Percentage denominators.  A percentage of kind K in a cell is the cell's value
(count, valid N, total N or sum) divided by the same value summed over the
cell's percentage base, times 100.  The base of a cell is the set of cases
that agree with the cell on the dimensions that kind K keeps, computed here by
grouping the cases on those dimensions alone:
  row       keeps the rows, the columns but the innermost, the layers
  column    keeps the rows but the innermost, the columns, the layers
  table     keeps nothing (the whole cube)
  subtable  keeps the rows but the innermost, the columns but the innermost,
            the layers
  layer     keeps the layers
  layer-row keeps the rows and the layers
  layer-col keeps the columns and the layers
A denominator of 0 gives the missing value.
"""

import os

import numpy as np
import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
N_CASES = 6000
SEED = 20240607
TOTAL = "T"
MISSING = "MISSING"

# Percentage kinds in code order: 0 row, 1 column, 2 table, 3 subtable,
# 4 layer, 5 layer-row, 6 layer-column.
KINDS = range(7)


def make_data():
    rng = np.random.RandomState(SEED)
    n = N_CASES

    def categorical(codes, probs, user_missing, sysmis_rate):
        values = rng.choice(codes + user_missing, size=n, p=probs).astype(float)
        values[rng.uniform(size=n) < sysmis_rate] = np.nan
        return values

    a = categorical([1, 2, 3, 4], [0.30, 0.25, 0.22, 0.20, 0.03], [9], 0.02)
    b = categorical([1, 2, 3], [0.40, 0.32, 0.23, 0.03, 0.02], [8, 9], 0.02)
    c = categorical([1, 2], [0.55, 0.42, 0.03], [9], 0.02)
    x = rng.randint(0, 31, size=n).astype(float)
    x[rng.uniform(size=n) < 0.03] = -1.0
    x[rng.uniform(size=n) < 0.05] = np.nan
    w = rng.randint(1, 7, size=n) * 0.5
    return pd.DataFrame({"a": a, "b": b, "c": c, "x": x, "w": w})


USER_MISSING = {
    "a": lambda v: v == 9,
    "b": lambda v: (v >= 7) & (v <= 9),
    "c": lambda v: v == 9,
    "x": lambda v: v == -1,
}


def is_missing(df, var):
    return df[var].isna() | USER_MISSING[var](df[var])


def category(df, var, include_missing):
    """The category a case's value forms in the dimension, or None."""
    sysmis = df[var].isna()
    forms = ~is_missing(df, var) | (include_missing & ~sysmis)
    return df[var].where(forms, other=np.nan)


def cells_column(cat):
    """Per case, the cells of one dimension: [category, total] or [total]."""
    return [[int(v), TOTAL] if not np.isnan(v) else [TOTAL] for v in cat]


def explode(df, dims):
    out = df
    for d in dims:
        out = out.explode(d + "_cells")
    return out


def percent(num, den):
    return MISSING if den == 0 else num / den * 100.0


def base_dims(dims, rows, cols, layers, kind):
    inner_rows = rows[:-1]
    inner_cols = cols[:-1]
    keep = {
        0: rows + inner_cols + layers,
        1: inner_rows + cols + layers,
        2: [],
        3: inner_rows + inner_cols + layers,
        4: layers,
        5: rows + layers,
        6: cols + layers,
    }[kind]
    return [d for d in dims if d in keep]


def prepare(df, dims, include_missing):
    t = df.copy()
    total_only = np.zeros(len(t), dtype=bool)
    any_missing = np.zeros(len(t), dtype=bool)
    for d in dims:
        cat = category(t, d, include_missing.get(d, False))
        total_only |= cat.isna().to_numpy()
        any_missing |= is_missing(t, d).to_numpy()
        t[d + "_cells"] = cells_column(cat)
    t["total_only"] = total_only
    t["all_valid"] = ~any_missing
    return t


def count_cube(df, table, dims, rows, cols, layers, include_missing, out):
    t = prepare(df, dims, include_missing)
    t["one"] = 1.0
    counted = ~t["total_only"]
    valid = counted & t["all_valid"]
    t["count_w"] = np.where(counted, t["w"], 0.0)
    t["count_u"] = np.where(counted, 1.0, 0.0)
    t["valid_w"] = np.where(valid, t["w"], 0.0)
    t["valid_u"] = np.where(valid, 1.0, 0.0)
    t["total_w"] = t["w"]
    t["total_u"] = t["one"]
    measures = ["count_w", "count_u", "valid_w", "valid_u", "total_w", "total_u"]

    def grouped(keep):
        e = explode(t, keep)
        if not keep:
            return {(): e[measures].sum()}
        g = e.groupby([d + "_cells" for d in keep], sort=False)[measures].sum()
        return {(k if isinstance(k, tuple) else (k,)): row for k, row in g.iterrows()}

    cells = grouped(dims)
    bases = {kind: (base_dims(dims, rows, cols, layers, kind), None) for kind in KINDS}
    bases = {kind: (keep, grouped(keep)) for kind, (keep, _) in bases.items()}

    for key, v in cells.items():
        def emit(code, value):
            out.append((table, "count", code, key, value))

        emit(1, v["count_w"])
        emit(2, v["count_u"])
        for kind in KINDS:
            keep, table_of = bases[kind]
            bkey = tuple(key[dims.index(d)] for d in keep)
            b = table_of[bkey]
            # Counts: 3 + 2 kind (weighted), 4 + 2 kind (unweighted).
            emit(3 + 2 * kind, percent(v["count_w"], b["count_w"]))
            emit(4 + 2 * kind, percent(v["count_u"], b["count_u"]))
            # Valid N: 17 + 2 kind, 18 + 2 kind.
            emit(17 + 2 * kind, percent(v["valid_w"], b["valid_w"]))
            emit(18 + 2 * kind, percent(v["valid_u"], b["valid_u"]))
            # Total N: 31 + 2 kind, 32 + 2 kind.
            emit(31 + 2 * kind, percent(v["total_w"], b["total_w"]))
            emit(32 + 2 * kind, percent(v["total_u"], b["total_u"]))
        emit(64, v["total_w"])
        emit(65, v["total_u"])
        emit(66, v["valid_w"])
        emit(67, v["valid_u"])


def weighted_median(values, weights):
    """50th percentile of the averaged empirical distribution: the smallest
    value whose cumulative weight exceeds half the total weight, or the mean
    of a value and the next one when its cumulative weight is exactly half."""
    freq = pd.Series(weights).groupby(pd.Series(values)).sum().sort_index()
    if len(freq) == 1:
        return float(freq.index[0])
    cum = freq.cumsum()
    target = 0.5 * cum.iloc[-1]
    xs = list(freq.index)
    for i, f in enumerate(cum):
        if f == target:
            return (xs[i] + xs[i + 1]) / 2.0
        if f > target:
            return float(xs[i])
    return float(xs[-1])


def scale_cube(df, table, dims, rows, cols, layers, include_missing, out):
    t = prepare(df, dims, include_missing)
    t = t[~t["total_only"] & ~is_missing(t, "x")].copy()
    t["wx"] = t["w"] * t["x"]

    def grouped(keep):
        e = explode(t, keep)
        if not keep:
            return {(): e}
        by = [d + "_cells" for d in keep]
        groups = e.groupby(by if len(by) > 1 else by[0], sort=False)
        return {(k if isinstance(k, tuple) else (k,)): g for k, g in groups}

    cells = grouped(dims)
    base_sums = {}
    for kind in KINDS:
        keep = base_dims(dims, rows, cols, layers, kind)
        base_sums[kind] = (keep, {k: (g["wx"].sum(), g["x"].sum())
                                  for k, g in grouped(keep).items()})

    for key, g in cells.items():
        def emit(code, value):
            out.append((table, "scale", code, key, value))

        sum_w, sum_u = g["wx"].sum(), g["x"].sum()
        emit(46, sum_w / g["w"].sum())
        emit(47, sum_u / len(g))
        emit(48, weighted_median(g["x"].to_numpy(), g["w"].to_numpy()))
        emit(49, weighted_median(g["x"].to_numpy(), np.ones(len(g))))
        emit(62, sum_w)
        emit(63, sum_u)
        for kind in KINDS:
            keep, sums = base_sums[kind]
            bw, bu = sums[tuple(key[dims.index(d)] for d in keep)]
            emit(70 + 2 * kind, percent(sum_w, bw))
            emit(71 + 2 * kind, percent(sum_u, bu))


def main():
    df = make_data()
    with open(os.path.join(HERE, "crosstab_data.csv"), "w") as f:
        f.write("a,b,c,x,w\n")
        for row in df.itertuples(index=False):
            f.write(",".join("" if np.isnan(v) else repr(float(v)) for v in row) + "\n")

    out = []
    t2 = (["a", "b"], ["a"], ["b"], [])
    t3 = (["a", "b", "c"], ["a"], ["b"], ["c"])
    count_cube(df, "t2", *t2, {}, out)
    scale_cube(df, "t2", *t2, {}, out)
    count_cube(df, "t3", *t3, {"c": True}, out)
    scale_cube(df, "t3", *t3, {"c": True}, out)

    with open(os.path.join(HERE, "crosstab_expected.tsv"), "w") as f:
        f.write("table\tcube\tstatistic\tcell\tvalue\n")
        for table, cube, code, key, value in out:
            cell = ",".join(str(k) for k in key)
            text = value if value == MISSING else repr(float(value))
            f.write(f"{table}\t{cube}\t{code}\t{cell}\t{text}\n")
    print(f"{len(df)} cases, {len(out)} expected values")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Reference values for the scale statistics of a cell.

Generates a data set of 1,600 cases (a cell number, a case weight and two
numeric variables with system-missing and user-missing values), and computes
every scale statistic of every cell with numpy, weighted and unweighted,
straight from the definitions: two-pass moments, sorted cumulative weights for
the percentiles and the median interval, exact binomial tail sums for the
interval's order statistics. Writes

  cell_values_cases.tsv     the cases, one per line
  cell_values_expected.tsv  one line per (cell, variable, statistic, parameters)

Run with Debian's python3-numpy: /usr/bin/python3 cell_values_reference.py
The output is committed; the C++ test reads it and never runs this script.
"""

import math
import os
from fractions import Fraction

import numpy as np

SEED = 20240611
CASES = 1600
CELLS = 4           # cells 0..3 from the data; cell 4 holds every case
ALL_CELL = CELLS
USER_MISSING_X = 999.0

MISSING = "M"       # the engine's missing value

# Statistic codes (the engine's numbering).
COUNT, UCOUNT = 1, 2
MAXIMUM, MEAN, UMEAN, MEDIAN, UMEDIAN = 45, 46, 47, 48, 49
MEDIAN_INTERP, UMEDIAN_INTERP, MINIMUM, MISSING_N, UMISSING_N = 50, 51, 52, 53, 54
MODE, UMODE, RANGE, SE_MEAN, USE_MEAN, STDDEV, USTDDEV = 55, 56, 57, 58, 59, 60, 61
SUM, USUM, TOTAL_N, UTOTAL_N, VALID_N, UVALID_N, VARIANCE, UVARIANCE = range(62, 70)
SSD, MEDIAN_CI, UMEDIAN_CI = 128, 129, 130
PERCENTILE, UPERCENTILE, PERCENTILE_INTERP, UPERCENTILE_INTERP = 131, 132, 133, 134
LIMIT_FIRST = 135

CUT_POINTS = [0.0, 5.0, 25.0, 50.0, 75.0, 90.0, 99.0, 100.0, 120.0]
LEVELS = [95.0, 90.0]
LIMITS = {0: (45.0, 55.0), 1: (2.5, 10.0)}  # (L, U) per variable


def make_cases(rng):
    cell = rng.integers(0, CELLS, CASES)
    weight = np.empty(CASES)
    # Cell 0: whole weights 0..3; cell 1: quarter weights 0..3; cell 2: unit
    # weights; cell 3: half weights, its first six cases of weight 0.
    weight[cell == 0] = rng.integers(0, 4, (cell == 0).sum()).astype(float)
    weight[cell == 1] = rng.integers(0, 13, (cell == 1).sum()) / 4.0
    weight[cell == 2] = 1.0
    weight[cell == 3] = rng.integers(0, 7, (cell == 3).sum()) / 2.0
    first3 = np.flatnonzero(cell == 3)[:6]
    weight[first3] = 0.0
    # x: whole numbers around 50 with many ties; y: quarter steps, some negative.
    x = np.clip(np.round(rng.normal(50.0, 8.0, CASES)), 20, 80)
    y = np.round(rng.normal(7.0, 5.0, CASES) * 4.0) / 4.0
    x_sysmis = rng.random(CASES) < 0.06
    x_usermis = rng.random(CASES) < 0.03
    y_sysmis = rng.random(CASES) < 0.08
    x[x_usermis] = USER_MISSING_X
    x_missing = x_sysmis | x_usermis
    x_sysmis_values = np.where(x_sysmis, np.nan, x)
    y_values = np.where(y_sysmis, np.nan, y)
    return cell, weight, x_sysmis_values, x_missing, y_values, y_sysmis


def fmt(value):
    if value is None:
        return MISSING
    return repr(float(value))


def empirical_percentile(values, weights, p):
    """Averaged empirical distribution: the smallest value whose cumulative
    weight reaches p% of the total; the mean with the next value when it meets
    it exactly."""
    if len(values) == 0 or p < 0 or p > 100:
        return None
    if len(values) == 1:
        return values[0]
    if p == 0:
        return values[0]
    if p == 100:
        return values[-1]
    total = weights.sum()
    target = p / 100.0 * total
    cumulative = np.cumsum(weights)
    j = int(np.searchsorted(cumulative, target * (1 - 1e-12), side="left"))
    if j >= len(values):
        return values[-1]
    if math.isclose(cumulative[j], target, rel_tol=1e-12) and j + 1 < len(values):
        return (values[j] + values[j + 1]) / 2.0
    return values[j]


def interpolated_percentile(values, weights, p):
    """Values placed at the midpoints of their cumulative weights, linear in
    between; missing outside the first and last midpoint; a single value is
    every percentile."""
    if len(values) == 1:
        return float(values[0])
    total = weights.sum()
    target = total * p / 100.0
    midpoints = np.cumsum(weights) - weights / 2.0
    if target < midpoints[0] or target > midpoints[-1]:
        return None
    return float(np.interp(target, midpoints, values))


def binomial_quantile(p, n):
    """Largest k with P(X <= k) <= p for X ~ Binomial(n, 1/2), exactly; -1
    when even P(X = 0) exceeds p."""
    p = Fraction(p)
    denominator = 2 ** n
    cumulative = 0
    k = -1
    for j in range(n + 1):
        cumulative += math.comb(n, j)
        if Fraction(cumulative, denominator) <= p:
            k = j
        else:
            break
    return k


def median_interval(values, weights, level):
    """Order statistics k + 1 and total - k of the weighted data, k the
    binomial quantile at (1 - level) / 2. Returns (lower, upper, attained)."""
    total = float(weights.sum())
    if total == 2.0:
        return values[0], values[-1], 100.0
    if total < 2.0 or total != math.floor(total):
        return None, None, None
    n = int(total)
    k = binomial_quantile(0.5 - level / 200.0, n)
    if k < 0:
        return values[0], values[-1], 100.0
    cumulative = np.cumsum(weights)
    if total <= k + 1:
        lower = values[-1]
    else:
        lower = values[int(np.searchsorted(cumulative, k + 1, side="left"))]
    u = total - k
    if u <= 1:
        upper = values[0]
    else:
        upper = values[int(np.searchsorted(cumulative, u, side="left"))]
    return lower, upper, None


def table(x, w):
    """Distinct values (ascending) and their summed weights, zero weights left out."""
    keep = w != 0
    values, inverse = np.unique(x[keep], return_inverse=True)
    sums = np.bincount(inverse, weights=w[keep], minlength=len(values))
    return values, sums


def mode(values, sums):
    if len(values) == 0 or sums.max() <= 0:
        return None
    return values[int(np.argmax(sums))]  # argmax takes the first, the smallest value


def passes(group, x, lower, upper):
    tests = [
        lambda: x < upper, lambda: x <= upper, lambda: x > lower, lambda: x >= lower,
        lambda: x == lower, lambda: (lower <= x) & (x <= upper), lambda: (lower <= x) & (x < upper),
        lambda: np.zeros_like(x, dtype=bool), lambda: (lower < x) & (x < upper),
    ]
    return tests[group]()


def statistics(rows, cell, var, w_all, x_all, valid):
    """Appends the expected rows of one cell and variable."""
    x = x_all[valid]
    w = w_all[valid]
    ones = np.ones_like(x)

    def add(code, value, cut=0.0, level=0.0, lower=0.0, upper=0.0, v2=None, v3=None):
        rows.append((cell, var, code, cut, level, lower, upper, value, v2, v3))

    if var == 0:
        add(COUNT, w_all.sum())
        add(UCOUNT, float(len(w_all)))
    add(TOTAL_N, w_all.sum())
    add(UTOTAL_N, float(len(w_all)))
    add(VALID_N, w.sum())
    add(UVALID_N, float(len(x)))
    add(MISSING_N, w_all.sum() - w.sum())
    add(UMISSING_N, float(len(w_all) - len(x)))
    add(MAXIMUM, x.max() if len(x) else None)
    add(MINIMUM, x.min() if len(x) else None)
    add(RANGE, x.max() - x.min() if len(x) else None)

    for weighted in (True, False):
        ww = w if weighted else ones
        big_w = ww.sum()
        codes = (MEAN, SUM, VARIANCE, STDDEV, SE_MEAN) if weighted else (UMEAN, USUM, UVARIANCE,
                                                                        USTDDEV, USE_MEAN)
        mean = (ww * x).sum() / big_w if big_w > 0 else None
        add(codes[0], mean)
        add(codes[1], (ww * x).sum() if big_w > 0 else None)
        m2 = (ww * (x - mean) ** 2).sum() if big_w > 0 else 0.0
        variance = m2 / (big_w - 1.0) if big_w > 1 else None
        add(codes[2], variance)
        add(codes[3], math.sqrt(variance) if variance is not None else None)
        add(codes[4], math.sqrt(variance) / math.sqrt(big_w) if variance is not None else None)
        if weighted:
            add(SSD, m2)

        values, sums = table(x, ww)
        add(MEDIAN if weighted else UMEDIAN, empirical_percentile(values, sums, 50.0))
        add(MEDIAN_INTERP if weighted else UMEDIAN_INTERP, interpolated_percentile(values, sums, 50.0))
        add(MODE if weighted else UMODE, mode(values, sums))
        for cut in CUT_POINTS:
            add(PERCENTILE if weighted else UPERCENTILE, empirical_percentile(values, sums, cut), cut)
            add(PERCENTILE_INTERP if weighted else UPERCENTILE_INTERP,
                interpolated_percentile(values, sums, cut), cut)
        for level in LEVELS:
            lower, upper, attained = median_interval(values, sums, level)
            add(MEDIAN_CI if weighted else UMEDIAN_CI, lower, level=level, v2=upper, v3=attained)

    lower_limit, upper_limit = LIMITS[var]
    for group in range(9):
        ok = passes(group, x, lower_limit, upper_limit)
        base = LIMIT_FIRST + 4 * group
        for offset, ww in ((0, w), (1, ones)):
            valid_weight = ww.sum()
            passing = ww[ok].sum()
            add(base + offset, passing / valid_weight * 100.0 if valid_weight > 0 else None,
                lower=lower_limit, upper=upper_limit)
            add(base + 2 + offset, passing, lower=lower_limit, upper=upper_limit)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rng = np.random.default_rng(SEED)
    cell, weight, x, x_missing, y, y_missing = make_cases(rng)

    with open(os.path.join(here, "cell_values_cases.tsv"), "w") as out:
        out.write("# cell\tweight\tx\ty   (. = system-missing; x = 999 is user-missing)\n")
        for i in range(CASES):
            xs = "." if np.isnan(x[i]) else repr(float(x[i]))
            ys = "." if np.isnan(y[i]) else repr(float(y[i]))
            out.write(f"{cell[i]}\t{weight[i]!r}\t{xs}\t{ys}\n")

    x_valid = ~x_missing & ~np.isnan(x)
    y_valid = ~y_missing & ~np.isnan(y)
    rows = []
    for c in range(CELLS + 1):
        members = np.ones(CASES, dtype=bool) if c == ALL_CELL else cell == c
        for var, values, valid in ((0, x, x_valid), (1, y, y_valid)):
            statistics(rows, c, var, weight[members], values[members], valid[members])

    with open(os.path.join(here, "cell_values_expected.tsv"), "w") as out:
        out.write(f"# seed {SEED}; cell\tvariable\tcode\tcut point\tlevel\tlower\tupper"
                  f"\tvalue1\tvalue2\tvalue3   ({MISSING} = missing)\n")
        for row in rows:
            c, var, code, cut, level, lower, upper, v1, v2, v3 = row
            out.write(f"{c}\t{var}\t{code}\t{cut!r}\t{level!r}\t{lower!r}\t{upper!r}"
                      f"\t{fmt(v1)}\t{fmt(v2)}\t{fmt(v3)}\n")


if __name__ == "__main__":
    main()

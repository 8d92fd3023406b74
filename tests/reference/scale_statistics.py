#!/usr/bin/python3
"""Reference values of every scale statistic of a whole-data table.

Writes two files next to this script:
  scale_cases.csv       the data: 1,500 cases of two numeric variables x and y
                        and a case weight w (empty field = system-missing);
                        x = 99 and y in [-9, -1] are user-missing.
  scale_statistics.tsv  for two scenarios (pairwise: every case reaches the
                        cube; listwise: only cases valid in both x and y), each
                        requested statistic of x and y with its parameters and
                        its expected values.

The statistics are computed here from their definitions, independently of the
engine: exact rational arithmetic (fractions) on the data, whose values and
weights are multiples of 1/4, so that ties, cumulative weights and percentile
targets are decided exactly. Only the final numbers are rounded to doubles.

Case weights follow the host's rule: a missing or negative weight counts as 0.
A case of weight 0 still counts in every unweighted statistic and adds nothing
to any weighted one: its value does not enter the weighted frequency tables.
It still takes part in the maximum, minimum and range, which have no weighting.

Run with Debian's python3 and python3-numpy:  /usr/bin/python3 scale_statistics.py
"""

import math
import os
from fractions import Fraction

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
SEED = 20261206
N_CASES = 1500
MISSING = "missing"

X_USER_MISSING = 99
Y_MISSING_RANGE = (-9, -1)


def make_data():
    rng = np.random.default_rng(SEED)
    x = np.clip(np.round(rng.normal(45.0, 12.0, N_CASES) * 2) / 2, 0.0, 98.0)
    y = np.round(rng.exponential(2.0, N_CASES) * 4) / 4
    w = rng.integers(1, 13, N_CASES) / 4.0  # 0.25 .. 3.0

    rows = []
    for i in range(N_CASES):
        xs = repr(float(x[i]))
        ys = repr(float(y[i]))
        ws = repr(float(w[i]))
        u = rng.random()
        if u < 0.06:
            xs = ""
        elif u < 0.09:
            xs = str(X_USER_MISSING)
        v = rng.random()
        if v < 0.08:
            ys = ""
        elif v < 0.11:
            ys = repr(float(rng.integers(-9, 0)))
        t = rng.random()
        if t < 0.02:
            ws = "0.0"
        elif t < 0.03:
            ws = ""
        elif t < 0.035:
            ws = "-1.0"
        rows.append([xs, ys, ws])

    # Make the valid weight of x integral in the pairwise scenario, so that
    # its weighted median interval exists (the binomial quantile needs a whole
    # total); the listwise scenario keeps whatever total it gets.
    total = sum(Fraction(r[2]) for r in rows
                if r[0] not in ("", str(X_USER_MISSING)) and r[2] not in ("",)
                and Fraction(r[2]) > 0)
    short = (math.ceil(total) - total)
    if short:
        for r in rows:
            if r[0] not in ("", str(X_USER_MISSING)) and r[2] not in ("", "0.0", "-1.0"):
                r[2] = repr(float(Fraction(r[2]) + short))
                break
    return rows


def weight_of(text):
    if text == "":
        return Fraction(0)
    w = Fraction(text)
    return w if w > 0 else Fraction(0)


def x_valid(text):
    return text != "" and float(text) != X_USER_MISSING


def y_valid(text):
    if text == "":
        return False
    v = float(text)
    return not (Y_MISSING_RANGE[0] <= v <= Y_MISSING_RANGE[1])


# --- order statistics from a frequency table: sorted (value, frequency) ----

def frequency_table(values, weights):
    table = {}
    for v, w in zip(values, weights):
        if w == 0:
            continue
        table[v] = table.get(v, Fraction(0)) + w
    return sorted(table.items())


def empirical_percentile(table, p):
    """Averaged empirical distribution: the smallest value whose cumulative
    weight reaches p% of the total; when it meets it exactly, the mean of that
    value and the next one."""
    if not table:
        return None
    if p < 0 or p > 100:
        return None
    if len(table) == 1:
        return table[0][0]
    if p == 0:
        return table[0][0]
    if p == 100:
        return table[-1][0]
    total = sum(f for _, f in table)
    target = Fraction(p) / 100 * total
    cum = Fraction(0)
    for i, (v, f) in enumerate(table):
        cum += f
        if cum == target:
            return (v + table[i + 1][0]) / 2 if i + 1 < len(table) else v
        if cum > target:
            return v
    return table[-1][0]


def interpolated_percentile(table, p):
    """Each value sits at the cumulative weight of its midpoint; the
    percentile interpolates linearly between neighbouring midpoints and is
    missing outside the first and the last midpoint."""
    if len(table) < 2:
        return None
    total = sum(f for _, f in table)
    target = total * Fraction(p) / 100
    mids = []
    cum = Fraction(0)
    for v, f in table:
        mids.append(cum + f / 2)
        cum += f
    if target < mids[0] or target > mids[-1]:
        return None
    if target == mids[-1]:
        return table[-1][0]
    for i in range(1, len(table)):
        if mids[i - 1] <= target < mids[i]:
            frac = (target - mids[i - 1]) / (mids[i] - mids[i - 1])
            if frac == 0:
                return table[i - 1][0]
            return (1 - frac) * table[i - 1][0] + frac * table[i][0]
    return None


def mode(table):
    best = None
    best_f = Fraction(0)
    for v, f in table:
        if f > best_f:
            best, best_f = v, f
    return best


def binomial_lower_quantile(n, p):
    """Largest k with P(X <= k) <= p for X ~ Binomial(n, 1/2), exactly."""
    limit = p * (2 ** n)
    cum = 0
    k = -1
    for i in range(n + 1):
        cum += math.comb(n, i)
        if cum <= limit:
            k = i
        else:
            break
    return k


def median_interval(table, level):
    """Distribution-free interval of the median: the order statistics k + 1
    and total - k, each value counted as often as its weight, with k the
    binomial quantile of (1 - level) / 2. Needs a whole total of at least 2."""
    if not table:
        return (None, None, None)
    total = sum(f for _, f in table)
    values = [v for v, _ in table]
    if total == 2:
        return (values[0], values[-1], Fraction(100))
    if total < 2 or total.denominator != 1:
        return (None, None, None)
    n = int(total)
    k = binomial_lower_quantile(n, Fraction(1, 2) - Fraction(level) / 200)
    if k < 0:
        return (values[0], values[-1], Fraction(100))
    if total <= k + 1:
        lower = values[-1]
    else:
        cum = Fraction(0)
        lower = values[-1]
        for v, f in table:
            cum += f
            if cum >= k + 1:
                lower = v
                break
    u = total - k
    if u <= 1:
        upper = values[0]
    else:
        remaining = total
        upper = values[0]
        for v, f in reversed(table):
            remaining -= f
            if remaining < u:
                upper = v
                break
    return (lower, upper, None)


# --- the statistics ---------------------------------------------------------

LIMIT_TESTS = {
    135: lambda x, lo, up: x < up,
    139: lambda x, lo, up: x <= up,
    143: lambda x, lo, up: x > lo,
    147: lambda x, lo, up: x >= lo,
    151: lambda x, lo, up: x == lo,
    155: lambda x, lo, up: lo <= x <= up,
    159: lambda x, lo, up: lo <= x < up,
    163: lambda x, lo, up: False,  # the group without a test: nothing passes
    167: lambda x, lo, up: lo < x < up,
}


def statistic_requests(variable):
    """(code, parameter, lower, upper) of every statistic asked for."""
    lower, upper = (40, 55) if variable == "x" else (1, 2.5)
    requests = []
    for code in list(range(1, 3)) + list(range(45, 70)) + [128]:
        requests.append((code, 0, 0, 0))
    for code in (129, 130):
        requests.append((code, 95, 0, 0))
        requests.append((code, 60, 0, 0))
    for cut in (25, 75, 120):
        for code in (131, 132, 133, 134):
            requests.append((code, cut, 0, 0))
    for code in range(135, 171):
        requests.append((code, 0, lower, upper))
    # Percentages of a cube without dimensions: every base is the one cell.
    for code in (3, 4, 7, 8, 17, 18, 31, 32, 70, 71, 74, 75):
        requests.append((code, 0, 0, 0))
    return requests


def compute(code, param, lower, upper, cases):
    """cases: list of (value or None when invalid, weight)."""
    weighted = {
        1: True, 2: False, 46: True, 47: False, 48: True, 49: False, 50: True, 51: False,
        53: True, 54: False, 55: True, 56: False, 58: True, 59: False, 60: True, 61: False,
        62: True, 63: False, 64: True, 65: False, 66: True, 67: False, 68: True, 69: False,
        128: True, 129: True, 130: False, 131: True, 132: False, 133: True, 134: False,
    }
    if 135 <= code <= 170:
        weighted[code] = (code - 135) % 4 in (0, 2)
    if 3 <= code <= 44 or 70 <= code <= 83:
        weighted[code] = (code % 2 == 1) if code <= 44 else (code % 2 == 0)

    w_of = (lambda w: w) if weighted.get(code, True) else (lambda w: Fraction(1))
    count = sum(w_of(w) for _, w in cases)
    valid = [(x, w_of(w)) for x, w in cases if x is not None]
    valid_w = sum(w for _, w in valid)
    values_all = [x for x, _ in valid]

    def mean():
        return sum(x * w for x, w in valid) / valid_w if valid_w > 0 else None

    def m2():
        m = mean()
        return sum(w * (x - m) ** 2 for x, w in valid) if m is not None else None

    def table():
        return frequency_table([x for x, _ in valid], [w for _, w in valid])

    if code in (1, 2, 64, 65):
        return (count,)
    if code in (66, 67):
        return (valid_w,)
    if code in (53, 54):
        return (count - valid_w,)
    if code == 45:
        return (max(values_all) if values_all else None,)
    if code == 52:
        return (min(values_all) if values_all else None,)
    if code == 57:
        return (max(values_all) - min(values_all) if values_all else None,)
    if code in (46, 47):
        return (mean(),)
    if code in (62, 63):
        m = mean()
        return (valid_w * m if m is not None else None,)
    if code in (58, 59, 60, 61, 68, 69):
        if valid_w <= 1:
            return (None,)
        var = m2() / (valid_w - 1)
        if code in (68, 69):
            return (var,)
        sd = math.sqrt(var)
        return (sd if code in (60, 61) else sd / math.sqrt(valid_w),)
    if code == 128:
        return (m2(),)
    if code in (48, 49):
        return (empirical_percentile(table(), 50),)
    if code in (50, 51):
        return (interpolated_percentile(table(), 50),)
    if code in (131, 132):
        return (empirical_percentile(table(), param),)
    if code in (133, 134):
        return (interpolated_percentile(table(), param),)
    if code in (55, 56):
        return (mode(table()),)
    if code in (129, 130):
        return median_interval(table(), param)
    if 135 <= code <= 170:
        group = 135 + (code - 135) // 4 * 4
        test = LIMIT_TESTS[group]
        passing = sum(w for x, w in valid if test(x, lower, upper))
        if (code - group) < 2:
            return (passing / valid_w * 100 if valid_w > 0 else None,)
        return (passing,)
    if code in (3, 4, 7, 8):
        return (Fraction(100) if count != 0 else None,)
    if code in (17, 18):
        return (Fraction(100) if valid_w != 0 else None,)
    if code in (31, 32):
        return (Fraction(100) if count != 0 else None,)
    if code in (70, 71, 74, 75):
        m = mean()
        total = valid_w * m if m is not None else None
        return (Fraction(100) if total not in (None, 0) else None,)
    raise ValueError("no reference for code %d" % code)


def cross_check(per_var):
    """The unweighted moments and the averaged empirical percentiles agree with
    numpy's own routines on the raw values; the weighted moments with numpy's
    weighted average."""
    xs = np.array([float(x) for x, _ in per_var if x is not None])
    ws = np.array([float(w) for x, w in per_var if x is not None])
    checks = [
        (compute(47, 0, 0, 0, per_var)[0], np.mean(xs)),
        (compute(69, 0, 0, 0, per_var)[0], np.var(xs, ddof=1)),
        (compute(46, 0, 0, 0, per_var)[0], np.average(xs, weights=ws)),
        (compute(49, 0, 0, 0, per_var)[0], np.percentile(xs, 50, method="averaged_inverted_cdf")),
        (compute(132, 25, 0, 0, per_var)[0],
         np.percentile(xs, 25, method="averaged_inverted_cdf")),
        (compute(132, 75, 0, 0, per_var)[0],
         np.percentile(xs, 75, method="averaged_inverted_cdf")),
    ]
    for ours, theirs in checks:
        assert abs(float(ours) - float(theirs)) <= 1e-9 * max(1.0, abs(float(theirs))), (ours, theirs)


def number(value):
    if value is None:
        return MISSING
    if isinstance(value, float):
        return repr(value)
    return repr(float(value))


def main():
    rows = make_data()
    with open(os.path.join(HERE, "scale_cases.csv"), "w") as out:
        out.write("x,y,w\n")
        for r in rows:
            out.write(",".join(r) + "\n")

    def value(text):
        return Fraction(text)

    cases = []
    for xs, ys, ws in rows:
        cases.append((value(xs) if x_valid(xs) else None,
                      value(ys) if y_valid(ys) else None,
                      weight_of(ws)))

    scenarios = {
        "pairwise": cases,
        "listwise": [c for c in cases if c[0] is not None and c[1] is not None],
    }
    with open(os.path.join(HERE, "scale_statistics.tsv"), "w") as out:
        out.write("scenario\tvariable\tcode\tparameter\tlower\tupper\tvalue1\tvalue2\tvalue3\n")
        for name, chosen in scenarios.items():
            for variable, column in (("x", 0), ("y", 1)):
                per_var = [(c[column], c[2]) for c in chosen]
                cross_check(per_var)
                for code, param, lower, upper in statistic_requests(variable):
                    result = compute(code, param, Fraction(lower), Fraction(upper), per_var)
                    result = tuple(result) + (None,) * (3 - len(result))
                    out.write("%s\t%s\t%d\t%s\t%s\t%s\t%s\t%s\t%s\n" % (
                        name, variable, code, repr(float(param)), repr(float(lower)),
                        repr(float(upper)), number(result[0]), number(result[1]),
                        number(result[2])))


if __name__ == "__main__":
    main()

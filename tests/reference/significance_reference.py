#!/usr/bin/python3
"""Independent reference values for the significance tests of tables
(tests/tools/Significance_test.cpp).

Reads the table requests significance_gss.json (the bundled survey, unweighted)
and significance_survey.json (the synthetic survey: weighted with the unweighted,
weighted and effective base, and unweighted), groups the raw data with pandas
and computes every test with Debian's python3-scipy and python3-statsmodels:

  column proportions  statsmodels proportions_ztest (pooled) and
                      test_proportions_2indep(method="wald") (unpooled)
  column means        scipy ttest_ind(equal_var=True/False) without weights;
                      statsmodels weightstats.ttest_ind(usevar="pooled"/"unequal")
                      with the weights scaled to sum to the base
  chi-square          scipy chi2_contingency(correction=False) of the counts

and writes significance_expected.tsv next to this script, one line per tested
pair of columns (both directions) and per subtable's chi-square:

  request table kind variable subtable row column letter other p higher
  request table chiSquare - subtable - - statistic df p minExpected

Categories are keyed by their values ("|" between nested ones). Nothing is
taken from the engine. Run:  /usr/bin/python3 tests/reference/significance_reference.py

Bases: "unweighted" counts cases, "weighted" sums weights, "effective" is
(sum w)^2 / sum w^2 over the column (proportions) or over the cell's valid
values (means); proportions and means are always the weighted ones. A column
takes part when its base reaches minBase (and, for means, exceeds 1).
Bonferroni multiplies p by m (m - 1) / 2, m the columns taking part in the row.
"""

import itertools
import json
import warnings
import math
import os

import numpy as np
import pandas as pd
from scipy import stats
from statsmodels.stats import weightstats
from statsmodels.stats.proportion import proportions_ztest, test_proportions_2indep

warnings.simplefilter("ignore", RuntimeWarning)  # p1 / p2 of empty cells, unused here
HERE = os.path.dirname(os.path.abspath(__file__))


def load(request_path):
    with open(request_path) as f:
        request = json.load(f)
    base = os.path.dirname(request_path)
    data = pd.read_csv(os.path.join(base, request["data"]))
    with open(os.path.join(base, request["dictionary"])) as f:
        dictionary = json.load(f)
    labelled = {}
    for variable in dictionary["variables"]:
        name, missing = variable["name"], variable["missing"]
        if variable["type"] != "numeric":
            continue
        column = data[name].astype(float)
        for value in missing["values"]:
            column[column == value] = np.nan
        if missing["range"]:
            low, high = missing["range"]
            column[(column >= low) & (column <= high)] = np.nan
        data[name] = column
        labelled[name] = [v for v, _ in variable["valueLabels"]
                          if v not in missing["values"] and not (
                              missing["range"] and missing["range"][0] <= v <= missing["range"][1])]
    return request, data, labelled, dictionary.get("weight")


def categories(data, labelled, name):
    """The value categories of a variable in display order (ascending, empty
    labelled values included)."""
    values = set(data[name].dropna().tolist()) | set(labelled.get(name, []))
    return sorted(values)


def key(values):
    return "|".join("%.15g" % v for v in values)


def letter(index):
    return chr(ord("A") + index % 26) + (str(index // 26) if index >= 26 else "")


def adjusted(p, m, adjust):
    if adjust == "bonferroni" and m >= 3:
        return min(1.0, p * m * (m - 1) / 2)
    return p


def proportion_p(a, b, variance):
    (p1, n1), (p2, n2) = a, b
    if variance == "pooled":
        pooled = (p1 * n1 + p2 * n2) / (n1 + n2)
        if pooled <= 0 or pooled >= 1:
            return None
        return proportions_ztest([p1 * n1, p2 * n2], [n1, n2])[1]
    if p1 * (1 - p1) / n1 + p2 * (1 - p2) / n2 <= 0:
        return None
    return test_proportions_2indep(p1 * n1, n1, p2 * n2, n2, method="wald").pvalue


def mean_p(a, b, variance, weighted):
    (x1, w1, n1), (x2, w2, n2) = a, b
    if weighted:
        usevar = "pooled" if variance == "pooled" else "unequal"
        return weightstats.ttest_ind(x1, x2, usevar=usevar,
                                     weights=(w1 * n1 / w1.sum(), w2 * n2 / w2.sum()))[1]
    return stats.ttest_ind(x1, x2, equal_var=variance == "pooled").pvalue


def base_of(weights, kind):
    if kind == "unweighted":
        return float(len(weights))
    if kind == "weighted":
        return float(weights.sum())
    return float(weights.sum() ** 2 / (weights ** 2).sum()) if len(weights) else 0.0


def pairwise(out, prefix, kind, variable, sub, row, columns, samples, settings, test, estimate):
    """samples[i] is None for a column that takes no part."""
    m = sum(1 for s in samples if s is not None)
    for i, j in itertools.combinations(range(len(columns)), 2):
        if samples[i] is None or samples[j] is None:
            continue
        p = test(samples[i], samples[j])
        if p is None or (isinstance(p, float) and math.isnan(p)):
            continue
        p = adjusted(float(p), m, settings.get("adjust", "bonferroni"))
        alpha = settings.get("alpha", 0.05)
        for a, b in ((i, j), (j, i)):
            higher = int(p < alpha and estimate(samples[a]) > estimate(samples[b]))
            out.append(prefix + [kind, variable, sub, row, key([columns[a]]), letter(a), letter(b),
                                 repr(p), str(higher)])


def run_table(out, prefix, table, data, labelled, weight):
    weighted = weight is not None and table.get("weighted", True)
    rows = [r for group in table["rows"] for r in group]
    columns = [c for group in table["columns"] for c in group]
    layers = [l for group in table.get("layers", []) for l in group]
    inner, outer = columns[-1], columns[:-1] + layers
    tests = table["tests"]
    valid = data.dropna(subset=rows + columns + layers)
    w = valid[weight] if weighted else pd.Series(1.0, index=valid.index)
    valid = valid.assign(_w=w)
    if weight is not None:
        valid = valid[valid[weight] > 0]
    inner_categories = categories(data, labelled, inner)
    outer_lists = [categories(data, labelled, o) for o in outer]
    row_lists = [categories(data, labelled, r) for r in rows]
    for outer_values in itertools.product(*outer_lists):
        sub = key(outer_values)
        part = valid
        for name, value in zip(outer, outer_values):
            part = part[part[name] == value]
        by_column = [part[part[inner] == c] for c in inner_categories]
        proportions = tests.get("proportions")
        means = tests.get("means")
        for row_values in itertools.product(*row_lists):
            row = key(row_values)
            if proportions:
                kind = proportions.get("base", "unweighted")
                samples = []
                for column in by_column:
                    cell = column
                    for name, value in zip(rows, row_values):
                        cell = cell[cell[name] == value]
                    total = column["_w"].sum()
                    n = base_of(column["_w"], kind) if weighted else float(len(column))
                    ok = n > 0 and n >= proportions.get("minBase", 0)
                    samples.append((cell["_w"].sum() / total, n) if ok else None)
                pairwise(out, prefix, "proportions", "-", sub, row, inner_categories, samples,
                         proportions,
                         lambda a, b: proportion_p(a, b, proportions.get("variance", "pooled")),
                         lambda s: s[0])
            for variable in (means or {}).get("variables", []):
                kind = means.get("base", "unweighted")
                samples = []
                for column in by_column:
                    cell = column
                    for name, value in zip(rows, row_values):
                        cell = cell[cell[name] == value]
                    cell = cell.dropna(subset=[variable])
                    n = base_of(cell["_w"], kind) if weighted else float(len(cell))
                    ok = n > 1 and n >= means.get("minBase", 0)
                    samples.append((cell[variable].to_numpy(float), cell["_w"].to_numpy(float), n)
                                   if ok else None)
                pairwise(out, prefix, "means", variable, sub, row, inner_categories, samples, means,
                         lambda a, b: mean_p(a, b, means.get("variance", "pooled"), weighted),
                         lambda s: np.average(s[0], weights=s[1]))
        if tests.get("chiSquare"):
            counts = np.array([[sum(c["_w"][(c[rows] == list(rv)).all(axis=1)])
                                for c in by_column]
                               for rv in itertools.product(*row_lists)], dtype=float)
            counts = counts[counts.sum(axis=1) > 0][:, counts.sum(axis=0) > 0]
            if counts.shape[0] >= 2 and counts.shape[1] >= 2:
                statistic, p, df, expected = stats.chi2_contingency(counts, correction=False)
                out.append(prefix + ["chiSquare", "-", sub, "-", "-", repr(float(statistic)),
                                     repr(float(df)), repr(float(p)), repr(float(expected.min()))])


def main():
    out = []
    for request_name in ("significance_gss.json", "significance_survey.json"):
        request, data, labelled, weight = load(os.path.join(HERE, request_name))
        for index, table in enumerate(request["tables"]):
            run_table(out, [request_name, str(index)], table, data, labelled, weight)
    with open(os.path.join(HERE, "significance_expected.tsv"), "w") as f:
        for line in out:
            f.write("\t".join(line) + "\n")
    print(len(out), "lines")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Independent reference values for the multiple-response tests (tests/aggregator/MRSetCube_test.cpp).

Writes two files next to this script:
  mrsets_data.csv      the data set: 6,000 weighted cases of a categorical
                       variable g, five members m1..m5 of a multiple category
                       set, six members d1..d6 of a multiple dichotomy set and
                       a weight w (an empty field is system-missing)
  mrsets_expected.tsv  for every cell of three tables, every statistic's value

Run with Debian's python3-pandas:  /usr/bin/python3 tests/reference/mrsets_reference.py

The values are computed here from the definitions, with pandas group-bys over
the data; nothing is taken from the engine.

Dictionary (the C++ test declares the same):
  g      codes 1..3, user-missing value 9, some system-missing
  m1..m5 values 1..12, some system-missing; m1 declares 99 user-missing and
         is the set's user-missing variable, so 99 is missing in every member;
         m3 declares 12 user-missing, which the set ignores (the set's
         user-missing variable alone judges the members)
  d1..d6 0 or 1 (the counted value), an occasional 2, some system-missing
  w      weight, multiples of 0.5 from 0.5 to 3.0 (sums stay exact in binary)

Tables (rows: the set; columns: g; both show a total after their categories;
missing values excluded):
  mc0  the category set, a category counted once per case however many
       members give it
  mc1  the category set, duplicates counted: every member that gives a
       category is one response to it
  md   the dichotomy set: each member holding 1 is one response, its category
       named after the member

How a case reaches cells.  A case counts when g is valid (1..3) and the set
has at least one response in it.  A counted case adds its weight to the count
of every (category, g) cell it responds in, and to the (category, T),
(T, g) and (T, T) cells; its responses are weight x the number of responses
behind the category (1, or the number of members giving it when duplicates
are counted), and weight x all its responses in the set's total T.  Cases
that do not count add to no count and no responses.  Unweighted statistics
use weight 1.

Percentages.  A percentage in a cell is the cell's value over the value of the
cell's base, times 100; the base is the counted cases grouped on the
dimensions the kind keeps (row: the set; column: g; table: nothing).  The
responses of a base that keeps the set are the responses behind its category;
a base that drops it takes every response of its cases.  Four families:
  count over count, responses over responses, responses over count, count
  over responses.
A denominator of 0 gives the missing value.
"""

import os

import numpy as np
import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
N_CASES = 6000
SEED = 20240611
TOTAL = "T"

MC_MEMBERS = ["m1", "m2", "m3", "m4", "m5"]
MD_MEMBERS = ["d1", "d2", "d3", "d4", "d5", "d6"]
MC_USER_MISSING = 99.0  # declared by m1, the set's user-missing variable

# Statistic codes, the weighted one first, its unweighted twin second.
COUNT, UCOUNT = 1, 2
RESPONSES, URESPONSES = 84, 85
# Percentage families: (weighted code of the row kind, numerator, denominator).
# The code of kind t (0 row, 1 column, 2 table) is base + 2t, the unweighted
# twin one more.
FAMILIES = [
    (3, "count", "count"),
    (86, "responses", "responses"),
    (100, "responses", "count"),
    (114, "count", "responses"),
]
KINDS = {0: ("set",), 1: ("g",), 2: ()}


def make_data():
    rng = np.random.RandomState(SEED)
    n = N_CASES
    data = pd.DataFrame(index=range(n))

    g = rng.choice([1.0, 2.0, 3.0, 9.0], size=n, p=[0.36, 0.30, 0.26, 0.08])
    g[rng.rand(n) < 0.04] = np.nan
    data["g"] = g

    # Each member answers with decreasing probability; values skewed towards
    # low codes so that duplicates within a case are common.
    value_probs = np.array([12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1], dtype=float)
    value_probs /= value_probs.sum()
    for i, name in enumerate(MC_MEMBERS):
        values = rng.choice(np.arange(1, 13, dtype=float), size=n, p=value_probs)
        values[rng.rand(n) < 0.03] = MC_USER_MISSING
        values[rng.rand(n) < 0.05 + 0.15 * i] = np.nan
        data[name] = values

    for i, name in enumerate(MD_MEMBERS):
        values = (rng.rand(n) < 0.15 + 0.1 * i).astype(float)
        values[rng.rand(n) < 0.02] = 2.0
        values[rng.rand(n) < 0.05] = np.nan
        data[name] = values

    data["w"] = rng.randint(1, 7, size=n) * 0.5
    return data


def long_responses(data, table):
    """One row per (case, category) with the number of responses behind it."""
    rows = []
    if table == "md":
        for name in MD_MEMBERS:
            hit = data[data[name] == 1.0]
            rows.append(pd.DataFrame({"case": hit.index, "cat": name, "n": 1}))
    else:
        for name in MC_MEMBERS:
            v = data[name]
            valid = v.notna() & (v != MC_USER_MISSING)
            rows.append(pd.DataFrame({"case": data.index[valid], "cat": v[valid].astype(int)}))
        long = pd.concat(rows, ignore_index=True)
        long = long.groupby(["case", "cat"]).size().rename("n").reset_index()
        if table == "mc0":
            long["n"] = 1
        return long
    return pd.concat(rows, ignore_index=True)


def cells(data, table):
    """All cells of one table: {(row, col): {code: value}}."""
    long = long_responses(data, table)
    g_valid = data["g"].isin([1.0, 2.0, 3.0])
    counted_cases = set(long["case"]) & set(data.index[g_valid])
    long = long[long["case"].isin(counted_cases)].copy()
    cases = data.loc[sorted(counted_cases)].copy()
    cases["responses"] = long.groupby("case")["n"].sum()
    cases["g"] = cases["g"].astype(int)
    long["g"] = data.loc[long["case"], "g"].astype(int).values
    long["w"] = data.loc[long["case"], "w"].values

    results = {}
    for weighted in (True, False):
        lw = long["w"] if weighted else pd.Series(1.0, index=long.index)
        cw = cases["w"] if weighted else pd.Series(1.0, index=cases.index)
        long_v = pd.DataFrame({"set": long["cat"], "g": long["g"], "count": lw, "responses": lw * long["n"]})
        case_v = pd.DataFrame({"set": TOTAL, "g": cases["g"], "count": cw, "responses": cw * cases["responses"]})

        def sums(frame, keys):
            if keys:
                return frame.groupby(list(keys))[["count", "responses"]].sum()
            return frame[["count", "responses"]].sum()

        # Cell values: categories from the long rows, the set's total from the
        # case rows; each against g and against g's total.
        value = {}
        for (cat, g), row in sums(long_v, ("set", "g")).iterrows():
            value[(cat, g)] = row
        for cat, row in sums(long_v, ("set",)).iterrows():
            value[(cat, TOTAL)] = row
        for g, row in sums(case_v, ("g",)).iterrows():
            value[(TOTAL, g)] = row
        value[(TOTAL, TOTAL)] = sums(case_v, ())

        # Bases: the counted cases grouped on the kept dimensions; responses
        # behind the category when the set is kept, all responses otherwise.
        bases = {}
        for kind, keep in KINDS.items():
            base = {}
            if "set" in keep:
                for cat, row in sums(long_v, ("set",)).iterrows():
                    base[(cat,)] = row
                base[(TOTAL,)] = sums(case_v, ())
            elif "g" in keep:
                for g, row in sums(case_v, ("g",)).iterrows():
                    base[(g,)] = row
                base[(TOTAL,)] = sums(case_v, ())
            else:
                base[()] = sums(case_v, ())
            bases[kind] = base

        shift = 0 if weighted else 1
        for (cat, g), row in value.items():
            out = results.setdefault((cat, g), {})
            out[COUNT + shift] = row["count"]
            out[RESPONSES + shift] = row["responses"]
            for kind, keep in KINDS.items():
                key = tuple(cat if d == "set" else g for d in keep)
                base = bases[kind][key]
                for base_code, numerator, denominator in FAMILIES:
                    den = base[denominator]
                    out[base_code + 2 * kind + shift] = (
                        100.0 * row[numerator] / den if den != 0 else None)
    return results


def main():
    data = make_data()
    data.to_csv(os.path.join(HERE, "mrsets_data.csv"), index=False, na_rep="", float_format="%.1f")
    # Read back what the C++ test reads, so both sides see the same numbers.
    data = pd.read_csv(os.path.join(HERE, "mrsets_data.csv"))
    with open(os.path.join(HERE, "mrsets_expected.tsv"), "w") as out:
        out.write("table\tstatistic\trow\tcolumn\tvalue\n")
        for table in ("mc0", "mc1", "md"):
            results = cells(data, table)
            for (cat, g) in sorted(results, key=lambda k: (str(k[0]), str(k[1]))):
                for code in sorted(results[(cat, g)]):
                    v = results[(cat, g)][code]
                    text = "missing" if v is None else repr(float(v))
                    out.write(f"{table}\t{code}\t{cat}\t{g}\t{text}\n")


if __name__ == "__main__":
    main()

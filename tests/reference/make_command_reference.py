#!/usr/bin/python3
"""Independent reference values for the tabcube command's reference requests
(examples/requests/reference_*.json), computed with pandas straight from the
CSV files and dictionaries. Writes command_reference.csv:
request, table, cell key, statistic, value.

A cell key is "name=value" per dimension, joined by "|"; a total is
"name=total" and a subtotal "name=subtotal:<label>".

Rules used here (they are the table procedure's definitions):
- a case counts in a crosstab cell when its value of every dimension is a
  valid category (user- and system-missing values excluded); a total
  category counts every valid category, a subtotal the listed values of its
  group;
- a percentage divides a cell's count by the count of its base cell, times
  100. Bases for rows R, columns C, layers L (one variable each): row and
  layer-row keep R and L; column and layer-column keep C and L; subtable and
  layer keep L; table keeps nothing;
- sums and means use the valid values of the scale variable in the cell,
  with listwise deletion (the default, since pairwise tests are off): a case
  missing any scale variable of the table is left out of every scale
  statistic of the table;
  the median is the averaged-empirical percentile (the smallest value whose
  cumulative weight reaches half the total, averaged with the next value
  when it reaches it exactly);
- multiple category set: a case counts once per category it mentions,
  responses count every valid mention (duplicates included); the set's
  total counts cases with at least one valid mention and all their
  mentions. Percentages of counts divide by the cases with at least one
  mention in the column; percentages of responses by all mentions there;
- multiple dichotomy set: a member counts when its value is the counted
  value; the total counts cases with at least one;
- weights: cases whose weight is missing, zero or negative are left out.
"""
import json
import os

import numpy as np
import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "examples", "data")
rows_out = []


def load(name):
    frame = pd.read_csv(os.path.join(DATA, name + ".csv"), keep_default_na=False,
                        dtype=str)
    dictionary = json.load(open(os.path.join(DATA, name + ".dict.json")))
    for v in dictionary["variables"]:
        if v["type"] == "numeric":
            frame[v["name"]] = pd.to_numeric(frame[v["name"]].replace("", np.nan))
    return frame, {v["name"]: v for v in dictionary["variables"]}, dictionary["weight"]


def valid(frame, spec, column):
    values = frame[column]
    ok = values.notna()
    missing = spec[column]["missing"]
    if missing["values"]:
        ok &= ~values.isin(missing["values"])
    if missing["range"]:
        lo, hi = missing["range"]
        ok &= ~((values >= lo) & (values <= hi))
    return ok


def emit(request, table, key, statistic, value):
    rows_out.append((request, table, key, statistic, repr(float(value))))


def median(values, weights):
    order = np.argsort(values, kind="stable")
    x = np.asarray(values)[order]
    w = np.asarray(weights)[order]
    # Collapse equal values, as a frequency table does.
    keys, inverse = np.unique(x, return_inverse=True)
    freq = np.bincount(inverse, weights=w)
    total = freq.sum()
    target = total / 2.0
    cumulative = np.cumsum(freq)
    for i, c in enumerate(cumulative):
        if abs(c - target) <= 1e-9 * max(1.0, total) and i + 1 < len(keys):
            return (keys[i] + keys[i + 1]) / 2.0
        if c > target:
            return keys[i]
    return keys[-1]


def gss():
    request = "reference_gss.json"
    frame, spec, _ = load("gss_cat")
    # Table 0: partyid (with subtotals) x race x year.
    groups = {"subtotal:Republican": [2, 3], "subtotal:Independent": [4, 5, 6],
              "subtotal:Democrat": [7, 8]}
    listed = [1, 2, 3, 4, 5, 6, 7, 8]
    ok = valid(frame, spec, "partyid") & frame["partyid"].isin(listed)
    ok &= valid(frame, spec, "race") & valid(frame, spec, "year")
    data = frame[ok]
    party_cats = {str(v): [v] for v in listed}
    party_cats.update(groups)
    party_cats["total"] = listed
    race_values = sorted(data["race"].unique())
    race_cats = {str(int(v)): [v] for v in race_values}
    race_cats["total"] = race_values
    year_values = sorted(data["year"].unique())
    year_cats = {str(int(v)): [v] for v in year_values}
    year_cats["total"] = year_values

    def count(p=None, r=None, y=None):
        mask = np.ones(len(data), dtype=bool)
        if p is not None:
            mask &= data["partyid"].isin(party_cats[p]).to_numpy()
        if r is not None:
            mask &= data["race"].isin(race_cats[r]).to_numpy()
        if y is not None:
            mask &= data["year"].isin(year_cats[y]).to_numpy()
        return float(mask.sum())

    for p in party_cats:
        for r in race_cats:
            for y in year_cats:
                key = f"partyid={p}|race={r}|year={y}"
                n = count(p, r, y)
                if n == 0:
                    continue
                emit(request, 0, key, "Count", n)
                bases = {"RowPct": count(p, None, y), "ColPct": count(None, r, y),
                         "TablePct": count(), "SubtablePct": count(None, None, y),
                         "LayerPct": count(None, None, y), "LayerRowPct": count(p, None, y),
                         "LayerColPct": count(None, r, y)}
                for name, base in bases.items():
                    emit(request, 0, key, name, n / base * 100.0)

    # Table 1: marital x race; count, mean and median age, sum of tvhours and
    # its column percentage.
    ok = valid(frame, spec, "marital") & valid(frame, spec, "race")
    data = frame[ok]
    marital_values = sorted(data["marital"].unique())
    race_values = sorted(data["race"].unique())
    marital_cats = {str(int(v)): [v] for v in marital_values}
    marital_cats["total"] = marital_values
    race_cats = {str(int(v)): [v] for v in race_values}
    race_cats["total"] = race_values
    for m, mv in marital_cats.items():
        for r, rv in race_cats.items():
            cell = data[data["marital"].isin(mv) & data["race"].isin(rv)]
            if len(cell) == 0:
                continue
            key = f"marital={m}|race={r}"
            emit(request, 1, key, "Count", len(cell))
            complete = cell[valid(cell, spec, "age") & valid(cell, spec, "tvhours")]
            if len(complete) == 0:
                continue
            ages = complete["age"]
            emit(request, 1, key, "Mean", ages.mean())
            emit(request, 1, key, "Median", median(ages.to_numpy(), np.ones(len(ages))))
            tv = complete["tvhours"]
            emit(request, 1, key, "Sum", tv.sum())
            column = data[data["race"].isin(rv)]
            column = column[valid(column, spec, "age") & valid(column, spec, "tvhours")]
            column_sum = column["tvhours"].sum()
            if column_sum != 0:
                emit(request, 1, key, "ColSumPct", tv.sum() / column_sum * 100.0)


def survey():
    request = "reference_survey.json"
    frame, spec, weight = load("survey")
    w = frame[weight]
    frame = frame[w.notna() & (w > 0)].copy()
    brands = [f"brand{i}" for i in range(1, 6)]
    media = [f"media{i}" for i in range(1, 7)]
    # Table 0: brands (category set, duplicates counted) x gender.
    mentions = {}
    for b in brands:
        # The set's missing values are those of its first member.
        ok = frame[b].notna() & ~frame[b].isin(spec["brand1"]["missing"]["values"])
        mentions[b] = frame[b].where(ok)
    codes = sorted({int(v) for b in brands for v in mentions[b].dropna()})
    gender_values = sorted(frame["gender"][valid(frame, spec, "gender")].unique())
    gender_cats = {str(int(v)): [v] for v in gender_values}
    gender_cats["total"] = gender_values
    any_mention = np.zeros(len(frame), dtype=bool)
    all_responses = np.zeros(len(frame))
    for b in brands:
        any_mention |= mentions[b].notna().to_numpy()
        all_responses += mentions[b].notna().to_numpy()
    weights = frame[weight].to_numpy()
    for g, gv in gender_cats.items():
        in_g = frame["gender"].isin(gv).to_numpy()
        base_count = weights[in_g & any_mention].sum()
        base_responses = (weights * all_responses)[in_g].sum()
        cats = {str(c): c for c in codes}
        cats["total"] = None
        for name, code in cats.items():
            if code is None:
                has = any_mention
                responses = all_responses
            else:
                per = np.vstack([(mentions[b] == code).to_numpy() for b in brands])
                has = per.any(axis=0)
                responses = per.sum(axis=0)
            sel = in_g & has
            if not sel.any():
                continue
            key = f"brands={name}|gender={g}"
            emit(request, 0, key, "Count", weights[sel].sum())
            emit(request, 0, key, "UCount", sel.sum())
            emit(request, 0, key, "Responses", (weights * responses)[in_g].sum())
            emit(request, 0, key, "ColPct", weights[sel].sum() / base_count * 100.0)
            emit(request, 0, key, "ColResponsesPct",
                 (weights * responses)[in_g].sum() / base_responses * 100.0)
    # Table 1: media (dichotomy set, counted value 1) x region; count, column
    # percentage and mean spend.
    used = {m: (frame[m] == 1).to_numpy() for m in media}
    any_used = np.zeros(len(frame), dtype=bool)
    for m in media:
        any_used |= used[m]
    region_ok = valid(frame, spec, "region").to_numpy()
    region_values = sorted(frame["region"][region_ok].unique())
    region_cats = {str(int(v)): [v] for v in region_values}
    region_cats["total"] = region_values
    spend_ok = valid(frame, spec, "spend").to_numpy()
    spend = frame["spend"].to_numpy()
    for r, rv in region_cats.items():
        in_r = frame["region"].isin(rv).to_numpy() & region_ok
        base = weights[in_r & any_used].sum()
        cats = {m: used[m] for m in media}
        cats["total"] = any_used
        for name, has in cats.items():
            sel = in_r & has
            if not sel.any():
                continue
            key = f"media={name}|region={r}"
            emit(request, 1, key, "Count", weights[sel].sum())
            emit(request, 1, key, "ColPct", weights[sel].sum() / base * 100.0)
            s = sel & spend_ok
            if weights[s].sum() > 0:
                emit(request, 1, key, "Mean", (weights[s] * spend[s]).sum() / weights[s].sum())


gss()
survey()
with open(os.path.join(HERE, "command_reference.csv"), "w") as out:
    out.write("request,table,key,statistic,value\n")
    for row in rows_out:
        out.write(",".join(str(v) for v in row) + "\n")
print(len(rows_out), "reference values")

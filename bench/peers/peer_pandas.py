#!/usr/bin/python3
"""pandas peer. usage: /usr/bin/python3 peer_pandas.py N_LABEL(1m|10m) REPS [workloads]
Timing covers only the aggregation (data already loaded). 1 untimed warm-up + REPS timed runs."""
import sys, os, time, json, gc, itertools
import numpy as np, pandas as pd

lab = sys.argv[1]; reps = int(sys.argv[2])
wls = sys.argv[3].split(",") if len(sys.argv) > 3 else ["w1", "w1r", "w2", "w3", "w4"]
OUT = os.environ.get("PEERS_RESULTS", "/tmp/peers/results")
DATA = os.environ.get("PEERS_DATA", "/tmp/peers/data")
t0 = time.perf_counter()
df = pd.read_csv(f"{DATA}/data_{lab}.csv")      # ints -> int64; income/q* -> float64 with NaN
load_s = time.perf_counter() - t0
QS = ["q1", "q2", "q3", "q4", "q5"]

def cube_sets(dims):
    return [list(c) for k in range(len(dims), -1, -1) for c in itertools.combinations(dims, k)]

D1 = ["region", "product", "year"]

def add_colpct(res, val, out):
    # column % = cell / (same product, same year, region = Total)
    den = res.loc[res.region == 0, ["product", "year", val]].rename(columns={val: "_den"})
    res = res.merge(den, on=["product", "year"], how="left")
    res[out] = 100.0 * res[val] / res["_den"]
    return res.drop(columns="_den")

def w1(df):
    parts = []
    for s in cube_sets(D1):                              # 8 grouping sets, each from the raw data
        if s:
            g = df.groupby(s, sort=False)["income"].agg(["size", "mean", "sum"]).reset_index()
        else:
            g = pd.DataFrame({"size": [len(df)], "mean": [df.income.mean()], "sum": [df.income.sum()]})
        for d in D1:
            if d not in s: g[d] = 0                      # 0 = Total
        parts.append(g)
    res = pd.concat(parts, ignore_index=True).rename(columns={"size": "count", "mean": "mean_income", "sum": "sum_income"})
    return add_colpct(res, "count", "colpct")[D1 + ["count", "mean_income", "sum_income", "colpct"]]

def w1_rollup(df):
    # variant: one groupby at the finest level, margins rolled up from the 1000-cell base table
    base = df.groupby(D1, sort=False)["income"].agg(["size", "sum", "count"]).reset_index()
    parts = []
    for s in cube_sets(D1):
        g = base.groupby(s, sort=False)[["size", "sum", "count"]].sum().reset_index() if s else \
            pd.DataFrame(base[["size", "sum", "count"]].sum()).T
        for d in D1:
            if d not in s: g[d] = 0
        parts.append(g)
    res = pd.concat(parts, ignore_index=True)
    res["mean_income"] = res["sum"] / res["count"]
    res = res.rename(columns={"size": "count", "sum": "sum_income", "count": "n_valid"})
    return add_colpct(res, "count", "colpct")[D1 + ["count", "mean_income", "sum_income", "colpct"]]

def w2(df):
    valid = df.income.notna()
    tmp = df[D1].assign(w=df.weight, wi=df.weight * df.income, wv=df.weight.where(valid, 0.0))
    parts = []
    for s in cube_sets(D1):
        g = tmp.groupby(s, sort=False)[["w", "wi", "wv"]].sum().reset_index() if s else \
            pd.DataFrame(tmp[["w", "wi", "wv"]].sum()).T
        for d in D1:
            if d not in s: g[d] = 0
        parts.append(g)
    res = pd.concat(parts, ignore_index=True)
    res["wmean_income"] = res.wi / res.wv
    res = res.rename(columns={"w": "wcount", "wi": "wsum_income"})
    return add_colpct(res, "wcount", "wcolpct")[D1 + ["wcount", "wmean_income", "wsum_income", "wcolpct"]]

D3 = ["region", "gender"]
PCT = [0.25, 0.5, 0.75]
def w3(df):
    parts = []
    for s in cube_sets(D3):                              # 4 grouping sets
        if s:
            g = df.groupby(s, sort=False)["income"].quantile(PCT).unstack().reset_index()   # linear (type 7), NaN skipped
        else:
            g = pd.DataFrame([df.income.quantile(PCT).values], columns=PCT)
        for d in D3:
            if d not in s: g[d] = 0
        parts.append(g)
    res = pd.concat(parts, ignore_index=True).rename(columns={0.25: "p25", 0.5: "median", 0.75: "p75"})
    return res[D3 + ["p25", "median", "p75"]]

def w4(df):
    long = df[["gender"] + QS].reset_index().melt(id_vars=["index", "gender"], value_vars=QS, value_name="cat")
    long = long.dropna(subset=["cat"])
    resp = long.groupby(["cat", "gender"]).size().rename("responses")
    uniq = long.drop_duplicates(["index", "cat"])                 # each category once per case
    cases = uniq.groupby(["cat", "gender"]).size().rename("cases")
    anyc = long.drop_duplicates("index").groupby("gender").size()  # cases with >=1 mention (set total)
    body = pd.concat([cases, resp], axis=1).reset_index()
    body["cat"] = body.cat.astype("int64")
    gtot = body.groupby("cat")[["cases", "responses"]].sum().reset_index().assign(gender=0)
    ctot = pd.DataFrame({"cat": 0, "gender": anyc.index, "cases": anyc.values,
                         "responses": resp.groupby(level="gender").sum().reindex(anyc.index).values})
    all_ = pd.DataFrame({"cat": [0], "gender": [0], "cases": [anyc.sum()], "responses": [resp.sum()]})
    return pd.concat([body, gtot, ctot, all_], ignore_index=True)[["cat", "gender", "cases", "responses"]]

FUN = {"w1": w1, "w1r": w1_rollup, "w2": w2, "w3": w3, "w4": w4}
KEYS = {"w1": D1, "w1r": D1, "w2": D1, "w3": D3, "w4": ["cat", "gender"]}
with open(f"{OUT}/timings.jsonl", "a") as f:
    f.write(json.dumps({"peer": "pandas", "n": lab, "workload": "load", "times": [load_s]}) + "\n")
for w in wls:
    res = FUN[w](df)                                     # warm-up (untimed); also the result we check
    res.sort_values(KEYS[w]).to_csv(f"{OUT}/pandas_{w}_{lab}.csv", index=False, float_format="%.17g")
    ts = []
    for _ in range(reps):
        gc.collect()
        t = time.perf_counter(); r = FUN[w](df); ts.append(time.perf_counter() - t)
    rec = {"peer": "pandas", "n": lab, "workload": w, "times": ts}
    print(json.dumps(rec), flush=True)
    with open(f"{OUT}/timings.jsonl", "a") as f: f.write(json.dumps(rec) + "\n")

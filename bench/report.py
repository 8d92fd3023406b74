#!/usr/bin/python3
"""Side-by-side table of the timings in RESULTS/timings.jsonl, and a check of
tabcube's cells against pandas' for the workloads whose definitions agree.
usage: report.py RESULTS_DIR [MACHINE_DESCRIPTION]"""
import json, math, os, statistics, sys

import pandas as pd

results = sys.argv[1]
machine = sys.argv[2] if len(sys.argv) > 2 else ""
PEERS = [("tabcube", "tabcube"), ("tabcube_2t", "tabcube (2 threads)"), ("pandas", "pandas 1.5"), ("duckdb-t2", "DuckDB (2 threads)"),
         ("data.table-t1", "data.table (1 thread)"), ("polars", "polars (node)")]

runs = {}
for line in open(os.path.join(results, "timings.jsonl")):
    rec = json.loads(line)
    runs.setdefault((rec["peer"], rec["n"], rec["workload"]), []).append(rec)


def stats(peer, n, w):
    recs = runs.get((peer, n, w))
    if not recs:
        return None
    times = sorted(t for r in recs for t in r["times"])
    return min(times), statistics.median(times)


rows = sorted({(w, n) for (p, n, w) in runs if w in ("w1", "w2", "w3", "w4")},
              key=lambda k: (k[0], {"1m": 0, "10m": 1}.get(k[1], 2)))
if machine:
    print(f"Machine: {machine}\n")
print("Seconds, min / median of the timed runs after a warm-up; engine or query only, data in memory.")
print("In brackets: the peer's median divided by tabcube's on one thread (above 1: tabcube is faster).")
print("tabcube (2 threads): the cases in two parts, each aggregated on its own thread, merged.\n")
print("| workload | N | " + " | ".join(label for _, label in PEERS) + " |")
print("|---|---|" + "---|" * len(PEERS))
for w, n in rows:
    ours = stats("tabcube", n, w)
    cells = []
    for peer, _ in PEERS:
        s = stats(peer, n, w)
        if peer == "duckdb-t2" and w == "w4":
            # DuckDB's faster W4 query (per-case de-duplication), when it ran.
            faster = stats(peer, n, "w4b")
            if faster and (s is None or faster[1] < s[1]):
                s = faster
        if s is None:
            cells.append("—")
            continue
        text = f"{s[0]:.3f} / {s[1]:.3f}"
        if not peer.startswith("tabcube") and ours:
            text += f" ({s[1] / ours[1]:.2f}×)"
        cells.append(text)
    print(f"| {w.upper()} | {n.upper()} | " + " | ".join(cells) + " |")

notes = []
for n in ("1m", "10m"):
    plain, tuned = stats("duckdb-t2", n, "w4"), stats("duckdb-t2", n, "w4b")
    if plain and tuned:
        notes.append(f"- DuckDB W4 {n.upper()}: the table shows the faster of its two queries; "
                     f"count(DISTINCT id) {plain[0]:.3f} / {plain[1]:.3f}, "
                     f"per-case de-duplication {tuned[0]:.3f} / {tuned[1]:.3f}.")
    tuned = stats("pandas", n, "w1r")
    if tuned:
        notes.append(f"- pandas W1 {n.upper()} hand-tuned (finest crossing summed up to the totals; "
                     f"counts, sums and means only): {tuned[0]:.3f} / {tuned[1]:.3f}.")
if notes:
    print("\n" + "\n".join(notes))

e2e = {(n, w): recs for (p, n, w), recs in runs.items() if p == "tabcube-command"}
if e2e:
    print("\nEnd to end through the tabcube command (read the CSV, W1, write the result):")
    for (n, w) in sorted(e2e):
        times = sorted(r["times"][0] for r in e2e[(n, w)])
        peak = max(r["peak_kib"] for r in e2e[(n, w)])
        how = "one thread (--threads 0)" if w.endswith("1thread") else "default (a part per core)"
        line = (f"- {n.upper()}, {how}: {min(times):.2f} s min, {statistics.median(times):.2f} s "
                f"median, peak resident memory {peak / 1024:.0f} MiB")
        load, query = stats("duckdb-t2", n, "load"), stats("duckdb-t2", n, "w1")
        if load and query and not w.endswith("1thread"):
            duck = load[0] + query[1]
            line += (f"; DuckDB CSV load + W1 query {duck:.2f} s "
                     f"({duck / statistics.median(times):.1f}x ours)")
        print(line)
    loads = {p: stats(p, "1m", "load") for p, _ in PEERS[2:]}
    text = ", ".join(f"{label} {loads[p][0]:.2f} s" for p, label in PEERS[2:] if loads.get(p))
    if text:
        print(f"- loading the 1M CSV alone (peers, once): {text}")


def compare(w, n, ours_cols, theirs_cols, keys):
    a_path = os.path.join(results, f"tabcube_{w}_{n}.csv")
    b_path = os.path.join(results, f"pandas_{w}_{n}.csv")
    if not (os.path.exists(a_path) and os.path.exists(b_path)):
        return None
    a = pd.read_csv(a_path)
    b = pd.read_csv(b_path)
    b = b[keys + theirs_cols].rename(columns=dict(zip(theirs_cols, ours_cols)))
    m = a.merge(b, on=keys, how="outer", suffixes=("", "_pd"), indicator=True)
    only = int((m["_merge"] != "both").sum())
    bad = 0
    for c in ours_cols:
        x, y = m[c].to_numpy(float), m[c + "_pd"].to_numpy(float)
        for u, v in zip(x, y):
            if math.isnan(u) and math.isnan(v):
                continue
            if not (abs(u - v) <= 1e-9 * max(abs(u), abs(v), 1e-300)):
                bad += 1
    return len(m), only, bad


checks = [("w1", ["count", "mean_income", "sum_income", "colpct"],
           ["count", "mean_income", "sum_income", "colpct"], ["region", "product", "year"]),
          ("w2", ["count", "mean_income", "sum_income", "colpct"],
           ["wcount", "wmean_income", "wsum_income", "wcolpct"], ["region", "product", "year"]),
          ("w4", ["cases", "responses"], ["cases", "responses"], ["cat", "gender"])]
lines = []
for w, ours_cols, theirs_cols, keys in checks:
    for n in ("1m", "10m"):
        r = compare(w, n, ours_cols, theirs_cols, keys)
        if r:
            lines.append(f"- {w.upper()} {n.upper()}: {r[0]} cells, {r[1]} in one result only, "
                         f"{r[2]} values differing by more than 1e-9 relative")
if lines:
    print("\nCells of tabcube against pandas (W3 differs by the percentile rule):")
    print("\n".join(lines))

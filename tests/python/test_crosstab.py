"""tabcube.crosstab against pandas' own crosstab and pivot_table."""

import numpy as np
import pandas as pd
import pytest

import tabcube

LEVELS = {1: "low", 2: "mid", 3: "high"}


@pytest.fixture(scope="module")
def frame():
    rng = np.random.default_rng(11)
    n = 3000
    r = rng.integers(1, 4, n).astype(float)
    r[rng.random(n) < 0.05] = np.nan
    c = pd.Categorical(rng.choice(["a", "b", "c", None], n, p=[0.4, 0.3, 0.25, 0.05]),
                       categories=["c", "a", "b"])
    g = pd.Series(rng.choice(["x", "y"], n), dtype=object)
    return pd.DataFrame({"r": r, "c": c, "g": g, "w": rng.uniform(0.5, 2.0, n),
                         "inc": rng.normal(100, 30, n)})


def pandas_table(frame, values, aggfunc, rows="r", columns="c"):
    clean = frame.dropna(subset=[rows, columns])
    table = clean.pivot_table(values=values, index=rows, columns=columns, aggfunc=aggfunc,
                              margins=True, margins_name="Total", observed=True)
    table.index = [LEVELS.get(v, v) for v in table.index]
    table.columns = [str(v) for v in table.columns]
    return table


def ours(table, statistic):
    part = table.xs(statistic, axis=1, level="statistic")
    part.index, part.columns = list(part.index), list(part.columns)
    return part


@pytest.mark.parametrize("weighted", [False, True])
def test_counts_percentages_means_and_margins(frame, weighted):
    weight = "w" if weighted else None
    table = tabcube.crosstab(frame, "r", "c", stats=["Count", "ColPct", "RowPct",
                                                     ("Mean", "inc"), ("Sum", "inc")],
                             weight=weight, labels={"r": LEVELS})
    data = frame.assign(one=1.0, wx=frame.w * frame.inc)
    count = pandas_table(data, "w" if weighted else "one", "sum")
    total = pandas_table(data, "wx" if weighted else "inc", "sum")
    rows = list(count.index)
    assert list(ours(table, "Count").index) == ["low", "mid", "high", "Total"]
    assert list(ours(table, "Count").columns) == ["c", "a", "b", "Total"]
    pd.testing.assert_frame_equal(ours(table, "Count").loc[rows, count.columns], count)
    pd.testing.assert_frame_equal(ours(table, "ColPct").loc[rows, count.columns],
                                  count / count.loc["Total"] * 100)
    pd.testing.assert_frame_equal(ours(table, "RowPct").loc[rows, count.columns],
                                  count.div(count["Total"], axis=0) * 100)
    pd.testing.assert_frame_equal(ours(table, "Sum inc").loc[rows, count.columns], total)
    pd.testing.assert_frame_equal(ours(table, "Mean inc").loc[rows, count.columns], total / count)


def test_nested_rows_text_columns_and_unweighted_counts(frame):
    table = tabcube.crosstab(frame, ["g", "c"], stats="Count", totals=False)
    expected = pd.crosstab([frame.g, frame.c], columns="Count")
    assert list(table.index) == [(g, c) for g in ("x", "y") for c in ("c", "a", "b")]
    np.testing.assert_array_equal(table["Count"].to_numpy(),
                                  expected.loc[list(table.index), "Count"].to_numpy())


def test_user_missing_values_excluded_or_shown(frame):
    kept = frame[frame.r != 3]
    excluded = tabcube.crosstab(frame, "r", "g", missing_values={"r": [3]})
    expected = pd.crosstab(kept.r, kept.g, margins=True, margins_name="Total")
    np.testing.assert_array_equal(excluded.to_numpy(), expected.to_numpy())
    shown = tabcube.crosstab(frame, "r", "g", missing_values={"r": [3]}, missing="include")
    assert shown.loc["3", ("Total", "Count")] == (frame.r == 3).sum()
    assert shown.loc["Total", ("Total", "Count")] == frame.r.notna().sum()
    by_label = tabcube.crosstab(frame, "c", missing_values={"c": ["b"]})
    assert list(by_label.index) == ["c", "a", "Total"]


def test_tests_mark_the_letters_that_run_reports(frame):
    data = frame.assign(inc=frame.inc + np.where(frame.c == "a", 20.0, 0.0))
    tests = {"proportions": {}, "means": {"variables": ["inc"]}, "chiSquare": True}
    stats = ["Count", "ColPct", ("Mean", "inc")]
    table = tabcube.crosstab(data, "r", "c", stats=stats, tests=tests, labels={"r": LEVELS})
    request = {"tables": [{"rows": [["r"]], "columns": [["c"]], "tests": tests,
                           "variables": {"r": {"totals": True}, "c": {"totals": True}},
                           "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "inc"}]}]}
    expected = tabcube.run(request, data, labels={"r": LEVELS}).to_dict()["tables"][0]
    rows, columns = (d["categories"] for d in expected["dimensions"])
    assert table.attrs["letters"] == {(c["label"],): c["letter"] for c in columns if "letter" in c}
    assert table.attrs["chiSquare"] == expected["chiSquare"]
    marked = 0
    for cell in expected["cells"]:
        at = (rows[cell["categories"][0]]["label"], columns[cell["categories"][1]]["label"])
        for title, kind in (("ColPct sig", "proportions"), ("Mean inc sig", "means")):
            found = cell.get("tests", {}).get(kind)
            found = found.get("inc") if kind == "means" and found else found
            mark = table.loc[at[0], (at[1], title)]
            assert mark == "".join(found["higherThan"]) if found else pd.isna(mark), (at, kind)
            marked += bool(found and found["higherThan"])
    assert marked > 0
    plain = tabcube.crosstab(data, "r", "c", stats=stats, labels={"r": LEVELS})
    pd.testing.assert_frame_equal(table[plain.columns].astype(float), plain)

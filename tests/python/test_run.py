"""tabcube.run against the tabcube command on the bundled requests."""

import io
import json
import pathlib

import numpy as np
import pandas as pd
import pytest

import tabcube
from conftest import ROOT, command, command_json, read_like_command


def test_run_equals_the_command_on_files_and_frames(bundled_request):
    expected = command_json("run", bundled_request)
    assert tabcube.run(bundled_request).to_dict() == expected
    assert tabcube.run(bundled_request, threads=0).to_dict() == expected
    # The same data as a DataFrame, the request's dictionary lending labels,
    # missing values and the weight.
    spec = json.loads(bundled_request.read_text())
    base = bundled_request.parent
    frame = read_like_command(base / spec["data"], base / spec["dictionary"])
    assert tabcube.run(bundled_request, data=frame).to_dict() == expected
    # A dict request reads its relative paths from the working folder.
    absolute = dict(spec, data=str(base / spec["data"]), dictionary=str(base / spec["dictionary"]))
    assert tabcube.run(absolute).to_dict() == expected


def number(value):
    try:
        return float(value)
    except ValueError:
        return value


def assert_long_form_equals_commands(request_path):
    result = tabcube.run(request_path)
    assert str(result) == command("run", request_path)[1]
    status, csv, _ = command("run", request_path, "--format", "csv")
    expected = pd.read_csv(io.StringIO(csv), dtype=str, keep_default_na=False)
    ours = result.to_frame().astype(object)
    ours = ours.where(ours.notna(), "")
    numbers = [c for c in expected.columns if c.startswith("value") or
               c in ("parameter", "lowerLimit", "upperLimit", "upper", "level", "present", "df",
                     "p", "minExpected")]
    for column in numbers:  # the same numbers, whatever their printed form
        expected[column] = expected[column].map(number)
        ours[column] = ours[column].map(number)
    ours["table"] = ours["table"].astype(str)
    pd.testing.assert_frame_equal(ours.astype(str), expected.astype(str))
    first = result.tables[0]
    assert len(first.to_frame()) == (expected["table"] == "1").sum()
    assert str(first).splitlines()[0] == first.title
    return expected


def test_text_and_long_form_equal_the_commands(bundled_request):
    assert_long_form_equals_commands(bundled_request)


def test_long_form_of_absent_cells_limits_and_tests_equals_the_commands(tmp_path):
    """Absent cells written (emptyCells blank), limits, test lines of means and
    proportions, and chi-square lines naming a layer and an outer column."""
    data = ROOT / "examples" / "data"
    path = tmp_path / "request.json"
    path.write_text(json.dumps({
        "data": str(data / "survey.csv"), "dictionary": str(data / "survey.dict.json"),
        "tables": [{"title": "Spend", "layers": [["media1"]], "rows": [["city"]],
                    "columns": [["gender", "region"]], "emptyCells": "blank",
                    "variables": {"region": {"categories": [{"value": v} for v in range(1, 6)]}},
                    "filter": "age >= 30",
                    "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "spend"},
                                   {"name": "BetweenPct", "variable": "age", "lower": 30,
                                    "upper": 50}],
                    "tests": {"proportions": {}, "means": {"variables": ["spend"]},
                              "chiSquare": True}}]}))
    expected = assert_long_form_equals_commands(path)
    kinds = set(expected["statistic"])
    assert {"ColumnMeansTest", "ColumnProportionsTest", "ChiSquare"} <= kinds
    assert (expected["present"] == 0).any()
    assert set(expected.loc[expected["statistic"] == "BetweenPct", "upperLimit"]) == {50}


def test_sqlite_data_equals_csv(tmp_path):
    import sqlite3
    request = ROOT / "examples" / "requests" / "demo_survey.json"
    csv = ROOT / "examples" / "data" / "survey.csv"
    with sqlite3.connect(tmp_path / "survey.db") as connection:
        pd.read_csv(csv).to_sql("survey", connection, index=False)
    from_sqlite = tabcube.run(request, data=tmp_path / "survey.db", sqlite="survey")
    assert from_sqlite.to_dict() == tabcube.run(request).to_dict()


def test_frame_columns_of_every_kind_give_the_same_tables():
    """The same values as float, nullable integer, categorical, text and
    object columns: the tables agree once labels name the same values."""
    rng = np.random.default_rng(7)
    codes = rng.integers(1, 4, 500).astype(float)
    codes[rng.random(500) < 0.1] = np.nan
    names = {1: "one", 2: "two", 3: "three"}
    text = pd.Series(codes).map(names)
    frames = {
        "float": pd.DataFrame({"x": codes}),
        "Int64": pd.DataFrame({"x": pd.array([None if np.isnan(v) else int(v) for v in codes],
                                             dtype="Int64")}),
        "object numbers": pd.DataFrame({"x": pd.Series(codes, dtype=object)}),
        "categorical": pd.DataFrame({"x": pd.Categorical(text, ["one", "two", "three"])}),
        "text": pd.DataFrame({"x": text.astype(object)}),
        "string": pd.DataFrame({"x": text.astype("string")}),
    }
    request = {"tables": [{"rows": [["x"]], "statistics": ["Count", "ColPct"],
                           "variables": {"x": {"totals": True}}}]}
    counts = {}
    for kind, frame in frames.items():
        table = tabcube.crosstab(frame, "x", stats=["Count", "ColPct"])
        if kind in ("float", "Int64", "object numbers"):
            table.index = table.index.map(lambda label: names.get(int(label), label)
                                          if label.isdigit() else label)
        counts[kind] = table.loc[["one", "two", "three", "Total"]]
        assert tabcube.run(request, frame).tables[0].to_dict()["casesRead"] == 500
    for kind, table in counts.items():
        pd.testing.assert_frame_equal(table, counts["float"], obj=kind)
    assert counts["float"].loc["Total", "Count"] == np.sum(~np.isnan(codes))


def test_aggregation_releases_the_interpreter_lock():
    """Another Python thread keeps running while the cases are aggregated."""
    import threading
    import time
    rng = np.random.default_rng(3)
    frame = pd.DataFrame({"a": rng.integers(0, 50, 2_000_000).astype(float),
                          "b": rng.integers(0, 50, 2_000_000).astype(float)})
    request = {"tables": [{"rows": [["a"]], "columns": [["b"]],
                           "statistics": ["Count", {"name": "Median", "variable": "a"}]}]}
    columns = tabcube._frame.frame_columns(frame)
    ticks, done = [], threading.Event()

    def aggregate():
        tabcube._tabcube.run_frame("", json.dumps(request), ".", columns, "", "", 0)
        done.set()

    worker = threading.Thread(target=aggregate)
    worker.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    # Ticks only while the worker runs: with the lock held there would be
    # none between its start and its end.
    assert len(ticks) > 20

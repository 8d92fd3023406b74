"""tabcube: statistical tables of pandas data frames, CSV and SQLite files.

run(request, data) runs a table request, the JSON structure the tabcube
command reads, and returns its tables; crosstab(data, rows, columns, ...)
returns one table as a DataFrame. tabcube.dask.run aggregates the partitions
of a Dask DataFrame on the workers.
"""

import json
import os

import pandas as pd

from . import _tabcube
from ._frame import frame_columns, referenced_names
from ._result import Result, Table

__all__ = ["run", "crosstab", "Result", "Table"]


def _request_arguments(request):
    """(path, text, base folder) of a request given as a dict or a file path."""
    if isinstance(request, dict):
        try:
            text = json.dumps(request)
        except (TypeError, ValueError) as error:
            raise TypeError(f"request: not JSON: {error}") from None
        return "", text, os.getcwd(), request
    if isinstance(request, (str, os.PathLike)):
        path = os.fspath(request)
        try:
            with open(path, encoding="utf-8") as file:
                parsed = json.load(file)
        except (OSError, ValueError):
            parsed = None  # the request layer reports the problem
        return path, "", "", parsed
    raise TypeError(f"request: expected a dict or the path of a JSON file, "
                    f"not {type(request).__name__}")


def _text_option(name, value):
    if value is None:
        return ""
    if isinstance(value, (str, os.PathLike)):
        return os.fspath(value)
    raise TypeError(f"{name}: expected a str, not {type(value).__name__}")


def _dictionary_weight(given, requested, request_path):
    """The weight variable that the dictionary file (given, else the request's
    own, relative to the request file) names; "" when there is none or it
    cannot be read (the request layer reports the problem)."""
    dictionary = given
    if not dictionary and isinstance(requested, str) and requested:
        dictionary = os.path.join(os.path.dirname(request_path), requested) if request_path \
            else requested
    if not dictionary:
        return ""
    try:
        with open(dictionary, encoding="utf-8") as file:
            weight = json.load(file).get("weight")
    except (OSError, ValueError, AttributeError):
        return ""
    return weight if isinstance(weight, str) else ""


def _threads(threads):
    if threads is None:
        return -1
    if not isinstance(threads, int) or threads < 0:
        raise ValueError("threads: expected 0 (aggregate on one thread), 1 (a thread per table) "
                         "or more (a CSV file read in that many parts on threads)")
    return threads


def run(request, data=None, *, weight=None, missing=None, labels=None, variable_labels=None,
        dictionary=None, sqlite=None, threads=None):
    """Runs a table request and returns its tables (a Result).

    request: the structure of the command's JSON request, as a dict, or the
    path of a JSON file (whose relative paths are relative to the file).
    data: a pandas DataFrame, the path of a CSV file or SQLite database, or
    None for the request's own "data".
    weight: the weight variable, overriding the request's and the dictionary's.
    For a DataFrame: missing={"x": [9, 99]} or {"x": {"values": [...],
    "range": [low, high]}} gives user-missing values, labels={"x": {1: "Yes"}}
    value labels and variable_labels={"x": "Label"} variable labels; a
    dictionary file (the argument, else the request's "dictionary") lends the
    columns of its variables' names their labels and missing values.
    sqlite: the table or query of an SQLite database.
    threads: 0 aggregates every table on one thread, 1 each table on a thread
    of its own, N >= 2 reads a CSV file in N parts on N threads; by default a
    CSV file of a megabyte or more per part is read in a part per core, and
    several tables get threads on a machine of two cores or more.
    """
    path, text, base, parsed = _request_arguments(request)
    weight = _text_option("weight", weight)
    dictionary = _text_option("dictionary", dictionary)
    threads = _threads(threads)
    if isinstance(data, pd.DataFrame):
        names = None
        if isinstance(parsed, dict):
            names = referenced_names(parsed) | {weight, _dictionary_weight(
                dictionary, parsed.get("dictionary"), path)} | set(map(str, missing or {})) \
                | set(map(str, labels or {})) | set(map(str, variable_labels or {}))
        columns = frame_columns(data, names, missing, labels, variable_labels)
        return Result(_tabcube.run_frame(path, text, base, columns, dictionary, weight, threads))
    if missing is not None or labels is not None or variable_labels is not None:
        raise TypeError("missing, labels and variable_labels apply to a DataFrame; "
                        "a file's come from its dictionary")
    if data is not None and not isinstance(data, (str, os.PathLike)):
        raise TypeError(f"data: expected a pandas DataFrame, a file path or None, "
                        f"not {type(data).__name__}")
    return Result(_tabcube.run_file(path, text, base, _text_option("data", data), dictionary,
                                    _text_option("sqlite", sqlite), weight, threads))


def _names(option, value):
    if value is None:
        return []
    if isinstance(value, str):
        return [value]
    if isinstance(value, (list, tuple)) and all(isinstance(v, str) for v in value):
        return list(value)
    raise TypeError(f"{option}: expected a column name or a list of names")


def _statistic(entry):
    if isinstance(entry, str):
        return {"name": entry}
    if isinstance(entry, dict):
        return dict(entry)
    if isinstance(entry, tuple) and 2 <= len(entry) <= 3:
        statistic = {"name": entry[0], "variable": entry[1]}
        if len(entry) == 3:
            statistic["parameter"] = entry[2]
        return statistic
    raise TypeError("stats: expected names, (name, variable[, parameter]) tuples or dicts")


def statistic_title(statistic):
    """A statistic's column title, as the text output shows it."""
    title = statistic["name"]
    if statistic.get("parameter") is not None:
        title += f"({statistic['parameter']:g})"
    if statistic.get("variable"):
        title += " " + statistic["variable"]
    return title


def crosstab(data, rows, columns=None, layers=None, stats=("Count",), weight=None, totals=True,
             missing="exclude", *, missing_values=None, labels=None, variable_labels=None,
             dictionary=None, tests=None):
    """One table of a DataFrame, as a DataFrame.

    rows, columns, layers: a column name or a list of names (nested, outermost
    first). stats: statistic names ("Count", "ColPct", ...), (name, variable)
    or (name, variable, parameter) tuples, or the request's statistic dicts.
    totals: a total category on every dimension; missing: "exclude" or
    "include" user-missing values as categories. missing_values, labels and
    variable_labels are run()'s missing, labels and variable_labels, and a
    dictionary file lends the columns its labels and missing values.

    The index holds the layer and row category labels, the columns the column
    category labels and the statistic; totals are labelled as in the text
    output, and a cell without cases holds NaN.

    tests: the request's "tests" of the table ({"proportions": {...},
    "means": {"variables": [...]}, "chiSquare": True}). Each test adds a
    statistic column after the one the text output marks ("ColPct sig" for
    proportions, "Mean age sig" for the means of age): the letters of the
    columns the cell is significantly higher than ("AB"; "A1,B1" past Z),
    "*" first when its base is below minBase, "" when it is higher than none,
    NaN where it was not tested. attrs["letters"] maps the compared columns'
    labels (a tuple per column, as in the columns) to their letters, and
    attrs["chiSquare"] holds the run's chi-square entries.
    """
    if not isinstance(data, pd.DataFrame):
        raise TypeError(f"data: expected a pandas DataFrame, not {type(data).__name__}")
    axes = {"rows": _names("rows", rows), "columns": _names("columns", columns),
            "layers": _names("layers", layers)}
    if not axes["rows"]:
        raise ValueError("rows: name at least one column")
    if isinstance(stats, (str, dict)):
        stats = [stats]
    statistics = [_statistic(entry) for entry in stats]
    if missing not in ("exclude", "include"):
        raise ValueError(f'missing: expected "exclude" or "include", found "{missing}"')
    options = {"totals": bool(totals), "missing": missing}
    table = {"title": "", "statistics": statistics, "weighted": weight is not None,
             "variables": {name: dict(options) for names in axes.values() for name in names}}
    for axis, names in axes.items():
        table[axis] = [names] if names else []
    if tests is not None:
        if not isinstance(tests, dict):
            raise TypeError("tests: expected the request's tests as a dict")
        table["tests"] = tests
    result = run({"tables": [table]}, data, weight=weight, missing=missing_values, labels=labels,
                 variable_labels=variable_labels, dictionary=dictionary, threads=0)
    return _wide(result.tables[0].to_dict(), axes)


def _test_anchor(table, test):
    """The statistic after which the text output shows a test's letters: the
    column percentage (proportions) or the mean of the variable (means), else
    the first statistic of the kind, else the first."""
    variable = test["variable"] if test["kind"] == "means" else None
    preferred = "Mean" if test["kind"] == "means" else "ColPct"
    statistics = table["statistics"]
    for candidates in ([s for s in statistics if s["name"] == preferred], statistics):
        for s, statistic in enumerate(statistics):
            if statistic in candidates and statistic["variable"] == variable:
                return s
    return 0


def _significance(cell, test):
    """The text output's mark of one cell's test: "*" for a small base, then the
    letters it is higher than; None when the cell was not tested."""
    found = cell.get("tests", {})
    found = (found.get("means", {}).get(test["variable"]) if test["kind"] == "means"
             else found.get("proportions"))
    if found is None:
        return None
    letters = found["higherThan"]
    joined = ("" if all(len(letter) == 1 for letter in letters) else ",").join(letters)
    return ("*" if found.get("smallBase") else "") + joined


def _wide(table, axes):
    """The cells of a table with the layers and rows down, the columns and the
    statistics across (with a column of letters after the statistic each
    test marks)."""
    dimensions = table["dimensions"]
    position = {d["name"]: i for i, d in enumerate(dimensions)}
    down = [position[name] for name in axes["layers"] + axes["rows"]]
    across = [position[name] for name in axes["columns"]]
    tests = table.get("tests", [])
    # Each output column: ("value", statistic index) or ("sig", test index).
    slots = []
    for s, statistic in enumerate(table["statistics"]):
        slots.append(("value", s))
        slots += [("sig", t) for t, test in enumerate(tests) if _test_anchor(table, test) == s]
    titles = [statistic_title(table["statistics"][i]) if kind == "value"
              else statistic_title(table["statistics"][_test_anchor(table, tests[i])]) + " sig"
              for kind, i in slots]

    def labels(indices, dims):
        return tuple(dimensions[d]["categories"][i]["label"] for d, i in zip(dims, indices))

    index_keys = list(dict.fromkeys(tuple(c["categories"][d] for d in down) for c in table["cells"]))
    column_keys = list(dict.fromkeys(tuple(c["categories"][d] for d in across)
                                     for c in table["cells"]))
    row_of = {key: i for i, key in enumerate(index_keys)}
    column_of = {key: i for i, key in enumerate(column_keys)}
    values = [[float("nan")] * (len(column_keys) * len(titles)) for _ in index_keys]
    for cell in table["cells"]:
        if not cell["present"]:
            continue
        row = values[row_of[tuple(cell["categories"][d] for d in down)]]
        base = column_of[tuple(cell["categories"][d] for d in across)] * len(titles)
        for at, (kind, i) in enumerate(slots):
            value = cell["values"][i] if kind == "value" else _significance(cell, tests[i])
            value = value[0] if isinstance(value, list) else value
            row[base + at] = float("nan") if value is None else value
    down_names = [dimensions[d]["name"] for d in down]
    index_labels = [labels(key, down) for key in index_keys]
    if len(down) == 1:
        index = pd.Index([key[0] for key in index_labels], name=down_names[0])
    else:
        index = pd.MultiIndex.from_tuples(index_labels, names=down_names)
    column_labels = [labels(key, across) + (title,) for key in column_keys for title in titles]
    column_names = [dimensions[d]["name"] for d in across] + ["statistic"]
    if across:
        column_index = pd.MultiIndex.from_tuples(column_labels, names=column_names)
    else:
        column_index = pd.Index([key[0] for key in column_labels], name="statistic")
    frame = pd.DataFrame(values, index=index, columns=column_index)
    if tests or "chiSquare" in table:
        frame.attrs["letters"] = {
            labels(key, across): dimensions[across[-1]]["categories"][key[-1]]["letter"]
            for key in column_keys if "letter" in dimensions[across[-1]]["categories"][key[-1]]}
        frame.attrs["chiSquare"] = table.get("chiSquare", [])
    return frame


def __getattr__(name):
    # tabcube.dask imports Dask only when it is used.
    if name == "dask":
        import importlib
        return importlib.import_module(".dask", __name__)
    raise AttributeError(f"module 'tabcube' has no attribute {name!r}")

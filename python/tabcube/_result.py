"""The finished tables of a run: as the command's JSON (to_dict), its long CSV
form (to_frame) and its text (str)."""

import json

import pandas as pd


def _long_rows(number, table, dimensions):
    """One row per present cell and statistic, the columns of the CSV output."""
    prefix_width = 5 * dimensions
    for cell in table["cells"]:
        if not cell["present"]:
            continue
        prefix = [number, table["title"]]
        for d, index in enumerate(cell["categories"]):
            dimension = table["dimensions"][d]
            category = dimension["categories"][index]
            prefix += [dimension["name"], dimension["axis"], category["label"], category["value"],
                       category["type"]]
        prefix += [None] * (2 + prefix_width - len(prefix))
        for statistic, value in zip(table["statistics"], cell["values"]):
            interval = isinstance(value, list)
            lower, upper, level = (value if interval else (value, None, None))
            yield prefix + [statistic["name"], statistic["variable"], statistic["parameter"],
                            lower, upper, level]


def _long_frame(tables, numbers):
    dimensions = max((len(t["dimensions"]) for t in tables), default=0)
    columns = ["table", "title"]
    for d in range(1, dimensions + 1):
        columns += [f"dimension{d}", f"axis{d}", f"label{d}", f"value{d}", f"type{d}"]
    columns += ["statistic", "variable", "parameter", "value", "upper", "level"]
    rows = [row for number, table in zip(numbers, tables)
            for row in _long_rows(number, table, dimensions)]
    frame = pd.DataFrame(rows, columns=columns)
    for column in ("parameter", "value", "upper", "level"):
        frame[column] = pd.to_numeric(frame[column]).astype("float64")
    return frame


class Table:
    """One finished table (one crossing of the request)."""

    def __init__(self, tables, data):
        self._tables = tables  # the extension's tables, this one alone
        self._data = data

    @property
    def title(self):
        return self._data["title"]

    def to_dict(self):
        """The table as the command's JSON output holds it."""
        return json.loads(json.dumps(self._data))

    def to_frame(self):
        """The long form: one row per cell and statistic, the CSV output's columns."""
        return _long_frame([self._data], [1])

    def __str__(self):
        return self._tables.text()

    def __repr__(self):
        return f"<tabcube.Table {self.title!r}>"


class Result:
    """Every table of a request, in request order."""

    def __init__(self, tables):
        self._tables = tables
        self._data = json.loads(tables.json())
        self.tables = [Table(tables.select(i), data)
                       for i, data in enumerate(self._data["tables"])]

    def to_dict(self):
        """What `tabcube run --format json` writes for the same request and data."""
        return json.loads(json.dumps(self._data))

    def to_frame(self):
        """Every table in long form, numbered from 1 in the column "table"."""
        return _long_frame(self._data["tables"], range(1, len(self.tables) + 1))

    def __str__(self):
        return self._tables.text()

    def __repr__(self):
        return f"<tabcube.Result of {len(self.tables)} tables>"

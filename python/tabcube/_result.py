"""The finished tables of a run: as the command's JSON (to_dict), its long CSV
form (to_frame) and its text (str)."""

import json

import pandas as pd


TEST_COLUMNS = ["letter", "higherThan", "pValues", "df", "p", "minExpected", "note"]


def _letter_order(letter):
    """Display order of column letters: A to Z, then A1 to Z1, A2, ..."""
    return int(letter[1:] or 0), letter[0]


def _joined_letters(letters):
    """"A B" while every letter is one character, else "A1,B1"."""
    return (" " if all(len(letter) == 1 for letter in letters) else ",").join(letters)


def _cell_rows(table, cell, prefix, letter, tested):
    """The statistics of one cell, then its test lines."""
    lettered = [letter] + [None] * 6 if tested else []
    for statistic, value in zip(table["statistics"], cell["values"]):
        interval = isinstance(value, list)
        lower, upper, level = (value if interval else (value, None, None))
        yield prefix + [statistic["name"], statistic["variable"], statistic["parameter"],
                        statistic["lower"], statistic["upper"], lower, upper, level,
                        int(cell["present"])] + lettered
    for test in table.get("tests", []):
        means = test["kind"] == "means"
        found = cell.get("tests", {})
        found = found.get("means", {}).get(test["variable"]) if means else found.get("proportions")
        if found is None:
            continue
        p_values = " ".join(f"{other}=%.17g" % found["pValues"][other]
                            for other in sorted(found["pValues"], key=_letter_order))
        note = ("smallBase" if found.get("smallBase") else
                "approximate" if test["approximate"] else None)
        name = "ColumnMeansTest" if means else "ColumnProportionsTest"
        yield prefix + [name, test["variable"]] + [None] * 7 + \
            [letter, _joined_letters(found["higherThan"]) or None, p_values or None,
             None, None, None, note]


def _chi_square_rows(table, head, dimensions):
    """One line per subtable's chi-square, naming its layer and outer column categories."""
    for chi in table.get("chiSquare", []):
        row, named = list(head), {"layer": iter(chi["layer"]), "column": iter(chi["columns"])}
        for d in range(dimensions):
            dimension = table["dimensions"][d] if d < len(table["dimensions"]) else None
            label = next(named[dimension["axis"]], None) if dimension and \
                dimension["axis"] in named else None
            row += [None] * 5 if label is None else [dimension["name"], dimension["axis"], label,
                                                     None, None]
        notes = ["lowExpected"] if chi["lowExpected"] else []
        notes += ["approximate"] if chi["approximate"] else []
        yield row + ["ChiSquare"] + [None] * 4 + [chi["statistic"]] + [None] * 6 + \
            [chi["df"], chi["p"], chi["minExpected"], " ".join(notes) or None]


def _long_rows(number, table, show_empty, dimensions, tested):
    """The lines of one table in the CSV output: per cell (every cell when the
    table's emptyCells writes absent ones) its statistics and test lines, then
    the chi-square lines."""
    head = [number, table["title"]]
    for cell in table["cells"]:
        if not cell["present"] and not show_empty:
            continue
        prefix, letter = list(head), None
        for d, index in enumerate(cell["categories"]):
            dimension = table["dimensions"][d]
            category = dimension["categories"][index]
            prefix += [dimension["name"], dimension["axis"], category["label"], category["value"],
                       category["type"]]
            if dimension["axis"] == "column" and category.get("letter"):
                letter = category["letter"]
        prefix += [None] * (2 + 5 * dimensions - len(prefix))
        yield from _cell_rows(table, cell, prefix, letter, tested)
    yield from _chi_square_rows(table, head, dimensions)


def _long_frame(tables, show_empty, numbers):
    dimensions = max((len(t["dimensions"]) for t in tables), default=0)
    tested = any("tests" in t or "chiSquare" in t for t in tables)
    columns = ["table", "title"]
    for d in range(1, dimensions + 1):
        columns += [f"dimension{d}", f"axis{d}", f"label{d}", f"value{d}", f"type{d}"]
    columns += ["statistic", "variable", "parameter", "lowerLimit", "upperLimit", "value", "upper",
                "level", "present"] + (TEST_COLUMNS if tested else [])
    rows = [row for number, table, show in zip(numbers, tables, show_empty)
            for row in _long_rows(number, table, show, dimensions, tested)]
    frame = pd.DataFrame(rows, columns=columns)
    for column in ("parameter", "lowerLimit", "upperLimit", "value", "upper", "level") + \
            (("df", "p", "minExpected") if tested else ()):
        frame[column] = pd.to_numeric(frame[column]).astype("float64")
    frame["present"] = frame["present"].astype("Int64")
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
        """The long form: the CSV output's lines and columns."""
        return _long_frame([self._data], self._tables.show_empty_cells(), [1])

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
        return _long_frame(self._data["tables"], self._tables.show_empty_cells(),
                           range(1, len(self.tables) + 1))

    def __str__(self):
        return self._tables.text()

    def __repr__(self):
        return f"<tabcube.Result of {len(self.tables)} tables>"

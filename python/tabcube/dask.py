"""Tables of a Dask DataFrame: each partition is aggregated on the workers
into a partial state of every table, the states are merged in partition order
by a tree reduction, and the merged state is finished here.

    import tabcube.dask
    result = tabcube.dask.run(request, ddf)

equals tabcube.run(request, data=ddf.compute()), cell for cell and category
for category. With a dask.distributed Client the partitions go to its
workers, each of which needs the tabcube package installed.
"""

import os

import dask
import dask.dataframe as dd
import numpy as np
import pandas as pd
from pandas.api import types

from . import _tabcube
from ._frame import _TEXT_KINDS, frame_columns, referenced_names
from ._result import Result
from . import _request_arguments, _dictionary_weight, _text_option

__all__ = ["run"]


def _read(path, what):
    try:
        with open(path, encoding="utf-8") as file:
            return file.read()
    except OSError as error:
        raise ValueError(f"{path}: cannot read the {what} ({error.strerror})") from None


class _Definition:
    """What every task needs to rebuild the tables: the request and the
    dictionary as text (the workers need no files), the columns' options and
    the width of every text column over all partitions."""

    def __init__(self, request, dictionary, weight, missing, labels, variable_labels):
        path, text, base, parsed = _request_arguments(request)
        if path:
            text, base = _read(path, "request"), os.path.dirname(os.path.abspath(path))
        if not isinstance(parsed, dict):
            parsed = {}
        self.request = (path or "request", text, base or os.getcwd())
        dictionary = _text_option("dictionary", dictionary)
        if not dictionary and isinstance(parsed.get("dictionary"), str):
            dictionary = os.path.join(self.request[2], parsed["dictionary"])
        self.dictionary = (dictionary, _read(dictionary, "dictionary") if dictionary else "")
        self.weight = _text_option("weight", weight)
        self.options = (missing, labels, variable_labels)
        self.names = referenced_names(parsed) | {self.weight, _dictionary_weight(
            dictionary, None, "")} | set(map(str, missing or {})) | set(map(str, labels or {})) \
            | set(map(str, variable_labels or {}))
        self.text_widths = {}

    def columns(self, frame):
        missing, labels, variable_labels = self.options
        return frame_columns(frame, self.names, missing, labels, variable_labels,
                             text_widths=self.text_widths)

    def arguments(self, frame):
        return (*self.request, self.columns(frame), *self.dictionary, self.weight)


def _text_extent(series):
    """(holds text, widest text in UTF-8 bytes, holds None or NaN) of one
    partition's column."""
    absent = bool(series.isna().any())
    if types.infer_dtype(series, skipna=True) not in _TEXT_KINDS:
        return pd.Series([(False, 0, absent)])
    present = series.dropna()
    if types.infer_dtype(present) == "string":
        present = present.astype(str).str.encode("utf-8")
    lengths = present.str.len()
    return pd.Series([(True, int(lengths.max()) if len(lengths) else 0, absent)])


def _measure_text(ddf, definition):
    """Finds the object and string columns that hold text in any partition and
    their widest value, so that every partition lays them out alike."""
    candidates = [c for c in ddf.columns if str(c) in definition.names and
                  not isinstance(ddf[c].dtype, pd.CategoricalDtype) and
                  (types.is_object_dtype(ddf[c].dtype) or types.is_string_dtype(ddf[c].dtype))]
    extents = dask.compute(*[ddf[c].map_partitions(_text_extent, meta=(str(c), object))
                             for c in candidates])
    for column, parts in zip(candidates, extents):
        if any(text for text, _, _ in parts):
            definition.text_widths[str(column)] = (max(1, max(width for _, width, _ in parts)),
                                                   any(absent for _, _, absent in parts))


def _partial(partition, definition):
    """(state, cases read, left out for their weight, left out by the filter) of
    one partition."""
    return pd.Series([_tabcube.part_state(*definition.arguments(partition))])


def _merge(definition, meta, *parts):
    return _tabcube.merge_part_states(*definition.arguments(meta), list(parts))


def _single(series):
    return series.iloc[0]


def run(request, ddf, *, weight=None, missing=None, labels=None, variable_labels=None,
        dictionary=None, split_every=8):
    """Runs a table request over a Dask DataFrame; the arguments are those of
    tabcube.run, and split_every is how many states one merge task takes."""
    if not isinstance(ddf, dd.DataFrame):
        raise TypeError(f"data: expected a Dask DataFrame, not {type(ddf).__name__}")
    if not isinstance(split_every, int) or split_every < 2:
        raise ValueError("split_every: expected an integer of at least 2")
    definition = _Definition(request, dictionary, weight, missing, labels, variable_labels)
    unknown = [c for c in ddf.columns if str(c) in definition.names and
               isinstance(ddf[c].dtype, pd.CategoricalDtype) and not ddf[c].cat.known]
    if unknown:
        ddf = ddf.categorize(columns=unknown)
    _measure_text(ddf, definition)
    meta = ddf._meta
    # Checks the request against the columns before any partition is read.
    _tabcube.check_parts(*definition.arguments(meta))
    states = ddf.map_partitions(_partial, definition, meta=(None, object)).to_delayed()
    level = [dask.delayed(_single)(state) for state in states]
    while len(level) > 1:
        level = [dask.delayed(_merge)(definition, meta, *level[i:i + split_every])
                 for i in range(0, len(level), split_every)]
    state = level[0].compute() if level else (b"", 0, 0, 0)
    return Result(_tabcube.finish_parts(*definition.arguments(meta), state))

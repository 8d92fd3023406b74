"""Columns of a pandas DataFrame handed to the engine without a Python call per
value: numbers from their buffers, categoricals from their codes and
categories, text as fixed-width values."""

import math

import numpy as np
import pandas as pd
from pandas.api import types

from . import _tabcube

# What pandas' type inference may call an object column of numbers.
_NUMERIC_KINDS = {"integer", "floating", "mixed-integer-float", "decimal", "boolean", "empty"}
_TEXT_KINDS = {"string", "bytes"}


def _numbers(series):
    return series.to_numpy(dtype=np.float64, na_value=np.nan)


def _categorical(columns, name, series):
    """A categorical: numeric categories keep their values, other categories
    are numbered 1, 2, ... in category order; every category's text becomes
    its value label. Returns the value of each category's text."""
    categories = series.cat.categories
    codes = series.cat.codes.to_numpy()
    if types.is_numeric_dtype(categories.dtype) and not types.is_bool_dtype(categories.dtype):
        values = categories.to_numpy(dtype=np.float64)
    else:
        values = np.arange(1.0, len(categories) + 1.0)
    taken = values[codes] if len(values) else np.full(len(codes), np.nan)
    columns.add_numbers(name, np.where(codes < 0, np.nan, taken))
    value_of = {}
    for value, category in zip(values.tolist(), categories):
        columns.add_value_label(name, value, str(category))
        value_of[str(category)] = value
    return value_of


def _text(series):
    """Objects, each str, bytes or None (for None, NaN and pd.NA)."""
    values = series.astype(object)
    return values.where(series.notna(), None).to_numpy(dtype=object)


def _add_column(columns, name, series):
    dtype = series.dtype
    if isinstance(dtype, pd.CategoricalDtype):
        return _categorical(columns, name, series)
    if types.is_bool_dtype(dtype) or types.is_numeric_dtype(dtype):
        if types.is_complex_dtype(dtype):
            raise TypeError(f"column {name}: complex numbers cannot be tabulated")
        columns.add_numbers(name, _numbers(series))
        return None
    if types.is_object_dtype(dtype) or types.is_string_dtype(dtype):
        kind = types.infer_dtype(series, skipna=True)
        if kind in _TEXT_KINDS:
            columns.add_strings(name, _text(series))
            return None
        if kind in _NUMERIC_KINDS:
            columns.add_numbers(name, _numbers(pd.to_numeric(series)))
            return None
        raise TypeError(f"column {name}: values of kind {kind} cannot be tabulated "
                        "(numbers, text or categories)")
    raise TypeError(f"column {name}: dtype {dtype} cannot be tabulated "
                    "(numbers, text or categories)")


def _pairs(name, labels):
    if isinstance(labels, dict):
        return list(labels.items())
    try:
        return [(value, label) for value, label in labels]
    except (TypeError, ValueError):
        raise TypeError(f"labels: column {name}: expected a dict or (value, label) pairs") from None


def _apply_missing(columns, name, spec, value_of):
    """missing={"x": [9, 99]} or {"x": {"values": [...], "range": [low, high]}};
    a categorical's missing values may be given by their category text."""
    if isinstance(spec, dict):
        values, limits = spec.get("values", []), spec.get("range")
        unknown = set(spec) - {"values", "range"}
        if unknown:
            raise ValueError(f"missing: column {name}: unknown keys {sorted(unknown)}")
    elif isinstance(spec, (list, tuple, set, np.ndarray, pd.Index)):
        values, limits = list(spec), None
    else:
        values, limits = [spec], None
    for value in values:
        if value_of is not None and isinstance(value, str):
            if value not in value_of:
                raise ValueError(f"missing: column {name}: no category {value!r}")
            value = value_of[value]
        if isinstance(value, (float, np.floating)) and math.isnan(value):
            raise ValueError(f"missing: column {name}: NaN is always missing")
        columns.add_missing(name, value.item() if isinstance(value, np.generic) else value)
    if limits is not None:
        low, high = limits
        columns.set_missing_range(name, float(low), float(high))


def referenced_names(request):
    """Every text in a request: a superset of the variable names it uses."""
    if isinstance(request, str):
        return {request}
    if isinstance(request, dict):
        return set().union(*(referenced_names(v) | {str(k)} for k, v in request.items())) \
            if request else set()
    if isinstance(request, (list, tuple)):
        return set().union(*(referenced_names(v) for v in request)) if request else set()
    return set()


def frame_columns(frame, names=None, missing=None, labels=None, variable_labels=None,
                  text_widths=None):
    """The engine's columns of the frame's columns whose names are in names
    (all when None), with their user-missing values and labels. The columns
    of text_widths hold text, name: (width, blank is missing), whatever the
    frame's values: the partitions of one data set lay out text alike."""
    if not isinstance(frame, pd.DataFrame):
        raise TypeError(f"data: expected a pandas DataFrame, not {type(frame).__name__}")
    seen = {}
    for position, column in enumerate(frame.columns):
        key = str(column)
        if names is not None and key not in names:
            continue
        if key in seen:
            raise ValueError(f"data: two columns are named {key}")
        seen[key] = position
    for option, given in (("missing", missing), ("labels", labels),
                          ("variable_labels", variable_labels)):
        if given is None:
            continue
        if not isinstance(given, dict):
            raise TypeError(f"{option}: expected a dict of column names")
        for key in given:
            if str(key) not in seen and str(key) not in {str(c) for c in frame.columns}:
                raise ValueError(f"{option}: no column named {key}")
    columns = _tabcube.FrameColumns()
    value_of = {}
    for key, position in seen.items():
        if text_widths and key in text_widths:
            width, blank_missing = text_widths[key]
            columns.add_strings(key, _text(frame.iloc[:, position]), blank_missing)
            columns.set_width(key, width)
            value_of[key] = None
        else:
            value_of[key] = _add_column(columns, key, frame.iloc[:, position])
    for key, text in (variable_labels or {}).items():
        if str(key) in seen:
            columns.set_label(str(key), str(text))
    for key, pairs in (labels or {}).items():
        if str(key) in seen:
            for value, text in _pairs(key, pairs):
                if isinstance(value, np.generic):
                    value = value.item()
                columns.add_value_label(str(key), value, str(text))
    for key, spec in (missing or {}).items():
        if str(key) in seen:
            _apply_missing(columns, str(key), spec, value_of[str(key)])
    return columns

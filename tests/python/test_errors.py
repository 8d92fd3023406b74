"""Bad input raises ValueError or TypeError; the request layer's messages are
the command's."""

import json
import re

import numpy as np
import pandas as pd
import pytest

import tabcube
from conftest import ROOT, command

SURVEY = ROOT / "examples" / "data" / "survey.csv"
FRAME = pd.DataFrame({"a": [1.0, 2.0], "t": ["x", "y"]})


@pytest.mark.parametrize("request_text", [
    '{"tables": [{"rows": [["nosuch"]], "statistics": ["Count"]}]}',
    '{"tables": [{"rows": [["region"]], "statistics": [{"name": "Mean", "variable": "city"}]}]}',
    '{"tables": [{"rows": [["region"]], "statistics": ["Nonsense"]}]}',
    '{"tables": [{"rows": [["region"]]}], "weight": "city"}',
    '{"tables": [',
])
def test_messages_equal_the_commands(tmp_path, request_text):
    path = tmp_path / "request.json"
    path.write_text(request_text)
    status, _, err = command("run", path, "--data", SURVEY)
    assert status == 2
    frame = pd.read_csv(SURVEY, dtype={"city": str}, keep_default_na=False,
                        na_values={c: [""] for c in pd.read_csv(SURVEY, nrows=0) if c != "city"})
    with pytest.raises(ValueError) as raised:
        tabcube.run(path, data=SURVEY)
    assert "tabcube: " + str(raised.value) + "\n" == err
    with pytest.raises(ValueError) as raised:
        tabcube.run(path, data=frame)
    if "because of line" not in err:
        assert "tabcube: " + str(raised.value) + "\n" == err
    else:  # a frame's text column was not inferred: the same but for the explanation
        assert before_explanation(str(raised.value)) == before_explanation(err[len("tabcube: "):])
        assert str(raised.value).endswith(" is a string")


def before_explanation(message):
    """A message about a text column without its source and without why the
    column is text."""
    message = message.split(": $.", 1)[-1]
    return re.split(r" is a string| was read as text", message)[0].rsplit("; ", 1)[0]


@pytest.mark.parametrize("call, error, message", [
    (lambda: tabcube.run(42), TypeError, "request: expected a dict"),
    (lambda: tabcube.run({"tables": []}, data=[1, 2]), TypeError, "data: expected"),
    (lambda: tabcube.crosstab(pd.DataFrame({"a": [{}, {}]}), "a"), TypeError, "column a"),
    (lambda: tabcube.crosstab(pd.DataFrame({"a": [1j]}), "a"), TypeError, "complex"),
    (lambda: tabcube.crosstab(pd.DataFrame({"a": pd.to_datetime(["2020-01-01"])}), "a"),
     TypeError, "dtype"),
    (lambda: tabcube.crosstab(pd.DataFrame({"a": [1.0, np.inf]}), "a"), ValueError,
     "column a: case 2: infinity"),
    (lambda: tabcube.crosstab(FRAME, "a", missing="sometimes"), ValueError, "missing"),
    (lambda: tabcube.crosstab(FRAME, "a", labels={"t": {1: "one"}}), TypeError, "labels"),
    (lambda: tabcube.crosstab(FRAME, "a", missing_values={"zz": [1]}), ValueError, "no column"),
    (lambda: tabcube.crosstab(FRAME, "a", missing_values={"a": {"range": [3, 1]}}),
     ValueError, "a"),
    (lambda: tabcube.crosstab(FRAME, "nosuch"), ValueError, "nosuch"),
    (lambda: tabcube.crosstab(FRAME, "a", weight="t"), ValueError,
     "weight: variable t is a string"),
    (lambda: tabcube.run({"tables": [{"rows": [["a"]], "statistics": ["Count"]}]}), ValueError,
     "no data file"),
])
def test_bad_input_raises(call, error, message):
    with pytest.raises(error, match=message):
        call()

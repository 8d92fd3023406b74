"""Shared helpers: the tabcube command built beside the package, and the
bundled requests with their data read into pandas."""

import json
import os
import pathlib
import subprocess

import pandas as pd
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
REQUESTS = sorted((ROOT / "examples" / "requests").glob("*.json"))


def command(*arguments):
    """Runs the tabcube command; returns (exit status, standard output, standard error)."""
    done = subprocess.run([os.environ["TABCUBE_COMMAND"], *map(str, arguments)],
                          capture_output=True, text=True)
    return done.returncode, done.stdout, done.stderr


def command_json(*arguments):
    status, out, err = command(*arguments, "--format", "json")
    assert status == 0, err
    return json.loads(out)


def read_like_command(csv_path, dictionary_path):
    """A CSV read into pandas as the command reads it: text columns keep empty
    fields as blanks, numeric columns make them NaN."""
    dictionary = json.loads(pathlib.Path(dictionary_path).read_text())
    numeric = [v["name"] for v in dictionary["variables"] if v["type"] == "numeric"]
    text = {v["name"]: str for v in dictionary["variables"] if v["type"] == "string"}
    return pd.read_csv(csv_path, dtype=text, keep_default_na=False,
                       na_values={name: [""] for name in numeric})


@pytest.fixture(params=REQUESTS, ids=lambda path: path.stem)
def bundled_request(request):
    return request.param

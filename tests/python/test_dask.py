"""tabcube.dask.run on a LocalCluster of two worker processes equals
tabcube.run on the computed frame."""

import math

import pytest

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

import tabcube
import tabcube.dask
from conftest import ROOT, read_like_command

DATA = ROOT / "examples" / "data"
REQUEST = {
    "dictionary": str(DATA / "survey.dict.json"),
    "sets": [
        {"name": "brands", "type": "categories", "label": "Brands mentioned",
         "variables": ["brand1", "brand2", "brand3", "brand4", "brand5"], "countDuplicates": True},
        {"name": "media", "type": "dichotomies", "variables": ["media1", "media2", "media3"],
         "countedValue": 1}],
    "tables": [
        {"title": "brands", "rows": [["brands"]], "columns": [["gender"]],
         "variables": {"brands": {"totals": True}, "gender": {"totals": True}},
         "statistics": ["Count", "Responses", "ColPct"]},
        {"title": "media", "rows": [["media"]], "columns": [["region"]],
         "variables": {"region": {"categories": [{"value": 1}, {"value": 2},
                                                 {"subtotal": "North and east"},
                                                 {"range": [3, None]}, {"other": True}]}},
         "statistics": ["Count", "ColPct"]},
        {"title": "age", "rows": [["city"]], "columns": [["region"], ["gender"]],
         "variables": {"city": {"totals": True, "missing": "include"}},
         "statistics": [{"name": "Percentile", "variable": "age", "parameter": 25},
                        {"name": "Median", "variable": "spend"},
                        {"name": "Mean", "variable": "spend"}, "Count"]},
        {"title": "tested", "rows": [["city"]], "columns": [["region"]], "filter": "age >= 45",
         "tests": {"proportions": {"base": "effective"}, "means": {"variables": ["spend"]},
                   "chiSquare": True},
         "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "spend"}]},
    ],
}


def assert_same(got, expected, path="$"):
    """Equal structure, categories and counts; sums of weights may differ in
    their last bits, having been added up in another order."""
    assert type(got) is type(expected), path
    if isinstance(got, dict):
        assert got.keys() == expected.keys(), path
        for key in got:
            assert_same(got[key], expected[key], f"{path}.{key}")
    elif isinstance(got, list):
        assert len(got) == len(expected), path
        for i, (a, b) in enumerate(zip(got, expected)):
            assert_same(a, b, f"{path}[{i}]")
    elif isinstance(got, float):
        assert math.isclose(got, expected, rel_tol=1e-12), (path, got, expected)
    else:
        assert got == expected, path


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        yield client


@pytest.fixture(scope="module")
def frame():
    frame = read_like_command(DATA / "survey.csv", DATA / "survey.dict.json")
    # The first cities only in later partitions, blanks only in some.
    return frame.sort_values("city", kind="stable").reset_index(drop=True)


@pytest.mark.parametrize("partitions, split_every", [(1, 8), (7, 2), (12, 8)])
def test_dask_equals_single_process(client, frame, partitions, split_every):
    ddf = dd.from_pandas(frame, npartitions=partitions, sort=False)
    expected = tabcube.run(REQUEST, ddf.compute()).to_dict()
    got = tabcube.dask.run(REQUEST, ddf, split_every=split_every).to_dict()
    assert_same(got, expected)
    assert expected["tables"][0]["weighted"] and expected["tables"][0]["casesRead"] == len(frame)
    tested = expected["tables"][-1]  # the counts of cases left out travel too
    assert tested["casesFilteredOut"] > 0 and tested["casesMissing"]["region"] > 0
    assert tested["casesDeletedListwise"] > 0 and any("tests" in c for c in tested["cells"])


def test_categoricals_and_text_columns(client, frame):
    data = frame.assign(gender=frame.gender.map({1: "Female", 2: "Male"}).astype("category"),
                        city=frame.city.where(frame.city != "", None))
    ddf = dd.from_pandas(data, npartitions=4, sort=False)
    request = {"tables": [{"rows": [["city"]], "columns": [["gender"]],
                           "variables": {"city": {"missing": "include"}},
                           "statistics": ["Count", {"name": "Sum", "variable": "spend"}]}]}
    kept = dict(missing={"spend": [-1]}, labels={"city": {"Dale": "Dale town"}})
    got = tabcube.dask.run(request, ddf, **kept)
    assert_same(got.to_dict(), tabcube.run(request, data, **kept).to_dict())
    assert "Dale town" in str(got)


def test_bad_input_raises_before_any_task(frame):
    ddf = dd.from_pandas(frame, npartitions=2)
    with pytest.raises(ValueError, match="nosuch"):
        tabcube.dask.run({"tables": [{"rows": [["nosuch"]], "statistics": ["Count"]}]}, ddf)
    with pytest.raises(TypeError, match="Dask DataFrame"):
        tabcube.dask.run(REQUEST, frame)

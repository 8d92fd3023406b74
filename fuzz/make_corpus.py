#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

The seeds are small valid and invalid inputs that between them reach every
branch of the readers: quoting, line ends, byte-order marks, every dictionary
and request key, every kind of category, set and statistic. Run it again after
changing it; libFuzzer grows its own working corpus from these.
"""
import json
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def write(target, name, content):
    directory = os.path.join(HERE, "corpus", target)
    os.makedirs(directory, exist_ok=True)
    data = content.encode() if isinstance(content, str) else content
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def head_lines(path, count):
    with open(path, "rb") as f:
        return b"".join(f.readline() for _ in range(count))


for target in ("csv", "dictionary", "request", "filter", "command"):
    shutil.rmtree(os.path.join(HERE, "corpus", target), ignore_errors=True)

# --- CSV -------------------------------------------------------------------
SMALL_CSV = "g,x,s,w\n1,10,a,1\n1,20,b,2\n2,30,a,1\n3,,c,0.5\n,40,,2\n"
write("csv", "small", SMALL_CSV)
write("csv", "crlf", SMALL_CSV.replace("\n", "\r\n"))
write("csv", "lone_cr", SMALL_CSV.replace("\n", "\r"))
write("csv", "bom", b"\xef\xbb\xbf" + SMALL_CSV.encode())
write("csv", "quoted", 'a,b,c\n"x, y","say ""hi""","line\nbreak"\n"",1,"2"\n')
write("csv", "no_final_newline", "a,b\n1,2\n3,4")
write("csv", "numbers", "n,m\n1e3,-0\n +2 ,0x10\n1.5e-300,inf\nnan,1e400\n-,.5\n")
write("csv", "ragged", "a,b\n1,2\n3\n4,5,6\n")
write("csv", "unclosed_quote", 'a,b\n1,"2\n')
write("csv", "quote_in_field", 'a,b\n1,x"y\n')
write("csv", "after_quote", 'a,b\n1,"x"y\n')
write("csv", "header_only", "a,b,c\n")
write("csv", "empty_name", "a,,c\n1,2,3\n")
write("csv", "duplicate_name", "a,b,a\n1,2,3\n")
write("csv", "empty_lines", "a\n\n\n1\n\n")
write("csv", "utf8", "name,city\nZoë,Zürich\n\u00e9t\u00e9,\u6771\u4eac\n")
write("csv", "survey_head", head_lines(os.path.join(ROOT, "examples/data/survey.csv"), 12))
write("csv", "gss_head", head_lines(os.path.join(ROOT, "examples/data/gss_cat.csv"), 12))

# --- Dictionaries ----------------------------------------------------------
FULL_DICTIONARY = {
    "variables": [
        {"name": "g", "type": "numeric", "label": "Group",
         "valueLabels": [[1, "one"], [2, "two"], [3, "three"], [9, "unknown"]],
         "missing": {"values": [9], "range": None}},
        {"name": "x", "type": "numeric", "label": "Amount",
         "missing": {"values": [], "range": [-99, -90]}},
        {"name": "s", "type": "string", "width": 4, "label": "Letter",
         "valueLabels": [["a", "Alpha"], ["b", "Beta"]],
         "missing": {"values": ["z"]}},
        {"name": "w", "type": "numeric", "label": "Weight"},
        {"name": "m1", "type": "numeric", "valueLabels": [[1, "yes"], [0, "no"]]},
        {"name": "m2", "type": "numeric", "valueLabels": [[1, "yes"], [0, "no"]]},
        {"name": "m3", "type": "numeric", "valueLabels": [[1, "yes"], [0, "no"]]},
    ],
    "weight": "w",
}
write("dictionary", "full", json.dumps(FULL_DICTIONARY, indent=1))
write("dictionary", "minimal", '{"variables": []}')
write("dictionary", "unweighted", '{"variables": [{"name": "a", "type": "numeric"}], "weight": null}')
write("dictionary", "string_wide", '{"variables": [{"name": "s", "type": "string", "width": 32767}]}')
write("dictionary", "bad_width", '{"variables": [{"name": "s", "type": "string", "width": 0}]}')
write("dictionary", "bad_type", '{"variables": [{"name": "s", "type": "date"}]}')
write("dictionary", "twice", '{"variables": [{"name": "a", "type": "numeric"}, {"name": "a", "type": "numeric"}]}')
write("dictionary", "weight_string", '{"variables": [{"name": "s", "type": "string", "width": 2}], "weight": "s"}')
write("dictionary", "range_backwards", '{"variables": [{"name": "a", "type": "numeric", "missing": {"range": [5, 1]}}]}')
write("dictionary", "label_too_wide", '{"variables": [{"name": "s", "type": "string", "width": 1, "valueLabels": [["ab", "x"]]}]}')
write("dictionary", "not_json", '{"variables": [')
write("dictionary", "big_number", '{"variables": [{"name": "a", "type": "numeric", "valueLabels": [[1e400, "x"]]}]}')
with open(os.path.join(ROOT, "examples/data/gss_cat.dict.json"), "rb") as f:
    write("dictionary", "gss", f.read())

# --- Requests --------------------------------------------------------------
SETS = [
    {"name": "mc", "type": "categories", "label": "Mentions",
     "variables": ["m1", "m2", "m3"], "missingVariable": "m2", "countDuplicates": True},
    {"name": "md", "type": "dichotomies", "label": "Ticked",
     "variables": ["m1", "m2", "m3"], "countedValue": 1, "labelFromValue": True},
]
REQUESTS = {
    "filtered": {
        "filter": "x >= 10 or s is missing",
        "tables": [{"rows": [["g"]], "filter": "not s in (\"b\")",
                    "statistics": ["Count", {"name": "Mean", "variable": "x", "decimals": 3},
                                   {"name": "BetweenCount", "variable": "x", "lower": 5, "upper": 25}]}]},
    "crosstab": {
        "tables": [{"title": "g by s", "rows": [["g"]], "columns": [["s"]],
                    "variables": {"g": {"totals": True, "totalPosition": "before",
                                        "totalLabel": "All", "missing": "include"},
                                  "s": {"totals": True, "empty": "exclude", "order": "descending"}},
                    "statistics": ["Count", "RowPct", "ColPct", "TablePct", "UCount"]}]},
    "layers": {
        "tables": [{"rows": [["g"]], "columns": [["s"]], "layers": [["m1"]],
                    "variables": {"m1": {"totals": True}},
                    "statistics": ["Count", "LayerPct", "LayerRowPct", "LayerColPct",
                                   "SubtablePct", "ColValidNPct", "RowTotalNPct"],
                    "labelOption": 1}]},
    "stacked": {
        "tables": [{"rows": ["g", ["s", "m1"]], "columns": ["m2", "m3"],
                    "statistics": ["Count", {"name": "Mean", "variable": "x"}],
                    "weighted": False}]},
    "scale": {
        "tables": [{"rows": [["g"]],
                    "variables": {"g": {"totals": True}},
                    "statistics": [
                        {"name": "Mean", "variable": "x"}, {"name": "Median", "variable": "x"},
                        {"name": "StdDev", "variable": "x"}, {"name": "Variance", "variable": "x"},
                        {"name": "Minimum", "variable": "x"}, {"name": "Maximum", "variable": "x"},
                        {"name": "Sum", "variable": "x"}, {"name": "Mode", "variable": "x"},
                        {"name": "Percentile", "variable": "x", "parameter": 25},
                        {"name": "PercentileInterpolated", "variable": "x", "parameter": 90},
                        {"name": "MedianCI", "variable": "x", "parameter": 90},
                        {"name": "BelowPct", "variable": "x", "lower": 15},
                        {"name": "BetweenCount", "variable": "x", "lower": 10, "upper": 30},
                        {"name": "ColSumPct", "variable": "x"}, "ValidN", "TotalN", "MissingN"],
                    "pairwise": True}]},
    "explicit": {
        "tables": [{"rows": [["g"]], "columns": [["s"]],
                    "variables": {
                        "g": {"totals": True, "categories": [
                            {"value": 1}, {"value": 2}, {"subtotal": "1 and 2"},
                            {"range": [3, 5]}, {"subtotal": "hidden", "hide": True},
                            {"range": [None, 0]}, {"range": [6, None]},
                            {"missing": True}, {"other": True}]},
                        "s": {"categories": [{"value": "a"}, {"range": ["b", "c"]},
                                             {"range": [None, None]}]}},
                    "statistics": ["Count", "ColPct"]}]},
    "sets": {
        "sets": SETS,
        "tables": [{"rows": [["mc"]], "columns": [["g"]],
                    "variables": {"mc": {"totals": True}, "g": {"totals": True}},
                    "statistics": ["Count", "Responses", "ColPct", "ColResponsesPct",
                                   "ColResponsesCountPct", "ColCountResponsesPct"]},
                   {"rows": [["md"]], "columns": [["s"]],
                    "variables": {"md": {"totals": True, "categories": [
                        {"variable": "m3"}, {"variable": "m1"}, {"subtotal": "first"},
                        {"variable": "m2"}]}},
                    "statistics": ["Count", "RowPct", "TablePct"],
                    "statisticsVariable": "md"}]},
    "sorted": {
        "tables": [{"rows": [["g"]], "columns": [["s"]],
                    "variables": {"g": {"sort": "statistic", "sortStatistic": "Mean",
                                        "sortVariable": "x", "order": "descending"},
                                  "s": {"sort": "label"}},
                    "statistics": ["Count", {"name": "Mean", "variable": "x"}]},
                   {"rows": [["g"]], "variables": {"g": {"sort": "none"}},
                    "statistics": ["Count"]}]},
    "tests": {
        "weight": "w", "sets": SETS,
        "tables": [{"rows": [["g"]], "columns": [["s", "m1"]], "layers": [["m2"]],
                    "variables": {"s": {"totals": True}},
                    "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "x"}],
                    "tests": {"proportions": {"base": "effective", "minBase": 1,
                                              "variance": "unpooled", "adjust": "none"},
                              "means": {"variables": ["x"], "base": "effective",
                                        "variance": "welch", "alpha": 0.1},
                              "chiSquare": True}},
                   {"rows": [["mc"]], "columns": [["md"]], "statistics": ["Count"],
                    "tests": {"proportions": {"base": "weighted"}, "chiSquare": True}}]},
    "weight_override": {
        "weight": "x",
        "tables": [{"rows": [["g"]], "statistics": ["Count", "UCount"]}]},
}
for name, body in REQUESTS.items():
    write("request", name, json.dumps(dict({"data": "data.csv"}, **body), indent=1))
BAD_REQUESTS = {
    "no_tables": '{"data": "d.csv", "tables": []}',
    "unknown_key": '{"tables": [{"rows": [["g"]], "statistics": ["Count"], "colour": 1}]}',
    "unknown_statistic": '{"tables": [{"rows": [["g"]], "statistics": ["Counts"]}]}',
    "percentile_range": '{"tables": [{"rows": [["g"]], "statistics": [{"name": "Percentile", "variable": "x", "parameter": 101}]}]}',
    "range_backwards": '{"tables": [{"rows": [["g"]], "variables": {"g": {"categories": [{"range": [5, 1]}]}}, "statistics": ["Count"]}]}',
    "label_option": '{"tables": [{"rows": [["g"]], "statistics": ["Count"], "labelOption": 7}]}',
    "huge_number": '{"tables": [{"rows": [["g"]], "statistics": [{"name": "Percentile", "variable": "x", "parameter": 1e999}]}]}',
    "not_json": '{"tables": [',
    "tests_no_columns": '{"tables": [{"rows": [["g"]], "statistics": ["Count"], "tests": {"chiSquare": true}}]}',
    "tests_alpha": '{"tables": [{"rows": [["g"]], "columns": [["s"]], "statistics": ["Count"], "tests": {"proportions": {"alpha": 1}}}]}',
    "set_twice": '{"sets": [{"name": "a", "variables": ["x"]}, {"name": "a", "variables": ["x"]}], "tables": [{"rows": ["a"], "statistics": ["Count"]}]}',
}
for name, body in BAD_REQUESTS.items():
    write("request", "bad_" + name, body)
for name in ("demo.json", "demo_survey.json", "reference_gss.json", "reference_survey.json"):
    with open(os.path.join(ROOT, "examples/requests", name), "rb") as f:
        write("request", "example_" + name[:-5], f.read())

# --- Filters ---------------------------------------------------------------
FILTERS = {
    "compare": "a >= 1 and a != 3",
    "in_between": "a in (1, 2, 9) or `b c` between 0 and 1",
    "missing": "not a is missing and s is not missing",
    "strings": 's = "x" or s < "ab" or s in ("na", """q")',
    "nested": "not (a = 1 or (b < 2 and not (s <> \"x\")))",
    "bad_unknown": "z = 1",
    "bad_type": 's = 1',
    "bad_syntax": "a = = 1",
    "bad_open": "(a = 1",
    "bad_wide": 's = "abcd"',
}
for name, text in FILTERS.items():
    write("filter", name, text)
write("filter", "deep", "not " * 120 + "a = 1")

# --- Whole command: request, %%, CSV data, optionally %% and a dictionary ----
DATA = (
    "g,x,s,w,m1,m2,m3\n"
    "1,10,a,1,1,0,1\n"
    "1,20,b,2,0,0,1\n"
    "2,30,a,1,1,1,1\n"
    "3,,c,0.5,0,1,0\n"
    ",40,,2,1,,0\n"
    "9,-95,z,1,0,0,0\n"
    "2,25,b,0,1,1,0\n"
)
STRING_SETS = {
    "sets": [{"name": "letters", "variables": ["s", "t"], "countDuplicates": True},
             {"name": "ticks", "type": "dichotomies", "variables": ["s", "t"], "countedValue": "a"}],
    "tables": [{"rows": [["letters"]], "columns": [["ticks"]],
                "variables": {"letters": {"totals": True}, "ticks": {"totals": True}},
                "statistics": ["Count", "Responses", "TablePct"]}]}
STRING_DATA = "s,t,n\na,b,1\nb,b,2\n,a,3\nabc,,4\n"


def command(name, request, data, dictionary=None):
    text = json.dumps(request, indent=1) + "\n%%\n" + data
    if dictionary is not None:
        text += "%%\n" + json.dumps(dictionary, indent=1)
    write("command", name, text)


for name, body in REQUESTS.items():
    command(name, body, DATA)
    command(name + "_dictionary", body, DATA, FULL_DICTIONARY)
command("string_sets", STRING_SETS, STRING_DATA)
command("bad_value", REQUESTS["crosstab"], DATA.replace("1,20,b", "1,twenty,b"), FULL_DICTIONARY)
command("bad_string_width", REQUESTS["crosstab"], DATA.replace(",b,", ",bbbbbb,"), FULL_DICTIONARY)
command("bad_member", {"sets": [{"name": "m", "variables": ["g", "s"]}],
                       "tables": [{"rows": ["m"], "statistics": ["Count"]}]}, DATA)
command("bad_statistic_variable", {"tables": [{"rows": ["g"], "statistics": [
    {"name": "Mean", "variable": "s"}]}]}, DATA)
command("bad_tests_no_columns", {"tables": [{"rows": [["g"]], "statistics": ["Count"],
                                             "tests": {"chiSquare": True}}]}, DATA)
command("empty_data", REQUESTS["crosstab"], "g,x,s,w,m1,m2,m3\n")
command("no_data", REQUESTS["scale"], "")

# --- partial states of the request library -----------------------------------
# First byte 0: the rest is the state itself; otherwise the rest edits a valid
# state (two bytes of truncation length, then three-byte changes).
shutil.rmtree(os.path.join(HERE, "corpus", "partstate"), ignore_errors=True)
write("partstate", "valid", b"\x01")
write("partstate", "truncated_in_length", b"\x01\x04\x00")
write("partstate", "truncated_in_table", b"\x01\x40\x00")
write("partstate", "edited_length", b"\x01\xff\xff\x00\x00\x7f")
write("partstate", "edited_body", b"\x01\xff\xff\x20\x00\x01\x30\x00\x80")
write("partstate", "not_a_state", b"\x00" + b"\x08\x00\x00\x00\x00\x00\x00\x00tabcube!")
write("partstate", "empty_state", b"\x00")

#include "TabcubeRequest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "TableBuilder.h"

namespace {

// The same cases as kCsv, written straight into rows as a front end holding
// the data in memory would.
class MemoryCases : public CaseSource {
 public:
  explicit MemoryCases(const Dictionary& dictionary) { DefineVariables(dictionary, _dataSource); }
  bool ReadCase(OBS* row) override {
    static const double g[] = {1, 2, 1, 2, 1, QUOR_SYSMIS};
    static const double w[] = {1, 2, 0.5, 1, QUOR_SYSMIS, 3};
    static const char* const s[] = {"ab", "c", "ab", "abc", "c", "ab"};
    if (_next == 6) return false;
    row[_dataSource.VariableOffset(0)].num = g[_next];
    row[_dataSource.VariableOffset(1)].num = w[_next];
    char* text = row[_dataSource.VariableOffset(2)].str;
    std::memset(text, ' ', sizeof(OBS));
    std::memcpy(text, s[_next], std::strlen(s[_next]));
    ++_next;
    return true;
  }
  void Rewind() override { _next = 0; }

 private:
  QUOR_DataSource _dataSource;
  int _next = 0;
};

const char* const kCsv = "g,w,s\n1,1,ab\n2,2,c\n1,0.5,ab\n2,1,abc\n1,,c\n,3,ab\n";

const char* const kRequest = R"({"weight": "w", "tables": [
  {"title": "one", "rows": [["s"]], "columns": [["g"]],
   "variables": {"g": {"totals": true},
                 "s": {"categories": [{"value": "ab"}, {"value": "c"}, {"subtotal": "ab or c"},
                                      {"other": true}]}},
   "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "g"}]},
  {"title": "two", "rows": [["g"]], "statistics": ["UCount"], "weighted": false}]})";

// The dictionary of kCsv's columns: g and w numeric, s a string of width 3.
Dictionary CasesDictionary() {
  Dictionary dictionary;
  dictionary.variables.resize(3);
  dictionary.variables[0].name = "g";
  dictionary.variables[1].name = "w";
  dictionary.variables[2] = {"s", true, 3, "", {}, {}, {}, false, 0, 0, ""};
  return dictionary;
}

std::string Json(const std::vector<CubeResult>& cubes) {
  std::ostringstream out;
  WriteTables(cubes, OutputFormat::kJson, out);
  return out.str();
}

TEST(TabcubeRequestTest, CasesFromMemoryGiveTheTablesOfTheSameCasesFromAFile) {
  const std::string path = ::testing::TempDir() + "tabcube_request_cases.csv";
  std::ofstream(path) << kCsv;
  RunOptions options;
  options.data = path;
  const std::string fromFile =
      Json(RunRequestOnFiles(ParseRequest(std::string(kRequest), "r.json", ""), options));
  std::remove(path.c_str());

  const Dictionary dictionary = CasesDictionary();
  const Request request = ParseRequest(nlohmann::json::parse(kRequest), "r.json", "");
  for (int threads : {0, 1}) {
    MemoryCases cases(dictionary);
    options.threads = threads;
    EXPECT_EQ(Json(RunRequestOnCases(request, dictionary, cases, options)), fromFile) << threads;
  }
  EXPECT_NE(fromFile.find("\"casesExcludedByWeight\": 1"), std::string::npos) << fromFile;

  MemoryCases cases(dictionary);
  options.weight = "s";
  try {
    RunRequestOnCases(request, dictionary, cases, options);
    FAIL() << "a string weight was accepted";
  } catch (const InputError& error) {
    EXPECT_STREQ(error.what(), "weight: variable s is a string");
  }
}

// The columns a CSV run parses: every variable some part of the request
// reads from a row, and no other.
TEST(TabcubeRequestTest, VariablesReadAreThoseTheRequestNames) {
  Dictionary dictionary;
  for (const char* name : {"a", "g", "b", "c", "d1", "x", "s", "m", "f1", "f2", "w", "unused"}) {
    VariableSpec spec;
    spec.name = name;
    dictionary.variables.push_back(spec);
  }
  const Request request = ParseRequest(std::string(R"({"weight": "w", "filter": "f1 > 0",
    "sets": [{"name": "S", "type": "categories", "variables": ["b", "c"]},
             {"name": "D", "type": "dichotomies", "variables": ["d1"], "countedValue": 1}],
    "tables": [
      {"rows": [["a"]], "columns": [["g"]], "filter": "f2 = 1",
       "variables": {"a": {"sort": "statistic", "sortStatistic": "Mean", "sortVariable": "s"}},
       "statistics": ["Count", {"name": "Mean", "variable": "x"}],
       "tests": {"means": {"variables": ["m"]}}},
      {"rows": [["S"]], "columns": [["D"]], "statistics": ["Count"]}]})"),
                                       "r.json", "");
  QUOR_DataSource dataSource;
  DefineVariables(dictionary, dataSource);
  const std::vector<bool> read = VariablesRead(request, dataSource, dictionary.Find("w"));
  std::vector<bool> expected(dictionary.variables.size(), true);
  expected.back() = false;
  EXPECT_EQ(read, expected);
}

// A range may hold a single value: its ends may be equal.
TEST(TabcubeRequestTest, ARangeMayHoldOneValue) {
  EXPECT_NO_THROW(ParseRequest(std::string(R"({"tables": [{"rows": [["g"]], "statistics": ["Count"],
        "variables": {"g": {"categories": [{"range": [2, 2]}, {"range": ["b", "b"]}]}}}]})"),
                               "r.json", ""));
}

// A request's state cut inside a table's engine state is refused as such,
// before any byte past the end is read.
TEST(TabcubeRequestTest, AStateCutShortIsRefused) {
  const Dictionary dictionary = CasesDictionary();
  const Request request = ParseRequest(nlohmann::json::parse(kRequest), "r.json", "");
  MemoryCases cases(dictionary);
  RunOptions options;
  PartialState state = AggregateToState(request, dictionary, cases, options);
  state.bytes.resize(state.bytes.size() - 40);  // inside the second table's engine state
  try {
    MergeStates(request, dictionary, {state}, options);
    FAIL() << "a state cut short was merged";
  } catch (const InputError& error) {
    EXPECT_STREQ(error.what(), "partial state: table 2: the state ends early");
  }
}

}  // namespace

TEST(TabcubeRequestTest, InferenceFromTheFirstRecordsGivesTheTablesOfWholeFileInference) {
  // x turns to text and s widens after the records inferred first; y stays numeric.
  const std::string path = ::testing::TempDir() + "tabcube_request_outgrown.csv";
  std::ofstream(path) << "x,s,y\n1,ab,5\n2,ab,6\n1,c,7\n2,abcdef,8\nt,ab,9\n";
  const Request request = ParseRequest(
      std::string(R"({"tables": [{"rows": [["x"]], "columns": [["s"]], "statistics": ["Count",)"
                  R"( {"name": "Mean", "variable": "y"}]}]})"),
      "r.json", "");
  RunOptions options;
  options.data = path;
  options.inferenceRecords = -1;
  const std::string whole = Json(RunRequestOnFiles(request, options));
  for (long records : {0L, 1L, 3L, 4L, 5L, 100L}) {
    options.inferenceRecords = records;
    EXPECT_EQ(Json(RunRequestOnFiles(request, options)), whole) << records;
  }
  std::remove(path.c_str());
  EXPECT_NE(whole.find("\"value\": \"t\""), std::string::npos) << whole;
}

// Empty cells as zeros or blanks, statistics down or across, and the cases
// left out for missing values: g is missing in case 4, x in case 5.
TEST(TabcubeRequestTest, TableOptionsGoldenText) {
  const std::string path = ::testing::TempDir() + "tabcube_table_options.csv";
  std::ofstream(path) << "g,s,x\n1,a,2\n1,b,4\n2,a,6\n,a,8\n2,a,\n";
  RunOptions options;
  options.data = path;
  const Request request = ParseRequest(
      std::string(R"({"tables": [{"rows": ["g"], "columns": ["s"], "emptyCells": "zero",)"
                  R"( "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "x"}]},)"
                  R"({"rows": ["g"], "columns": ["s"], "emptyCells": "blank", "statisticsOn":)"
                  R"( "rows", "statistics": ["Count", {"name": "Mean", "variable": "x",)"
                  R"( "decimals": 1}]}]})"),
      "r.json", "");
  const std::vector<CubeResult> cubes = RunRequestOnFiles(request, options);
  std::remove(path.c_str());
  std::ostringstream text, csv;
  WriteTables(cubes, OutputFormat::kText, text);
  const std::string footer =
      "Unweighted; 5 cases read; missing values left out: g 1, 1 by listwise deletion (scale "
      "variables)\n";
  EXPECT_EQ(text.str(),
            "Table\n"
            "s      a                      b\n"
            "g  Count  ColPct  Mean x  Count  ColPct  Mean x\n"
            "1      1   33.3%    2.00      1  100.0%    4.00\n"
            "2      2   66.7%    6.00      0    0.0%\n" +
                footer +
                "\nTable\n"
                "s               a    b\n"
                "g  Statistic\n"
                "1  Count        1    1\n"
                "   Mean x     2.0  4.0\n"
                "2  Count        2\n"
                "   Mean x     6.0\n" +
                footer);
  WriteTables(cubes, OutputFormat::kCsv, csv);
  EXPECT_NE(csv.str().find("2,,g,row,2,2,value,s,column,b,b,value,Count,,,,,,,,0\n"),
            std::string::npos)
      << csv.str();
}

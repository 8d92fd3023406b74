#include "TabcubeRequest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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

  Dictionary dictionary;
  dictionary.variables.resize(3);
  dictionary.variables[0].name = "g";
  dictionary.variables[1].name = "w";
  dictionary.variables[2] = {"s", true, 3, "", {}, {}, {}, false, 0, 0, ""};
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
  EXPECT_NE(whole.find("\"value\": \"abcdef\""), std::string::npos) << whole;
  EXPECT_NE(whole.find("\"value\": \"t\""), std::string::npos) << whole;
}

TEST(TabcubeRequestTest, EmptyCellsShownAsZerosOrBlanks) {
  const std::string path = ::testing::TempDir() + "tabcube_empty_cells.csv";
  std::ofstream(path) << "g,s,x\n1,a,2\n1,b,4\n2,a,6\n";
  RunOptions options;
  options.data = path;
  auto run = [&](const std::string& mode, OutputFormat format) {
    const Request request = ParseRequest(
        R"({"tables": [{"rows": ["g"], "columns": ["s"], "emptyCells": ")" + mode +
            R"(", "statistics": ["Count", "ColPct", {"name": "Mean", "variable": "x"}]}]})",
        "r.json", "");
    std::ostringstream out;
    WriteTables(RunRequestOnFiles(request, options), format, out);
    return out.str();
  };
  EXPECT_EQ(run("zero", OutputFormat::kText),
            "Table\n"
            "s      a                      b\n"
            "g  Count  ColPct  Mean x  Count  ColPct  Mean x\n"
            "1      1   50.0%    2.00      1  100.0%    4.00\n"
            "2      1   50.0%    6.00      0    0.0%\n"
            "Unweighted; 3 cases read\n");
  const std::string blank = run("blank", OutputFormat::kCsv);
  EXPECT_NE(blank.find(",g,row,2,2,value,s,column,b,b,value,Count,,,,,,,,0\n"), std::string::npos)
      << blank;
  const std::string absent = run("absent", OutputFormat::kCsv);
  EXPECT_EQ(absent.find(",g,row,2,2,value,s,column,b,b,value,"), std::string::npos) << absent;
  EXPECT_NE(run("zero", OutputFormat::kCsv).find(",s,column,b,b,value,ColPct,,,,,0,,,0\n"),
            std::string::npos);
  std::remove(path.c_str());
}

TEST(TabcubeRequestTest, StatisticsGoDownWhenAsked) {
  const std::string path = ::testing::TempDir() + "tabcube_statistics_down.csv";
  std::ofstream(path) << "g,s,x\n1,a,2\n1,b,4\n2,a,6\n";
  RunOptions options;
  options.data = path;
  const Request request = ParseRequest(
      std::string(R"({"tables": [{"rows": ["g"], "columns": ["s"], "statisticsOn": "rows",)"
                  R"( "statistics": ["Count", {"name": "Mean", "variable": "x"}]}]})"),
      "r.json", "");
  std::ostringstream out;
  WriteTables(RunRequestOnFiles(request, options), OutputFormat::kText, out);
  std::remove(path.c_str());
  EXPECT_EQ(out.str(),
            "Table\n"
            "s                a     b\n"
            "g  Statistic\n"
            "1  Count         1     1\n"
            "   Mean x     2.00  4.00\n"
            "2  Count         1\n"
            "   Mean x     6.00\n"
            "Unweighted; 3 cases read\n");
}

TEST(TabcubeRequestTest, CasesLeftOutForMissingValuesAreCounted) {
  const std::string path = ::testing::TempDir() + "tabcube_missing_counts.csv";
  // g is missing in cases 2 and 5, h in case 3; x in cases 1 and 2, y in case 4.
  std::ofstream(path) << "g,h,x,y\n1,1,,1\n,1,,1\n2,,1,1\n1,2,1,\n,2,1,1\n";
  RunOptions options;
  options.data = path;
  auto run = [&](const std::string& table) {
    return RunRequestOnFiles(ParseRequest(R"({"tables": [)" + table + "]}", "r.json", ""),
                             options)[0];
  };
  const CubeResult listwise =
      run(R"({"rows": ["g"], "columns": ["h"], "statistics": [{"name": "Mean", "variable": "x"},)"
          R"( {"name": "Sum", "variable": "y"}]})");
  using Counts = std::vector<std::pair<std::string, long>>;
  EXPECT_EQ(listwise.casesMissingByDimension, (Counts{{"g", 2}, {"h", 1}}));
  EXPECT_EQ(listwise.casesDeletedListwise, 3);
  const CubeResult pairwise =
      run(R"({"rows": ["g"], "variables": {"g": {"missing": "include"}}, "pairwise": true,)"
          R"( "statistics": [{"name": "Mean", "variable": "x"}]})");
  EXPECT_TRUE(pairwise.casesMissingByDimension.empty());
  EXPECT_EQ(pairwise.casesDeletedListwise, -1);
  std::ostringstream text;
  WriteTables({listwise}, OutputFormat::kText, text);
  EXPECT_NE(text.str().find("5 cases read; missing values left out: g 2, h 1, 3 by listwise "
                            "deletion (scale variables)\n"),
            std::string::npos)
      << text.str();
  std::remove(path.c_str());
}

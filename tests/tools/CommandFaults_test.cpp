// Faults found in the tabcube command by the fuzz targets and by the
// randomized engine tests, each pinned to the clear error the input must give
// or to the sound result (the fuzz inputs themselves are replayed from
// fuzz/regressions/).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "CategoryWarnings.h"
#include "Command.h"
#include "Dictionary.h"
#include "InputError.h"
#include "Output.h"
#include "Request.h"

namespace {

std::string RequestError(const std::string& text) {
  try {
    ParseRequest(text, "r.json", "");
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

std::string DictionaryError(const std::string& text) {
  try {
    ParseDictionary(text, "d.json");
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ReaderRobustnessTest, NumbersBeyondDoubleAreInvalidJson) {
  const std::string request = RequestError(
      R"({"tables": [{"rows": [["g"]], "statistics": [{"name": "Percentile", "variable": "x",)"
      R"( "parameter": 1e999}]}]})");
  EXPECT_EQ(request.rfind("r.json: not valid JSON: ", 0), 0u) << request;
  EXPECT_NE(request.find("1e999"), std::string::npos) << request;
  const std::string dictionary = DictionaryError(
      R"({"variables": [{"name": "a", "type": "numeric", "valueLabels": [[-1e400, "x"]]}]})");
  EXPECT_EQ(dictionary.rfind("d.json: not valid JSON: ", 0), 0u) << dictionary;
}

TEST(ReaderRobustnessTest, LabelOptionDoesNotWrapIntoRange) {
  // 2^32 and 2^32 + 3 are 0 and 3 when cut to 32 bits.
  for (const char* option : {"4294967296", "4294967299", "18446744073709551615", "-1"}) {
    const std::string error =
        RequestError(std::string(R"({"tables": [{"rows": [["g"]], )") +
                     R"("statistics": ["Count"], "labelOption": )" + option + "}]}");
    EXPECT_EQ(error, "r.json: $.tables[0].labelOption: expected a whole number from 0 to 4")
        << option;
  }
  EXPECT_EQ(
      RequestError(R"({"tables": [{"rows": ["g"], "statistics": ["Count"], "labelOption": 4}]})"),
      "(no error)");
}

TEST(CommandFaultsTest, VariableNamesWithNulAreRefused) {
  // The data source compares names as C strings: "a\0x" would clash with "a".
  const std::string dictionary = DictionaryError(std::string(
      R"({"variables": [{"name": "a", "type": "numeric"}, {"name": "a\u0000x", "type": "numeric"}]})"));
  EXPECT_EQ(dictionary,
            "d.json: $.variables[1].name: a variable name cannot contain a NUL character");
  char name[] = "/tmp/tabcube_faults_XXXXXX";
  const std::string directory = mkdtemp(name);
  const std::string csv = directory + "/h.csv";
  std::ofstream(csv) << std::string("a,a\0x\n1,2\n", 10);
  try {
    InferDictionary(csv);
    ADD_FAILURE() << "a NUL in a column name was accepted";
  } catch (const InputError& error) {
    EXPECT_EQ(std::string(error.what()), csv + ":1:1: the name of column 2 contains a NUL byte");
  }
  std::system(("rm -rf '" + directory + "'").c_str());
}

TEST(CommandFaultsTest, JsonOutputReplacesInvalidUtf8) {
  // Labels come from the data in whatever encoding it has; JSON output used
  // to fail with an escaping exception on bytes that are not UTF-8.
  CubeResult cube;
  cube.title = "caf\xe9";
  DimensionResult dimension;
  dimension.name = "g";
  CategoryResult category;
  category.label = "\xff\xfe";
  category.isString = true;
  category.text = "ok";
  dimension.categories.push_back(category);
  cube.dimensions.push_back(dimension);
  std::ostringstream out;
  WriteJson({cube}, out);
  EXPECT_NE(out.str().find("\"caf\xef\xbf\xbd\""), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"\xef\xbf\xbd\xef\xbf\xbd\""), std::string::npos) << out.str();
}

// Runs a request over CSV data through the command's whole path.
class CommandRun {
 public:
  CommandRun() {
    char name[] = "/tmp/tabcube_faults_XXXXXX";
    _directory = mkdtemp(name);
  }
  ~CommandRun() { std::system(("rm -rf '" + _directory + "'").c_str()); }

  std::vector<CubeResult> Run(const std::string& request, const std::string& csv) {
    std::ofstream(_directory + "/r.json") << request;
    std::ofstream(_directory + "/d.csv") << csv;
    CommandOptions options;
    options.request = _directory + "/r.json";
    options.data = _directory + "/d.csv";
    return RunRequest(options);
  }

  std::string Error(const std::string& request, const std::string& csv) {
    try {
      Run(request, csv);
    } catch (const InputError& error) {
      return error.what();
    }
    return "(no error)";
  }

 private:
  std::string _directory;
};

std::vector<std::string> Labels(const DimensionResult& dimension) {
  std::vector<std::string> labels;
  for (const CategoryResult& category : dimension.categories) labels.push_back(category.label);
  return labels;
}

std::vector<double> Counts(const CubeResult& cube) {
  std::vector<double> counts;
  for (const CellResult& cell : cube.cells) counts.push_back(cell.values[0][0]);
  return counts;
}

// g: 1 once, 2 three times, 3 twice; mean of x: 1 -> 50, 2 -> 10, 3 -> 30.
const char* const kSortData = "g,x\n1,50\n2,5\n2,10\n2,15\n3,20\n3,40\n";

std::string SortRequest(const std::string& options) {
  return R"({"tables": [{"rows": ["g"], "variables": {"g": )" + options +
         R"(}, "statistics": ["Count"]}]})";
}

TEST(CommandFaultsTest, CategoriesOrderedByAStatistic) {
  // Ordering by a statistic used to reach the engine without its sorting
  // aggregator, which stopped the process on an assertion.
  CommandRun command;
  auto byCount = command.Run(
      SortRequest(R"({"sort": "statistic", "sortStatistic": "Count", "order": "descending"})"),
      kSortData);
  ASSERT_EQ(byCount.size(), 1u);
  EXPECT_EQ(Labels(byCount[0].dimensions[0]), (std::vector<std::string>{"2", "3", "1"}));
  auto byMean = command.Run(SortRequest(R"({"sort": "statistic", "sortStatistic": "Mean",)"
                                        R"( "sortVariable": "x", "totals": true})"),
                            kSortData);
  EXPECT_EQ(Labels(byMean[0].dimensions[0]), (std::vector<std::string>{"2", "3", "1", "Total"}));
  // The counts stay with their categories: 3, 2, 1 cases, 6 in all.
  EXPECT_EQ(Counts(byMean[0]), (std::vector<double>{3, 2, 1, 6}));
}

TEST(CommandFaultsTest, StatisticsCategoriesCannotBeOrderedBy) {
  CommandRun command;
  const std::string at =
      "request: $.tables[0].variables.g.sortStatistic: categories cannot be "
      "ordered by ";
  const std::pair<const char*, std::string> cases[] = {
      {R"("Mean"})", "Mean without a \"sortVariable\""},
      {R"("ColPct"})", "ColPct without a \"sortVariable\""},
      {R"("Percentile", "sortVariable": "x"})", "Percentile of a variable"}};
  for (const auto& [statistic, message] : cases)
    EXPECT_EQ(command.Error(SortRequest(std::string(R"({"sort": "statistic", "sortStatistic": )") +
                                        statistic),
                            kSortData),
              at + message);
}

TEST(CommandFaultsTest, SubtotalsSumTheirGroups) {
  // Subtotals used to stay empty: the values of their group were not given
  // the subtotal's code. g: 1 twice, 2, 3, 4, 5 three times.
  CommandRun command;
  const char* const data = "g\n1\n1\n2\n3\n4\n5\n5\n5\n";
  const char* const list = R"([{"value": 1}, {"value": 2}, {"subtotal": "A"}, {"value": 3},)"
                           R"( {"subtotal": "B", "hide": true}, {"value": 4}, {"other": true}])";
  auto after = command.Run(
      R"({"tables": [{"rows": ["g"], "variables": {"g": {"totals": true, "categories": )" +
          std::string(list) + R"(}}, "statistics": ["Count"]}]})",
      data);
  // Totals after: A sums 1 and 2, the hiding B sums 3 (hidden); 4 and the
  // other values 5 belong to no group.
  EXPECT_EQ(Labels(after[0].dimensions[0]),
            (std::vector<std::string>{"1", "2", "A", "B", "4", "5", "Total"}));
  EXPECT_EQ(Counts(after[0]), (std::vector<double>{2, 1, 3, 1, 1, 3, 8}));
  auto before = command.Run(R"({"tables": [{"rows": ["g"], "variables": {"g": {"totals": true, )"
                            R"("totalPosition": "before", "categories": )" +
                                std::string(list) + R"(}}, "statistics": ["Count"]}]})",
                            data);
  // Totals before: A sums 3, the hiding B sums 4 and 5 (hidden); 1 and 2
  // belong to no group.
  EXPECT_EQ(Labels(before[0].dimensions[0]),
            (std::vector<std::string>{"Total", "1", "2", "A", "3", "B"}));
  EXPECT_EQ(Counts(before[0]), (std::vector<double>{8, 2, 1, 1, 1, 4}));
}

TEST(CommandFaultsTest, DichotomySetSubtotalsSumTheirMembers) {
  // Members without a variable label are named by their variable (their
  // labels used to be blank).
  CommandRun command;
  const char* const data = "a,b,c\n1,1,0\n1,0,1\n0,1,1\n0,0,1\n";
  auto result = command.Run(
      R"({"sets": [{"name": "abc", "type": "dichotomies", "variables": ["a", "b", "c"],)"
      R"( "countedValue": 1}], "tables": [{"rows": ["abc"], "variables": {"abc": {"categories": )"
      R"([{"variable": "a"}, {"variable": "b"}, {"subtotal": "a or b"}, {"variable": "c"}]}},)"
      R"( "statistics": ["Count", "Responses"]}]})",
      data);
  EXPECT_EQ(Labels(result[0].dimensions[0]), (std::vector<std::string>{"a", "b", "a or b", "c"}));
  // Cases with a or b: 3; their responses in a and b: 4.
  std::vector<double> counts, responses;
  for (const CellResult& cell : result[0].cells) {
    counts.push_back(cell.values[0][0]);
    responses.push_back(cell.values[1][0]);
  }
  EXPECT_EQ(counts, (std::vector<double>{2, 2, 3, 3}));
  EXPECT_EQ(responses, (std::vector<double>{2, 2, 4, 3}));
}

}  // namespace

TEST(CommandFaultsTest, StatisticParametersAndLimitsAreRequiredWhereUsedOnly) {
  auto statisticError = [](const std::string& statistic) {
    return RequestError(R"({"tables": [{"rows": ["g"], "statistics": [)" + statistic + "]}]}");
  };
  const std::string at = "r.json: $.tables[0].statistics[0]";
  EXPECT_EQ(
      statisticError(R"({"name": "Percentile", "variable": "x"})"),
      at + ".parameter: statistic Percentile needs a \"parameter\" (the percentile, 0 to 100)");
  EXPECT_EQ(statisticError(R"({"name": "Mean", "variable": "x", "parameter": 5})"),
            at + ".parameter: statistic Mean takes no parameter");
  EXPECT_EQ(statisticError(R"({"name": "BelowCount", "variable": "x", "lower": 5})"),
            at + ".lower: statistic BelowCount does not compare with \"lower\"");
  EXPECT_EQ(statisticError(R"({"name": "BetweenCount", "variable": "x", "lower": 1})"),
            at + ".upper: statistic BetweenCount needs \"upper\" (the limit it compares with)");
  EXPECT_EQ(statisticError(R"({"name": "UnspecifiedLimitCount", "variable": "x"})"),
            at + ": statistic UnspecifiedLimitCount has no comparison and is not offered");
}

TEST(CommandFaultsTest, ValueEntriesThatALaterEntryTakesAreWarnedAbout) {
  const Dictionary dictionary = ParseDictionary(
      R"({"variables": [{"name": "g", "type": "numeric", "missing": {"values": [9]}}]})", "d.json");
  const Request request = ParseRequest(
      R"({"tables": [{"rows": ["g"], "statistics": ["Count"], "variables": {"g": {"categories": [)"
      R"({"value": 1}, {"value": 9}, {"value": 2}, {"value": 3}, {"value": 4},)"
      R"( {"range": [3, 5]}, {"missing": true}, {"value": 4}]}}}]})",
      "r.json", "");
  const std::string path = "$.tables[0].variables.g.categories", at = "r.json: " + path;
  const std::string rule = " takes it first (entries are matched from the last)";
  // 1 and 2 are reached; 9 is user-missing and the "missing" entry takes it;
  // 3 and the first 4 fall in the range.
  EXPECT_EQ(
      UnreachableCategoryWarnings(request, dictionary),
      (std::vector<std::string>{at + "[1]: this value can never be reached: the later entry " +
                                    path + "[6] ({\"missing\": true})" + rule,
                                at + "[3]: this value can never be reached: the later entry " +
                                    path + "[5] (a range holding it)" + rule,
                                at + "[4]: this value can never be reached: the later entry " +
                                    path + "[5] (a range holding it)" + rule}));
}

// Significance tests through the whole command path (reader, engine, hidden
// tests table, result model) against tests/reference/significance_reference.py,
// which computed every test from the raw data with scipy and statsmodels:
// every p-value within 1e-9 relative (1e-12 absolute below 1e-300), every
// letter a cell is higher than, every chi-square; and the request errors.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <unistd.h>

#include "Command.h"
#include "InputError.h"

namespace {

const std::string kSource = TABCUBE_SOURCE_DIR;

std::string ValueKey(const std::vector<const CategoryResult*>& categories) {
  std::string key;
  for (const CategoryResult* category : categories) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", category->number);
    key += (key.empty() ? "" : "|") + std::string(text);
  }
  return key;
}

bool Close(double got, double expected) {
  if (expected < 1e-300) return std::fabs(got - expected) <= 1e-12;
  return std::fabs(got - expected) <= 1e-9 * expected;
}

struct Expected {
  std::vector<std::string> fields;
  bool seen = false;
};

// request|table|kind|variable|subtable|row|letter|other (or ...|chiSquare|subtable).
std::map<std::string, Expected> LoadExpected() {
  std::map<std::string, Expected> expected;
  std::ifstream in(kSource + "/tests/reference/significance_expected.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    const std::string key = f[2] == "chiSquare"
                                ? f[0] + "|" + f[1] + "|chiSquare|" + f[4]
                                : f[0] + "|" + f[1] + "|" + f[2] + "|" + f[3] + "|" + f[4] + "|" +
                                      f[5] + "|" + f[7] + "|" + f[8];
    expected[key] = {f};
  }
  return expected;
}

TEST(SignificanceTest, EveryTestMatchesScipyAndStatsmodels) {
  std::map<std::string, Expected> expected = LoadExpected();
  ASSERT_GT(expected.size(), 10000u);
  size_t pairs = 0, chi = 0;
  for (const char* request : {"significance_gss.json", "significance_survey.json"}) {
    CommandOptions options;
    options.request = kSource + "/tests/reference/" + request;
    const std::vector<CubeResult> cubes = RunRequest(options);
    for (size_t t = 0; t < cubes.size(); ++t) {
      const CubeResult& cube = cubes[t];
      const std::string table = std::string(request) + "|" + std::to_string(t) + "|";
      size_t column = 0;
      for (size_t d = 0; d < cube.dimensions.size(); ++d)
        if (cube.dimensions[d].axis == Axis::kColumn) column = d;
      for (const CellResult& cell : cube.cells) {
        std::vector<const CategoryResult*> rows, outer;
        for (size_t d = 0; d < cube.dimensions.size(); ++d) {
          const CategoryResult* category =
              &cube.dimensions[d].categories[static_cast<size_t>(cell.categories[d])];
          if (d != column)
            (cube.dimensions[d].axis == Axis::kRow ? rows : outer).push_back(category);
        }
        const std::string& letter =
            cube.dimensions[column].categories[static_cast<size_t>(cell.categories[column])].letter;
        for (size_t i = 0; i < cell.tests.size(); ++i) {
          const TestResult& test = cube.tests[i];
          const std::string prefix = table + TestKindName(test.kind) + "|" +
                                     (test.variable.empty() ? "-" : test.variable) + "|" +
                                     ValueKey(outer) + "|" + ValueKey(rows) + "|" + letter + "|";
          for (const auto& [other, p] : cell.tests[i].pValues) {
            auto found = expected.find(prefix + other);
            ASSERT_NE(found, expected.end()) << prefix + other << " has no reference";
            found->second.seen = true;
            EXPECT_TRUE(Close(p, std::stod(found->second.fields[9])))
                << prefix + other << ": " << p << " vs " << found->second.fields[9];
            const bool higher =
                std::find(cell.tests[i].higherThan.begin(), cell.tests[i].higherThan.end(),
                          other) != cell.tests[i].higherThan.end();
            EXPECT_EQ(higher, found->second.fields[10] == "1") << prefix + other;
            ++pairs;
          }
        }
      }
      std::vector<const DimensionResult*> outerDims;
      for (size_t d = 0; d < cube.dimensions.size(); ++d)
        if (cube.dimensions[d].axis != Axis::kRow && d != column)
          outerDims.push_back(&cube.dimensions[d]);
      for (const ChiSquareResult& result : cube.chiSquare) {
        std::vector<const CategoryResult*> outer;
        for (size_t i = 0; i < outerDims.size(); ++i)
          outer.push_back(&outerDims[i]->categories[static_cast<size_t>(result.outer[i])]);
        auto found = expected.find(table + "chiSquare|" + ValueKey(outer));
        ASSERT_EQ(result.tested, found != expected.end()) << table << ValueKey(outer);
        if (!result.tested) continue;
        const std::vector<std::string>& f = found->second.fields;
        found->second.seen = true;
        EXPECT_TRUE(Close(result.statistic, std::stod(f[7]))) << result.statistic << " " << f[7];
        EXPECT_EQ(result.df, std::stod(f[8]));
        EXPECT_TRUE(Close(result.p, std::stod(f[9]))) << result.p << " vs " << f[9];
        EXPECT_TRUE(Close(result.minExpected, std::stod(f[10])));
        ++chi;
      }
    }
  }
  size_t unseen = 0;
  for (const auto& [key, value] : expected)
    if (!value.seen) ++unseen;
  EXPECT_EQ(unseen, 0u) << "reference pairs the command did not test";
  EXPECT_GT(pairs, 10000u);
  EXPECT_EQ(chi, 12u);
}

// 28 columns of 10 cases (the last of 5), rows 1 and 2, and a listed row 3
// without cases: letters past Z, an all-zero row, a column below minBase.
TEST(SignificanceTest, EdgesOfTheColumnComparisons) {
  char name[] = "/tmp/tabcube_tests_XXXXXX";
  const std::string directory = mkdtemp(name);
  std::string csv = "r,c\n";
  for (int c = 1; c <= 28; ++c)
    for (int i = 0; i < (c == 28 ? 5 : 10); ++i)
      csv += std::to_string(i < 2 + c % 7 ? 1 : 2) + "," + std::to_string(c) + "\n";
  std::ofstream(directory + "/d.csv") << csv;
  auto run = [&](const std::string& table) {
    std::ofstream(directory + "/r.json") << R"({"data": "d.csv", "tables": [)" + table + "]}";
    CommandOptions options;
    options.request = directory + "/r.json";
    return RunRequest(options);
  };
  const auto cubes = run(R"({"rows": [["r"]], "columns": [["c"]], "statistics": ["ColPct"],
      "variables": {"r": {"categories": [{"value": 1}, {"value": 2}, {"value": 3}]}},
      "tests": {"proportions": {"minBase": 8, "adjust": "none"}, "chiSquare": true}})");
  const CubeResult& cube = cubes.at(0);
  for (const CellResult& cell : cube.cells) {
    const CellTestResult& test = cell.tests.at(0);
    ASSERT_TRUE(test.tested);
    EXPECT_EQ(test.smallBase, cell.categories[1] == 27);
    if (cell.categories[0] == 2 || cell.categories[1] == 27) {
      EXPECT_TRUE(test.pValues.empty());
    }
    for (const auto& [letter, p] : test.pValues) EXPECT_NE(letter, "B1");
  }
  size_t tested = 0;
  for (const CellResult& cell : cube.cells) tested += cell.tests[0].pValues.size();
  EXPECT_GT(tested, 0u);
  ASSERT_EQ(cube.chiSquare.size(), 1u);
  EXPECT_EQ(cube.chiSquare[0].df, 27.0);  // the empty row dropped
  try {
    run(R"({"rows": [["r"]], "statistics": ["Count"], "tests": {"chiSquare": true}})");
    ADD_FAILURE() << "tests without a column variable ran";
  } catch (const InputError& error) {
    EXPECT_NE(
        std::string(error.what())
            .find("$.tables[0].tests: tests compare columns, and the table has no column variable"),
        std::string::npos)
        << error.what();
  }
  std::system(("rm -rf '" + directory + "'").c_str());
}

}  // namespace

// Filters: which cases each form of condition keeps (three-valued logic over
// missing values), the places named by syntax errors, and a filtered run.

#include "Filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include "DataInput.h"
#include "InputError.h"
#include "TabcubeRequest.h"

namespace {

// Cases (a, s): a has the user-missing value 9; s is a string of width 3.
struct FilterCases {
  FilterCases() {
    Dictionary dictionary;
    dictionary.variables.resize(2);
    dictionary.variables[0].name = "a";
    dictionary.variables[0].missingNumbers = {9};
    dictionary.variables[1].name = "the s";
    dictionary.variables[1].isString = true;
    dictionary.variables[1].width = 3;
    DefineVariables(dictionary, dataSource);
  }
  // The indices of the cases the filter keeps.
  std::string Kept(const std::string& text) {
    Filter filter(text, "f");
    filter.Bind(dataSource);
    const double a[] = {1, 2, 3, 9, QUOR_SYSMIS};
    const char* const s[] = {"x", "ab", "", "x", "abc"};
    std::string kept;
    std::vector<OBS> row(static_cast<size_t>(dataSource.RowWidth()));
    for (int i = 0; i < 5; ++i) {
      row[static_cast<size_t>(dataSource.VariableOffset(0))].num = a[i];
      char* bytes = row[static_cast<size_t>(dataSource.VariableOffset(1))].str;
      std::memset(bytes, ' ', sizeof(OBS));
      std::memcpy(bytes, s[i], std::strlen(s[i]));
      if (filter.Keeps(row.data())) kept += std::to_string(i);
    }
    return kept;
  }
  QUOR_DataSource dataSource;
};

std::string FilterError(const std::string& text) {
  FilterCases cases;
  try {
    cases.Kept(text);
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

}  // namespace

TEST(FilterTest, ConditionsKeepTheCasesTheyHoldFor) {
  FilterCases cases;
  EXPECT_EQ(cases.Kept("a = 1"), "0");
  EXPECT_EQ(cases.Kept("a == 1 OR a > 2"), "02");  // 9 and system-missing are unknown
  EXPECT_EQ(cases.Kept("a in (2, 3, 9)"), "12");
  EXPECT_EQ(cases.Kept("a between 2 and 3"), "12");
  EXPECT_EQ(cases.Kept("a is missing"), "34");
  EXPECT_EQ(cases.Kept("a is not missing"), "012");
  EXPECT_EQ(cases.Kept("not a = 1"), "12");  // not unknown stays unknown
  EXPECT_EQ(cases.Kept("a = 1 or a is missing"), "034");
  EXPECT_EQ(cases.Kept("not (a = 1 or `the s` = \"x\")"), "12");
  EXPECT_EQ(cases.Kept("`the s` = \"x\""), "03");
  EXPECT_EQ(cases.Kept("`the s` < \"ab\" or `the s` in (\"abc\")"), "24");  // blank sorts first
  EXPECT_EQ(cases.Kept("a = 2 AND a = 3 or a = 1"), "0");                   // and binds before or
}

TEST(FilterTest, ErrorsNameThePlace) {
  EXPECT_EQ(FilterError("a = = 1"), "f: character 5: expected a finite number or a \"string\"");
  EXPECT_EQ(FilterError("a ~ 1"),
            "f: character 3: expected a comparison (=, !=, <, <=, >, >=), in, between or is "
            "missing");
  EXPECT_EQ(FilterError("z = 1"), "f: unknown variable z");
  // A name that starts with a keyword is a name.
  for (const char* name : {"nota", "order", "isle"})
    EXPECT_EQ(FilterError("a = 1 or " + std::string(name) + " = 1"),
              "f: unknown variable " + std::string(name));
  EXPECT_EQ(FilterError("a = \"1\""), "f: variable a is numeric; compare it with a number");
  EXPECT_EQ(FilterError("`the s` = \"abcd\""),
            "f: \"abcd\" is wider than variable the s (3 bytes)");
  EXPECT_EQ(FilterError(std::string(200, '(') + "a = 1" + std::string(200, ')')),
            "f: character 102: the condition is nested too deeply");
}

TEST(FilterTest, FiltersOfTheRequestAndTheTableAreAppliedAndCounted) {
  const std::string path = ::testing::TempDir() + "tabcube_filter.csv";
  std::ofstream(path) << "g,x,w\n1,1,1\n1,2,0\n2,3,1\n2,,1\n1,5,2\n";
  const Request request =
      ParseRequest(std::string(R"({"weight": "w", "filter": "x > 1 or x is missing", "tables": [)"
                               R"({"rows": ["g"], "statistics": ["Count"]},)"
                               R"({"rows": ["g"], "statistics": ["Count"], "filter": "g = 1"}]})"),
                   "r.json", "");
  RunOptions options;
  options.data = path;
  const std::vector<CubeResult> cubes = RunRequestOnFiles(request, options);
  std::remove(path.c_str());
  ASSERT_EQ(cubes.size(), 2u);
  // x = 1 is filtered out; x = 2 has weight 0; the second table keeps g = 1 only.
  EXPECT_EQ(cubes[0].casesFilteredOut, 1);
  EXPECT_EQ(cubes[0].casesExcludedByWeight, 1);
  EXPECT_EQ(cubes[1].casesFilteredOut, 3);
  ASSERT_EQ(cubes[0].cells.size(), 2u);
  EXPECT_EQ(cubes[0].cells[0].values[0][0], 2.0);  // g = 1: x = 5, weight 2
  EXPECT_EQ(cubes[0].cells[1].values[0][0], 2.0);  // g = 2: x = 3 and missing x
  EXPECT_EQ(cubes[1].cells[0].values[0][0], 2.0);
  for (size_t i = 1; i < cubes[1].cells.size(); ++i) EXPECT_FALSE(cubes[1].cells[i].present);
}

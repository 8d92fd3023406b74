// The writers' number forms: wide numbers, overflowed values, limits in every
// format and one number of decimals per statistic.

#include "Output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

// One row dimension of two categories with the given statistics and values.
CubeResult TwoCells(std::vector<StatisticResult> statistics,
                    const std::vector<std::vector<double>>& values) {
  CubeResult cube;
  DimensionResult dimension;
  dimension.name = "g";
  for (const char* label : {"a", "b"}) {
    CategoryResult category;
    category.label = label;
    category.type = CategoryType::kValue;
    dimension.categories.push_back(category);
  }
  cube.dimensions.push_back(dimension);
  cube.statistics = std::move(statistics);
  for (size_t c = 0; c < values.size(); ++c) {
    CellResult cell;
    cell.categories = {static_cast<int>(c)};
    cell.present = true;
    for (double value : values[c]) cell.values.push_back({value, NAN, NAN});
    cube.cells.push_back(cell);
  }
  return cube;
}

StatisticResult Statistic(const std::string& name) {
  StatisticResult statistic;
  statistic.name = name;
  return statistic;
}

std::string Written(const CubeResult& cube, OutputFormat format) {
  std::ostringstream out;
  WriteTables({cube}, format, out);
  return out.str();
}

}  // namespace

TEST(OutputTest, WideNumbersAreWrittenInExponentForm) {
  const CubeResult cube = TwoCells({Statistic("Mean")}, {{1e308}, {1.5e100}});
  const std::string text = Written(cube, OutputFormat::kText);
  EXPECT_NE(text.find("a    1e+308\nb  1.5e+100\n"), std::string::npos) << text;
  EXPECT_EQ(FormatValue(Statistic("Mean"), {999999999999999.0, NAN, NAN}, 2), "999999999999999.00");
}

TEST(OutputTest, OverflowedValuesStayApartFromMissingOnes) {
  const double inf = std::numeric_limits<double>::infinity();
  const CubeResult cube = TwoCells({Statistic("Sum"), Statistic("Mean")}, {{inf, NAN}, {-inf, 2}});
  const auto json = nlohmann::json::parse(Written(cube, OutputFormat::kJson));
  const auto& cells = json["tables"][0]["cells"];
  EXPECT_EQ(cells[0]["values"], nlohmann::json::parse(R"(["Infinity", null])"));
  EXPECT_EQ(cells[1]["values"], nlohmann::json::parse(R"(["-Infinity", 2.0])"));
}

TEST(OutputTest, LimitsAppearInEveryFormat) {
  StatisticResult below = Statistic("BelowCount"), between = Statistic("BetweenCount");
  below.hasUpper = between.hasLower = between.hasUpper = true;
  below.upper = 5;
  between.lower = 2;
  between.upper = 7.5;
  below.variable = between.variable = "x";
  const CubeResult cube = TwoCells({below, between}, {{1, 2}, {3, 4}});
  EXPECT_NE(Written(cube, OutputFormat::kText).find("BelowCount(5) x  BetweenCount(2, 7.5) x"),
            std::string::npos);
  const auto json = nlohmann::json::parse(Written(cube, OutputFormat::kJson));
  const auto& statistics = json["tables"][0]["statistics"];
  EXPECT_EQ(statistics[0]["upper"], 5.0);
  EXPECT_EQ(statistics[1]["lower"], 2.0);
  EXPECT_EQ(statistics[1]["upper"], 7.5);
  const std::string csv = Written(cube, OutputFormat::kCsv);
  EXPECT_NE(csv.find(",BelowCount,x,,,5,1,,,1\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",BetweenCount,x,,2,7.5,4,,,1\n"), std::string::npos) << csv;
}

TEST(OutputTest, EachStatisticKeepsOneNumberOfDecimals) {
  // Whole counts without decimals, a count column with a fraction in two,
  // percentages in one, means in two, whole values without.
  const CubeResult cube = TwoCells({Statistic("Count"), Statistic("Count"), Statistic("ColPct"),
                                    Statistic("Mean"), Statistic("Maximum")},
                                   {{51, 51, 50, 29.5, 3}, {7, 2.5, 50, 29, 4}});
  EXPECT_NE(Written(cube, OutputFormat::kText)
                .find("a     51  51.00   50.0%  29.50        3\n"
                      "b      7   2.50   50.0%  29.00        4\n"),
            std::string::npos);
}

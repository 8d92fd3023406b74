// Every scale statistic of five cells of a 1,600-case data set with weights,
// system-missing and user-missing values, against values computed
// independently with numpy by tests/reference/cell_values_reference.py (its
// output is committed). Cells 0..3 take the cases of their cell number,
// cell 4 takes every case; each case is fed straight into the cells, the way
// the cube aggregator feeds them.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CellValues.h"
#include "cell_test_support.h"

namespace {

using namespace celltest;

const std::string kReferenceDir = std::string(TABCUBE_SOURCE_DIR) + "/tests/reference/";
const int kCells = 5;
const int kAllCell = 4;
const double kUserMissingX = 999.0;

struct Row {
  int cell = 0;
  int variable = 0;
  int code = 0;
  double cut = 0, level = 0, lower = 0, upper = 0;
  double expected[3] = {kMissing, kMissing, kMissing};
};

double ParseValue(const std::string& text) {
  return text == "M" ? kMissing : std::stod(text);
}

std::vector<Row> ReadExpected() {
  std::ifstream in(kReferenceDir + "cell_values_expected.tsv");
  std::vector<Row> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Row row;
    std::string v1, v2, v3;
    fields >> row.cell >> row.variable >> row.code >> row.cut >> row.level >> row.lower >>
        row.upper >> v1 >> v2 >> v3;
    row.expected[0] = ParseValue(v1);
    row.expected[1] = ParseValue(v2);
    row.expected[2] = ParseValue(v3);
    rows.push_back(row);
  }
  return rows;
}

// Order statistics, counts and sums of the data's quarter weights are exact
// in both computations; moments and interpolations differ by summation order
// only (two-pass against running), far below 1e-10 relative.
bool ComparedExactly(int code) {
  switch (code) {
    case Codes::kMean:
    case Codes::kUMean:
    case Codes::kSum:
    case Codes::kUSum:
    case Codes::kVariance:
    case Codes::kUVariance:
    case Codes::kStdDev:
    case Codes::kUStdDev:
    case Codes::kSEMean:
    case Codes::kUSEMean:
    case Codes::kSumSquaredDeviations:
    case Codes::kMedianInterpolated:
    case Codes::kUMedianInterpolated:
    case Codes::kPercentileInterpolated:
    case Codes::kUPercentileInterpolated:
      return false;
    default:
      // Limit percentages are one division of exact sums.
      return !(code >= Codes::kBelowPct && (code - Codes::kBelowPct) % 4 < 2);
  }
}

TEST(CellValuesReferenceTest, EveryScaleStatisticMatchesAnIndependentComputation) {
  const std::vector<Row> rows = ReadExpected();
  ASSERT_GT(rows.size(), 1000u) << "reference table missing or short";

  // The layout: the statistics of cell 0, in file order; variable 0 is x
  // (data variable 2, reader 2), variable 1 is y (data variable 3, reader 3).
  std::vector<AggregationStatistic> stats;
  for (const Row& row : rows) {
    if (row.cell != 0) break;
    AggregationStatistic stat(row.variable + 2, static_cast<Codes::StatisticCodes>(row.code));
    stat.SetPTileCutPoint(row.cut);
    stat.SetCIMedian(row.level);
    stat.SetLowerLimit(row.lower);
    stat.SetUpperLimit(row.upper);
    stats.push_back(stat);
  }
  ASSERT_EQ(rows.size(), stats.size() * kCells);
  const auto layout = ScaleLayout(stats);

  Cases cases(4);  // cell, weight, x, y
  cases.Source().GetVariable(2).AddMissingValue(kUserMissingX);
  std::ifstream in(kReferenceDir + "cell_values_cases.tsv");
  ASSERT_TRUE(in.good());
  std::string line;
  int caseCount = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string cell, weight, x, y;
    fields >> cell >> weight >> x >> y;
    cases.Add({std::stod(cell), std::stod(weight), x == "." ? kSysmis : std::stod(x),
               y == "." ? kSysmis : std::stod(y)});
    ++caseCount;
  }
  ASSERT_EQ(caseCount, 1600);

  std::unique_ptr<CellValues> cells[kCells];
  cases.Start();
  while (cases.Next()) {
    const int cell = static_cast<int>(cases.Reader(0)->GetValue()->num);
    const double weight = cases.Reader(1)->GetValue()->num;
    for (int target : {cell, kAllCell}) {
      if (!cells[target]) {
        cells[target].reset(new CellValues(layout.get(), cases.Readers(), weight));
      } else {
        cells[target]->AddScaleCase(cases.Readers(), weight);
      }
    }
  }

  int compared = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    const int statIndex = static_cast<int>(r % stats.size());
    ASSERT_EQ(row.code, layout->GetStatistic(statIndex));
    ASSERT_TRUE(cells[row.cell]);
    const AggregationResult result = cells[row.cell]->ComputeValue(statIndex);
    const double actual[3] = {result.GetValue1(), result.GetValue2(), result.GetValue3()};
    for (int k = 0; k < 3; ++k) {
      const double expected = row.expected[k];
      const std::string where = "cell " + std::to_string(row.cell) + " variable " +
                                std::to_string(row.variable) + " code " + std::to_string(row.code) +
                                " cut " + std::to_string(row.cut) + " level " +
                                std::to_string(row.level) + " value " + std::to_string(k + 1);
      if (expected == kMissing || ComparedExactly(row.code)) {
        EXPECT_EQ(actual[k], expected) << where;
      } else {
        EXPECT_NEAR(actual[k], expected, 1e-10 * std::fmax(1.0, std::fabs(expected))) << where;
      }
      ++compared;
    }
  }
  EXPECT_EQ(compared, static_cast<int>(rows.size()) * 3);
}

}  // namespace

// End to end through the public front end: a table whose cube has no
// dimensions yields the statistics of the whole data. Compared with the values
// that tests/reference/scale_statistics.py computed exactly from the
// definitions, for the committed data set of 1,500 weighted cases with
// system- and user-missing values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "AggregationCube.h"
#include "AggregationResult.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableMetadata.h"
#include "baseutil.h"
#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::ReferencePath;
using testsupport::Split;

using Codes = TableEncryptionCodes;

constexpr double kMissing = TableEncryptionCodes::kMissingValue;

double ParseValue(const std::string& text) {
  return text == "missing" ? kMissing : std::stod(text);
}

// The committed cases: x (99 user-missing), y ([-9, -1] user-missing), w.
class ReferenceData {
 public:
  ReferenceData() {
    x_ = data_.AddVariable("x", 0);
    y_ = data_.AddVariable("y", 0);
    w_ = data_.AddVariable("w", 0);
    data_.GetVariable(x_).AddMissingValue(99.0);
    data_.GetVariable(y_).SetMissingRange(-9.0, -1.0);
    std::ifstream in(ReferencePath("scale_cases.csv"));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      const std::vector<std::string> fields = Split(line, ',');
      const int row = data_.AddCase();
      for (int v = 0; v < 3; ++v) {
        if (!fields.at(static_cast<size_t>(v)).empty()) {
          data_.SetValue(row, v, std::stod(fields[static_cast<size_t>(v)]));
        }
      }
    }
  }
  const QUOR_DataSource& Data() const { return data_; }
  int VariableIndex(const std::string& name) const { return name == "x" ? x_ : y_; }
  int WeightIndex() const { return w_; }

 private:
  QUOR_DataSource data_;
  int x_, y_, w_;
};

struct Expected {
  std::string variable;
  AggregationStatistic statistic;
  double values[3];
};

std::map<std::string, std::vector<Expected>> ReadExpected(const ReferenceData& data) {
  std::map<std::string, std::vector<Expected>> result;
  std::ifstream in(ReferencePath("scale_statistics.tsv"));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const std::vector<std::string> f = Split(line, '\t');
    const int code = std::stoi(f.at(2));
    AggregationStatistic statistic(data.VariableIndex(f.at(1)),
                                   static_cast<Codes::StatisticCodes>(code));
    const double parameter = std::stod(f.at(3));
    if (code == Codes::kMedianCI || code == Codes::kUMedianCI) {
      statistic.SetCIMedian(parameter);
    } else {
      statistic.SetPTileCutPoint(parameter);
    }
    statistic.SetLowerLimit(std::stod(f.at(4)));
    statistic.SetUpperLimit(std::stod(f.at(5)));
    result[f.at(0)].push_back(
        {f.at(1), statistic, {ParseValue(f.at(6)), ParseValue(f.at(7)), ParseValue(f.at(8))}});
  }
  return result;
}

// Relative agreement to 1e-9: the engine's running (one-pass) means and sums
// of squares round differently from the exact reference, by far less.
void ExpectClose(double actual, double expected, const std::string& what) {
  if (expected == kMissing) {
    EXPECT_EQ(actual, kMissing) << what;
    return;
  }
  EXPECT_NEAR(actual, expected, 1e-9 * std::max(1.0, std::fabs(expected))) << what;
}

// Runs one whole-data table over the data and checks every statistic.
void CheckScenario(const ReferenceData& data, const std::vector<Expected>& expected,
                   bool pairwise) {
  std::vector<AggregationStatistic> stats;
  for (const Expected& e : expected) stats.push_back(e.statistic);

  ProcDSIterator iterator(data.Data(), data.WeightIndex());
  AggregationTable table(iterator, true, pairwise);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  cube->AddScaleStatistics(stats);
  EXPECT_TRUE(table.IsTableEmpty());
  while (iterator.Next()) table.AddNewCase();
  EXPECT_FALSE(table.IsTableEmpty());
  EXPECT_FALSE(table.HasEmptyCubes());

  CubeAggregator* aggregator = table.GetCubeAggregators().at(0);
  StatValues* values = aggregator->GetStatValues({}, -1);
  ASSERT_NE(values, nullptr);
  ASSERT_EQ(values->NumOfValues(), static_cast<int>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    const AggregationResult result = values->GetStatValue(static_cast<int>(i));
    const std::string what =
        e.variable + " code " + std::to_string(e.statistic.GetSummaryStatistic()) + " parameter " +
        std::to_string(e.statistic.GetPTileCutPoint() + e.statistic.GetCIMedian());
    ExpectClose(result.GetValue1(), e.values[0], what + " value 1");
    ExpectClose(result.GetValue2(), e.values[1], what + " value 2");
    ExpectClose(result.GetValue3(), e.values[2], what + " value 3");
  }
}

TEST(WholeDataStatisticsTest, EveryScaleStatisticMatchesTheReferenceWithoutListwiseDeletion) {
  const ReferenceData data;
  ASSERT_EQ(data.Data().NumberOfCases(), 1500);
  const std::map<std::string, std::vector<Expected>> expected = ReadExpected(data);
  ASSERT_EQ(expected.count("pairwise"), 1u);
  ASSERT_GT(expected.at("pairwise").size(), 150u);
  CheckScenario(data, expected.at("pairwise"), true);
}

TEST(WholeDataStatisticsTest, ListwiseDeletionKeepsOnlyCasesValidInEveryVariable) {
  const ReferenceData data;
  const std::map<std::string, std::vector<Expected>> expected = ReadExpected(data);
  ASSERT_EQ(expected.count("listwise"), 1u);
  CheckScenario(data, expected.at("listwise"), false);
}

TEST(WholeDataStatisticsTest, CountsWithoutAVariableNeedNoReader) {
  const ReferenceData data;
  const int x = data.VariableIndex("x");
  ProcDSIterator iterator(data.Data(), data.WeightIndex());
  AggregationTable table(iterator, true, false);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  cube->AddScaleStatistics({AggregationStatistic(Codes::kUCount),
                            AggregationStatistic(Codes::kTablePct),
                            AggregationStatistic(x, Codes::kUValidN)});
  // Only x has a reader: the counts read no variable.
  ASSERT_EQ(table.GetTableMetaData()->GetCaseReaders().size(), 1u);
  while (iterator.Next()) table.AddNewCase();
  StatValues* values = table.GetCubeAggregators().at(0)->GetStatValues({}, -1);
  ASSERT_NE(values, nullptr);
  // Listwise deletion applies to x, the only variable read: the count is its valid N.
  EXPECT_DOUBLE_EQ(values->GetStatValue(0), values->GetStatValue(2));
  EXPECT_LT(values->GetStatValue(0), 1500.0);
  EXPECT_DOUBLE_EQ(values->GetStatValue(1), 100.0);
}

TEST(WholeDataStatisticsDeathTest, AStatisticOfValuesNeedsItsVariable) {
  const ReferenceData data;
  QUOR_InputCaseIterator iterator(data.Data());
  AggregationTable table(iterator, false, false);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  EXPECT_DEATH(cube->AddScaleStatistics({AggregationStatistic(Codes::kMean)}),
               "statistic variable >= 0");
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "CellValues.h"
#include "StatisticTraits.h"
#include "cell_test_support.h"

namespace {

using celltest::Cases;
using Codes = TableEncryptionCodes;

// The statistic with the parameters it needs: a cut point, a level, limits.
AggregationStatistic WithParameters(int code) {
  AggregationStatistic stat(0, static_cast<Codes::StatisticCodes>(code));
  stat.SetPTileCutPoint(25.0);
  stat.SetCIMedian(95.0);
  stat.SetLowerLimit(2.0);
  stat.SetUpperLimit(4.0);
  return stat;
}

// Every weighted statistic of a case-weighted data set of unit weights equals
// its unweighted twin of the same cases under any other weights: the table's
// twins, weighting flags and shared accumulators, checked through the values.
TEST(StatisticTraitsTest, UnweightedTwinsOfUnitWeightsAgreeWithWeightedStatistics) {
  const std::vector<double> values = {3.0, 1.0, 4.0, 1.0, 5.0, 9.0, 2.0, 6.0, 5.0, 3.0};
  const std::vector<double> weights = {0.5, 2.0, 3.25, 1.0, 7.0, 0.25, 4.0, 1.5, 2.0, 3.0};
  std::vector<AggregationStatistic> weighted, unweighted;
  for (int c = 1; c < Codes::kNumberOfStatistics; ++c) {
    if (TraitsOf(c).twin == kNoTwin || TraitsOf(c).unweighted) continue;
    weighted.push_back(WithParameters(c));
    unweighted.push_back(WithParameters(TraitsOf(c).twin));
  }
  ASSERT_EQ(weighted.size(), 83u);
  const auto weightedLayout = celltest::ScaleLayout(weighted);
  const auto unweightedLayout = celltest::ScaleLayout(unweighted);
  CellValues ones(weightedLayout.get()), varied(unweightedLayout.get());
  Cases cases(1);
  for (double value : values) cases.Add({value});
  cases.Start();
  for (size_t k = 0; cases.Next(); ++k) {
    ones.AddScaleCase(cases.Readers(), 1.0);
    varied.AddScaleCase(cases.Readers(), weights[k]);
  }
  for (int i = 0; i < ones.NumberOfValues(); ++i) {
    const AggregationResult a = ones.ComputeValue(i), b = varied.ComputeValue(i);
    SCOPED_TRACE(TraitsOf(weighted[static_cast<size_t>(i)].GetSummaryStatistic()).name);
    EXPECT_DOUBLE_EQ(a.GetValue1(), b.GetValue1());
    EXPECT_DOUBLE_EQ(a.GetValue2(), b.GetValue2());
    EXPECT_DOUBLE_EQ(a.GetValue3(), b.GetValue3());
  }
}

// Sorting: counts always, responses only of the set itself, single-valued
// statistics of a variable only; percentages and parameterised statistics,
// and codes outside the table, never.
TEST(StatisticTraitsTest, CategoryOrderRules) {
  EXPECT_TRUE(CanOrderCategories(Codes::kUCount, true) &&
              CanOrderCategories(Codes::kUCount, false));
  EXPECT_TRUE(CanOrderCategories(Codes::kResponses, false));
  EXPECT_FALSE(CanOrderCategories(Codes::kResponses, true));
  EXPECT_TRUE(CanOrderCategories(Codes::kMedian, true));
  EXPECT_FALSE(CanOrderCategories(Codes::kMedian, false));
  for (int code : {0, 3, 131, 129, 135, 170, -1, 171}) {
    EXPECT_FALSE(CanOrderCategories(code, true) || CanOrderCategories(code, false)) << code;
  }
}

}  // namespace

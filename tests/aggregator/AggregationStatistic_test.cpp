#include <gtest/gtest.h>

#include "AggregationResult.h"
#include "AggregationStatistic.h"

namespace {

using Codes = TableEncryptionCodes;

TEST(AggregationStatisticTest, PercentilesDifferByCutPointLimitsDoNotCount) {
  AggregationStatistic p25(1, Codes::kPercentile), p75(1, Codes::kPercentile);
  p25.SetPTileCutPoint(25);
  p75.SetPTileCutPoint(75);
  EXPECT_FALSE(p25.IsSame(p75, false));

  AggregationStatistic below1(1, Codes::kBelowCount), below2(1, Codes::kBelowCount);
  below1.SetUpperLimit(10);
  below2.SetUpperLimit(20);
  EXPECT_TRUE(below1.IsSame(below2, false));

  AggregationStatistic ci90(1, Codes::kMedianCI), ci95(1, Codes::kMedianCI);
  ci90.SetCIMedian(90);
  ci95.SetCIMedian(95);
  EXPECT_FALSE(ci90.IsSame(ci95, false));
}

TEST(AggregationStatisticTest, IgnoringTheVariableMatchesSameCodeOnOtherVariables) {
  AggregationStatistic a(1, Codes::kPercentile), b(2, Codes::kPercentile);
  a.SetPTileCutPoint(50);
  b.SetPTileCutPoint(50);
  EXPECT_FALSE(a.IsSame(b, false));
  EXPECT_TRUE(a.IsSame(b, true));
  EXPECT_FALSE(
      AggregationStatistic(1, Codes::kMean).IsSame(AggregationStatistic(1, Codes::kUMean), true));
}

}  // namespace

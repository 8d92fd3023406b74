#include <gtest/gtest.h>

#include "AggregationResult.h"
#include "AggregationStatistic.h"

namespace {

using Codes = TableEncryptionCodes;

TEST(AggregationStatisticTest, DefaultsAreNoVariableAndZeroParameters) {
  AggregationStatistic stat(Codes::kMean);
  EXPECT_EQ(stat.GetVarIndex(), -1);
  EXPECT_EQ(stat.GetSummaryStatistic(), Codes::kMean);
  EXPECT_EQ(stat.GetPTileCutPoint(), 0.0);
  EXPECT_EQ(stat.GetLowerLimit(), 0.0);
  EXPECT_EQ(stat.GetUpperLimit(), 0.0);
  EXPECT_EQ(stat.GetCIMedian(), 0.0);
}

TEST(AggregationStatisticTest, CopiesAreIndependent) {
  AggregationStatistic original(4, Codes::kPercentile);
  original.SetPTileCutPoint(25.0);
  AggregationStatistic copy(original);
  copy.SetPTileCutPoint(75.0);
  EXPECT_EQ(original.GetPTileCutPoint(), 25.0);
  AggregationStatistic assigned(Codes::kCount);
  assigned = original;
  EXPECT_EQ(assigned.GetVarIndex(), 4);
  EXPECT_EQ(assigned.GetPTileCutPoint(), 25.0);
  assigned = assigned;
  EXPECT_EQ(assigned.GetSummaryStatistic(), Codes::kPercentile);
}

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
  EXPECT_FALSE(AggregationStatistic(1, Codes::kMean).IsSame(AggregationStatistic(1, Codes::kUMean), true));
}

TEST(AggregationResultTest, DefaultIsMissingEverywhere) {
  AggregationResult result;
  EXPECT_EQ(static_cast<double>(result), -1.7976931348623157e+308);
  EXPECT_EQ(result.GetValue2(), -1.7976931348623157e+308);
  EXPECT_EQ(result.GetValue3(), -1.7976931348623157e+308);
  AggregationResult single(3.5);
  EXPECT_EQ(single.GetValue1(), 3.5);
  EXPECT_EQ(single.GetValue2(), Codes::kMissingValue);
}

TEST(AggregationResultTest, AssigningADoubleChangesOnlyTheFirstValue) {
  AggregationResult interval;
  interval.SetValue1(1.0);
  interval.SetValue2(9.0);
  interval.SetValue3(96.1);
  interval = 4.0;
  EXPECT_EQ(interval.GetValue1(), 4.0);
  EXPECT_EQ(interval.GetValue2(), 9.0);
  EXPECT_EQ(interval.GetValue3(), 96.1);

  AggregationResult copy(interval);
  AggregationResult assigned;
  assigned = copy;
  EXPECT_EQ(assigned.GetValue3(), 96.1);
}

TEST(TableEncryptionCodesTest, FamiliesSitWhereTheirArithmeticSaysSo) {
  // Percentage kind t of each family: weighted at base + 2t, unweighted next.
  EXPECT_EQ(Codes::kULayerColPct, 4 + 2 * 6);
  EXPECT_EQ(Codes::kRowValidNPct, 17);
  EXPECT_EQ(Codes::kULayerColTotalNPct, 44);
  EXPECT_EQ(Codes::kRowSumPct, 70);
  EXPECT_EQ(Codes::kRowResponsesPct, 86);
  EXPECT_EQ(Codes::kRowResponsesCountPct, 100);
  EXPECT_EQ(Codes::kRowCountResponsesPct, 114);
  EXPECT_EQ(Codes::kSumSquaredDeviations, 128);
  EXPECT_EQ(Codes::kBelowPct, 135);
  EXPECT_EQ(Codes::kUnspecifiedLimitPct, 163);
  EXPECT_EQ(Codes::kUStrictlyBetweenCount, 170);
  EXPECT_EQ(Codes::kNumberOfStatistics, 171);
}

}  // namespace

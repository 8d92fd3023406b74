#include <gtest/gtest.h>

#include <vector>

#include "AggregationStatistic.h"
#include "CellStatistics.h"
#include "TableEncryptionCodes.h"

namespace {

using Codes = TableEncryptionCodes;
using Stats = std::vector<AggregationStatistic>;

AggregationStatistic Stat(int variable, Codes::StatisticCodes code) {
  return AggregationStatistic(variable, code);
}

AggregationStatistic Percentile(int variable, Codes::StatisticCodes code, double cut) {
  AggregationStatistic stat(variable, code);
  stat.SetPTileCutPoint(cut);
  return stat;
}

CellStatistics Scale(const Stats& stats) {
  CellStatistics layout(stats);
  layout.SetScaleStatistics(std::vector<int>(stats.size(), 0));
  return layout;
}

CellStatistics Categorical(const Stats& stats) {
  CellStatistics layout(stats);
  layout.SetCategoricalStatistics();
  return layout;
}

TEST(CellStatisticsTest, GetIndexFindsTheFirstMatch) {
  CellStatistics layout = Scale({Stat(1, Codes::kMean), Percentile(2, Codes::kPercentile, 25),
                                 Percentile(2, Codes::kPercentile, 75), Stat(2, Codes::kMean)});
  EXPECT_EQ(layout.GetIndex(Stat(2, Codes::kMean), false), 3);
  EXPECT_EQ(layout.GetIndex(Stat(2, Codes::kMean), true), 0);
  EXPECT_EQ(layout.GetIndex(Percentile(2, Codes::kPercentile, 75), false), 2);
  EXPECT_EQ(layout.GetIndex(Percentile(2, Codes::kPercentile, 50), false), -1);
  EXPECT_EQ(layout.GetIndex(Stat(1, Codes::kSum), false), -1);
}

// Order statistics of one variable and one weighting read one frequency table.
TEST(CellStatisticsTest, OrderStatisticsOfOneVariableAndWeightingShareAFrequencyTable) {
  const CellStatistics layout = Scale({Stat(2, Codes::kMedian), Stat(2, Codes::kMode),
                                       Stat(2, Codes::kUMedian), Stat(3, Codes::kMedian)});
  EXPECT_EQ(layout.NumberOfFreqTables(), 3);
}

TEST(CellStatisticsTest, PercentagesOfOneKindShareTheirBaseStatistic) {
  CellStatistics layout = Categorical({
      Stat(0, Codes::kColPct),                 // 0: base statistic 0 of the column base
      Stat(0, Codes::kRowPct),                 // 1: another kind
      Stat(0, Codes::kColResponsesPct),        // 2: weighted responses base
      Stat(0, Codes::kColCountResponsesPct),   // 3: shares the responses base
      Stat(0, Codes::kUColPct),                // 4: its own base statistic
      Stat(0, Codes::kColPct),                 // 5: shares base statistic 0
      Stat(0, Codes::kColResponsesCountPct),   // 6: weighted count base
      Stat(0, Codes::kUColResponsesCountPct),  // 7: unweighted count base
      Stat(0, Codes::kCount),                  // 8: not a percentage
  });
  Stats base;
  std::vector<int> baseCases;
  layout.GetBaseStats(base, baseCases, CellStatistics::kColumnPercent, 0);
  const int expectedBase[] = {0, -1, 1, 1, 2, 0, 3, 4, -1};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(layout.GetBaseIndex(i), expectedBase[i]) << i;
    EXPECT_EQ(layout.GetBaseTypeIndex(i), expectedBase[i] < 0 ? -1 : 0) << i;
  }
  std::vector<int> baseCodes;
  for (const AggregationStatistic& stat : base) baseCodes.push_back(stat.GetSummaryStatistic());
  EXPECT_EQ(baseCodes, std::vector<int>({Codes::kColPct, Codes::kResponses, Codes::kUColPct,
                                         Codes::kCount, Codes::kUCount}));
  EXPECT_EQ(base[1].GetVarIndex(), 0);
  // Only statistics that are their own base add a case index.
  EXPECT_EQ(baseCases, std::vector<int>({-1, -1}));

  // The row kind goes to the next base, leaving the column entries alone.
  Stats rowBase;
  std::vector<int> rowCases;
  layout.GetBaseStats(rowBase, rowCases, CellStatistics::kRowPercent, 1);
  ASSERT_EQ(rowBase.size(), 1u);
  EXPECT_EQ(layout.GetBaseIndex(1), 0);
  EXPECT_EQ(layout.GetBaseTypeIndex(1), 1);
  EXPECT_EQ(layout.GetBaseIndex(0), 0);
  EXPECT_EQ(layout.GetBaseTypeIndex(0), 0);

  // The built base layout yields counts where the percentages need them.
  CellStatistics baseLayout(base);
  baseLayout.SetCategoricalStatistics();
  EXPECT_EQ(baseLayout.GetUpdateStat(0), Codes::kCount);
  EXPECT_EQ(baseLayout.GetUpdateStat(1), Codes::kResponses);
  EXPECT_EQ(baseLayout.GetUpdateStat(2), Codes::kUCount);
}

TEST(CellStatisticsDeathTest, CodesBeyond170AreRefusedWhenTheLayoutIsBuilt) {
  const Stats stats = {Stat(0, Codes::kMean), Stat(0, static_cast<Codes::StatisticCodes>(171)),
                       Stat(0, Codes::kSum)};
  EXPECT_DEATH(Scale(stats), "0 <= c && c <= 170");
  EXPECT_DEATH(Categorical(stats), "0 <= c && c <= 170");
}

TEST(CellStatisticsDeathTest, LayoutIsSetUpOnce) {
  CellStatistics layout = Categorical({Stat(0, Codes::kCount)});
  EXPECT_DEATH(layout.SetCategoricalStatistics(), "the layout is set up once");
  CellStatistics scale(Stats{Stat(0, Codes::kMean)});
  EXPECT_DEATH(scale.SetScaleStatistics({}), "one case index per statistic");
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
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

// Slot widths of the accumulators that own per-statistic slots.
int OwnedWidth(Codes::StatisticCodes update, bool categorical) {
  switch (update) {
    case Codes::kMaximum:
    case Codes::kMinimum:
      return 1;
    case Codes::kValidN:
    case Codes::kUValidN:
      return categorical ? 0 : 1;
    case Codes::kMean:
    case Codes::kUMean:
    case Codes::kValueRange:
    case Codes::kBelowCount:
    case Codes::kUBelowCount:
      return 2;
    case Codes::kVariance:
    case Codes::kUVariance:
      return 3;
    default:
      return 0;
  }
}

// Every code at once: owned slot ranges tile [fixed size, value size) in
// statistic order, fixed reads stay inside the fixed region, and only the
// accumulator kinds of the layout table occur.
TEST(CellStatisticsTest, AllCodesTileTheValueArray) {
  Stats stats;
  for (int c = 0; c < Codes::kNumberOfStatistics; ++c) {
    stats.push_back(Stat(c % 5, static_cast<Codes::StatisticCodes>(c)));
  }
  const std::vector<int> allowed = {0,  1,  2,  45, 46, 47, 48, 49, 52,  57,
                                    64, 65, 66, 67, 68, 69, 84, 85, 137, 138};
  for (bool categorical : {false, true}) {
    SCOPED_TRACE(categorical ? "categorical" : "scale");
    CellStatistics layout = categorical ? Categorical(stats) : Scale(stats);
    EXPECT_GE(layout.GetFixedSize(), 2);
    int next = layout.GetFixedSize();
    for (int i = 0; i < layout.NumberOfValues(); ++i) {
      const Codes::StatisticCodes u = layout.GetUpdateStat(i);
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), u), allowed.end()) << i;
      const int width = OwnedWidth(u, categorical);
      if (width > 0) {
        EXPECT_EQ(layout.GetValueIndex(i), next) << i;
        next += width;
      } else if (u != Codes::kNoStatistic && u != Codes::kMedian && u != Codes::kUMedian &&
                 (categorical || (u != Codes::kTotalN && u != Codes::kUTotalN))) {
        EXPECT_LT(layout.GetValueIndex(i), layout.GetFixedSize()) << i;
      }
    }
    EXPECT_EQ(layout.ValueSize(), next);
    // Weighted order statistics fall on variables 3, 0, 0, 4, 1, 3 and the
    // unweighted ones on 4, 1, 1, 0, 2, 4: four tables each.
    EXPECT_EQ(layout.NumberOfFreqTables(), 8);
  }
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

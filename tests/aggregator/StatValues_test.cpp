#include "StatValues.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "CellValues.h"
#include "cell_test_support.h"

namespace {

using namespace celltest;

// A cell layout with percentages and the base layout of one percentage kind,
// derived the way the cube aggregator derives it.
struct Layouts {
  explicit Layouts(const std::vector<AggregationStatistic>& stats,
                   CellStatistics::PercentType type = CellStatistics::kRowPercent) {
    cell = ScaleLayout(stats);
    std::vector<AggregationStatistic> baseStats;
    std::vector<int> baseCaseIndices;
    cell->GetBaseStats(baseStats, baseCaseIndices, type, 0);
    base.reset(new CellStatistics(baseStats));
    base->SetScaleStatistics(baseCaseIndices);
  }
  std::unique_ptr<CellStatistics> cell;
  std::unique_ptr<CellStatistics> base;
};

// Feeds values of variable 0 with weights into a new cell of the layout.
std::unique_ptr<CellValues> Feed(const CellStatistics& layout, Cases& cases,
                                 const std::vector<double>& values,
                                 const std::vector<double>& weights) {
  for (double value : values) cases.Add({value});
  cases.Start();
  std::unique_ptr<CellValues> cell;
  size_t k = 0;
  while (cases.Next()) {
    const double weight = weights[k++];
    if (!cell) {
      cell.reset(new CellValues(&layout, cases.Readers(), weight));
    } else {
      cell->AddScaleCase(cases.Readers(), weight);
    }
  }
  return cell;
}

TEST(StatValuesTest, ZeroMissingAndNegativeDenominatorsAndMissingNumerators) {
  Layouts layouts({Stat(0, Codes::kRowPct), Stat(0, Codes::kRowSumPct)});
  Cases cellCases(1), zeroCases(1), missingCases(1);
  // The cell has no valid value: its sum is missing; its count is 2.
  auto cell = Feed(*layouts.cell, cellCases, {kSysmis}, {2});
  // A base of weight 0: count 0 and no sum.
  auto zero = Feed(*layouts.base, zeroCases, {4}, {0});
  StatValues values;
  values.SetStatValues(cell.get());
  values.AddPercentBase(zero.get());
  EXPECT_EQ(values.GetStatValue(0), kMissing);
  EXPECT_EQ(values.GetStatValue(1), kMissing);
  // A base with a sum: the missing numerator still gives missing, never a
  // huge negative quotient.
  auto withSum = Feed(*layouts.base, missingCases, {4}, {1});
  values.ClearBases();
  values.AddPercentBase(withSum.get());
  EXPECT_EQ(values.GetStatValue(0), 200.0);
  EXPECT_EQ(values.GetStatValue(1), kMissing);
  // A negative denominator is divided like any other: a sum of 2 over -8.
  Cases twoCases(1), negativeCases(1);
  auto two = Feed(*layouts.cell, twoCases, {2}, {1});
  auto negative = Feed(*layouts.base, negativeCases, {-8}, {1});
  values.SetStatValues(two.get());
  values.ClearBases();
  values.AddPercentBase(negative.get());
  EXPECT_EQ(values.GetStatValue(1), -25.0);
}

TEST(StatValuesTest, PreconditionsGuardUnsetCellAndMissingBase) {
  Layouts layouts({Stat(0, Codes::kCount), Stat(0, Codes::kRowPct)});
  Cases cases(1);
  auto cell = Feed(*layouts.cell, cases, {1}, {1});
  StatValues values;
  EXPECT_DEATH(values.GetStatValue(0), "_cellValues");
  EXPECT_DEATH(values.SetStatValues(nullptr), "cellValues");
  values.SetStatValues(cell.get());
  values.ClearBases();
  EXPECT_EQ(values.GetStatValue(0), 1.0);  // no base needed
  EXPECT_DEATH(values.GetStatValue(1), "_baseValues\\[baseType\\]");
  values.AddPercentBase(nullptr);
  EXPECT_DEATH(values.GetStatValue(1), "_baseValues\\[baseType\\]");
}

}  // namespace

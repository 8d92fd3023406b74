#include "CellValues.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "cell_test_support.h"

namespace {

using namespace celltest;

// One scale cell over variable 0, fed the given values (kSysmis = missing)
// with the given weights (unit weights when empty).
class ScaleCell {
 public:
  ScaleCell(const std::vector<AggregationStatistic>& stats, const std::vector<double>& values,
            const std::vector<double>& weights = {})
      : _cases(1), _layout(ScaleLayout(stats)) {
    for (double value : values) _cases.Add({value});
    _cases.Start();
    size_t k = 0;
    while (_cases.Next()) {
      const double weight = weights.empty() ? 1.0 : weights[k++];
      if (!_cell) {
        _cell.reset(new CellValues(_layout.get(), _cases.Readers(), weight));
      } else {
        _cell->AddScaleCase(_cases.Readers(), weight);
      }
    }
  }
  double operator()(int i) const { return _cell->ComputeValue(i); }
  const CellValues& Cell() const { return *_cell; }

 private:
  Cases _cases;
  std::unique_ptr<CellStatistics> _layout;
  std::unique_ptr<CellValues> _cell;
};

std::vector<AggregationStatistic> Stats(std::initializer_list<Codes::StatisticCodes> codes) {
  std::vector<AggregationStatistic> stats;
  for (Codes::StatisticCodes code : codes) stats.push_back(Stat(0, code));
  return stats;
}

// Compares statistics first, first + 1, ... of the cell exactly.
void ExpectValues(const CellValues& cell, const std::vector<double>& expected, int first = 0) {
  for (size_t i = 0; i < expected.size(); ++i) {
    const int index = first + static_cast<int>(i);
    EXPECT_EQ(cell.ComputeValue(index).GetValue1(), expected[i]) << "statistic " << index;
  }
}

TEST(CellValuesTest, MeanThatCancelsToRoundingNoiseIsExactlyZero) {
  ScaleCell cell(Stats({Codes::kMean, Codes::kUMean, Codes::kSum}), {0.1, 0.2, -0.3});
  ExpectValues(cell.Cell(), {0.0, 0.0, 0.0});
}

TEST(CellValuesTest, ExtremesIgnoreMissingValuesAndStartEmpty) {
  // All values negative: a maximum that started at 0 would be wrong.
  ScaleCell cell(Stats({Codes::kMaximum, Codes::kMinimum, Codes::kValueRange}),
                 {-5.0, kSysmis, -3.0, -8.0});
  ExpectValues(cell.Cell(), {-3.0, -8.0, 5.0});
}

TEST(CellValuesTest, InterpolatedPercentilesOfOneDistinctValueAreThatValue) {
  AggregationStatistic p10(0, Codes::kPercentileInterpolated),
      p90(0, Codes::kUPercentileInterpolated);
  p10.SetPTileCutPoint(10);
  p90.SetPTileCutPoint(90);
  ScaleCell single({AggregationStatistic(0, Codes::kMedianInterpolated),
                    AggregationStatistic(0, Codes::kMedian), p10, p90},
                   {5, 5, 5});
  ExpectValues(single.Cell(), {5.0, 5.0, 5.0, 5.0});
  ScaleCell four(Stats({Codes::kMedianInterpolated, Codes::kUMedianInterpolated}), {1, 2, 3, 4});
  EXPECT_DOUBLE_EQ(four(0), 2.5);
  EXPECT_DOUBLE_EQ(four(1), 2.5);
}

TEST(CellValuesTest, MedianIntervalKeepsAllThreeValues) {
  AggregationStatistic weighted(0, Codes::kMedianCI), unweighted(0, Codes::kUMedianCI);
  weighted.SetCIMedian(95);
  unweighted.SetCIMedian(95);
  // Two cases: the interval spans both values with certainty.
  ScaleCell two({weighted, unweighted}, {8, 3}, {1, 1});
  const AggregationResult interval = two.Cell().ComputeValue(0);
  EXPECT_EQ(std::vector<double>({interval.GetValue1(), interval.GetValue2(), interval.GetValue3()}),
            std::vector<double>({3.0, 8.0, 100.0}));
  // A weight total of 2.5 is no whole number of cases: no interval, while the
  // unweighted one exists.
  ScaleCell fractional({weighted, unweighted}, {8, 3}, {1, 1.5});
  const AggregationResult none = fractional.Cell().ComputeValue(0);
  EXPECT_EQ(std::vector<double>({none.GetValue1(), none.GetValue2(), none.GetValue3()}),
            std::vector<double>(3, kMissing));
  EXPECT_EQ(fractional.Cell().ComputeValue(1).GetValue2(), 8.0);
  // An empty table has no interval.
  ScaleCell empty({weighted}, {kSysmis});
  EXPECT_EQ(empty.Cell().ComputeValue(0).GetValue1(), kMissing);
}

TEST(CellValuesTest, FirstCasesOfZeroWeightLeaveWeightedAccumulatorsUntouched) {
  // The first two cases weigh nothing. Folding them into a running mean of
  // weight 0 would divide 0 by 0 and leave NaN for good.
  const std::vector<AggregationStatistic> stats =
      Stats({Codes::kMean, Codes::kSum, Codes::kVariance, Codes::kMedian, Codes::kMode,
             Codes::kValidN, Codes::kUMean, Codes::kUValidN, Codes::kUMedian, Codes::kCount,
             Codes::kUCount, Codes::kBelowPct, Codes::kBelowCount, Codes::kUBelowCount});
  std::vector<AggregationStatistic> withLimits = stats;
  for (int i = 11; i <= 13; ++i) withLimits[static_cast<size_t>(i)].SetUpperLimit(5.0);
  ScaleCell cell(withLimits, {100, 1, 2, 4}, {0, 0, 1, 3});
  ScaleCell reference(withLimits, {2, 4}, {1, 3});
  EXPECT_EQ(cell(0), reference(0));
  EXPECT_EQ(cell(2), reference(2));
  // Statistic 4: a zero-weight value is no mode candidate.
  ExpectValues(cell.Cell(), {3.5, 14.0}, 0);
  ExpectValues(cell.Cell(), {4.0, 4.0, 4.0}, 3);
  // The unweighted twins still count every case.
  EXPECT_DOUBLE_EQ(cell(6), 107.0 / 4.0);
  ExpectValues(cell.Cell(), {4.0, 3.0, 4.0, 4.0, 100.0, 4.0, 3.0}, 7);
}

TEST(CellValuesTest, OverflowedSumOfSquaresReadsAsMissing) {
  // A weight past the largest double overflows W: the accumulator marks M2
  // with -1, which is no sum of squares and no variance.
  ScaleCell cell(
      Stats({Codes::kSumSquaredDeviations, Codes::kVariance, Codes::kStdDev, Codes::kUVariance}),
      {1, 2, 3}, {DBL_MAX, DBL_MAX, 1});
  ExpectValues(cell.Cell(), {kMissing, kMissing, kMissing});
  EXPECT_DOUBLE_EQ(cell(3), 1.0);
  // Squared deviations beyond the largest double: infinite, also missing.
  ScaleCell huge(Stats({Codes::kSumSquaredDeviations, Codes::kVariance}), {-1e200, 1e200});
  ExpectValues(huge.Cell(), {kMissing, kMissing});
  // A first value whose square overflows adds nothing: M2 stays 0.
  ScaleCell same(Stats({Codes::kSumSquaredDeviations, Codes::kVariance}), {1e200, 1e200});
  ExpectValues(same.Cell(), {0.0, 0.0});
}

// Serves rows of its own, so that a value the data source would never hold
// (NaN, which it stores as system-missing) reaches the readers.
class RowIterator : public QUOR_InputCaseIterator {
 public:
  RowIterator(const QUOR_DataSource& source, const std::vector<double>& values)
      : QUOR_InputCaseIterator(source), _values(values) {}
  bool Next() override {
    if (_next >= _values.size()) return false;
    _row.num = _values[_next++];
    SetCurrentRow(&_row);
    return true;
  }

 private:
  std::vector<double> _values;
  size_t _next = 0;
  OBS _row;
};

TEST(CellValuesTest, NotANumberStaysOutOfTheFrequencyTables) {
  // A reader marked valid on a NaN must not put an unordered key into an
  // ordered table; the other statistics see it as they would any value.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  QUOR_DataSource source;
  source.AddVariable("x", 0);
  RowIterator rows(source, {3.0, nan, 1.0, 2.0, nan});
  std::vector<ZarnCaseValueReader*> readers = {new ZarnCaseValueReader(rows, 0)};
  const auto layout = ScaleLayout(
      Stats({Codes::kMedian, Codes::kUMode, Codes::kMaximum, Codes::kUValidN, Codes::kUMedian}));
  std::unique_ptr<CellValues> cell;
  while (rows.Next()) {
    readers[0]->SetValid(true);
    if (!cell) {
      cell.reset(new CellValues(layout.get(), readers, 1.0));
    } else {
      cell->AddScaleCase(readers, 1.0);
    }
  }
  ExpectValues(*cell, {2.0, 1.0, 3.0, 5.0, 2.0});
  delete readers[0];
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(CellValuesTest, CasesAllocateOnlyNewFrequencyKeys) {
  // Every accumulator kind on one variable; the second pass repeats values the
  // tables already hold, so the heap must not grow at all.
  AggregationStatistic interval(0, Codes::kMedianCI);
  interval.SetCIMedian(95);
  std::vector<AggregationStatistic> stats =
      Stats({Codes::kCount, Codes::kMean, Codes::kUMean, Codes::kMaximum, Codes::kMinimum,
             Codes::kValueRange, Codes::kVariance, Codes::kUVariance, Codes::kValidN,
             Codes::kUValidN, Codes::kMedian, Codes::kUMedian, Codes::kMode, Codes::kSum,
             Codes::kBelowCount, Codes::kUBetweenPct, Codes::kTotalN, Codes::kMissingN});
  stats.push_back(interval);
  const auto layout = ScaleLayout(stats);
  Cases cases(1);
  for (int pass = 0; pass < 2; ++pass) {
    for (int v = 0; v < 50; ++v) cases.Add({v % 10 == 9 ? kSysmis : static_cast<double>(v)});
  }
  cases.Start();
  ASSERT_TRUE(cases.Next());
  CellValues cell(layout.get(), cases.Readers(), 1.0);
  for (int k = 1; k < 50; ++k) {
    ASSERT_TRUE(cases.Next());
    cell.AddScaleCase(cases.Readers(), 1.5);
  }
  const size_t before = mallinfo2().uordblks;
  while (cases.Next()) cell.AddScaleCase(cases.Readers(), 2.0);
  EXPECT_EQ(mallinfo2().uordblks, before);
  EXPECT_EQ(cell.ComputeValue(0), 1.0 + 49 * 1.5 + 50 * 2.0);
}
#endif

TEST(CellValuesTest, StringVariableHasNoNumericValue) {
  Cases cases(std::vector<int>{8});
  const int c = cases.Source().AddCase();
  cases.Source().SetValue(c, 0, std::string("abcdefgh"));
  cases.Start();
  ASSERT_TRUE(cases.Next());
  const auto layout =
      CategoricalLayout(Stats({Codes::kCount, Codes::kMean, Codes::kMaximum, Codes::kMode}));
  CellValues cell(layout.get(), cases.Reader(0), true, false, 1.0);
  ExpectValues(cell, {1.0, kMissing, kMissing, kMissing});
}

TEST(CellValuesTest, ReadingAStatisticOutsideTheLayoutDies) {
  ScaleCell cell(Stats({Codes::kCount}), {1});
  EXPECT_DEATH(cell.Cell().ComputeValue(1), "0 <= statIndex && statIndex < NumberOfValues\\(\\)");
  EXPECT_DEATH(cell.Cell().ComputeValue(-1), "0 <= statIndex && statIndex < NumberOfValues\\(\\)");
}

TEST(FrequencyHelpersTest, NearlyEqualScalesWithMagnitudeAndCount) {
  EXPECT_TRUE(NearlyEqual(0.0, 0.0, 0));
  EXPECT_TRUE(NearlyEqual(3.0, 3.0, 0));
  EXPECT_FALSE(NearlyEqual(0.0, 1e-300, 100));
  const double a = 1.0;
  const double b = std::nextafter(1.0, 2.0);
  EXPECT_FALSE(NearlyEqual(a, b, 0));
  EXPECT_TRUE(NearlyEqual(a, b, 1));
  EXPECT_FALSE(NearlyEqual(1e6, 1e6 + 1e-6, 1));
  EXPECT_TRUE(NearlyEqual(1e6, 1e6 + 1e-6, 1e5));
}

TEST(FrequencyHelpersTest, EmpiricalPercentileReportsItsStatus) {
  long status = 99;
  EXPECT_EQ(EmpiricalPercentile(FrequencyTable(), 50, status), kMissing);
  EXPECT_EQ(status, 3);
  const FrequencyTable table = {{1.0, 1.0}, {2.0, 1.0}, {3.0, 2.0}};
  const struct {
    double cut, value;
    long status;
  } rows[] = {{100.5, kMissing, 2},
              {0, 1.0, -1},
              {100, 3.0, -1},
              {50, 2.5, 0},
              {60, 3.0, 0},
              {10, 1.0, 0},
              {std::nan(""), kMissing, 2}};
  for (const auto& row : rows) {
    EXPECT_EQ(EmpiricalPercentile(table, row.cut, status), row.value) << row.cut;
    EXPECT_EQ(status, row.status) << row.cut;
  }
  const FrequencyTable single = {{7.0, 0.25}};
  EXPECT_EQ(EmpiricalPercentile(single, 1, status), 7.0);
  EXPECT_EQ(EmpiricalPercentile(single, 101, status), kMissing);
}

TEST(FrequencyHelpersTest, ModeNeedsAPositiveFrequency) {
  EXPECT_EQ(FrequencyMode(FrequencyTable()), kMissing);
  EXPECT_EQ(FrequencyMode(FrequencyTable{{1.0, 0.0}, {2.0, -1.0}}), kMissing);
  EXPECT_EQ(FrequencyMode(FrequencyTable{{1.0, 2.0}, {2.0, 3.0}, {5.0, 3.0}}), 2.0);
}

}  // namespace

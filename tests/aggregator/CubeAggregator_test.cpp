#include "CubeAggregator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "AggregationStatistic.h"
#include "CellKey.h"
#include "CellStatistics.h"
#include "CubeMetadata.h"
#include "StatValues.h"
#include "TableMetadata.h"
#include "aggregator/AllocationCounter.h"
#include "aggregator/FixedCellDimension.h"
#include "baseutil.h"
#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::ExpectGolden;
using testsupport::Joined;
using testsupport::OutputCapture;

using Codes = TableEncryptionCodes;
using Cells = FixedCellDimension::Cells;

constexpr double kMissing = TableEncryptionCodes::kMissingValue;
constexpr int kX = 0;       // the scale variable
constexpr int kWeight = 1;  // the weight variable
constexpr int kFirstDimVariable = 2;

Cells MakeCells(std::vector<int> codes, bool valid = true) {
  Cells cells;
  cells.codes = std::move(codes);
  cells.valid = valid;
  return cells;
}

AggregationStatistic Stat(Codes::StatisticCodes code, int variable = kX) {
  return AggregationStatistic(variable, code);
}

// One case of the data: x (NaN for system-missing) and its weight.
struct Case {
  double x;
  double weight;
};

// A data source of x, w and one variable per dimension, a weighted iterator,
// a table metadata, and test dimensions that play back their cells per case.
// The metadata owns the dimensions.
class CubeFixture {
 public:
  explicit CubeFixture(const std::vector<Case>& cases, bool listwise = false, int nDimVars = 8) {
    data_.AddVariable("x", 0);
    data_.AddVariable("w", 0);
    for (int i = 0; i < nDimVars; ++i) data_.AddVariable("d" + std::to_string(i), 0);
    for (const Case& c : cases) {
      const int row = data_.AddCase();
      if (!std::isnan(c.x)) data_.SetValue(row, kX, c.x);
      data_.SetValue(row, kWeight, c.weight);
      for (int i = 0; i < nDimVars; ++i) data_.SetValue(row, kFirstDimVariable + i, 1.0);
    }
    iterator_.reset(new ProcDSIterator(data_, kWeight));
    metadata_.reset(new TableMetadata(*iterator_, listwise));
  }

  // A categorical dimension over the next free dimension variable.
  FixedCellDimension* AddDimension(const std::vector<Cells>& script) {
    FixedCellDimension* dim = new FixedCellDimension(kFirstDimVariable + nextDim_++);
    EXPECT_EQ(metadata_->AddDimension(dim), dim);
    dim->SetScript(script);
    return dim;
  }
  FixedCellDimension* AddSetDimension(const AggregationVariable& set,
                                      const std::vector<Cells>& script) {
    FixedCellDimension* dim =
        new FixedCellDimension(set, TableDimension::kMCSet, kFirstDimVariable + nextDim_++);
    EXPECT_EQ(metadata_->AddDimension(dim), dim);
    dim->SetScript(script);
    return dim;
  }

  // Encodes every case once and hands it to each aggregator.
  void Feed(const std::vector<CubeAggregator*>& aggregators) {
    iterator_->Rewind();
    while (iterator_->Next()) {
      if (!metadata_->EncodeCase()) continue;
      for (CubeAggregator* aggregator : aggregators) aggregator->AddNewCase();
    }
  }
  void Feed(CubeAggregator& aggregator) { Feed(std::vector<CubeAggregator*>{&aggregator}); }

  TableMetadata& Metadata() { return *metadata_; }

  // Categories naming a cell by its stored codes, one per dimension.
  std::vector<const AggregationCategory*> Categories(const CubeMetadata& cube,
                                                     const std::vector<int>& codes) {
    std::vector<const AggregationCategory*> result;
    for (size_t i = 0; i < codes.size(); ++i) {
      categories_.emplace_back(new AggregationCategory(AggregationCategory::kValue));
      categories_.back()->SetCatEncoding(codes[i]);
      categories_.back()->SetVarIndex(cube.GetDimension(static_cast<int>(i))->VariableIndex()[0]);
      result.push_back(categories_.back().get());
    }
    return result;
  }

 private:
  QUOR_DataSource data_;
  std::unique_ptr<ProcDSIterator> iterator_;
  std::unique_ptr<TableMetadata> metadata_;
  std::vector<std::unique_ptr<AggregationCategory>> categories_;
  int nextDim_ = 0;
};

CellKey Key(const std::vector<int>& codes) {
  CellKey key(static_cast<int>(codes.size()));
  for (size_t i = 0; i < codes.size(); ++i) key[static_cast<int>(i)] = codes[i];
  return key;
}

// Checks the first values of a cell that must exist; a missing value exactly.
void ExpectValues(StatValues* values, const std::vector<double>& expected) {
  ASSERT_NE(values, nullptr);
  for (size_t i = 0; i < expected.size(); ++i) {
    const double actual = values->GetStatValue(static_cast<int>(i));
    if (expected[i] == kMissing) {
      EXPECT_EQ(actual, kMissing) << i;
    } else {
      EXPECT_DOUBLE_EQ(actual, expected[i]) << i;
    }
  }
}

// ---------------------------------------------------------------------------
// Categorical cubes

// Rows R, and the statistics dimension S as the column.
struct CategoricalCube {
  CategoricalCube(CubeFixture& fixture, const std::vector<Cells>& rows,
                  const std::vector<Cells>& stats) {
    r = fixture.AddDimension(rows);
    s = fixture.AddDimension(stats);
    cube.AddDimension(r, Codes::kRowPosition);
    cube.AddDimension(s, Codes::kColumnPosition);
  }
  FixedCellDimension* r;
  FixedCellDimension* s;
  CubeMetadata cube;
};

TEST(CubeAggregatorCategoricalTest, TotalCellsOfTheStatisticsDimensionTakeTheTotalLayout) {
  CubeFixture fixture({{1.0, 1.0}});
  CategoricalCube c(fixture, {MakeCells({1})}, {MakeCells({4, -100, -101})});
  CubeAggregator aggregator(fixture.Metadata(), c.cube);
  aggregator.SetTotalStatistics({Stat(Codes::kCount)}, c.s,
                                {Stat(Codes::kCount), Stat(Codes::kUCount)});
  EXPECT_EQ(aggregator.GetTotalStatsDimIndex(), 1);
  EXPECT_NE(aggregator.GetTotalStats(), aggregator.GetCellStats());
  fixture.Feed(aggregator);
  for (const int code : {4, -100, -101}) {
    StatValues* values = aggregator.GetStatValues(fixture.Categories(c.cube, {1, code}), -1);
    ASSERT_NE(values, nullptr) << code;
    EXPECT_EQ(values->IsTotalStats(), code < 0) << code;
    EXPECT_EQ(values->NumOfValues(), code < 0 ? 2 : 1) << code;
    EXPECT_DOUBLE_EQ(values->GetStatValue(0), 1.0);
  }
}

TEST(CubeAggregatorCategoricalTest, TotalOnlyCasesCreateCellsOnlyWhenTotalNIsReported) {
  // Case 0 is counted in row 1 and the row total; case 1 (weight 2) is
  // missing in R, which counts it only in the total.
  const std::vector<Cells> rows = {MakeCells({1, -100}), MakeCells({-100}, false)};
  const std::vector<Cells> stats = {MakeCells({4}), MakeCells({5})};
  for (const bool withTotalN : {false, true}) {
    SCOPED_TRACE(withTotalN ? "with total N" : "without total N");
    CubeFixture fixture({{1.0, 1.0}, {1.0, 2.0}});
    CategoricalCube c(fixture, rows, stats);
    CubeAggregator aggregator(fixture.Metadata(), c.cube);
    // Total-N percentages also make the layout report total N.
    std::vector<AggregationStatistic> list = {Stat(Codes::kCount), Stat(Codes::kColPct)};
    if (withTotalN) {
      list.push_back(Stat(Codes::kTotalN));
      list.push_back(Stat(Codes::kColTotalNPct));
    }
    aggregator.SetCellStatistics(list, c.s);
    fixture.Feed(aggregator);

    CellKey total4 = Key({-100, 4}), total5 = Key({-100, 5});
    EXPECT_DOUBLE_EQ(aggregator.GetCount(total4, true), 1.0);
    // The total-only case never counts in a cell.
    EXPECT_EQ(aggregator.GetCount(total5, true), 0.0);
    EXPECT_EQ(aggregator.GetCellStatus(fixture.Categories(c.cube, {-100, 5}), -1),
              withTotalN ? 1 : 0);
    // The column base (S = 5) saw only the total-only case: count 0 of 0,
    // total N 2 of 2.
    if (withTotalN) {
      ExpectValues(aggregator.GetStatValues(fixture.Categories(c.cube, {-100, 5}), -1),
                   {0.0, kMissing, 2.0, 100.0});
    }
    // The column base of S = 4 holds case 0 only.
    ExpectValues(aggregator.GetStatValues(fixture.Categories(c.cube, {1, 4}), -1), {1.0, 100.0});
  }
}

TEST(CubeAggregatorCategoricalTest, ExcludedMissingStillReachesTheBasesThatDropItsDimension) {
  // Case 1 is -99 in R: no cell, but the column base (which drops R) counts
  // it as total-only; the row base (which keeps R) rejects it.
  CubeFixture fixture({{1.0, 1.0}, {1.0, 1.0}, {1.0, 3.0}});
  CategoricalCube c(fixture, {MakeCells({1}), MakeCells({-99}, false), MakeCells({0})},
                    {MakeCells({4}), MakeCells({4}), MakeCells({4})});
  CubeAggregator aggregator(fixture.Metadata(), c.cube);
  aggregator.SetCellStatistics({Stat(Codes::kCount), Stat(Codes::kColTotalNPct),
                                Stat(Codes::kRowTotalNPct), Stat(Codes::kColPct)},
                               c.s);
  fixture.Feed(aggregator);
  // Total N 1 of 2; the row base never saw it, nor did any count.
  ExpectValues(aggregator.GetStatValues(fixture.Categories(c.cube, {1, 4}), -1),
               {1.0, 50.0, 100.0, 100.0});
  // Case 2 (code 0, a value in no category) reached nothing at all.
  EXPECT_EQ(aggregator.GetCellStatus(fixture.Categories(c.cube, {0, 4}), -1), 0);
}

// ---------------------------------------------------------------------------
// Reading

TEST(CubeAggregatorReadTest, AnOmittedExtraDimensionReadsItsTotal) {
  CubeFixture fixture({{3.0, 1.0}, {5.0, 1.0}});
  FixedCellDimension* r = fixture.AddDimension({MakeCells({1}), MakeCells({1})});
  FixedCellDimension* e = fixture.AddDimension({MakeCells({7, -100}), MakeCells({8, -100})});
  CubeMetadata cube;
  cube.AddDimension(r, Codes::kRowPosition);
  cube.AddDimension(e, Codes::kExtraPosition);
  CubeAggregator aggregator(fixture.Metadata(), cube);
  aggregator.SetCellStatistics({Stat(Codes::kSum)}, nullptr);
  fixture.Feed(aggregator);
  ExpectValues(aggregator.GetStatValues(fixture.Categories(cube, {1}), -1), {8.0});
  ExpectValues(aggregator.GetStatValues(fixture.Categories(cube, {1, 7}), -1), {3.0});
  EXPECT_EQ(aggregator.GetStatValues(fixture.Categories(cube, {1, 9}), -1), nullptr);
  EXPECT_EQ(aggregator.GetCellStatus(fixture.Categories(cube, {1, 9}), -1), 0);
  EXPECT_EQ(aggregator.GetCellStatus(fixture.Categories(cube, {1, 8}), -1), 1);
}

TEST(CubeAggregatorReadTest, ACategoryCanBeEncodedFromItsValue) {
  CubeFixture fixture({{3.0, 1.0}});
  FixedCellDimension* r = fixture.AddDimension({MakeCells({1, -100})});
  r->SetEncoding(42.0, 1);    // the value 42 has code 1
  r->SetEncoding(3.0, -100);  // member variable 3 stands for the total here
  CubeMetadata cube;
  cube.AddDimension(r, Codes::kRowPosition);
  CubeAggregator aggregator(fixture.Metadata(), cube);
  aggregator.SetCellStatistics({Stat(Codes::kCount)}, nullptr);
  fixture.Feed(aggregator);

  AggregationCategory value(AggregationCategory::kValue, 0);
  value.SetCatValue(42.0);
  value.SetVarIndex(r->VariableIndex()[0]);
  value.SetCatEncoding(0);  // the stored code is not used for the encoded category
  EXPECT_EQ(aggregator.GetCellStatus({&value}, 0), 1);
  EXPECT_EQ(aggregator.GetCellStatus({&value}, -1), 0);
  value.SetCatValue(43.0);  // a value in no category
  EXPECT_EQ(aggregator.GetCellStatus({&value}, 0), 0);

  AggregationCategory member(AggregationCategory::kVariable);
  member.SetVarIndex(3);
  member.SetCatEncoding(0);
  EXPECT_EQ(aggregator.GetCellStatus({&member}, 0), 1);
  member.SetVarIndex(4);  // no code: not found
  EXPECT_EQ(aggregator.GetCellStatus({&member}, 0), 0);

  AggregationCategory total(AggregationCategory::kTotal);
  total.SetCatEncoding(-100);
  EXPECT_EQ(aggregator.GetCellStatus({&total}, 0), 1);
  AggregationCategory computed(AggregationCategory::kPCompute);
  computed.SetCatEncoding(1);
  EXPECT_EQ(aggregator.GetCellStatus({&computed}, 0), 0);
}

TEST(CubeAggregatorReadTest, PairwiseTestsFindTheFirstUsableMomentStatistic) {
  CubeFixture fixture({{2.0, 1.0}, {4.0, 1.0}, {9.0, 2.0}});
  CubeMetadata cube;
  CubeAggregator weighted(fixture.Metadata(), cube);
  CubeAggregator unweighted(fixture.Metadata(), cube);
  const std::vector<AggregationStatistic> stats = {Stat(Codes::kCount), Stat(Codes::kUStdDev),
                                                   Stat(Codes::kVariance)};
  weighted.SetCellStatistics(stats, nullptr);
  unweighted.SetCellStatistics(stats, nullptr);
  EXPECT_EQ(weighted.GetMeanVarIndex(kX, true), -1);
  weighted.SetPairwiseTest(true);
  unweighted.SetPairwiseTest(false);
  const int varianceIndex = weighted.GetCellStats()->GetValueIndex(2);
  EXPECT_EQ(weighted.GetMeanVarIndex(kX, true), varianceIndex);
  EXPECT_EQ(weighted.GetMeanVarIndex(kX, false), varianceIndex);
  EXPECT_EQ(unweighted.GetMeanVarIndex(kX, true), unweighted.GetCellStats()->GetValueIndex(1));
  EXPECT_EQ(weighted.GetMeanVarIndex(kWeight, true), -1);

  fixture.Feed({&weighted, &unweighted});
  CellKey whole(0);
  const OBS* moments = weighted.GetCountMeanVariance(varianceIndex, whole);
  ASSERT_NE(moments, nullptr);
  // W, the weighted mean and M2 of 2, 4, 9 with weights 1, 1, 2.
  EXPECT_DOUBLE_EQ(moments[0].num, 4.0);
  EXPECT_DOUBLE_EQ(moments[1].num, 6.0);
  EXPECT_NEAR(moments[2].num, 38.0, 1e-12);
  const OBS* counts = weighted.GetCountMeanVariance(0, whole);
  EXPECT_DOUBLE_EQ(counts[0].num, 4.0);
  EXPECT_DOUBLE_EQ(counts[1].num, 3.0);
  // Slots outside the cell, such as the -1 of a variable without a moment
  // statistic, have no address.
  EXPECT_EQ(weighted.GetCountMeanVariance(-1, whole), nullptr);
  EXPECT_EQ(weighted.GetCountMeanVariance(weighted.GetCellStats()->ValueSize(), whole), nullptr);
}

TEST(CubeAggregatorReadTest, AnAggregatorWithoutStatisticsHasNoCells) {
  CubeFixture fixture({{2.0, 1.0}});
  FixedCellDimension* a = fixture.AddDimension({MakeCells({1})});
  CubeMetadata cube;
  cube.AddDimension(a, Codes::kRowPosition);
  CubeAggregator aggregator(fixture.Metadata(), cube);
  CellKey key = Key({1});
  EXPECT_TRUE(aggregator.IsCubeEmpty());
  EXPECT_EQ(aggregator.GetStatValues(fixture.Categories(cube, {1}), -1), nullptr);
  EXPECT_EQ(aggregator.GetCellStatus(fixture.Categories(cube, {1}), -1), 0);
  EXPECT_EQ(aggregator.GetCount(key, true), 0.0);
  EXPECT_EQ(aggregator.GetSortValue(key), kMissing);
  EXPECT_EQ(aggregator.GetCountMeanVariance(0, key), nullptr);
  aggregator.ResetAggregator();
  OutputCapture output;
  aggregator.PrintCubeDataDbg("t");
  ASSERT_EQ(output.lines.size(), 1u);
}

TEST(CubeAggregatorScaleTest, AResponsesPercentageInAScaleCubeBuildsItsBase) {
  // The host never asks for it, but a scale cube must not abort on it: the
  // base statistic (a count) reads no variable.
  CubeFixture fixture({{2.0, 1.0}, {3.0, 1.0}});
  FixedCellDimension* a = fixture.AddDimension({MakeCells({1}), MakeCells({2})});
  CubeMetadata cube;
  cube.AddDimension(a, Codes::kRowPosition);
  CubeAggregator aggregator(fixture.Metadata(), cube);
  aggregator.SetCellStatistics({Stat(Codes::kTableResponsesCountPct), Stat(Codes::kTablePct)},
                               nullptr);
  fixture.Feed(aggregator);
  StatValues* values = aggregator.GetStatValues(fixture.Categories(cube, {1}), -1);
  ASSERT_NE(values, nullptr);
  EXPECT_DOUBLE_EQ(values->GetStatValue(1), 50.0);
}

// ---------------------------------------------------------------------------
// Reset and diagnostics

TEST(CubeAggregatorResetTest, AResultReadBeforeAResetNoLongerReadsTheFreedCell) {
  CubeFixture fixture({{1.0, 1.0}});
  CubeMetadata cube;
  CubeAggregator aggregator(fixture.Metadata(), cube);
  aggregator.SetCellStatistics({Stat(Codes::kCount)}, nullptr);
  fixture.Feed(aggregator);
  StatValues* values = aggregator.GetStatValues({}, -1);
  ExpectValues(values, {1.0});
  aggregator.ResetAggregator();
  EXPECT_DEATH(values->GetStatValue(0), "_cellValues");
}

// The dump of an empty cube (title and empty bases), then of a fed one: two
// cells, one row base cell, two column base cells.
TEST(CubeAggregatorDumpTest, DumpGolden) {
  CubeFixture fixture({{1.0, 1.0}});
  FixedCellDimension* a = fixture.AddDimension({MakeCells({3})});
  FixedCellDimension* b = fixture.AddDimension({MakeCells({1, -100})});
  CubeMetadata cube;
  cube.AddDimension(a, Codes::kRowPosition);
  cube.AddDimension(b, Codes::kColumnPosition);
  CubeAggregator aggregator(fixture.Metadata(), cube);
  aggregator.SetCellStatistics({Stat(Codes::kCount), Stat(Codes::kRowPct), Stat(Codes::kColPct)},
                               nullptr);
  OutputCapture output;
  aggregator.PrintCubeDataDbg(" Aggregated output ");
  fixture.Feed(aggregator);
  aggregator.PrintCubeDataDbg(nullptr);
  ExpectGolden("CubeAggregator", Joined(output.lines));
}

TEST(CubeAggregatorHotPathTest, ACaseAllocatesNothingOnceItsCellsExist) {
  if (!tabcube_test::CountsAllocations()) {
    GTEST_SKIP() << "the sanitizer build keeps its own operator new";
  }
  std::mt19937 rng(8);
  const int nCases = 300;
  std::vector<Case> cases;
  std::vector<Cells> rows, stats, layers, responses;
  for (int c = 0; c < nCases; ++c) {
    cases.push_back({static_cast<double>(rng() % 7), 1.0 + rng() % 3});
    rows.push_back(MakeCells({1 + static_cast<int>(rng() % 3), -100}));
    stats.push_back(rng() % 10 == 0 ? MakeCells({-100}, false)
                                    : MakeCells({1 + static_cast<int>(rng() % 4), -100, -101}));
    layers.push_back(rng() % 20 == 0 ? MakeCells({-99}, false)
                                     : MakeCells({1 + static_cast<int>(rng() % 2)}));
    Cells r;
    r.codes = {1 + static_cast<int>(rng() % 3), 4};
    r.counts = {1, 2};
    r.totalCount = 3;
    responses.push_back(r);
  }
  CubeFixture fixture(cases);
  AggregationMCSet set({kFirstDimVariable + 6, kFirstDimVariable + 7}, "$set");
  FixedCellDimension* row = fixture.AddDimension(rows);
  FixedCellDimension* stat = fixture.AddDimension(stats);
  FixedCellDimension* layer = fixture.AddDimension(layers);
  FixedCellDimension* mr = fixture.AddSetDimension(set, responses);
  CubeMetadata cube;
  cube.AddDimension(row, Codes::kRowPosition);
  cube.AddDimension(stat, Codes::kColumnPosition);
  cube.AddDimension(layer, Codes::kLayerPosition);
  CubeMetadata mrCube;
  mrCube.AddDimension(row, Codes::kRowPosition);
  mrCube.AddDimension(mr, Codes::kColumnPosition);
  std::vector<AggregationStatistic> percentages = {Stat(Codes::kCount), Stat(Codes::kTotalN)};
  for (int t = 0; t < 7; ++t) {
    percentages.push_back(Stat(static_cast<Codes::StatisticCodes>(Codes::kRowPct + 2 * t)));
  }
  CubeAggregator scale(fixture.Metadata(), cube);
  std::vector<AggregationStatistic> scaleStats = percentages;
  for (const Codes::StatisticCodes code :
       {Codes::kMean, Codes::kVariance, Codes::kMedian, Codes::kUMode, Codes::kRowSumPct}) {
    scaleStats.push_back(Stat(code));
  }
  scale.SetCellStatistics(scaleStats, nullptr);
  CubeAggregator categorical(fixture.Metadata(), cube);
  categorical.SetTotalStatistics(percentages, stat, {Stat(Codes::kCount), Stat(Codes::kUTotalN)});
  CubeAggregator multiple(fixture.Metadata(), mrCube);
  multiple.SetCellStatistics(
      {Stat(Codes::kResponses), Stat(Codes::kRowResponsesPct), Stat(Codes::kColCountResponsesPct)},
      mr);
  const std::vector<CubeAggregator*> all = {&scale, &categorical, &multiple};
  const long start = tabcube_test::Allocations();
  fixture.Feed(all);  // creates every cell
  EXPECT_GT(tabcube_test::Allocations(), start);

  // Read between the passes: the leaves are merged and kept for the cases
  // that come after.
  for (const CubeAggregator* aggregator : all) EXPECT_FALSE(aggregator->IsCubeEmpty());
  const long before = tabcube_test::Allocations();
  fixture.Feed(all);
  EXPECT_EQ(tabcube_test::Allocations(), before);
  EXPECT_FALSE(scale.IsCubeEmpty());
  EXPECT_FALSE(categorical.IsCubeEmpty());
  EXPECT_FALSE(multiple.IsCubeEmpty());
}

// ---------------------------------------------------------------------------
// Preconditions

TEST(CubeAggregatorDeathTest, PreconditionsStopTheProcess) {
  CubeFixture fixture({{1.0, 1.0}});
  FixedCellDimension* a = fixture.AddDimension({MakeCells({1})});
  FixedCellDimension* other = fixture.AddDimension({MakeCells({1})});
  CubeMetadata cube;
  cube.AddDimension(a, Codes::kRowPosition);

  CubeAggregator fresh(fixture.Metadata(), cube);
  EXPECT_DEATH(fresh.AddNewCase(), "_cellStats");
  EXPECT_DEATH(fresh.SetCellStatistics({}, nullptr), "!cellStats.empty\\(\\)");
  EXPECT_DEATH(fresh.SetTotalStatistics({Stat(Codes::kCount)}, nullptr, {}), "_statsDimension");
  EXPECT_DEATH(fresh.SetCellStatistics({Stat(Codes::kCount)}, other),
               "iDim < _cubeMetadata.NumberOfDimensions\\(\\)");
  EXPECT_DEATH(fresh.SetPairwiseTest(true), "_cellStats");

  CubeAggregator aggregator(fixture.Metadata(), cube);
  aggregator.SetCellStatistics({Stat(Codes::kCount)}, nullptr);
  EXPECT_DEATH(aggregator.SetCellStatistics({Stat(Codes::kCount)}, nullptr),
               "!_cellStats && !_statsDimension");
  CellKey tooLong = Key({1, 1});
  EXPECT_DEATH(aggregator.GetCount(tooLong, true), "_cellKey.length\\(\\) == cellKey.length\\(\\)");
  EXPECT_DEATH(aggregator.GetSortValue(tooLong), "_cellKey.length\\(\\) == cellKey.length\\(\\)");
  CellKey excluded = Key({-99});
  EXPECT_DEATH(aggregator.GetCount(excluded, true), "cellI >= TableEncryptionCodes::kMinCategory");
  EXPECT_DEATH(aggregator.GetCountMeanVariance(0, excluded),
               "cellKey\\[i\\] >= TableEncryptionCodes::kMinCategory");
  AggregationCategory first(AggregationCategory::kValue);
  first.SetVarIndex(a->VariableIndex()[0]);
  first.SetCatEncoding(1);
  EXPECT_DEATH(aggregator.GetStatValues({&first, &first}, -1),
               "_cellKey.length\\(\\) == categories.size\\(\\) \\|\\| _extraDimension");
  // With an extra dimension only that one may be left out.
  FixedCellDimension* b = fixture.AddDimension({MakeCells({1})});
  FixedCellDimension* extra = fixture.AddDimension({MakeCells({1})});
  CubeMetadata withExtra;
  withExtra.AddDimension(a, Codes::kRowPosition);
  withExtra.AddDimension(b, Codes::kColumnPosition);
  withExtra.AddDimension(extra, Codes::kExtraPosition);
  CubeAggregator extraAggregator(fixture.Metadata(), withExtra);
  extraAggregator.SetCellStatistics({Stat(Codes::kCount)}, nullptr);
  EXPECT_DEATH(extraAggregator.GetStatValues({&first}, -1),
               "categories.size\\(\\) \\+ 1 >= _cellKey.length\\(\\)");
  AggregationCategory wrongVariable(AggregationCategory::kValue);
  wrongVariable.SetVarIndex(kX);
  wrongVariable.SetCatEncoding(1);
  EXPECT_DEATH(
      aggregator.GetStatValues({&wrongVariable}, -1),
      "\\(tableDim->VariableIndex\\(\\)\\)\\[0\\] == categories\\[i\\]->GetVarIndex\\(\\)");
}

}  // namespace

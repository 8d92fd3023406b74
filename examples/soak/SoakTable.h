#ifndef TABCUBE_SOAK_TABLE_H
#define TABCUBE_SOAK_TABLE_H

// The soak workload: a generated stream of weighted cases (no case is kept)
// through one table of three dimensions with totals (rows a, columns b,
// layers c), a categorical cube with counts and percentages of every base,
// and a scale cube with the mean, median, standard deviation and sum of x.
// The generator tallies every cell's counts and sums itself, so a run ends
// by checking the engine's numbers, not only its memory.
//
// Used by the soak program (examples/soak) at full size and by the soak
// test at a reduced size under the sanitizers.

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationResult.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "baseutil.h"
#include "casesource.h"

namespace soak {

constexpr int kA = 0, kB = 1, kC = 2, kX = 3, kW = 4;
constexpr int kLevels[3] = {5, 4, 3};  // values 1..levels; 0 is system-missing

// Generates cases into one row: a, b, c (sometimes missing), x (0 to 19.5 in
// steps of 0.5, so that the medians' frequency tables stop growing), and a
// weight of 0.5, 1, 1.5 or 2.
class SoakIterator : public ProcDSIterator {
 public:
  SoakIterator(const QUOR_DataSource& data, long cases)
      : ProcDSIterator(data, kW), _cases(cases), _row(static_cast<size_t>(data.RowWidth())) {}

  bool Next() override {
    if (_produced == _cases) return false;
    ++_produced;
    for (int d = 0; d < 3; ++d) {
      const uint64_t r = Random() % 64;
      _row[static_cast<size_t>(d)].num =
          r == 0 ? QUOR_SYSMIS : static_cast<double>(1 + r % static_cast<uint64_t>(kLevels[d]));
    }
    _row[kX].num = static_cast<double>(Random() % 40) * 0.5;
    _row[kW].num = 0.5 * static_cast<double>(1 + Random() % 4);
    SetCurrentRow(_row.data());
    return true;
  }

  void Rewind() override {
    _produced = 0;
    _state = kSeed;
  }

  long Produced() const { return _produced; }
  const OBS* Row() const { return _row.data(); }

 private:
  static constexpr uint64_t kSeed = 0x9E3779B97F4A7C15u;

  // splitmix64
  uint64_t Random() {
    uint64_t z = (_state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

  long _cases;
  long _produced = 0;
  uint64_t _state = kSeed;
  std::vector<OBS> _row;
};

// The generator's own tally of one cell (index 0 of a dimension is its total).
struct Tally {
  double weight = 0.0, cases = 0.0, sum = 0.0;
};

class SoakTable {
 public:
  // leaves: the table's leaf aggregation (the default); off, every case
  // walks its cells at once.
  explicit SoakTable(long cases, bool leaves = true) {
    for (const char* name : {"a", "b", "c", "x", "w"}) _data.AddVariable(name, 0);
    _iterator = std::make_unique<SoakIterator>(_data, cases);
    _table = std::make_unique<AggregationTable>(*_iterator, true, false);
    _table->SetLeafAggregation(leaves);
    for (int d = 0; d < 3; ++d) {
      _variables[static_cast<size_t>(d)] =
          std::make_unique<AggregationVariable>(d, std::string(1, static_cast<char>('a' + d)));
      _variables[static_cast<size_t>(d)]->SetIsTotalNo(false);
    }
    using Codes = TableEncryptionCodes;
    std::vector<AggregationStatistic> counts = {AggregationStatistic(Codes::kCount),
                                                AggregationStatistic(Codes::kUCount)};
    for (int t = 0; t < 7; ++t)
      counts.emplace_back(static_cast<Codes::StatisticCodes>(Codes::kRowPct + 2 * t));
    AggregationCube* categorical = _table->CreateCube();
    AddDimensions(*categorical);
    categorical->AddCategoryStatistics(counts, _variables[1].get());
    AggregationCube* scale = _table->CreateCube();
    AddDimensions(*scale);
    scale->AddScaleStatistics(
        {AggregationStatistic(kX, Codes::kMean), AggregationStatistic(kX, Codes::kMedian),
         AggregationStatistic(kX, Codes::kStdDev), AggregationStatistic(kX, Codes::kSum),
         AggregationStatistic(kX, Codes::kColSumPct)});
  }

  // Feeds up to `cases` more cases; returns false once the stream has ended.
  bool Feed(long cases) {
    for (long i = 0; i < cases; ++i) {
      if (!_iterator->Next()) return false;
      _table->AddNewCase();
      Count(_iterator->Row());
    }
    return true;
  }

  long Produced() const { return _iterator->Produced(); }

  // Checks every cell of both cubes against the tallies; returns the number
  // of differences (their descriptions go to `report`).
  int Check(std::string& report) {
    int differences = 0;
    const std::vector<CubeAggregator*> cubes = _table->GetCubeAggregators();
    std::array<std::vector<const AggregationCategory*>, 3> lists;
    for (int d = 0; d < 3; ++d) {
      // Index 0: the total; then the categories of values 1, 2, ...
      std::vector<const AggregationCategory*>& list = lists[static_cast<size_t>(d)];
      list.assign(static_cast<size_t>(kLevels[d] + 1), nullptr);
      for (const AggregationCategory* category :
           _variables[static_cast<size_t>(d)]->GetTableDimension()->GetCategoryPointers()) {
        if (category->GetCatType() == AggregationCategory::kTotal)
          list[0] = category;
        else if (category->GetCatType() == AggregationCategory::kValue)
          list[static_cast<size_t>(category->GetCatValue().num)] = category;
      }
      for (const AggregationCategory* category : list)
        if (!category) {
          report += "a category is missing\n";
          return 1;
        }
    }
    auto differ = [&](const std::string& what, double engine, double expected) {
      if (std::fabs(engine - expected) <= 1e-9 * std::max(1.0, std::fabs(expected))) return;
      if (++differences <= 10)
        report += what + ": engine " + std::to_string(engine) + ", expected " +
                  std::to_string(expected) + "\n";
    };
    for (int a = 0; a <= kLevels[0]; ++a)
      for (int b = 0; b <= kLevels[1]; ++b)
        for (int c = 0; c <= kLevels[2]; ++c) {
          const Tally& t = _tally[Index(a, b, c)];
          const std::vector<const AggregationCategory*> key = {lists[0][static_cast<size_t>(a)],
                                                               lists[1][static_cast<size_t>(b)],
                                                               lists[2][static_cast<size_t>(c)]};
          const std::string cell =
              "(" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + ")";
          StatValues* counts = cubes[0]->GetStatValues(key, -1);
          StatValues* scale = cubes[1]->GetStatValues(key, -1);
          if (!counts || !scale) {
            if (t.cases > 0) differ("cell " + cell + " exists", 0.0, 1.0);
            continue;
          }
          differ("count " + cell, counts->GetStatValue(0), t.weight);
          differ("unweighted count " + cell, counts->GetStatValue(1), t.cases);
          // Column percentage: the cell's share of its column (all rows).
          const Tally& column = _tally[Index(0, b, c)];
          differ("column percentage " + cell, counts->GetStatValue(3),
                 t.weight / column.weight * 100.0);
          differ("table percentage " + cell, counts->GetStatValue(4),
                 t.weight / _tally[Index(0, 0, 0)].weight * 100.0);
          differ("mean " + cell, scale->GetStatValue(0), t.sum / t.weight);
          differ("sum " + cell, scale->GetStatValue(3), t.sum);
        }
    return differences;
  }

 private:
  void AddDimensions(AggregationCube& cube) {
    cube.AddCategoricalVariable(_variables[0].get(), TableEncryptionCodes::kRowPosition);
    cube.AddCategoricalVariable(_variables[1].get(), TableEncryptionCodes::kColumnPosition);
    cube.AddCategoricalVariable(_variables[2].get(), TableEncryptionCodes::kLayerPosition);
    cube.CreateCubeAggregator();
  }

  static size_t Index(int a, int b, int c) {
    return static_cast<size_t>((a * (kLevels[1] + 1) + b) * (kLevels[2] + 1) + c);
  }

  // Every case with all three values goes to the 8 cells of its values and
  // totals; a case missing one of them is not counted (no missing values are
  // included, and a missing value reaches only the total).
  void Count(const OBS* row) {
    int value[3];
    for (int d = 0; d < 3; ++d) {
      if (row[d].num == QUOR_SYSMIS) return;
      value[d] = static_cast<int>(row[d].num);
    }
    for (int mask = 0; mask < 8; ++mask) {
      Tally& t =
          _tally[Index(mask & 1 ? 0 : value[0], mask & 2 ? 0 : value[1], mask & 4 ? 0 : value[2])];
      t.weight += row[kW].num;
      t.cases += 1.0;
      t.sum += row[kW].num * row[kX].num;
    }
  }

  QUOR_DataSource _data;
  std::unique_ptr<SoakIterator> _iterator;
  std::array<std::unique_ptr<AggregationVariable>, 3> _variables;
  std::unique_ptr<AggregationTable> _table;  // destroyed before the variables it points at
  std::vector<Tally> _tally = std::vector<Tally>(
      static_cast<size_t>((kLevels[0] + 1) * (kLevels[1] + 1) * (kLevels[2] + 1)));
};

}  // namespace soak

#endif

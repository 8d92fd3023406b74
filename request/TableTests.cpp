#include "TableTests.h"

#include <cassert>
#include <cmath>
#include <string>

#include "AggregationCategory.h"
#include "AggregationResult.h"
#include "CellKey.h"
#include "ColumnTests.h"
#include "CubeAggregator.h"
#include "InputError.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "TableEncryptionCodes.h"

namespace {

using significance::ColumnSample;

bool IsCompared(const AggregationCategory& category) {
  return category.GetCatType() == AggregationCategory::kValue ||
         category.GetCatType() == AggregationCategory::kVariable;
}

const char* BaseName(significance::Base base) {
  switch (base) {
    case significance::Base::kWeighted:
      return "weighted";
    case significance::Base::kEffective:
      return "effective";
    default:
      return "unweighted";
  }
}

// Reads the hidden cubes at one cell: the categories of every dimension in
// the result's order, kept in a key that each read re-points.
class CellReader {
 public:
  explicit CellReader(const std::vector<const std::vector<AggregationCategory*>*>& categories)
      : _categories(categories),
        _key(categories.size()),
        _codes(static_cast<int>(categories.size())) {}

  void Point(const std::vector<size_t>& position) {
    for (size_t d = 0; d < _categories.size(); ++d) {
      _key[d] = (*_categories[d])[position[d]];
      _codes[static_cast<int>(d)] = _key[d]->GetCatEncoding();
    }
  }
  // Statistic i of the cell; 0 when the cell does not exist, NaN when missing.
  double Statistic(CubeAggregator* cube, int i) {
    StatValues* values = cube ? cube->GetStatValues(_key, -1) : nullptr;
    if (!values || i >= values->NumOfValues()) return 0.0;
    const double value = values->GetStatValue(i).GetValue1();
    return value == TableEncryptionCodes::kMissingValue ? std::nan("") : value;
  }
  // The moment block (sum of weights, mean, M2) of the cube's variable.
  bool Moments(CubeAggregator* cube, int variable, double block[3]) {
    const OBS* slots = cube->GetCountMeanVariance(cube->GetMeanVarIndex(variable, true), _codes);
    if (!slots) return false;
    for (int i = 0; i < 3; ++i) block[i] = slots[i].num;
    return true;
  }

 private:
  const std::vector<const std::vector<AggregationCategory*>*>& _categories;
  std::vector<const AggregationCategory*> _key;
  CellKey _codes;
};

// Statistic positions in the counts and weight-sum cubes.
enum { kCount = 0, kUCount = 1, kColPct = 2, kUColPct = 3 };
enum { kSum = 0, kColSumPct = 1 };
enum { kMoments = 0, kUValidN = 1, kMeanWeightSquares = 2 };

// Walks one subtable: the crossing's dimensions split into rows, the
// innermost column and the others (outer columns and layers).
class SubtableWalker {
 public:
  SubtableWalker(const TestsSpec& tests, bool weighted, const TestCubes& cubes,
                 const std::vector<const std::vector<AggregationCategory*>*>& categories,
                 CubeResult& result)
      : _tests(tests),
        _weighted(weighted),
        _cubes(cubes),
        _categories(categories),
        _result(result),
        _reader(categories) {
    const size_t dimensions = categories.size();
    for (size_t d = 0; d < dimensions; ++d) {
      const Axis axis = result.dimensions[d].axis;
      if (axis == Axis::kRow) _rowDims.push_back(d);
      if (axis == Axis::kColumn) _column = d;
    }
    for (size_t d = 0; d < dimensions; ++d)
      if (result.dimensions[d].axis != Axis::kRow && d != _column) _outerDims.push_back(d);
    for (size_t c = 0; c < categories[_column]->size(); ++c)
      if (IsCompared(*(*categories[_column])[c])) _compared.push_back(c);
    _stride.assign(dimensions, 1);
    for (size_t d = dimensions; d-- > 1;) _stride[d - 1] = _stride[d] * categories[d]->size();
  }

  const std::vector<size_t>& Compared() const { return _compared; }
  size_t Column() const { return _column; }

  // Every combination of the given dimensions' categories (all of them, or
  // value categories only), visited with the position set.
  template <typename Visit>
  void Combinations(const std::vector<size_t>& dims, bool valuesOnly, std::vector<size_t>& position,
                    size_t from, const Visit& visit) const {
    if (from == dims.size()) return visit();
    const size_t d = dims[from];
    for (size_t c = 0; c < _categories[d]->size(); ++c) {
      if (valuesOnly && !IsCompared(*(*_categories[d])[c])) continue;
      position[d] = c;
      Combinations(dims, valuesOnly, position, from + 1, visit);
    }
  }

  void Run() {
    std::vector<size_t> position(_categories.size(), 0);
    Combinations(_outerDims, false, position, 0, [&] {
      ColumnBases(position);
      Combinations(_rowDims, false, position, 0, [&] { TestRow(position); });
      if (_tests.chiSquare) ChiSquare(position);
    });
  }

 private:
  // Per compared column of the subtable: the bases of column proportions,
  // from any cell of the column with cases (count / column percentage).
  void ColumnBases(std::vector<size_t>& position) {
    _weightedBase.assign(_compared.size(), 0.0);
    _unweightedBase.assign(_compared.size(), 0.0);
    _squaredWeights.assign(_compared.size(), 0.0);
    Combinations(_rowDims, false, position, 0, [&] {
      for (size_t i = 0; i < _compared.size(); ++i) {
        position[_column] = _compared[i];
        _reader.Point(position);
        Derive(_cubes.counts, kCount, kColPct, _weightedBase[i]);
        Derive(_cubes.counts, kUCount, kUColPct, _unweightedBase[i]);
        if (_cubes.weightSums) Derive(_cubes.weightSums, kSum, kColSumPct, _squaredWeights[i]);
      }
    });
  }
  void Derive(CubeAggregator* cube, int value, int percent, double& base) {
    if (base > 0.0) return;
    const double part = _reader.Statistic(cube, value), pct = _reader.Statistic(cube, percent);
    if (part > 0.0 && pct > 0.0) base = part * 100.0 / pct;
  }

  double Base(significance::Base kind, double unweighted, double weighted,
              double squaredWeights) const {
    if (!_weighted || kind == significance::Base::kUnweighted) return unweighted;
    if (kind == significance::Base::kWeighted) return weighted;
    return significance::EffectiveBase(weighted, squaredWeights);
  }

  size_t CellIndex(const std::vector<size_t>& position) const {
    size_t index = 0;
    for (size_t d = 0; d < position.size(); ++d) index += position[d] * _stride[d];
    return index;
  }

  void TestRow(std::vector<size_t>& position) {
    _samples.resize(_compared.size());
    size_t test = 0;
    if (_tests.proportions.requested) {
      for (size_t i = 0; i < _compared.size(); ++i) {
        position[_column] = _compared[i];
        _reader.Point(position);
        ColumnSample& sample = _samples[i];
        sample.estimate = _reader.Statistic(_cubes.counts, kColPct) / 100.0;
        if (std::isnan(sample.estimate)) sample.estimate = 0.0;
        sample.base =
            Base(_tests.proportions.base, _unweightedBase[i], _weightedBase[i], _squaredWeights[i]);
      }
      Record(test++, _tests.proportions.settings, position);
    }
    for (size_t v = 0; v < _cubes.means.size(); ++v) {
      for (size_t i = 0; i < _compared.size(); ++i) {
        position[_column] = _compared[i];
        _reader.Point(position);
        MeanSample(_cubes.means[v], _cubes.meanVariables[v], _samples[i]);
      }
      Record(test++, _tests.means.settings, position);
    }
  }

  void MeanSample(CubeAggregator* cube, int variable, ColumnSample& sample) {
    double block[3] = {0.0, 0.0, 0.0};
    sample = ColumnSample();
    if (!_reader.Moments(cube, variable, block) || !(block[0] > 0.0)) return;
    sample.estimate = block[1];
    sample.base = Base(_tests.means.base, _reader.Statistic(cube, kUValidN), block[0],
                       _reader.Statistic(cube, kMeanWeightSquares));
    sample.variance = significance::VarianceForBase(block[0], block[2], sample.base);
  }

  void Record(size_t test, const significance::PairwiseSettings& settings,
              std::vector<size_t>& position) {
    significance::CompareColumns(_samples, settings, _comparison);
    const size_t m = _compared.size();
    for (size_t i = 0; i < m; ++i) {
      position[_column] = _compared[i];
      CellTestResult& cell = _result.cells[CellIndex(position)].tests[test];
      cell.tested = true;
      cell.smallBase = !_comparison.takesPart[i];
      cell.pValues.clear();
      cell.higherThan.clear();
      for (size_t j = 0; j < m; ++j) {
        const double p = _comparison.p[i * m + j];
        const std::string& letter = _result.dimensions[_column].categories[_compared[j]].letter;
        if (!std::isnan(p)) cell.pValues.emplace_back(letter, p);
        if (_comparison.higher[i * m + j]) cell.higherThan.push_back(letter);
      }
    }
  }

  void ChiSquare(std::vector<size_t>& position) {
    std::vector<double> counts;
    int rows = 0;
    Combinations(_rowDims, true, position, 0, [&] {
      ++rows;
      for (size_t c : _compared) {
        position[_column] = c;
        _reader.Point(position);
        counts.push_back(_reader.Statistic(_cubes.counts, kCount));
      }
    });
    const significance::ChiSquareTest test =
        significance::PearsonChiSquare(counts, rows, static_cast<int>(_compared.size()));
    ChiSquareResult chi;
    for (size_t d : _outerDims) {
      auto& named = _result.dimensions[d].axis == Axis::kLayer ? chi.layers : chi.columns;
      named.emplace_back(_result.dimensions[d].name,
                         _result.dimensions[d].categories[position[d]].label);
      chi.outer.push_back(static_cast<int>(position[d]));
    }
    chi.tested = test.tested;
    chi.statistic = test.statistic;
    chi.df = test.df;
    chi.p = test.p;
    chi.minExpected = test.minExpected;
    _result.chiSquare.push_back(std::move(chi));
  }

  const TestsSpec& _tests;
  const bool _weighted;
  const TestCubes& _cubes;
  const std::vector<const std::vector<AggregationCategory*>*>& _categories;
  CubeResult& _result;
  CellReader _reader;
  std::vector<size_t> _rowDims, _outerDims, _compared, _stride;
  size_t _column = 0;
  std::vector<double> _weightedBase, _unweightedBase, _squaredWeights;
  std::vector<ColumnSample> _samples;
  significance::RowComparison _comparison;
};

}  // namespace

void AddTableTests(const TestsSpec& tests, bool weighted, const TestCubes& cubes,
                   const std::vector<const std::vector<AggregationCategory*>*>& categories,
                   const std::vector<bool>& isSet, CubeResult& result) {
  assert(categories.size() == result.dimensions.size() &&
         "categories.size() == result.dimensions.size()");
  // The tests' table takes the same cases as the table; only merged partial
  // states that do not belong together can give it other categories.
  for (size_t d = 0; d < categories.size(); ++d) {
    if (categories[d]->size() != result.dimensions[d].categories.size()) {
      throw InputError("partial state: the significance tests of table \"" + result.title +
                       "\" met other categories than the table");
    }
  }
  SubtableWalker walker(tests, weighted, cubes, categories, result);
  const size_t column = walker.Column();
  const bool columnIsSet = isSet[column];
  bool anySet = false;
  for (bool set : isSet) anySet = anySet || set;
  for (size_t i = 0; i < walker.Compared().size(); ++i)
    result.dimensions[column].categories[walker.Compared()[i]].letter =
        significance::ColumnLetter(static_cast<int>(i));
  if (tests.proportions.requested)
    result.tests.push_back({TestKind::kProportions, "", BaseName(tests.proportions.base),
                            tests.proportions.settings.alpha, columnIsSet});
  for (const std::string& variable : tests.means.variables)
    result.tests.push_back({TestKind::kMeans, variable, BaseName(tests.means.base),
                            tests.means.settings.alpha, columnIsSet});
  for (CellResult& cell : result.cells) cell.tests.assign(result.tests.size(), CellTestResult());
  result.chiSquareRequested = tests.chiSquare;
  if (result.cells.empty()) return;  // a dimension without categories
  walker.Run();
  for (ChiSquareResult& chi : result.chiSquare) chi.approximate = anySet;
}

void AddTableTests(const TableRun& tests, size_t crossing, CubeResult& result) {
  const std::vector<CubeAggregator*> aggregators = tests.table->GetCubeAggregators();
  const CubeRun& cube = tests.cubes[crossing];
  TestCubes inputs;
  auto at = [&](int index) { return aggregators[static_cast<size_t>(index)]; };
  inputs.counts = at(cube.categoricalIndex);
  if (cube.weightSumsIndex >= 0) inputs.weightSums = at(cube.weightSumsIndex);
  for (int index : cube.meanIndices) inputs.means.push_back(at(index));
  inputs.meanVariables = cube.meanVariables;
  std::vector<const std::vector<AggregationCategory*>*> categories;
  std::vector<bool> isSet;
  for (const ElementRun* element : cube.elements) {
    categories.push_back(&element->variable->GetTableDimension()->GetCategoryPointers());
    isSet.push_back(element->isSet);
  }
  AddTableTests(tests.spec->tests, tests.weighted, inputs, categories, isSet, result);
}

#ifndef TESTS_CELL_TEST_SUPPORT_H
#define TESTS_CELL_TEST_SUPPORT_H

// Helpers for the accumulator tests: a small in-memory data set of numeric
// (and optionally string) variables whose cases are visited one at a time,
// with one case reader per variable marked valid the way the table marks its
// statistic readers, and scale or categorical layouts built from statistics.

#include <memory>
#include <string>
#include <vector>

#include "AggregationStatistic.h"
#include "CellStatistics.h"
#include "TableEncryptionCodes.h"
#include "ZarnCaseValueReader.h"
#include "casesource.h"

namespace celltest {

using Codes = TableEncryptionCodes;
constexpr double kMissing = Codes::kMissingValue;
constexpr double kSysmis = QUOR_SYSMIS;

// A data set whose variable i is read by readers()[i].
class Cases {
 public:
  // types: 0 numeric, else the string width of each variable.
  explicit Cases(const std::vector<int>& types) {
    for (size_t i = 0; i < types.size(); ++i) {
      _source.AddVariable("v" + std::to_string(i), types[i]);
    }
  }
  explicit Cases(int numericVariables) : Cases(std::vector<int>(numericVariables, 0)) {}
  ~Cases() {
    for (ZarnCaseValueReader* reader : _readers) delete reader;
  }
  Cases(const Cases&) = delete;
  Cases& operator=(const Cases&) = delete;

  QUOR_DataSource& Source() { return _source; }

  // Appends a case of numeric values (kSysmis for system-missing).
  void Add(const std::vector<double>& values) {
    const int c = _source.AddCase();
    for (size_t i = 0; i < values.size(); ++i) _source.SetValue(c, static_cast<int>(i), values[i]);
  }

  // Starts the walk; the data set must not change afterwards.
  void Start() {
    _iterator.reset(new QUOR_InputCaseIterator(_source));
    for (ZarnCaseValueReader* reader : _readers) delete reader;
    _readers.clear();
    for (int i = 0; i < _source.NumberOfVariables(); ++i) {
      _readers.push_back(new ZarnCaseValueReader(*_iterator, static_cast<unsigned>(i)));
    }
  }
  // Moves to the next case and marks each reader valid unless the value is
  // missing; false after the last case.
  bool Next() {
    if (!_iterator->Next()) return false;
    for (ZarnCaseValueReader* reader : _readers) reader->SetValid(!reader->IsMissing());
    return true;
  }
  const std::vector<ZarnCaseValueReader*>& Readers() const { return _readers; }
  const ZarnCaseValueReader* Reader(int i) const { return _readers[static_cast<size_t>(i)]; }

 private:
  QUOR_DataSource _source;
  std::unique_ptr<QUOR_InputCaseIterator> _iterator;
  std::vector<ZarnCaseValueReader*> _readers;
};

inline AggregationStatistic Stat(int var, Codes::StatisticCodes code) {
  return AggregationStatistic(var, code);
}

// A scale layout whose statistics read reader = variable index (0 for none).
inline std::unique_ptr<CellStatistics> ScaleLayout(const std::vector<AggregationStatistic>& stats) {
  std::unique_ptr<CellStatistics> layout(new CellStatistics(stats));
  std::vector<int> caseIndices;
  for (const AggregationStatistic& stat : stats) {
    caseIndices.push_back(stat.GetVarIndex() < 0 ? 0 : stat.GetVarIndex());
  }
  layout->SetScaleStatistics(caseIndices);
  return layout;
}

inline std::unique_ptr<CellStatistics> CategoricalLayout(
    const std::vector<AggregationStatistic>& stats) {
  std::unique_ptr<CellStatistics> layout(new CellStatistics(stats));
  layout->SetCategoricalStatistics();
  return layout;
}

}  // namespace celltest

#endif

#include "StatValues.h"

#include <cassert>
#include <cstddef>

#include "CellStatistics.h"
#include "CellValues.h"
#include "TableEncryptionCodes.h"

StatValues::StatValues(CellStatistics* totalStats)
    : _cellStats(nullptr), _totalStats(totalStats), _cellValues(nullptr) {}

StatValues::StatValues(const StatValues& other) = default;

StatValues& StatValues::operator=(const StatValues& other) = default;

StatValues::~StatValues() = default;

void StatValues::SetStatValues(CellValues* cellValues) {
  assert(cellValues && "cellValues");
  _cellValues = cellValues;
  _cellStats = cellValues->GetCellStatistics();
}

void StatValues::ClearBases() {
  _baseValues.clear();
}

void StatValues::AddPercentBase(CellValues* baseValues) {
  _baseValues.push_back(baseValues);
}

int StatValues::NumOfValues() const {
  assert(_cellStats && "_cellStats");
  return _cellStats->NumberOfValues();
}

const CellStatistics& StatValues::GetCellStatistic() const {
  assert(_cellStats && "_cellStats");
  return *_cellStats;
}

bool StatValues::IsTotalStats() const {
  return _cellStats == _totalStats;
}

// A percentage is numerator / denominator * 100, divided first. A zero or
// missing denominator, or a missing numerator, gives the missing value; the
// numerator is not computed when the denominator already decides.
AggregationResult StatValues::GetStatValue(int i) {
  assert(_cellValues && "_cellValues");
  static const double missing = TableEncryptionCodes::kMissingValue;
  assert(i >= 0 && i < _cellStats->NumberOfValues() && "0 <= i && i < NumOfValues()");
  const int baseType = _cellStats->GetBaseTypeIndex(i);
  if (baseType < 0) return _cellValues->ComputeValue(i);

  assert(baseType < static_cast<int>(_baseValues.size()) && _baseValues[baseType] &&
         "_baseValues[baseType]");
  const double denominator =
      _baseValues[static_cast<size_t>(baseType)]->ComputeValue(_cellStats->GetBaseIndex(i));
  if (denominator == 0.0 || denominator == missing) return AggregationResult(missing);
  const double numerator = _cellValues->ComputeValue(i);
  if (numerator == missing) return AggregationResult(missing);
  return AggregationResult(numerator / denominator * 100.0);
}

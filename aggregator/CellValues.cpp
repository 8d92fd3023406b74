#include "CellValues.h"

#include "CellStatistics.h"

// PLACEHOLDER: see the header. Applies the first case to the two count slots
// only; responses, valid and totalOnly are not used yet.
CellValues::CellValues(const CellStatistics* layout, double /*responses*/, bool /*valid*/,
                       bool /*totalOnly*/, double weight)
    : _layout(layout), _values(new double[layout->ValueSize()]()) {
  _values[0] += weight;
  _values[1] += 1.0;
}

CellValues::~CellValues() {
  delete[] _values;
}

int CellValues::NumberOfValues() const {
  return _layout->NumberOfValues();
}

AggregationResult CellValues::ComputeValue(int statIndex) const {
  switch (_layout->GetUpdateStat(statIndex)) {
    case TableEncryptionCodes::kCount:
      return AggregationResult(_values[0]);
    case TableEncryptionCodes::kUCount:
      return AggregationResult(_values[1]);
    default:
      return AggregationResult();
  }
}

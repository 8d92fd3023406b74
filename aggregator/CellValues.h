#ifndef CELL_VALUES_H
#define CELL_VALUES_H

#include "AggregationResult.h"

class CellStatistics;

// PLACEHOLDER until the cell accumulators land: only what the cell hash table
// and its tests need (the multiple-response constructor, NumberOfValues,
// ComputeValue, destruction). It keeps the two count slots of a cell and
// reports the statistics that read them (update codes 1 and 2); every other
// statistic reads as the missing value. Points to its layout (not owned) and
// owns its value array.
class CellValues {
 public:
  CellValues(const CellStatistics* layout, double responses, bool valid, bool totalOnly,
             double weight);
  ~CellValues();
  CellValues(const CellValues&) = delete;
  CellValues& operator=(const CellValues&) = delete;

  int NumberOfValues() const;
  AggregationResult ComputeValue(int statIndex) const;

 private:
  const CellStatistics* _layout;
  double* _values;
};

#endif

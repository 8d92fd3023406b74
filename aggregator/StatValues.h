#ifndef STAT_VALUES_H
#define STAT_VALUES_H

#include <vector>

#include "AggregationResult.h"
#include "TabcubeExport.h"

class CellStatistics;
class CellValues;

// StatValues: the statistic values of one cell as the host reads them. The
// cube aggregator owns one per cube and points it, for every cell asked for,
// at the cell's accumulator and at the accumulators of the cell's percentage
// base cells (one per base in use, in the cube's base order). A percentage is
// the cell's numerator over the base cell's value, times 100. Owns nothing but
// the storage of the base list; every pointer is the aggregator's and becomes
// invalid when the aggregator is reset or destroyed.
class TABCUBE_EXPORT StatValues {
 public:
  // totalStats: the cube's layout of total cells, null when it has none.
  explicit StatValues(CellStatistics* totalStats = nullptr);
  StatValues(const StatValues& other);
  StatValues& operator=(const StatValues& other);
  ~StatValues();

  // REQUIRES: cellValues is not null.
  void SetStatValues(CellValues* cellValues);
  void ClearBases();
  void AddPercentBase(CellValues* baseValues);

  // Number of statistics of the current cell.
  int NumOfValues() const;
  const CellStatistics& GetCellStatistic() const;
  // True when the current cell was aggregated with the cube's total layout.
  bool IsTotalStats() const;
  // Value i of the current cell; a percentage is formed from the base cell of
  // its base type. REQUIRES: a cell has been set; for a percentage, its base.
  AggregationResult GetStatValue(int i);

 private:
  const CellStatistics* _cellStats;
  CellStatistics* _totalStats;
  CellValues* _cellValues;
  std::vector<CellValues*> _baseValues;
};

#endif

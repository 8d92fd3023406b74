#ifndef AGGREGATION_STATISTIC_H
#define AGGREGATION_STATISTIC_H

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

// AggregationStatistic: one statistic the host asks for in a cube: which
// statistic, of which variable, with which parameters (percentile cut point,
// limits, median confidence level). Owns its private record; copying copies it.
class TABCUBE_EXPORT AggregationStatistic {
 public:
  explicit AggregationStatistic(TableEncryptionCodes::StatisticCodes statistic);
  AggregationStatistic(int varIndex, TableEncryptionCodes::StatisticCodes statistic);
  AggregationStatistic(const AggregationStatistic& other);
  AggregationStatistic& operator=(const AggregationStatistic& other);
  ~AggregationStatistic();

  void SetVarIndex(int varIndex);
  int GetVarIndex() const;
  TableEncryptionCodes::StatisticCodes GetSummaryStatistic() const;

  double GetPTileCutPoint() const;
  void SetPTileCutPoint(double cutPoint);
  double GetLowerLimit() const;
  void SetLowerLimit(double limit);
  double GetUpperLimit() const;
  void SetUpperLimit(double limit);
  double GetCIMedian() const;
  void SetCIMedian(double level);

  // True when both describe the same accumulated quantity: same code, same
  // variable unless ignoreVariable, same cut point for percentiles and same
  // level for median intervals. Limits take no part.
  bool IsSame(const AggregationStatistic& other, bool ignoreVariable) const;

 private:
  struct Record;
  Record* _record;
};

#endif

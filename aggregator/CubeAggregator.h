#ifndef CUBE_AGGREGATOR_H
#define CUBE_AGGREGATOR_H

#include <vector>

#include "AggregationStatistic.h"
#include "CubeMetadata.h"
#include "TabcubeExport.h"

class TableDimension;
class TableMetadata;

// PLACEHOLDER until the cube-aggregation classes land: only what the front end
// and the table metadata call, with the real signatures. It aggregates
// nothing; the real class replaces this file.
// CubeAggregator: the per-cube engine over the table metadata and a copy of
// the cube's metadata.
class TABCUBE_EXPORT CubeAggregator {
 public:
  CubeAggregator(TableMetadata& tableMetadata, CubeMetadata& cubeMetadata);
  ~CubeAggregator();
  CubeAggregator(const CubeAggregator&) = delete;
  CubeAggregator& operator=(const CubeAggregator&) = delete;

  void SetCellStatistics(const std::vector<AggregationStatistic>& cellStats,
                         TableDimension* statsDim);
  void SetTotalStatistics(const std::vector<AggregationStatistic>& cellStats,
                          TableDimension* statsDim,
                          const std::vector<AggregationStatistic>& totalStats);
  void SetPairwiseTest(bool weighted);
  void AddNewCase();
  void ResetAggregator();
  bool IsCubeEmpty() const;
  void PrintCubeDataDbg(const char* title);
  const CubeMetadata& GetMetadata() const { return _cubeMetadata; }

 private:
  TableMetadata& _tableMetadata;
  CubeMetadata _cubeMetadata;
};

#endif

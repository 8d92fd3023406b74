#ifndef AGGREGATION_CUBE_H
#define AGGREGATION_CUBE_H

#include <vector>

#include "AggregationStatistic.h"
#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

class AggregationCubeImpl;
class AggregationTable;
class AggregationVariable;
class CubeAggregator;

// AggregationCube: one crossing of categorical dimensions (rows, then
// columns, then layers) with the statistics wanted in its cells. Only the
// table creates cubes, and the table destroys them.
// Owns its CubeMetadata and its CubeAggregator; points to (does not own) the
// table that created it and the table's shared dimensions.
class TABCUBE_EXPORT AggregationCube {
 public:
  virtual ~AggregationCube();
  AggregationCube(const AggregationCube&) = delete;
  AggregationCube& operator=(const AggregationCube&) = delete;

  // Adds the table's dimension for the variable (creating it on first use),
  // stores it in the variable, and appends it at the position.
  // REQUIRES: catVar non-null; positions added in non-decreasing order.
  void AddCategoricalVariable(AggregationVariable* catVar,
                              TableEncryptionCodes::DimensionPosition position);
  // Creates the aggregator over the dimensions added so far; a second call
  // does nothing.
  void CreateCubeAggregator();
  // REQUIRES (all three): CreateCubeAggregator was called.
  void AddScaleStatistics(const std::vector<AggregationStatistic>& stats);
  // REQUIRES: statVar non-null and already added to this table as a
  // categorical variable.
  void AddCategoryStatistics(const std::vector<AggregationStatistic>& stats,
                             AggregationVariable* statVar);
  void AddCategoryAndTotalStatistics(const std::vector<AggregationStatistic>& stats,
                                     AggregationVariable* statVar,
                                     const std::vector<AggregationStatistic>& totalStats);

 private:
  friend class AggregationTable;

  explicit AggregationCube(AggregationTable* table);

  void AddNewCase();
  CubeAggregator* GetCubeAggregator();
  // A cube without an aggregator holds no cell, so it is empty.
  bool IsCubeEmpty() const;
  void ResetAggregator();
  void PrintDataDbg();

  AggregationCubeImpl* _impl;
};

#endif

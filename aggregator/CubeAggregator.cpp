#include "CubeAggregator.h"

#include "TableMetadata.h"

// PLACEHOLDER until the cube-aggregation classes land (see the header).

CubeAggregator::CubeAggregator(TableMetadata& tableMetadata, CubeMetadata& cubeMetadata)
    : _tableMetadata(tableMetadata), _cubeMetadata(cubeMetadata) {}

CubeAggregator::~CubeAggregator() = default;

// Scale statistics read the table's statistic readers, as the real class does.
void CubeAggregator::SetCellStatistics(const std::vector<AggregationStatistic>& cellStats,
                                       TableDimension* statsDim) {
  if (!statsDim) _tableMetadata.GetCaseIndex(cellStats);
}

void CubeAggregator::SetTotalStatistics(const std::vector<AggregationStatistic>& /*cellStats*/,
                                        TableDimension* /*statsDim*/,
                                        const std::vector<AggregationStatistic>& /*totalStats*/) {}

void CubeAggregator::SetPairwiseTest(bool /*weighted*/) {}

void CubeAggregator::AddNewCase() {}

void CubeAggregator::ResetAggregator() {}

bool CubeAggregator::IsCubeEmpty() const {
  return true;
}

void CubeAggregator::PrintCubeDataDbg(const char* /*title*/) {}

#include "AggregationCube.h"

#include <cassert>

#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "CubeMetadata.h"
#include "TableMetadata.h"

// The cube's private record. Owns the metadata and the aggregator.
class AggregationCubeImpl {
 public:
  AggregationTable* _table;
  CubeAggregator* _cubeAggregator;
  CubeMetadata* _cubeMetadata;
};

AggregationCube::AggregationCube(AggregationTable* table)
    : _impl(new AggregationCubeImpl{table, nullptr, new CubeMetadata}) {}

AggregationCube::~AggregationCube() {
  delete _impl->_cubeMetadata;
  delete _impl->_cubeAggregator;
  delete _impl;
}

void AggregationCube::AddCategoricalVariable(AggregationVariable* catVar,
                                             TableEncryptionCodes::DimensionPosition position) {
  assert(catVar);
  TableDimension* catVarDim = _impl->_table->AddCategoricalVariable(catVar);
  assert(catVarDim);
  catVar->SetTableDimension(catVarDim);
  _impl->_cubeMetadata->AddDimension(catVarDim, position);
}

void AggregationCube::CreateCubeAggregator() {
  AggregationCubeImpl* impl = _impl;
  if (impl->_cubeAggregator) return;
  TableMetadata* parentMetaData = impl->_table->GetTableMetaData();
  assert(parentMetaData);
  impl->_cubeAggregator = new CubeAggregator(*parentMetaData, *impl->_cubeMetadata);
}

void AggregationCube::AddScaleStatistics(const std::vector<AggregationStatistic>& stats) {
  AggregationCubeImpl* impl = _impl;
  assert(impl->_cubeAggregator && "_cubeAggregator");
  impl->_cubeAggregator->SetCellStatistics(stats, nullptr);
  if (impl->_table->GetPairWiseTest()) {
    impl->_cubeAggregator->SetPairwiseTest(impl->_table->GetDataWeighted());
  }
}

void AggregationCube::AddCategoryStatistics(const std::vector<AggregationStatistic>& stats,
                                            AggregationVariable* statVar) {
  assert(statVar);
  TableDimension* statVarDim = statVar->GetTableDimension();
  assert(statVarDim);
  assert(_impl->_cubeAggregator && "_cubeAggregator");
  _impl->_cubeAggregator->SetCellStatistics(stats, statVarDim);
}

void AggregationCube::AddCategoryAndTotalStatistics(
    const std::vector<AggregationStatistic>& stats, AggregationVariable* statVar,
    const std::vector<AggregationStatistic>& totalStats) {
  assert(statVar);
  TableDimension* statVarDim = statVar->GetTableDimension();
  assert(statVarDim);
  assert(_impl->_cubeAggregator && "_cubeAggregator");
  _impl->_cubeAggregator->SetTotalStatistics(stats, statVarDim, totalStats);
}

// A cube without an aggregator has nothing to feed, reset or print.

void AggregationCube::AddNewCase() {
  if (_impl->_cubeAggregator) _impl->_cubeAggregator->AddNewCase();
}

CubeAggregator* AggregationCube::GetCubeAggregator() {
  return _impl->_cubeAggregator;
}

bool AggregationCube::IsCubeEmpty() const {
  return !_impl->_cubeAggregator || _impl->_cubeAggregator->IsCubeEmpty();
}

void AggregationCube::ResetAggregator() {
  if (_impl->_cubeAggregator) _impl->_cubeAggregator->ResetAggregator();
}

void AggregationCube::PrintDataDbg() {
  if (_impl->_cubeAggregator) _impl->_cubeAggregator->PrintCubeDataDbg(" Aggregated output ");
}

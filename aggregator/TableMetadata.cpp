#include "TableMetadata.h"

#include "AggregationStatistic.h"
#include "CubeAggregator.h"
#include "TableCVariable.h"
#include "TableDimension.h"
#include "baseutil.h"

TableMetadata::TableMetadata(QUOR_InputCaseIterator& iterator, bool listwise)
    : _iterator(iterator),
      _weightedIterator(dynamic_cast<ProcDSIterator*>(&iterator)),
      _listwise(listwise),
      _sharing(std::make_shared<const int>(0)) {}

TableMetadata::TableMetadata(std::vector<int>& variables, QUOR_InputCaseIterator& iterator,
                             bool listwise)
    : TableMetadata(iterator, listwise) {
  for (int index : variables) {
    TableDimension* candidate = new TableCVariable(index);
    if (AddDimension(candidate) != candidate) delete candidate;
  }
}

TableMetadata::TableMetadata(const TableMetadata& other) = default;

TableMetadata::~TableMetadata() {
  if (!SharesObjects()) {
    for (TableDimension* dimension : _dimensions) delete dimension;
  }
  ReleaseReaders();
}

TableDimension* TableMetadata::AddDimension(TableDimension* dimension) {
  for (TableDimension* existing : _dimensions) {
    if (*existing == *dimension) return existing;
  }
  dimension->SetIterator(_iterator);
  _dimensions.push_back(dimension);
  return dimension;
}

std::vector<int> TableMetadata::GetCaseIndex(const std::vector<AggregationStatistic>& stats) {
  std::vector<int> positions;
  positions.reserve(stats.size());
  for (const AggregationStatistic& stat : stats) {
    const int varIndex = stat.GetVarIndex();
    auto found = _readerIndex.find(varIndex);
    if (found == _readerIndex.end()) {
      const int position = static_cast<int>(_caseValues.size());
      _caseValues.push_back(
          new ZarnCaseValueReader(_iterator, static_cast<unsigned int>(varIndex)));
      found = _readerIndex.emplace(varIndex, position).first;
      _validCount.push_back(0.0);
    }
    positions.push_back(found->second);
  }
  return positions;
}

void TableMetadata::AddSortAggregator(CubeAggregator* aggregator) {
  if (aggregator) _sortAggregators.push_back(aggregator);
}

bool TableMetadata::EncodeCase() {
  // Every dimension encodes the case, whatever the others decide: each one's
  // cells must describe the current case before any cube reads them.
  bool anyEncoded = false;
  for (TableDimension* dimension : _dimensions) {
    if (dimension->EncodeValue()) anyEncoded = true;
  }
  if (!_dimensions.empty() && !anyEncoded) return false;

  const size_t nReaders = _caseValues.size();
  for (size_t i = 0; i < nReaders; ++i) {
    ZarnCaseValueReader* reader = _caseValues[i];
    const bool valid = !reader->IsMissing();
    reader->SetValid(valid);
    if (valid) _validCount[i] += 1.0;
  }

  // Written before any aggregator is fed: they read it through a reference.
  _caseWeight = _weightedIterator ? _weightedIterator->Weight() : 1.0;

  for (CubeAggregator* aggregator : _sortAggregators) aggregator->AddNewCase();
  return true;
}

void TableMetadata::ResetMetadata() {
  for (TableDimension* dimension : _dimensions) dimension->ResetDimension();
  for (double& count : _validCount) count = 0.0;
}

void TableMetadata::Clear() {
  _dimensions.clear();
  ReleaseReaders();
  _sharing = std::make_shared<const int>(0);
}

void TableMetadata::ClearDeep() {
  if (!SharesObjects()) {
    for (TableDimension* dimension : _dimensions) delete dimension;
  }
  _dimensions.clear();
  _sortAggregators.clear();
  ReleaseReaders();
  _sharing = std::make_shared<const int>(0);
}

void TableMetadata::ReleaseReaders() {
  if (!SharesObjects()) {
    for (ZarnCaseValueReader* reader : _caseValues) delete reader;
  }
  _caseValues.clear();
  _validCount.clear();
  _readerIndex.clear();
}

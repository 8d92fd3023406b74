#include "TableMCSet.h"

#include "AggregationMCSet.h"
#include "ZarnCaseValueReader.h"

// PLACEHOLDER until the dimension classes land (see the header).

TableMCSet::TableMCSet(const AggregationMCSet& set)
    : TableDimension(2 * set.GetIndexListCount() + 1, kMCSet, set), _members(set.GetIndexList()) {}

TableMCSet::TableMCSet(const TableMCSet& other) : TableDimension(other), _members(other._members) {}

TableMCSet::~TableMCSet() {
  for (ZarnCaseValueReader* reader : _readers) delete reader;
}

void TableMCSet::SetIterator(QUOR_InputCaseIterator& iterator) {
  _iterator = &iterator;
  if (_readers.empty()) {
    for (int member : _members) {
      _readers.push_back(new ZarnCaseValueReader(iterator, static_cast<unsigned int>(member)));
    }
  }
}

bool TableMCSet::EncodeValue() {
  _valueValid = false;
  SetCategoryCell(TableEncryptionCodes::kNoCategory);
  return false;
}

const std::vector<AggregationCategory*>& TableMCSet::GetCategoryPointers() {
  _categoriesReady = true;
  _numberOfCategories = static_cast<int>(_categories.size());
  _numberOfEmptyCategories = 0;
  return _categories;
}

std::vector<int> TableMCSet::VariableIndex() {
  return _members;
}

std::vector<ZarnCaseValueReader*> TableMCSet::GetCaseValues() {
  return _readers;
}

int TableMCSet::GetCategoryEncoding(const OBS* /*value*/) const {
  return 0;
}

int TableMCSet::GetNumberOfValues() const {
  return 0;
}

void TableMCSet::ResetDimension() {
  ResetDimensionBase();
}

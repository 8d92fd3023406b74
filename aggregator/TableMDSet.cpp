#include "TableMDSet.h"

#include "AggregationMDSet.h"
#include "ZarnCaseValueReader.h"

// PLACEHOLDER until the dimension classes land (see the header).

TableMDSet::TableMDSet(const AggregationMDSet& set)
    : TableDimension(2 * set.GetIndexListCount() + 1, kMDSet, set), _members(set.GetIndexList()) {}

TableMDSet::TableMDSet(const TableMDSet& other) : TableDimension(other), _members(other._members) {}

TableMDSet::~TableMDSet() {
  for (ZarnCaseValueReader* reader : _readers) delete reader;
}

void TableMDSet::SetIterator(QUOR_InputCaseIterator& iterator) {
  _iterator = &iterator;
  if (_readers.empty()) {
    for (int member : _members) {
      _readers.push_back(new ZarnCaseValueReader(iterator, static_cast<unsigned int>(member)));
    }
  }
}

bool TableMDSet::EncodeValue() {
  _valueValid = false;
  SetCategoryCell(TableEncryptionCodes::kNoCategory);
  return false;
}

const std::vector<AggregationCategory*>& TableMDSet::GetCategoryPointers() {
  _categoriesReady = true;
  _numberOfCategories = static_cast<int>(_categories.size());
  _numberOfEmptyCategories = 0;
  return _categories;
}

std::vector<int> TableMDSet::VariableIndex() {
  return _members;
}

std::vector<ZarnCaseValueReader*> TableMDSet::GetCaseValues() {
  return _readers;
}

int TableMDSet::GetCategoryEncoding(const OBS* /*value*/) const {
  return 0;
}

int TableMDSet::GetNumberOfValues() const {
  return 0;
}

void TableMDSet::ResetDimension() {
  ResetDimensionBase();
}

#include "TableCVariable.h"

#include "AggregationVariable.h"
#include "ZarnCaseValueReader.h"

// PLACEHOLDER until the dimension classes land (see the header).

TableCVariable::TableCVariable(int variableIndex)
    : TableDimension(MAX_CATCELLS_SIZE, kCategoricalVariable), _variableIndex(variableIndex) {}

TableCVariable::TableCVariable(const AggregationVariable& variable)
    : TableDimension(MAX_CATCELLS_SIZE, kCategoricalVariable, variable),
      _variableIndex(variable.GetIndex()) {}

TableCVariable::TableCVariable(const TableCVariable& other)
    : TableDimension(other), _variableIndex(other._variableIndex) {}

TableCVariable::~TableCVariable() {
  delete _reader;
}

void TableCVariable::SetIterator(QUOR_InputCaseIterator& iterator) {
  _iterator = &iterator;
  if (!_reader) {
    _reader = new ZarnCaseValueReader(iterator, static_cast<unsigned int>(_variableIndex));
    _valueType = _reader->GetType();
  }
}

bool TableCVariable::EncodeValue() {
  _valueValid = !_reader->IsMissing();
  _reader->SetValid(_valueValid);
  SetCategoryCell(TableEncryptionCodes::kNoCategory);
  return false;
}

const std::vector<AggregationCategory*>& TableCVariable::GetCategoryPointers() {
  _categoriesReady = true;
  _numberOfCategories = static_cast<int>(_categories.size());
  _numberOfEmptyCategories = 0;
  return _categories;
}

std::vector<int> TableCVariable::VariableIndex() {
  return {_variableIndex};
}

std::vector<ZarnCaseValueReader*> TableCVariable::GetCaseValues() {
  return {_reader};
}

int TableCVariable::GetCategoryEncoding(const OBS* /*value*/) const {
  return 0;
}

int TableCVariable::GetNumberOfValues() const {
  return 0;
}

void TableCVariable::ResetDimension() {
  ResetDimensionBase();
}

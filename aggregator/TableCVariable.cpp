#include "TableCVariable.h"

#include <cassert>
#include <cmath>

#include "AggregationCategory.h"
#include "AggregationVariable.h"
#include "CategoryManager.h"
#include "DimensionCells.h"
#include "ParsedCategory.h"
#include "ZarnCaseValueReader.h"
#include "keyindex.h"

using DimensionCells::kCodeSlot;
using DimensionCells::kEntrySlots;
using DimensionCells::kSubtotalSlot;

TableCVariable::TableCVariable(int variableIndex)
    : TableDimension(MAX_CATCELLS_SIZE, kCategoricalVariable), _variableIndex(variableIndex) {}

TableCVariable::TableCVariable(const AggregationVariable& variable)
    : TableDimension(MAX_CATCELLS_SIZE, kCategoricalVariable, variable),
      _variableIndex(variable.GetIndex()) {}

// Sharing the source's reader and value index would destroy them twice, so a
// copy gets its own: the same binding and the same values under the same codes
// (new values then continue the numbering from the index size).
TableCVariable::TableCVariable(const TableCVariable& other)
    : TableDimension(other), _variableIndex(other._variableIndex) {
  if (!other._iterator) return;
  _iterator = nullptr;
  SetIterator(*other._iterator);
  if (!other._valueIndex) return;
  for (OBS* element : other._valueIndex->Sort()) {
    const OBS* key = other._valueIndex->Key(element);
    const OBS* slots = other._valueIndex->Value(element);
    OBS* copy = _valueIndex->Insert(key);
    copy[kCodeSlot] = slots[kCodeSlot];
    copy[kSubtotalSlot] = slots[kSubtotalSlot];
  }
}

TableCVariable::~TableCVariable() {
  delete _reader;
  delete _valueIndex;
}

void TableCVariable::SetIterator(QUOR_InputCaseIterator& iterator) {
  _iterator = &iterator;
  if (!_reader) {
    _reader = new ZarnCaseValueReader(iterator, static_cast<unsigned int>(_variableIndex));
  }
  if (!_valueIndex) {
    const std::vector<short> keySpec =
        ObsVecMap::MakeKeySpec(iterator.GetDataSource(), std::vector<int>{_variableIndex});
    _valueIndex = new ObsVecMap(keySpec, kEntrySlots);
    _valueType = _reader->GetType();
  }
}

void TableCVariable::CacheCode(double number, int code, int subtotal) {
  if (!(number >= 0.0 && number < kSmallCodeLimit)) return;
  const size_t at = static_cast<size_t>(number);
  if (static_cast<double>(at) != number) return;
  if (at >= _smallCodes.size()) _smallCodes.resize(at + 1, SmallCode{0, 0});
  _smallCodes[at] = SmallCode{code, subtotal};
}

int TableCVariable::FindOrInsertCode(const OBS* value, bool isMissing, int& subtotal) {
  subtotal = 0;
  int code = 0;
  if (_valueType == 0 && CachedCode(value->num, code, subtotal)) return code;
  OBS* entry = _valueIndex->Contains(value);
  if (!entry) {
    int admittedSubtotal = 0;
    if (_usingExplicitList) {
      const ParsedCategory* admitting = ExplicitListContains(*value, isMissing, -1);
      if (!admitting) return TableEncryptionCodes::kNoCategory;
      admittedSubtotal = admitting->GetSubtotalEncoding();
    }
    entry = _valueIndex->Insert(value);
    entry[kCodeSlot].num = static_cast<double>(_valueIndex->Size());
    entry[kSubtotalSlot].num = static_cast<double>(admittedSubtotal);
  }
  if (_usingExplicitList) subtotal = static_cast<int>(entry[kSubtotalSlot].num);
  code = static_cast<int>(entry[kCodeSlot].num);
  if (_valueType == 0) CacheCode(value->num, code, subtotal);
  return code;
}

bool TableCVariable::EncodeValue() {
  assert(_reader && "the dimension is bound to the case iterator");
  const bool valid = !_reader->IsMissing();
  _reader->SetValid(valid);
  _valueValid = valid;

  const OBS* value = _reader->GetValue();
  // A numeric system-missing value (or a NaN that a host iterator delivers in
  // its place) never forms a category, even when missing values are included.
  const bool systemMissing =
      _valueType == 0 && (value->num == QUOR_SYSMIS || std::isnan(value->num));
  if (valid || (_includeMissing && !systemMissing)) {
    int subtotal = 0;
    const int code = FindOrInsertCode(value, !valid, subtotal);
    if (code != TableEncryptionCodes::kNoCategory) {
      SetCategoryCell(code);
      if (_computingTotal) AddCategoryCell(TableEncryptionCodes::kTotalCategory);
      if (subtotal <= TableEncryptionCodes::kMaxSubtotal) AddCategoryCell(subtotal);
      return true;
    }
  }

  if (valid) {
    // A valid value that the explicit list refuses counts nowhere in this
    // dimension, not even in its total.
    SetCategoryCell(TableEncryptionCodes::kNoCategory);
    return false;
  }
  // A missing value outside the categories still counts in the total; without
  // a total no cube crossing this dimension counts it.
  SetCategoryCell(_computingTotal ? TableEncryptionCodes::kTotalCategory
                                  : DimensionCells::kExcludedMissing);
  return true;
}

const std::vector<AggregationCategory*>& TableCVariable::GetCategoryPointers() {
  if (_categoriesReady) return _categories;
  ListIndexedCategories(_valueIndex, _valueType < 0 ? 0 : _valueType, _variableIndex);
  // A dimension over a bare variable index has no syntax settings: no explicit
  // list, labels or statistic order to apply.
  if (_syntaxVariable && _iterator && (!_categories.empty() || _includeEmpty)) {
    CategoryManager manager(_categories, *_syntaxVariable, _iterator->GetDataSource(), this);
    manager.OrderCategories();
    TakeManagedCategories(manager);
  }
  return FinishCategoryList();
}

int TableCVariable::GetCategoryEncoding(const OBS* value) const {
  if (!_valueIndex) return TableEncryptionCodes::kNoCategory;
  const OBS* entry = _valueIndex->Contains(value);
  return entry ? static_cast<int>(entry[kCodeSlot].num) : TableEncryptionCodes::kNoCategory;
}

void TableCVariable::GetMetValues(std::vector<MetValue>& values) const {
  IndexedMetValues(_valueIndex, MetValueUnits(), values);
}

int TableCVariable::AdoptMetValue(const MetValue& value) {
  return AdoptIndexedValue(_valueIndex, MetValueUnits(), value);
}

bool TableCVariable::AcceptsMetValue(const MetValue& value) const {
  return IsIndexedValue(_valueIndex, MetValueUnits(), value);
}

int TableCVariable::MetValueUnits() const {
  return QUOR_CellCount(_valueType);
}

int TableCVariable::GetNumberOfValues() const {
  return _valueIndex ? static_cast<int>(_valueIndex->Size()) : 0;
}

void TableCVariable::ResetDimension() {
  _smallCodes.clear();
  if (_valueIndex) _valueIndex->Clear();
  ResetDimensionBase();
}

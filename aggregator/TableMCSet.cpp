#include "TableMCSet.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "CategoryManager.h"
#include "DimensionCells.h"
#include "ParsedCategory.h"
#include "ZarnCaseValueReader.h"
#include "keyindex.h"

using DimensionCells::kCodeSlot;
using DimensionCells::kEntrySlots;
using DimensionCells::kExcludedMissing;
using DimensionCells::kSubtotalSlot;

namespace {

bool IsSystemMissing(const OBS* value) {
  return value->num == QUOR_SYSMIS || std::isnan(value->num);
}

}  // namespace

const unsigned int TableMCSet::OBSSize;

const OBS& TableMCSet::Blanks() {
  static const OBS blanks = [] {
    OBS unit;
    std::fill(unit.str, unit.str + OBSSize, ' ');
    return unit;
  }();
  return blanks;
}

TableMCSet::TableMCSet(const AggregationMCSet& set)
    : TableDimension(2 * set.GetIndexListCount() + 1, kMCSet, set),
      _members(set.GetIndexList()),
      _userMissingVariable(set.GetUserMissingVariable()) {
  _catCount.reserve(static_cast<size_t>(_numCatCells));
}

// Sharing the source's readers and value index would destroy them twice, so a
// copy gets its own: the same binding and the same values under the same codes.
TableMCSet::TableMCSet(const TableMCSet& other)
    : TableDimension(other),
      _members(other._members),
      _userMissingVariable(other._userMissingVariable) {
  _catCount.reserve(static_cast<size_t>(_numCatCells));
  _catCount = other._catCount;
  if (!other._iterator) return;
  _iterator = nullptr;
  SetIterator(*other._iterator);
  for (OBS* element : other._valueIndex->Sort()) {
    const OBS* key = other._valueIndex->Key(element);
    const OBS* slots = other._valueIndex->Value(element);
    OBS* copy = _valueIndex->Insert(key);
    copy[kCodeSlot] = slots[kCodeSlot];
    copy[kSubtotalSlot] = slots[kSubtotalSlot];
  }
}

TableMCSet::~TableMCSet() {
  for (ZarnCaseValueReader* reader : _readers) delete reader;
  delete _valueIndex;
}

void TableMCSet::SetIterator(QUOR_InputCaseIterator& iterator) {
  _iterator = &iterator;
  const QUOR_DataSource& dataSource = iterator.GetDataSource();
  // An empty set has no user-missing variable (-1): there is no variable to
  // look up, and its values are judged without one.
  _missingValueVariable =
      _userMissingVariable >= 0 ? &dataSource.GetVariable(_userMissingVariable) : nullptr;

  if (_readers.empty()) {
    _widestMember = 0;
    _widestWidth = 0;
    _memberTypes.clear();
    for (size_t i = 0; i < _members.size(); ++i) {
      ZarnCaseValueReader* reader =
          new ZarnCaseValueReader(iterator, static_cast<unsigned int>(_members[i]));
      _readers.push_back(reader);
      _memberTypes.push_back(reader->GetType());
      if (reader->GetType() > _widestWidth) {
        _widestWidth = reader->GetType();
        _widestMember = static_cast<int>(i);
      }
    }
  }

  if (!_valueIndex) {
    std::vector<int> widest;
    if (!_members.empty()) widest.push_back(_members[static_cast<size_t>(_widestMember)]);
    _valueIndex = new ObsVecMap(ObsVecMap::MakeKeySpec(dataSource, widest), kEntrySlots);
    _valueType = _widestWidth;
  }

  _valueSize = QUOR_CellCount(_widestWidth);
  _memberSizes.clear();
  _allSameSize = true;
  for (int type : _memberTypes) {
    _memberSizes.push_back(QUOR_CellCount(type));
    if (_memberSizes.back() < _valueSize) _allSameSize = false;
  }

  // The explicit entries read a value at their own width and the missing-value
  // variable at its width; a narrower value is widened before either reads it.
  int bufferUnits = _allSameSize ? 0 : _valueSize;
  for (const ParsedCategory* entry : _explicitList) {
    if (entry->GetValueType() > 0)
      bufferUnits = std::max(bufferUnits, QUOR_CellCount(entry->GetValueType()));
  }
  if (_missingValueVariable && _missingValueVariable->GetType() > 0) {
    const int missingUnits = QUOR_CellCount(_missingValueVariable->GetType());
    if (missingUnits > _valueSize) bufferUnits = std::max(bufferUnits, missingUnits);
  }
  if (bufferUnits > 0) bufferUnits = std::max(bufferUnits, _valueSize);
  _padBuffer.assign(static_cast<size_t>(bufferUnits), Blanks());
}

const OBS* TableMCSet::Widen(const OBS* value, int units) {
  if (value == _padBuffer.data()) return value;
  OBS* buffer = _padBuffer.data();
  const int bufferUnits = static_cast<int>(_padBuffer.size());
  std::copy(value, value + units, buffer);
  std::fill(buffer + units, buffer + bufferUnits, Blanks());
  return buffer;
}

bool TableMCSet::IsValidValue(int memberType, const OBS* value, int valueUnits) {
  const QUOR_Variable* judge = _missingValueVariable;
  const int judgeType = judge ? judge->GetType() : -1;
  if (!judge || (judgeType == 0) != (memberType == 0)) {
    // Without a missing-value variable of the member's kind only the numeric
    // system-missing value is missing.
    return memberType != 0 || !IsSystemMissing(value);
  }
  if (judgeType > 0) {
    // A string the variable cannot hold (characters beyond its width) is none
    // of its missing values; a narrower one is read blank-filled.
    const char* bytes = value->str;
    for (int i = judgeType; i < memberType; ++i) {
      if (bytes[i] != ' ') return true;
    }
    if (QUOR_CellCount(judgeType) > valueUnits) value = Widen(value, valueUnits);
  }
  return judge->IsMissing(value) == 0;
}

int TableMCSet::FindOrInsertCode(const OBS* value, int valueUnits, bool isMissing, int& subtotal) {
  OBS* entry = _valueIndex->Contains(value);
  if (!entry) {
    int admittedSubtotal = 0;
    if (_usingExplicitList) {
      // Explicit entries read the value at their own width.
      const OBS* lookup =
          valueUnits < static_cast<int>(_padBuffer.size()) ? Widen(value, valueUnits) : value;
      const ParsedCategory* admitting = ExplicitListContains(*lookup, isMissing, -1);
      if (!admitting) return TableEncryptionCodes::kNoCategory;
      admittedSubtotal = admitting->GetSubtotalEncoding();
    }
    entry = _valueIndex->Insert(value);
    entry[kCodeSlot].num = static_cast<double>(_valueIndex->Size());
    entry[kSubtotalSlot].num = static_cast<double>(admittedSubtotal);
  }
  subtotal = _usingExplicitList ? static_cast<int>(entry[kSubtotalSlot].num - 0.5) : 0;
  return static_cast<int>(entry[kCodeSlot].num + 0.5);
}

size_t TableMCSet::FindCount(int code) const {
  const size_t n = _catCount.size();
  for (size_t i = 0; i < n; ++i) {
    if (_catCount[i].code == code) return i;
  }
  return n;
}

void TableMCSet::InsertCount(int code) {
  assert(_catCount.size() < _catCount.capacity() && "one code and one subtotal per member");
  size_t at = 0;
  while (at < _catCount.size() && _catCount[at].code > code) ++at;
  _catCount.insert(_catCount.begin() + static_cast<std::ptrdiff_t>(at), CategoryCount{code, 1});
}

bool TableMCSet::EncodeValue() {
  assert(_readers.size() == _members.size() && "the dimension is bound to the case iterator");
  _catCount.clear();
  _valueValid = false;
  bool allValid = true;
  int responses = 0;

  const size_t nMembers = _members.size();
  for (size_t i = 0; i < nMembers; ++i) {
    ZarnCaseValueReader* reader = _readers[i];
    const int memberType = _memberTypes[i];
    const OBS* value = reader->GetValue();
    int valueUnits = _memberSizes[i];
    if (!_allSameSize && valueUnits < _valueSize) {
      value = Widen(value, valueUnits);
      valueUnits = static_cast<int>(_padBuffer.size());
    }

    const bool valid = IsValidValue(memberType, value, valueUnits);
    reader->SetValid(valid);
    allValid = allValid && valid;
    // A missing value takes part only when missing values are included, and
    // the numeric system-missing value never does.
    if (!valid && (!_includeMissing || (memberType == 0 && IsSystemMissing(value)))) continue;

    int subtotal = 0;
    const int code = FindOrInsertCode(value, valueUnits, !valid, subtotal);
    if (code == TableEncryptionCodes::kNoCategory) continue;
    const bool hasSubtotal = _usingExplicitList && subtotal <= TableEncryptionCodes::kMaxSubtotal;

    const size_t at = FindCount(code);
    if (at == _catCount.size()) {
      if (valid) _valueValid = true;
      InsertCount(code);
      if (hasSubtotal) {
        const size_t sub = FindCount(subtotal);
        if (sub == _catCount.size()) {
          InsertCount(subtotal);
        } else {
          ++_catCount[sub].count;
        }
      }
    } else {
      // The same category from another member of the case.
      if (!_countDuplicates) continue;
      ++_catCount[at].count;
      if (hasSubtotal) {
        const size_t sub = FindCount(subtotal);
        assert(sub != _catCount.size() && "iter != _catCount.end()");
        ++_catCount[sub].count;
      }
    }
    ++responses;
  }

  SetTotalCount(responses);
  if (_catCount.empty()) {
    bool result = true;
    if (!allValid) {
      SetCategoryCell(_computingTotal ? TableEncryptionCodes::kTotalCategory : kExcludedMissing);
    } else {
      // Every value was valid and refused by the explicit list: the case
      // counts nowhere in this dimension, not even in its total.
      SetCategoryCell(TableEncryptionCodes::kNoCategory);
      result = false;
    }
    SetCellCount(0);
    return result;
  }

  bool first = true;
  for (const CategoryCount& category : _catCount) {
    if (first) {
      SetCategoryCell(category.code);
      first = false;
    } else {
      AddCategoryCell(category.code);
    }
    SetCellCount(category.count);
  }
  if (_computingTotal) {
    AddCategoryCell(TableEncryptionCodes::kTotalCategory);
    SetCellCount(responses);
  }
  return true;
}

const std::vector<AggregationCategory*>& TableMCSet::GetCategoryPointers() {
  if (_categoriesReady) return _categories;
  const int widestIndex = _members.empty() ? -1 : _members[static_cast<size_t>(_widestMember)];
  ListIndexedCategories(_valueIndex, _widestWidth, widestIndex);
  if (_iterator && (!_categories.empty() || _includeEmpty)) {
    CategoryManager manager(_categories, GetSyntaxVariable(), _iterator->GetDataSource(), this);
    manager.OrderMCCategories(_widestWidth);
    TakeManagedCategories(manager);
  }
  return FinishCategoryList();
}

int TableMCSet::GetCategoryEncoding(const OBS* value) const {
  if (!_valueIndex) return TableEncryptionCodes::kNoCategory;
  const OBS* entry = _valueIndex->Contains(value);
  return entry ? static_cast<int>(entry[kCodeSlot].num + 0.5) : TableEncryptionCodes::kNoCategory;
}

void TableMCSet::GetMetValues(std::vector<MetValue>& values) const {
  IndexedMetValues(_valueIndex, MetValueUnits(), values);
}

int TableMCSet::AdoptMetValue(const MetValue& value) {
  return AdoptIndexedValue(_valueIndex, MetValueUnits(), value);
}

bool TableMCSet::AcceptsMetValue(const MetValue& value) const {
  return IsIndexedValue(_valueIndex, MetValueUnits(), value);
}

int TableMCSet::MetValueUnits() const {
  return _valueSize;
}

int TableMCSet::GetNumberOfValues() const {
  return _valueIndex ? static_cast<int>(_valueIndex->Size()) : 0;
}

void TableMCSet::ResetDimension() {
  if (_valueIndex) _valueIndex->Clear();
  ResetDimensionBase();
}

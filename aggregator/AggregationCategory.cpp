#include "AggregationCategory.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstring>

#include "keyindex.h"
#include "textplat.h"

namespace {

char* Bytes(OBS* value) {
  return reinterpret_cast<char*>(value);
}
const char* Bytes(const OBS& value) {
  return reinterpret_cast<const char*>(&value);
}

bool AllBlank(const char* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (bytes[i] != ' ') return false;
  }
  return true;
}

// A fresh array of the given cells: 0.0 for a number, blanks for a string.
OBS* NewValueArray(int cells, unsigned int valueType) {
  OBS* array = new OBS[cells];
  for (int i = 0; i < cells; ++i) {
    if (valueType == 0) {
      array[i].num = 0.0;
    } else {
      array[i] = AggregationCategory::Blanks();
    }
  }
  return array;
}

}  // namespace

const unsigned int AggregationCategory::OBSSize;

const OBS& AggregationCategory::Blanks() {
  static const OBS blanks = [] {
    OBS cell;
    std::memset(cell.str, ' ', sizeof cell.str);
    return cell;
  }();
  return blanks;
}

int AggregationCategory::OBSCompare(const OBS& a, int aType, const OBS& b, int bType) {
  // Widths come from categories and variables and are never negative; a
  // negative one would send the blank scan before the start of a value.
  assert(aType >= 0 && bType >= 0);
  const int shorter = std::min(aType, bType);
  if (shorter == 0 && aType + bType > 0) return aType == 0 ? -1 : 1;
  const int order = ObsLexCompare(a, b, shorter);
  if (order != 0) return order;
  // Equal over the shorter width: only non-blank characters beyond it decide.
  if (aType < bType) return AllBlank(Bytes(b) + aType, bType - aType) ? 0 : -1;
  if (aType > bType) return AllBlank(Bytes(a) + bType, aType - bType) ? 0 : 1;
  return 0;
}

bool AggregationCategory::OBSCompareEqual(const OBS& a, int aType, const OBS& b, int bType) {
  assert(aType >= 0 && bType >= 0);
  if (aType == 0) return bType == 0 && a.num == b.num;
  if (bType == 0) return false;
  if (aType == bType) return std::memcmp(&a, &b, static_cast<size_t>(aType)) == 0;
  // Both strings are blank-filled to the end of their last cell, so whole
  // cells compare; cells the shorter value lacks must be blanks in the
  // longer one. This is the comparison against a blank-extended copy of the
  // shorter value, without building the copy.
  const int aCells = QUOR_CellCount(aType);
  const int bCells = QUOR_CellCount(bType);
  const int common = std::min(aCells, bCells);
  if (std::memcmp(&a, &b, static_cast<size_t>(common) * OBSSize) != 0) return false;
  const OBS* longer = aCells > bCells ? &a : &b;
  const int longerCells = std::max(aCells, bCells);
  for (int cell = common; cell < longerCells; ++cell) {
    if (std::memcmp(&longer[cell], &Blanks(), OBSSize) != 0) return false;
  }
  return true;
}

AggregationCategory::AggregationCategory() : AggregationCategory(kDummy, 0) {}

AggregationCategory::AggregationCategory(CategoryType type) : AggregationCategory(type, 0) {}

AggregationCategory::AggregationCategory(CategoryType type, int valueType)
    : _type(type),
      _valType(0),
      _catValue(nullptr),
      _catEncoding(0),
      _varIndex(0),
      _useLabelForVar(false),
      _labelDefault(false),
      _empty(false),
      _catCells(0) {
  assert(valueType >= 0);
  _valType = static_cast<unsigned int>(valueType);
  _catCells = QUOR_CellCount(static_cast<int>(_valType));
  _catValue = NewValueArray(_catCells, _valType);
}

AggregationCategory::AggregationCategory(const AggregationCategory& other)
    : _type(other._type),
      _valType(other._valType),
      _catValue(nullptr),
      _catEncoding(other._catEncoding),
      _varIndex(other._varIndex),
      _catLabel(other._catLabel),
      _useLabelForVar(other._useLabelForVar),
      _labelDefault(false),
      _empty(other._empty),
      _catCells(QUOR_CellCount(static_cast<int>(other._valType))) {
  _catValue = NewValueArray(_catCells, _valType);
  SetCatValue(*other._catValue);
}

AggregationCategory& AggregationCategory::operator=(const AggregationCategory& other) {
  assert(other._catValue);
  if (this == &other) return *this;
  _type = other._type;
  ReserveCells(static_cast<int>(other._valType));
  _valType = other._valType;
  SetCatValue(*other._catValue);
  _catEncoding = other._catEncoding;
  _varIndex = other._varIndex;
  _catLabel = other._catLabel;
  _empty = other._empty;
  _useLabelForVar = other._useLabelForVar;
  return *this;
}

AggregationCategory::~AggregationCategory() {
  delete[] _catValue;
}

bool AggregationCategory::operator==(const AggregationCategory& other) const {
  if (_type != other._type) return false;
  switch (_type) {
    case kDummy:
    case kTotal:
      return true;
    case kValue:
      return OBSCompareEqual(*_catValue, GetValueType(), *other._catValue, other.GetValueType());
    case kSubtotal:
    case kHSubtotal:
      return _catEncoding == other._catEncoding;
    case kVariable:
      return _varIndex == other._varIndex;
    case kPCompute:
      return _catLabel == other._catLabel;
  }
  return false;  // a type outside the enumeration
}

void AggregationCategory::ReserveCells(int valueType) {
  const int cells = QUOR_CellCount(valueType);
  if (cells <= _catCells) return;
  OBS* fresh = NewValueArray(cells, static_cast<unsigned int>(valueType));
  delete[] _catValue;
  _catValue = fresh;
  _catCells = cells;
}

void AggregationCategory::SetValueType(int valueType) {
  assert(valueType >= 0);
  // Growing past the array's cells loses the old value; a narrower or equal
  // width keeps the array, bytes included.
  if (static_cast<int>(_valType) < valueType) ReserveCells(valueType);
  _valType = static_cast<unsigned int>(valueType);
}

void AggregationCategory::SetCatValue(double value) {
  assert(_valType == 0);
  _catValue->num = value + 0.0;  // -0.0 + 0.0 is +0.0
}

void AggregationCategory::SetCatValue(const OBS& value) {
  assert(_catValue);
  if (_valType == 0) {
    _catValue->num = value.num + 0.0;
    return;
  }
  // Copy first, then blank the rest of the last cell: the same result as
  // blanking first, and safe when value is this category's own array.
  const size_t width = _valType;
  std::memmove(_catValue, &value, width);
  const size_t end = static_cast<size_t>(QUOR_CellCount(static_cast<int>(_valType))) * OBSSize;
  std::memset(Bytes(_catValue) + width, ' ', end - width);
}

void AggregationCategory::SetCatValue(const OBS& value, int valueType) {
  assert(_catValue && valueType <= static_cast<int>(_valType) &&
         "_catValue && valueType <= (int) _valType");
  if (_valType == 0) {
    _catValue->num = value.num + 0.0;
    return;
  }
  // A negative width copies nothing rather than an enormous byte count.
  const size_t copied = static_cast<size_t>(std::max(valueType, 0));
  std::memmove(_catValue, &value, copied);
  const size_t end = static_cast<size_t>(QUOR_CellCount(static_cast<int>(_valType))) * OBSSize;
  std::memset(Bytes(_catValue) + copied, ' ', end - copied);
}

void AggregationCategory::SetCatValue(const char* text) {
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text);
  if (_valType < length) {
    ReserveCells(static_cast<int>(length));
    _valType = static_cast<unsigned int>(length);
  }
  _catValue[QUOR_CellCount(static_cast<int>(_valType)) - 1] = Blanks();
  QUORMBCopyToFixed_A(Bytes(_catValue), static_cast<int>(_valType), text, static_cast<int>(length));
}

void AggregationCategory::SetCatEncoding(double code) {
  // Encodings come from small whole numbers; a NaN or a value beyond the int
  // range would make the conversion undefined, so they become no category
  // and the nearest representable code.
  if (std::isnan(code)) {
    _catEncoding = TableEncryptionCodes::kNoCategory;
    return;
  }
  const double rounded = code >= 0 ? std::trunc(code + 0.5) : std::trunc(code - 0.5);
  if (rounded >= static_cast<double>(INT_MAX)) {
    _catEncoding = INT_MAX;
  } else if (rounded <= static_cast<double>(INT_MIN)) {
    _catEncoding = INT_MIN;
  } else {
    _catEncoding = static_cast<int>(rounded);
  }
}

void AggregationCategory::SetCatLabel(const std::string& label, bool isDefault) {
  _catLabel = label;
  _labelDefault = isDefault;
}

void AggregationCategory::SetPCFormat(
    const std::vector<TableEncryptionCodes::StatisticCodes>& formats) {
  _pcFormat = formats;
}

void AggregationCategory::SetPCDisplayFormat(
    const std::vector<TableEncryptionCodes::DisplayFormat>& formats) {
  _pcDisplayFormat = formats;
}

void AggregationCategory::SetPCDecimal(const std::vector<const QUOR_Format*>& decimals) {
  _pcDecimal = decimals;
}

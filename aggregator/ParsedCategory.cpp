#include "ParsedCategory.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "baseutil.h"
#include "keyindex.h"
#include "textplat.h"

namespace {

const unsigned int kCellSize = AggregationCategory::OBSSize;

// Output code of the diagnostic dump.
const long kDisplayCode = 1;

// Cells of a value of the given type; an unset width (-1) has none.
int CellCount(int valueType) {
  return valueType < 0 ? 0 : QUOR_CellCount(valueType);
}

char* Bytes(OBS* value) {
  return reinterpret_cast<char*>(value);
}
const char* Bytes(const OBS* value) {
  return reinterpret_cast<const char*>(value);
}

bool HasValueType(ParsedCategory::ParsedCatType type) {
  return type == ParsedCategory::kValue || type == ParsedCategory::kRange ||
         type == ParsedCategory::kLoRange || type == ParsedCategory::kHiRange;
}

// Makes array hold at least the cells of width valueType. Existing cells are
// kept; new ones are 0.0 for a number and blanks for a string, so a string
// value stays blank-filled when it is widened.
void ReserveCells(OBS*& array, int& cells, int valueType) {
  const int needed = CellCount(valueType);
  if (needed <= cells) return;
  OBS* fresh = new OBS[needed];
  if (cells > 0) std::memcpy(fresh, array, static_cast<size_t>(cells) * kCellSize);
  for (int i = cells; i < needed; ++i) {
    if (valueType == 0) {
      fresh[i].num = 0.0;
    } else {
      fresh[i] = AggregationCategory::Blanks();
    }
  }
  delete[] array;
  array = fresh;
  cells = needed;
}

// Stores a value of the array's own width w: the double, or w bytes followed
// by blanks to the end of the last cell.
void StoreValue(OBS* array, int width, const OBS& value) {
  if (width == 0) {
    array->num = value.num + 0.0;  // -0.0 + 0.0 is +0.0
    return;
  }
  const size_t bytes = static_cast<size_t>(width);
  std::memmove(array, &value, bytes);
  const size_t end = static_cast<size_t>(CellCount(width)) * kCellSize;
  std::memset(Bytes(array) + bytes, ' ', end - bytes);
}

// Stores a value of width valueType (at most width) into an array of width
// w, blank-filling a narrower string to w.
void StoreNarrowerValue(OBS* array, int width, const OBS& value, int valueType) {
  if (width == 0) {
    array->num = value.num + 0.0;
    return;
  }
  // A negative width copies nothing rather than an enormous byte count.
  const size_t copied = static_cast<size_t>(std::max(valueType, 0));
  std::memmove(array, &value, copied);
  const size_t end = static_cast<size_t>(CellCount(width)) * kCellSize;
  std::memset(Bytes(array) + copied, ' ', end - copied);
}

// Equality of two stored values under the parsed-entry rule: two numbers by
// their doubles; two strings when the first min(width) bytes agree and the
// longer one is blank beyond the shorter width. Anything else is unequal.
bool SameValue(const OBS* a, int aType, const OBS* b, int bType) {
  if (aType == 0 && bType == 0) return a->num == b->num;
  if (aType <= 0 || bType <= 0) return false;
  const int shorter = std::min(aType, bType);
  if (std::memcmp(a, b, static_cast<size_t>(shorter)) != 0) return false;
  const char* longer = Bytes(aType > bType ? a : b);
  const int longerType = std::max(aType, bType);
  for (int i = shorter; i < longerType; ++i) {
    if (longer[i] != ' ') return false;
  }
  return true;
}

}  // namespace

ParsedCategory::ParsedCategory(const OBS& value, int valueType)
    : ParsedCategory(value, valueType, kValue) {}

ParsedCategory::ParsedCategory(const OBS& low, const OBS& high, int valueType)
    : ParsedCategory(kRange) {
  _valType = valueType;
  ReserveCells(_catValue, _catCells, valueType);
  ReserveCells(_rangeTopValue, _rangeTopCells, valueType);
  SetRangeTopValue(high);
  SetCatValue(low);
}

ParsedCategory::ParsedCategory(const OBS& value, int valueType, ParsedCatType type)
    : ParsedCategory(type) {
  _valType = valueType;
  ReserveCells(_catValue, _catCells, valueType);
  SetCatValue(value);
}

ParsedCategory::ParsedCategory(ParsedCatType type)
    : _type(type),
      _valType(-1),
      _catValue(new OBS[0]),
      _rangeTopValue(new OBS[0]),
      _subtotalEncoding(0),
      _varIndex(-1),
      _labelDefault(true),
      _pcFlag(false),
      _catCells(0),
      _rangeTopCells(0) {}

ParsedCategory::ParsedCategory(const std::string& label, bool isDefault, int encoding, bool shown)
    : ParsedCategory(shown ? kSubtotal : kHSubtotal) {
  _subtotalEncoding = encoding;
  _subtotalLabel = label;
  _labelDefault = isDefault;
}

ParsedCategory::ParsedCategory(
    const std::string& name, const std::vector<std::string>& labelParts, bool flag,
    const std::vector<TableEncryptionCodes::StatisticCodes>& formats,
    const std::vector<TableEncryptionCodes::DisplayFormat>& displayFormats,
    const std::vector<const QUOR_Format*>& decimals, ParsedCatType type, int varIndex)
    : ParsedCategory(type) {
  _pCatName = name;
  _labelParts = labelParts;
  _pcFlag = flag;
  _pcFormat = formats;
  _pcDisplayFormat = displayFormats;
  _pcDecimal = decimals;
  _varIndex = varIndex;
}

ParsedCategory::ParsedCategory(const ParsedCategory& other)
    : _type(other._type),
      _valType(other._valType),
      _catValue(new OBS[0]),
      _rangeTopValue(new OBS[0]),
      _subtotalEncoding(other._subtotalEncoding),
      _varIndex(other._varIndex),
      _subtotalLabel(other._subtotalLabel),
      _labelDefault(other._labelDefault),
      _pcFlag(false),
      _categories(other._categories),
      _catCells(0),
      _rangeTopCells(0) {
  if (HasValueType(_type)) {
    ReserveCells(_catValue, _catCells, _valType);
    if (other.HasValue()) SetCatValue(*other._catValue);
  }
  if (_type == kRange) {
    ReserveCells(_rangeTopValue, _rangeTopCells, _valType);
    if (other.HasRangeTop()) SetRangeTopValue(*other._rangeTopValue);
  }
}

ParsedCategory& ParsedCategory::operator=(const ParsedCategory& other) {
  if (this == &other) return *this;
  _type = other._type;
  _valType = other._valType;
  if (HasValueType(_type)) {
    ReserveCells(_catValue, _catCells, _valType);
    if (other.HasValue()) SetCatValue(*other._catValue);
  }
  if (_type == kRange) {
    ReserveCells(_rangeTopValue, _rangeTopCells, _valType);
    if (other.HasRangeTop()) SetRangeTopValue(*other._rangeTopValue);
  }
  _subtotalEncoding = other._subtotalEncoding;
  _varIndex = other._varIndex;
  _subtotalLabel = other._subtotalLabel;
  _categories = other._categories;
  _labelDefault = other._labelDefault;
  return *this;
}

ParsedCategory::~ParsedCategory() {
  delete[] _catValue;
  delete[] _rangeTopValue;
}

bool ParsedCategory::HasValue() const {
  return _valType >= 0 && _catCells >= CellCount(_valType);
}

bool ParsedCategory::HasRangeTop() const {
  return _valType >= 0 && _rangeTopCells >= CellCount(_valType);
}

// The value setters grow an array that is too small for the current width
// (after SetValueType raised it) instead of writing past its end.

void ParsedCategory::SetCatValue(const OBS& value) {
  assert(_catValue);
  if (_valType < 0) return;  // no width, nothing to store
  ReserveCells(_catValue, _catCells, _valType);
  StoreValue(_catValue, _valType, value);
}

void ParsedCategory::SetCatValue(const OBS& value, int valueType) {
  assert(_catValue && valueType <= _valType);
  if (_valType < 0) return;
  ReserveCells(_catValue, _catCells, _valType);
  StoreNarrowerValue(_catValue, _valType, value, valueType);
}

void ParsedCategory::SetCatValue(const char* text) {
  if (text == nullptr) text = "";
  const int length = static_cast<int>(std::strlen(text));
  if (_valType < length) {
    _valType = length;
    ReserveCells(_catValue, _catCells, _valType);
    // A range top already held keeps its string, blank-extended to the new
    // width, so that it is never read past its end.
    if (_rangeTopCells > 0) ReserveCells(_rangeTopValue, _rangeTopCells, _valType);
  }
  _catValue[CellCount(_valType) - 1] = AggregationCategory::Blanks();
  QUORMBCopyToFixed_A(Bytes(_catValue), _valType, text, length);
}

void ParsedCategory::SetCatValue(double value) {
  assert(_valType == 0);
  ReserveCells(_catValue, _catCells, _valType);
  _catValue->num = value + 0.0;
}

void ParsedCategory::SetRangeTopValue(const OBS& value) {
  assert(_rangeTopValue);
  if (_valType < 0) return;
  ReserveCells(_rangeTopValue, _rangeTopCells, _valType);
  StoreValue(_rangeTopValue, _valType, value);
}

void ParsedCategory::SetRangeTopValue(const OBS& value, int valueType) {
  assert(_rangeTopValue && valueType <= _valType);
  if (_valType < 0) return;
  ReserveCells(_rangeTopValue, _rangeTopCells, _valType);
  StoreNarrowerValue(_rangeTopValue, _valType, value, valueType);
}

void ParsedCategory::SetSubtotalLabel(const std::string& label, bool isDefault) {
  _subtotalLabel = label;
  _labelDefault = isDefault;
}

int ParsedCategory::AddCategory(AggregationCategory* category) {
  _categories.push_back(nullptr);
  if (_valType == -1) _valType = category->GetValueType();
  const OBS& value = category->GetCatValue();
  const int valueType = category->GetValueType();
  // Insertion from the end: equal values stop the move, so they keep the
  // order in which they were added.
  size_t slot = _categories.size() - 1;
  while (slot > 0) {
    const AggregationCategory* earlier = _categories[slot - 1];
    if (AggregationCategory::OBSCompare(value, valueType, earlier->GetCatValue(),
                                        earlier->GetValueType()) >= 0) {
      break;
    }
    _categories[slot] = _categories[slot - 1];
    --slot;
  }
  _categories[slot] = category;
  return static_cast<int>(_categories.size());
}

bool ParsedCategory::Contains(const OBS& value, bool isMissing) const {
  const int width = _valType;
  switch (_type) {
    case kValue:
      if (!HasValue()) return false;
      if (width == 0) return value.num == _catValue->num;
      return std::memcmp(&value, _catValue, static_cast<size_t>(width)) == 0;
    case kRange:
      if (!HasValue() || !HasRangeTop()) return false;
      if (width == 0) return _catValue->num <= value.num && value.num <= _rangeTopValue->num;
      return ObsLexCompare(*_catValue, value, width) <= 0 &&
             ObsLexCompare(value, *_rangeTopValue, width) <= 0;
    case kLoRange:
      if (!HasValue()) return false;
      if (width == 0) return value.num <= _catValue->num;
      return ObsLexCompare(value, *_catValue, width) <= 0;
    case kHiRange:
      if (!HasValue()) return false;
      if (width == 0) return value.num >= _catValue->num;
      return ObsLexCompare(value, *_catValue, width) >= 0;
    case kLoHiRange:
      return true;
    case kMissing:
      return isMissing;
    case kOtherNM:
      return !isMissing;
    case kSubtotal:
    case kHSubtotal:
    case kVariable:
    case kPCompute:
      return false;
  }
  return false;
}

bool ParsedCategory::Contains(const OBS& value, int valueType, bool isMissing) const {
  const int width = _valType;
  switch (_type) {
    case kValue:
    case kRange:
    case kLoRange:
    case kHiRange:
      break;
    case kLoHiRange:
      return true;
    case kMissing:
      return isMissing;
    case kOtherNM:
      return !isMissing;
    default:
      return false;
  }
  if (valueType < 0 || !HasValue() || (_type == kRange && !HasRangeTop())) return false;
  if (valueType == 0 && std::isnan(value.num)) return false;
  // Two numbers: the double order, which is what OBSCompare gives, with a
  // NaN bound containing nothing.
  if (valueType == 0 && width == 0) return Contains(value, isMissing);
  using Category = AggregationCategory;
  switch (_type) {
    case kValue:
      return Category::OBSCompare(value, valueType, *_catValue, width) == 0;
    case kRange:
      return Category::OBSCompare(*_catValue, width, value, valueType) <= 0 &&
             Category::OBSCompare(value, valueType, *_rangeTopValue, width) <= 0;
    case kLoRange:
      return Category::OBSCompare(value, valueType, *_catValue, width) <= 0;
    case kHiRange:
      return Category::OBSCompare(value, valueType, *_catValue, width) >= 0;
    default:
      return false;
  }
}

std::string ParsedCategory::GetPostCatLabel() const {
  if (_labelParts.empty()) return _pCatName;
  std::string label;
  for (const std::string& part : _labelParts) label += part;
  return label;
}

bool ParsedCategory::operator==(const ParsedCategory& other) const {
  if (_type != other._type) return false;
  switch (_type) {
    case kValue:
    case kLoRange:
    case kHiRange:
      return HasValue() && other.HasValue() &&
             SameValue(_catValue, _valType, other._catValue, other._valType);
    case kRange:
      return HasValue() && other.HasValue() && HasRangeTop() && other.HasRangeTop() &&
             SameValue(_catValue, _valType, other._catValue, other._valType) &&
             SameValue(_rangeTopValue, _valType, other._rangeTopValue, other._valType);
    case kLoHiRange:
    case kMissing:
    case kOtherNM:
      return true;
    case kSubtotal:
    case kHSubtotal:
      return _subtotalEncoding == other._subtotalEncoding &&
             _subtotalLabel == other._subtotalLabel && _labelDefault == other._labelDefault;
    case kVariable:
      return _varIndex == other._varIndex;
    case kPCompute:
      return _pCatName == other._pCatName;
  }
  return false;  // a type outside the enumeration
}

void ParsedCategory::Display(int index) const {
  // Every piece goes through a 256-byte buffer; snprintf cuts a long label or
  // string value short instead of writing past the buffer.
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "\nParsed Category %d: ", index);
  BP_ToFront(kDisplayCode, BP_Character(buffer));

  // A string value is printed with its own width (it has no terminating
  // zero); a value that was never set prints as an empty string.
  const bool numeric = _valType == 0 && HasValue();
  const int width = HasValue() && _valType > 0 ? _valType : 0;
  const int topWidth = HasRangeTop() && _valType > 0 ? _valType : 0;
  const char* low = Bytes(_catValue);
  const char* high = Bytes(_rangeTopValue);
  bool typeLine = true;
  switch (_type) {
    case kValue:
      if (numeric) {
        std::snprintf(buffer, sizeof buffer, "Type: kValue, value: %g, ", _catValue->num);
      } else {
        std::snprintf(buffer, sizeof buffer, "Type: kValue, value: %.*s, ", width, low);
      }
      break;
    case kRange:
      if (numeric && HasRangeTop()) {
        std::snprintf(buffer, sizeof buffer, "Type: kRange, range: [ %g, %g ], ", _catValue->num,
                      _rangeTopValue->num);
      } else {
        std::snprintf(buffer, sizeof buffer, "Type: kRange, range: [ %.*s, %.*s ], ", width, low,
                      topWidth, high);
      }
      break;
    case kLoRange:
      if (numeric) {
        std::snprintf(buffer, sizeof buffer, "Type: kLoRange, range: [ LO, %g ], ", _catValue->num);
      } else {
        std::snprintf(buffer, sizeof buffer, "Type: kLoRange, range: [ LO, %.*s ], ", width, low);
      }
      break;
    case kHiRange:
      if (numeric) {
        std::snprintf(buffer, sizeof buffer, "Type: kHiRange, range: [ %g, HI ], ", _catValue->num);
      } else {
        std::snprintf(buffer, sizeof buffer, "Type: kHiRange, range: [ %.*s, HI ], ", width, low);
      }
      break;
    case kLoHiRange:
      std::snprintf(buffer, sizeof buffer, "Type: kLoHiRange, ");
      break;
    case kMissing:
      std::snprintf(buffer, sizeof buffer, "Type: kMissing, ");
      break;
    case kOtherNM:
      std::snprintf(buffer, sizeof buffer, "Type: kOtherNM, ");
      break;
    case kSubtotal:
      std::snprintf(buffer, sizeof buffer, "Type: kSubtotal, label = %s, default=%d, ",
                    _subtotalLabel.c_str(), _labelDefault ? 1 : 0);
      break;
    case kHSubtotal:
      std::snprintf(buffer, sizeof buffer, "Type: kHSubtotal, label = %s, default=%d, ",
                    _subtotalLabel.c_str(), _labelDefault ? 1 : 0);
      break;
    case kVariable:
      std::snprintf(buffer, sizeof buffer, "Type: kVariable, variable index = %d, ", _varIndex);
      break;
    case kPCompute:
    default:
      typeLine = false;
      break;
  }
  if (typeLine) BP_ToFront(kDisplayCode, BP_Character(buffer));

  std::snprintf(buffer, sizeof buffer, "Subtotal encoding = %d\n", _subtotalEncoding);
  BP_ToFront(kDisplayCode, BP_Character(buffer));
}

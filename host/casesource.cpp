#include "casesource.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

const OBS& BlankCell() {
  static const OBS blank = [] {
    OBS cell;
    std::memset(cell.str, ' ', sizeof cell.str);
    return cell;
  }();
  return blank;
}

// The largest width a key description can carry (it is a short).
constexpr int kMaxWidth = 32767;

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

}  // namespace

// ---------------------------------------------------------------------------
// QUOR_ValueLabelMap

QUOR_ValueLabelMap::QUOR_ValueLabelMap(const QUOR_VLImplPointer& labels)
    : _labels(labels), _next(0) {}

QUOR_ValueLabelMap::~QUOR_ValueLabelMap() = default;

void QUOR_ValueLabelMap::Reset() {
  _next = 0;
}

int QUOR_ValueLabelMap::GetNextPair(const OBS*& value, const char*& label) const {
  const std::vector<QUOR_ValueLabel>* labels = _labels.Labels();
  if (labels == nullptr || _next >= labels->size()) return 0;
  const QUOR_ValueLabel& pair = (*labels)[_next++];
  value = pair.value.data();
  label = pair.label.c_str();
  return 1;
}

const char* QUOR_ValueLabelMap::GetLabel(const OBS* value) const {
  const std::vector<QUOR_ValueLabel>* labels = _labels.Labels();
  if (labels == nullptr || value == nullptr) return nullptr;
  const int type = _labels.Type();
  for (const QUOR_ValueLabel& pair : *labels) {
    const bool equal = type == 0
                           ? pair.value[0].num == value->num
                           : std::memcmp(pair.value.data(), value, static_cast<size_t>(type)) == 0;
    if (equal) return pair.label.c_str();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// QUOR_Variable

QUOR_Variable::QUOR_Variable(const std::string& name, int type, const std::string& label)
    : _name(name), _type(type), _label(label), _valueLabelHandle(&_valueLabels, type) {}

QUOR_Variable::QUOR_Variable(const QUOR_Variable& other)
    : _name(other._name),
      _type(other._type),
      _label(other._label),
      _missingNumbers(other._missingNumbers),
      _missingStrings(other._missingStrings),
      _hasMissingRange(other._hasMissingRange),
      _missingLow(other._missingLow),
      _missingHigh(other._missingHigh),
      _valueLabels(other._valueLabels),
      _valueLabelHandle(&_valueLabels, other._type) {}

QUOR_Variable& QUOR_Variable::operator=(const QUOR_Variable& other) {
  if (this == &other) return *this;
  _name = other._name;
  _type = other._type;
  _label = other._label;
  _missingNumbers = other._missingNumbers;
  _missingStrings = other._missingStrings;
  _hasMissingRange = other._hasMissingRange;
  _missingLow = other._missingLow;
  _missingHigh = other._missingHigh;
  _valueLabels = other._valueLabels;
  // The handle must keep pointing at this variable's own labels.
  _valueLabelHandle = QUOR_VLImplPointer(&_valueLabels, _type);
  return *this;
}

int QUOR_Variable::IsDefinedMissing(const OBS* value) const {
  if (_type == 0) {
    const double v = value->num;
    // A NaN is never a valid observation: it counts as system-missing.
    if (v == QUOR_SYSMIS || std::isnan(v)) return 1;
    for (double missing : _missingNumbers) {
      if (v == missing) return 1;
    }
    if (_hasMissingRange && _missingLow <= v && v <= _missingHigh) return 1;
    return 0;
  }
  for (const std::vector<OBS>& missing : _missingStrings) {
    if (std::memcmp(missing.data(), value, static_cast<size_t>(_type)) == 0) return 1;
  }
  return 0;
}

void QUOR_Variable::SetLabel(const std::string& label) {
  _label = label;
}

void QUOR_Variable::RequireNumeric(const char* what) const {
  if (_type != 0) {
    throw std::invalid_argument(std::string(what) + ": variable " + Quoted(_name) +
                                " is a string variable (width " + std::to_string(_type) +
                                ") and takes no number");
  }
}

void QUOR_Variable::RequireString(const char* what) const {
  if (_type == 0) {
    throw std::invalid_argument(std::string(what) + ": variable " + Quoted(_name) +
                                " is numeric and takes no string");
  }
}

std::vector<OBS> QUOR_Variable::StringCells(const std::string& text) const {
  if (static_cast<long>(text.size()) > _type) {
    throw std::invalid_argument("the string " + Quoted(text) + " (" + std::to_string(text.size()) +
                                " bytes) is wider than variable " + Quoted(_name) + " (width " +
                                std::to_string(_type) + ")");
  }
  std::vector<OBS> cells(static_cast<size_t>(QUOR_CellCount(_type)), BlankCell());
  if (!text.empty()) std::memcpy(cells.data(), text.data(), text.size());
  return cells;
}

void QUOR_Variable::AddMissingValue(double value) {
  RequireNumeric("AddMissingValue");
  if (std::isnan(value)) {
    throw std::invalid_argument("AddMissingValue: variable " + Quoted(_name) +
                                " cannot take NaN as a missing value");
  }
  _missingNumbers.push_back(value);
}

void QUOR_Variable::AddMissingValue(const std::string& value) {
  RequireString("AddMissingValue");
  try {
    _missingStrings.push_back(StringCells(value));
  } catch (const std::invalid_argument& error) {
    throw std::invalid_argument(std::string("AddMissingValue: ") + error.what());
  }
}

void QUOR_Variable::SetMissingRange(double low, double high) {
  RequireNumeric("SetMissingRange");
  if (std::isnan(low) || std::isnan(high) || low > high) {
    throw std::invalid_argument("SetMissingRange: variable " + Quoted(_name) +
                                " needs low <= high, got " + std::to_string(low) + " and " +
                                std::to_string(high));
  }
  _hasMissingRange = true;
  _missingLow = low;
  _missingHigh = high;
}

void QUOR_Variable::AddValueLabel(double value, const std::string& label) {
  RequireNumeric("AddValueLabel");
  if (std::isnan(value)) {
    throw std::invalid_argument("AddValueLabel: variable " + Quoted(_name) + " cannot label NaN");
  }
  for (QUOR_ValueLabel& pair : _valueLabels) {
    if (pair.value[0].num == value) {
      pair.label = label;
      return;
    }
  }
  OBS cell;
  cell.num = value;
  _valueLabels.push_back(QUOR_ValueLabel{{cell}, label});
}

void QUOR_Variable::AddValueLabel(const std::string& value, const std::string& label) {
  RequireString("AddValueLabel");
  std::vector<OBS> cells;
  try {
    cells = StringCells(value);
  } catch (const std::invalid_argument& error) {
    throw std::invalid_argument(std::string("AddValueLabel: ") + error.what());
  }
  for (QUOR_ValueLabel& pair : _valueLabels) {
    if (std::memcmp(pair.value.data(), cells.data(), static_cast<size_t>(_type)) == 0) {
      pair.label = label;
      return;
    }
  }
  _valueLabels.push_back(QUOR_ValueLabel{std::move(cells), label});
}

// ---------------------------------------------------------------------------
// QUOR_DataSource

QUOR_DataSource::QUOR_DataSource() = default;
QUOR_DataSource::~QUOR_DataSource() = default;

int QUOR_DataSource::AddVariable(const std::string& name, int type, const std::string& label) {
  if (name.empty()) throw std::invalid_argument("AddVariable: a variable needs a name");
  if (type < 0 || type > kMaxWidth) {
    throw std::invalid_argument("AddVariable: variable " + Quoted(name) + " has the invalid type " +
                                std::to_string(type) + " (0 numeric, 1 to " +
                                std::to_string(kMaxWidth) + " string width)");
  }
  for (const QUOR_Variable& variable : _variables) {
    if (name == variable.GetName()) {
      throw std::invalid_argument("AddVariable: variable " + Quoted(name) + " already exists");
    }
  }
  _variables.emplace_back(name, type, label);
  const int oldWidth = _rowWidth;
  const int cells = QUOR_CellCount(type);
  _offsets.push_back(oldWidth);
  _rowWidth = oldWidth + cells;

  if (_numberOfCases > 0) {
    // Re-lay the rows: every row keeps its cells and gains the new variable's
    // cells, missing or blank, at its end.
    OBS filler;
    if (type == 0) {
      filler.num = QUOR_SYSMIS;
    } else {
      filler = BlankCell();
    }
    std::vector<OBS> relaid(static_cast<size_t>(_numberOfCases) * static_cast<size_t>(_rowWidth));
    for (int c = 0; c < _numberOfCases; ++c) {
      OBS* to = relaid.data() + static_cast<size_t>(c) * static_cast<size_t>(_rowWidth);
      const OBS* from = _cells.data() + static_cast<size_t>(c) * static_cast<size_t>(oldWidth);
      if (oldWidth > 0) std::memcpy(to, from, sizeof(OBS) * static_cast<size_t>(oldWidth));
      for (int k = 0; k < cells; ++k) to[oldWidth + k] = filler;
    }
    _cells.swap(relaid);
  }
  return static_cast<int>(_variables.size()) - 1;
}

void QUOR_DataSource::CheckVariable(int varIndex) const {
  if (varIndex < 0 || varIndex >= NumberOfVariables()) {
    throw std::invalid_argument("no variable with index " + std::to_string(varIndex) +
                                " (the data source has " + std::to_string(NumberOfVariables()) +
                                " variables)");
  }
}

void QUOR_DataSource::CheckCase(int caseIndex) const {
  if (caseIndex < 0 || caseIndex >= _numberOfCases) {
    throw std::invalid_argument("no case with index " + std::to_string(caseIndex) +
                                " (the data source has " + std::to_string(_numberOfCases) +
                                " cases)");
  }
}

const QUOR_Variable& QUOR_DataSource::GetVariable(int index) const {
  CheckVariable(index);
  return _variables[static_cast<size_t>(index)];
}

QUOR_Variable& QUOR_DataSource::GetVariable(int index) {
  CheckVariable(index);
  return _variables[static_cast<size_t>(index)];
}

int QUOR_DataSource::NumberOfVariables() const {
  return static_cast<int>(_variables.size());
}

void QUOR_DataSource::FillEmptyRow(OBS* row) const {
  for (size_t v = 0; v < _variables.size(); ++v) {
    OBS* cells = row + _offsets[v];
    const int type = _variables[v].GetType();
    if (type == 0) {
      cells->num = QUOR_SYSMIS;
    } else {
      for (int k = 0; k < QUOR_CellCount(type); ++k) cells[k] = BlankCell();
    }
  }
}

int QUOR_DataSource::AddCase() {
  const size_t start = _cells.size();
  _cells.resize(start + static_cast<size_t>(_rowWidth));
  FillEmptyRow(_cells.data() + start);
  return _numberOfCases++;
}

void QUOR_DataSource::SetValue(int caseIndex, int varIndex, double value) {
  CheckCase(caseIndex);
  CheckVariable(varIndex);
  const QUOR_Variable& variable = _variables[static_cast<size_t>(varIndex)];
  if (variable.GetType() != 0) {
    throw std::invalid_argument("SetValue: variable " + Quoted(variable.GetName()) +
                                " is a string variable (width " +
                                std::to_string(variable.GetType()) + ") and takes no number");
  }
  // A NaN from a computation is stored as the system-missing value.
  _cells[static_cast<size_t>(caseIndex) * static_cast<size_t>(_rowWidth) +
         static_cast<size_t>(_offsets[static_cast<size_t>(varIndex)])]
      .num = std::isnan(value) ? QUOR_SYSMIS : value;
}

void QUOR_DataSource::SetValue(int caseIndex, int varIndex, const std::string& value) {
  CheckCase(caseIndex);
  CheckVariable(varIndex);
  const QUOR_Variable& variable = _variables[static_cast<size_t>(varIndex)];
  const int type = variable.GetType();
  if (type == 0) {
    throw std::invalid_argument("SetValue: variable " + Quoted(variable.GetName()) +
                                " is numeric and takes no string");
  }
  if (static_cast<long>(value.size()) > type) {
    throw std::invalid_argument("SetValue: the string " + Quoted(value) + " (" +
                                std::to_string(value.size()) + " bytes) is wider than variable " +
                                Quoted(variable.GetName()) + " (width " + std::to_string(type) +
                                ")");
  }
  OBS* cells = _cells.data() + static_cast<size_t>(caseIndex) * static_cast<size_t>(_rowWidth) +
               _offsets[static_cast<size_t>(varIndex)];
  for (int k = 0; k < QUOR_CellCount(type); ++k) cells[k] = BlankCell();
  if (!value.empty()) std::memcpy(cells, value.data(), value.size());
}

int QUOR_DataSource::NumberOfCases() const {
  return _numberOfCases;
}

// ---------------------------------------------------------------------------
// QUOR_InputCaseIterator

QUOR_InputCaseIterator::QUOR_InputCaseIterator(const QUOR_DataSource& dataSource)
    : _dataSource(dataSource) {}

QUOR_InputCaseIterator::QUOR_InputCaseIterator(const QUOR_DataSource& dataSource, int first,
                                               int end)
    : _dataSource(dataSource), _first(first), _end(end), _caseIndex(first - 1) {
  assert(0 <= first && (end == -1 || first <= end) && "0 <= first && (end == -1 || first <= end)");
}

QUOR_InputCaseIterator::~QUOR_InputCaseIterator() = default;

bool QUOR_InputCaseIterator::Next() {
  const int cases = _dataSource.NumberOfCases();
  const int end = _end < 0 ? cases : std::min(_end, cases);
  if (_caseIndex + 1 < end) {
    ++_caseIndex;
    _currentRow = _dataSource.CaseRow(_caseIndex);
    return true;
  }
  // Past the end: stay there until Rewind.
  _caseIndex = std::max(end, _first);
  _currentRow = nullptr;
  return false;
}

void QUOR_InputCaseIterator::Rewind() {
  _caseIndex = _first - 1;
  _currentRow = nullptr;
}

// ---------------------------------------------------------------------------
// CaseValue

CaseValue::CaseValue(QUOR_InputCaseIterator& iterator, unsigned int index)
    : _iterator(&iterator),
      _variable(&iterator.GetDataSource().GetVariable(static_cast<int>(index))),
      _index(index),
      _offset(iterator.GetDataSource().VariableOffset(static_cast<int>(index))),
      _type(_variable->GetType()) {}

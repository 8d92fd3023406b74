#ifndef HOST_CASESOURCE_H
#define HOST_CASESOURCE_H

// The host's data-source library: variables with their dictionaries (type,
// label, value labels, missing values), an in-memory case store, case
// iterators and the accessor of one variable's value in the current case.
//
// Values are arrays of OBS cells: a numeric value is one cell holding a
// double; a string of width w occupies max(1, (w + 7) / 8) cells, blank-padded
// to the end of the last cell, with no terminating zero.

#include <deque>
#include <string>
#include <utility>
#include <vector>

union OBS {
  double num;
  char str[8];
};

// The system-missing value of a numeric variable: the most negative double.
constexpr double QUOR_SYSMIS = -1.7976931348623157e+308;

// Number of OBS cells a value of the given type occupies (0 numeric, else
// width): one for a number or a string of up to eight bytes. The one home of
// this rule; the engine counts cells with it too.
inline int QUOR_CellCount(int type) {
  return type <= 8 ? 1 : static_cast<int>((static_cast<long long>(type) + 7) / 8);
}

// A display format of the host. The engine only stores pointers to it.
class QUOR_Format {
 public:
  explicit QUOR_Format(int decimals = 2) : _decimals(decimals) {}
  int GetDecimals() const { return _decimals; }

 private:
  int _decimals;
};

// One value label: the value in its cells (blank-padded for strings) and the text.
struct QUOR_ValueLabel {
  std::vector<OBS> value;
  std::string label;
};

// Handle of a variable's value labels; the labels stay owned by the variable.
class QUOR_VLImplPointer {
 public:
  QUOR_VLImplPointer(const std::vector<QUOR_ValueLabel>* labels, int type)
      : _labels(labels), _type(type) {}
  const std::vector<QUOR_ValueLabel>* Labels() const { return _labels; }
  int Type() const { return _type; }

 private:
  const std::vector<QUOR_ValueLabel>* _labels;
  int _type;
};

// A readable view of one variable's value labels, in the order they were added.
class QUOR_ValueLabelMap {
 public:
  explicit QUOR_ValueLabelMap(const QUOR_VLImplPointer& labels);
  ~QUOR_ValueLabelMap();
  QUOR_ValueLabelMap(const QUOR_ValueLabelMap&) = delete;
  QUOR_ValueLabelMap& operator=(const QUOR_ValueLabelMap&) = delete;

  // Restarts the walk over the pairs.
  void Reset();
  // Delivers the next (value, label) pair; non-zero while a pair was delivered.
  int GetNextPair(const OBS*& value, const char*& label) const;
  // The label of the value, null when it has none.
  const char* GetLabel(const OBS* value) const;

 private:
  QUOR_VLImplPointer _labels;
  mutable size_t _next;
};

// A variable of the data source: name, type, label, value labels and its
// missing-value definition (listed values and, for numbers, one range).
class QUOR_Variable {
 public:
  QUOR_Variable(const std::string& name, int type, const std::string& label);

  // 0 for a numeric variable, otherwise the string width in bytes.
  int GetType() const { return _type; }
  // Non-zero when the value is system-missing (or NaN), a listed missing
  // value or inside the missing range (both ends included). Strings compare
  // on the variable's width, blank-padded.
  int IsMissing(const OBS* value) const {
    // Most numeric variables define no missing values of their own: decided
    // here, inline, on the per-case path.
    if (_type == 0 && _missingNumbers.empty() && !_hasMissingRange) {
      const double v = value->num;
      return v == QUOR_SYSMIS || v != v;
    }
    return IsDefinedMissing(value);
  }
  const char* GetName() const { return _name.c_str(); }
  const char* GetLabel() const { return _label.c_str(); }
  const QUOR_VLImplPointer& GetValueLabels() const { return _valueLabelHandle; }

  // Dictionary setup. Bad input (a string for a numeric variable or the
  // reverse, a string wider than the variable, a NaN, a range with
  // low > high) throws std::invalid_argument naming the variable.
  // A label for a value that already has one replaces that label.
  void SetLabel(const std::string& label);
  void AddMissingValue(double value);
  void AddMissingValue(const std::string& value);
  void SetMissingRange(double low, double high);
  void AddValueLabel(double value, const std::string& label);
  void AddValueLabel(const std::string& value, const std::string& label);

  QUOR_Variable(const QUOR_Variable& other);
  QUOR_Variable& operator=(const QUOR_Variable& other);

 private:
  // IsMissing for a variable with missing values of its own, or a string.
  int IsDefinedMissing(const OBS* value) const;
  std::vector<OBS> StringCells(const std::string& text) const;
  void RequireNumeric(const char* what) const;
  void RequireString(const char* what) const;

  std::string _name;
  int _type;
  std::string _label;
  std::vector<double> _missingNumbers;
  std::vector<std::vector<OBS>> _missingStrings;
  bool _hasMissingRange = false;
  double _missingLow = 0.0;
  double _missingHigh = 0.0;
  std::vector<QUOR_ValueLabel> _valueLabels;
  QUOR_VLImplPointer _valueLabelHandle;
};

// An in-memory data source: the variables and the cases, stored row by row
// (each case is one row of OBS cells; each variable sits at a fixed offset).
// Variables keep their addresses when more are added, so references from
// GetVariable, CaseValue and ProcDSIterator stay valid; a new variable goes to
// the end of every row, so existing offsets never change. Row pointers from
// CaseRow are invalidated by AddCase and AddVariable.
class QUOR_DataSource {
 public:
  QUOR_DataSource();
  virtual ~QUOR_DataSource();

  // Adds a variable (type 0 numeric, else string width) and returns its index
  // 0, 1, 2 ... Cases already stored get the new variable as missing / blank.
  int AddVariable(const std::string& name, int type, const std::string& label = "");
  const QUOR_Variable& GetVariable(int index) const;
  QUOR_Variable& GetVariable(int index);
  int NumberOfVariables() const;

  // Adds a case with every value system-missing (numeric) or blank (string)
  // and returns its index.
  int AddCase();
  // A NaN is stored as the system-missing value.
  void SetValue(int caseIndex, int varIndex, double value);
  // Blank-padded to the variable's width.
  void SetValue(int caseIndex, int varIndex, const std::string& value);
  int NumberOfCases() const;

  // Row layout: cells per case and the offset of each variable in a row.
  int RowWidth() const { return _rowWidth; }
  int VariableOffset(int varIndex) const { return _offsets[static_cast<size_t>(varIndex)]; }
  const OBS* CaseRow(int caseIndex) const {
    return _cells.data() + static_cast<size_t>(caseIndex) * static_cast<size_t>(_rowWidth);
  }
  // Fills a row of RowWidth() cells with system-missing values and blanks.
  void FillEmptyRow(OBS* row) const;

 private:
  void CheckVariable(int varIndex) const;
  void CheckCase(int caseIndex) const;

  std::deque<QUOR_Variable> _variables;
  std::vector<int> _offsets;
  int _rowWidth = 0;
  int _numberOfCases = 0;
  std::vector<OBS> _cells;
};

// Walks the cases of a data source. The first Next() moves to the first case;
// Next() returns false after the last. Subclasses that produce cases by other
// means (for example streaming from a file) point SetCurrentRow at their own
// row buffer laid out like the data source's rows.
class QUOR_InputCaseIterator {
 public:
  explicit QUOR_InputCaseIterator(const QUOR_DataSource& dataSource);
  // Walks only the cases first to end - 1 (end clamped to the cases the
  // source holds), so that several tables can each take a contiguous part of
  // the cases, on threads of their own, while the data source stays as it is.
  // CurrentCaseIndex() stays the index in the whole data source; an end of
  // -1 walks to the last case.
  // REQUIRES: "0 <= first && (end == -1 || first <= end)".
  QUOR_InputCaseIterator(const QUOR_DataSource& dataSource, int first, int end);
  virtual ~QUOR_InputCaseIterator();
  QUOR_InputCaseIterator(const QUOR_InputCaseIterator&) = delete;
  QUOR_InputCaseIterator& operator=(const QUOR_InputCaseIterator&) = delete;

  virtual bool Next();
  virtual void Rewind();

  const QUOR_DataSource& GetDataSource() const { return _dataSource; }
  // The current case's row; null before the first Next() and after the last.
  const OBS* CurrentRow() const { return _currentRow; }
  int CurrentCaseIndex() const { return _caseIndex; }

 protected:
  void SetCurrentRow(const OBS* row) { _currentRow = row; }

 private:
  const QUOR_DataSource& _dataSource;
  const OBS* _currentRow = nullptr;
  int _first = 0;
  int _end = -1;  // -1: to the last case
  int _caseIndex = -1;
};

// One variable's value in the iterator's current case. Reading is inline and
// allocation-free: a pointer into the current row at the variable's offset.
class CaseValue {
 public:
  CaseValue(QUOR_InputCaseIterator& iterator, unsigned int index);
  CaseValue(const CaseValue& other) = default;
  CaseValue& operator=(const CaseValue& other) = default;

  // The current value: one OBS for numbers, blank-padded cells for strings.
  const OBS* GetValue() const { return _iterator->CurrentRow() + _offset; }
  // 0 numeric, otherwise the string width in bytes.
  int GetType() const { return _type; }
  unsigned int GetIndex() const { return _index; }
  // True when the current value is system-missing or user-missing.
  bool IsMissing() const { return _variable->IsMissing(GetValue()) != 0; }

 private:
  QUOR_InputCaseIterator* _iterator;
  const QUOR_Variable* _variable;
  unsigned int _index;
  int _offset;
  int _type;
};

#endif

#ifndef TABCUBE_PYTHON_COLUMN_SOURCE_H
#define TABCUBE_PYTHON_COLUMN_SOURCE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "DataInput.h"
#include "Dictionary.h"
#include "casesource.h"

// One column of a data frame as the engine reads it: numbers from a buffer
// of doubles the caller keeps alive (NaN is system-missing), or strings laid
// out as fixed-width, blank-padded rows of whole OBS cells owned here.
struct Column {
  std::string name;
  bool isString = false;
  int width = 0;                    // string width in bytes; 0 for numbers
  const double* numbers = nullptr;  // numbers: one per case
  std::ptrdiff_t numberStride = 1;  // in doubles
  std::vector<char> text;           // strings: QUOR_CellCount(width) cells per case
};

// The columns of a data frame and their dictionary: what the request layer
// needs to aggregate a frame as it aggregates a file. Owns the string
// buffers; the number buffers belong to the caller.
class ColumnTable {
 public:
  // REQUIRES: every column holds the same number of cases.
  // A non-finite number other than NaN throws InputError naming the column
  // and the case.
  void AddNumbers(const std::string& name, const double* values, std::ptrdiff_t stride,
                  size_t cases);
  // The texts (UTF-8, already read from the frame) of every case; an absent
  // value is blank. The width is the longest text's, at least 1.
  void AddStrings(const std::string& name, const std::vector<std::string_view>& texts);

  // Widens every string column to hold its dictionary's width, value labels
  // and missing values.
  void FitStringWidths();

  size_t Cases() const { return _cases; }
  const std::vector<Column>& Columns() const { return _columns; }
  // The dictionary of the columns in order: names, types and widths. The
  // caller adds labels and missing values.
  Dictionary& GetDictionary() { return _dictionary; }
  const Dictionary& GetDictionary() const { return _dictionary; }

 private:
  void CheckCases(size_t cases);

  std::vector<Column> _columns;
  Dictionary _dictionary;
  size_t _cases = 0;
};

// Streams the cases of a ColumnTable into rows laid out as DefineVariables
// lays out a data source of its dictionary, one case at a time and without
// allocating.
class ColumnCaseSource : public CaseSource {
 public:
  explicit ColumnCaseSource(const ColumnTable& table);
  bool ReadCase(OBS* row) override;
  void Rewind() override { _next = 0; }

 private:
  struct Binding {
    const Column* column;
    int offset;    // cell offset in the row
    size_t cells;  // cells per string value
  };
  std::vector<Binding> _bindings;
  size_t _cases;
  size_t _next = 0;
};

#endif

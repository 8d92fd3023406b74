#ifndef TESTS_FIXED_CELL_DIMENSION_H
#define TESTS_FIXED_CELL_DIMENSION_H

#include <map>
#include <vector>

#include "TableDimension.h"
#include "ZarnCaseValueReader.h"
#include "casesource.h"

// FixedCellDimension: a test-only dimension whose category cells are set
// directly instead of being encoded from a variable. Either the test sets the
// cells of the current case (SetCells), or it gives a script of cells per case
// index that EncodeValue plays back as the table encodes each case.
// Owns the reader of its variable (created when the table binds it, when the
// variable exists in the data source); the script and codes are plain values.
class FixedCellDimension : public TableDimension {
 public:
  // The cells of one case: codes, their response counts (sets), the total
  // response count and whether the value counts as valid.
  struct Cells {
    std::vector<int> codes;
    std::vector<int> counts;
    int totalCount = 0;
    bool valid = true;
  };

  // A categorical-variable dimension over the given variable index.
  explicit FixedCellDimension(int variable, int numCatCells = 16)
      : TableDimension(numCatCells, kCategoricalVariable), _variable(variable) {}
  // A set dimension described by the host's set (its name identifies it).
  FixedCellDimension(const AggregationVariable& set, DimensionType type, int variable,
                     int numCatCells = 16)
      : TableDimension(numCatCells, type, set), _variable(variable) {}
  ~FixedCellDimension() override {
    for (ZarnCaseValueReader* reader : _readers) delete reader;
  }

  // Sets the cells of the current case.
  void SetCells(const Cells& cells) {
    SetCategoryCell(cells.codes.at(0));
    if (!cells.counts.empty()) SetCellCount(cells.counts.at(0));
    for (size_t i = 1; i < cells.codes.size(); ++i) {
      AddCategoryCell(cells.codes[i]);
      if (!cells.counts.empty()) SetCellCount(cells.counts.at(i));
    }
    SetTotalCount(cells.totalCount);
    _valueValid = cells.valid;
  }
  void SetCells(const std::vector<int>& codes, bool valid = true) {
    Cells cells;
    cells.codes = codes;
    cells.valid = valid;
    SetCells(cells);
  }

  // Cells played back by EncodeValue, by case index of the iterator.
  void SetScript(const std::vector<Cells>& script) { _script = script; }
  // Codes answered by GetCategoryEncoding(const OBS*), by numeric value.
  void SetEncoding(double value, int code) { _encodings[value] = code; }

  bool EncodeValue() override {
    const int caseIndex = _iterator ? _iterator->CurrentCaseIndex() : -1;
    if (caseIndex >= 0 && caseIndex < static_cast<int>(_script.size())) {
      SetCells(_script[static_cast<size_t>(caseIndex)]);
    }
    return _catCells[0] != TableEncryptionCodes::kNoCategory;
  }
  const std::vector<AggregationCategory*>& GetCategoryPointers() override { return _categories; }
  std::vector<int> VariableIndex() override { return {_variable}; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return _readers; }
  void SetIterator(QUOR_InputCaseIterator& iterator) override {
    _iterator = &iterator;
    _valueType = 0;
    if (_variable >= 0 && _variable < iterator.GetDataSource().NumberOfVariables()) {
      _readers.push_back(new ZarnCaseValueReader(iterator, static_cast<unsigned int>(_variable)));
    }
  }
  int GetCategoryEncoding(const OBS* value) const override {
    const std::map<double, int>::const_iterator found = _encodings.find(value->num);
    return found == _encodings.end() ? 0 : found->second;
  }
  int GetNumberOfValues() const override { return 0; }
  void ResetDimension() override { ResetDimensionBase(); }

  using TableDimension::GetCategoryEncoding;

 private:
  int _variable;
  std::vector<Cells> _script;
  std::map<double, int> _encodings;
  std::vector<ZarnCaseValueReader*> _readers;
};

#endif

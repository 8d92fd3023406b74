#ifndef TABLE_DIMENSION_H
#define TABLE_DIMENSION_H

#include <cassert>
#include <cstddef>
#include <string>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"
#include "casesource.h"

class AggregationCategory;
class AggregationStatistic;
class ObsVecMap;
class AggregationVariable;
class CategoryManager;
class CubeAggregator;
class ParsedCategory;
class TableMetadata;
class ZarnCaseValueReader;

// TableDimension: abstract base of the encoded dimensions (one categorical
// variable, a multiple category set, a multiple dichotomy set). Per case it
// turns the current values into a short list of category codes, its category
// cells (cells 0 to _lastCatCell), which the cubes crossing it combine into
// cell keys; sets may also keep a response count per cell.
// Owns its built category list (with the categories that hiding subtotals
// keep out of it, held for computed categories) and its sorting aggregator. Points to (does not
// own) the host's syntax variable, the parsed categories of its explicit list
// and the case iterator. One dimension exists per distinct variable or set of
// a table; TableMetadata owns it and every crossing cube shares it.
class TABCUBE_EXPORT TableDimension {
 public:
  enum DimensionType { kCategoricalVariable = 1, kMCSet = 2, kMDSet = 3 };

  virtual ~TableDimension();

  // Reads the current case through the dimension's readers, fills the
  // category cells (and counts) and the valid flag. False when the case has no
  // usable category in this dimension.
  virtual bool EncodeValue() = 0;
  // Builds (once per reset) and returns the category list.
  virtual const std::vector<AggregationCategory*>& GetCategoryPointers() = 0;
  // The data-source indices of the dimension's variables.
  virtual std::vector<int> VariableIndex() = 0;
  // The dimension's readers, one per variable.
  virtual std::vector<ZarnCaseValueReader*> GetCaseValues() = 0;
  // Binds to the case iterator: creates the readers and the value index and
  // sets the value type.
  virtual void SetIterator(QUOR_InputCaseIterator& iterator) = 0;
  // The code given so far to the value, 0 if none.
  virtual int GetCategoryEncoding(const OBS* value) const = 0;
  // Number of distinct values met so far.
  virtual int GetNumberOfValues() const = 0;
  // Forgets the values met and the categories built.
  virtual void ResetDimension() = 0;

  // One value the dimension has met, in a form that does not depend on the
  // order the cases came: the value's cells and the subtotal code the
  // explicit list gave it (0 for none). A dichotomy set's "value" is the
  // position of a member in the set.
  struct MetValue {
    std::vector<OBS> key;
    int subtotal = 0;
  };
  // The values met so far in code order: values[i] has code i + 1. A
  // dimension that numbers no values of its own has none.
  virtual void GetMetValues(std::vector<MetValue>& values) const { values.clear(); }
  // The code of a value another part of the same data met, numbering it
  // next when it is new here (as a case bringing it now would); 0 when it
  // cannot be a value of this dimension (a key of the wrong size, a member
  // position outside the set).
  virtual int AdoptMetValue(const MetValue& /*value*/) { return TableEncryptionCodes::kNoCategory; }
  // Whether AdoptMetValue would take the value (it would not return 0).
  virtual bool AcceptsMetValue(const MetValue& /*value*/) const { return false; }
  // Cells in the key of a met value.
  virtual int MetValueUnits() const { return 1; }

  // The current case's category cells as plain words, so that a cube can
  // keep them as the key of a leaf and bring them back when it merges the
  // leaf: the number of cells and the valid flag, the codes, then for a set
  // the case's response total and, when responses are counted, each cell's
  // count. Returns the number of words written.
  // REQUIRES: room for MaxCaseCellWords() words.
  int SaveCaseCells(int* words) const {
    int n = 0;
    const int cells = _lastCatCell + 1;
    words[n++] = cells * 2 + (_valueValid ? 1 : 0);
    for (int c = 0; c < cells; ++c) words[n++] = _catCells[static_cast<size_t>(c)];
    if (_type != kCategoricalVariable) words[n++] = _totalCount;
    if (_computingCounts) {
      for (int c = 0; c < cells; ++c) words[n++] = _cellCounts[static_cast<size_t>(c)];
    }
    return n;
  }
  // Brings back cells saved by SaveCaseCells; returns the words read.
  int LoadCaseCells(const int* words) {
    int n = 0;
    const int cells = words[n] / 2;
    _valueValid = (words[n++] & 1) != 0;
    assert(cells >= 1 && cells <= _numCatCells && "saved cells fit the dimension");
    _lastCatCell = cells - 1;
    for (int c = 0; c < cells; ++c) _catCells[static_cast<size_t>(c)] = words[n++];
    if (_type != kCategoricalVariable) _totalCount = words[n++];
    if (_computingCounts) {
      for (int c = 0; c < cells; ++c) _cellCounts[static_cast<size_t>(c)] = words[n++];
    }
    return n;
  }
  int MaxCaseCellWords() const { return 2 + 2 * _numCatCells; }

  DimensionType GetDimensionType() const { return _type; }
  bool IsValueValid() const { return _valueValid; }
  QUOR_InputCaseIterator* GetIterator() const { return _iterator; }
  // 0 numeric, otherwise the string width; -1 until the dimension is bound.
  int GetValueType() const { return _valueType; }

  // REQUIRES: the dimension was built from a syntax variable.
  const AggregationVariable& GetSyntaxVariable() const {
    assert(_syntaxVariable && "_syntaxVariable");
    return *_syntaxVariable;
  }

  // Walking the category cells of the current case:
  //   for (int c = 0, code = d.FirstCategoryCell(c);; code = d.NextCategoryCell(c)) {
  //     ...; if (d.IsCurrentCellLast(c)) break; }
  int FirstCategoryCell(int& currentCatCell) const {
    currentCatCell = 0;
    return _catCells[0];
  }
  // REQUIRES: currentCatCell < _lastCatCell.
  int NextCategoryCell(int& currentCatCell) const {
    assert(currentCatCell < _lastCatCell);
    return _catCells[static_cast<size_t>(++currentCatCell)];
  }
  bool IsCurrentCellLast(const int& currentCatCell) const { return currentCatCell == _lastCatCell; }
  // The response count behind a cell. A dimension that does not count
  // responses gives one response per filled cell.
  // REQUIRES: currentCatCell <= _lastCatCell.
  int GetCellCount(int currentCatCell) const {
    assert(currentCatCell <= _lastCatCell);
    return _computingCounts ? _cellCounts[static_cast<size_t>(currentCatCell)] : 1;
  }
  int GetTotalCount() const { return _totalCount; }

  void SetComputingCounts() {
    _computingCounts = true;
    _cellCounts.resize(static_cast<size_t>(_numCatCells), 0);
  }
  void SetComputingCounts(bool countDuplicates) {
    SetComputingCounts();
    _countDuplicates = countDuplicates;
  }
  void SetComputingTotal() { _computingTotal = true; }
  void SetTotal(bool after) {
    _total = _computingTotal = true;
    _totalAfter = after;
  }
  void SetTotalLabel(const std::string& label, bool isDefault) {
    _totalLabel = label;
    _totalLabelDefault = isDefault;
  }

  // Replaces the explicit category list (the objects stay the host's). An
  // empty list changes nothing.
  void SetParsedCategories(const std::vector<ParsedCategory*>& parsedCategories);
  // The explicit category that takes the value: the last one of the list that
  // contains it; else the "other" category for a non-missing value; else null.
  ParsedCategory* ExplicitListContains(const OBS& value, bool isMissing, int valueType);
  // The code of a value of another variable's type (numbers only on numeric
  // dimensions, strings widened or narrowed over blank units).
  // REQUIRES: valueType >= 0.
  int GetCategoryEncoding(const OBS* value, int valueType) const;

  // Build the category list first when it is not ready.
  int GetNumberOfCategories();
  int NEmptyCategories();
  std::vector<AggregationCategory*>& GetPcomputeRequiredCats() { return _pcomputeRequiredCats; }

  // New categories the caller owns: the total (code -100), and the
  // placeholder "None valid" of a dimension without categories.
  AggregationCategory* GetTotalCategoryPtr() const;
  AggregationCategory* GetDummyCategoryPtr() const;

  // Order the categories by a statistic of the scale variables, or of a
  // statistics dimension (this one when statDim is null). The dimension owns
  // the sorting aggregator; metadata feeds it every encoded case.
  void SetSortByScaleStats(TableMetadata& metadata, const AggregationStatistic& stat);
  void SetSortByDimensionStats(TableMetadata& metadata, TableDimension* statDim,
                               const AggregationStatistic& stat);
  CubeAggregator* GetSortAggregator() const { return _sortAggregator; }

  // Same dimension type and the same variables (a categorical variable) or the
  // same set name (a set).
  bool operator==(const TableDimension& other) const;
  bool operator!=(const TableDimension& other) const { return !(*this == other); }

 protected:
  // Counts the built list's empty categories, puts the "None valid"
  // placeholder in an empty list, marks the list built and returns it. The
  // last step of every dimension's GetCategoryPointers.
  const std::vector<AggregationCategory*>& FinishCategoryList();
  // When the variable orders its categories by a statistic, reorders the
  // manager's list by the sort values and takes it as the category list.
  // REQUIRES: the host set the sort up (SetSortByScaleStats or
  // SetSortByDimensionStats); GetSortValues asserts it.
  void OrderByStatisticWhenAsked(CategoryManager& manager);
  // Starts the category list afresh from the dimension's value index: one
  // value category per value met, in the dimension's value order, of the
  // given width and variable and with the value's code, between the totals
  // (first or last) when they are shown. The first steps of the
  // GetCategoryPointers of a dimension over values.
  void ListIndexedCategories(ObsVecMap* index, int width, int varIndex);
  // Takes the manager's ordered list and the categories its hiding
  // subtotals keep out of it (the dimension destroys them with the list),
  // then orders by a statistic when asked.
  void TakeManagedCategories(CategoryManager& manager);

  TableDimension(int numCatCells, DimensionType type);
  TableDimension(int numCatCells, DimensionType type, const AggregationVariable& variable);
  // Member-wise, sharing the parsed categories and the syntax variable. The
  // category list and the sorting aggregator are owned by the source, so the
  // copy starts without them (it builds its own categories on demand).
  TableDimension(const TableDimension& other);
  TableDimension& operator=(const TableDimension&) = delete;

  // GetMetValues and AdoptMetValue over a value index whose entries hold
  // [0] the code and [1] the subtotal code.
  static void IndexedMetValues(const ObsVecMap* index, int units, std::vector<MetValue>& values);
  static int AdoptIndexedValue(ObsVecMap* index, int units, const MetValue& value);
  static bool IsIndexedValue(const ObsVecMap* index, int units, const MetValue& value);

  void SetCategoryCell(int code) {
    _lastCatCell = 0;
    _catCells[0] = code;
  }
  // REQUIRES: a free cell (_lastCatCell + 1 < _numCatCells).
  void AddCategoryCell(int code) {
    assert(_lastCatCell + 1 < _numCatCells && "_lastCatCell < _numCatCells");
    _catCells[static_cast<size_t>(++_lastCatCell)] = code;
  }
  void SetCellCount(int count) {
    if (_computingCounts) _cellCounts[static_cast<size_t>(_lastCatCell)] = count;
  }
  void SetTotalCount(int count) { _totalCount = count; }
  // Destroys the built categories (shown and hidden) and resets the sorting
  // aggregator.
  void ResetDimensionBase();
  // Destroys the shown categories and the hidden ones kept for computed
  // categories, and empties both lists.
  void DestroyCategories();
  // The sort statistic's value of every category but the total, in list order.
  void GetSortValues(std::vector<double>& values) const;

  DimensionType _type;
  int _numCatCells;
  std::vector<int> _catCells;
  std::vector<int> _cellCounts;
  int _lastCatCell = 0;
  int _totalCount = 0;
  bool _computingCounts = false;
  bool _countDuplicates = false;
  QUOR_InputCaseIterator* _iterator = nullptr;
  int _valueType = -1;
  bool _valueValid = false;
  const AggregationVariable* _syntaxVariable = nullptr;
  bool _includeEmpty = true;
  bool _includeMissing = false;
  bool _ascending = true;
  bool _total = false;
  bool _computingTotal = false;
  bool _totalAfter = true;
  std::string _totalLabel;
  bool _totalLabelDefault = true;
  std::vector<ParsedCategory*> _explicitList;
  bool _usingExplicitList = false;
  ParsedCategory* _otherCategory = nullptr;
  std::vector<AggregationCategory*> _categories;
  std::vector<AggregationCategory*> _pcomputeRequiredCats;
  bool _categoriesReady = false;
  int _numberOfCategories = 0;
  int _numberOfEmptyCategories = 0;
  CubeAggregator* _sortAggregator = nullptr;
  TableEncryptionCodes::StatisticCodes _sortStatistic = TableEncryptionCodes::kNoStatistic;
};

#endif

#ifndef TABLE_C_VARIABLE_H
#define TABLE_C_VARIABLE_H

#include <vector>

#include "TabcubeExport.h"
#include "TableDimension.h"

class AggregationVariable;
class ObsVecMap;
class ZarnCaseValueReader;

// TableCVariable: the dimension of one categorical variable. It numbers the
// variable's distinct values 1, 2, 3 ... in the order the cases bring them,
// writes for each case the value's code, then the total code and the subtotal
// code the value also counts towards, and builds the category list (through
// the category manager) when the results are read.
// Owns its value index (each entry: [0] the value's code, [1] the subtotal
// code of the explicit entry that admitted it) and its reader, both created
// when the dimension is bound to the case iterator. Codes are never reused
// until ResetDimension.
class TABCUBE_EXPORT TableCVariable : public TableDimension {
 public:
  // Category cells of a case: value code, total, subtotal.
  static const int MAX_CATCELLS_SIZE = 3;

  // A dimension over a bare variable index: no syntax settings (no total, no
  // explicit list, missing values excluded, ascending, empty categories kept).
  explicit TableCVariable(int variableIndex);
  explicit TableCVariable(const AggregationVariable& variable);
  // An independent copy: a bound source gives a copy bound to the same
  // iterator, with its own reader and a value index holding the same values
  // under the same codes. Built categories and the sort aggregator stay with
  // the source.
  TableCVariable(const TableCVariable& other);
  TableCVariable& operator=(const TableCVariable&) = delete;
  ~TableCVariable() override;

  // Binds to the iterator: creates the reader and the value index (once) and
  // takes the value type from the variable.
  void SetIterator(QUOR_InputCaseIterator& iterator) override;
  // Encodes the current case. Cells: [code], plus -100 when the total is
  // computed, plus the admitting entry's subtotal code (-101 and below). A
  // missing value that forms no category gives [-100] with totals, else [-99];
  // a valid value outside the explicit list gives [0] and false.
  // REQUIRES: bound (SetIterator).
  bool EncodeValue() override;
  // Builds the category list once per reset: the values met, in value order,
  // with the total where it is shown, then ordered by the category manager
  // (explicit list, labels, empty categories, statistic). An empty list gets
  // the placeholder "None valid", which the category counts do not include.
  const std::vector<AggregationCategory*>& GetCategoryPointers() override;
  std::vector<int> VariableIndex() override { return {_variableIndex}; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return {_reader}; }
  using TableDimension::GetCategoryEncoding;
  // The value's code, 0 when the value has not been met.
  int GetCategoryEncoding(const OBS* value) const override;
  void GetMetValues(std::vector<MetValue>& values) const override;
  int AdoptMetValue(const MetValue& value) override;
  bool AcceptsMetValue(const MetValue& value) const override;
  int MetValueUnits() const override;
  int GetNumberOfValues() const override;
  // Forgets the values met (codes start again from 1) and the categories.
  void ResetDimension() override;

 private:
  // The value's code in the value index, inserting the value when it is new
  // and admitted; 0 when the explicit list refuses it. subtotal receives the
  // admitting entry's subtotal code.
  int FindOrInsertCode(const OBS* value, bool isMissing, int& subtotal);

  // The code and subtotal code of a small whole number met before, looked
  // up directly instead of hashed (most categorical variables hold small
  // whole numbers); 0 when the value has no code yet. A cache of the value
  // index: it holds nothing the index does not.
  bool CachedCode(double number, int& code, int& subtotal) const {
    if (!(number >= 0.0 && number < static_cast<double>(_smallCodes.size()))) return false;
    const size_t at = static_cast<size_t>(number);
    if (static_cast<double>(at) != number || _smallCodes[at].code == 0) return false;
    code = _smallCodes[at].code;
    subtotal = _smallCodes[at].subtotal;
    return true;
  }
  void CacheCode(double number, int code, int subtotal);

  struct SmallCode {
    int code;
    int subtotal;
  };
  // Whole numbers below this are cached (64 KiB of entries at most).
  static const int kSmallCodeLimit = 8192;

  int _variableIndex;
  std::vector<SmallCode> _smallCodes;
  ObsVecMap* _valueIndex = nullptr;
  ZarnCaseValueReader* _reader = nullptr;
};

#endif

#ifndef TABLE_MC_SET_H
#define TABLE_MC_SET_H

#include <vector>

#include "TabcubeExport.h"
#include "TableDimension.h"

class AggregationMCSet;
class ObsVecMap;
class QUOR_Variable;
class ZarnCaseValueReader;

// TableMCSet: the dimension of a multiple category set. Its members are
// variables whose values are all categories of one question, so one case can
// give several responses. Every distinct value met in any member is numbered
// 1, 2, 3 ... in order of first appearance; a case fills one cell per distinct
// category it gives (value codes from the largest down, then the subtotal
// codes), then the total, and, when counting is on, the number of responses
// behind each cell.
// Values of members narrower than the widest member are widened with blank
// units, so a value means the same category in every member. The set's
// user-missing variable judges every member's value; a set without one (an
// empty set) treats only the numeric system-missing value as missing.
// Owns its readers (one per member), its value index (each entry: [0] the
// code, [1] the subtotal code of the explicit entry that admitted the value)
// and its pad buffer, all created when the dimension is bound. Points to the
// missing-value variable of the host's data source.
class TABCUBE_EXPORT TableMCSet : public TableDimension {
 public:
  // Size in bytes of one value unit: strings are handled in 8-byte units.
  static const unsigned int OBSSize = 8;

  explicit TableMCSet(const AggregationMCSet& set);
  // An independent copy: a bound source gives a copy bound to the same
  // iterator, with its own readers and a value index holding the same values
  // under the same codes. Built categories and the sort aggregator stay with
  // the source.
  TableMCSet(const TableMCSet& other);
  TableMCSet& operator=(const TableMCSet&) = delete;
  ~TableMCSet() override;

  // Binds to the iterator: looks up the missing-value variable, creates the
  // readers and the value index (once, keyed on the widest member), and
  // computes the member sizes.
  void SetIterator(QUOR_InputCaseIterator& iterator) override;
  // Encodes the current case. Cells: the distinct categories of the case,
  // largest code first, then their subtotals, then -100 when the total is
  // computed (its count is the number of responses). A case without a
  // response category gives [-100] or [-99] when some member was missing, or
  // [0] and false when every value was valid but refused by the explicit list.
  // REQUIRES: bound (SetIterator).
  bool EncodeValue() override;
  // Builds the category list once per reset: the values met, in value order,
  // with the total where it is shown, then labelled and ordered by the
  // category manager (each value takes its label and variable index from the
  // first member that labels it). An empty list gets the placeholder "None
  // valid", which the category counts do not include.
  const std::vector<AggregationCategory*>& GetCategoryPointers() override;
  std::vector<int> VariableIndex() override { return _members; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return _readers; }
  using TableDimension::GetCategoryEncoding;
  // The code of a value of the widest member's width, 0 when not met.
  int GetCategoryEncoding(const OBS* value) const override;
  void GetMetValues(std::vector<MetValue>& values) const override;
  int AdoptMetValue(const MetValue& value) override;
  bool AcceptsMetValue(const MetValue& value) const override;
  int MetValueUnits() const override;
  int GetNumberOfValues() const override;
  // Forgets the values met (codes start again from 1) and the categories.
  void ResetDimension() override;

 protected:
  // One unit of eight blanks.
  static const OBS& Blanks();

 private:
  // The response count of one category (or subtotal) of the current case.
  struct CategoryCount {
    int code;
    int count;
  };

  // The value copied into the pad buffer from its first `units` units and
  // blank-filled to the buffer's end.
  const OBS* Widen(const OBS* value, int units);
  // Whether the member's value is valid under the missing-value variable (or,
  // without one, unless it is the numeric system-missing value).
  bool IsValidValue(int memberType, const OBS* value, int valueUnits);
  // The value's code, inserting the value when it is new and admitted; 0 when
  // the explicit list refuses it. subtotal receives the admitting entry's
  // subtotal code (0 for none).
  int FindOrInsertCode(const OBS* value, int valueUnits, bool isMissing, int& subtotal);
  // Position of the code in _catCount, or its size when absent.
  size_t FindCount(int code) const;
  // Enters the code with one response, keeping _catCount in descending order.
  void InsertCount(int code);

  std::vector<int> _members;
  ObsVecMap* _valueIndex = nullptr;
  std::vector<ZarnCaseValueReader*> _readers;
  int _userMissingVariable;
  const QUOR_Variable* _missingValueVariable = nullptr;
  // Each member's width in units, and its type (0 numeric, else the width).
  std::vector<int> _memberSizes;
  std::vector<int> _memberTypes;
  // Position in _members of the first widest member, and its width.
  int _widestMember = 0;
  int _widestWidth = 0;
  // The widest member's size in units.
  int _valueSize = 1;
  bool _allSameSize = true;
  // Values widened with blank units: to the value size, to the width of the
  // widest explicit entry (which reads the value at its own width), or to the
  // missing-value variable's width, whichever is largest.
  std::vector<OBS> _padBuffer;
  // The categories of the current case, codes in descending order. Holds at
  // most one value code and one subtotal code per member, so its reserved
  // capacity never grows.
  std::vector<CategoryCount> _catCount;
};

#endif

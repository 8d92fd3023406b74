#ifndef TABLE_MD_SET_H
#define TABLE_MD_SET_H

#include <vector>

#include "TabcubeExport.h"
#include "TableDimension.h"

class AggregationMDSet;
class ZarnCaseValueReader;

// TableMDSet: the dimension of a multiple dichotomy set. Each member variable
// is one category, named after the variable; a member responds when its value
// bytes equal the set's counted value (there is no notion of missing values:
// any other value is simply no response). Members get codes 1, 2, 3 ... in
// order of their first response, and keep them across ResetDimension. A case
// fills one cell per responding member, in member order, with a subtotal cell
// closing each run of responding members that share a subtotal of the explicit
// list, then the total.
// With an explicit list the members are its variable entries, in list order.
// Owns its readers (created when bound) and its copy of the counted value.
// Points to the host's parsed categories and data source.
class TABCUBE_EXPORT TableMDSet : public TableDimension {
 public:
  explicit TableMDSet(const AggregationMDSet& set);
  // An independent copy: the same members, codes and counted value; a bound
  // source gives a copy bound to the same iterator with its own readers.
  // Built categories and the sort aggregator stay with the source.
  TableMDSet(const TableMDSet& other);
  TableMDSet& operator=(const TableMDSet&) = delete;
  ~TableMDSet() override;

  // Binds to the iterator: creates the readers and the compare sizes (once)
  // and, for numeric members, turns a negative-zero counted value into +0.0.
  // REQUIRES: no member is wider than the counted value.
  void SetIterator(QUOR_InputCaseIterator& iterator) override;
  // Encodes the current case: [codes of the responding members, subtotal
  // cells, -100 when the total is computed], each with its response count; a
  // case without a response gives [-100] or [-99]. Never false.
  // REQUIRES: bound (SetIterator).
  bool EncodeValue() override;
  // Builds the category list once per reset: one variable category per member
  // that has a code (or every member when empty categories are included),
  // named after the variable and labelled from it (or from the counted value's
  // label in it); with an explicit list, in list order with its subtotals and
  // computed categories, else ordered by name, label or statistic.
  const std::vector<AggregationCategory*>& GetCategoryPointers() override;
  std::vector<int> VariableIndex() override { return _varList; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return _readers; }
  using TableDimension::GetCategoryEncoding;
  // The value is a variable index held as a number: the code of the first
  // member with that index, 0 when it is no member or has not responded.
  // REQUIRES: value->num >= 0.
  int GetCategoryEncoding(const OBS* value) const override;
  // Number of members that have responded so far.
  void GetMetValues(std::vector<MetValue>& values) const override;
  int AdoptMetValue(const MetValue& value) override;
  bool AcceptsMetValue(const MetValue& value) const override;
  int MetValueUnits() const override;
  int GetNumberOfValues() const override { return _nextCode; }
  // Forgets the built categories; member codes stay.
  void ResetDimension() override;

 protected:
  // Names and labels every member category (shown or hidden).
  void PrepareMDCategories(const QUOR_DataSource& dataSource);
  // Takes the members and their subtotal codes from the explicit list's
  // variable entries.
  void SetParsedVariables();

 private:
  // Whether the member's current value is the counted value.
  bool Responds(size_t member) const;
  // A new variable category for the member.
  AggregationCategory* MemberCategory(size_t member) const;
  void Label(AggregationCategory* category, const QUOR_DataSource& dataSource) const;

  std::vector<int> _varList;
  std::vector<ZarnCaseValueReader*> _readers;
  // Bytes compared for each member: 8 per unit of its width.
  std::vector<int> _varSizes;
  // Each member is numeric (its -0.0 compares as +0.0).
  std::vector<bool> _varNumeric;
  std::vector<OBS> _countedValue;
  int _valueSize;
  int _nextCode = 0;
  std::vector<int> _varEncodings;
  std::vector<int> _subtotalCodes;
  bool _useLabelFromValue;
};

#endif

#ifndef CATEGORY_MANAGER_H
#define CATEGORY_MANAGER_H

#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"
#include "casesource.h"

class AggregationCategory;
class AggregationVariable;
class ParsedCategory;
class TableDimension;

// CategoryManager: a short-lived working object that turns the categories a
// dimension met in the data into the dimension's final, ordered category list,
// as the syntax asked for it: empty categories from value labels and explicit
// entries, the distribution of categories over the explicit list, subtotal and
// computed categories, hidden categories of hiding subtotals, the total kept
// first or last, value labels, and the orderings by label, by member variable
// and by a statistic, plus the merging of categories found later.
//
// The manager owns only its sequences, never a category: the categories in
// its lists, including those it creates (empty, subtotal and computed
// categories), belong to whoever takes the lists (the dimension). It points to
// the host's data source, the dimension being built and the host's parsed
// categories, all of which outlive it. The parsed categories collect category
// pointers while a list is built; every build empties them first.
class TABCUBE_EXPORT CategoryManager {
 public:
  // categories: the dimension's categories in value order, with the total
  // first or last when one is wanted. Reads the variable's options and
  // explicit list.
  // REQUIRES: categories are given or empty categories are wanted.
  CategoryManager(const std::vector<AggregationCategory*>& categories,
                  const AggregationVariable& variable, const QUOR_DataSource& dataSource,
                  TableDimension* dimension);
  // As above with the data source of the dimension's iterator. For a
  // dichotomy set with an explicit list it also files every member category
  // under the list entry of its variable.
  // REQUIRES: the dimension is bound to an iterator.
  CategoryManager(const std::vector<AggregationCategory*>& categories,
                  const AggregationVariable& variable, TableDimension* dimension);
  ~CategoryManager();
  CategoryManager(const CategoryManager&) = delete;
  CategoryManager& operator=(const CategoryManager&) = delete;

  const std::vector<AggregationCategory*>& GetCategories() const { return _categories; }
  // Categories that hiding subtotals removed from the list; still needed to
  // compute the subtotals and computed categories.
  const std::vector<AggregationCategory*>& GetPcRequiredCategories() const {
    return _hiddenCategories;
  }
  int GetValueType() const { return _valueType; }
  void SetValueType(int valueType) { _valueType = valueType; }
  int GetVarIndex() const { return _varIndex; }
  void SetVarIndex(int varIndex) { _varIndex = varIndex; }
  bool GetIncludeEmpty() const { return _includeEmpty; }
  bool UsingExplicitList() const { return !_parsedCategories.empty(); }

  // Builds the list of a categorical variable; returns its size.
  int OrderCategories();
  // Builds the list of a multiple category set whose values are valueType
  // bytes wide (0 numeric); every value category takes its label and variable
  // index from the first member that labels it. Returns the list's size.
  int OrderMCCategories(int valueType);
  // Orders a dichotomy set's member categories by value (the variable names)
  // or, for a label sort, by label with unlabelled members last by value.
  int OrderMDCategories();
  // Orders the categories (the total aside) by one value each, in list order;
  // categories whose value is the missing value go last in their order.
  // values is left unchanged.
  // REQUIRES: one value per category other than the total.
  int OrderByStats(std::vector<double>& values);
  // Merges categories found later into the built list: value and member
  // categories not yet present join it in the list's order (or through the
  // explicit list). A list holding only the placeholder is replaced. The
  // categories that join belong to the list's taker; the others stay the
  // caller's. Returns the new size.
  // REQUIRES: the list is not empty; no merge of a list ordered by a statistic.
  int AddCategories(const std::vector<AggregationCategory*>& categories);

  // A new computed category of the explicit list's entry, of the given
  // variable; the caller owns it.
  static AggregationCategory* NewComputedCategory(const ParsedCategory& entry, int varIndex);

 private:
  enum TotalPosition { kTotalFirst = 0, kTotalLast = 1, kNoTotal = 2 };

  void ComputeTotalPosition();
  // The range of _categories that excludes the total.
  size_t FirstNonTotal() const;
  size_t EndNonTotal() const;
  // Removes the total (when there is one) and returns it, or null.
  AggregationCategory* TakeTotalOut();
  // Rebuilds _categories as total (when first), the parts in order, total
  // (when last).
  void PutTogether(AggregationCategory* total, const std::vector<AggregationCategory*>& first,
                   const std::vector<AggregationCategory*>& second);

  const QUOR_Variable& Variable(int index) const;
  // The variable's IsMissing for a value of another width (padded or checked).
  static bool VariableSaysMissing(const QUOR_Variable& variable, const OBS* value, int valueType);
  // The rule of the explicit list: missing only when the list names missing
  // or other values and a missing-value variable exists.
  bool IsMissing(const OBS* value, int valueType, bool otherOrMissingListed) const;
  // The dimension's explicit-list lookup; -1 asks for the entry-width form.
  ParsedCategory* Lookup(const OBS* value, int valueType, bool isMissing, int formWidth) const;
  // The first member-variable entry of the variable, or null.
  ParsedCategory* VariableEntry(int varIndex) const;
  // Whether the list holds a missing or an other entry.
  bool OtherOrMissingListed() const;
  // Empties every entry and returns OtherOrMissingListed().
  bool PrepareExplicitList();
  // Files every category met in the data under its entry.
  void DistributeMetCategories(bool otherOrMissingListed, bool multipleCategorySet);
  // Gives each value entry without categories an empty category of its own
  // value, unless a later entry claims the value.
  void AddEmptyEntryCategories(bool otherOrMissingListed, int varIndex, int listWidth);
  // Inserts a new value category among the categories other than the total,
  // keeping value order.
  void InsertInValueOrder(AggregationCategory* category, int width);

  void GetCatLabels();
  void GetMCCatLabels();
  int GetVarIndexForLabel(AggregationCategory* category) const;
  int GetAllLabeledValues();
  int GetAllMCLabeledValues();
  void GetAllCatsForExplicitList(bool otherOrMissingListed);
  void GetAllMCCatsForExplicitList(bool otherOrMissingListed);
  void ProcessPComputeCategories();
  void ProcessSubtotalsAndMerge();
  void SortCategoriesByLabels();

  std::vector<AggregationCategory*> _categories;
  std::vector<AggregationCategory*> _hiddenCategories;
  std::vector<ParsedCategory*> _parsedCategories;
  bool _includeEmpty;
  bool _descending;
  bool _byLabel;
  bool _totalAfter;
  bool _includeMissing;
  TableEncryptionCodes::SortKey _sortKey;
  int _varIndex;
  std::vector<int> _varIndices;
  int _valueType = 0;
  const QUOR_DataSource* _dataSource;
  const QUOR_Variable* _missingVariable = nullptr;
  TableDimension* _dimension;
  TotalPosition _totalPosition = kNoTotal;
  // Widest value of the explicit entries; values are padded to it before the
  // entry-width lookup so that no entry reads past a narrower value.
  int _widestEntry = 0;
};

#endif

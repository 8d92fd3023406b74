#include "TableDimension.h"

#include "AggregationCategory.h"
#include "AggregationStatistic.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "ParsedCategory.h"

TableDimension::TableDimension(int numCatCells, DimensionType type)
    : _type(type), _numCatCells(numCatCells), _catCells(static_cast<size_t>(numCatCells), 0) {}

TableDimension::TableDimension(int numCatCells, DimensionType type,
                               const AggregationVariable& variable)
    : TableDimension(numCatCells, type) {
  _syntaxVariable = &variable;
  _includeEmpty = variable.GetIsEmptyInclude();
  _includeMissing = !variable.GetIsMissingExclude();
  _ascending = variable.GetIsOrderA();
  _total = _computingTotal = !variable.GetIsTotalNo();
  _totalAfter = variable.GetIsTotalPositionAfter();
  _totalLabel = variable.GetTotalLabel();
  _totalLabelDefault = variable.GetIsTotalLabelDefault();
  SetParsedCategories(variable.GetParsedCategories());
}

// The built categories and the sorting aggregator belong to the source, which
// destroys them; sharing them would destroy them twice. The copy rebuilds its
// own categories the first time they are asked for.
TableDimension::TableDimension(const TableDimension& other)
    : _type(other._type),
      _numCatCells(other._numCatCells),
      _catCells(other._catCells),
      _cellCounts(other._cellCounts),
      _lastCatCell(other._lastCatCell),
      _totalCount(other._totalCount),
      _computingCounts(other._computingCounts),
      _countDuplicates(other._countDuplicates),
      _iterator(other._iterator),
      _valueType(other._valueType),
      _valueValid(other._valueValid),
      _syntaxVariable(other._syntaxVariable),
      _includeEmpty(other._includeEmpty),
      _includeMissing(other._includeMissing),
      _ascending(other._ascending),
      _total(other._total),
      _computingTotal(other._computingTotal),
      _totalAfter(other._totalAfter),
      _totalLabel(other._totalLabel),
      _totalLabelDefault(other._totalLabelDefault),
      _explicitList(other._explicitList),
      _usingExplicitList(other._usingExplicitList),
      _otherCategory(other._otherCategory),
      _sortStatistic(other._sortStatistic) {}

TableDimension::~TableDimension() {
  for (AggregationCategory* category : _categories) delete category;
  delete _sortAggregator;
}

void TableDimension::SetParsedCategories(const std::vector<ParsedCategory*>& parsedCategories) {
  if (parsedCategories.empty()) return;
  // An explicit list shows its categories in list order, missing ones included
  // when it names them.
  _usingExplicitList = true;
  _includeMissing = true;
  _ascending = true;
  _otherCategory = nullptr;
  _explicitList.clear();
  for (ParsedCategory* parsed : parsedCategories) {
    const ParsedCategory::ParsedCatType type = parsed->GetPCType();
    if (type == ParsedCategory::kOtherNM) {
      _otherCategory = parsed;
    } else if (type == ParsedCategory::kSubtotal || type == ParsedCategory::kHSubtotal) {
      // Only a dichotomy set encodes subtotals through its list (its member
      // entries sit between them); the other dimensions take a subtotal from
      // the entry that admitted the value.
      if (_type == kMDSet) _explicitList.push_back(parsed);
    } else {
      _explicitList.push_back(parsed);
    }
  }
}

ParsedCategory* TableDimension::ExplicitListContains(const OBS& value, bool isMissing,
                                                     int valueType) {
  // A later entry of the syntax list takes precedence over an earlier one.
  for (auto entry = _explicitList.rbegin(); entry != _explicitList.rend(); ++entry) {
    const bool contains = valueType >= 0 ? (*entry)->Contains(value, valueType, isMissing)
                                         : (*entry)->Contains(value, isMissing);
    if (contains) return *entry;
  }
  return isMissing ? nullptr : _otherCategory;
}

// Placeholder: the conversion between value types arrives with the dimension
// classes.
int TableDimension::GetCategoryEncoding(const OBS* /*value*/, int /*valueType*/) const {
  return 0;
}

int TableDimension::GetNumberOfCategories() {
  if (!_categoriesReady) GetCategoryPointers();
  return _numberOfCategories;
}

int TableDimension::NEmptyCategories() {
  if (!_categoriesReady) GetCategoryPointers();
  return _numberOfEmptyCategories;
}

AggregationCategory* TableDimension::GetTotalCategoryPtr() const {
  AggregationCategory* total = new AggregationCategory(AggregationCategory::kTotal);
  total->SetCatValue(0.0);
  total->SetCatEncoding(TableEncryptionCodes::kTotalCategory);
  const std::vector<int> variables = const_cast<TableDimension*>(this)->VariableIndex();
  if (!variables.empty()) total->SetVarIndex(variables.front());
  total->SetCatLabel(_totalLabel, _totalLabelDefault);
  return total;
}

AggregationCategory* TableDimension::GetDummyCategoryPtr() const {
  AggregationCategory* dummy = new AggregationCategory();
  const std::vector<int> variables = const_cast<TableDimension*>(this)->VariableIndex();
  if (!variables.empty()) dummy->SetVarIndex(variables.front());
  dummy->SetCatLabel("None valid", true);
  return dummy;
}

// Placeholder: sorting by a statistic arrives with the dimension classes.
void TableDimension::SetSortByScaleStats(TableMetadata& /*metadata*/,
                                         const AggregationStatistic& stat) {
  _sortStatistic = stat.GetSummaryStatistic();
}

// Placeholder: sorting by a statistic arrives with the dimension classes.
void TableDimension::SetSortByDimensionStats(TableMetadata& /*metadata*/,
                                             TableDimension* /*statDim*/,
                                             const AggregationStatistic& stat) {
  _sortStatistic = stat.GetSummaryStatistic();
}

bool TableDimension::operator==(const TableDimension& other) const {
  if (_type != other._type) return false;
  if (_type == kCategoricalVariable) {
    // VariableIndex only reads the dimension.
    return const_cast<TableDimension*>(this)->VariableIndex() ==
           const_cast<TableDimension&>(other).VariableIndex();
  }
  // A set is identified by its name. A set dimension is always built from its
  // syntax description.
  return GetSyntaxVariable().GetNameToken() == other.GetSyntaxVariable().GetNameToken();
}

void TableDimension::ResetDimensionBase() {
  for (AggregationCategory* category : _categories) delete category;
  _categories.clear();
  _categoriesReady = false;
  if (_sortAggregator) _sortAggregator->ResetAggregator();
}

// Placeholder: sort values arrive with the dimension classes.
void TableDimension::GetSortValues(std::vector<double>& values) const {
  values.clear();
}

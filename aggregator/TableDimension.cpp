#include "TableDimension.h"

#include "CategoryManager.h"

#include <cassert>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationStatistic.h"
#include "AggregationVariable.h"
#include "CellKey.h"
#include "CubeAggregator.h"
#include "CubeMetadata.h"
#include "DimensionCells.h"
#include "ParsedCategory.h"
#include "StatisticTraits.h"
#include "TableMetadata.h"
#include "keyindex.h"

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
  DestroyCategories();
  delete _sortAggregator;
}

// The categories hidden by a hiding subtotal live only in the list of
// categories required by computed categories, so the dimension owns both lists.
void TableDimension::DestroyCategories() {
  for (AggregationCategory* category : _categories) delete category;
  _categories.clear();
  for (AggregationCategory* category : _pcomputeRequiredCats) delete category;
  _pcomputeRequiredCats.clear();
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

namespace {

// Values of this many units or fewer are widened on the stack; wider ones
// (rare: strings over 256 bytes) in a heap buffer.
constexpr int kStackUnits = 32;

}  // namespace

int TableDimension::GetCategoryEncoding(const OBS* value, int valueType) const {
  assert(valueType >= 0);
  if (valueType == 0) return _valueType == 0 ? GetCategoryEncoding(value) : 0;
  if (_valueType < 1) return 0;

  const int valueUnits = QUOR_CellCount(valueType);
  const int dimensionUnits = QUOR_CellCount(_valueType);
  const OBS& blanks = AggregationCategory::Blanks();

  if (valueUnits < dimensionUnits) {
    // Widen the value with blank units to the dimension's width.
    OBS stackBuffer[kStackUnits];
    std::vector<OBS> heapBuffer;
    OBS* buffer = stackBuffer;
    if (dimensionUnits > kStackUnits) {
      heapBuffer.resize(static_cast<size_t>(dimensionUnits));
      buffer = heapBuffer.data();
    }
    for (int unit = 0; unit < valueUnits; ++unit) buffer[unit] = value[unit];
    for (int unit = valueUnits; unit < dimensionUnits; ++unit) buffer[unit] = blanks;
    return GetCategoryEncoding(buffer);
  }

  // The value is at least as wide as the dimension. The dimension compares
  // only its own width, so every byte of the value beyond that width must be
  // a blank, inside the dimension's last unit as well as in further units:
  // otherwise the value differs from every value of the dimension.
  if (valueType > _valueType) {
    const char* bytes = value[0].str;
    const size_t valueBytes = static_cast<size_t>(valueUnits) * AggregationCategory::OBSSize;
    for (size_t byte = static_cast<size_t>(_valueType); byte < valueBytes; ++byte) {
      if (bytes[byte] != blanks.str[0]) return 0;
    }
  }
  return GetCategoryEncoding(value);
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

void TableDimension::OrderByStatisticWhenAsked(CategoryManager& manager) {
  if (GetSyntaxVariable().GetSortKey() != TableEncryptionCodes::kStatisticSort) return;
  std::vector<double> sortValues;
  GetSortValues(sortValues);
  manager.OrderByStats(sortValues);
  _categories = manager.GetCategories();
}

void TableDimension::ListIndexedCategories(ObsVecMap* index, int width, int varIndex) {
  DestroyCategories();
  const bool hasValues = index && index->Size() > 0;
  const bool showTotal = _total && (hasValues || _includeEmpty);
  if (showTotal && !_totalAfter) _categories.push_back(GetTotalCategoryPtr());
  if (hasValues) {
    std::vector<OBS*> sorted = index->Sort();
    const size_t n = sorted.size();
    for (size_t i = 0; i < n; ++i) {
      OBS* element = sorted[_ascending ? i : n - 1 - i];
      AggregationCategory* category = new AggregationCategory(AggregationCategory::kValue, width);
      category->SetVarIndex(varIndex);
      category->SetCatValue(*index->Key(element));
      category->SetCatEncoding(
          static_cast<int>(index->Value(element)[DimensionCells::kCodeSlot].num));
      _categories.push_back(category);
    }
  }
  if (showTotal && _totalAfter) _categories.push_back(GetTotalCategoryPtr());
}

void TableDimension::TakeManagedCategories(CategoryManager& manager) {
  _categories = manager.GetCategories();
  _pcomputeRequiredCats = manager.GetPcRequiredCategories();
  OrderByStatisticWhenAsked(manager);
}

const std::vector<AggregationCategory*>& TableDimension::FinishCategoryList() {
  _numberOfCategories = static_cast<int>(_categories.size());
  _numberOfEmptyCategories = 0;
  for (const AggregationCategory* category : _categories) {
    if (category->GetCatEncoding() == TableEncryptionCodes::kNoCategory) {
      ++_numberOfEmptyCategories;
    }
  }
  if (_categories.empty()) _categories.push_back(GetDummyCategoryPtr());

  _categoriesReady = true;
  return _categories;
}

AggregationCategory* TableDimension::GetDummyCategoryPtr() const {
  AggregationCategory* dummy = new AggregationCategory();
  const std::vector<int> variables = const_cast<TableDimension*>(this)->VariableIndex();
  if (!variables.empty()) dummy->SetVarIndex(variables.front());
  dummy->SetCatLabel("None valid", true);
  return dummy;
}

void TableDimension::SetSortByScaleStats(TableMetadata& metadata,
                                         const AggregationStatistic& stat) {
  assert(!_sortAggregator && "a dimension sorts by one statistic");
  _sortStatistic = stat.GetSummaryStatistic();
  CubeMetadata sortCube;
  sortCube.AddDimension(this, TableEncryptionCodes::kRowPosition);
  _sortAggregator = new CubeAggregator(metadata, sortCube);
  assert(_sortAggregator && "_sortAggregator");
  _sortAggregator->SetCellStatistics(std::vector<AggregationStatistic>{stat}, nullptr);
  metadata.AddSortAggregator(_sortAggregator);
}

void TableDimension::SetSortByDimensionStats(TableMetadata& metadata, TableDimension* statDim,
                                             const AggregationStatistic& stat) {
  assert(!_sortAggregator && "a dimension sorts by one statistic");
  _sortStatistic = stat.GetSummaryStatistic();
  CubeMetadata sortCube;
  sortCube.AddDimension(this, TableEncryptionCodes::kRowPosition);
  if (statDim && statDim != this) {
    // The sort value of a category is read from the total of the statistics
    // dimension, so that dimension must compute it.
    sortCube.AddDimension(statDim, TableEncryptionCodes::kRowPosition);
    statDim->SetComputingTotal();
  }
  _sortAggregator = new CubeAggregator(metadata, sortCube);
  assert(_sortAggregator && "_sortAggregator");
  TableDimension* statsDimension = statDim ? statDim : this;
  if (statsDimension->GetDimensionType() != kCategoricalVariable) {
    statsDimension->SetComputingCounts();
  }
  _sortAggregator->SetCellStatistics(std::vector<AggregationStatistic>{stat}, statsDimension);
  metadata.AddSortAggregator(_sortAggregator);
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
  DestroyCategories();
  _categoriesReady = false;
  if (_sortAggregator) _sortAggregator->ResetAggregator();
}

void TableDimension::GetSortValues(std::vector<double>& values) const {
  assert(_sortAggregator && "_sortAggregator");
  values.clear();
  // A count-like statistic's missing value means "nothing counted": its
  // categories without cells sort as 0.
  const bool countLike = IsCountLike(_sortStatistic);
  const int nDim = _sortAggregator->GetKeyLength();
  assert(nDim == 1 || nDim == 2);
  CellKey key(nDim);
  // With a separate statistics dimension the value is read from its total.
  if (nDim == 2) key[1] = TableEncryptionCodes::kTotalCategory;
  for (const AggregationCategory* category : _categories) {
    const int code = category->GetCatEncoding();
    if (code == TableEncryptionCodes::kTotalCategory) continue;
    double value = TableEncryptionCodes::kMissingValue;
    if (code != TableEncryptionCodes::kNoCategory) {
      key[0] = code;
      value = _sortAggregator->GetSortValue(key);
    }
    if (countLike && value == TableEncryptionCodes::kMissingValue) value = 0.0;
    values.push_back(value);
  }
}

void TableDimension::IndexedMetValues(const ObsVecMap* index, int units,
                                      std::vector<MetValue>& values) {
  values.clear();
  if (!index) return;
  const size_t size = index->Size();
  values.resize(size);
  ObsVecMap& entries = const_cast<ObsVecMap&>(*index);
  for (OBS* element : entries.Sort()) {
    const OBS* slots = entries.Value(element);
    const size_t code = static_cast<size_t>(slots[0].num + 0.5);
    assert(code >= 1 && code <= size && "codes number the values 1 to n");
    MetValue& value = values[code - 1];
    const OBS* key = entries.Key(element);
    value.key.assign(key, key + units);
    value.subtotal = static_cast<int>(slots[1].num);
  }
}

bool TableDimension::IsIndexedValue(const ObsVecMap* index, int units, const MetValue& value) {
  const bool subtotalCode =
      value.subtotal == 0 || (value.subtotal >= TableEncryptionCodes::kLowerSubtotal &&
                              value.subtotal <= TableEncryptionCodes::kMaxSubtotal);
  return index && static_cast<int>(value.key.size()) == units && subtotalCode;
}

int TableDimension::AdoptIndexedValue(ObsVecMap* index, int units, const MetValue& value) {
  if (!IsIndexedValue(index, units, value)) return TableEncryptionCodes::kNoCategory;
  OBS* entry = index->Contains(value.key.data());
  if (!entry) {
    entry = index->Insert(value.key.data());
    entry[0].num = static_cast<double>(index->Size());
    entry[1].num = static_cast<double>(value.subtotal);
  }
  return static_cast<int>(entry[0].num + 0.5);
}

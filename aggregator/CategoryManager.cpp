#include "CategoryManager.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationVariable.h"
#include "ParsedCategory.h"
#include "TableDimension.h"
#include "keyindex.h"
#include "textplat.h"

namespace {

// A value made readable over `width` bytes: its own cells when they cover the
// width, otherwise a copy blank-filled to the width. The host's value-label
// and missing-value tests read the variable's full width, and explicit
// entries read their own width, so a narrower value must not be handed over
// as it is.
class WidenedValue {
 public:
  WidenedValue(const OBS* value, int valueType, int width) : _value(value) {
    const int have = QUOR_CellCount(valueType);
    const int need = QUOR_CellCount(width);
    if (need <= have) return;
    _cells.assign(static_cast<size_t>(need), AggregationCategory::Blanks());
    std::copy(value, value + have, _cells.begin());
    _value = _cells.data();
  }
  const OBS* Get() const { return _value; }

 private:
  const OBS* _value;
  std::vector<OBS> _cells;
};

// Whether a value of width valueType can be a value of a variable of width
// variableType: the same kind, and no character beyond the variable's width.
bool FitsVariable(const OBS* value, int valueType, int variableType) {
  if ((valueType == 0) != (variableType == 0)) return false;
  const char* bytes = value->str;
  for (int i = variableType; i < valueType; ++i) {
    if (bytes[i] != ' ') return false;
  }
  return true;
}

// The label a variable's value-label map gives the value, or null.
const char* LabelIn(const QUOR_ValueLabelMap& labels, int variableType, const OBS* value,
                    int valueType) {
  if (!FitsVariable(value, valueType, variableType)) return nullptr;
  const WidenedValue widened(value, valueType, variableType);
  return labels.GetLabel(widened.Get());
}

int CompareValues(const AggregationCategory* a, const AggregationCategory* b) {
  return AggregationCategory::OBSCompare(a->GetCatValue(), a->GetValueType(), b->GetCatValue(),
                                         b->GetValueType());
}

// Compares two labels in the host's collation.
int CompareLabels(const AggregationCategory* a, const AggregationCategory* b) {
  return QUORMBstrcoll_A(a->GetCatLabel().c_str(), b->GetCatLabel().c_str());
}

// The "comes before" of a three-way comparison in the list's direction.
template <class Compare>
auto InDirection(Compare compare, bool descending) {
  return [compare, descending](const AggregationCategory* a, const AggregationCategory* b) {
    const int order = compare(a, b);
    return descending ? order > 0 : order < 0;
  };
}

// The order of a built list, as "comes before" in the list's direction.
// Sorted by label: labelled categories first, in label order, then the
// unlabelled ones; where labels agree (or there are none) the value decides,
// as the stable label sort of a value-ordered list leaves them. Two
// categories of the list never compare equal.
auto ListOrder(bool byLabel, bool descending) {
  return [byLabel, descending](const AggregationCategory* a, const AggregationCategory* b) {
    int compRes = 0;
    if (byLabel) {
      const bool aLabelled = !a->GetCatLabel().empty();
      const bool bLabelled = !b->GetCatLabel().empty();
      if (aLabelled != bLabelled) return aLabelled;
      if (aLabelled) compRes = CompareLabels(a, b);
    }
    if (compRes == 0) compRes = CompareValues(a, b);
    assert(compRes != 0);
    return descending ? compRes > 0 : compRes < 0;
  };
}

// A value category that no case reached: no code, the given width, variable
// and label (none when null), holding a value of width valueType.
AggregationCategory* NewEmptyValueCategory(const OBS& value, int valueType, int width, int varIndex,
                                           const char* label) {
  AggregationCategory* category = new AggregationCategory(AggregationCategory::kValue, width);
  category->SetVarIndex(varIndex);
  category->SetCatEncoding(TableEncryptionCodes::kNoCategory);
  if (label) category->SetCatLabel(label, false);
  category->SetCatValue(value, valueType);
  return category;
}

// Gives the value's label and variable to the category of the list equal to
// the fresh category and deletes the fresh one; else keeps it. True when kept.
bool KeepUnlessListed(std::vector<AggregationCategory*>& list, AggregationCategory* fresh,
                      const char* label, int varIndex) {
  auto existing = std::find_if(list.begin(), list.end(), [fresh](const AggregationCategory* other) {
    return *other == *fresh;
  });
  if (existing == list.end()) return true;
  (*existing)->SetCatLabel(label, false);
  (*existing)->SetVarIndex(varIndex);
  delete fresh;
  return false;
}

// Width of the empty category made for a value entry of a list whose
// categories are listWidth wide. An entry may name a string longer than the
// variable; its category then keeps the whole string rather than cutting it.
int EmptyCategoryWidth(int entryWidth, int listWidth) {
  if (entryWidth == 0 || listWidth == 0) return entryWidth;
  return std::max(entryWidth, listWidth);
}

const QUOR_DataSource& DataSourceOf(const TableDimension* dimension) {
  assert(dimension && dimension->GetIterator());
  return dimension->GetIterator()->GetDataSource();
}

}  // namespace

CategoryManager::CategoryManager(const std::vector<AggregationCategory*>& categories,
                                 const AggregationVariable& variable,
                                 const QUOR_DataSource& dataSource, TableDimension* dimension)
    : _categories(categories),
      _parsedCategories(variable.GetParsedCategories()),
      _includeEmpty(variable.GetIsEmptyInclude()),
      _descending(!variable.GetIsOrderA()),
      _byLabel(variable.GetSortKey() == TableEncryptionCodes::kLabelSort),
      _totalAfter(variable.GetIsTotalPositionAfter()),
      _includeMissing(!variable.GetIsMissingExclude()),
      _sortKey(variable.GetSortKey()),
      _varIndex(variable.GetIndex()),
      _dataSource(&dataSource),
      _dimension(dimension) {
  assert(_dimension);
  _varIndices = _dimension->VariableIndex();
  assert(_categories.size() > 0 || _includeEmpty);
  ComputeTotalPosition();

  // The variable whose missing-value definition decides what is missing: a
  // category set's user-missing variable, nothing for a dichotomy set (whose
  // members only count a value or not), otherwise the variable itself.
  if (const AggregationMCSet* set = dynamic_cast<const AggregationMCSet*>(&variable)) {
    const int missingIndex = set->GetUserMissingVariable();
    if (missingIndex >= 0) _missingVariable = &dataSource.GetVariable(missingIndex);
  } else if (!dynamic_cast<const AggregationMDSet*>(&variable)) {
    _missingVariable = &dataSource.GetVariable(_varIndex);
  }

  for (const ParsedCategory* entry : _parsedCategories) {
    _widestEntry = std::max(_widestEntry, entry->GetValueType());
  }
}

CategoryManager::CategoryManager(const std::vector<AggregationCategory*>& categories,
                                 const AggregationVariable& variable, TableDimension* dimension)
    : CategoryManager(categories, variable, DataSourceOf(dimension), dimension) {
  if (_dimension->GetDimensionType() != TableDimension::kMDSet || !UsingExplicitList()) return;
  assert(_categories.size() > 0);
  // Entries may still point to the categories of an earlier build, which the
  // dimension has destroyed since.
  for (ParsedCategory* entry : _parsedCategories) entry->ClearCategories();
  for (AggregationCategory* category : _categories) {
    if (category->GetCatType() != AggregationCategory::kVariable) continue;
    ParsedCategory* parsedCat = VariableEntry(category->GetVarIndex());
    assert(parsedCat);
    assert(!parsedCat->HasCategories());
    parsedCat->AddCategory(category);
  }
}

CategoryManager::~CategoryManager() = default;

// ---------------------------------------------------------------------------
// The total and the common frame of the orderings.

void CategoryManager::ComputeTotalPosition() {
  _totalPosition = kNoTotal;
  if (_categories.empty()) return;
  if (_totalAfter) {
    if (_categories.back()->GetCatType() == AggregationCategory::kTotal)
      _totalPosition = kTotalLast;
  } else if (_categories.front()->GetCatType() == AggregationCategory::kTotal) {
    _totalPosition = kTotalFirst;
  }
}

size_t CategoryManager::FirstNonTotal() const {
  return _totalPosition == kTotalFirst && !_categories.empty() ? 1 : 0;
}

size_t CategoryManager::EndNonTotal() const {
  return _totalPosition == kTotalLast && !_categories.empty() ? _categories.size() - 1
                                                              : _categories.size();
}

AggregationCategory* CategoryManager::TakeTotalOut() {
  if (_categories.empty()) return nullptr;
  AggregationCategory* total = nullptr;
  if (_totalPosition == kTotalFirst) {
    total = _categories.front();
    _categories.erase(_categories.begin());
  } else if (_totalPosition == kTotalLast) {
    total = _categories.back();
    _categories.pop_back();
  }
  return total;
}

void CategoryManager::PutTogether(AggregationCategory* total,
                                  const std::vector<AggregationCategory*>& first,
                                  const std::vector<AggregationCategory*>& second) {
  _categories.clear();
  _categories.reserve(first.size() + second.size() + 1);
  if (total && !_totalAfter) _categories.push_back(total);
  _categories.insert(_categories.end(), first.begin(), first.end());
  _categories.insert(_categories.end(), second.begin(), second.end());
  if (total && _totalAfter) _categories.push_back(total);
}

// ---------------------------------------------------------------------------
// Values, labels and the explicit list.

const QUOR_Variable& CategoryManager::Variable(int index) const {
  return _dataSource->GetVariable(index);
}

bool CategoryManager::VariableSaysMissing(const QUOR_Variable& variable, const OBS* value,
                                          int valueType) {
  const int variableType = variable.GetType();
  if (!FitsVariable(value, valueType, variableType)) return false;
  const WidenedValue widened(value, valueType, variableType);
  return variable.IsMissing(widened.Get()) != 0;
}

bool CategoryManager::IsMissing(const OBS* value, int valueType, bool otherOrMissingListed) const {
  // Only a list that names missing or other values tells them apart; any
  // other entry takes a value whether it is missing or not.
  if (!otherOrMissingListed || !_missingVariable) return false;
  return VariableSaysMissing(*_missingVariable, value, valueType);
}

ParsedCategory* CategoryManager::Lookup(const OBS* value, int valueType, bool isMissing,
                                        int formWidth) const {
  if (formWidth >= 0) return _dimension->ExplicitListContains(*value, isMissing, formWidth);
  const WidenedValue widened(value, valueType, std::max(_widestEntry, valueType));
  return _dimension->ExplicitListContains(*widened.Get(), isMissing, -1);
}

ParsedCategory* CategoryManager::VariableEntry(int varIndex) const {
  for (ParsedCategory* entry : _parsedCategories) {
    if (entry->GetPCType() == ParsedCategory::kVariable && entry->GetVarIndex() == varIndex) {
      return entry;
    }
  }
  return nullptr;
}

bool CategoryManager::OtherOrMissingListed() const {
  for (const ParsedCategory* entry : _parsedCategories) {
    const ParsedCategory::ParsedCatType type = entry->GetPCType();
    if (type == ParsedCategory::kMissing || type == ParsedCategory::kOtherNM) return true;
  }
  return false;
}

bool CategoryManager::PrepareExplicitList() {
  for (ParsedCategory* entry : _parsedCategories) entry->ClearCategories();
  return OtherOrMissingListed();
}

void CategoryManager::DistributeMetCategories(bool otherOrMissingListed, bool multipleCategorySet) {
  const size_t end = EndNonTotal();
  for (size_t i = FirstNonTotal(); i < end; ++i) {
    AggregationCategory* category = _categories[i];
    if (multipleCategorySet) GetVarIndexForLabel(category);
    const OBS* value = &category->GetCatValue();
    const int width = category->GetValueType();
    const bool isMissing = IsMissing(value, width, otherOrMissingListed);
    // The dimension only encodes values its list claims.
    ParsedCategory* parsedCat = Lookup(value, width, isMissing, -1);
    assert(parsedCat);
    parsedCat->AddCategory(category);
  }
}

void CategoryManager::AddEmptyEntryCategories(bool otherOrMissingListed, int varIndex,
                                              int listWidth) {
  for (ParsedCategory* entry : _parsedCategories) {
    if (entry->GetPCType() != ParsedCategory::kValue || entry->HasCategories()) continue;
    const OBS* value = &entry->GetCatValue();
    const int entryWidth = entry->GetValueType();
    const bool isMissing = IsMissing(value, entryWidth, otherOrMissingListed);
    // A later entry that claims the same value shows it instead.
    if (Lookup(value, entryWidth, isMissing, -1) != entry) continue;
    entry->AddCategory(NewEmptyValueCategory(
        *value, entryWidth, EmptyCategoryWidth(entryWidth, listWidth), varIndex, nullptr));
  }
}

void CategoryManager::InsertInValueOrder(AggregationCategory* category, int width) {
  const size_t begin = FirstNonTotal();
  size_t position = EndNonTotal();
  while (position > begin) {
    const int order =
        ObsLexCompare(category->GetCatValue(), _categories[position - 1]->GetCatValue(), width);
    if (_descending ? order > 0 : order < 0) {
      --position;
    } else {
      break;  // equal values stop the move
    }
  }
  _categories.insert(_categories.begin() + static_cast<std::ptrdiff_t>(position), category);
}

void CategoryManager::GetCatLabels() {
  const QUOR_Variable& variable = Variable(_varIndex);
  const QUOR_ValueLabelMap labels(variable.GetValueLabels());
  for (AggregationCategory* category : _categories) {
    if (category->GetCatType() != AggregationCategory::kValue) continue;
    const char* label =
        LabelIn(labels, variable.GetType(), &category->GetCatValue(), category->GetValueType());
    if (label) category->SetCatLabel(label, false);
  }
}

void CategoryManager::GetMCCatLabels() {
  for (AggregationCategory* category : _categories) GetVarIndexForLabel(category);
}

int CategoryManager::GetVarIndexForLabel(AggregationCategory* category) const {
  assert(_varIndices.size() > 0);
  if (category->GetCatType() == AggregationCategory::kValue) {
    for (int member : _varIndices) {
      const QUOR_Variable& variable = Variable(member);
      const QUOR_ValueLabelMap labels(variable.GetValueLabels());
      const char* label =
          LabelIn(labels, variable.GetType(), &category->GetCatValue(), category->GetValueType());
      if (label) {
        category->SetCatLabel(label, false);
        category->SetVarIndex(member);
        return member;
      }
    }
  }
  return _varIndices.front();
}

int CategoryManager::GetAllLabeledValues() {
  const QUOR_Variable& variable = Variable(_varIndex);
  const int width = variable.GetType();
  QUOR_ValueLabelMap labels(variable.GetValueLabels());
  labels.Reset();
  const OBS* value = nullptr;
  const char* label = nullptr;
  while (labels.GetNextPair(value, label)) {
    if (!_includeMissing && variable.IsMissing(value)) continue;
    if (_dimension->GetCategoryEncoding(value) != 0) continue;  // met in the data
    InsertInValueOrder(NewEmptyValueCategory(*value, width, width, _varIndex, label), width);
  }
  return static_cast<int>(_categories.size());
}

int CategoryManager::GetAllMCLabeledValues() {
  // Members from the last to the first, so that the first member that labels
  // a value gives it its final label and variable index.
  for (auto member = _varIndices.rbegin(); member != _varIndices.rend(); ++member) {
    const QUOR_Variable& variable = Variable(*member);
    const int memberType = variable.GetType();
    QUOR_ValueLabelMap labels(variable.GetValueLabels());
    labels.Reset();
    const OBS* value = nullptr;
    const char* label = nullptr;
    while (labels.GetNextPair(value, label)) {
      if (!_includeMissing && _missingVariable &&
          VariableSaysMissing(*_missingVariable, value, memberType)) {
        continue;
      }
      AggregationCategory* category =
          NewEmptyValueCategory(*value, memberType, _valueType, *member, label);
      if (KeepUnlessListed(_categories, category, label, *member)) {
        InsertInValueOrder(category, _valueType);
      }
    }
  }
  return static_cast<int>(_categories.size());
}

void CategoryManager::GetAllCatsForExplicitList(bool otherOrMissingListed) {
  const QUOR_Variable& variable = Variable(_varIndex);
  const int width = variable.GetType();
  QUOR_ValueLabelMap labels(variable.GetValueLabels());
  labels.Reset();
  const OBS* value = nullptr;
  const char* label = nullptr;
  while (labels.GetNextPair(value, label)) {
    if (_dimension->GetCategoryEncoding(value) != 0) continue;  // met in the data
    const bool isMissing = IsMissing(value, width, otherOrMissingListed);
    ParsedCategory* entry = Lookup(value, width, isMissing, -1);
    if (!entry) continue;  // a labelled value the list does not show
    entry->AddCategory(NewEmptyValueCategory(*value, width, width, _varIndex, label));
  }
  AddEmptyEntryCategories(otherOrMissingListed, _varIndex, width);
}

void CategoryManager::GetAllMCCatsForExplicitList(bool otherOrMissingListed) {
  for (auto member = _varIndices.rbegin(); member != _varIndices.rend(); ++member) {
    const QUOR_Variable& variable = Variable(*member);
    const int memberType = variable.GetType();
    QUOR_ValueLabelMap labels(variable.GetValueLabels());
    labels.Reset();
    const OBS* value = nullptr;
    const char* label = nullptr;
    while (labels.GetNextPair(value, label)) {
      const bool isMissing = IsMissing(value, memberType, otherOrMissingListed);
      ParsedCategory* entry = Lookup(value, memberType, isMissing, memberType);
      if (!entry) continue;
      AggregationCategory* category =
          NewEmptyValueCategory(*value, memberType, _valueType, *member, label);
      if (KeepUnlessListed(entry->GetCategories(), category, label, *member)) {
        entry->AddCategory(category);
      }
    }
  }
  AddEmptyEntryCategories(otherOrMissingListed,
                          _varIndices.empty() ? _varIndex : _varIndices.front(), _valueType);
}

void CategoryManager::ProcessPComputeCategories() {
  for (ParsedCategory* entry : _parsedCategories) {
    if (entry->GetPCType() != ParsedCategory::kPCompute || entry->HasCategories()) continue;
    entry->AddCategory(NewComputedCategory(*entry, _varIndex));
  }
}

AggregationCategory* CategoryManager::NewComputedCategory(const ParsedCategory& entry,
                                                          int varIndex) {
  AggregationCategory* category = new AggregationCategory(AggregationCategory::kPCompute);
  category->SetVarIndex(varIndex);
  category->SetCatLabel(entry.GetPostCatLabel(), entry.IsLabelDefault());
  category->SetPCateName(entry.GetPCatName());
  category->SetPCFormat(entry.GetPCFormat());
  category->SetPCDisplayFormat(entry.GetPCDisplayFormat());
  category->SetPCDecimal(entry.GetPCDecimal());
  return category;
}

void CategoryManager::ProcessSubtotalsAndMerge() {
  const size_t count = _parsedCategories.size();
  // A subtotal sums the entries on the side where its categories lie: those
  // before it when totals follow their categories, those after it otherwise.
  // Walking from that side, `seen` says whether the group so far holds any
  // category; a subtotal of an empty group is not made.
  bool seen = false;
  for (size_t step = 0; step < count; ++step) {
    ParsedCategory* entry = _parsedCategories[_totalAfter ? step : count - 1 - step];
    const ParsedCategory::ParsedCatType type = entry->GetPCType();
    if (type != ParsedCategory::kSubtotal && type != ParsedCategory::kHSubtotal) {
      if (entry->HasCategories()) seen = true;
      continue;
    }
    if (!seen || entry->HasCategories()) continue;
    AggregationCategory* subtotal = new AggregationCategory(type == ParsedCategory::kSubtotal
                                                                ? AggregationCategory::kSubtotal
                                                                : AggregationCategory::kHSubtotal);
    subtotal->SetVarIndex(_varIndex);
    subtotal->SetCatEncoding(entry->GetSubtotalEncoding());
    subtotal->SetCatLabel(entry->GetSubtotalLabel(), entry->IsLabelDefault());
    entry->AddCategory(subtotal);
    seen = false;
  }

  AggregationCategory* total = TakeTotalOut();
  _categories.clear();
  // Every hidden category is still held by its entry, so a second layout
  // (after AddCategories) starts from an empty hidden list rather than
  // listing the earlier ones twice.
  _hiddenCategories.clear();
  if (total && _totalPosition == kTotalFirst) _categories.push_back(total);

  // Visibility, walking from the side opposite to the subtotals' groups: a
  // subtotal opens its group with its own state, computed categories stand
  // apart, and entries outside every group are shown.
  std::vector<char> shown(count, 1);
  bool state = true;
  for (size_t step = 0; step < count; ++step) {
    const size_t i = _totalAfter ? count - 1 - step : step;
    switch (_parsedCategories[i]->GetPCType()) {
      case ParsedCategory::kSubtotal:
        state = true;
        break;
      case ParsedCategory::kHSubtotal:
        state = false;
        break;
      case ParsedCategory::kPCompute:
        break;
      default:
        shown[i] = state;
        break;
    }
  }

  for (size_t i = 0; i < count; ++i) {
    std::vector<AggregationCategory*>& target = shown[i] ? _categories : _hiddenCategories;
    const std::vector<AggregationCategory*>& held = _parsedCategories[i]->GetCategories();
    target.insert(target.end(), held.begin(), held.end());
  }
  if (total && _totalPosition == kTotalLast) _categories.push_back(total);
}

// ---------------------------------------------------------------------------
// Building a list.

int CategoryManager::OrderCategories() {
  if (UsingExplicitList()) {
    // The list's order wins over any label order; labels of categories met
    // in the data are left to the host.
    const bool otherOrMissingListed = PrepareExplicitList();
    DistributeMetCategories(otherOrMissingListed, false);
    if (_includeEmpty) GetAllCatsForExplicitList(otherOrMissingListed);
    ProcessPComputeCategories();
    ProcessSubtotalsAndMerge();
  } else {
    if (_byLabel) GetCatLabels();
    if (_includeEmpty) GetAllLabeledValues();
    if (_byLabel) SortCategoriesByLabels();
  }
  return static_cast<int>(_categories.size());
}

int CategoryManager::OrderMCCategories(int valueType) {
  _valueType = valueType;
  if (UsingExplicitList()) {
    const bool otherOrMissingListed = PrepareExplicitList();
    DistributeMetCategories(otherOrMissingListed, true);
    if (_includeEmpty) GetAllMCCatsForExplicitList(otherOrMissingListed);
    ProcessPComputeCategories();
    ProcessSubtotalsAndMerge();
  } else {
    // Labelling every member's values also labels the categories met.
    if (_includeEmpty) {
      GetAllMCLabeledValues();
    } else {
      GetMCCatLabels();
    }
    if (_byLabel) SortCategoriesByLabels();
  }

  // A computed category takes its variable from the list's first value.
  int computedVarIndex = -1;
  for (const AggregationCategory* category : _categories) {
    if (category->GetCatType() == AggregationCategory::kValue) {
      computedVarIndex = category->GetVarIndex();
      break;
    }
  }
  for (AggregationCategory* category : _categories) {
    if (category->GetCatType() == AggregationCategory::kPCompute) {
      category->SetVarIndex(computedVarIndex);
    }
  }
  return static_cast<int>(_categories.size());
}

// ---------------------------------------------------------------------------
// Orderings. Each takes the total out, orders the rest stably (equal keys keep
// their order) ascending or descending, and puts the total back.

void CategoryManager::SortCategoriesByLabels() {
  AggregationCategory* total = TakeTotalOut();
  std::vector<AggregationCategory*> labelled;
  std::vector<AggregationCategory*> unlabelled;
  for (size_t i = 0; i < _categories.size(); ++i) {
    assert(_categories[i]->GetCatType() == AggregationCategory::kValue &&
           "_categories[ i ]->GetCatType() == AggregationCategory::kValue");
    (_categories[i]->GetCatLabel().empty() ? unlabelled : labelled).push_back(_categories[i]);
  }
  std::stable_sort(labelled.begin(), labelled.end(), InDirection(CompareLabels, _descending));
  PutTogether(total, labelled, unlabelled);
}

int CategoryManager::OrderMDCategories() {
  const int count = static_cast<int>(_categories.size());
  AggregationCategory* total = TakeTotalOut();
  std::vector<AggregationCategory*> primary;
  std::vector<AggregationCategory*> secondary;
  for (AggregationCategory* category : _categories) {
    (!_byLabel || !category->GetCatLabel().empty() ? primary : secondary).push_back(category);
  }
  const auto byValue = InDirection(CompareValues, _descending);
  if (_byLabel) {
    std::stable_sort(primary.begin(), primary.end(), InDirection(CompareLabels, _descending));
  } else {
    std::stable_sort(primary.begin(), primary.end(), byValue);
  }
  std::stable_sort(secondary.begin(), secondary.end(), byValue);
  PutTogether(total, primary, secondary);
  return count;
}

int CategoryManager::OrderByStats(std::vector<double>& values) {
  const int count = static_cast<int>(_categories.size());
  [[maybe_unused]] const size_t begin = FirstNonTotal();
  [[maybe_unused]] const size_t end = EndNonTotal();
  assert((end - begin) == values.size());
  AggregationCategory* total = TakeTotalOut();

  std::vector<std::pair<double, AggregationCategory*>> sorted;
  std::vector<AggregationCategory*> noValue;
  for (size_t i = 0; i < _categories.size(); ++i) {
    if (values[i] == TableEncryptionCodes::kMissingValue) {
      noValue.push_back(_categories[i]);
    } else {
      sorted.emplace_back(values[i], _categories[i]);
    }
  }
  // Inserting one by one, a NaN compares neither greater nor smaller, so it
  // stays where it arrives and no later value moves past it: the values
  // between two NaNs are ordered among themselves only.
  const bool descending = _descending;
  auto byValue = [descending](const std::pair<double, AggregationCategory*>& a,
                              const std::pair<double, AggregationCategory*>& b) {
    return descending ? a.first > b.first : a.first < b.first;
  };
  auto runBegin = sorted.begin();
  for (auto it = sorted.begin();; ++it) {
    if (it == sorted.end() || std::isnan(it->first)) {
      std::stable_sort(runBegin, it, byValue);
      if (it == sorted.end()) break;
      runBegin = it + 1;
    }
  }

  std::vector<AggregationCategory*> ordered;
  ordered.reserve(sorted.size());
  for (const auto& entry : sorted) ordered.push_back(entry.second);
  PutTogether(total, ordered, noValue);
  return count;
}

int CategoryManager::AddCategories(const std::vector<AggregationCategory*>& categories) {
  assert(_categories.size() > 0);
  if (_categories.size() == 1 && _categories.front()->GetCatType() == AggregationCategory::kDummy) {
    _categories = categories;
    ComputeTotalPosition();
    return static_cast<int>(_categories.size());
  }

  // Only values and member variables can be found later. A category already
  // shown, hidden or given twice joins once.
  auto contains = [](const std::vector<AggregationCategory*>& list,
                     const AggregationCategory* category) {
    return std::any_of(list.begin(), list.end(), [category](const AggregationCategory* other) {
      return *other == *category;
    });
  };
  std::vector<AggregationCategory*> additions;
  for (AggregationCategory* category : categories) {
    const AggregationCategory::CategoryType type = category->GetCatType();
    if (type != AggregationCategory::kValue && type != AggregationCategory::kVariable) continue;
    if (contains(_categories, category) || contains(_hiddenCategories, category) ||
        contains(additions, category)) {
      continue;
    }
    additions.push_back(category);
  }
  if (additions.empty()) return static_cast<int>(_categories.size());

  if (UsingExplicitList()) {
    const bool otherOrMissingListed =
        _dimension->GetDimensionType() != TableDimension::kMDSet && OtherOrMissingListed();
    for (AggregationCategory* category : additions) {
      ParsedCategory* parsedCat = nullptr;
      if (category->GetCatType() == AggregationCategory::kValue) {
        const OBS* value = &category->GetCatValue();
        const int width = category->GetValueType();
        parsedCat = Lookup(value, width, IsMissing(value, width, otherOrMissingListed), width);
        assert(parsedCat);
      } else {
        parsedCat = VariableEntry(category->GetVarIndex());
        assert(parsedCat);
        assert(!parsedCat->HasCategories());
      }
      parsedCat->AddCategory(category);
    }
    ProcessSubtotalsAndMerge();
    return static_cast<int>(_categories.size());
  }

  if (_sortKey == TableEncryptionCodes::kNoSort) {
    _categories.insert(_categories.begin() + static_cast<std::ptrdiff_t>(EndNonTotal()),
                       additions.begin(), additions.end());
    return static_cast<int>(_categories.size());
  }

  assert(_sortKey != TableEncryptionCodes::kStatisticSort);
  AggregationCategory* total = TakeTotalOut();
  const std::vector<AggregationCategory*> existing = _categories;
  std::vector<AggregationCategory*> merged;
  merged.reserve(existing.size() + additions.size());
  std::merge(existing.begin(), existing.end(), additions.begin(), additions.end(),
             std::back_inserter(merged), ListOrder(_byLabel, _descending));
  PutTogether(total, merged, {});
  return static_cast<int>(_categories.size());
}

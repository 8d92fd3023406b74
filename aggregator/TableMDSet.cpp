#include "TableMDSet.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "AggregationCategory.h"
#include "AggregationMDSet.h"
#include "CategoryManager.h"
#include "DimensionCells.h"
#include "ParsedCategory.h"
#include "ZarnCaseValueReader.h"

using DimensionCells::kExcludedMissing;

namespace {

// Bytes of the 8-byte units a value of the given type occupies (numbers: 8).
int UnitBytes(int type) {
  return QUOR_CellCount(type) * static_cast<int>(AggregationCategory::OBSSize);
}

}  // namespace

TableMDSet::TableMDSet(const AggregationMDSet& set)
    : TableDimension(2 * set.GetIndexListCount() + 1, kMDSet, set),
      _varList(set.GetIndexList()),
      _valueSize(static_cast<int>(AggregationCategory::OBSSize) * set.GetCountedOBSSize()),
      _useLabelFromValue(set.UseLabelFromValue()) {
  assert(_numCatCells && "_numCatCells");
  const int units = set.GetCountedOBSSize();
  if (units > 0 && set.GetCountedOBS()) {
    _countedValue.assign(set.GetCountedOBS(), set.GetCountedOBS() + units);
  } else {
    _valueSize = 0;
  }
  if (_usingExplicitList) SetParsedVariables();
  _varEncodings.assign(_varList.size(), 0);
}

TableMDSet::TableMDSet(const TableMDSet& other)
    : TableDimension(other),
      _varList(other._varList),
      _countedValue(other._countedValue),
      _valueSize(other._valueSize),
      _nextCode(other._nextCode),
      _varEncodings(other._varEncodings),
      _subtotalCodes(other._subtotalCodes),
      _useLabelFromValue(other._useLabelFromValue) {
  // Sharing the source's readers would destroy them twice: a bound source
  // gives a copy with readers of its own over the same iterator.
  if (!other._iterator) return;
  _iterator = nullptr;
  SetIterator(*other._iterator);
}

TableMDSet::~TableMDSet() {
  for (ZarnCaseValueReader* reader : _readers) delete reader;
}

void TableMDSet::SetParsedVariables() {
  if (_explicitList.empty()) return;
  _varList.clear();
  _subtotalCodes.clear();
  for (const ParsedCategory* entry : _explicitList) {
    if (entry->GetPCType() != ParsedCategory::kVariable) continue;
    _varList.push_back(entry->GetVarIndex());
    _subtotalCodes.push_back(entry->GetSubtotalEncoding());
  }
  // The list decides the members: make room for a cell and a subtotal cell
  // per member, plus the total.
  _numCatCells = 2 * static_cast<int>(_varList.size()) + 1;
  _catCells.assign(static_cast<size_t>(_numCatCells), 0);
  if (_computingCounts) _cellCounts.assign(static_cast<size_t>(_numCatCells), 0);
}

void TableMDSet::SetIterator(QUOR_InputCaseIterator& iterator) {
  _iterator = &iterator;
  if (_readers.empty()) {
    _varSizes.clear();
    _varNumeric.clear();
    for (size_t iVar = 0; iVar < _varList.size(); ++iVar) {
      ZarnCaseValueReader* reader =
          new ZarnCaseValueReader(iterator, static_cast<unsigned int>(_varList[iVar]));
      _readers.push_back(reader);
      _varSizes.push_back(UnitBytes(reader->GetType()));
      _varNumeric.push_back(reader->GetType() == 0);
      assert(_varSizes[iVar] <= _valueSize && "_varSizes[iVar] <= _valueSize");
    }
  }
  // Values are compared byte by byte, so both zeros must have one pattern.
  if (!_readers.empty() && _varNumeric[0] && !_countedValue.empty()) {
    _countedValue[0].num += 0.0;
  }
}

bool TableMDSet::Responds(size_t member) const {
  const OBS* value = _readers[member]->GetValue();
  if (_varNumeric[member]) {
    // A member's -0.0 is the counted +0.0 as well.
    const double number = value->num + 0.0;
    return std::memcmp(&number, _countedValue.data(), sizeof number) == 0;
  }
  return std::memcmp(value, _countedValue.data(), static_cast<size_t>(_varSizes[member])) == 0;
}

bool TableMDSet::EncodeValue() {
  assert(_readers.size() == _varList.size() && "the dimension is bound to the case iterator");
  _valueValid = false;
  int responses = 0;
  int run = 0;
  const bool subtotals = _usingExplicitList && !_subtotalCodes.empty();
  int currentSubtotal = subtotals ? _subtotalCodes[0] : TableEncryptionCodes::kMaxSubtotal;

  const size_t nMembers = _varList.size();
  for (size_t i = 0; i < nMembers; ++i) {
    if (!Responds(i)) continue;
    if (_varEncodings[i] == 0) _varEncodings[i] = ++_nextCode;

    if (subtotals) {
      // A subtotal cell closes each run of responding members that share a
      // subtotal code; it follows the members it counts.
      if (_subtotalCodes[i] == currentSubtotal) {
        ++run;
      } else {
        if (run >= 1 && currentSubtotal <= TableEncryptionCodes::kMaxSubtotal) {
          AddCategoryCell(currentSubtotal);
          SetCellCount(run);
        }
        currentSubtotal = _subtotalCodes[i];
        run = 1;
      }
    }

    if (!_valueValid) {
      SetCategoryCell(_varEncodings[i]);
      _valueValid = true;
    } else {
      AddCategoryCell(_varEncodings[i]);
    }
    SetCellCount(1);
    ++responses;
  }
  if (subtotals && run >= 1 && currentSubtotal <= TableEncryptionCodes::kMaxSubtotal) {
    AddCategoryCell(currentSubtotal);
    SetCellCount(run);
  }

  SetTotalCount(responses);
  if (_valueValid) {
    if (_computingTotal) {
      AddCategoryCell(TableEncryptionCodes::kTotalCategory);
      SetCellCount(responses);
    }
    return true;
  }
  SetCategoryCell(_computingTotal ? TableEncryptionCodes::kTotalCategory : kExcludedMissing);
  SetCellCount(0);
  return true;
}

AggregationCategory* TableMDSet::MemberCategory(size_t member) const {
  assert(member < _varList.size() && "iVar <_varList.size()");
  assert(member < _varEncodings.size() && "iVar <_varEncodings.size()");
  AggregationCategory* category = new AggregationCategory(AggregationCategory::kVariable);
  category->SetVarIndex(_varList[member]);
  category->SetCatEncoding(_varEncodings[member]);
  return category;
}

const std::vector<AggregationCategory*>& TableMDSet::GetCategoryPointers() {
  if (_categoriesReady) return _categories;
  DestroyCategories();

  const bool showTotal = _total && (_nextCode > 0 || _includeEmpty);
  if (showTotal && !_totalAfter) _categories.push_back(GetTotalCategoryPtr());

  const size_t nMembers = _varList.size();
  if (!_usingExplicitList) {
    for (size_t i = 0; i < nMembers; ++i) {
      if (_includeEmpty || _varEncodings[i] != 0) _categories.push_back(MemberCategory(i));
    }
  } else {
    // Every entry but a computed category stands for the next member in
    // member order. A member starting a new subtotal code takes up that
    // subtotal, which stands before its members or after them.
    size_t member = 0;
    int lastSubtotal = 0;
    bool hidden = false;
    AggregationCategory* pending = nullptr;
    for (const ParsedCategory* entry : _explicitList) {
      if (entry->GetPCType() == ParsedCategory::kPCompute) {
        _categories.push_back(CategoryManager::NewComputedCategory(*entry, -1));
        continue;
      }
      if (member >= nMembers) continue;
      const size_t i = member++;
      const bool shown = _includeEmpty || _varEncodings[i] != 0;
      const int subtotal = i < _subtotalCodes.size() ? _subtotalCodes[i] : 0;
      if (subtotal != lastSubtotal) {
        if (pending && _totalAfter) {
          _categories.push_back(pending);
          pending = nullptr;
        }
        hidden = false;
        if (shown && subtotal < TableEncryptionCodes::kTotalCategory) {
          lastSubtotal = subtotal;
          for (const ParsedCategory* candidate : _explicitList) {
            const ParsedCategory::ParsedCatType type = candidate->GetPCType();
            if ((type != ParsedCategory::kSubtotal && type != ParsedCategory::kHSubtotal) ||
                candidate->GetSubtotalEncoding() != subtotal) {
              continue;
            }
            const bool hiding = type == ParsedCategory::kHSubtotal;
            pending = new AggregationCategory(hiding ? AggregationCategory::kHSubtotal
                                                     : AggregationCategory::kSubtotal);
            pending->SetCatEncoding(subtotal);
            pending->SetCatLabel(candidate->GetSubtotalLabel(), candidate->IsLabelDefault());
            hidden = hiding;
            break;
          }
          if (pending && !_totalAfter) {
            _categories.push_back(pending);
            pending = nullptr;
          }
        }
      }
      if (shown) {
        AggregationCategory* category = MemberCategory(i);
        (hidden ? _pcomputeRequiredCats : _categories).push_back(category);
      }
    }
    if (pending) _categories.push_back(pending);
  }

  if (showTotal && _totalAfter) _categories.push_back(GetTotalCategoryPtr());

  if (_iterator) {
    const QUOR_DataSource& dataSource = _iterator->GetDataSource();
    PrepareMDCategories(dataSource);
    const TableEncryptionCodes::SortKey sortKey = GetSyntaxVariable().GetSortKey();
    if (!_usingExplicitList && !_categories.empty() && sortKey != TableEncryptionCodes::kNoSort) {
      CategoryManager manager(_categories, GetSyntaxVariable(), dataSource, this);
      if (sortKey == TableEncryptionCodes::kStatisticSort) {
        // REQUIRES: the host set the sort up; GetSortValues asserts it.
        std::vector<double> sortValues;
        GetSortValues(sortValues);
        manager.OrderByStats(sortValues);
      } else {
        manager.OrderMDCategories();
      }
      _categories = manager.GetCategories();
    }
  }

  return FinishCategoryList();
}

void TableMDSet::Label(AggregationCategory* category, const QUOR_DataSource& dataSource) const {
  const QUOR_Variable& variable = dataSource.GetVariable(category->GetVarIndex());
  const char* varName = variable.GetName();
  assert(varName != 0);
  category->SetCatValue(varName);
  const char* label = nullptr;
  if (_useLabelFromValue) {
    const QUOR_ValueLabelMap labels(variable.GetValueLabels());
    label = _countedValue.empty() ? nullptr : labels.GetLabel(_countedValue.data());
    category->SetUseLabelForVar();
  } else {
    label = variable.GetLabel();
  }
  if (label) category->SetCatLabel(label, false);
}

void TableMDSet::PrepareMDCategories(const QUOR_DataSource& dataSource) {
  for (AggregationCategory* category : _categories) {
    if (category->GetCatType() == AggregationCategory::kVariable) Label(category, dataSource);
  }
  for (AggregationCategory* category : _pcomputeRequiredCats) {
    if (category->GetCatType() == AggregationCategory::kVariable) Label(category, dataSource);
  }
}

// A dichotomy set numbers its members in the order they first respond; the
// met "value" of code c is the position of the member that holds it.
void TableMDSet::GetMetValues(std::vector<MetValue>& values) const {
  values.assign(static_cast<size_t>(_nextCode), MetValue());
  for (size_t i = 0; i < _varEncodings.size(); ++i) {
    const int code = _varEncodings[i];
    if (code == 0) continue;
    OBS position;
    position.num = static_cast<double>(i);
    values[static_cast<size_t>(code - 1)].key.assign(1, position);
  }
}

bool TableMDSet::AcceptsMetValue(const MetValue& value) const {
  if (value.key.size() != 1 || value.subtotal != 0) return false;
  const double position = value.key[0].num;
  return position >= 0.0 && position < static_cast<double>(_varEncodings.size()) &&
         position == static_cast<double>(static_cast<size_t>(position));
}

int TableMDSet::AdoptMetValue(const MetValue& value) {
  if (!AcceptsMetValue(value)) return TableEncryptionCodes::kNoCategory;
  const double position = value.key[0].num;
  int& code = _varEncodings[static_cast<size_t>(position)];
  if (code == 0) code = ++_nextCode;
  return code;
}

int TableMDSet::MetValueUnits() const {
  return 1;
}

int TableMDSet::GetCategoryEncoding(const OBS* value) const {
  assert(value->num >= 0.0 && "varInd->num >= 0.0");
  const int varIndex = static_cast<int>(value->num + 0.5);
  const size_t nMembers = _varList.size();
  for (size_t i = 0; i < nMembers; ++i) {
    if (_varList[i] == varIndex) return _varEncodings[i];
  }
  return TableEncryptionCodes::kNoCategory;
}

void TableMDSet::ResetDimension() {
  ResetDimensionBase();
}

#include "CubeAggregator.h"

#include <cassert>
#include <cstdio>
#include <memory>
#include <set>

#include "AggregationCategory.h"
#include "CellStatistics.h"
#include "CellValues.h"
#include "HashtablePair.h"
#include "LeafTable.h"
#include "StatValues.h"
#include "StateStream.h"
#include "StatisticTraits.h"
#include "TableDimension.h"
#include "TableMetadata.h"
#include "ZarnCaseValueReader.h"
#include "baseutil.h"

namespace {

using Codes = TableEncryptionCodes;

// Output codes of the host's diagnostic output.
constexpr long kOutputDetail = 1;
constexpr long kOutputFrame = 2;
constexpr long kOutputTitle = 3;

// Formatting buffer of the diagnostic dump.
constexpr size_t kLineBufferSize = 256;

[[maybe_unused]] bool IsValidKeyCode(int cellI) {
  return cellI >= TableEncryptionCodes::kMinCategory ||
         cellI == TableEncryptionCodes::kNoCategory ||
         (cellI >= TableEncryptionCodes::kLowerSubtotal &&
          cellI <= TableEncryptionCodes::kMaxSubtotal) ||
         cellI == TableEncryptionCodes::kTotalCategory;
}

// Statistics whose moment accumulator (W, mean, M2) of the given weighting
// pairwise tests read.
bool IsMoment(int code, bool unweighted) {
  const StatisticTraits& traits = TraitsOf(code);
  return traits.accumulator == (unweighted ? Codes::kUVariance : Codes::kVariance);
}

}  // namespace

CubeAggregator::CubeAggregator(TableMetadata& tableMetadata, CubeMetadata& cubeMetadata)
    : _tableMetadata(tableMetadata),
      _caseWeight(tableMetadata.GetCaseWeight()),
      _cubeMetadata(cubeMetadata),
      _cellKey(cubeMetadata.NumberOfDimensions()),
      _caseReaders(tableMetadata.GetCaseReaders()),
      _cellStats(nullptr),
      _totalStats(nullptr),
      _statValues(nullptr),
      _statsDimension(nullptr),
      _statsDimIndex(-1),
      _listwise(tableMetadata.GetListwise()),
      _extraDimension(false),
      _cellTotalN(false),
      _totalTotalN(false),
      _cells(nullptr),
      _baseStats(CellStatistics::kNumberOfPercentTypes, nullptr),
      _hasPercents(false),
      _meanVarIndex(nullptr),
      _mode(kNoMode),
      _leaves(nullptr) {
  const int nDims = _cubeMetadata.NumberOfDimensions();
  if (nDims >= 2) {
    _extraDimension = _cubeMetadata.GetDimPosition(nDims - 1) == Codes::kExtraPosition;
  }
}

CubeAggregator::~CubeAggregator() {
  delete _leaves;
  delete _meanVarIndex;
  for (ZarnHashtablePair* table : _baseTables) delete table;
  for (CellStatistics* stats : _baseStats) delete stats;
  delete _cells;
  delete _statValues;
  delete _totalStats;
  delete _cellStats;
}

// ---------------------------------------------------------------------------
// Setting the statistics

void CubeAggregator::SetCellStatistics(const std::vector<AggregationStatistic>& cellStats,
                                       TableDimension* statsDim) {
  assert(!_cellStats && !_statsDimension && !cellStats.empty());
  _cells = new ZarnHashtablePair(ZarnHashtablePair::kInitialBuckets);
  _statsDimension = statsDim;
  if (_statsDimension) {
    SetCategoricalStats(cellStats);
  } else {
    SetScaleStats(cellStats);
  }
  SetPercentStats();
  SetMode();
  SetLeaves();
}

void CubeAggregator::SetTotalStatistics(const std::vector<AggregationStatistic>& cellStats,
                                        TableDimension* statsDim,
                                        const std::vector<AggregationStatistic>& totalStats) {
  assert(!_cellStats && !_statsDimension && !cellStats.empty());
  _cells = new ZarnHashtablePair(ZarnHashtablePair::kInitialBuckets);
  _statsDimension = statsDim;
  assert(_statsDimension);
  SetCategoricalStats(cellStats);
  if (!totalStats.empty()) SetTotalStats(totalStats);
  SetPercentStats();
  SetMode();
  SetLeaves();
}

void CubeAggregator::SetMode() {
  if (!_statsDimension) {
    _mode = kScaleMode;
    return;
  }
  switch (_statsDimension->GetDimensionType()) {
    case TableDimension::kCategoricalVariable:
      _mode = kCVarMode;
      break;
    case TableDimension::kMCSet:
    case TableDimension::kMDSet:
      _mode = kMRSetMode;
      break;
    default:
      _mode = kInvalidMode;
      break;
  }
}

std::vector<int> CubeAggregator::ScaleCaseIndex(const std::vector<AggregationStatistic>& stats) {
  // A statistic without a variable (a count, say) reads no value and needs
  // no reader; a reader of "variable -1" would not exist in the data source.
  std::vector<AggregationStatistic> withVariable;
  for (const AggregationStatistic& stat : stats) {
    if (stat.GetVarIndex() >= 0) withVariable.push_back(stat);
  }
  const std::vector<int> readers = _tableMetadata.GetCaseIndex(withVariable);
  std::vector<int> caseIndex;
  size_t next = 0;
  for (const AggregationStatistic& stat : stats) {
    caseIndex.push_back(stat.GetVarIndex() >= 0 ? readers[next++] : -1);
  }
  return caseIndex;
}

void CubeAggregator::CheckScaleReaders(const CellStatistics& layout) const {
  for (int i = 0; i < layout.NumberOfValues(); ++i) {
    const int caseIndex = layout.GetCaseIndex(i);
    assert((caseIndex >= 0 || !TraitsOf(layout.GetUpdateStat(i)).needsVariable) &&
           "statistic variable >= 0");
    (void)caseIndex;
  }
}

void CubeAggregator::SetScaleStats(const std::vector<AggregationStatistic>& stats) {
  if (stats.empty()) return;
  std::vector<int> caseIndex = ScaleCaseIndex(stats);
  _cellStats = new CellStatistics(stats);
  _cellStats->SetScaleStatistics(caseIndex);
  CheckScaleReaders(*_cellStats);
  std::vector<int> cubeIndex;
  UpdateCubeIndex(cubeIndex, caseIndex);
  UpdateCubeCases(cubeIndex);
}

void CubeAggregator::SetCategoricalStats(const std::vector<AggregationStatistic>& stats) {
  if (!stats.empty()) {
    _cellStats = new CellStatistics(stats);
    _cellStats->SetCategoricalStatistics();
  }
  if (_statsDimension) {
    std::vector<int> unused;
    UpdateCubeCases(unused);
    int iDim = 0;
    while (iDim < _cubeMetadata.NumberOfDimensions() &&
           *_cubeMetadata.GetDimension(iDim) != *_statsDimension) {
      ++iDim;
    }
    assert(iDim < _cubeMetadata.NumberOfDimensions());
    _statsDimIndex = iDim;
    const TableDimension::DimensionType type = _statsDimension->GetDimensionType();
    if (type == TableDimension::kMCSet || type == TableDimension::kMDSet) {
      _statsDimension->SetComputingCounts();
    }
  }
  _cellTotalN = _cellStats->IsTotalNComputed();
}

void CubeAggregator::SetTotalStats(const std::vector<AggregationStatistic>& stats) {
  if (!_statsDimension || stats.empty()) return;
  _totalStats = new CellStatistics(stats);
  _totalStats->SetCategoricalStatistics();
  _totalTotalN = _totalStats->IsTotalNComputed();
}

void CubeAggregator::UpdateCubeIndex(std::vector<int>& cubeIndex,
                                     std::vector<int>& caseIndex) const {
  for (const int index : caseIndex) {
    if (index < 0) continue;  // a statistic without a variable
    bool seen = false;
    for (const int held : cubeIndex) {
      if (held == index) {
        seen = true;
        break;
      }
    }
    if (!seen) cubeIndex.push_back(index);
  }
}

void CubeAggregator::UpdateCubeCases(std::vector<int>& cubeIndex) {
  if (_statsDimension) {
    _cubeReaders = _statsDimension->GetCaseValues();
    return;
  }
  for (const int index : cubeIndex)
    _cubeReaders.push_back(_caseReaders[static_cast<size_t>(index)]);
}

void CubeAggregator::SetPercentStats() {
  _statValues = new StatValues(_totalStats);
  SetBaseStats();
  if (_hasPercents) {
    SetBaseMetadata();
    SetBaseHashtables();
  }
}

void CubeAggregator::SetBaseStats() {
  int nBases = 0;
  std::vector<AggregationStatistic> baseStats;
  std::vector<int> baseCaseIndices;
  for (int t = 0; t < CellStatistics::kNumberOfPercentTypes; ++t) {
    const CellStatistics::PercentType type = static_cast<CellStatistics::PercentType>(t);
    baseStats.clear();
    baseCaseIndices.clear();
    _cellStats->GetBaseStats(baseStats, baseCaseIndices, type, nBases);
    if (_totalStats) _totalStats->GetBaseStats(baseStats, baseCaseIndices, type, nBases);
    if (baseStats.empty()) continue;
    CellStatistics* base = new CellStatistics(baseStats);
    _baseStats[static_cast<size_t>(t)] = base;
    if (_statsDimension) {
      base->SetCategoricalStatistics();
    } else {
      // Base statistics of the responses family come without a case index;
      // then every base statistic is given the reader of its own variable.
      if (baseCaseIndices.size() != baseStats.size()) baseCaseIndices = ScaleCaseIndex(baseStats);
      base->SetScaleStatistics(baseCaseIndices);
    }
    _hasPercents = true;
    ++nBases;
  }
}

void CubeAggregator::SetBaseMetadata() {
  _cubeMetadata.SetClabelOption(_tableMetadata.GetClabelOption());
  for (int t = 0; t < CellStatistics::kNumberOfPercentTypes; ++t) {
    if (_baseStats[static_cast<size_t>(t)]) SetBaseDims(t);
  }
}

void CubeAggregator::SetBaseDims(int percentType) {
  std::vector<int> dims;
  _cubeMetadata.GetPercentBase(dims, percentType);
  _baseMetadata.push_back(_cubeMetadata.GetBaseMetadata(dims, percentType));
  _baseDims.push_back(std::move(dims));
}

void CubeAggregator::SetBaseHashtables() {
  for (const CubeMetadata& metadata : _baseMetadata) {
    _baseKeys.emplace_back(metadata.NumberOfDimensions());
    _baseTables.push_back(new ZarnHashtablePair(ZarnHashtablePair::kInitialBuckets));
    if (_statsDimension) {
      int index = -1;
      for (int iDim = 0; iDim < metadata.NumberOfDimensions(); ++iDim) {
        if (*metadata.GetDimension(iDim) == *_statsDimension) {
          index = iDim;
          break;
        }
      }
      _baseStatsDimIndex.push_back(index);
    }
  }
}

void CubeAggregator::SetPairwiseTest(bool dataWeighted) {
  assert(_cellStats);
  if (!_meanVarIndex) _meanVarIndex = new std::map<int, int>();
  const int nStats = _cellStats->NumberOfValues();
  for (const ZarnCaseValueReader* reader : _cubeReaders) {
    const int variable = static_cast<int>(reader->GetIndex());
    for (int i = 0; i < nStats; ++i) {
      if (_cellStats->GetVariable(i) != variable) continue;
      const int code = _cellStats->GetStatistic(i);
      if (IsMoment(code, false) || (!dataWeighted && IsMoment(code, true))) {
        _meanVarIndex->insert(std::make_pair(variable, _cellStats->GetValueIndex(i)));
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Adding a case
//
// A case reaches the cells of the cube and of its percentage bases by one of
// three walks (scale, categorical, multiple response). The walks are written
// once and applied two ways: CaseUpdate adds the table's current case to each
// cell reached (the per-case path), LeafMerge adds a leaf's states (the cases
// of one tuple of dimension cells, summed) to each cell reached. A cell not
// yet in a table is created empty, then updated like any other.

// Applies the table's current case to a cell, as its only update.
struct CubeAggregator::CaseUpdate {
  const std::vector<ZarnCaseValueReader*>& readers;
  const ZarnCaseValueReader* reader;
  double weight;
  bool mrSet;

  void Scale(CellValues& cell, int /*layout*/) const { cell.AddScaleCase(readers, weight); }
  void Categorical(CellValues& cell, int /*layout*/, double responses, bool valid,
                   bool totalOnly) const {
    if (mrSet) {
      cell.AddMRSetCase(responses, valid, totalOnly, weight);
    } else {
      cell.AddCategoricalCase(reader, valid, totalOnly, weight);
    }
  }
};

// Adds a leaf's state for the cell's layout: the leaf's cases, each counted
// with the responses it gives this cell.
struct CubeAggregator::LeafMerge {
  CellValues* const* states;

  void Scale(CellValues& cell, int layout) const { cell.Merge(*states[layout]); }
  void Categorical(CellValues& cell, int layout, double responses, bool /*valid*/,
                   bool /*totalOnly*/) const {
    cell.Merge(*states[layout], responses);
  }
};

void CubeAggregator::AddNewCase() {
  assert(_cellStats);
  assert(_mode == kScaleMode || _mode == kCVarMode || _mode == kMRSetMode);
  if (_mode == kScaleMode && _listwise) {
    // Listwise deletion: a case missing any of the cube's variables is left
    // out of every cell and base.
    for (const ZarnCaseValueReader* reader : _cubeReaders) {
      if (!reader->IsValid()) return;
    }
  }
  if (_tableMetadata.GetLeafAggregation()) {
    AddCaseToLeaf();
    return;
  }
  MergeLeaves();
  const CaseUpdate update{_caseReaders, _cubeReaders.empty() ? nullptr : _cubeReaders[0],
                          _caseWeight, _mode == kMRSetMode};
  Walk(update);
}

template <class Apply>
void CubeAggregator::Walk(const Apply& apply) {
  if (_mode == kScaleMode) {
    WalkScale(apply);
  } else {
    WalkCategorical(apply);
  }
}

template <class Apply>
void CubeAggregator::WalkScale(const Apply& apply) {
  if (!_cubeMetadata.MakeScaleCellKey(_cellKey)) return;
  do {
    _cellKey.UpdateHashCode();
    apply.Scale(CellAt(_cells, _cellKey, *_cellStats), kCellLayout);
  } while (_cubeMetadata.NewCellKey(_cellKey));
  if (!_hasPercents) return;
  for (size_t b = 0; b < _baseTables.size(); ++b) {
    CellKey& key = _baseKeys[b];
    const CubeMetadata& metadata = _baseMetadata[b];
    if (!metadata.MakeScaleCellKey(key)) continue;
    do {
      key.UpdateHashCode();
      apply.Scale(CellAt(_baseTables[b], key, *_layouts[BaseLayout(b)]), BaseLayout(b));
    } while (metadata.NewCellKey(key));
  }
}

template <class Apply>
void CubeAggregator::WalkCategorical(const Apply& apply) {
  bool noCategory = false;
  bool allValid = true;
  bool hasTotal = false;
  if (!_cubeMetadata.MakeCVarCellKey(_cellKey, noCategory, allValid, hasTotal)) {
    // A -99 code keeps the case out of the cells but not out of the bases
    // that drop that dimension; a value outside every category reaches nothing.
    if (_hasPercents && !noCategory) WalkCategoricalBases(apply, 0.0, false, true);
    return;
  }
  const bool mrSet = _mode == kMRSetMode;
  do {
    const double responses = mrSet ? _cubeMetadata.GetCellResponses(_statsDimIndex) : 1.0;
    _cellKey.UpdateHashCode();
    CellValues* cell = nullptr;
    int layout = kCellLayout;
    if (PairNode* node = _cells->Find(_cellKey)) {
      cell = node->GetValues();
      if (cell->GetCellStatistics() != _cellStats) layout = kTotalLayout;
    } else {
      bool computesTotalN = false;
      layout = NewCellLayout(computesTotalN);
      // A total-only case creates no cell whose layout does not report total N.
      if (!hasTotal || computesTotalN) cell = &CellAt(_cells, _cellKey, *_layouts[layout]);
    }
    if (cell) apply.Categorical(*cell, layout, responses, allValid, hasTotal);
  } while (_cubeMetadata.NewCellKey(_cellKey));
  if (_hasPercents) {
    const double total = mrSet ? static_cast<double>(_statsDimension->GetTotalCount()) : 0.0;
    WalkCategoricalBases(apply, total, allValid, hasTotal);
  }
}

template <class Apply>
void CubeAggregator::WalkCategoricalBases(const Apply& apply, double total, bool allValid,
                                          bool hasTotal) {
  const bool mrSet = _mode == kMRSetMode;
  for (size_t b = 0; b < _baseTables.size(); ++b) {
    CellKey& key = _baseKeys[b];
    const CubeMetadata& metadata = _baseMetadata[b];
    if (!metadata.MakeCVarPctKey(key)) continue;
    const int statsIndex = _baseStatsDimIndex[b];
    do {
      // A base that keeps the set counts the responses of the set's current
      // cell; one that drops it counts every response of the case.
      double responses = 1.0;
      if (mrSet) responses = statsIndex >= 0 ? metadata.GetCellResponses(statsIndex) : total;
      key.UpdateHashCode();
      apply.Categorical(CellAt(_baseTables[b], key, *_layouts[BaseLayout(b)]), BaseLayout(b),
                        responses, allValid, hasTotal);
    } while (metadata.NewCellKey(key));
  }
}

int CubeAggregator::NewCellLayout(bool& computesTotalN) const {
  if (_totalStats && _cellKey[_statsDimIndex] < Codes::kMinCategory) {
    computesTotalN = _totalTotalN;
    return kTotalLayout;
  }
  computesTotalN = _cellTotalN;
  return kCellLayout;
}

CellValues& CubeAggregator::CellAt(ZarnHashtablePair* table, const CellKey& key,
                                   const CellStatistics& layout) {
  if (PairNode* node = table->Find(key)) return *node->GetValues();
  std::unique_ptr<CellValues> values(new CellValues(&layout));
  std::unique_ptr<CellKey> keyCopy(new CellKey(key));
  CellValues& cell = *values;
  if (table->Insert(keyCopy.get(), values.get())) {
    keyCopy.release();
    values.release();
  }
  return cell;
}

// ---------------------------------------------------------------------------
// Leaves

void CubeAggregator::SetLeaves() {
  _layouts.assign(kFirstBaseLayout, nullptr);
  _layouts[kCellLayout] = _cellStats;
  _layouts[kTotalLayout] = _totalStats;
  for (const CellStatistics* base : _baseStats) {
    if (base) _layouts.push_back(base);
  }
  _leaves = new LeafTable(_layouts);
  int words = 0;
  for (int iDim = 0; iDim < _cubeMetadata.NumberOfDimensions(); ++iDim) {
    _dimensions.push_back(_cubeMetadata.GetDimension(iDim));
    words += _dimensions.back()->MaxCaseCellWords();
  }
  _caseWords.assign(static_cast<size_t>(words), 0);
  _savedWords.assign(static_cast<size_t>(words), 0);
}

int CubeAggregator::SaveCaseCells(int* words) const {
  int n = 0;
  for (const TableDimension* dimension : _dimensions) n += dimension->SaveCaseCells(words + n);
  return n;
}

void CubeAggregator::LoadCaseCells(const int* words) const {
  int n = 0;
  for (TableDimension* dimension : _dimensions) n += dimension->LoadCaseCells(words + n);
}

void CubeAggregator::AddCaseToLeaf() {
  int* words = _caseWords.data();
  const int n = SaveCaseCells(words);
  const uint64_t hash = LeafTable::Hash(words, n);
  int leaf = _leaves->Find(words, n, hash);
  if (leaf < 0) leaf = NewLeaf(words, n, hash);
  const LeafTable::Leaf& entry = _leaves->GetLeaf(leaf);
  if (entry.route == LeafTable::kNothing) return;
  _leaves->Touch(leaf);
  CellValues* const* states = _leaves->States(leaf);
  const double weight = _caseWeight;
  const int nLayouts = static_cast<int>(_layouts.size());
  switch (_mode) {
    case kScaleMode:
      for (int l = 0; l < nLayouts; ++l) {
        if (states[l]) states[l]->AddScaleCase(_caseReaders, weight);
      }
      break;
    case kCVarMode: {
      const ZarnCaseValueReader* reader = _cubeReaders.empty() ? nullptr : _cubeReaders[0];
      for (int l = 0; l < nLayouts; ++l) {
        if (states[l])
          states[l]->AddCategoricalCase(reader, entry.allValid, entry.totalOnly, weight);
      }
      break;
    }
    default:
      // One response per case: the merge multiplies by the responses each
      // cell takes.
      for (int l = 0; l < nLayouts; ++l) {
        if (states[l]) states[l]->AddMRSetCase(1.0, entry.allValid, entry.totalOnly, weight);
      }
      break;
  }
}

// The route of a new leaf follows from the current case's cells, which the
// key describes completely: the same tests the walks make.
int CubeAggregator::NewLeaf(const int* words, int n, uint64_t hash) {
  if (_mode == kScaleMode) {
    const bool reaches = _cubeMetadata.MakeScaleCellKey(_cellKey);
    return _leaves->Insert(words, n, hash,
                           reaches ? LeafTable::kCellsAndBases : LeafTable::kNothing, true, false);
  }
  bool noCategory = false;
  bool allValid = true;
  bool hasTotal = false;
  if (_cubeMetadata.MakeCVarCellKey(_cellKey, noCategory, allValid, hasTotal)) {
    return _leaves->Insert(words, n, hash, LeafTable::kCellsAndBases, allValid, hasTotal);
  }
  const bool bases = _hasPercents && !noCategory;
  return _leaves->Insert(words, n, hash, bases ? LeafTable::kBasesOnly : LeafTable::kNothing, false,
                         true);
}

// Each leaf's cells are brought back into the dimensions, walked, and given
// the leaf's states; then the dimensions get the current case's cells back,
// so merging is invisible to anything that reads them afterwards.
void CubeAggregator::MergeLeaves() {
  if (!_leaves || _leaves->Pending().empty()) return;
  SaveCaseCells(_savedWords.data());
  for (int leaf : _leaves->Pending()) {
    LoadCaseCells(_leaves->Key(leaf));
    Walk(LeafMerge{_leaves->States(leaf)});
  }
  LoadCaseCells(_savedWords.data());
  _leaves->ClearPending();
}

void CubeAggregator::MergeLeavesForReading() const {
  // Merging changes where the cases are kept, not what is read.
  const_cast<CubeAggregator*>(this)->MergeLeaves();
}

// ---------------------------------------------------------------------------
// Reading

bool CubeAggregator::SetCellKey(const std::vector<const AggregationCategory*>& categories,
                                int iEncode) {
  const int nCategories = static_cast<int>(categories.size());
  assert((_cellKey.length() == nCategories || _extraDimension) &&
         "_cellKey.length() == categories.size() || _extraDimension");
  // Only the extra dimension may be left out: with fewer categories the codes
  // of the dimensions not named would be those of an earlier read.
  assert(nCategories + 1 >= _cellKey.length() && "categories.size() + 1 >= _cellKey.length()");
  bool result = true;
  for (int i = 0; i < nCategories; ++i) {
    TableDimension* tableDim = _cubeMetadata.GetDimension(i);
    const AggregationCategory* category = categories[static_cast<size_t>(i)];
    if (i != iEncode) {
      _cellKey[i] = category->GetCatEncoding();
      if (tableDim->GetDimensionType() == TableDimension::kCategoricalVariable) {
        assert((tableDim->VariableIndex())[0] == categories[i]->GetVarIndex());
      }
      continue;
    }
    switch (category->GetCatType()) {
      case AggregationCategory::kValue: {
        const int code =
            tableDim->GetCategoryEncoding(&category->GetCatValue(), category->GetValueType());
        _cellKey[i] = code;
        if (code == 0) result = false;
        break;
      }
      case AggregationCategory::kSubtotal:
      case AggregationCategory::kHSubtotal:
      case AggregationCategory::kTotal:
        _cellKey[i] = category->GetCatEncoding();
        break;
      case AggregationCategory::kVariable: {
        OBS variable;
        variable.num = static_cast<double>(category->GetVarIndex());
        const int code = tableDim->GetCategoryEncoding(&variable);
        _cellKey[i] = code;
        if (code == 0) result = false;
        break;
      }
      default:
        result = false;
        break;
    }
  }
  if (_extraDimension && _cellKey.length() > nCategories) {
    _cellKey[nCategories] = Codes::kTotalCategory;
  }
  return result;
}

StatValues* CubeAggregator::GetStatValues(const std::vector<const AggregationCategory*>& categories,
                                          int iEncode) {
  if (!_cells) return nullptr;
  MergeLeaves();
  if (!SetCellKey(categories, iEncode)) return nullptr;
  _cellKey.UpdateHashCode();
  PairNode* node = _cells->Find(_cellKey);
  if (!node) return nullptr;
  _statValues->SetStatValues(node->GetValues());
  if (_hasPercents) SetPercentValues();
  return _statValues;
}

void CubeAggregator::SetPercentValues() {
  _statValues->ClearBases();
  for (size_t b = 0; b < _baseKeys.size(); ++b) {
    CellKey& baseKey = _baseKeys[b];
    const std::vector<int>& dims = _baseDims[b];
    for (size_t j = 0; j < dims.size(); ++j) baseKey[static_cast<int>(j)] = _cellKey[dims[j]];
    baseKey.UpdateHashCode();
    PairNode* node = _baseTables[b]->Find(baseKey);
    assert(node && "Pt");
    _statValues->AddPercentBase(node ? node->GetValues() : nullptr);
  }
}

int CubeAggregator::GetCellStatus(const std::vector<const AggregationCategory*>& categories,
                                  int iEncode) {
  if (!_cells) return 0;
  MergeLeaves();
  if (!SetCellKey(categories, iEncode)) return 0;
  _cellKey.UpdateHashCode();
  return _cells->Find(_cellKey) ? 1 : 0;
}

const CellValues* CubeAggregator::FindCell(CellKey& cellKey) const {
  assert(_cellKey.length() == cellKey.length());
  for (int i = 0; i < cellKey.length(); ++i) {
    const int cellI = cellKey[i];
    assert(IsValidKeyCode(cellI) &&
           "cellI >= TableEncryptionCodes::kMinCategory || cellI == "
           "TableEncryptionCodes::kNoCategory || ( cellI >= TableEncryptionCodes::kLowerSubtotal "
           "&& cellI <= TableEncryptionCodes::kMaxSubtotal ) || cellI == "
           "TableEncryptionCodes::kTotalCategory");
    (void)cellI;
  }
  cellKey.UpdateHashCode();
  if (!_cells) return nullptr;
  MergeLeavesForReading();
  const PairNode* node = _cells->Find(cellKey);
  return node ? node->GetValues() : nullptr;
}

double CubeAggregator::GetCount(CellKey& cellKey, bool weighted) const {
  const CellValues* cell = FindCell(cellKey);
  if (!cell) return 0.0;
  return cell->GetValues()[weighted ? 0 : 1];
}

const OBS* CubeAggregator::GetCountMeanVariance(int index, CellKey& cellKey) const {
  assert(_cellKey.length() == cellKey.length());
  for (int i = 0; i < cellKey.length(); ++i) {
    assert(IsValidKeyCode(cellKey[i]) &&
           "cellKey[i] >= TableEncryptionCodes::kMinCategory || cellKey[i] == "
           "TableEncryptionCodes::kNoCategory || ( cellKey[i] >= "
           "TableEncryptionCodes::kLowerSubtotal && cellKey[i] <= "
           "TableEncryptionCodes::kMaxSubtotal ) || cellKey[i] == "
           "TableEncryptionCodes::kTotalCategory");
  }
  cellKey.UpdateHashCode();
  if (!_cells) return nullptr;
  MergeLeavesForReading();
  const PairNode* node = _cells->Find(cellKey);
  if (!node) return nullptr;
  // A slot outside the cell's array (such as the -1 of GetMeanVarIndex for a
  // variable without a moment statistic) has no address to hand out.
  const CellValues* cell = node->GetValues();
  if (index < 0 || index >= cell->GetCellStatistics()->ValueSize()) return nullptr;
  // The slots are doubles; the host reads them as its 8-byte value cells.
  return reinterpret_cast<const OBS*>(cell->GetValues() + index);
}

int CubeAggregator::GetMeanVarIndex(int variable, bool /*weighted*/) const {
  if (!_meanVarIndex) return -1;
  const std::map<int, int>::const_iterator found = _meanVarIndex->find(variable);
  return found == _meanVarIndex->end() ? -1 : found->second;
}

double CubeAggregator::GetSortValue(CellKey& cellKey) const {
  assert(_cellKey.length() == cellKey.length());
  cellKey.UpdateHashCode();
  if (!_cells) return Codes::kMissingValue;
  MergeLeavesForReading();
  const PairNode* node = _cells->Find(cellKey);
  if (!node) return Codes::kMissingValue;
  return node->GetValues()->ComputeValue(0).GetValue1();
}

bool CubeAggregator::IsCubeEmpty() const {
  if (!_cells) return true;
  MergeLeavesForReading();
  return _cells->IsEmpty();
}

int CubeAggregator::GetNValuesInnerRow() const {
  const TableDimension* inner = _cubeMetadata.GetInnerRow();
  return inner ? inner->GetNumberOfValues() : 0;
}

int CubeAggregator::GetNValuesInnerColumn() const {
  const TableDimension* inner = _cubeMetadata.GetInnerColumn();
  return inner ? inner->GetNumberOfValues() : 0;
}

// ---------------------------------------------------------------------------
// Reset and diagnostics

void CubeAggregator::ResetAggregator() {
  if (_leaves) _leaves->Clear();
  if (_cells) _cells->Clear();
  if (_hasPercents) {
    for (ZarnHashtablePair* table : _baseTables) table->Clear();
  }
  // The result object pointed into the cells just deleted: forget them, so
  // that a stale read trips the result's own precondition instead of reading
  // freed memory.
  if (_statValues) *_statValues = StatValues(_totalStats);
}

void CubeAggregator::PrintCubeDataDbg(const char* title) {
  MergeLeaves();
  char buffer[kLineBufferSize];
  BP_Character text;
  if (title) {
    text += "Cube debug output:";
    text += title;
  } else {
    text += "Categorical variable indices:";
    for (int iDim = 0; iDim < _cubeMetadata.NumberOfDimensions(); ++iDim) {
      const std::vector<int> indices = _cubeMetadata.GetDimension(iDim)->VariableIndex();
      std::snprintf(buffer, sizeof buffer, "\t %d", indices.empty() ? -1 : indices[0]);
      text += buffer;
    }
  }
  text += "\n";
  BP_ToFront(kOutputTitle, text);

  if (_cells && _cells->Count() > 0) {
    _cells->display();
    std::snprintf(buffer, sizeof buffer, " Number of cells in the Hashtable: %d", _cells->Count());
    BP_ToFront(kOutputDetail, BP_Character(buffer));
  }
  for (const ZarnHashtablePair* table : _baseTables) {
    BP_ToFront(kOutputFrame, BP_Character(" Percentage base "));
    table->display();
    std::snprintf(buffer, sizeof buffer, " Number of cells in the percentage base Hashtable: %d",
                  table->Count());
    BP_ToFront(kOutputDetail, BP_Character(buffer));
  }
}

// ---------------------------------------------------------------------------
// Partial tables

// A staged cell: its key as the writer coded it, its layout position and its
// state.
struct StagedCell {
  std::vector<int> codes;
  int layout;
  std::unique_ptr<CellValues> values;
};

struct CubeAggregator::StagedCells {
  // Table 0 holds the cells, table b + 1 the cells of base b.
  std::vector<std::vector<StagedCell>> tables;
};

namespace {

// Whether a code read from a state names a category a cell may hold: a value
// the writer's dimension had met, a total or a subtotal.
bool IsStoredCode(int code, int valueCount) {
  return (code >= Codes::kMinCategory && code <= valueCount) || code == Codes::kTotalCategory ||
         (code >= Codes::kLowerSubtotal && code <= Codes::kMaxSubtotal);
}

}  // namespace

void CubeAggregator::WriteState(StateWriter& out) {
  MergeLeaves();
  out.U32(static_cast<uint32_t>(_cubeMetadata.NumberOfDimensions()));
  out.U32(static_cast<uint32_t>(_layouts.size()));
  for (const CellStatistics* layout : _layouts) {
    out.U8(layout ? 1 : 0);
    if (!layout) continue;
    out.U32(static_cast<uint32_t>(layout->NumberOfValues()));
    out.U32(static_cast<uint32_t>(layout->ValueSize()));
    out.U32(static_cast<uint32_t>(layout->NumberOfFreqTables()));
  }
  out.U32(static_cast<uint32_t>(1 + _baseTables.size()));
  for (size_t t = 0; t <= _baseTables.size(); ++t) {
    const ZarnHashtablePair& table = t == 0 ? *_cells : *_baseTables[t - 1];
    const int keyLength = t == 0 ? _cellKey.length() : _baseKeys[t - 1].length();
    out.U32(static_cast<uint32_t>(keyLength));
    out.U32(static_cast<uint32_t>(table.Count()));
    for (const PairNode& node : table) {
      const CellKey& key = *node.GetKey();
      for (int i = 0; i < keyLength; ++i) out.I32(key[i]);
      const CellStatistics* layout = node.GetValues()->GetCellStatistics();
      int position = kCellLayout;
      while (position < static_cast<int>(_layouts.size()) &&
             _layouts[static_cast<size_t>(position)] != layout) {
        ++position;
      }
      out.U8(static_cast<uint8_t>(position));
      node.GetValues()->WriteState(out);
    }
  }
}

void CubeAggregator::StagedCellsDeleter::operator()(StagedCells* staged) const {
  delete staged;
}

CubeAggregator::StagedCellsPtr CubeAggregator::ReadState(StateReader& in,
                                                         const std::vector<int>& valueCounts) {
  const int nDims = _cubeMetadata.NumberOfDimensions();
  bool fits = in.U32() == static_cast<uint32_t>(nDims) &&
              in.U32() == static_cast<uint32_t>(_layouts.size());
  for (size_t l = 0; fits && l < _layouts.size(); ++l) {
    const CellStatistics* layout = _layouts[l];
    fits = in.U8() == (layout ? 1 : 0);
    if (fits && layout) {
      fits = in.U32() == static_cast<uint32_t>(layout->NumberOfValues()) &&
             in.U32() == static_cast<uint32_t>(layout->ValueSize()) &&
             in.U32() == static_cast<uint32_t>(layout->NumberOfFreqTables());
    }
  }
  fits = fits && in.U32() == static_cast<uint32_t>(1 + _baseTables.size());
  if (!fits) {
    in.Fail("the state was written for a table of another definition");
    return nullptr;
  }
  StagedCellsPtr staged(new StagedCells);
  staged->tables.resize(1 + _baseTables.size());
  for (size_t t = 0; t <= _baseTables.size() && in.Ok(); ++t) {
    const std::vector<int>* dims = t == 0 ? nullptr : &_baseDims[t - 1];
    const int keyLength = t == 0 ? _cellKey.length() : _baseKeys[t - 1].length();
    if (in.U32() != static_cast<uint32_t>(keyLength)) {
      in.Fail("the state was written for a table of another definition");
      break;
    }
    // Every cell takes at least its codes, a layout byte and a slot count.
    const uint32_t count = in.Count(4 * static_cast<size_t>(keyLength) + 5);
    CellKey key(keyLength);
    ZarnHashtablePair seen(ZarnHashtablePair::kInitialBuckets);
    for (uint32_t c = 0; c < count && in.Ok(); ++c) {
      StagedCell cell;
      cell.codes.resize(static_cast<size_t>(keyLength));
      for (int i = 0; i < keyLength; ++i) {
        const int code = in.I32();
        const int dim = dims ? (*dims)[static_cast<size_t>(i)] : i;
        if (in.Ok() && !IsStoredCode(code, valueCounts[static_cast<size_t>(dim)])) {
          in.Fail("a cell of the state holds the code " + std::to_string(code) +
                  ", which names no category");
        }
        cell.codes[static_cast<size_t>(i)] = code;
        key[i] = code;
      }
      cell.layout = in.U8();
      if (!in.Ok()) break;
      // A cell takes the layout its key calls for: the reader of the values
      // relies on it.
      const int expected = t == 0 ? LayoutOfKey(key) : BaseLayout(t - 1);
      if (cell.layout != expected) {
        in.Fail("a cell of the state has a layout its key does not call for");
        break;
      }
      key.UpdateHashCode();
      if (seen.Contains(key)) {
        in.Fail("the state holds a cell twice");
        break;
      }
      seen.Insert(new CellKey(key), nullptr);
      cell.values.reset(new CellValues(_layouts[static_cast<size_t>(cell.layout)]));
      if (!cell.values->ReadState(in)) break;
      staged->tables[t].push_back(std::move(cell));
    }
  }
  if (in.Ok()) CheckStagedBases(in, *staged);
  if (!in.Ok()) return nullptr;
  return staged;
}

// Every cell of a state's cube needs its cell in each percentage base (a
// case that reaches a cell reaches its base cells too), or its percentages
// could not be read.
void CubeAggregator::CheckStagedBases(StateReader& in, const StagedCells& staged) const {
  for (size_t b = 0; b < _baseTables.size(); ++b) {
    std::set<std::vector<int>> bases;
    for (const StagedCell& cell : staged.tables[b + 1]) bases.insert(cell.codes);
    std::vector<int> codes(_baseDims[b].size());
    for (const StagedCell& cell : staged.tables[0]) {
      for (size_t i = 0; i < codes.size(); ++i) {
        codes[i] = cell.codes[static_cast<size_t>(_baseDims[b][i])];
      }
      if (bases.count(codes) == 0) {
        in.Fail("a cell of the state lacks its percentage base cell");
        return;
      }
    }
  }
}

int CubeAggregator::LayoutOfKey(const CellKey& key) const {
  if (_totalStats && key[_statsDimIndex] < Codes::kMinCategory) return kTotalLayout;
  return kCellLayout;
}

void CubeAggregator::MergeStagedCells(StagedCells& staged,
                                      const std::vector<const std::vector<int>*>& remaps) {
  for (size_t t = 0; t < staged.tables.size(); ++t) {
    ZarnHashtablePair* table = t == 0 ? _cells : _baseTables[t - 1];
    const std::vector<int>* dims = t == 0 ? nullptr : &_baseDims[t - 1];
    CellKey key(t == 0 ? _cellKey.length() : _baseKeys[t - 1].length());
    for (StagedCell& cell : staged.tables[t]) {
      for (int i = 0; i < key.length(); ++i) {
        const int code = cell.codes[static_cast<size_t>(i)];
        const int dim = dims ? (*dims)[static_cast<size_t>(i)] : i;
        key[i] = code >= Codes::kMinCategory ? (*remaps[static_cast<size_t>(dim)])[code] : code;
      }
      key.UpdateHashCode();
      CellAt(table, key, *_layouts[static_cast<size_t>(cell.layout)]).Merge(*cell.values);
    }
  }
}

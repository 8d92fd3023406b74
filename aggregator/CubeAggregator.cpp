#include "CubeAggregator.h"

#include <cassert>
#include <cstdio>
#include <memory>

#include "AggregationCategory.h"
#include "CellStatistics.h"
#include "CellValues.h"
#include "HashtablePair.h"
#include "StatValues.h"
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

bool IsValidKeyCode(int cellI) {
  return cellI >= TableEncryptionCodes::kMinCategory ||
         cellI == TableEncryptionCodes::kNoCategory ||
         (cellI >= TableEncryptionCodes::kLowerSubtotal &&
          cellI <= TableEncryptionCodes::kMaxSubtotal) ||
         cellI == TableEncryptionCodes::kTotalCategory;
}

// Moment statistics whose accumulator (W, mean, M2) pairwise tests read.
bool IsWeightedMoment(int code) {
  return code == Codes::kSEMean || code == Codes::kStdDev || code == Codes::kVariance ||
         code == Codes::kSumSquaredDeviations;
}
bool IsUnweightedMoment(int code) {
  return code == Codes::kUSEMean || code == Codes::kUStdDev || code == Codes::kUVariance;
}

// Update codes whose accumulator reads the statistic variable's value.
bool ReadsVariable(Codes::StatisticCodes update) {
  switch (update) {
    case Codes::kMaximum:
    case Codes::kMean:
    case Codes::kUMean:
    case Codes::kMedian:
    case Codes::kUMedian:
    case Codes::kMinimum:
    case Codes::kValueRange:
    case Codes::kValidN:
    case Codes::kUValidN:
    case Codes::kVariance:
    case Codes::kUVariance:
    case Codes::kBelowCount:
    case Codes::kUBelowCount:
      return true;
    default:
      return false;
  }
}

// Hands a new cell to a table; the table owns both objects from then on.
void InsertCell(ZarnHashtablePair* table, const CellKey& key, std::unique_ptr<CellValues> values) {
  std::unique_ptr<CellKey> keyCopy(new CellKey(key));
  if (table->Insert(keyCopy.get(), values.get())) {
    keyCopy.release();
    values.release();
  }
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
      _mode(kNoMode) {
  const int nDims = _cubeMetadata.NumberOfDimensions();
  if (nDims >= 2) {
    _extraDimension = _cubeMetadata.GetDimPosition(nDims - 1) == Codes::kExtraPosition;
  }
}

CubeAggregator::~CubeAggregator() {
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
    assert((caseIndex >= 0 || !ReadsVariable(layout.GetUpdateStat(i))) &&
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
      if (IsWeightedMoment(code) || (!dataWeighted && IsUnweightedMoment(code))) {
        _meanVarIndex->insert(std::make_pair(variable, _cellStats->GetValueIndex(i)));
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Adding a case

void CubeAggregator::AddNewCase() {
  assert(_cellStats);
  switch (_mode) {
    case kScaleMode:
      AddNewScaleCase();
      break;
    case kCVarMode:
      AddNewCVarCase();
      break;
    case kMRSetMode:
      AddNewMRSetCase();
      break;
    default:
      assert(0);
      break;
  }
}

void CubeAggregator::AddNewScaleCase() {
  if (_listwise) {
    for (const ZarnCaseValueReader* reader : _cubeReaders) {
      if (!reader->IsValid()) return;
    }
  }
  if (!_cubeMetadata.MakeScaleCellKey(_cellKey)) return;
  const double weight = _caseWeight;
  do {
    _cellKey.UpdateHashCode();
    if (PairNode* node = _cells->Find(_cellKey)) {
      node->GetValues()->AddScaleCase(_caseReaders, weight);
    } else {
      InsertNewCell(*_cellStats);
    }
  } while (_cubeMetadata.NewCellKey(_cellKey));
  if (_hasPercents) UpdateAllScalePcts();
}

const CellStatistics& CubeAggregator::NewCellLayout(bool& computesTotalN) const {
  if (_totalStats && _cellKey[_statsDimIndex] < Codes::kMinCategory) {
    computesTotalN = _totalTotalN;
    return *_totalStats;
  }
  computesTotalN = _cellTotalN;
  return *_cellStats;
}

void CubeAggregator::AddNewCVarCase() {
  bool noCategory = false;
  bool allValid = true;
  bool hasTotal = false;
  if (!_cubeMetadata.MakeCVarCellKey(_cellKey, noCategory, allValid, hasTotal)) {
    // A -99 code keeps the case out of the cells but not out of the bases
    // that drop that dimension; a value outside every category reaches nothing.
    if (_hasPercents && !noCategory) UpdateAllCVarPcts(false, true);
    return;
  }
  const double weight = _caseWeight;
  const ZarnCaseValueReader* reader = _cubeReaders.empty() ? nullptr : _cubeReaders[0];
  do {
    _cellKey.UpdateHashCode();
    if (PairNode* node = _cells->Find(_cellKey)) {
      node->GetValues()->AddCategoricalCase(reader, allValid, hasTotal, weight);
    } else {
      bool computesTotalN = false;
      const CellStatistics& layout = NewCellLayout(computesTotalN);
      // A total-only case creates no cell whose layout does not report total N.
      if (!hasTotal || computesTotalN) InsertNewCell(layout, allValid, hasTotal);
    }
  } while (_cubeMetadata.NewCellKey(_cellKey));
  if (_hasPercents) UpdateAllCVarPcts(allValid, hasTotal);
}

void CubeAggregator::AddNewMRSetCase() {
  bool noCategory = false;
  bool allValid = true;
  bool hasTotal = false;
  if (!_cubeMetadata.MakeCVarCellKey(_cellKey, noCategory, allValid, hasTotal)) {
    if (_hasPercents && !noCategory) UpdateAllMRSetPcts(0.0, false, true);
    return;
  }
  const double weight = _caseWeight;
  do {
    const double count = _cubeMetadata.GetCellResponses(_statsDimIndex);
    _cellKey.UpdateHashCode();
    if (PairNode* node = _cells->Find(_cellKey)) {
      node->GetValues()->AddMRSetCase(count, allValid, hasTotal, weight);
    } else {
      bool computesTotalN = false;
      const CellStatistics& layout = NewCellLayout(computesTotalN);
      if (!hasTotal || computesTotalN) InsertNewCell(layout, count, allValid, hasTotal);
    }
  } while (_cubeMetadata.NewCellKey(_cellKey));
  if (_hasPercents) {
    UpdateAllMRSetPcts(static_cast<double>(_statsDimension->GetTotalCount()), allValid, hasTotal);
  }
}

void CubeAggregator::InsertNewCell(const CellStatistics& layout) {
  InsertCell(_cells, _cellKey,
             std::unique_ptr<CellValues>(new CellValues(&layout, _caseReaders, _caseWeight)));
}

void CubeAggregator::InsertNewCell(const CellStatistics& layout, bool allValid, bool hasTotal) {
  const ZarnCaseValueReader* reader = _cubeReaders.empty() ? nullptr : _cubeReaders[0];
  InsertCell(_cells, _cellKey,
             std::unique_ptr<CellValues>(
                 new CellValues(&layout, reader, allValid, hasTotal, _caseWeight)));
}

void CubeAggregator::InsertNewCell(const CellStatistics& layout, double count, bool allValid,
                                   bool hasTotal) {
  InsertCell(
      _cells, _cellKey,
      std::unique_ptr<CellValues>(new CellValues(&layout, count, allValid, hasTotal, _caseWeight)));
}

void CubeAggregator::UpdateAllScalePcts() {
  size_t b = 0;
  for (int t = 0; t < CellStatistics::kNumberOfPercentTypes; ++t) {
    if (!_baseStats[static_cast<size_t>(t)]) continue;
    UpdateScalePctBase(_baseKeys[b], _baseMetadata[b], _baseTables[b], t);
    ++b;
  }
}

void CubeAggregator::UpdateAllCVarPcts(bool allValid, bool hasTotal) {
  size_t b = 0;
  for (int t = 0; t < CellStatistics::kNumberOfPercentTypes; ++t) {
    if (!_baseStats[static_cast<size_t>(t)]) continue;
    UpdateCVarPctBase(_baseKeys[b], _baseMetadata[b], _baseTables[b], t, allValid, hasTotal);
    ++b;
  }
}

void CubeAggregator::UpdateAllMRSetPcts(double total, bool allValid, bool hasTotal) {
  size_t b = 0;
  for (int t = 0; t < CellStatistics::kNumberOfPercentTypes; ++t) {
    if (!_baseStats[static_cast<size_t>(t)]) continue;
    UpdateMRSetPctBase(_baseKeys[b], _baseMetadata[b], _baseTables[b], t, _baseStatsDimIndex[b],
                       total, allValid, hasTotal);
    ++b;
  }
}

void CubeAggregator::UpdateScalePctBase(CellKey& key, CubeMetadata& metadata,
                                        ZarnHashtablePair* table, int percentType) {
  if (!metadata.MakeScaleCellKey(key)) return;
  const double weight = _caseWeight;
  const CellStatistics* layout = _baseStats[static_cast<size_t>(percentType)];
  do {
    key.UpdateHashCode();
    if (PairNode* node = table->Find(key)) {
      node->GetValues()->AddScaleCase(_caseReaders, weight);
    } else {
      InsertCell(table, key,
                 std::unique_ptr<CellValues>(new CellValues(layout, _caseReaders, weight)));
    }
  } while (metadata.NewCellKey(key));
}

void CubeAggregator::UpdateCVarPctBase(CellKey& key, CubeMetadata& metadata,
                                       ZarnHashtablePair* table, int percentType, bool allValid,
                                       bool hasTotal) {
  if (!metadata.MakeCVarPctKey(key)) return;
  const double weight = _caseWeight;
  const CellStatistics* layout = _baseStats[static_cast<size_t>(percentType)];
  const ZarnCaseValueReader* reader = _cubeReaders.empty() ? nullptr : _cubeReaders[0];
  do {
    key.UpdateHashCode();
    if (PairNode* node = table->Find(key)) {
      node->GetValues()->AddCategoricalCase(reader, allValid, hasTotal, weight);
    } else {
      InsertCell(
          table, key,
          std::unique_ptr<CellValues>(new CellValues(layout, reader, allValid, hasTotal, weight)));
    }
  } while (metadata.NewCellKey(key));
}

void CubeAggregator::UpdateMRSetPctBase(CellKey& key, CubeMetadata& metadata,
                                        ZarnHashtablePair* table, int percentType, int statsIndex,
                                        double total, bool allValid, bool hasTotal) {
  if (!metadata.MakeCVarPctKey(key)) return;
  const double weight = _caseWeight;
  const CellStatistics* layout = _baseStats[static_cast<size_t>(percentType)];
  do {
    // A base that keeps the set counts the responses of the set's current
    // cell; one that drops it counts every response of the case.
    const double count = statsIndex >= 0 ? metadata.GetCellResponses(statsIndex) : total;
    key.UpdateHashCode();
    if (PairNode* node = table->Find(key)) {
      node->GetValues()->AddMRSetCase(count, allValid, hasTotal, weight);
    } else {
      InsertCell(
          table, key,
          std::unique_ptr<CellValues>(new CellValues(layout, count, allValid, hasTotal, weight)));
    }
  } while (metadata.NewCellKey(key));
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
  const PairNode* node = _cells->Find(cellKey);
  if (!node) return Codes::kMissingValue;
  return node->GetValues()->ComputeValue(0).GetValue1();
}

bool CubeAggregator::IsCubeEmpty() const {
  return !_cells || _cells->IsEmpty();
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

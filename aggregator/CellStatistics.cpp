#include "CellStatistics.h"

#include <cstddef>

#include "StatisticTraits.h"

namespace {

using Codes = TableEncryptionCodes;

// The percentage kinds are numbered as the statistic traits number them.
static_assert(CellStatistics::kRowPercent == StatisticPercent::kRow &&
                  CellStatistics::kColumnPercent == StatisticPercent::kColumn &&
                  CellStatistics::kTablePercent == StatisticPercent::kTable &&
                  CellStatistics::kSubtablePercent == StatisticPercent::kSubtable &&
                  CellStatistics::kLayerPercent == StatisticPercent::kLayer &&
                  CellStatistics::kLayerRowPercent == StatisticPercent::kLayerRow &&
                  CellStatistics::kLayerColumnPercent == StatisticPercent::kLayerColumn,
              "percentage kinds");

bool IsValidNAccumulator(int update) {
  return update == Codes::kValidN || update == Codes::kUValidN;
}
bool IsTotalNAccumulator(int update) {
  return update == Codes::kTotalN || update == Codes::kUTotalN;
}

}  // namespace

CellStatistics::CellStatistics(const std::vector<AggregationStatistic>& statistics)
    : _statistics(statistics),
      _updateStats(statistics.size(), Codes::kNoStatistic),
      _caseIndex(statistics.size(), -1),
      _baseIndex(statistics.size(), -1),
      _baseTypeIndex(statistics.size(), -1),
      _frequencyIndex(statistics.size(), -1),
      _numberOfValues(static_cast<int>(statistics.size())),
      _valueSize(0),
      _numberOfFreqTables(0),
      _categorical(false),
      _fixedFlags{false, false, false, false},
      _fixedPositions{0, 0, 0, 0},
      _fixedSize(0),
      _hasFixedUnweighted(false) {}

CellStatistics::CellStatistics(const CellStatistics& other) = default;

CellStatistics::~CellStatistics() = default;

void CellStatistics::SetScaleStatistics(const std::vector<int>& caseIndices) {
  assert(caseIndices.size() == _statistics.size() && "one case index per statistic");
  _caseIndex = caseIndices;
  SetFixedStats();
  SetUpdateStats();
}

void CellStatistics::SetCategoricalStatistics() {
  _categorical = true;
  SetFixedStats();
  SetUpdateStats();
}

void CellStatistics::SetFixedStats() {
  assert(_valueSize == 0 && "the layout is set up once");
  _fixedFlags[kFixedCount] = true;
  for (const AggregationStatistic& stat : _statistics) {
    const int c = stat.GetSummaryStatistic();
    // A code outside the table would get no slot and shift the slots of every
    // later statistic; refuse it while the layout is being built.
    assert(0 <= c && c <= 170);
    const StatisticTraits& traits = TraitsOf(c);
    // A categorical layout keeps valid and total N in its fixed region (missing
    // N reads both); responses always live there.
    bool fixed = false;
    if (_categorical && IsValidNAccumulator(traits.accumulator)) {
      _fixedFlags[kFixedValidN] = fixed = true;
      if (traits.reading == StatisticReading::kMissingN) _fixedFlags[kFixedTotalN] = true;
    } else if (_categorical && IsTotalNAccumulator(traits.accumulator)) {
      _fixedFlags[kFixedTotalN] = fixed = true;
    }
    if (traits.family == StatisticFamily::kResponses) _fixedFlags[kFixedResponses] = fixed = true;
    if (fixed && traits.unweighted) _hasFixedUnweighted = true;
  }
}

void CellStatistics::SetUpdateStats() {
  _valueIndex.clear();
  const int width = _hasFixedUnweighted ? 2 : 1;
  int p = 2;
  if (_fixedFlags[kFixedTotalN]) {
    _fixedPositions[kFixedTotalN] = 2;
    p += width;
  }
  if (_fixedFlags[kFixedValidN]) {
    _fixedPositions[kFixedValidN] = p;
    p += width;
  }
  if (_fixedFlags[kFixedResponses]) {
    _fixedPositions[kFixedResponses] = p;
    p += width;
  }
  _fixedSize = p;

  std::vector<int> tableVariables;
  std::vector<bool> tableWeighted;
  for (int i = 0; i < _numberOfValues; ++i) {
    const int c = _statistics[i].GetSummaryStatistic();
    assert(0 <= c && c <= 170);
    const StatisticTraits& traits = TraitsOf(c);
    const int twin = traits.unweighted ? 1 : 0;
    Codes::StatisticCodes update = traits.accumulator;
    int index = p;
    int slots = traits.slots;
    switch (traits.family) {
      case StatisticFamily::kCounts:
        // Counts are slots 0 and 1; a categorical layout reads valid and
        // total N from its fixed region; a scale layout keeps valid N in a
        // slot of its own and reads total N from the counts.
        if (update == Codes::kCount || update == Codes::kUCount) {
          index = twin;
        } else if (_categorical && IsValidNAccumulator(update)) {
          index = _fixedPositions[kFixedValidN] + twin;
          slots = 0;
        } else if (_categorical && IsTotalNAccumulator(update)) {
          index = _fixedPositions[kFixedTotalN] + twin;
        }
        break;
      case StatisticFamily::kResponses:
        index = _fixedPositions[kFixedResponses] + twin;
        break;
      case StatisticFamily::kFrequencies:
        // Statistics of one variable and weighting share a table; the first
        // of them updates it.
        SetFrequencyTable(tableVariables, tableWeighted, i, update, !traits.unweighted);
        update = _updateStats[i];
        break;
      default:
        break;
    }
    _updateStats[i] = update;
    _valueIndex.push_back(index);
    p += slots;
  }
  _valueSize = p;
  SetUpdates();
}

void CellStatistics::SetUpdates() {
  _updates.clear();
  for (int i = 0; i < _numberOfValues; ++i) {
    const Codes::StatisticCodes update = _updateStats[i];
    const StatisticTraits& traits = TraitsOf(update);
    switch (traits.family) {
      case StatisticFamily::kFrequencies:
        _updates.push_back({update, i, _frequencyIndex[i], traits.unweighted});
        break;
      case StatisticFamily::kExtremes:
      case StatisticFamily::kMoments:
      case StatisticFamily::kLimits:
        _updates.push_back({update, i, _valueIndex[i], traits.unweighted});
        break;
      case StatisticFamily::kCounts:
        // Only a scale layout has a valid-N slot of its own to update.
        if (!_categorical && IsValidNAccumulator(update)) {
          _updates.push_back({update, i, _valueIndex[i], traits.unweighted});
        }
        break;
      default:
        break;
    }
  }
}

void CellStatistics::SetFrequencyTable(std::vector<int>& tableVariables,
                                       std::vector<bool>& tableWeighted, int i,
                                       TableEncryptionCodes::StatisticCodes updateCode,
                                       bool weighted) {
  const int variable = _statistics[i].GetVarIndex();
  for (std::size_t k = 0; k < tableVariables.size(); ++k) {
    if (tableVariables[k] == variable && tableWeighted[k] == weighted) {
      _updateStats[i] = Codes::kNoStatistic;
      _frequencyIndex[i] = static_cast<int>(k);
      return;
    }
  }
  tableVariables.push_back(variable);
  tableWeighted.push_back(weighted);
  _updateStats[i] = updateCode;
  _frequencyIndex[i] = _numberOfFreqTables++;
}

int CellStatistics::GetIndex(const AggregationStatistic& stat, bool ignoreVariable) const {
  for (int i = 0; i < _numberOfValues; ++i) {
    if (_statistics[i].IsSame(stat, ignoreVariable)) return i;
  }
  return -1;
}

bool CellStatistics::IsTotalNComputed() const {
  for (int i = 0; i < _numberOfValues; ++i) {
    if (IsTotalNAccumulator(_updateStats[i])) return true;
    const int c = _statistics[i].GetSummaryStatistic();
    if (_categorical && TraitsOf(c).reading == StatisticReading::kMissingN) return true;
  }
  return false;
}

void CellStatistics::GetBaseStats(std::vector<AggregationStatistic>& baseStats,
                                  std::vector<int>& baseCaseIndices, CellStatistics::PercentType t,
                                  int baseTypeIndex) {
  assert(0 <= t && t < kNumberOfPercentTypes);
  for (int i = 0; i < _numberOfValues; ++i) {
    const StatisticTraits& traits = TraitsOf(_statistics[i].GetSummaryStatistic());
    if (traits.percent != t) continue;
    // A percentage is its own base statistic, or reads the base cells'
    // responses or counts.
    if (traits.percentBase == traits.code) {
      UpdateBaseIndex(baseStats, baseCaseIndices, i, baseTypeIndex);
    } else {
      UpdateMRSetBaseIndex(baseStats, i, traits.percentBase, baseTypeIndex);
    }
  }
}

void CellStatistics::UpdateBaseIndex(std::vector<AggregationStatistic>& baseStats,
                                     std::vector<int>& baseCaseIndices, int i, int baseTypeIndex) {
  const int size = static_cast<int>(baseStats.size());
  int j = 0;
  while (j < size && !baseStats[j].IsSame(_statistics[i], false)) ++j;
  _baseIndex[i] = j;
  _baseTypeIndex[i] = baseTypeIndex;
  if (j == size) {
    baseStats.push_back(_statistics[i]);
    baseCaseIndices.push_back(_caseIndex[i]);
  }
}

void CellStatistics::UpdateMRSetBaseIndex(std::vector<AggregationStatistic>& baseStats, int i,
                                          TableEncryptionCodes::StatisticCodes baseCode,
                                          int baseTypeIndex) {
  const int size = static_cast<int>(baseStats.size());
  int j = 0;
  while (j < size && baseStats[j].GetSummaryStatistic() != baseCode) ++j;
  _baseIndex[i] = j;
  _baseTypeIndex[i] = baseTypeIndex;
  if (j == size) baseStats.push_back(AggregationStatistic(_statistics[i].GetVarIndex(), baseCode));
}

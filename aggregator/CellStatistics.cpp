#include "CellStatistics.h"

#include <cstddef>

namespace {

using Codes = TableEncryptionCodes;

// Whether c is one of first, first + 2, ..., last: a family of weighted codes
// (first odd) or of their unweighted twins (first even).
bool InFamily(int c, int first, int last) {
  return c >= first && c <= last && (c - first) % 2 == 0;
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
    if (_categorical) {
      if (InFamily(c, Codes::kRowValidNPct, Codes::kLayerColValidNPct) || c == Codes::kValidN) {
        _fixedFlags[kFixedValidN] = true;
      } else if (InFamily(c, Codes::kURowValidNPct, Codes::kULayerColValidNPct) ||
                 c == Codes::kUValidN) {
        _fixedFlags[kFixedValidN] = true;
        _hasFixedUnweighted = true;
      } else if (InFamily(c, Codes::kRowTotalNPct, Codes::kLayerColTotalNPct) ||
                 c == Codes::kTotalN) {
        _fixedFlags[kFixedTotalN] = true;
      } else if (InFamily(c, Codes::kURowTotalNPct, Codes::kULayerColTotalNPct) ||
                 c == Codes::kUTotalN) {
        _fixedFlags[kFixedTotalN] = true;
        _hasFixedUnweighted = true;
      } else if (c == Codes::kMissingN) {
        _fixedFlags[kFixedTotalN] = _fixedFlags[kFixedValidN] = true;
      } else if (c == Codes::kUMissingN) {
        _fixedFlags[kFixedTotalN] = _fixedFlags[kFixedValidN] = true;
        _hasFixedUnweighted = true;
      }
    }
    if (InFamily(c, Codes::kResponses, Codes::kLayerColResponsesCountPct)) {
      _fixedFlags[kFixedResponses] = true;
    } else if (InFamily(c, Codes::kUResponses, Codes::kULayerColResponsesCountPct)) {
      _fixedFlags[kFixedResponses] = true;
      _hasFixedUnweighted = true;
    }
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
    Codes::StatisticCodes update = Codes::kNoStatistic;
    int index = p;
    int slots = 0;
    if (c == Codes::kNoStatistic) {
      // No accumulator.
    } else if (InFamily(c, Codes::kCount, Codes::kLayerColPct) ||
               InFamily(c, Codes::kRowCountResponsesPct, Codes::kLayerColCountResponsesPct)) {
      update = Codes::kCount;
      index = 0;
    } else if (InFamily(c, Codes::kUCount, Codes::kULayerColPct) ||
               InFamily(c, Codes::kURowCountResponsesPct, Codes::kULayerColCountResponsesPct)) {
      update = Codes::kUCount;
      index = 1;
    } else if (InFamily(c, Codes::kRowValidNPct, Codes::kLayerColValidNPct) ||
               c == Codes::kMissingN || c == Codes::kValidN) {
      update = Codes::kValidN;
      if (_categorical) {
        index = _fixedPositions[kFixedValidN];
      } else {
        slots = 1;
      }
    } else if (InFamily(c, Codes::kURowValidNPct, Codes::kULayerColValidNPct) ||
               c == Codes::kUMissingN || c == Codes::kUValidN) {
      update = Codes::kUValidN;
      if (_categorical) {
        index = _fixedPositions[kFixedValidN] + 1;
      } else {
        slots = 1;
      }
    } else if (InFamily(c, Codes::kRowTotalNPct, Codes::kLayerColTotalNPct) ||
               c == Codes::kTotalN) {
      update = Codes::kTotalN;
      if (_categorical) index = _fixedPositions[kFixedTotalN];
    } else if (InFamily(c, Codes::kURowTotalNPct, Codes::kULayerColTotalNPct) ||
               c == Codes::kUTotalN) {
      update = Codes::kUTotalN;
      if (_categorical) index = _fixedPositions[kFixedTotalN] + 1;
    } else if (c == Codes::kMaximum || c == Codes::kMinimum) {
      update = static_cast<Codes::StatisticCodes>(c);
      slots = 1;
    } else if (c == Codes::kMean || c == Codes::kUMean || c == Codes::kValueRange) {
      update = static_cast<Codes::StatisticCodes>(c);
      slots = 2;
    } else if (c == Codes::kMedian || c == Codes::kMedianInterpolated || c == Codes::kMode ||
               c == Codes::kMedianCI || c == Codes::kPercentile ||
               c == Codes::kPercentileInterpolated) {
      SetFrequencyTable(tableVariables, tableWeighted, i, Codes::kMedian, true);
      update = _updateStats[i];
    } else if (c == Codes::kUMedian || c == Codes::kUMedianInterpolated || c == Codes::kUMode ||
               c == Codes::kUMedianCI || c == Codes::kUPercentile ||
               c == Codes::kUPercentileInterpolated) {
      SetFrequencyTable(tableVariables, tableWeighted, i, Codes::kUMedian, false);
      update = _updateStats[i];
    } else if (c == Codes::kSEMean || c == Codes::kStdDev || c == Codes::kVariance ||
               c == Codes::kSumSquaredDeviations) {
      update = Codes::kVariance;
      slots = 3;
    } else if (c == Codes::kUSEMean || c == Codes::kUStdDev || c == Codes::kUVariance) {
      update = Codes::kUVariance;
      slots = 3;
    } else if (c == Codes::kSum || InFamily(c, Codes::kRowSumPct, Codes::kLayerColSumPct)) {
      update = Codes::kMean;
      slots = 2;
    } else if (c == Codes::kUSum || InFamily(c, Codes::kURowSumPct, Codes::kULayerColSumPct)) {
      update = Codes::kUMean;
      slots = 2;
    } else if (InFamily(c, Codes::kResponses, Codes::kLayerColResponsesCountPct)) {
      update = Codes::kResponses;
      index = _fixedPositions[kFixedResponses];
    } else if (InFamily(c, Codes::kUResponses, Codes::kULayerColResponsesCountPct)) {
      update = Codes::kUResponses;
      index = _fixedPositions[kFixedResponses] + 1;
    } else if (InFamily(c, Codes::kBelowPct, Codes::kStrictlyBetweenCount)) {
      update = Codes::kBelowCount;
      slots = 2;
    } else if (InFamily(c, Codes::kUBelowPct, Codes::kUStrictlyBetweenCount)) {
      update = Codes::kUBelowCount;
      slots = 2;
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
    switch (update) {
      case Codes::kMaximum:
      case Codes::kMinimum:
      case Codes::kValueRange:
      case Codes::kMean:
      case Codes::kUMean:
      case Codes::kVariance:
      case Codes::kUVariance:
      case Codes::kBelowCount:
      case Codes::kUBelowCount:
        break;
      case Codes::kValidN:
      case Codes::kUValidN:
        // A categorical layout counts valid cases in its fixed region.
        if (_categorical) continue;
        break;
      case Codes::kMedian:
      case Codes::kUMedian:
        _updates.push_back({update, i, _frequencyIndex[i], update == Codes::kUMedian});
        continue;
      default:
        continue;
    }
    const bool unweighted = update == Codes::kUMean || update == Codes::kUValidN ||
                            update == Codes::kUVariance || update == Codes::kUBelowCount;
    _updates.push_back({update, i, _valueIndex[i], unweighted});
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
    const int u = _updateStats[i];
    if (u == Codes::kTotalN || u == Codes::kUTotalN) return true;
    const int c = _statistics[i].GetSummaryStatistic();
    if (_categorical && (c == Codes::kMissingN || c == Codes::kUMissingN)) return true;
  }
  return false;
}

void CellStatistics::GetBaseStats(std::vector<AggregationStatistic>& baseStats,
                                  std::vector<int>& baseCaseIndices, CellStatistics::PercentType t,
                                  int baseTypeIndex) {
  assert(0 <= t && t < kNumberOfPercentTypes);
  const int k = 2 * t;
  for (int i = 0; i < _numberOfValues; ++i) {
    const int c = _statistics[i].GetSummaryStatistic();
    if (c == Codes::kRowPct + k || c == Codes::kURowPct + k || c == Codes::kRowValidNPct + k ||
        c == Codes::kURowValidNPct + k || c == Codes::kRowTotalNPct + k ||
        c == Codes::kURowTotalNPct + k || c == Codes::kRowSumPct + k ||
        c == Codes::kURowSumPct + k) {
      UpdateBaseIndex(baseStats, baseCaseIndices, i, baseTypeIndex);
    } else if (c == Codes::kRowResponsesPct + k || c == Codes::kRowCountResponsesPct + k) {
      UpdateMRSetBaseIndex(baseStats, i, Codes::kResponses, baseTypeIndex);
    } else if (c == Codes::kURowResponsesPct + k || c == Codes::kURowCountResponsesPct + k) {
      UpdateMRSetBaseIndex(baseStats, i, Codes::kUResponses, baseTypeIndex);
    } else if (c == Codes::kRowResponsesCountPct + k) {
      UpdateMRSetBaseIndex(baseStats, i, Codes::kCount, baseTypeIndex);
    } else if (c == Codes::kURowResponsesCountPct + k) {
      UpdateMRSetBaseIndex(baseStats, i, Codes::kUCount, baseTypeIndex);
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

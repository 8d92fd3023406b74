#ifndef CELL_STATISTICS_H
#define CELL_STATISTICS_H

#include <cassert>
#include <vector>

#include "AggregationStatistic.h"
#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

// CellStatistics: the storage layout shared by every cell of one list of
// requested statistics. For statistic i it records the accumulator kind
// (update code), the first slot of that accumulator in the cell's value array,
// the frequency table it reads, the case reader that feeds it and, for
// percentages, the base statistic and base that supply the denominator.
// Slots 0 and 1 are the weighted and unweighted count; the fixed region
// (total N, valid N, responses, each with an optional unweighted twin) follows,
// then the per-statistic slots in statistic order. Computed once before the
// first case and read-only afterwards (GetBaseStats aside); every CellValues
// points to its layout, which outlives it. Owns only copies of the statistics.
class TABCUBE_EXPORT CellStatistics {
 public:
  // The percentage kinds, in the order of the statistic codes.
  enum PercentType {
    kRowPercent = 0,
    kColumnPercent = 1,
    kTablePercent = 2,
    kSubtablePercent = 3,
    kLayerPercent = 4,
    kLayerRowPercent = 5,
    kLayerColumnPercent = 6
  };
  static const int kNumberOfPercentTypes = 7;

  // The fixed accumulators, numbered as GetFixedPosition expects them.
  enum FixedAccumulator {
    kFixedCount = 0,
    kFixedTotalN = 1,
    kFixedValidN = 2,
    kFixedResponses = 3
  };
  static const int kNumberOfFixed = 4;

  explicit CellStatistics(const std::vector<AggregationStatistic>& statistics);
  CellStatistics(const CellStatistics& other);
  CellStatistics& operator=(const CellStatistics&) = delete;
  ~CellStatistics();

  // Exactly one of the two set-up calls is made, once.
  // Scale layout; caseIndices holds one case-reader index per statistic.
  // REQUIRES: every statistic code lies in 0..170.
  void SetScaleStatistics(const std::vector<int>& caseIndices);
  // Layout of the cells of a categorical statistics dimension.
  // REQUIRES: every statistic code lies in 0..170.
  void SetCategoricalStatistics();

  int NumberOfValues() const { return _numberOfValues; }
  int ValueSize() const { return _valueSize; }
  int NumberOfFreqTables() const { return _numberOfFreqTables; }
  bool IsCategoricalVariable() const { return _categorical; }
  int GetFixedSize() const { return _fixedSize; }
  bool HasFixedUnweighted() const { return _hasFixedUnweighted; }

  // Queries by statistic index. REQUIRES: 0 <= i && i < NumberOfValues().
  int GetVariable(int i) const { return GetAggregationStatistic(i).GetVarIndex(); }
  TableEncryptionCodes::StatisticCodes GetStatistic(int i) const {
    return GetAggregationStatistic(i).GetSummaryStatistic();
  }
  const AggregationStatistic& GetAggregationStatistic(int i) const {
    assert(0 <= i && i < _numberOfValues);
    return _statistics[i];
  }
  TableEncryptionCodes::StatisticCodes GetUpdateStat(int i) const {
    assert(0 <= i && i < _numberOfValues);
    return _updateStats[i];
  }
  // Valid once the layout is set up.
  int GetValueIndex(int i) const {
    assert(0 <= i && i < static_cast<int>(_valueIndex.size()));
    return _valueIndex[i];
  }
  int GetCaseIndex(int i) const {
    assert(0 <= i && i < _numberOfValues);
    return _caseIndex[i];
  }
  int GetBaseIndex(int i) const {
    assert(0 <= i && i < _numberOfValues);
    return _baseIndex[i];
  }
  int GetBaseTypeIndex(int i) const {
    assert(0 <= i && i < _numberOfValues);
    return _baseTypeIndex[i];
  }
  // One statistic whose update touches a cell's own slots or frequency
  // tables: its update code, its index, its first slot (value index) or,
  // for a frequency table, the table's index, and whether the update counts
  // cases instead of weights.
  struct Update {
    TableEncryptionCodes::StatisticCodes code;
    int statistic;
    int slot;
    bool unweighted;
  };
  // Those statistics in layout order, fixed with the update codes: a case
  // walks only these (a categorical count or percentage, whose accumulator
  // is the fixed region, is not among them).
  const std::vector<Update>& GetUpdates() const { return _updates; }

  int GetFrequencyIndex(int i) const {
    assert(0 <= i && i < _numberOfValues);
    return _frequencyIndex[i];
  }

  // First slot of fixed accumulator n (FixedAccumulator); 0 means absent for
  // n = 1..3. REQUIRES: 0 <= n && n < 4.
  int GetFixedPosition(int n) const {
    assert(0 <= n && n < kNumberOfFixed);
    return _fixedPositions[n];
  }
  bool HasFixed(int n) const {
    assert(0 <= n && n < kNumberOfFixed);
    return _fixedFlags[n];
  }

  // The first statistic index whose statistic IsSame stat; -1 when none.
  int GetIndex(const AggregationStatistic& stat, bool ignoreVariable) const;

  // Whether cells of this layout report total N, so that the cube keeps
  // cells for total-only cases.
  bool IsTotalNComputed() const;

  // Appends to baseStats (and, for statistics that are their own base, to
  // baseCaseIndices) the statistics that the base cells of percentage kind t
  // must accumulate, sharing one base statistic between all percentages that
  // need the same one, and records in this layout, for every percentage of
  // kind t, the base statistic's position and baseTypeIndex. Percentages of
  // other kinds are left untouched.
  void GetBaseStats(std::vector<AggregationStatistic>& baseStats, std::vector<int>& baseCaseIndices,
                    CellStatistics::PercentType t, int baseTypeIndex);

 private:
  void SetFixedStats();
  void SetUpdateStats();
  // Builds _updates from the update codes and slots.
  void SetUpdates();
  void SetFrequencyTable(std::vector<int>& tableVariables, std::vector<bool>& tableWeighted, int i,
                         TableEncryptionCodes::StatisticCodes updateCode, bool weighted);
  void UpdateBaseIndex(std::vector<AggregationStatistic>& baseStats,
                       std::vector<int>& baseCaseIndices, int i, int baseTypeIndex);
  void UpdateMRSetBaseIndex(std::vector<AggregationStatistic>& baseStats, int i,
                            TableEncryptionCodes::StatisticCodes baseCode, int baseTypeIndex);

  std::vector<AggregationStatistic> _statistics;
  std::vector<TableEncryptionCodes::StatisticCodes> _updateStats;
  std::vector<int> _valueIndex;
  std::vector<int> _caseIndex;
  std::vector<int> _baseIndex;
  std::vector<int> _baseTypeIndex;
  std::vector<int> _frequencyIndex;
  int _numberOfValues;
  int _valueSize;
  int _numberOfFreqTables;
  bool _categorical;
  bool _fixedFlags[kNumberOfFixed];
  int _fixedPositions[kNumberOfFixed];
  int _fixedSize;
  bool _hasFixedUnweighted;
  std::vector<Update> _updates;
};

#endif

#ifndef CUBE_AGGREGATOR_H
#define CUBE_AGGREGATOR_H

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "AggregationStatistic.h"
#include "CellKey.h"
#include "CubeMetadata.h"
#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"
#include "casesource.h"

class AggregationCategory;
class CellStatistics;
class CellValues;
class LeafTable;
class StateReader;
class StateWriter;
class StatValues;
class TableDimension;
class TableMetadata;
class ZarnCaseValueReader;
class ZarnHashtablePair;

// CubeAggregator: the aggregation engine of one cube (or of one dimension that
// orders its categories by a statistic). It turns every encoded case into
// updates of the cells the case reaches and of the cells of every percentage
// base the cube needs, and answers questions about single cells.
// Owns its statistics layouts (cell, total, one per percentage base in use),
// its cell table and base tables (which own their keys and accumulators), the
// reusable StatValues handed to the host, and the pairwise-test map. Shares
// the dimensions and the case readers with the table; keeps references to
// the table's case weight and reader list. Not copyable.
// The aggregation path (scale, categorical variable, multiple-response set)
// is fixed when the statistics are set and decided once per case; the
// per-cell loop allocates nothing for cells that already exist.
// By default (the table's leaf aggregation) a case only updates its leaf:
// the states of the one tuple of dimension cells it brings (LeafTable). The
// leaves are merged into the cells and base cells, through the same walks a
// single case takes, when anything is read; cases fed afterwards start new
// leaves. Without leaf aggregation every case walks its cells at once.
class TABCUBE_EXPORT CubeAggregator {
 public:
  // Copies the cube metadata; keeps references to the table's case weight
  // and case readers.
  CubeAggregator(TableMetadata& tableMetadata, CubeMetadata& cubeMetadata);
  ~CubeAggregator();
  CubeAggregator(const CubeAggregator&) = delete;
  CubeAggregator& operator=(const CubeAggregator&) = delete;

  // Statistics of a scale cube (statsDim null) or of a categorical cube whose
  // statistics summarise statsDim, one of the cube's dimensions.
  // REQUIRES: called once, with a non-empty list
  // ("!_cellStats && !_statsDimension && !cellStats.empty()").
  void SetCellStatistics(const std::vector<AggregationStatistic>& cellStats,
                         TableDimension* statsDim);
  // As SetCellStatistics with a statistics dimension, plus the statistics of
  // the cells whose statistics-dimension code is a total or subtotal.
  // REQUIRES: as SetCellStatistics, and statsDim not null ("_statsDimension").
  void SetTotalStatistics(const std::vector<AggregationStatistic>& cellStats,
                          TableDimension* statsDim,
                          const std::vector<AggregationStatistic>& totalStats);
  // Records, per variable read by the cube, the value index of its first
  // moment statistic usable by pairwise tests. REQUIRES: statistics set.
  void SetPairwiseTest(bool dataWeighted);

  // Adds the table's current, already encoded case. REQUIRES: statistics set.
  void AddNewCase();
  // Empties the cell table, the base tables and the leaves; the definition
  // stays.
  void ResetAggregator();

  // Partial tables. WriteState merges the leaves, then writes the cells and
  // base cells (category codes as they are here) with a description of the
  // layouts, so that a reader can tell a state of another definition.
  void WriteState(StateWriter& out);
  // Cells read from a state, checked but not yet merged.
  struct StagedCells;
  struct StagedCellsDeleter {
    void operator()(StagedCells* staged) const;
  };
  using StagedCellsPtr = std::unique_ptr<StagedCells, StagedCellsDeleter>;
  // Reads what WriteState wrote for an aggregator of the same definition;
  // valueCounts[d] is the number of values the writer's dimension d (of this
  // cube) had met, so that every code can be checked. Null (and the reader
  // failed) on input that does not fit.
  StagedCellsPtr ReadState(StateReader& in, const std::vector<int>& valueCounts);
  // Merges staged cells, with each dimension's codes translated by
  // remaps[d][code] (code >= 1).
  void MergeStagedCells(StagedCells& staged, const std::vector<const std::vector<int>*>& remaps);

  // The values of the cell named by one category per dimension (with an
  // extra last dimension the host may leave it out: its total is read).
  // Category iEncode is encoded from its value rather than its stored code.
  // Null when the cell does not exist (or no statistics were set).
  // REQUIRES: one category per dimension, or one fewer with an extra dimension. The same object is
  // returned by every call; it stays valid until the next read, reset or destruction.
  StatValues* GetStatValues(const std::vector<const AggregationCategory*>& categories, int iEncode);
  // 1 when the cell exists, else 0.
  int GetCellStatus(const std::vector<const AggregationCategory*>& categories, int iEncode);
  // The weighted (or unweighted) count of a cell; 0 when it does not exist.
  // Updates the key's hash. REQUIRES: one valid code per dimension.
  double GetCount(CellKey& cellKey, bool weighted) const;
  // The address of value slot index of the cell's accumulator (read as
  // consecutive OBS values); null when the cell does not exist or has no
  // such slot.
  const OBS* GetCountMeanVariance(int index, CellKey& cellKey) const;
  // The value index of the variable's moment statistic for pairwise tests,
  // -1 when there is none. The flag has no influence.
  int GetMeanVarIndex(int variable, bool weighted) const;
  // The first value of statistic 0 of the cell, or the missing value.
  double GetSortValue(CellKey& cellKey) const;

  const CubeMetadata& GetMetadata() const { return _cubeMetadata; }
  const CellStatistics* GetCellStats() const { return _cellStats; }
  // The layout of total cells, or the cell layout when there is none.
  const CellStatistics* GetTotalStats() const { return _totalStats ? _totalStats : _cellStats; }
  int GetTotalStatsDimIndex() const { return _statsDimIndex; }
  int GetKeyLength() const { return _cellKey.length(); }
  bool IsCubeEmpty() const;
  // Distinct values met by the inner row (column) dimension, 0 when there is
  // none. REQUIRES: the label option of the cube metadata is kDefault.
  int GetNValuesInnerRow() const;
  int GetNValuesInnerColumn() const;

  // Outputs the cells of the cube and of every percentage base.
  void PrintCubeDataDbg(const char* title);

 private:
  // The path every case takes, fixed when the statistics are set.
  enum AggregationMode { kNoMode, kScaleMode, kCVarMode, kMRSetMode, kInvalidMode };
  // Positions of the cell layouts in _layouts (and in every leaf's states):
  // the cell layout, the total layout (null when there is none), then one per
  // percentage base in use, in base order.
  enum LayoutPosition { kCellLayout = 0, kTotalLayout = 1, kFirstBaseLayout = 2 };
  static int BaseLayout(size_t b) { return kFirstBaseLayout + static_cast<int>(b); }

  struct CaseUpdate;
  struct LeafMerge;
  template <class Apply>
  void Walk(const Apply& apply);
  template <class Apply>
  void WalkScale(const Apply& apply);
  template <class Apply>
  void WalkCategorical(const Apply& apply);
  template <class Apply>
  void WalkCategoricalBases(const Apply& apply, double total, bool allValid, bool hasTotal);
  // The cell of the key in the table, created empty with the layout when new.
  static CellValues& CellAt(ZarnHashtablePair* table, const CellKey& key,
                            const CellStatistics& layout);

  void SetLeaves();
  int SaveCaseCells(int* words) const;
  void LoadCaseCells(const int* words) const;
  void AddCaseToLeaf();
  int NewLeaf(const int* words, int n, uint64_t hash);
  void MergeLeaves();
  void MergeLeavesForReading() const;
  // Fails the reader when a staged cell lacks one of its base cells.
  void CheckStagedBases(StateReader& in, const StagedCells& staged) const;
  // The layout position a cell with this key takes in the cube's cell table.
  int LayoutOfKey(const CellKey& key) const;

  void SetScaleStats(const std::vector<AggregationStatistic>& stats);
  // The table's reader position of each statistic's variable; -1 for a
  // statistic without a variable.
  std::vector<int> ScaleCaseIndex(const std::vector<AggregationStatistic>& stats);
  // REQUIRES: every statistic that reads values has a variable.
  void CheckScaleReaders(const CellStatistics& layout) const;
  void SetCategoricalStats(const std::vector<AggregationStatistic>& stats);
  void SetTotalStats(const std::vector<AggregationStatistic>& stats);
  void SetPercentStats();
  void SetBaseStats();
  void SetBaseMetadata();
  void SetBaseDims(int percentType);
  void SetBaseHashtables();
  void SetPercentValues();
  bool SetCellKey(const std::vector<const AggregationCategory*>& categories, int iEncode);
  void SetMode();

  // The layout position of a new cell of a categorical or multiple-response
  // cube: the total layout when there is one and the key's code in the
  // statistics dimension is a total or subtotal.
  int NewCellLayout(bool& computesTotalN) const;
  void UpdateCubeCases(std::vector<int>& cubeIndex);
  void UpdateCubeIndex(std::vector<int>& cubeIndex, std::vector<int>& caseIndex) const;
  // The cell of a caller's key after checking its codes; null when absent.
  const CellValues* FindCell(CellKey& cellKey) const;

  TableMetadata& _tableMetadata;
  const double& _caseWeight;
  CubeMetadata _cubeMetadata;
  CellKey _cellKey;
  std::vector<ZarnCaseValueReader*>& _caseReaders;
  std::vector<ZarnCaseValueReader*> _cubeReaders;
  CellStatistics* _cellStats;
  CellStatistics* _totalStats;
  StatValues* _statValues;
  TableDimension* _statsDimension;
  int _statsDimIndex;
  bool _listwise;
  bool _extraDimension;
  bool _cellTotalN;
  bool _totalTotalN;
  ZarnHashtablePair* _cells;
  std::vector<CellStatistics*> _baseStats;
  bool _hasPercents;
  std::vector<std::vector<int>> _baseDims;
  std::vector<CubeMetadata> _baseMetadata;
  std::vector<CellKey> _baseKeys;
  std::vector<ZarnHashtablePair*> _baseTables;
  std::vector<int> _baseStatsDimIndex;
  std::map<int, int>* _meanVarIndex;
  AggregationMode _mode;
  std::vector<const CellStatistics*> _layouts;
  LeafTable* _leaves;
  // The cube's dimensions (as the cube metadata holds them), for the leaf keys.
  std::vector<TableDimension*> _dimensions;
  // One leaf key, and the current case's cells kept while leaves are merged.
  std::vector<int> _caseWords;
  std::vector<int> _savedWords;
};

#endif

#ifndef CELL_VALUES_H
#define CELL_VALUES_H

#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "AggregationResult.h"
#include "FrequencyTable.h"
#include "TableEncryptionCodes.h"

class AggregationStatistic;
class CellStatistics;
class StateReader;
class StateWriter;
class ZarnCaseValueReader;

// CellValues: the running totals of one cell for one CellStatistics layout.
// Owns its value slots (one array of ValueSize() doubles: the two counts, the
// fixed N's, then every statistic's own accumulator in layout order; a short
// array is kept inside the object) and its
// frequency tables; points to (does not own) the layout, which outlives it.
// A case walks the slots once in layout order and allocates nothing but a new
// frequency-table key. Means and sums of squares are updated in West's
// weighted form of Welford's recurrence. A case of zero weight leaves every
// weighted accumulator exactly as it was (its unweighted twins still count
// it). Reading never changes state, so values may be read between cases.
class CellValues {
 public:
  // Scale cell: readers are the table's statistic readers, indexed by the
  // layout's case indices. Each constructor applies the cell's first case.
  CellValues(const CellStatistics* layout, const std::vector<ZarnCaseValueReader*>& readers,
             double weight);
  // Categorical cell: reader reads the statistics variable of the cube.
  CellValues(const CellStatistics* layout, const ZarnCaseValueReader* reader, bool valid,
             bool totalOnly, double weight);
  // Multiple-response cell: responses is the number of responses the case
  // contributes to this cell.
  CellValues(const CellStatistics* layout, double responses, bool valid, bool totalOnly,
             double weight);
  // A cell that has seen no case yet.
  explicit CellValues(const CellStatistics* layout);
  ~CellValues();

  CellValues(const CellValues&) = delete;
  CellValues& operator=(const CellValues&) = delete;

  void AddScaleCase(const std::vector<ZarnCaseValueReader*>& readers, double weight);
  // valid: the case counts towards valid N; totalOnly: the case belongs to the
  // cell only for total N and is not counted in the cell itself.
  void AddCategoricalCase(const ZarnCaseValueReader* reader, bool valid, bool totalOnly,
                          double weight);
  void AddMRSetCase(double responses, bool valid, bool totalOnly, double weight);

  // Adds the cases another cell of the same layout has seen, as if they had
  // been added here one by one: sums add, extremes combine, moments merge by
  // Chan, Golub and LeVeque's pairwise update, frequency tables add value by
  // value. The responses of the other cell count `responses` times each (a
  // leaf keeps one response per case; the cell it feeds may take several).
  // REQUIRES: the same layout ("other.GetCellStatistics() == GetCellStatistics()").
  void Merge(const CellValues& other, double responses = 1.0);
  // The cell's state in portable form, and back: ReadState replaces the
  // state of a cell that has seen no case; false (reader failed) when the
  // input does not fit the layout.
  void WriteState(StateWriter& out) const;
  bool ReadState(StateReader& in);
  // Back to the state of a cell that has seen no case; keeps its memory.
  void Clear();

  // The value of statistic statIndex of the layout in this cell; the missing
  // value when it cannot be computed. For a percentage this is the numerator.
  // REQUIRES: 0 <= statIndex < NumberOfValues().
  AggregationResult ComputeValue(int statIndex) const;

  int NumberOfValues() const;
  const CellStatistics* GetCellStatistics() const { return _cellStats; }
  // The value slots: slot 0 the weighted count, slot 1 the unweighted count.
  const double* GetValues() const { return _values; }

 private:
  void Initialise();
  // Puts every slot in its empty state.
  void ResetSlots();
  // Adds the fixed-region part of a categorical or multiple-response case;
  // returns false for a total-only case, which touches nothing else.
  bool AddFixedCase(bool valid, bool totalOnly, double weight);
  // Applies the case to every statistic's slots in layout order; readerOf(i)
  // gives statistic i's reader.
  template <class ReaderOf>
  void UpdateStatistics(const ReaderOf& readerOf, double weight);
  void Release();
  const FrequencyTable& FrequencyTableOf(int statIndex) const;

  // Value arrays of up to this many slots are kept in _inline.
  static const int kInlineValues = 6;

  const CellStatistics* _cellStats;
  double* _values;
  FrequencyTable* _freqTables;  // NumberOfFreqTables() tables, null when none
  double _inline[kInlineValues];
};

// Whether x passes the limit test of a limit statistic (codes 135 to 170);
// false for every other code and for the group without a test (163 to 166).
bool PassesLimits(double x, const AggregationStatistic& statistic);

#endif

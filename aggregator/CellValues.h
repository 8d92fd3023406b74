#ifndef CELL_VALUES_H
#define CELL_VALUES_H

#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "AggregationResult.h"
#include "TableEncryptionCodes.h"

class AggregationStatistic;
class CellStatistics;
class StateReader;
class StateWriter;
class ZarnCaseValueReader;

// FrequencyTable: the frequencies of the distinct values of one variable in
// one cell, an ordered map from value (ascending, exact comparison, so -0.0
// and 0.0 are one key, the first one added) to the sum of case weights, or
// to the number of cases for an unweighted table. Owns its entries.
//
// Stored as a sorted array of distinct entries. While the table is small an
// addition is made in place (a binary search of a cache-resident array; a new
// value is inserted). A large table appends each addition instead, and the
// appended entries are sorted (stably, so the frequencies of one value are
// summed in the order they were added, as a tree map sums them) and merged in
// once they are as many as the sorted ones, or when the table is read. Every
// pass over a large table is sequential: a case costs no cache miss however
// many distinct values the cell holds, and memory stays within a small
// multiple of the distinct values. Reading merges the pending entries first
// (a change of representation, not of the values), so a table is read by one
// thread at a time, like the cell that owns it.
class FrequencyTable {
 public:
  using value_type = std::pair<double, double>;
  using const_iterator = std::vector<value_type>::const_iterator;
  using const_reverse_iterator = std::vector<value_type>::const_reverse_iterator;

  FrequencyTable() = default;
  // Adds every (value, frequency) pair in order; a repeated value sums.
  FrequencyTable(std::initializer_list<value_type> entries);

  // Adds frequency to the value's frequency, inserting the value when new.
  // REQUIRES: value is not NaN.
  void Add(double value, double frequency);
  // Adds every entry of other: the table of the two tables' cases together.
  void AddTable(const FrequencyTable& other);
  // Forgets every entry, keeping the memory for the entries to come.
  void Clear();

  // Number of distinct values.
  size_t size() const;
  bool empty() const { return size() == 0; }
  // The entries in ascending value order; valid until the next Add.
  const_iterator begin() const;
  const_iterator end() const;
  const_reverse_iterator rbegin() const;
  const_reverse_iterator rend() const;

 private:
  // Sorts the pending entries and merges them into the sorted ones.
  void Merge() const;

  mutable std::vector<value_type> _sorted;
  mutable std::vector<value_type> _pending;
};

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

// Percentile p (0 to 100) of the averaged empirical distribution: the smallest
// value whose cumulative frequency exceeds p% of the total, or the mean of two
// neighbours when the cumulative frequency meets it exactly. status: 0 success,
// -1 p at 0 or 100 (smallest or largest value), 2 p outside [0, 100], 3 empty.
double EmpiricalPercentile(const FrequencyTable& table, double p, long& status);

// Percentile p interpolated between the values placed at the midpoints of
// their cumulative frequencies; the value itself when there is one distinct
// value; missing for an empty table or outside the first and last midpoint.
// status as NuvDistFun::GPTile.
double InterpolatedPercentile(const FrequencyTable& table, double p, long& status);

// The value of largest frequency, the smallest one on ties; missing when no
// value has a positive frequency.
double FrequencyMode(const FrequencyTable& table);

// Distribution-free confidence interval of the median at level percent:
// Value1 lower, Value2 upper limit, Value3 the attained level where known.
AggregationResult MedianInterval(const FrequencyTable& table, double level);

// Whether x passes the limit test of a limit statistic (codes 135 to 170);
// false for every other code and for the group without a test (163 to 166).
bool PassesLimits(double x, const AggregationStatistic& statistic);

// a and b equal within k units of rounding relative to the larger of the two;
// a value compared with an exact zero must be exactly zero.
bool NearlyEqual(double a, double b, double k);

#endif

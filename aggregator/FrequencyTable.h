#ifndef FREQUENCY_TABLE_H
#define FREQUENCY_TABLE_H

#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "AggregationResult.h"

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

// a and b equal within k units of rounding relative to the larger of the two;
// a value compared with an exact zero must be exactly zero.
bool NearlyEqual(double a, double b, double k);

#endif

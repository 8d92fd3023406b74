#include "CellValues.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "AggregationStatistic.h"
#include "CellStatistics.h"
#include "NuvDistFun.h"
#include "StateStream.h"
#include "ZarnCaseValueReader.h"

namespace {

using Codes = TableEncryptionCodes;

constexpr double kMissing = Codes::kMissingValue;
constexpr double kEpsilon = DBL_EPSILON;  // 2.220446049250313e-16

// The reader's value in the current case when it is usable by a numeric
// statistic: the case reader marks it valid and the variable is numeric. A
// string variable has no numeric value; its bytes are never read as one.
inline bool NumericValue(const ZarnCaseValueReader* reader, double& x) {
  if (reader == nullptr || !reader->IsValid() || reader->GetType() != 0) return false;
  x = reader->GetValue()->num;
  return true;
}

// Statistic i's reader in a scale cell, where the layout names it by position
// in the table's list of statistic readers.
struct ScaleReaders {
  const CellStatistics& layout;
  const std::vector<ZarnCaseValueReader*>& readers;
  const ZarnCaseValueReader* operator()(int i) const {
    const int caseIndex = layout.GetCaseIndex(i);
    assert(caseIndex >= 0 && caseIndex < static_cast<int>(readers.size()) &&
           "caseIndex >= 0 && caseIndex < readers.size()");
    return readers[static_cast<size_t>(caseIndex)];
  }
};

// The one reader of a categorical cell serves every statistic.
struct SingleReader {
  const ZarnCaseValueReader* reader;
  const ZarnCaseValueReader* operator()(int) const { return reader; }
};

// Tables of fewer distinct values than this (16 KiB of entries) keep every
// entry sorted and take each addition in place, a new value by insertion;
// larger ones append and merge.
constexpr size_t kSmallTable = 1024;

// The bits of a double as an unsigned key with the order of the doubles
// (sign flipped for positives, every bit flipped for negatives); -0.0 takes
// the key of 0.0 so that the two stay together.
inline uint64_t OrderKey(double value) {
  if (value == 0.0) value = 0.0;
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & 0x8000000000000000ULL) ? ~bits : bits | 0x8000000000000000ULL;
}

// Stable sort of the entries by value: least-significant-digit radix sort on
// the order keys, one byte per pass, skipping the bytes that every key
// shares. Short arrays use insertion sort.
void SortEntries(std::vector<FrequencyTable::value_type>& entries) {
  const size_t n = entries.size();
  if (n < 64) {
    for (size_t i = 1; i < n; ++i) {
      const FrequencyTable::value_type entry = entries[i];
      size_t j = i;
      while (j > 0 && entries[j - 1].first > entry.first) {
        entries[j] = entries[j - 1];
        --j;
      }
      entries[j] = entry;
    }
    return;
  }
  std::vector<uint64_t> keys(n), keysOut(n);
  std::vector<FrequencyTable::value_type> out(n);
  std::vector<size_t> counts(8 * 256, 0);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t key = OrderKey(entries[i].first);
    keys[i] = key;
    for (int b = 0; b < 8; ++b) ++counts[static_cast<size_t>(b) * 256 + ((key >> (8 * b)) & 0xff)];
  }
  for (int b = 0; b < 8; ++b) {
    size_t* count = counts.data() + static_cast<size_t>(b) * 256;
    if (count[(keys[0] >> (8 * b)) & 0xff] == n) continue;  // every key has this byte
    size_t position = 0;
    for (int d = 0; d < 256; ++d) {
      const size_t c = count[d];
      count[d] = position;
      position += c;
    }
    for (size_t i = 0; i < n; ++i) {
      const size_t at = count[(keys[i] >> (8 * b)) & 0xff]++;
      keysOut[at] = keys[i];
      out[at] = entries[i];
    }
    keys.swap(keysOut);
    entries.swap(out);
  }
}

}  // namespace

FrequencyTable::FrequencyTable(std::initializer_list<value_type> entries) {
  for (const value_type& entry : entries) Add(entry.first, entry.second);
}

void FrequencyTable::Add(double value, double frequency) {
  assert(value == value && "value is not NaN");
  if (_sorted.size() < kSmallTable) {
    // Nothing is pending while the table is small.
    const auto at =
        std::lower_bound(_sorted.begin(), _sorted.end(), value,
                         [](const value_type& entry, double x) { return entry.first < x; });
    if (at != _sorted.end() && at->first == value) {
      at->second += frequency;
    } else {
      _sorted.insert(at, value_type(value, frequency));
    }
    return;
  }
  _pending.emplace_back(value, frequency);
  if (_pending.size() >= _sorted.size()) Merge();
}

// Both tables are sorted arrays once their pending entries are in, so the
// union is one linear merge; each value's frequency is this table's sum
// plus the other's.
void FrequencyTable::AddTable(const FrequencyTable& other) {
  if (other.empty()) return;
  Merge();
  const std::vector<value_type>& theirs = other._sorted;
  if (_sorted.empty()) {
    _sorted = theirs;
    return;
  }
  std::vector<value_type> merged;
  merged.reserve(_sorted.size() + theirs.size());
  size_t i = 0, j = 0;
  while (i < _sorted.size() && j < theirs.size()) {
    if (_sorted[i].first < theirs[j].first) {
      merged.push_back(_sorted[i++]);
    } else if (theirs[j].first < _sorted[i].first) {
      merged.push_back(theirs[j++]);
    } else {
      merged.emplace_back(_sorted[i].first, _sorted[i].second + theirs[j].second);
      ++i;
      ++j;
    }
  }
  merged.insert(merged.end(), _sorted.begin() + static_cast<std::ptrdiff_t>(i), _sorted.end());
  merged.insert(merged.end(), theirs.begin() + static_cast<std::ptrdiff_t>(j), theirs.end());
  _sorted.swap(merged);
}

void FrequencyTable::Clear() {
  _sorted.clear();
  _pending.clear();
}

size_t FrequencyTable::size() const {
  Merge();
  return _sorted.size();
}

FrequencyTable::const_iterator FrequencyTable::begin() const {
  Merge();
  return _sorted.begin();
}

FrequencyTable::const_iterator FrequencyTable::end() const {
  Merge();
  return _sorted.end();
}

FrequencyTable::const_reverse_iterator FrequencyTable::rbegin() const {
  Merge();
  return _sorted.rbegin();
}

FrequencyTable::const_reverse_iterator FrequencyTable::rend() const {
  Merge();
  return _sorted.rend();
}

void FrequencyTable::Merge() const {
  if (_pending.empty()) return;
  SortEntries(_pending);
  // Count the values the sorted entries lack.
  size_t fresh = 0;
  for (size_t i = 0, j = 0; i < _pending.size(); ++i) {
    const double value = _pending[i].first;
    if (i > 0 && _pending[i - 1].first == value) continue;
    while (j < _sorted.size() && _sorted[j].first < value) ++j;
    if (j == _sorted.size() || _sorted[j].first != value) ++fresh;
  }
  // Each value's frequencies are added one by one in the order they came, on
  // top of what the value held: the sums of a tree map, to the last bit.
  if (fresh == 0) {
    for (size_t i = 0, j = 0; i < _pending.size(); ++i) {
      while (_sorted[j].first < _pending[i].first) ++j;
      _sorted[j].second += _pending[i].second;
    }
  } else {
    std::vector<value_type> merged;
    merged.reserve(_sorted.size() + fresh);
    size_t j = 0;
    for (size_t i = 0; i < _pending.size(); ++i) {
      const value_type& entry = _pending[i];
      if (i > 0 && _pending[i - 1].first == entry.first) {
        merged.back().second += entry.second;
        continue;
      }
      while (j < _sorted.size() && _sorted[j].first < entry.first) merged.push_back(_sorted[j++]);
      if (j < _sorted.size() && _sorted[j].first == entry.first) {
        merged.emplace_back(_sorted[j].first, _sorted[j].second + entry.second);
        ++j;
      } else {
        merged.push_back(entry);
      }
    }
    merged.insert(merged.end(), _sorted.begin() + static_cast<std::ptrdiff_t>(j), _sorted.end());
    _sorted.swap(merged);
  }
  _pending.clear();
  // A pending array larger than the next one can grow is not kept.
  if (_pending.capacity() > _sorted.size()) std::vector<value_type>().swap(_pending);
}

namespace {

// The table's values (ascending) and frequencies as parallel lists, the form
// the distribution functions take.
void TableLists(const FrequencyTable& table, std::vector<double>& values,
                std::vector<double>& weights) {
  values.reserve(table.size());
  weights.reserve(table.size());
  for (const auto& entry : table) {
    values.push_back(entry.first);
    weights.push_back(entry.second);
  }
}

// Dispersion statistics need a second moment that neither overflowed (the
// accumulator then holds -1) nor is absent, and more than one unit of weight.
inline bool UsableMoment(double m2, double w) {
  return m2 >= 0.0 && m2 < DBL_MAX && w > 1.0;
}

inline bool IsLimitPercent(int code) {
  return code >= Codes::kBelowPct && code <= Codes::kUStrictlyBetweenCount &&
         (code - Codes::kBelowPct) % 4 < 2;
}

}  // namespace

CellValues::CellValues(const CellStatistics* layout,
                       const std::vector<ZarnCaseValueReader*>& readers, double weight)
    : _cellStats(layout), _values(nullptr), _freqTables(nullptr) {
  Initialise();
  try {
    AddScaleCase(readers, weight);
  } catch (...) {
    Release();
    throw;
  }
}

CellValues::CellValues(const CellStatistics* layout, const ZarnCaseValueReader* reader, bool valid,
                       bool totalOnly, double weight)
    : _cellStats(layout), _values(nullptr), _freqTables(nullptr) {
  Initialise();
  try {
    AddCategoricalCase(reader, valid, totalOnly, weight);
  } catch (...) {
    Release();
    throw;
  }
}

CellValues::CellValues(const CellStatistics* layout, double responses, bool valid, bool totalOnly,
                       double weight)
    : _cellStats(layout), _values(nullptr), _freqTables(nullptr) {
  Initialise();
  AddMRSetCase(responses, valid, totalOnly, weight);
}

CellValues::CellValues(const CellStatistics* layout)
    : _cellStats(layout), _values(nullptr), _freqTables(nullptr) {
  Initialise();
}

CellValues::~CellValues() {
  Release();
}

void CellValues::Release() {
  if (_values != _inline) delete[] _values;
  delete[] _freqTables;
  _values = nullptr;
  _freqTables = nullptr;
}

void CellValues::Initialise() {
  assert(_cellStats && "layout");
  const CellStatistics& layout = *_cellStats;
  const int size = layout.ValueSize();
  const int tables = layout.NumberOfFreqTables();
  assert(size >= 2 && "ValueSize() >= 2");
  // A short array lives inside the object: one allocation per cell, and
  // the slots on the cache line of the object that points to them.
  std::unique_ptr<double[]> heap(size > kInlineValues ? new double[static_cast<size_t>(size)]
                                                      : nullptr);
  double* values = heap ? heap.get() : _inline;
  _freqTables = tables > 0 ? new FrequencyTable[static_cast<size_t>(tables)] : nullptr;
  heap.release();
  _values = values;
  ResetSlots();
}

// Every slot starts in its empty state: counts and sums 0, a maximum at the
// lowest double and a minimum at the highest, so that the first valid value
// replaces them and an untouched extreme reads as missing.
void CellValues::ResetSlots() {
  const CellStatistics& layout = *_cellStats;
  const int size = layout.ValueSize();
  double* values = _values;
  for (int k = 0; k < size; ++k) values[k] = 0.0;
  for (int i = 0; i < layout.NumberOfValues(); ++i) {
    const int update = layout.GetUpdateStat(i);
    if (update != Codes::kMaximum && update != Codes::kMinimum && update != Codes::kValueRange) {
      continue;
    }
    const int v = layout.GetValueIndex(i);
    const int slots = update == Codes::kValueRange ? 2 : 1;
    assert(v >= layout.GetFixedSize() && v + slots <= size && "value index inside the cell");
    (void)slots;
    if (update == Codes::kMaximum) {
      values[v] = -DBL_MAX;
    } else if (update == Codes::kMinimum) {
      values[v] = DBL_MAX;
    } else {
      values[v] = DBL_MAX;
      values[v + 1] = -DBL_MAX;
    }
  }
}

void CellValues::Clear() {
  ResetSlots();
  for (int f = 0; f < _cellStats->NumberOfFreqTables(); ++f) _freqTables[f].Clear();
}

int CellValues::NumberOfValues() const {
  return _cellStats->NumberOfValues();
}

void CellValues::AddScaleCase(const std::vector<ZarnCaseValueReader*>& readers, double weight) {
  _values[0] += weight;
  _values[1] += 1.0;
  UpdateStatistics(ScaleReaders{*_cellStats, readers}, weight);
}

void CellValues::AddCategoricalCase(const ZarnCaseValueReader* reader, bool valid, bool totalOnly,
                                    double weight) {
  if (!AddFixedCase(valid, totalOnly, weight)) return;
  UpdateStatistics(SingleReader{reader}, weight);
}

void CellValues::AddMRSetCase(double responses, bool valid, bool totalOnly, double weight) {
  if (!AddFixedCase(valid, totalOnly, weight)) return;
  const int responsesSlot = _cellStats->GetFixedPosition(3);
  if (responsesSlot != 0) {
    _values[responsesSlot] += weight * responses;
    if (_cellStats->HasFixedUnweighted()) _values[responsesSlot + 1] += responses;
  }
}

bool CellValues::AddFixedCase(bool valid, bool totalOnly, double weight) {
  const CellStatistics& layout = *_cellStats;
  const bool twin = layout.HasFixedUnweighted();
  if (totalOnly) {
    const int totalSlot = layout.GetFixedPosition(1);
    if (totalSlot != 0) {
      _values[totalSlot] += weight;
      if (twin) _values[totalSlot + 1] += 1.0;
    }
    return false;
  }
  _values[0] += weight;
  _values[1] += 1.0;
  if (valid) {
    const int validSlot = layout.GetFixedPosition(2);
    if (validSlot != 0) {
      _values[validSlot] += weight;
      if (twin) _values[validSlot + 1] += 1.0;
    }
  }
  return true;
}

// The cursor starts past the fixed region and every statistic moves it over
// exactly the slots it owns, so the walk needs no value index. A valid value
// of zero weight changes no weighted accumulator: folding it into a running
// mean of zero weight would divide 0 by 0 and poison the cell for good.
template <class ReaderOf>
void CellValues::UpdateStatistics(const ReaderOf& readerOf, double weight) {
  const CellStatistics& layout = *_cellStats;
  // The layout lists the statistics that have slots or tables to update,
  // each with its first slot: the walk visits nothing else and never leaves
  // the slots the layout laid out.
  double x = 0.0;
  for (const CellStatistics::Update& u : layout.GetUpdates()) {
    const double a = u.unweighted ? 1.0 : weight;
    double* s = _values + u.slot;
    switch (u.code) {
      case Codes::kMaximum:
        if (NumericValue(readerOf(u.statistic), x) && x > s[0]) s[0] = x;
        break;
      case Codes::kMinimum:
        if (NumericValue(readerOf(u.statistic), x) && x < s[0]) s[0] = x;
        break;
      case Codes::kValueRange:
        if (NumericValue(readerOf(u.statistic), x)) {
          if (x < s[0]) s[0] = x;
          if (x > s[1]) s[1] = x;
        }
        break;
      case Codes::kMean:
      case Codes::kUMean:
        // Slots W, m: m' = a (x - m) / W' + m. A mean that cancels to rounding
        // noise of the previous mean becomes exactly zero.
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) {
          const double w = s[0] + a;
          const double m = s[1];
          double mean = a * (x - m) / w + m;
          if (std::fabs(mean) < 2.0 * kEpsilon * std::fabs(m)) mean = 0.0;
          s[0] = w;
          s[1] = mean;
        }
        break;
      case Codes::kVariance:
      case Codes::kUVariance:
        // Slots W, m, M2 (West 1979): W' = W + a, d = x - m, m += (a/W') d,
        // M2 += W (a/W') d^2. M2 = -1 marks an overflow for good. The first
        // value adds nothing to M2: with W = 0 the term is zero even when d^2
        // overflows (0 times infinity would otherwise poison M2).
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) {
          const double w = s[0];
          const double wNext = w + a;
          const double d = x - s[1];
          const double ratio = a / wNext;
          s[1] += ratio * d;
          if (s[2] >= 0.0 && wNext < DBL_MAX) {
            if (w != 0.0) s[2] += w * ratio * (d * d);
          } else {
            s[2] = -1.0;
          }
          s[0] = wNext;
        }
        break;
      case Codes::kValidN:
      case Codes::kUValidN:
        // Only a scale layout lists valid N: it has a slot of its own.
        if (NumericValue(readerOf(u.statistic), x)) s[0] += a;
        break;
      case Codes::kBelowCount:  // the update code of every limit statistic
      case Codes::kUBelowCount:
        // Slots V (valid weight), P (passing weight).
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) {
          s[0] += a;
          if (PassesLimits(x, layout.GetAggregationStatistic(u.statistic))) s[1] += a;
        }
        break;
      case Codes::kMedian:
      case Codes::kUMedian:
        // NaN has no place in an ordered table; it is left out.
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x) && x == x) {
          assert(u.slot >= 0 && u.slot < layout.NumberOfFreqTables() &&
                 "frequency index inside the cell");
          _freqTables[u.slot].Add(x, a);
        }
        break;
      default:
        break;
    }
  }
}

namespace {

// Slots W, m of a running mean: the pair of weight and mean of the two
// cells' values together (Chan, Golub and LeVeque 1979: m = ma + (Wb / W) d
// with d = mb - ma). A side of no weight changes nothing, as a case of zero
// weight changes nothing in the running update.
inline void MergeMean(double* a, const double* b) {
  if (b[0] == 0.0) return;
  if (a[0] == 0.0) {
    a[0] = b[0];
    a[1] = b[1];
    return;
  }
  const double w = a[0] + b[0];
  const double m = a[1];
  double mean = m + (b[0] / w) * (b[1] - m);
  // As in the running update: a mean that cancels to the rounding noise of
  // the means it came from is exactly zero.
  if (std::fabs(mean) < 2.0 * kEpsilon * std::fmax(std::fabs(m), std::fabs(b[1]))) mean = 0.0;
  a[0] = w;
  a[1] = mean;
}

// Slots W, m, M2 (Chan, Golub and LeVeque 1979): M2 = M2a + M2b + d^2 Wa Wb / W,
// which is West's update when one side holds a single case. M2 = -1 marks an
// overflow for good, on either side or in the weight.
inline void MergeMoments(double* a, const double* b) {
  if (b[0] == 0.0) return;
  if (a[0] == 0.0) {
    a[0] = b[0];
    a[1] = b[1];
    a[2] = b[2];
    return;
  }
  const double w = a[0] + b[0];
  const double d = b[1] - a[1];
  const double ratio = b[0] / w;
  if (a[2] >= 0.0 && b[2] >= 0.0 && w < DBL_MAX) {
    a[2] += b[2] + a[0] * ratio * (d * d);
  } else {
    a[2] = -1.0;
  }
  a[1] += ratio * d;
  a[0] = w;
}

}  // namespace

void CellValues::Merge(const CellValues& other, double responses) {
  assert(other._cellStats == _cellStats && "other.GetCellStatistics() == GetCellStatistics()");
  const CellStatistics& layout = *_cellStats;
  const double* b = other._values;
  const int responsesSlot = layout.GetFixedPosition(CellStatistics::kFixedResponses);
  const int responsesEnd =
      responsesSlot == 0 ? 0 : responsesSlot + (layout.HasFixedUnweighted() ? 2 : 1);
  // The fixed region holds sums only.
  for (int k = 0; k < layout.GetFixedSize(); ++k) {
    const bool isResponses = k >= responsesSlot && k < responsesEnd && responsesSlot != 0;
    _values[k] += isResponses ? responses * b[k] : b[k];
  }
  for (const CellStatistics::Update& u : layout.GetUpdates()) {
    double* s = _values + u.slot;
    const double* t = b + u.slot;
    switch (u.code) {
      case Codes::kMaximum:
        if (t[0] > s[0]) s[0] = t[0];
        break;
      case Codes::kMinimum:
        if (t[0] < s[0]) s[0] = t[0];
        break;
      case Codes::kValueRange:
        if (t[0] < s[0]) s[0] = t[0];
        if (t[1] > s[1]) s[1] = t[1];
        break;
      case Codes::kMean:
      case Codes::kUMean:
        MergeMean(s, t);
        break;
      case Codes::kVariance:
      case Codes::kUVariance:
        MergeMoments(s, t);
        break;
      case Codes::kValidN:
      case Codes::kUValidN:
        s[0] += t[0];
        break;
      case Codes::kBelowCount:
      case Codes::kUBelowCount:
        s[0] += t[0];
        s[1] += t[1];
        break;
      case Codes::kMedian:
      case Codes::kUMedian:
        _freqTables[u.slot].AddTable(other._freqTables[u.slot]);
        break;
      default:
        break;
    }
  }
}

void CellValues::WriteState(StateWriter& out) const {
  const CellStatistics& layout = *_cellStats;
  out.U32(static_cast<uint32_t>(layout.ValueSize()));
  for (int k = 0; k < layout.ValueSize(); ++k) out.F64(_values[k]);
  out.U32(static_cast<uint32_t>(layout.NumberOfFreqTables()));
  for (int f = 0; f < layout.NumberOfFreqTables(); ++f) {
    const FrequencyTable& table = _freqTables[f];
    out.U32(static_cast<uint32_t>(table.size()));
    for (const FrequencyTable::value_type& entry : table) {
      out.F64(entry.first);
      out.F64(entry.second);
    }
  }
}

bool CellValues::ReadState(StateReader& in) {
  const CellStatistics& layout = *_cellStats;
  if (in.U32() != static_cast<uint32_t>(layout.ValueSize())) {
    in.Fail("a cell's number of values does not match the table's statistics");
    return false;
  }
  for (int k = 0; k < layout.ValueSize(); ++k) _values[k] = in.F64();
  if (in.U32() != static_cast<uint32_t>(layout.NumberOfFreqTables())) {
    in.Fail("a cell's number of frequency tables does not match the table's statistics");
    return false;
  }
  for (int f = 0; f < layout.NumberOfFreqTables() && in.Ok(); ++f) {
    const uint32_t n = in.Count(16);
    double previous = 0.0;
    for (uint32_t e = 0; e < n && in.Ok(); ++e) {
      const double value = in.F64();
      const double frequency = in.F64();
      // Values come in strictly ascending order, none of them NaN: anything
      // else was not written by a frequency table.
      if (value != value || (e > 0 && !(value > previous))) {
        in.Fail("a frequency table's values are not in ascending order");
        break;
      }
      previous = value;
      _freqTables[f].Add(value, frequency);
    }
  }
  return in.Ok();
}

AggregationResult CellValues::ComputeValue(int statIndex) const {
  const CellStatistics& layout = *_cellStats;
  assert(0 <= statIndex && statIndex < layout.NumberOfValues() &&
         "0 <= statIndex && statIndex < NumberOfValues()");
  const int code = layout.GetAggregationStatistic(statIndex).GetSummaryStatistic();
  const int update = layout.GetUpdateStat(statIndex);
  const double* s = _values;
  const bool categorical = layout.IsCategoricalVariable();

  // Step 1: the raw value of the statistic's accumulator.
  double r = 0.0;
  double w = 0.0;  // the accumulated weight W of the statistic's valid values
  switch (update) {
    case Codes::kCount:
      r = s[0];
      break;
    case Codes::kUCount:
      r = s[1];
      break;
    case Codes::kMaximum: {
      const double max = s[layout.GetValueIndex(statIndex)];
      r = max == -DBL_MAX ? kMissing : max;
      break;
    }
    case Codes::kMinimum: {
      const double min = s[layout.GetValueIndex(statIndex)];
      r = min == DBL_MAX ? kMissing : min;
      break;
    }
    case Codes::kValueRange: {
      const int v = layout.GetValueIndex(statIndex);
      r = s[v] == DBL_MAX ? kMissing : s[v + 1] - s[v];
      break;
    }
    case Codes::kMean:
    case Codes::kUMean: {
      const int v = layout.GetValueIndex(statIndex);
      w = s[v];
      r = w > 0.0 ? s[v + 1] : kMissing;
      break;
    }
    case Codes::kTotalN:
      r = categorical ? s[layout.GetValueIndex(statIndex)] + s[0] : s[0];
      break;
    case Codes::kUTotalN:
      r = categorical ? s[layout.GetValueIndex(statIndex)] + s[1] : s[1];
      break;
    case Codes::kValidN:
    case Codes::kUValidN:
    case Codes::kResponses:
    case Codes::kUResponses:
      r = s[layout.GetValueIndex(statIndex)];
      break;
    case Codes::kVariance:
    case Codes::kUVariance: {
      const int v = layout.GetValueIndex(statIndex);
      w = s[v];
      r = s[v + 2];
      break;
    }
    case Codes::kBelowCount:
    case Codes::kUBelowCount: {
      const int v = layout.GetValueIndex(statIndex);
      w = s[v];
      r = s[v + 1];
      break;
    }
    default:
      break;
  }

  // Step 2: the statistic from the raw value.
  long status = 0;
  switch (code) {
    case Codes::kMedian:
    case Codes::kUMedian:
      return EmpiricalPercentile(FrequencyTableOf(statIndex), 50.0, status);
    case Codes::kMedianInterpolated:
    case Codes::kUMedianInterpolated:
      return InterpolatedPercentile(FrequencyTableOf(statIndex), 50.0, status);
    case Codes::kPercentile:
    case Codes::kUPercentile:
      return EmpiricalPercentile(FrequencyTableOf(statIndex),
                                 layout.GetAggregationStatistic(statIndex).GetPTileCutPoint(),
                                 status);
    case Codes::kPercentileInterpolated:
    case Codes::kUPercentileInterpolated:
      return InterpolatedPercentile(FrequencyTableOf(statIndex),
                                    layout.GetAggregationStatistic(statIndex).GetPTileCutPoint(),
                                    status);
    case Codes::kMode:
    case Codes::kUMode:
      return FrequencyMode(FrequencyTableOf(statIndex));
    case Codes::kMedianCI:
    case Codes::kUMedianCI:
      return MedianInterval(FrequencyTableOf(statIndex),
                            layout.GetAggregationStatistic(statIndex).GetCIMedian());
    case Codes::kMissingN:
    case Codes::kUMissingN: {
      const int count = code == Codes::kMissingN ? 0 : 1;
      double total = s[count];
      if (categorical) {
        const int totalOnly = layout.GetFixedPosition(1);
        if (totalOnly != 0) total += s[totalOnly + count];
      }
      return total - r;
    }
    case Codes::kSEMean:
    case Codes::kUSEMean:
      return UsableMoment(r, w) ? std::sqrt(r / (w - 1.0)) / std::sqrt(w) : kMissing;
    case Codes::kStdDev:
    case Codes::kUStdDev:
      return UsableMoment(r, w) ? std::sqrt(r / (w - 1.0)) : kMissing;
    case Codes::kVariance:
    case Codes::kUVariance:
      return UsableMoment(r, w) ? r / (w - 1.0) : kMissing;
    case Codes::kSumSquaredDeviations:
      // The accumulator's -1 overflow mark is not a sum of squares.
      return r >= 0.0 && r < DBL_MAX ? r : kMissing;
    default:
      break;
  }
  if ((code >= Codes::kSum && code <= Codes::kUSum) ||
      (code >= Codes::kRowSumPct && code <= Codes::kULayerColSumPct)) {
    return w > 0.0 ? w * r : kMissing;
  }
  if (IsLimitPercent(code)) return w > 0.0 ? r / w * 100.0 : kMissing;
  return r;
}

const FrequencyTable& CellValues::FrequencyTableOf(int statIndex) const {
  const int f = _cellStats->GetFrequencyIndex(statIndex);
  assert(f >= 0 && f < _cellStats->NumberOfFreqTables() && "frequency index inside the cell");
  return _freqTables[f];
}

bool NearlyEqual(double a, double b, double k) {
  const double difference = std::fabs(a - b);
  if (difference == 0.0) return true;
  if (a == 0.0 || b == 0.0) return false;
  return difference <= k * kEpsilon * std::fmax(std::fabs(a), std::fabs(b));
}

// Walks down from the largest value, removing frequencies from the total
// until what remains no longer exceeds p% of it. The tolerance of the
// equality test grows with the number of subtractions made.
double EmpiricalPercentile(const FrequencyTable& table, double p, long& status) {
  status = 0;
  const size_t n = table.size();
  if (n == 0) {
    status = 3;
    return kMissing;
  }
  if (!(p >= 0.0 && p <= 100.0)) {  // NaN included
    status = 2;
    return kMissing;
  }
  if (n == 1) return table.begin()->first;
  if (NearlyEqual(p, 0.0, 1.0)) {
    status = -1;
    return table.begin()->first;
  }
  if (NearlyEqual(p, 100.0, 1.0)) {
    status = -1;
    return table.rbegin()->first;
  }
  double total = 0.0;
  for (const auto& entry : table) total += entry.second;
  const double target = p / 100.0 * total;
  double cumulative = total;
  double k = 0.0;
  FrequencyTable::const_reverse_iterator current = table.rbegin();
  while (cumulative > target && current != table.rend() && !NearlyEqual(target, cumulative, k)) {
    cumulative -= current->second;
    ++current;
    k += 1.0;
  }
  if (current == table.rend()) return table.begin()->first;
  if (current == table.rbegin()) return current->first;
  const double above = std::prev(current)->first;
  if (NearlyEqual(target, cumulative, k)) return (current->first + above) / 2.0;
  return above;
}

double InterpolatedPercentile(const FrequencyTable& table, double p, long& status) {
  // One distinct value: every cut falls at or below where a second value
  // would begin, where the interpolation gives the first value itself.
  if (table.size() == 1 && p >= 0.0 && p <= 100.0) {
    status = 0;
    return table.begin()->first;
  }
  std::vector<double> values, weights;
  TableLists(table, values, weights);
  const std::vector<double> noBoundaries;
  double result = kMissing;
  NuvDistFun::GPTile(static_cast<long>(values.size()), p, values, weights, noBoundaries, 0, result,
                     status);
  return result;
}

double FrequencyMode(const FrequencyTable& table) {
  double best = 0.0;
  double mode = kMissing;
  for (const auto& entry : table) {
    if (entry.second > best) {
      best = entry.second;
      mode = entry.first;
    }
  }
  return mode;
}

AggregationResult MedianInterval(const FrequencyTable& table, double level) {
  std::vector<double> values, weights;
  TableLists(table, values, weights);
  double total = 0.0;
  for (double weight : weights) total += weight;
  double lower = kMissing, upper = kMissing, attained = kMissing;
  NuvDistFun::Mednci(static_cast<long>(values.size()), values, weights, total, level, false, lower,
                     upper, attained);
  AggregationResult result(lower);
  result.SetValue2(upper);
  result.SetValue3(attained);
  return result;
}

bool PassesLimits(double x, const AggregationStatistic& statistic) {
  const int code = statistic.GetSummaryStatistic();
  if (code < Codes::kBelowPct || code > Codes::kUStrictlyBetweenCount) return false;
  const double lower = statistic.GetLowerLimit();
  const double upper = statistic.GetUpperLimit();
  switch ((code - Codes::kBelowPct) / 4) {
    case 0:
      return x < upper;
    case 1:
      return x <= upper;
    case 2:
      return x > lower;
    case 3:
      return x >= lower;
    case 4:
      return x == lower;
    case 5:
      return lower <= x && x <= upper;
    case 6:
      return lower <= x && x < upper;
    case 8:
      return lower < x && x < upper;
    default:  // the unspecified-limit group has no test
      return false;
  }
}

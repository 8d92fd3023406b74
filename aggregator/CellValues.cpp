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
#include "StatisticTraits.h"
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

}  // namespace

namespace {

// The accumulator families. Each state lives in a cell's value slots (s,
// at the statistic's first slot) or, for frequencies, in a frequency table of
// the cell, and each family has side by side its empty state (Reset), the
// update by one case of value x and weight a (Update), the merge with the
// state t of the same statistic in another cell (Merge: the state of the two
// cells' cases together) and the statistic values it yields (Finalize and
// its siblings). A case of zero weight leaves a weighted state as it was.

// Weight sum, one slot S: the weight (or, unweighted, the number) of the
// valid values. Valid N of a scale layout.
struct WeightSum {
  static void Update(double* s, double a) { s[0] += a; }
  static void Merge(double* s, const double* t) { s[0] += t[0]; }
  static double Finalize(const double* s) { return s[0]; }
};

// Largest value, one slot: -DBL_MAX until a valid value arrives, then read
// as missing.
struct Maximum {
  static void Reset(double* s) { s[0] = -DBL_MAX; }
  static void Update(double* s, double x) {
    if (x > s[0]) s[0] = x;
  }
  static void Merge(double* s, const double* t) { Update(s, t[0]); }
  static double Finalize(const double* s) { return s[0] == -DBL_MAX ? kMissing : s[0]; }
};

// Smallest value, one slot: DBL_MAX until a valid value arrives.
struct Minimum {
  static void Reset(double* s) { s[0] = DBL_MAX; }
  static void Update(double* s, double x) {
    if (x < s[0]) s[0] = x;
  }
  static void Merge(double* s, const double* t) { Update(s, t[0]); }
  static double Finalize(const double* s) { return s[0] == DBL_MAX ? kMissing : s[0]; }
};

// Range, slots min, max as Minimum and Maximum; the value is max - min.
struct ValueRange {
  static void Reset(double* s) {
    Minimum::Reset(s);
    Maximum::Reset(s + 1);
  }
  static void Update(double* s, double x) {
    Minimum::Update(s, x);
    Maximum::Update(s + 1, x);
  }
  static void Merge(double* s, const double* t) {
    Minimum::Merge(s, t);
    Maximum::Merge(s + 1, t + 1);
  }
  static double Finalize(const double* s) { return s[0] == DBL_MAX ? kMissing : s[1] - s[0]; }
};

// Running mean, slots W (weight), m (mean). Mean and sum (W m) of the valid
// values; missing without weight.
struct RunningMean {
  enum Slot { kW = 0, kMean = 1 };
  // m' = a (x - m) / W' + m with W' = W + a. A mean that cancels to rounding
  // noise of the previous mean becomes exactly zero.
  static void Update(double* s, double x, double a) {
    const double w = s[kW] + a;
    const double m = s[kMean];
    double mean = a * (x - m) / w + m;
    if (std::fabs(mean) < 2.0 * kEpsilon * std::fabs(m)) mean = 0.0;
    s[kW] = w;
    s[kMean] = mean;
  }
  // Chan, Golub and LeVeque (1979): m = ma + (Wb / W) d with d = mb - ma and
  // W = Wa + Wb. A side of no weight changes nothing, as a case of zero
  // weight changes nothing in the running update; a mean that cancels to the
  // rounding noise of the means it came from is exactly zero.
  static void Merge(double* s, const double* t) {
    if (t[kW] == 0.0) return;
    if (s[kW] == 0.0) {
      s[kW] = t[kW];
      s[kMean] = t[kMean];
      return;
    }
    const double w = s[kW] + t[kW];
    const double m = s[kMean];
    double mean = m + (t[kW] / w) * (t[kMean] - m);
    if (std::fabs(mean) < 2.0 * kEpsilon * std::fmax(std::fabs(m), std::fabs(t[kMean]))) {
      mean = 0.0;
    }
    s[kW] = w;
    s[kMean] = mean;
  }
  static double Mean(const double* s) { return s[kW] > 0.0 ? s[kMean] : kMissing; }
  static double Sum(const double* s) { return s[kW] > 0.0 ? s[kW] * s[kMean] : kMissing; }
};

// Second moments, slots W (weight), m (mean), M2 (sum of squared deviations
// from the mean, weighted). M2 = -1 marks an overflow for good.
struct Moments {
  enum Slot { kW = 0, kMean = 1, kM2 = 2 };
  // West (1979): W' = W + a, d = x - m, m += (a/W') d, M2 += W (a/W') d^2.
  // The first value adds nothing to M2: with W = 0 the term is zero even when
  // d^2 overflows (0 times infinity would otherwise poison M2).
  static void Update(double* s, double x, double a) {
    const double w = s[kW];
    const double wNext = w + a;
    const double d = x - s[kMean];
    const double ratio = a / wNext;
    s[kMean] += ratio * d;
    if (s[kM2] >= 0.0 && wNext < DBL_MAX) {
      if (w != 0.0) s[kM2] += w * ratio * (d * d);
    } else {
      s[kM2] = -1.0;
    }
    s[kW] = wNext;
  }
  // Chan, Golub and LeVeque (1979): M2 = M2a + M2b + d^2 Wa Wb / W, which is
  // West's update when one side holds a single case; an overflow on either
  // side or in the weight marks the merge.
  static void Merge(double* s, const double* t) {
    if (t[kW] == 0.0) return;
    if (s[kW] == 0.0) {
      s[kW] = t[kW];
      s[kMean] = t[kMean];
      s[kM2] = t[kM2];
      return;
    }
    const double w = s[kW] + t[kW];
    const double d = t[kMean] - s[kMean];
    const double ratio = t[kW] / w;
    if (s[kM2] >= 0.0 && t[kM2] >= 0.0 && w < DBL_MAX) {
      s[kM2] += t[kM2] + s[kW] * ratio * (d * d);
    } else {
      s[kM2] = -1.0;
    }
    s[kMean] += ratio * d;
    s[kW] = w;
  }
  // Dispersions need an M2 that neither overflowed nor is absent, and more
  // than one unit of weight: variance M2 / (W - 1), its root, and the
  // standard error of the mean sqrt(variance) / sqrt(W).
  static bool Usable(const double* s) { return s[kM2] >= 0.0 && s[kM2] < DBL_MAX && s[kW] > 1.0; }
  static double Variance(const double* s) { return Usable(s) ? s[kM2] / (s[kW] - 1.0) : kMissing; }
  static double StdDev(const double* s) {
    return Usable(s) ? std::sqrt(s[kM2] / (s[kW] - 1.0)) : kMissing;
  }
  static double SEMean(const double* s) {
    return Usable(s) ? std::sqrt(s[kM2] / (s[kW] - 1.0)) / std::sqrt(s[kW]) : kMissing;
  }
  static double SumSquaredDeviations(const double* s) {
    return s[kM2] >= 0.0 && s[kM2] < DBL_MAX ? s[kM2] : kMissing;
  }
};

// Limit counts, slots V (weight of the valid values), P (weight of those that
// pass the statistic's limit test). The count is P, the percentage 100 P / V.
struct LimitCounts {
  enum Slot { kV = 0, kP = 1 };
  static void Update(double* s, double a, bool passes) {
    s[kV] += a;
    if (passes) s[kP] += a;
  }
  static void Merge(double* s, const double* t) {
    s[kV] += t[kV];
    s[kP] += t[kP];
  }
  static double Count(const double* s) { return s[kP]; }
  static double Percent(const double* s) { return s[kV] > 0.0 ? s[kP] / s[kV] * 100.0 : kMissing; }
};

// Frequencies: the frequency table of the valid values (NaN, which has no
// place in an ordered table, left out). Merging adds frequencies value by
// value; every percentile, median, mode and median interval reads the table.
struct Frequencies {
  static void Update(FrequencyTable& table, double x, double a) {
    if (x == x) table.Add(x, a);
  }
  static void Merge(FrequencyTable& table, const FrequencyTable& other) { table.AddTable(other); }
  static AggregationResult Finalize(const FrequencyTable& table, StatisticReading reading,
                                    const AggregationStatistic& statistic) {
    long status = 0;
    switch (reading) {
      case StatisticReading::kMedian:
        return EmpiricalPercentile(table, 50.0, status);
      case StatisticReading::kMedianInterpolated:
        return InterpolatedPercentile(table, 50.0, status);
      case StatisticReading::kPercentile:
        return EmpiricalPercentile(table, statistic.GetPTileCutPoint(), status);
      case StatisticReading::kPercentileInterpolated:
        return InterpolatedPercentile(table, statistic.GetPTileCutPoint(), status);
      case StatisticReading::kMode:
        return FrequencyMode(table);
      default:
        assert(reading == StatisticReading::kMedianCI && "a frequency statistic");
        return MedianInterval(table, statistic.GetCIMedian());
    }
  }
};

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
    if (update == Codes::kNoStatistic || TraitsOf(update).family != StatisticFamily::kExtremes) {
      continue;
    }
    const int v = layout.GetValueIndex(i);
    assert(v >= layout.GetFixedSize() && v + TraitsOf(update).slots <= size &&
           "value index inside the cell");
    if (update == Codes::kMaximum) {
      Maximum::Reset(values + v);
    } else if (update == Codes::kMinimum) {
      Minimum::Reset(values + v);
    } else {
      ValueRange::Reset(values + v);
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

// Each listed accumulator takes the case through its family's Update. A valid
// value of zero weight changes no weighted accumulator: folding it into a
// running mean of zero weight would divide 0 by 0 and poison the cell for good.
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
    // Extremes and valid N count every valid value; the other families skip
    // a case of zero weight.
    switch (u.code) {
      case Codes::kMaximum:
        if (NumericValue(readerOf(u.statistic), x)) Maximum::Update(s, x);
        break;
      case Codes::kMinimum:
        if (NumericValue(readerOf(u.statistic), x)) Minimum::Update(s, x);
        break;
      case Codes::kValueRange:
        if (NumericValue(readerOf(u.statistic), x)) ValueRange::Update(s, x);
        break;
      case Codes::kMean:
      case Codes::kUMean:
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) RunningMean::Update(s, x, a);
        break;
      case Codes::kVariance:
      case Codes::kUVariance:
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) Moments::Update(s, x, a);
        break;
      case Codes::kValidN:
      case Codes::kUValidN:
        // Only a scale layout lists valid N: it has a slot of its own.
        if (NumericValue(readerOf(u.statistic), x)) WeightSum::Update(s, a);
        break;
      case Codes::kBelowCount:  // the update code of every limit statistic
      case Codes::kUBelowCount:
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) {
          LimitCounts::Update(s, a, PassesLimits(x, layout.GetAggregationStatistic(u.statistic)));
        }
        break;
      case Codes::kMedian:
      case Codes::kUMedian:
        if (a != 0.0 && NumericValue(readerOf(u.statistic), x)) {
          assert(u.slot >= 0 && u.slot < layout.NumberOfFreqTables() &&
                 "frequency index inside the cell");
          Frequencies::Update(_freqTables[u.slot], x, a);
        }
        break;
      default:
        break;
    }
  }
}

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
        Maximum::Merge(s, t);
        break;
      case Codes::kMinimum:
        Minimum::Merge(s, t);
        break;
      case Codes::kValueRange:
        ValueRange::Merge(s, t);
        break;
      case Codes::kMean:
      case Codes::kUMean:
        RunningMean::Merge(s, t);
        break;
      case Codes::kVariance:
      case Codes::kUVariance:
        Moments::Merge(s, t);
        break;
      case Codes::kValidN:
      case Codes::kUValidN:
        WeightSum::Merge(s, t);
        break;
      case Codes::kBelowCount:
      case Codes::kUBelowCount:
        LimitCounts::Merge(s, t);
        break;
      case Codes::kMedian:
      case Codes::kUMedian:
        Frequencies::Merge(_freqTables[u.slot], other._freqTables[u.slot]);
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
  const AggregationStatistic& statistic = layout.GetAggregationStatistic(statIndex);
  const StatisticTraits& traits = TraitsOf(statistic.GetSummaryStatistic());
  if (traits.family == StatisticFamily::kNone) return 0.0;
  if (traits.family == StatisticFamily::kFrequencies) {
    return Frequencies::Finalize(FrequencyTableOf(statIndex), traits.reading, statistic);
  }
  const double* values = _values;
  const double* s = values + layout.GetValueIndex(statIndex);
  const int count = traits.unweighted ? 1 : 0;  // the count slot of the statistic's weighting
  const bool categorical = layout.IsCategoricalVariable();
  switch (traits.reading) {
    case StatisticReading::kCount:
    case StatisticReading::kResponses:
      return s[0];
    case StatisticReading::kValidN:
      return WeightSum::Finalize(s);
    case StatisticReading::kTotalN:
      // A categorical cell adds the cases it holds for total N only.
      return categorical ? s[0] + values[count] : values[count];
    case StatisticReading::kMissingN: {
      double total = values[count];
      if (categorical) {
        const int totalOnly = layout.GetFixedPosition(CellStatistics::kFixedTotalN);
        if (totalOnly != 0) total += values[totalOnly + count];
      }
      return total - WeightSum::Finalize(s);
    }
    case StatisticReading::kMaximum:
      return Maximum::Finalize(s);
    case StatisticReading::kMinimum:
      return Minimum::Finalize(s);
    case StatisticReading::kValueRange:
      return ValueRange::Finalize(s);
    case StatisticReading::kMean:
      return RunningMean::Mean(s);
    case StatisticReading::kSum:
      return RunningMean::Sum(s);
    case StatisticReading::kSEMean:
      return Moments::SEMean(s);
    case StatisticReading::kStdDev:
      return Moments::StdDev(s);
    case StatisticReading::kVariance:
      return Moments::Variance(s);
    case StatisticReading::kSumSquaredDeviations:
      return Moments::SumSquaredDeviations(s);
    case StatisticReading::kLimitCount:
      return LimitCounts::Count(s);
    case StatisticReading::kLimitPercent:
      return LimitCounts::Percent(s);
    default:
      assert(false && "every reading of a statistic with slots is handled");
      return kMissing;
  }
}

const FrequencyTable& CellValues::FrequencyTableOf(int statIndex) const {
  const int f = _cellStats->GetFrequencyIndex(statIndex);
  assert(f >= 0 && f < _cellStats->NumberOfFreqTables() && "frequency index inside the cell");
  return _freqTables[f];
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

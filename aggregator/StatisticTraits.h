#ifndef STATISTIC_TRAITS_H
#define STATISTIC_TRAITS_H

#include <cassert>

#include "TableEncryptionCodes.h"

// The families of accumulators. Each keeps its state in a cell's value slots
// (or, for frequencies, in a frequency table of the cell) and has an update
// by one case, a merge with another state of the same family and readings
// of the statistic values (see CellValues.cpp).
enum class StatisticFamily : unsigned char {
  kNone,         // no accumulator (kNoStatistic)
  kCounts,       // sums of weights or of cases: counts, valid, total and missing N
  kMoments,      // weight, mean and squared deviations: means, sums, dispersions
  kExtremes,     // smallest and largest valid value
  kFrequencies,  // frequency of every distinct value: medians, percentiles, modes
  kLimits,       // valid weight and the weight passing a limit test
  kResponses     // responses of a multiple-response set
};

// What the value of a statistic is read as from its accumulator.
enum class StatisticReading : unsigned char {
  kNone,
  kCount,
  kValidN,
  kTotalN,
  kMissingN,
  kResponses,
  kMaximum,
  kMinimum,
  kValueRange,
  kMean,
  kSum,
  kSEMean,
  kStdDev,
  kVariance,
  kSumSquaredDeviations,
  kMedian,
  kMedianInterpolated,
  kPercentile,
  kPercentileInterpolated,
  kMode,
  kMedianCI,
  kLimitCount,
  kLimitPercent
};

// Whether a dimension's categories can be ordered by a statistic: never,
// always, only when the statistic summarises no variable (responses of the
// set itself), or only when it summarises a variable.
enum class CategoryOrder : unsigned char { kNever, kAlways, kWithoutVariable, kWithVariable };

// The percentage kinds, numbered as CellStatistics::PercentType numbers them
// (which CellStatistics.cpp checks), and kNotPercent for the other codes.
namespace StatisticPercent {
constexpr int kNotPercent = -1;
constexpr int kRow = 0;
constexpr int kColumn = 1;
constexpr int kTable = 2;
constexpr int kSubtable = 3;
constexpr int kLayer = 4;
constexpr int kLayerRow = 5;
constexpr int kLayerColumn = 6;
}  // namespace StatisticPercent

// StatisticTraits: what one statistic code means, as every part of the
// engine and its front ends reads it.
//   name: the code's name in requests (the enumerator without its k);
//   twin: the code of the other weighting (weighted <-> unweighted), or
//     kNoTwin for a statistic of one form only;
//   unweighted: the statistic counts cases instead of summing weights;
//   family, accumulator: the accumulator family and the update code of the
//     accumulator the statistic reads (statistics sharing an update code
//     share the accumulator's layout: a sum reads the mean's W and m);
//   reading: what the value is read as from that accumulator;
//   percent, percentBase: a percentage's kind and the statistic whose base
//     cells hold its denominator (the statistic itself, or responses or
//     counts for the multiple-response percentages); kNotPercent and
//     kNoStatistic for every other code;
//   slots: the value slots the accumulator takes after the fixed region of a
//     scale layout (a categorical layout keeps valid and total N in the
//     fixed region; counts and responses always live there);
//   needsVariable: the accumulator reads the statistic variable's value;
//   order: whether categories can be ordered by the statistic.
struct StatisticTraits {
  TableEncryptionCodes::StatisticCodes code;
  const char* name;
  int twin;
  bool unweighted;
  StatisticFamily family;
  TableEncryptionCodes::StatisticCodes accumulator;
  StatisticReading reading;
  int percent;
  TableEncryptionCodes::StatisticCodes percentBase;
  int slots;
  bool needsVariable;
  CategoryOrder order;
};

namespace StatisticTraitsTable {

using C = TableEncryptionCodes;
using F = StatisticFamily;
using R = StatisticReading;
using O = CategoryOrder;
namespace P = StatisticPercent;
constexpr int kNoTwin = -1;
constexpr int kNotPercent = StatisticPercent::kNotPercent;

// Every statistic code, in code order. Adding a statistic: one row here, its
// code in TableEncryptionCodes and, for a new kind of accumulator, a family.
// clang-format off
inline constexpr StatisticTraits kTraits[TableEncryptionCodes::kNumberOfStatistics] = {
    {C::kNoStatistic, "NoStatistic", kNoTwin, false, F::kNone, C::kNoStatistic, R::kNone, kNotPercent, C::kNoStatistic, 0, false, O::kNever},
    {C::kCount, "Count", C::kUCount, false, F::kCounts, C::kCount, R::kCount, kNotPercent, C::kNoStatistic, 0, false, O::kAlways},
    {C::kUCount, "UCount", C::kCount, true, F::kCounts, C::kUCount, R::kCount, kNotPercent, C::kNoStatistic, 0, false, O::kAlways},
    {C::kRowPct, "RowPct", C::kURowPct, false, F::kCounts, C::kCount, R::kCount, P::kRow, C::kRowPct, 0, false, O::kNever},
    {C::kURowPct, "URowPct", C::kRowPct, true, F::kCounts, C::kUCount, R::kCount, P::kRow, C::kURowPct, 0, false, O::kNever},
    {C::kColPct, "ColPct", C::kUColPct, false, F::kCounts, C::kCount, R::kCount, P::kColumn, C::kColPct, 0, false, O::kNever},
    {C::kUColPct, "UColPct", C::kColPct, true, F::kCounts, C::kUCount, R::kCount, P::kColumn, C::kUColPct, 0, false, O::kNever},
    {C::kTablePct, "TablePct", C::kUTablePct, false, F::kCounts, C::kCount, R::kCount, P::kTable, C::kTablePct, 0, false, O::kNever},
    {C::kUTablePct, "UTablePct", C::kTablePct, true, F::kCounts, C::kUCount, R::kCount, P::kTable, C::kUTablePct, 0, false, O::kNever},
    {C::kSubtablePct, "SubtablePct", C::kUSubtablePct, false, F::kCounts, C::kCount, R::kCount, P::kSubtable, C::kSubtablePct, 0, false, O::kNever},
    {C::kUSubtablePct, "USubtablePct", C::kSubtablePct, true, F::kCounts, C::kUCount, R::kCount, P::kSubtable, C::kUSubtablePct, 0, false, O::kNever},
    {C::kLayerPct, "LayerPct", C::kULayerPct, false, F::kCounts, C::kCount, R::kCount, P::kLayer, C::kLayerPct, 0, false, O::kNever},
    {C::kULayerPct, "ULayerPct", C::kLayerPct, true, F::kCounts, C::kUCount, R::kCount, P::kLayer, C::kULayerPct, 0, false, O::kNever},
    {C::kLayerRowPct, "LayerRowPct", C::kULayerRowPct, false, F::kCounts, C::kCount, R::kCount, P::kLayerRow, C::kLayerRowPct, 0, false, O::kNever},
    {C::kULayerRowPct, "ULayerRowPct", C::kLayerRowPct, true, F::kCounts, C::kUCount, R::kCount, P::kLayerRow, C::kULayerRowPct, 0, false, O::kNever},
    {C::kLayerColPct, "LayerColPct", C::kULayerColPct, false, F::kCounts, C::kCount, R::kCount, P::kLayerColumn, C::kLayerColPct, 0, false, O::kNever},
    {C::kULayerColPct, "ULayerColPct", C::kLayerColPct, true, F::kCounts, C::kUCount, R::kCount, P::kLayerColumn, C::kULayerColPct, 0, false, O::kNever},
    {C::kRowValidNPct, "RowValidNPct", C::kURowValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kRow, C::kRowValidNPct, 1, true, O::kNever},
    {C::kURowValidNPct, "URowValidNPct", C::kRowValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kRow, C::kURowValidNPct, 1, true, O::kNever},
    {C::kColValidNPct, "ColValidNPct", C::kUColValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kColumn, C::kColValidNPct, 1, true, O::kNever},
    {C::kUColValidNPct, "UColValidNPct", C::kColValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kColumn, C::kUColValidNPct, 1, true, O::kNever},
    {C::kTableValidNPct, "TableValidNPct", C::kUTableValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kTable, C::kTableValidNPct, 1, true, O::kNever},
    {C::kUTableValidNPct, "UTableValidNPct", C::kTableValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kTable, C::kUTableValidNPct, 1, true, O::kNever},
    {C::kSubtableValidNPct, "SubtableValidNPct", C::kUSubtableValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kSubtable, C::kSubtableValidNPct, 1, true, O::kNever},
    {C::kUSubtableValidNPct, "USubtableValidNPct", C::kSubtableValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kSubtable, C::kUSubtableValidNPct, 1, true, O::kNever},
    {C::kLayerValidNPct, "LayerValidNPct", C::kULayerValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kLayer, C::kLayerValidNPct, 1, true, O::kNever},
    {C::kULayerValidNPct, "ULayerValidNPct", C::kLayerValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kLayer, C::kULayerValidNPct, 1, true, O::kNever},
    {C::kLayerRowValidNPct, "LayerRowValidNPct", C::kULayerRowValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kLayerRow, C::kLayerRowValidNPct, 1, true, O::kNever},
    {C::kULayerRowValidNPct, "ULayerRowValidNPct", C::kLayerRowValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kLayerRow, C::kULayerRowValidNPct, 1, true, O::kNever},
    {C::kLayerColValidNPct, "LayerColValidNPct", C::kULayerColValidNPct, false, F::kCounts, C::kValidN, R::kValidN, P::kLayerColumn, C::kLayerColValidNPct, 1, true, O::kNever},
    {C::kULayerColValidNPct, "ULayerColValidNPct", C::kLayerColValidNPct, true, F::kCounts, C::kUValidN, R::kValidN, P::kLayerColumn, C::kULayerColValidNPct, 1, true, O::kNever},
    {C::kRowTotalNPct, "RowTotalNPct", C::kURowTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kRow, C::kRowTotalNPct, 0, false, O::kNever},
    {C::kURowTotalNPct, "URowTotalNPct", C::kRowTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kRow, C::kURowTotalNPct, 0, false, O::kNever},
    {C::kColTotalNPct, "ColTotalNPct", C::kUColTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kColumn, C::kColTotalNPct, 0, false, O::kNever},
    {C::kUColTotalNPct, "UColTotalNPct", C::kColTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kColumn, C::kUColTotalNPct, 0, false, O::kNever},
    {C::kTableTotalNPct, "TableTotalNPct", C::kUTableTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kTable, C::kTableTotalNPct, 0, false, O::kNever},
    {C::kUTableTotalNPct, "UTableTotalNPct", C::kTableTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kTable, C::kUTableTotalNPct, 0, false, O::kNever},
    {C::kSubtableTotalNPct, "SubtableTotalNPct", C::kUSubtableTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kSubtable, C::kSubtableTotalNPct, 0, false, O::kNever},
    {C::kUSubtableTotalNPct, "USubtableTotalNPct", C::kSubtableTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kSubtable, C::kUSubtableTotalNPct, 0, false, O::kNever},
    {C::kLayerTotalNPct, "LayerTotalNPct", C::kULayerTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kLayer, C::kLayerTotalNPct, 0, false, O::kNever},
    {C::kULayerTotalNPct, "ULayerTotalNPct", C::kLayerTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kLayer, C::kULayerTotalNPct, 0, false, O::kNever},
    {C::kLayerRowTotalNPct, "LayerRowTotalNPct", C::kULayerRowTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kLayerRow, C::kLayerRowTotalNPct, 0, false, O::kNever},
    {C::kULayerRowTotalNPct, "ULayerRowTotalNPct", C::kLayerRowTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kLayerRow, C::kULayerRowTotalNPct, 0, false, O::kNever},
    {C::kLayerColTotalNPct, "LayerColTotalNPct", C::kULayerColTotalNPct, false, F::kCounts, C::kTotalN, R::kTotalN, P::kLayerColumn, C::kLayerColTotalNPct, 0, false, O::kNever},
    {C::kULayerColTotalNPct, "ULayerColTotalNPct", C::kLayerColTotalNPct, true, F::kCounts, C::kUTotalN, R::kTotalN, P::kLayerColumn, C::kULayerColTotalNPct, 0, false, O::kNever},
    {C::kMaximum, "Maximum", kNoTwin, false, F::kExtremes, C::kMaximum, R::kMaximum, kNotPercent, C::kNoStatistic, 1, true, O::kWithVariable},
    {C::kMean, "Mean", C::kUMean, false, F::kMoments, C::kMean, R::kMean, kNotPercent, C::kNoStatistic, 2, true, O::kWithVariable},
    {C::kUMean, "UMean", C::kMean, true, F::kMoments, C::kUMean, R::kMean, kNotPercent, C::kNoStatistic, 2, true, O::kWithVariable},
    {C::kMedian, "Median", C::kUMedian, false, F::kFrequencies, C::kMedian, R::kMedian, kNotPercent, C::kNoStatistic, 0, true, O::kWithVariable},
    {C::kUMedian, "UMedian", C::kMedian, true, F::kFrequencies, C::kUMedian, R::kMedian, kNotPercent, C::kNoStatistic, 0, true, O::kWithVariable},
    {C::kMedianInterpolated, "MedianInterpolated", C::kUMedianInterpolated, false, F::kFrequencies, C::kMedian, R::kMedianInterpolated, kNotPercent, C::kNoStatistic, 0, true, O::kWithVariable},
    {C::kUMedianInterpolated, "UMedianInterpolated", C::kMedianInterpolated, true, F::kFrequencies, C::kUMedian, R::kMedianInterpolated, kNotPercent, C::kNoStatistic, 0, true, O::kWithVariable},
    {C::kMinimum, "Minimum", kNoTwin, false, F::kExtremes, C::kMinimum, R::kMinimum, kNotPercent, C::kNoStatistic, 1, true, O::kWithVariable},
    {C::kMissingN, "MissingN", C::kUMissingN, false, F::kCounts, C::kValidN, R::kMissingN, kNotPercent, C::kNoStatistic, 1, true, O::kWithVariable},
    {C::kUMissingN, "UMissingN", C::kMissingN, true, F::kCounts, C::kUValidN, R::kMissingN, kNotPercent, C::kNoStatistic, 1, true, O::kWithVariable},
    {C::kMode, "Mode", C::kUMode, false, F::kFrequencies, C::kMedian, R::kMode, kNotPercent, C::kNoStatistic, 0, true, O::kWithVariable},
    {C::kUMode, "UMode", C::kMode, true, F::kFrequencies, C::kUMedian, R::kMode, kNotPercent, C::kNoStatistic, 0, true, O::kWithVariable},
    {C::kValueRange, "ValueRange", kNoTwin, false, F::kExtremes, C::kValueRange, R::kValueRange, kNotPercent, C::kNoStatistic, 2, true, O::kWithVariable},
    {C::kSEMean, "SEMean", C::kUSEMean, false, F::kMoments, C::kVariance, R::kSEMean, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kUSEMean, "USEMean", C::kSEMean, true, F::kMoments, C::kUVariance, R::kSEMean, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kStdDev, "StdDev", C::kUStdDev, false, F::kMoments, C::kVariance, R::kStdDev, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kUStdDev, "UStdDev", C::kStdDev, true, F::kMoments, C::kUVariance, R::kStdDev, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kSum, "Sum", C::kUSum, false, F::kMoments, C::kMean, R::kSum, kNotPercent, C::kNoStatistic, 2, true, O::kWithVariable},
    {C::kUSum, "USum", C::kSum, true, F::kMoments, C::kUMean, R::kSum, kNotPercent, C::kNoStatistic, 2, true, O::kWithVariable},
    {C::kTotalN, "TotalN", C::kUTotalN, false, F::kCounts, C::kTotalN, R::kTotalN, kNotPercent, C::kNoStatistic, 0, false, O::kWithVariable},
    {C::kUTotalN, "UTotalN", C::kTotalN, true, F::kCounts, C::kUTotalN, R::kTotalN, kNotPercent, C::kNoStatistic, 0, false, O::kWithVariable},
    {C::kValidN, "ValidN", C::kUValidN, false, F::kCounts, C::kValidN, R::kValidN, kNotPercent, C::kNoStatistic, 1, true, O::kWithVariable},
    {C::kUValidN, "UValidN", C::kValidN, true, F::kCounts, C::kUValidN, R::kValidN, kNotPercent, C::kNoStatistic, 1, true, O::kWithVariable},
    {C::kVariance, "Variance", C::kUVariance, false, F::kMoments, C::kVariance, R::kVariance, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kUVariance, "UVariance", C::kVariance, true, F::kMoments, C::kUVariance, R::kVariance, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kRowSumPct, "RowSumPct", C::kURowSumPct, false, F::kMoments, C::kMean, R::kSum, P::kRow, C::kRowSumPct, 2, true, O::kNever},
    {C::kURowSumPct, "URowSumPct", C::kRowSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kRow, C::kURowSumPct, 2, true, O::kNever},
    {C::kColSumPct, "ColSumPct", C::kUColSumPct, false, F::kMoments, C::kMean, R::kSum, P::kColumn, C::kColSumPct, 2, true, O::kNever},
    {C::kUColSumPct, "UColSumPct", C::kColSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kColumn, C::kUColSumPct, 2, true, O::kNever},
    {C::kTableSumPct, "TableSumPct", C::kUTableSumPct, false, F::kMoments, C::kMean, R::kSum, P::kTable, C::kTableSumPct, 2, true, O::kNever},
    {C::kUTableSumPct, "UTableSumPct", C::kTableSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kTable, C::kUTableSumPct, 2, true, O::kNever},
    {C::kSubtableSumPct, "SubtableSumPct", C::kUSubtableSumPct, false, F::kMoments, C::kMean, R::kSum, P::kSubtable, C::kSubtableSumPct, 2, true, O::kNever},
    {C::kUSubtableSumPct, "USubtableSumPct", C::kSubtableSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kSubtable, C::kUSubtableSumPct, 2, true, O::kNever},
    {C::kLayerSumPct, "LayerSumPct", C::kULayerSumPct, false, F::kMoments, C::kMean, R::kSum, P::kLayer, C::kLayerSumPct, 2, true, O::kNever},
    {C::kULayerSumPct, "ULayerSumPct", C::kLayerSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kLayer, C::kULayerSumPct, 2, true, O::kNever},
    {C::kLayerRowSumPct, "LayerRowSumPct", C::kULayerRowSumPct, false, F::kMoments, C::kMean, R::kSum, P::kLayerRow, C::kLayerRowSumPct, 2, true, O::kNever},
    {C::kULayerRowSumPct, "ULayerRowSumPct", C::kLayerRowSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kLayerRow, C::kULayerRowSumPct, 2, true, O::kNever},
    {C::kLayerColSumPct, "LayerColSumPct", C::kULayerColSumPct, false, F::kMoments, C::kMean, R::kSum, P::kLayerColumn, C::kLayerColSumPct, 2, true, O::kNever},
    {C::kULayerColSumPct, "ULayerColSumPct", C::kLayerColSumPct, true, F::kMoments, C::kUMean, R::kSum, P::kLayerColumn, C::kULayerColSumPct, 2, true, O::kNever},
    {C::kResponses, "Responses", C::kUResponses, false, F::kResponses, C::kResponses, R::kResponses, kNotPercent, C::kNoStatistic, 0, false, O::kWithoutVariable},
    {C::kUResponses, "UResponses", C::kResponses, true, F::kResponses, C::kUResponses, R::kResponses, kNotPercent, C::kNoStatistic, 0, false, O::kWithoutVariable},
    {C::kRowResponsesPct, "RowResponsesPct", C::kURowResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kRow, C::kResponses, 0, false, O::kNever},
    {C::kURowResponsesPct, "URowResponsesPct", C::kRowResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kRow, C::kUResponses, 0, false, O::kNever},
    {C::kColResponsesPct, "ColResponsesPct", C::kUColResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kColumn, C::kResponses, 0, false, O::kNever},
    {C::kUColResponsesPct, "UColResponsesPct", C::kColResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kColumn, C::kUResponses, 0, false, O::kNever},
    {C::kTableResponsesPct, "TableResponsesPct", C::kUTableResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kTable, C::kResponses, 0, false, O::kNever},
    {C::kUTableResponsesPct, "UTableResponsesPct", C::kTableResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kTable, C::kUResponses, 0, false, O::kNever},
    {C::kSubtableResponsesPct, "SubtableResponsesPct", C::kUSubtableResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kSubtable, C::kResponses, 0, false, O::kNever},
    {C::kUSubtableResponsesPct, "USubtableResponsesPct", C::kSubtableResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kSubtable, C::kUResponses, 0, false, O::kNever},
    {C::kLayerResponsesPct, "LayerResponsesPct", C::kULayerResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kLayer, C::kResponses, 0, false, O::kNever},
    {C::kULayerResponsesPct, "ULayerResponsesPct", C::kLayerResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kLayer, C::kUResponses, 0, false, O::kNever},
    {C::kLayerRowResponsesPct, "LayerRowResponsesPct", C::kULayerRowResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kLayerRow, C::kResponses, 0, false, O::kNever},
    {C::kULayerRowResponsesPct, "ULayerRowResponsesPct", C::kLayerRowResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kLayerRow, C::kUResponses, 0, false, O::kNever},
    {C::kLayerColResponsesPct, "LayerColResponsesPct", C::kULayerColResponsesPct, false, F::kResponses, C::kResponses, R::kResponses, P::kLayerColumn, C::kResponses, 0, false, O::kNever},
    {C::kULayerColResponsesPct, "ULayerColResponsesPct", C::kLayerColResponsesPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kLayerColumn, C::kUResponses, 0, false, O::kNever},
    {C::kRowResponsesCountPct, "RowResponsesCountPct", C::kURowResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kRow, C::kCount, 0, false, O::kNever},
    {C::kURowResponsesCountPct, "URowResponsesCountPct", C::kRowResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kRow, C::kUCount, 0, false, O::kNever},
    {C::kColResponsesCountPct, "ColResponsesCountPct", C::kUColResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kColumn, C::kCount, 0, false, O::kNever},
    {C::kUColResponsesCountPct, "UColResponsesCountPct", C::kColResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kColumn, C::kUCount, 0, false, O::kNever},
    {C::kTableResponsesCountPct, "TableResponsesCountPct", C::kUTableResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kTable, C::kCount, 0, false, O::kNever},
    {C::kUTableResponsesCountPct, "UTableResponsesCountPct", C::kTableResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kTable, C::kUCount, 0, false, O::kNever},
    {C::kSubtableResponsesCountPct, "SubtableResponsesCountPct", C::kUSubtableResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kSubtable, C::kCount, 0, false, O::kNever},
    {C::kUSubtableResponsesCountPct, "USubtableResponsesCountPct", C::kSubtableResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kSubtable, C::kUCount, 0, false, O::kNever},
    {C::kLayerResponsesCountPct, "LayerResponsesCountPct", C::kULayerResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kLayer, C::kCount, 0, false, O::kNever},
    {C::kULayerResponsesCountPct, "ULayerResponsesCountPct", C::kLayerResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kLayer, C::kUCount, 0, false, O::kNever},
    {C::kLayerRowResponsesCountPct, "LayerRowResponsesCountPct", C::kULayerRowResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kLayerRow, C::kCount, 0, false, O::kNever},
    {C::kULayerRowResponsesCountPct, "ULayerRowResponsesCountPct", C::kLayerRowResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kLayerRow, C::kUCount, 0, false, O::kNever},
    {C::kLayerColResponsesCountPct, "LayerColResponsesCountPct", C::kULayerColResponsesCountPct, false, F::kResponses, C::kResponses, R::kResponses, P::kLayerColumn, C::kCount, 0, false, O::kNever},
    {C::kULayerColResponsesCountPct, "ULayerColResponsesCountPct", C::kLayerColResponsesCountPct, true, F::kResponses, C::kUResponses, R::kResponses, P::kLayerColumn, C::kUCount, 0, false, O::kNever},
    {C::kRowCountResponsesPct, "RowCountResponsesPct", C::kURowCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kRow, C::kResponses, 0, false, O::kNever},
    {C::kURowCountResponsesPct, "URowCountResponsesPct", C::kRowCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kRow, C::kUResponses, 0, false, O::kNever},
    {C::kColCountResponsesPct, "ColCountResponsesPct", C::kUColCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kColumn, C::kResponses, 0, false, O::kNever},
    {C::kUColCountResponsesPct, "UColCountResponsesPct", C::kColCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kColumn, C::kUResponses, 0, false, O::kNever},
    {C::kTableCountResponsesPct, "TableCountResponsesPct", C::kUTableCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kTable, C::kResponses, 0, false, O::kNever},
    {C::kUTableCountResponsesPct, "UTableCountResponsesPct", C::kTableCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kTable, C::kUResponses, 0, false, O::kNever},
    {C::kSubtableCountResponsesPct, "SubtableCountResponsesPct", C::kUSubtableCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kSubtable, C::kResponses, 0, false, O::kNever},
    {C::kUSubtableCountResponsesPct, "USubtableCountResponsesPct", C::kSubtableCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kSubtable, C::kUResponses, 0, false, O::kNever},
    {C::kLayerCountResponsesPct, "LayerCountResponsesPct", C::kULayerCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kLayer, C::kResponses, 0, false, O::kNever},
    {C::kULayerCountResponsesPct, "ULayerCountResponsesPct", C::kLayerCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kLayer, C::kUResponses, 0, false, O::kNever},
    {C::kLayerRowCountResponsesPct, "LayerRowCountResponsesPct", C::kULayerRowCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kLayerRow, C::kResponses, 0, false, O::kNever},
    {C::kULayerRowCountResponsesPct, "ULayerRowCountResponsesPct", C::kLayerRowCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kLayerRow, C::kUResponses, 0, false, O::kNever},
    {C::kLayerColCountResponsesPct, "LayerColCountResponsesPct", C::kULayerColCountResponsesPct, false, F::kCounts, C::kCount, R::kCount, P::kLayerColumn, C::kResponses, 0, false, O::kNever},
    {C::kULayerColCountResponsesPct, "ULayerColCountResponsesPct", C::kLayerColCountResponsesPct, true, F::kCounts, C::kUCount, R::kCount, P::kLayerColumn, C::kUResponses, 0, false, O::kNever},
    {C::kSumSquaredDeviations, "SumSquaredDeviations", kNoTwin, false, F::kMoments, C::kVariance, R::kSumSquaredDeviations, kNotPercent, C::kNoStatistic, 3, true, O::kWithVariable},
    {C::kMedianCI, "MedianCI", C::kUMedianCI, false, F::kFrequencies, C::kMedian, R::kMedianCI, kNotPercent, C::kNoStatistic, 0, true, O::kNever},
    {C::kUMedianCI, "UMedianCI", C::kMedianCI, true, F::kFrequencies, C::kUMedian, R::kMedianCI, kNotPercent, C::kNoStatistic, 0, true, O::kNever},
    {C::kPercentile, "Percentile", C::kUPercentile, false, F::kFrequencies, C::kMedian, R::kPercentile, kNotPercent, C::kNoStatistic, 0, true, O::kNever},
    {C::kUPercentile, "UPercentile", C::kPercentile, true, F::kFrequencies, C::kUMedian, R::kPercentile, kNotPercent, C::kNoStatistic, 0, true, O::kNever},
    {C::kPercentileInterpolated, "PercentileInterpolated", C::kUPercentileInterpolated, false, F::kFrequencies, C::kMedian, R::kPercentileInterpolated, kNotPercent, C::kNoStatistic, 0, true, O::kNever},
    {C::kUPercentileInterpolated, "UPercentileInterpolated", C::kPercentileInterpolated, true, F::kFrequencies, C::kUMedian, R::kPercentileInterpolated, kNotPercent, C::kNoStatistic, 0, true, O::kNever},
    {C::kBelowPct, "BelowPct", C::kUBelowPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUBelowPct, "UBelowPct", C::kBelowPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kBelowCount, "BelowCount", C::kUBelowCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUBelowCount, "UBelowCount", C::kBelowCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kAtMostPct, "AtMostPct", C::kUAtMostPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUAtMostPct, "UAtMostPct", C::kAtMostPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kAtMostCount, "AtMostCount", C::kUAtMostCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUAtMostCount, "UAtMostCount", C::kAtMostCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kAbovePct, "AbovePct", C::kUAbovePct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUAbovePct, "UAbovePct", C::kAbovePct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kAboveCount, "AboveCount", C::kUAboveCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUAboveCount, "UAboveCount", C::kAboveCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kAtLeastPct, "AtLeastPct", C::kUAtLeastPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUAtLeastPct, "UAtLeastPct", C::kAtLeastPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kAtLeastCount, "AtLeastCount", C::kUAtLeastCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUAtLeastCount, "UAtLeastCount", C::kAtLeastCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kEqualPct, "EqualPct", C::kUEqualPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUEqualPct, "UEqualPct", C::kEqualPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kEqualCount, "EqualCount", C::kUEqualCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUEqualCount, "UEqualCount", C::kEqualCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kBetweenPct, "BetweenPct", C::kUBetweenPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUBetweenPct, "UBetweenPct", C::kBetweenPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kBetweenCount, "BetweenCount", C::kUBetweenCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUBetweenCount, "UBetweenCount", C::kBetweenCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kBetweenBelowUpperPct, "BetweenBelowUpperPct", C::kUBetweenBelowUpperPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUBetweenBelowUpperPct, "UBetweenBelowUpperPct", C::kBetweenBelowUpperPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kBetweenBelowUpperCount, "BetweenBelowUpperCount", C::kUBetweenBelowUpperCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUBetweenBelowUpperCount, "UBetweenBelowUpperCount", C::kBetweenBelowUpperCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUnspecifiedLimitPct, "UnspecifiedLimitPct", C::kUUnspecifiedLimitPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUUnspecifiedLimitPct, "UUnspecifiedLimitPct", C::kUnspecifiedLimitPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUnspecifiedLimitCount, "UnspecifiedLimitCount", C::kUUnspecifiedLimitCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUUnspecifiedLimitCount, "UUnspecifiedLimitCount", C::kUnspecifiedLimitCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kStrictlyBetweenPct, "StrictlyBetweenPct", C::kUStrictlyBetweenPct, false, F::kLimits, C::kBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUStrictlyBetweenPct, "UStrictlyBetweenPct", C::kStrictlyBetweenPct, true, F::kLimits, C::kUBelowCount, R::kLimitPercent, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kStrictlyBetweenCount, "StrictlyBetweenCount", C::kUStrictlyBetweenCount, false, F::kLimits, C::kBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
    {C::kUStrictlyBetweenCount, "UStrictlyBetweenCount", C::kStrictlyBetweenCount, true, F::kLimits, C::kUBelowCount, R::kLimitCount, kNotPercent, C::kNoStatistic, 2, true, O::kNever},
};
// clang-format on

}  // namespace StatisticTraitsTable

constexpr int kNoTwin = StatisticTraitsTable::kNoTwin;

// The traits of a statistic code. REQUIRES: 0 <= code < kNumberOfStatistics.
constexpr const StatisticTraits& TraitsOf(int code) {
  assert(0 <= code && code < TableEncryptionCodes::kNumberOfStatistics);
  return StatisticTraitsTable::kTraits[code];
}

// A statistic whose missing value means "nothing counted" (counts, N's and
// responses that are not percentages): a category without cells has 0.
constexpr bool IsCountLike(int code) {
  return TraitsOf(code).percent == StatisticPercent::kNotPercent &&
         (TraitsOf(code).family == StatisticFamily::kCounts ||
          TraitsOf(code).family == StatisticFamily::kResponses);
}

// Whether categories can be ordered by the statistic, of a variable or not.
constexpr bool CanOrderCategories(int code, bool ofVariable) {
  if (code < 0 || code >= TableEncryptionCodes::kNumberOfStatistics) return false;
  switch (TraitsOf(code).order) {
    case CategoryOrder::kAlways:
      return true;
    case CategoryOrder::kWithoutVariable:
      return !ofVariable;
    case CategoryOrder::kWithVariable:
      return ofVariable;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Consistency of the table, checked when it is compiled.
namespace StatisticTraitsChecks {

using C = TableEncryptionCodes;

constexpr bool SameText(const char* a, const char* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// The percentage kind a code's position gives it: every percentage family is
// a block of 14 codes, the seven kinds in order, each weighted then unweighted.
constexpr int PercentKindByRange(int code) {
  constexpr int kFirsts[] = {
      C::kRowPct,          C::kRowValidNPct,         C::kRowTotalNPct,        C::kRowSumPct,
      C::kRowResponsesPct, C::kRowResponsesCountPct, C::kRowCountResponsesPct};
  for (int first : kFirsts) {
    if (code >= first && code < first + 14) return (code - first) / 2;
  }
  return StatisticPercent::kNotPercent;
}

constexpr bool RowIsConsistent(int c) {
  const StatisticTraits& t = StatisticTraitsTable::kTraits[c];
  const StatisticTraits& a = StatisticTraitsTable::kTraits[t.accumulator];
  // Every code once, in order, with a name.
  if (t.code != c || t.name == nullptr || t.name[0] == 0) return false;
  for (int d = 0; d < c; ++d) {
    if (SameText(StatisticTraitsTable::kTraits[d].name, t.name)) return false;
  }
  // Twins point at each other, differ in weighting only.
  if (t.twin != kNoTwin) {
    if (t.twin < 0 || t.twin >= C::kNumberOfStatistics) return false;
    const StatisticTraits& u = StatisticTraitsTable::kTraits[t.twin];
    if (u.twin != c || u.unweighted == t.unweighted || u.family != t.family ||
        u.reading != t.reading || u.percent != t.percent || u.order != t.order) {
      return false;
    }
  } else if (t.unweighted) {
    return false;
  }
  // A percentage's kind matches its code range; it has a base of its own
  // weighting, and every other code has none.
  if (t.percent != PercentKindByRange(c)) return false;
  if ((t.percent == StatisticPercent::kNotPercent) != (t.percentBase == C::kNoStatistic)) {
    return false;
  }
  if (t.percentBase != C::kNoStatistic &&
      StatisticTraitsTable::kTraits[t.percentBase].unweighted != t.unweighted) {
    return false;
  }
  // The accumulator is its own, of the same family, weighting, slots and use
  // of the variable.
  if (a.accumulator != t.accumulator || a.family != t.family || a.unweighted != t.unweighted ||
      a.slots != t.slots || a.needsVariable != t.needsVariable) {
    return false;
  }
  // A statistic that orders categories without a variable reads none.
  if (t.order == CategoryOrder::kWithoutVariable && t.needsVariable) return false;
  return true;
}

constexpr bool TableIsConsistent() {
  for (int c = 0; c < C::kNumberOfStatistics; ++c) {
    if (!RowIsConsistent(c)) return false;
  }
  return true;
}

static_assert(sizeof(StatisticTraitsTable::kTraits) / sizeof(StatisticTraits) ==
                  TableEncryptionCodes::kNumberOfStatistics,
              "one row per statistic code");
static_assert(TableIsConsistent(), "the statistic traits table is consistent");

}  // namespace StatisticTraitsChecks

#endif

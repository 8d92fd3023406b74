#ifndef TABLE_ENCRYPTION_CODES_H
#define TABLE_ENCRYPTION_CODES_H

#include "TabcubeExport.h"

// TableEncryptionCodes: the vocabulary shared by the engine and its host.
// Statistic codes, dimension positions, label placements, sort keys, display
// formats of computed categories and the category codes held in cell keys.
// Pure constants: the class has no state and is never instantiated.
class TABCUBE_EXPORT TableEncryptionCodes {
 public:
  // Category codes written by the dimensions and held by cell keys. Value
  // categories are numbered from kMinCategory upwards; subtotals run from
  // kMaxSubtotal down to kLowerSubtotal. The code -99 (the engine's internal
  // DimensionCells::kExcludedMissing) marks a missing value that no cube
  // counts.
  static constexpr int kMinCategory = 1;
  static constexpr int kNoCategory = 0;
  static constexpr int kTotalCategory = -100;
  static constexpr int kMaxSubtotal = -101;
  static constexpr int kLowerSubtotal = -10001;

  // The value yielded by everything that cannot be computed: -DBL_MAX.
  static constexpr double kMissingValue = -1.7976931348623157e+308;

  // Number of statistic codes: valid codes are 0 .. kNumberOfStatistics - 1.
  static constexpr int kNumberOfStatistics = 171;

  // Axis of a dimension; kExtraPosition marks a dimension placed after all
  // others, which no percentage base keeps.
  enum DimensionPosition {
    kRowPosition = 0,
    kColumnPosition = 1,
    kLayerPosition = 2,
    kExtraPosition = 3
  };

  // Where category labels are laid out. Only kDefault lets a cube report
  // its inner row and inner column.
  enum CLabelOption {
    kDefault = 0,
    kInnerRowAcrossColumns = 1,
    kInnerColumnDownRows = 2,
    kInnerRowAsLayers = 3,
    kInnerColumnAsLayers = 4
  };

  // How a dimension orders its categories.
  enum SortKey { kNoSort = 0, kValueSort = 1, kLabelSort = 2, kStatisticSort = 3 };

  // Display format of a computed category's statistic. Stored and returned,
  // never interpreted by the engine.
  enum DisplayFormat {
    kDisplayGeneral = 0,
    kDisplayNumber = 1,
    kDisplayPercent = 2,
    kDisplayComma = 3,
    kDisplayCurrency = 4
  };

  // Summary statistics. Within a pair the weighted code comes first and the
  // unweighted twin (kU...) second; the seven percentage kinds of every
  // percentage family appear in the order Row, Column, Table, Subtable,
  // Layer, Layer-row, Layer-column.
  enum StatisticCodes {
    kNoStatistic = 0,
    kCount = 1,
    kUCount = 2,
    kRowPct = 3,
    kURowPct = 4,
    kColPct = 5,
    kUColPct = 6,
    kTablePct = 7,
    kUTablePct = 8,
    kSubtablePct = 9,
    kUSubtablePct = 10,
    kLayerPct = 11,
    kULayerPct = 12,
    kLayerRowPct = 13,
    kULayerRowPct = 14,
    kLayerColPct = 15,
    kULayerColPct = 16,
    kRowValidNPct = 17,
    kURowValidNPct = 18,
    kColValidNPct = 19,
    kUColValidNPct = 20,
    kTableValidNPct = 21,
    kUTableValidNPct = 22,
    kSubtableValidNPct = 23,
    kUSubtableValidNPct = 24,
    kLayerValidNPct = 25,
    kULayerValidNPct = 26,
    kLayerRowValidNPct = 27,
    kULayerRowValidNPct = 28,
    kLayerColValidNPct = 29,
    kULayerColValidNPct = 30,
    kRowTotalNPct = 31,
    kURowTotalNPct = 32,
    kColTotalNPct = 33,
    kUColTotalNPct = 34,
    kTableTotalNPct = 35,
    kUTableTotalNPct = 36,
    kSubtableTotalNPct = 37,
    kUSubtableTotalNPct = 38,
    kLayerTotalNPct = 39,
    kULayerTotalNPct = 40,
    kLayerRowTotalNPct = 41,
    kULayerRowTotalNPct = 42,
    kLayerColTotalNPct = 43,
    kULayerColTotalNPct = 44,
    kMaximum = 45,
    kMean = 46,
    kUMean = 47,
    kMedian = 48,
    kUMedian = 49,
    kMedianInterpolated = 50,
    kUMedianInterpolated = 51,
    kMinimum = 52,
    kMissingN = 53,
    kUMissingN = 54,
    kMode = 55,
    kUMode = 56,
    kValueRange = 57,
    kSEMean = 58,
    kUSEMean = 59,
    kStdDev = 60,
    kUStdDev = 61,
    kSum = 62,
    kUSum = 63,
    kTotalN = 64,
    kUTotalN = 65,
    kValidN = 66,
    kUValidN = 67,
    kVariance = 68,
    kUVariance = 69,
    kRowSumPct = 70,
    kURowSumPct = 71,
    kColSumPct = 72,
    kUColSumPct = 73,
    kTableSumPct = 74,
    kUTableSumPct = 75,
    kSubtableSumPct = 76,
    kUSubtableSumPct = 77,
    kLayerSumPct = 78,
    kULayerSumPct = 79,
    kLayerRowSumPct = 80,
    kULayerRowSumPct = 81,
    kLayerColSumPct = 82,
    kULayerColSumPct = 83,
    kResponses = 84,
    kUResponses = 85,
    kRowResponsesPct = 86,
    kURowResponsesPct = 87,
    kColResponsesPct = 88,
    kUColResponsesPct = 89,
    kTableResponsesPct = 90,
    kUTableResponsesPct = 91,
    kSubtableResponsesPct = 92,
    kUSubtableResponsesPct = 93,
    kLayerResponsesPct = 94,
    kULayerResponsesPct = 95,
    kLayerRowResponsesPct = 96,
    kULayerRowResponsesPct = 97,
    kLayerColResponsesPct = 98,
    kULayerColResponsesPct = 99,
    kRowResponsesCountPct = 100,
    kURowResponsesCountPct = 101,
    kColResponsesCountPct = 102,
    kUColResponsesCountPct = 103,
    kTableResponsesCountPct = 104,
    kUTableResponsesCountPct = 105,
    kSubtableResponsesCountPct = 106,
    kUSubtableResponsesCountPct = 107,
    kLayerResponsesCountPct = 108,
    kULayerResponsesCountPct = 109,
    kLayerRowResponsesCountPct = 110,
    kULayerRowResponsesCountPct = 111,
    kLayerColResponsesCountPct = 112,
    kULayerColResponsesCountPct = 113,
    kRowCountResponsesPct = 114,
    kURowCountResponsesPct = 115,
    kColCountResponsesPct = 116,
    kUColCountResponsesPct = 117,
    kTableCountResponsesPct = 118,
    kUTableCountResponsesPct = 119,
    kSubtableCountResponsesPct = 120,
    kUSubtableCountResponsesPct = 121,
    kLayerCountResponsesPct = 122,
    kULayerCountResponsesPct = 123,
    kLayerRowCountResponsesPct = 124,
    kULayerRowCountResponsesPct = 125,
    kLayerColCountResponsesPct = 126,
    kULayerColCountResponsesPct = 127,
    kSumSquaredDeviations = 128,
    kMedianCI = 129,
    kUMedianCI = 130,
    kPercentile = 131,
    kUPercentile = 132,
    kPercentileInterpolated = 133,
    kUPercentileInterpolated = 134,
    kBelowPct = 135,
    kUBelowPct = 136,
    kBelowCount = 137,
    kUBelowCount = 138,
    kAtMostPct = 139,
    kUAtMostPct = 140,
    kAtMostCount = 141,
    kUAtMostCount = 142,
    kAbovePct = 143,
    kUAbovePct = 144,
    kAboveCount = 145,
    kUAboveCount = 146,
    kAtLeastPct = 147,
    kUAtLeastPct = 148,
    kAtLeastCount = 149,
    kUAtLeastCount = 150,
    kEqualPct = 151,
    kUEqualPct = 152,
    kEqualCount = 153,
    kUEqualCount = 154,
    kBetweenPct = 155,
    kUBetweenPct = 156,
    kBetweenCount = 157,
    kUBetweenCount = 158,
    kBetweenBelowUpperPct = 159,
    kUBetweenBelowUpperPct = 160,
    kBetweenBelowUpperCount = 161,
    kUBetweenBelowUpperCount = 162,
    kUnspecifiedLimitPct = 163,
    kUUnspecifiedLimitPct = 164,
    kUnspecifiedLimitCount = 165,
    kUUnspecifiedLimitCount = 166,
    kStrictlyBetweenPct = 167,
    kUStrictlyBetweenPct = 168,
    kStrictlyBetweenCount = 169,
    kUStrictlyBetweenCount = 170,
  };

  TableEncryptionCodes() = delete;
};

#endif

#include "AggregationStatistic.h"

#include "StatisticTraits.h"

struct AggregationStatistic::Record {
  int varIndex = -1;
  TableEncryptionCodes::StatisticCodes statistic = TableEncryptionCodes::kNoStatistic;
  double pTileCutPoint = 0.0;
  double lowerLimit = 0.0;
  double upperLimit = 0.0;
  double ciMedian = 0.0;
};

AggregationStatistic::AggregationStatistic(TableEncryptionCodes::StatisticCodes statistic)
    : AggregationStatistic(-1, statistic) {}

AggregationStatistic::AggregationStatistic(int varIndex,
                                           TableEncryptionCodes::StatisticCodes statistic)
    : _record(new Record) {
  _record->varIndex = varIndex;
  _record->statistic = statistic;
}

AggregationStatistic::AggregationStatistic(const AggregationStatistic& other)
    : _record(new Record(*other._record)) {}

AggregationStatistic& AggregationStatistic::operator=(const AggregationStatistic& other) {
  if (this != &other) *_record = *other._record;
  return *this;
}

AggregationStatistic::~AggregationStatistic() {
  delete _record;
}

void AggregationStatistic::SetVarIndex(int varIndex) {
  _record->varIndex = varIndex;
}
int AggregationStatistic::GetVarIndex() const {
  return _record->varIndex;
}
TableEncryptionCodes::StatisticCodes AggregationStatistic::GetSummaryStatistic() const {
  return _record->statistic;
}

double AggregationStatistic::GetPTileCutPoint() const {
  return _record->pTileCutPoint;
}
void AggregationStatistic::SetPTileCutPoint(double cutPoint) {
  _record->pTileCutPoint = cutPoint;
}
double AggregationStatistic::GetLowerLimit() const {
  return _record->lowerLimit;
}
void AggregationStatistic::SetLowerLimit(double limit) {
  _record->lowerLimit = limit;
}
double AggregationStatistic::GetUpperLimit() const {
  return _record->upperLimit;
}
void AggregationStatistic::SetUpperLimit(double limit) {
  _record->upperLimit = limit;
}
double AggregationStatistic::GetCIMedian() const {
  return _record->ciMedian;
}
void AggregationStatistic::SetCIMedian(double level) {
  _record->ciMedian = level;
}

bool AggregationStatistic::IsSame(const AggregationStatistic& other, bool ignoreVariable) const {
  const Record& mine = *_record;
  const Record& theirs = *other._record;
  if (!ignoreVariable && mine.varIndex != theirs.varIndex) return false;
  if (mine.statistic != theirs.statistic) return false;
  // Statistics that take a parameter are the same only with the same one.
  if (mine.statistic < 0 || mine.statistic >= TableEncryptionCodes::kNumberOfStatistics)
    return true;
  switch (TraitsOf(mine.statistic).reading) {
    case StatisticReading::kPercentile:
    case StatisticReading::kPercentileInterpolated:
      return mine.pTileCutPoint == theirs.pTileCutPoint;
    case StatisticReading::kMedianCI:
      return mine.ciMedian == theirs.ciMedian;
    default:
      return true;
  }
}

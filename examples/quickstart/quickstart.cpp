#include <cstdio>

#include "AggregationStatistic.h"

// Quickstart host program: grows with the engine. For now it only shows that a
// host links the engine's shared library and uses its exported classes.
int main() {
  AggregationStatistic mean(0, TableEncryptionCodes::kMean);
  std::printf("tabcube quickstart: engine linked, %d statistic codes\n",
              TableEncryptionCodes::kNumberOfStatistics);
  return mean.GetSummaryStatistic() == TableEncryptionCodes::kMean ? 0 : 1;
}

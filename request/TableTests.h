#ifndef TABCUBE_REQUEST_TABLE_TESTS_H
#define TABCUBE_REQUEST_TABLE_TESTS_H

#include <vector>

#include "Request.h"
#include "TableResult.h"
#include "TableRun.h"

class AggregationCategory;
class CubeAggregator;

// The engine cubes that carry one crossing's test inputs, in the hidden
// tests table of a requested table (its dimensions mirror the crossing's):
// counts holds Count, UCount, ColPct and UColPct; weightSums the weighted Sum
// and ColSumPct of the weight variable (sums of squared weights, for the
// effective base; null unless needed); means[i] the moment statistic of
// means variable i with its unweighted valid N and, when the effective base
// needs it, the weighted Sum of the weight variable over the same cases.
struct TestCubes {
  CubeAggregator* counts = nullptr;
  CubeAggregator* weightSums = nullptr;
  std::vector<CubeAggregator*> means;
  std::vector<int> meanVariables;  // data-source index of each means variable
};

// Reads the test inputs of one crossing and adds the tests to its result:
// letters of the compared columns, the pairwise tests of every cell of a
// compared column and the chi-square of every subtable. categories lists
// the hidden table's categories per dimension, in the result's dimension
// order; setAxes marks the dimensions that are multiple-response sets.
// REQUIRES: the result's dimensions list the same categories.
void AddTableTests(const TestsSpec& tests, bool weighted, const TestCubes& cubes,
                   const std::vector<const std::vector<AggregationCategory*>*>& categories,
                   const std::vector<bool>& isSet, CubeResult& result);
// The same for crossing number `crossing` of a hidden tests table.
void AddTableTests(const TableRun& tests, size_t crossing, CubeResult& result);

#endif

// The engine's preconditions are assertions, and they stay active in the
// release build that the tests and the shipped library use (every target
// undefines NDEBUG, see CMakeLists.txt): a broken precondition stops the
// process with the broken condition and the source file, on the definition
// path and on the per-case and per-cell paths alike, instead of going on with
// corrupted state.

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "TableDimension.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

TEST(ReleaseAssertionsTest, TheBuildKeepsAssertions) {
#ifdef NDEBUG
  ADD_FAILURE() << "NDEBUG is defined: the engine's preconditions would not be checked";
#endif
  SUCCEED();
}

// A table over two cases of one categorical variable g.
struct SmallTable {
  SmallTable() {
    data.AddVariable("g", 0);
    for (double value : {1.0, 2.0}) data.SetValue(data.AddCase(), 0, value);
  }
  QUOR_DataSource data;
  QUOR_InputCaseIterator iterator{data};
  AggregationVariable g{0, "g"};
  AggregationTable table{iterator, false, false};
};

TEST(ReleaseAssertionsDeathTest, DefinitionPreconditionStopsTheProcess) {
  SmallTable t;
  EXPECT_EXIT(t.table.CreateAxisCubes(0, 0, Codes::kRowPosition),
              ::testing::KilledBySignal(SIGABRT), "AggregationTable.cpp.*howMany > 0");
  EXPECT_EXIT(t.table.GetCubeAggregators(), ::testing::KilledBySignal(SIGABRT),
              "AggregationTable.cpp.*nCubes");
}

TEST(ReleaseAssertionsDeathTest, PerCasePreconditionStopsTheProcess) {
  // A cube whose aggregator never received its statistics cannot take a case.
  SmallTable t;
  AggregationCube* cube = t.table.CreateCube();
  cube->AddCategoricalVariable(&t.g, Codes::kRowPosition);
  cube->CreateCubeAggregator();
  ASSERT_TRUE(t.iterator.Next());
  EXPECT_EXIT(t.table.AddNewCase(), ::testing::KilledBySignal(SIGABRT),
              "CubeAggregator.cpp.*_cellStats");
}

TEST(ReleaseAssertionsDeathTest, PerCellPreconditionStopsTheProcess) {
  // A cell named by too many categories for its cube.
  SmallTable t;
  AggregationCube* cube = t.table.CreateCube();
  cube->AddCategoricalVariable(&t.g, Codes::kRowPosition);
  cube->CreateCubeAggregator();
  cube->AddCategoryStatistics({AggregationStatistic(Codes::kCount)}, &t.g);
  while (t.iterator.Next()) t.table.AddNewCase();
  const AggregationCategory* first = t.g.GetTableDimension()->GetCategoryPointers()[0];
  CubeAggregator* aggregator = t.table.GetCubeAggregators()[0];
  ASSERT_NE(aggregator->GetStatValues({first}, -1), nullptr);
  EXPECT_EXIT(aggregator->GetStatValues({first, first}, -1), ::testing::KilledBySignal(SIGABRT),
              "CubeAggregator.cpp.*_cellKey.length\\(\\) == categories.size\\(\\) \\|\\| "
              "_extraDimension");
}

}  // namespace

#include "AggregationTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationStatistic.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "TableMetadata.h"
#include "baseutil.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

// Variables: x (0) and y (1) numeric, y with 9 user-missing; w (2) weight;
// c (3) categorical.
class AggregationTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    x = source.AddVariable("x", 0);
    y = source.AddVariable("y", 0);
    w = source.AddVariable("w", 0);
    c = source.AddVariable("c", 0);
    source.GetVariable(y).AddMissingValue(9.0);
  }

  void AddCase(double xv, double yv, double wv) {
    const int i = source.AddCase();
    source.SetValue(i, x, xv);
    source.SetValue(i, y, yv);
    source.SetValue(i, w, wv);
    source.SetValue(i, c, 1.0);
  }

  QUOR_DataSource source;
  int x = -1, y = -1, w = -1, c = -1;
};

TEST_F(AggregationTableTest, ATableWithoutCubesIsEmptyButHasNoEmptyCube) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  EXPECT_TRUE(table.IsTableEmpty());
  EXPECT_FALSE(table.HasEmptyCubes());
  EXPECT_DEATH(table.GetCubeAggregators(), "nCubes");

  // Axis cubes take no part in emptiness.
  table.CreateAxisCubes(1, 0, Codes::kRowPosition);
  EXPECT_TRUE(table.IsTableEmpty());
  EXPECT_FALSE(table.HasEmptyCubes());

  table.SetCLabelOption(Codes::kInnerRowAsLayers);
  EXPECT_EQ(table.GetTableMetaData()->GetClabelOption(), Codes::kInnerRowAsLayers);
}

TEST_F(AggregationTableTest, AxisCubeGroupsAreCreatedWithGaps) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  std::vector<AggregationCube*>* group = table.CreateAxisCubes(2, 3, Codes::kColumnPosition);
  ASSERT_NE(group, nullptr);
  ASSERT_EQ(group->size(), 2u);
  EXPECT_NE((*group)[0], (*group)[1]);

  for (AggregationCube* cube : *group) cube->CreateCubeAggregator();
  std::vector<std::vector<CubeAggregator*>> columns =
      table.GetAxisCubeAggregators(Codes::kColumnPosition);
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_TRUE(columns[0].empty());
  EXPECT_TRUE(columns[1].empty());
  EXPECT_TRUE(columns[2].empty());
  ASSERT_EQ(columns[3].size(), 2u);
  EXPECT_NE(columns[3][0], nullptr);
  EXPECT_NE(columns[3][0], columns[3][1]);

  // Positions keep their groups apart; the next index of a position follows on.
  EXPECT_TRUE(table.GetAxisCubeAggregators(Codes::kRowPosition).empty());
  table.CreateAxisCubes(1, 0, Codes::kLayerPosition);
  table.CreateAxisCubes(3, 4, Codes::kColumnPosition);
  EXPECT_EQ(table.GetAxisCubeAggregators(Codes::kLayerPosition).size(), 1u);
  std::vector<std::vector<CubeAggregator*>> after =
      table.GetAxisCubeAggregators(Codes::kColumnPosition);
  ASSERT_EQ(after.size(), 5u);
  EXPECT_EQ(after[4].size(), 3u);
  // Aggregators not created yet read as null.
  EXPECT_EQ(after[4][0], nullptr);
}

TEST_F(AggregationTableTest, AReturnedGroupStaysValidWhileMoreGroupsAreCreated) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  std::vector<AggregationCube*>* first = table.CreateAxisCubes(2, 0, Codes::kRowPosition);
  const std::vector<AggregationCube*> cubes = *first;
  for (int index = 1; index <= 200; ++index) table.CreateAxisCubes(1, index, Codes::kRowPosition);
  table.CreateAxisCubes(1, 500, Codes::kRowPosition);  // with a long gap

  // Still the same group, with the same cubes, usable through the pointer.
  EXPECT_EQ(*first, cubes);
  for (AggregationCube* cube : *first) cube->CreateCubeAggregator();
  std::vector<std::vector<CubeAggregator*>> rows =
      table.GetAxisCubeAggregators(Codes::kRowPosition);
  ASSERT_EQ(rows.size(), 501u);
  EXPECT_NE(rows[0][0], nullptr);
  EXPECT_TRUE(rows[300].empty());
}

TEST_F(AggregationTableTest, AxisCubePreconditions) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  EXPECT_DEATH(table.CreateAxisCubes(0, 0, Codes::kRowPosition), "howMany > 0");
  EXPECT_DEATH(table.CreateAxisCubes(1, -1, Codes::kRowPosition), "indexInVector >= 0");
  // The index is tested first.
  EXPECT_DEATH(table.CreateAxisCubes(0, -1, Codes::kRowPosition), "indexInVector >= 0");
  table.CreateAxisCubes(1, 2, Codes::kRowPosition);
  EXPECT_DEATH(table.CreateAxisCubes(1, 2, Codes::kRowPosition),
               "pAxisCubes->size\\(\\) == indexInVector");
  EXPECT_DEATH(table.CreateAxisCubes(1, 0, Codes::kRowPosition),
               "pAxisCubes->size\\(\\) == indexInVector");
  EXPECT_DEATH(table.CreateAxisCubes(1, 0, Codes::kExtraPosition), "row, column or layer");
}

// Every cube, ordinary or axis, is destroyed with the table: under the leak
// checker an axis cube left behind fails this test.
TEST_F(AggregationTableTest, TheTableDestroysEveryCube) {
  QUOR_InputCaseIterator iterator(source);
  auto table = std::make_unique<AggregationTable>(iterator, false, false);
  AggregationVariable variable(c, "c");
  for (auto* group : {table->CreateAxisCubes(2, 1, Codes::kRowPosition),
                      table->CreateAxisCubes(1, 0, Codes::kLayerPosition)}) {
    for (AggregationCube* cube : *group) {
      cube->AddCategoricalVariable(&variable, Codes::kRowPosition);
      cube->CreateCubeAggregator();
    }
  }
  table->CreateCube()->CreateCubeAggregator();
  table.reset();
  SUCCEED();
}

TEST_F(AggregationTableTest, CubesCrossingOneVariableShareItsDimension) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  AggregationVariable variable(c, "c");
  AggregationVariable sameVariable(c, "c");
  AggregationCube* first = table.CreateCube();
  AggregationCube* second = table.CreateCube();
  first->AddCategoricalVariable(&variable, Codes::kRowPosition);
  TableDimension* dimension = variable.GetTableDimension();
  ASSERT_NE(dimension, nullptr);
  EXPECT_EQ(table.GetTableMetaData()->NumberOfDimensions(), 1);

  second->AddCategoricalVariable(&sameVariable, Codes::kColumnPosition);
  EXPECT_EQ(table.GetTableMetaData()->NumberOfDimensions(), 1);
  EXPECT_EQ(sameVariable.GetTableDimension(), dimension);
  EXPECT_EQ(dimension->GetDimensionType(), TableDimension::kCategoricalVariable);
  EXPECT_EQ(&dimension->GetSyntaxVariable(), &variable);
  EXPECT_EQ(dimension->GetIterator(), &iterator);

  // A set of the same name is another dimension, and so is the other set kind.
  OBS one;
  one.num = 1.0;
  AggregationMCSet mcSet({x, y}, "c");
  AggregationMDSet mdSet({x, y}, "c", &one, 1, false);
  second->AddCategoricalVariable(&mcSet, Codes::kLayerPosition);
  second->AddCategoricalVariable(&mdSet, Codes::kLayerPosition);
  EXPECT_EQ(table.GetTableMetaData()->NumberOfDimensions(), 3);
  EXPECT_EQ(mcSet.GetTableDimension()->GetDimensionType(), TableDimension::kMCSet);
  EXPECT_EQ(mdSet.GetTableDimension()->GetDimensionType(), TableDimension::kMDSet);
  EXPECT_NE(mcSet.GetTableDimension(), dimension);
}

TEST_F(AggregationTableTest, CubePreconditions) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  AggregationCube* cube = table.CreateCube();
  AggregationVariable unused(c, "c");
  std::vector<AggregationStatistic> stats{AggregationStatistic(Codes::kCount)};
  EXPECT_DEATH(cube->AddCategoricalVariable(nullptr, Codes::kRowPosition), "catVar");
  cube->CreateCubeAggregator();
  EXPECT_DEATH(cube->AddCategoryStatistics(stats, nullptr), "statVar");
  EXPECT_DEATH(cube->AddCategoryStatistics(stats, &unused), "statVarDim");
  EXPECT_DEATH(cube->AddCategoryAndTotalStatistics(stats, nullptr, stats), "statVar");
  EXPECT_DEATH(cube->AddCategoryAndTotalStatistics(stats, &unused, stats), "statVarDim");

  AggregationCube* noAggregator = table.CreateCube();
  EXPECT_DEATH(noAggregator->AddScaleStatistics(stats), "_cubeAggregator");
}

TEST_F(AggregationTableTest, ASecondCreateCubeAggregatorKeepsTheFirst) {
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  CubeAggregator* first = table.GetCubeAggregators()[0];
  ASSERT_NE(first, nullptr);
  cube->CreateCubeAggregator();
  EXPECT_EQ(table.GetCubeAggregators()[0], first);

  // Aggregators come back in cube creation order; a cube without one gives null.
  AggregationCube* second = table.CreateCube();
  AggregationCube* third = table.CreateCube();
  third->CreateCubeAggregator();
  (void)second;
  std::vector<CubeAggregator*> aggregators = table.GetCubeAggregators();
  ASSERT_EQ(aggregators.size(), 3u);
  EXPECT_EQ(aggregators[0], first);
  EXPECT_EQ(aggregators[1], nullptr);
  EXPECT_NE(aggregators[2], nullptr);
}

// A cube whose aggregator was never created holds no cell: it counts as
// empty, and feeding, resetting and dumping pass it by.
TEST_F(AggregationTableTest, ACubeWithoutAggregatorIsEmptyAndIsPassedBy) {
  AddCase(1.0, 2.0, 1.0);
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  table.CreateCube();
  table.CreateAxisCubes(1, 0, Codes::kColumnPosition);
  EXPECT_TRUE(table.HasEmptyCubes());
  EXPECT_TRUE(table.IsTableEmpty());
  ASSERT_TRUE(iterator.Next());
  table.AddNewCase();
  table.PrintDataDbg();
  table.ResetAggregator();
  EXPECT_TRUE(table.IsTableEmpty());
}

// A reset starts the statistic readers' valid counts again.
TEST_F(AggregationTableTest, AResetZeroesTheValidCounts) {
  AddCase(1.0, 2.0, 2.0);
  QUOR_InputCaseIterator iterator(source);
  AggregationTable table(iterator, false, false);
  AggregationCube* cube = table.CreateCube();
  cube->CreateCubeAggregator();
  cube->AddScaleStatistics({AggregationStatistic(x, Codes::kMean)});
  ASSERT_TRUE(iterator.Next());
  table.AddNewCase();
  EXPECT_EQ(table.GetTableMetaData()->GetValidCount(), std::vector<double>{1.0});
  table.ResetAggregator();
  EXPECT_EQ(table.GetTableMetaData()->GetValidCount(), std::vector<double>{0.0});
}

// Two tables of one definition over the same cases: a categorical variable by
// itself, counts and a mean, so that a state holds values, cells and moments.
struct PartTable {
  PartTable(const QUOR_DataSource& source, int c, int x, Codes::StatisticCodes scale)
      : iterator(source), table(iterator, false, false), variable(c, "c") {
    variable.SetIsTotalNo(false);
    AggregationCube* counts = table.CreateCube();
    counts->AddCategoricalVariable(&variable, Codes::kRowPosition);
    counts->CreateCubeAggregator();
    counts->AddCategoryStatistics({AggregationStatistic(Codes::kCount)}, &variable);
    AggregationCube* means = table.CreateCube();
    means->AddCategoricalVariable(&variable, Codes::kRowPosition);
    means->CreateCubeAggregator();
    means->AddScaleStatistics({AggregationStatistic(x, scale)});
    while (iterator.Next()) table.AddNewCase();
  }
  std::string State() {
    std::string state;
    table.SerializeState(state);
    return state;
  }
  QUOR_InputCaseIterator iterator;
  AggregationTable table;
  AggregationVariable variable;
};

TEST_F(AggregationTableTest, ABadPartialStateIsRefusedWithAMessageAndChangesNothing) {
  AddCase(1.0, 2.0, 1.0);
  AddCase(3.0, 4.0, 1.0);
  PartTable target(source, c, x, Codes::kMean), part(source, c, x, Codes::kMean);
  const std::string before = target.State(), state = part.State();
  std::string error;
  // Every truncation, a foreign magic, another version, another definition.
  std::vector<std::string> bad;
  for (size_t n = 0; n < state.size(); ++n) bad.push_back(state.substr(0, n));
  bad.push_back("X" + state.substr(1));
  std::string version = state;
  version[8] = 2;
  bad.push_back(version);
  bad.push_back(PartTable(source, c, x, Codes::kVariance).State());
  bad.push_back(state + "\n");
  for (const std::string& input : bad) {
    error.clear();
    EXPECT_FALSE(target.table.MergeState(input.data(), input.size(), error)) << input.size();
    EXPECT_EQ(error.rfind("bad partial state: ", 0), 0u) << error;
  }
  EXPECT_EQ(target.State(), before);
  // The state itself merges: the cases of both parts.
  ASSERT_TRUE(target.table.MergeState(state.data(), state.size(), error)) << error;
  const std::vector<AggregationCategory*>& categories =
      target.variable.GetTableDimension()->GetCategoryPointers();
  for (const AggregationCategory* category : categories) {
    StatValues* cell = target.table.GetCubeAggregators()[0]->GetStatValues({category}, -1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetStatValue(0).GetValue1(), 4.0);
  }
}

}  // namespace

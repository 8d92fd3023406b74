#include "TableDimension.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "AggregationVariable.h"
#include "ParsedCategory.h"
#include "support/TestValues.h"

namespace {

using testsupport::Cells;
using testsupport::Num;

// The smallest concrete dimension: the base's cells, explicit list, copy and
// equality are what is tested. Categories are whatever the test hands it.
class BareDimension : public TableDimension {
 public:
  BareDimension(int numCatCells, DimensionType type, std::vector<int> variables)
      : TableDimension(numCatCells, type), _variables(std::move(variables)) {}
  BareDimension(int numCatCells, DimensionType type, const AggregationVariable& variable,
                std::vector<int> variables)
      : TableDimension(numCatCells, type, variable), _variables(std::move(variables)) {}

  bool EncodeValue() override { return true; }
  const std::vector<AggregationCategory*>& GetCategoryPointers() override { return _categories; }
  std::vector<int> VariableIndex() override { return _variables; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return {}; }
  void SetIterator(QUOR_InputCaseIterator& iterator) override { _iterator = &iterator; }
  using TableDimension::GetCategoryEncoding;
  int GetCategoryEncoding(const OBS*) const override { return 0; }
  int GetNumberOfValues() const override { return 0; }
  void ResetDimension() override { ResetDimensionBase(); }

  // Test access to the protected cell writers.
  using TableDimension::AddCategoryCell;
  using TableDimension::SetCategoryCell;
  void AddCategory(int code) {
    auto* category = new AggregationCategory(AggregationCategory::kValue, 0);
    category->SetCatEncoding(code);
    _categories.push_back(category);
  }

 private:
  std::vector<int> _variables;
};

TEST(TableDimensionTest, CellWritesAndReadsBeyondTheCellsDie) {
  BareDimension dimension(2, TableDimension::kCategoricalVariable, {1});
  dimension.SetCategoryCell(1);
  dimension.AddCategoryCell(2);
  EXPECT_DEATH(dimension.AddCategoryCell(3), "_lastCatCell < _numCatCells");
  int current = 1;
  EXPECT_DEATH(dimension.NextCategoryCell(current), "currentCatCell < _lastCatCell");
  EXPECT_DEATH(dimension.GetCellCount(2), "currentCatCell <= _lastCatCell");
}

TEST(TableDimensionDeathTest, ABareDimensionHasNoSyntaxVariable) {
  BareDimension bare(3, TableDimension::kCategoricalVariable, {4});
  EXPECT_DEATH(bare.GetSyntaxVariable(), "_syntaxVariable");
}

// A later "other" entry replaces an earlier one; an empty list changes nothing.
TEST(TableDimensionTest, LaterOtherEntryWinsAndAnEmptyListChangesNothing) {
  ParsedCategory one(Num(1), 0), other(ParsedCategory::kOtherNM), later(ParsedCategory::kOtherNM);
  AggregationVariable variable(1, "v");
  variable.SetParsedCategories({&one, &other, &later});
  BareDimension dimension(3, TableDimension::kCategoricalVariable, variable, {1});
  EXPECT_EQ(dimension.ExplicitListContains(Num(5), false, -1), &later);
  dimension.SetParsedCategories({});
  EXPECT_EQ(dimension.ExplicitListContains(Num(1), false, -1), &one);
}

TEST(TableDimensionTest, SetsAreEqualByKindAndName) {
  AggregationMCSet set1({2, 3}, "$s"), set2({4, 5}, "$s"), set3({2, 3}, "$t");
  BareDimension s1(5, TableDimension::kMCSet, set1, {2, 3});
  BareDimension s2(5, TableDimension::kMCSet, set2, {4, 5});  // same name, other members
  BareDimension s3(5, TableDimension::kMCSet, set3, {2, 3});
  EXPECT_TRUE(s1 == s2);
  EXPECT_FALSE(s1 == s3);
  // A variable and a set of the same name, or two set kinds, never match.
  AggregationVariable variable(2, "$s");
  BareDimension v(3, TableDimension::kCategoricalVariable, variable, {2});
  BareDimension md(5, TableDimension::kMDSet, set1, {2, 3});
  EXPECT_FALSE(v == s1);
  EXPECT_FALSE(s1 == md);
}

TEST(TableDimensionTest, ACopyKeepsTheCellsButNotTheOwnedCategories) {
  AggregationVariable variable(1, "v");
  BareDimension source(3, TableDimension::kCategoricalVariable, variable, {1});
  source.AddCategory(1);
  source.SetCategoryCell(1);
  source.AddCategoryCell(-100);
  {
    BareDimension copy(source);
    EXPECT_EQ(&copy.GetSyntaxVariable(), &variable);
    EXPECT_EQ(Cells(copy), (std::vector<int>{1, -100}));
    EXPECT_TRUE(copy.GetCategoryPointers().empty());
  }
  // The source's categories survive the copy's destruction.
  EXPECT_EQ(source.GetCategoryPointers()[0]->GetCatEncoding(), 1);
}

}  // namespace

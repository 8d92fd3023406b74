#include "AggregationVariable.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationMRSet.h"
#include "ParsedCategory.h"
#include "TableCVariable.h"

namespace {

// A new variable has no index and no label, and its total label is the
// default one; a set always reports the index -100.
TEST(AggregationVariableTest, NewVariablesHaveNoIndexOrLabelAndSetsTheIndexMinus100) {
  const AggregationVariable unnamed;
  EXPECT_EQ(unnamed.GetIndex(), -1);
  EXPECT_TRUE(unnamed.GetLabel().empty());
  EXPECT_TRUE(unnamed.GetIsTotalLabelDefault());
  OBS one;
  one.num = 1.0;
  EXPECT_EQ(AggregationMCSet({3, 4}, "$mc").GetIndex(), -100);
  EXPECT_EQ(AggregationMDSet({5}, "$md", &one, 1, false).GetIndex(), -100);
}

TEST(AggregationVariableTest, CopiesShareParsedCategoriesAndDimensionButNothingElse) {
  ParsedCategory a(ParsedCategory::kMissing), b(ParsedCategory::kOtherNM);
  TableCVariable dimension(0);
  auto source = std::make_unique<AggregationVariable>(3, "x");
  source->SetParsedCategories({&a, &b});
  source->SetTableDimension(&dimension);
  source->SetTotalLabel("Sum");

  AggregationVariable copy(*source);
  AggregationVariable assigned;
  assigned = *source;
  for (const AggregationVariable* v : {&copy, &assigned}) {
    EXPECT_EQ(v->GetIndex(), 3);
    EXPECT_EQ(v->GetParsedCategories(), (std::vector<ParsedCategory*>{&a, &b}));
    EXPECT_EQ(v->GetTableDimension(), &dimension);
    EXPECT_EQ(v->GetTotalLabel(), "Sum");
  }

  // Independent objects: changing or destroying the source leaves the copies.
  source->SetTotalLabel("Changed");
  source->SetParsedCategories({});
  source.reset();
  EXPECT_EQ(copy.GetTotalLabel(), "Sum");
  EXPECT_EQ(copy.GetParsedCategories().size(), 2u);

  assigned = assigned;  // self-assignment keeps everything
  EXPECT_EQ(assigned.GetIndex(), 3);
  EXPECT_EQ(assigned.GetParsedCategories().size(), 2u);
}

TEST(AggregationMCSetTest, UserMissingVariableDefaultsToTheFirstMember) {
  AggregationMCSet set({7, 9}, "$s");
  EXPECT_EQ(set.GetUserMissingVariable(), 7);
  // Once asked for, the default is kept even when the members change.
  set.GetIndexList() = {9, 11};
  EXPECT_EQ(set.GetUserMissingVariable(), 7);

  set.SetUserMissingVariable(11);
  EXPECT_EQ(set.GetUserMissingVariable(), 11);
  set.SetUserMissingVariable(-1);  // clears the choice: the first member again
  EXPECT_EQ(set.GetUserMissingVariable(), 9);

  AggregationMCSet empty({}, "$e");
  EXPECT_EQ(empty.GetUserMissingVariable(), -1);
}

TEST(AggregationMCSetTest, UserMissingVariableMustBeAMember) {
  AggregationMCSet set({7, 9}, "$s");
  EXPECT_DEATH(set.SetUserMissingVariable(8), "Missing Value Variable must be present in the set.");
}

// Sets own their member list and set records: copies get their own.
TEST(AggregationMRSetTest, CopiedSetsOwnTheirOwnRecords) {
  OBS one;
  one.num = 1.0;
  auto mc = std::make_unique<AggregationMCSet>(std::vector<int>{4, 5}, "$c");
  mc->SetUserMissingVariable(5);
  AggregationMCSet mcCopy(*mc);
  mc->GetIndexList().push_back(6);
  mc->SetUserMissingVariable(4);
  EXPECT_EQ(mcCopy.GetIndexList(), (std::vector<int>{4, 5}));
  EXPECT_EQ(mcCopy.GetUserMissingVariable(), 5);
  mc.reset();
  EXPECT_EQ(mcCopy.GetNameToken(), "$c");

  auto md = std::make_unique<AggregationMDSet>(std::vector<int>{1}, "$d", &one, 1, false);
  AggregationMDSet mdAssigned({9}, "$other", nullptr, 0, true);
  mdAssigned = *md;
  md.reset();
  EXPECT_EQ(mdAssigned.GetIndexList(), std::vector<int>{1});
  EXPECT_EQ(mdAssigned.GetCountedOBS(), &one);
  EXPECT_EQ(mdAssigned.GetCountedOBSSize(), 1);
  EXPECT_FALSE(mdAssigned.UseLabelFromValue());
  EXPECT_EQ(mdAssigned.GetNameToken(), "$d");
}

}  // namespace

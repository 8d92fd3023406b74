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

using Codes = TableEncryptionCodes;

// Defaults live in the one settings record every kind of variable starts from;
// a set always reports the index -100.
TEST(AggregationVariableTest, NewVariablesHaveTheDefaultsAndSetsTheIndexMinus100) {
  AggregationVariable unnamed, named(12, "marital");
  EXPECT_EQ(unnamed.GetIndex(), -1);
  EXPECT_EQ(unnamed.GetNameToken(), "");
  EXPECT_EQ(named.GetIndex(), 12);
  EXPECT_EQ(named.GetNameToken(), "marital");
  for (const AggregationVariable* v : {&unnamed, &named}) {
    EXPECT_TRUE(v->GetLabel().empty());
    EXPECT_EQ(v->GetTableDimension(), nullptr);
    EXPECT_TRUE(v->GetParsedCategories().empty());
    EXPECT_TRUE(v->GetIsOrderA());
    EXPECT_TRUE(v->GetIsMissingExclude());
    EXPECT_TRUE(v->GetIsTotalNo());
    EXPECT_TRUE(v->GetIsTotalLabelDefault());
    EXPECT_TRUE(v->GetIsTotalPositionAfter());
    EXPECT_TRUE(v->GetIsEmptyInclude());
    EXPECT_EQ(v->GetTotalLabel(), "Total");
    EXPECT_EQ(v->GetSortKey(), Codes::kValueSort);
  }

  OBS one;
  one.num = 1.0;
  AggregationMCSet mc({3, 4}, "$mc");
  AggregationMCSet emptyMc({}, "$empty");
  AggregationMDSet md({5}, "$md", &one, 1, false);
  for (const AggregationVariable* set :
       std::vector<const AggregationVariable*>{&mc, &emptyMc, &md}) {
    EXPECT_EQ(set->GetIndex(), -100);
  }
  EXPECT_EQ(mc.GetNameToken(), "$mc");
  EXPECT_EQ(mc.GetIndexList(), (std::vector<int>{3, 4}));
  EXPECT_EQ(mc.GetIndexListCount(), 2);
  EXPECT_EQ(emptyMc.GetIndexListCount(), 0);
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

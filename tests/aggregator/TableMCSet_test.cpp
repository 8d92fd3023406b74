#include "TableMCSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "ParsedCategory.h"
#include "casesource.h"
#include "support/DimensionCases.h"
#include "support/TestValues.h"

namespace {

using testsupport::CaseCells;
using testsupport::EncodeAll;
using testsupport::Num;
using testsupport::Str;

const int kExcluded = -99;  // a missing value that no cube counts

// Numeric members m0, m1, ...; NaN stands for a system-missing value.
struct NumericMembers {
  NumericMembers(int members, const std::vector<std::vector<double>>& cases) {
    for (int m = 0; m < members; ++m) {
      indices.push_back(data.AddVariable("m" + std::to_string(m), 0));
    }
    for (const std::vector<double>& values : cases) {
      const int row = data.AddCase();
      for (size_t m = 0; m < values.size(); ++m) data.SetValue(row, indices[m], values[m]);
    }
  }
  QUOR_DataSource data;
  std::vector<int> indices;
};

TEST(TableMCSetTest, NarrowStringMembersArePaddedToTheWidestMember) {
  QUOR_DataSource data;
  const int narrow = data.AddVariable("narrow", 4);
  const int wide = data.AddVariable("wide", 12);
  int row = data.AddCase();
  data.SetValue(row, narrow, "ab");
  data.SetValue(row, wide, "ab");
  row = data.AddCase();
  data.SetValue(row, narrow, "cd");
  data.SetValue(row, wide, "ab      xy");
  QUOR_InputCaseIterator it(data);
  AggregationMCSet set({narrow, wide}, "$s");
  TableMCSet dim(set);
  dim.SetComputingCounts();
  const std::vector<CaseCells> cases = EncodeAll(dim, it);
  // "ab" is one category whichever member gives it.
  EXPECT_EQ(cases[0].codes, std::vector<int>{1});
  EXPECT_EQ(cases[0].responses, 1);
  EXPECT_EQ(cases[1].codes, (std::vector<int>{3, 2}));
  EXPECT_EQ(dim.GetNumberOfValues(), 3);

  const std::vector<OBS> ab4 = Str("ab", 4);
  EXPECT_EQ(dim.GetCategoryEncoding(ab4.data(), 4), 1);
  const std::vector<AggregationCategory*>& categories = dim.GetCategoryPointers();
  ASSERT_EQ(categories.size(), 3u);
  for (const AggregationCategory* category : categories) {
    EXPECT_EQ(category->GetValueType(), 12);
    EXPECT_EQ(category->GetVarIndex(), wide);
  }
  const std::vector<OBS> ab12 = Str("ab", 12);
  EXPECT_TRUE(AggregationCategory::OBSCompareEqual(categories[0]->GetCatValue(), 12, ab12[0], 12));
  EXPECT_EQ(categories[0]->GetCatEncoding(), 1);
}

TEST(TableMCSetTest, MissingValuesAreJudgedAtTheMissingValueVariablesWidth) {
  QUOR_DataSource data;
  const int narrow = data.AddVariable("narrow", 2);
  const int wide = data.AddVariable("wide", 12);
  data.GetVariable(narrow).AddMissingValue("xx");
  const int row = data.AddCase();
  data.SetValue(row, narrow, "ok");
  data.SetValue(row, wide, "xx      zz");  // not "xx": characters beyond the width
  const int second = data.AddCase();
  data.SetValue(second, narrow, "xx");
  data.SetValue(second, wide, "xx");
  QUOR_InputCaseIterator it(data);
  AggregationMCSet set({narrow, wide}, "$s");
  set.SetUserMissingVariable(narrow);
  TableMCSet dim(set);
  const std::vector<CaseCells> cases = EncodeAll(dim, it);
  EXPECT_EQ(cases[0].codes, (std::vector<int>{2, 1}));
  // Both members hold the missing "xx": no response.
  EXPECT_EQ(cases[1].codes, std::vector<int>{kExcluded});
  EXPECT_FALSE(cases[1].valid);
}

// A set without members has no user-missing variable: binding must not look
// up the variable -1, and the set encodes every case as no response.
TEST(TableMCSetTest, AnEmptySetHasNoMissingValueVariable) {
  NumericMembers d(1, {{1}});
  QUOR_InputCaseIterator it(d.data);
  AggregationMCSet set({}, "$empty");
  ASSERT_EQ(set.GetUserMissingVariable(), -1);
  TableMCSet dim(set);
  std::vector<CaseCells> cases;
  ASSERT_NO_THROW(cases = EncodeAll(dim, it));
  EXPECT_EQ(cases[0].codes, std::vector<int>{0});
  EXPECT_FALSE(cases[0].result);
  const std::vector<AggregationCategory*>& categories = dim.GetCategoryPointers();
  ASSERT_EQ(categories.size(), 1u);
  EXPECT_EQ(categories[0]->GetCatType(), AggregationCategory::kDummy);
  EXPECT_EQ(dim.GetNumberOfCategories(), 0);
}

// An explicit entry reads a value at its own width: a narrower member value
// is widened with blanks first rather than read past its end.
TEST(TableMCSetTest, ExplicitEntriesWiderThanTheMembersReadAWidenedValue) {
  QUOR_DataSource data;
  const int only = data.AddVariable("only", 4);
  data.SetValue(data.AddCase(), only, "ab");
  QUOR_InputCaseIterator it(data);
  const std::vector<OBS> wide = Str("ab", 16);
  ParsedCategory entry(wide[0], 16);
  AggregationMCSet set({only}, "$s");
  set.SetParsedCategories({&entry});
  TableMCSet dim(set);
  const std::vector<CaseCells> cases = EncodeAll(dim, it);
  EXPECT_EQ(cases[0].codes, std::vector<int>{1});
  EXPECT_TRUE(cases[0].result);
}

TEST(TableMCSetTest, ResetStartsTheCodesAndTheListAgain) {
  NumericMembers d(2, {{4, 6}});
  QUOR_InputCaseIterator it(d.data);
  AggregationMCSet set(d.indices, "$s");
  TableMCSet dim(set);
  EncodeAll(dim, it);
  ASSERT_EQ(dim.GetCategoryPointers().size(), 2u);
  dim.ResetDimension();
  EXPECT_EQ(dim.GetNumberOfValues(), 0);
  // The case now brings 6 alone, which takes code 1 again.
  d.data.SetValue(0, d.indices[0], 6);
  EXPECT_EQ(EncodeAll(dim, it)[0].codes, std::vector<int>{1});
  EXPECT_EQ(dim.GetCategoryPointers().size(), 1u);
}

// With duplicates counted, a repeated category adds to its subtotal cell too.
TEST(TableMCSetTest, DuplicateResponsesCountInTheirSubtotalCell) {
  NumericMembers d(3, {{1, 2, 1}});
  QUOR_InputCaseIterator it(d.data);
  ParsedCategory e1(Num(1), 0), e2(Num(2), 0);
  e1.SetSubtotalEncoding(-103);
  e2.SetSubtotalEncoding(-103);
  AggregationMCSet set(d.indices, "$s");
  set.SetParsedCategories({&e1, &e2});
  TableMCSet dim(set);
  dim.SetComputingCounts(true);
  const CaseCells c = EncodeAll(dim, it)[0];
  EXPECT_EQ(c.codes, (std::vector<int>{2, 1, -103}));
  EXPECT_EQ(c.counts, (std::vector<int>{1, 2, 3}));
}

}  // namespace

#include "TableMDSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationMDSet.h"
#include "ParsedCategory.h"
#include "casesource.h"
#include "support/DimensionCases.h"
#include "support/TestValues.h"

namespace {

using testsupport::CaseCells;
using testsupport::EncodeAll;
using testsupport::Num;

const int kTotal = TableEncryptionCodes::kTotalCategory;
const int kExcluded = -99;  // a case without response that no cube counts

// Numeric members a, b, c, ...; NaN stands for a system-missing value.
struct Members {
  Members(int members, const std::vector<std::vector<double>>& cases) {
    for (int m = 0; m < members; ++m) {
      const std::string name(1, static_cast<char>('a' + m));
      indices.push_back(data.AddVariable(name, 0, "label " + name));
    }
    for (const std::vector<double>& values : cases) {
      const int row = data.AddCase();
      for (size_t m = 0; m < values.size(); ++m) data.SetValue(row, indices[m], values[m]);
    }
  }
  QUOR_DataSource data;
  std::vector<int> indices;
};

const OBS kOne = Num(1.0);

// Explicit entry for a member variable with its subtotal code.
ParsedCategory VariableEntry(int varIndex, int subtotal) {
  ParsedCategory entry(ParsedCategory::kVariable);
  entry.SetVarIndex(varIndex);
  entry.SetSubtotalEncoding(subtotal);
  return entry;
}

// The set's member list sizes the category cells; a list naming more members
// than the set gets room for all of them.
TEST(TableMDSetTest, AListWithMoreMembersThanTheSetHasRoomForTheirCells) {
  Members d(3, {{1, 1, 1}});
  QUOR_InputCaseIterator it(d.data);
  ParsedCategory a = VariableEntry(d.indices[0], -102);
  ParsedCategory b = VariableEntry(d.indices[1], -103);
  ParsedCategory c = VariableEntry(d.indices[2], -104);
  AggregationMDSet set({d.indices[0]}, "$d", &kOne, 1, false);
  set.SetParsedCategories({&a, &b, &c});
  set.SetIsTotalNo(false);
  TableMDSet dim(set);
  dim.SetComputingCounts();
  const std::vector<CaseCells> cases = EncodeAll(dim, it);
  EXPECT_EQ(cases[0].codes, (std::vector<int>{1, -102, 2, -103, 3, -104, kTotal}));
  EXPECT_EQ(cases[0].counts, (std::vector<int>{1, 1, 1, 1, 1, 1, 3}));
}

TEST(TableMDSetTest, StringMembersCompareEveryByteOfTheirUnits) {
  QUOR_DataSource data;
  const int x = data.AddVariable("x", 1);
  const int y = data.AddVariable("y", 1);
  const int row = data.AddCase();
  data.SetValue(row, x, "Y");
  data.SetValue(row, y, "N");
  QUOR_InputCaseIterator it(data);

  OBS blankFilled;
  std::memcpy(blankFilled.str, "Y       ", 8);
  AggregationMDSet set({x, y}, "$d", &blankFilled, 1, false);
  TableMDSet dim(set);
  EXPECT_EQ(EncodeAll(dim, it)[0].codes, std::vector<int>{1});

  // The member's unit is blank-filled: a counted value with other bytes past
  // its first character is not the member's value.
  OBS zeroFilled;
  std::memset(zeroFilled.str, 0, 8);
  zeroFilled.str[0] = 'Y';
  AggregationMDSet other({x, y}, "$e", &zeroFilled, 1, false);
  TableMDSet strict(other);
  EXPECT_EQ(EncodeAll(strict, it)[0].codes, std::vector<int>{kExcluded});
}

TEST(TableMDSetTest, BothZerosAreTheCountedZero) {
  Members d(2, {{0.0, -0.0}});
  QUOR_InputCaseIterator it(d.data);
  const OBS negativeZero = Num(-0.0);
  AggregationMDSet set(d.indices, "$d", &negativeZero, 1, false);
  TableMDSet dim(set);
  EXPECT_EQ(EncodeAll(dim, it)[0].codes, (std::vector<int>{1, 2}));
  // The host's value itself is left alone.
  EXPECT_TRUE(std::signbit(negativeZero.num));
}

TEST(TableMDSetTest, MembersAreOrderedByNameOrLabelUnlessTheOrderIsTheSets) {
  QUOR_DataSource data;
  const int zed = data.AddVariable("zed", 0, "Alpha");
  const int amy = data.AddVariable("amy", 0, "Charlie");
  const int kim = data.AddVariable("kim", 0, "Bravo");
  data.SetValue(data.AddCase(), zed, 1.0);
  QUOR_InputCaseIterator it(data);

  auto names = [](const std::vector<AggregationCategory*>& categories) {
    std::vector<std::string> out;
    for (const AggregationCategory* category : categories) {
      out.emplace_back(category->GetCatValue().str, 3);
    }
    return out;
  };
  AggregationMDSet byName({zed, amy, kim}, "$n", &kOne, 1, false);
  TableMDSet nameDim(byName);
  EncodeAll(nameDim, it);
  EXPECT_EQ(names(nameDim.GetCategoryPointers()), (std::vector<std::string>{"amy", "kim", "zed"}));

  AggregationMDSet byLabel({zed, amy, kim}, "$l", &kOne, 1, false);
  byLabel.SetSortKey(TableEncryptionCodes::kLabelSort);
  TableMDSet labelDim(byLabel);
  EncodeAll(labelDim, it);
  EXPECT_EQ(names(labelDim.GetCategoryPointers()), (std::vector<std::string>{"zed", "kim", "amy"}));

  AggregationMDSet asGiven({zed, amy, kim}, "$g", &kOne, 1, false);
  asGiven.SetSortKey(TableEncryptionCodes::kNoSort);
  asGiven.SetIsTotalNo(false);
  asGiven.SetIsTotalPositionAfter(false);
  TableMDSet givenDim(asGiven);
  EncodeAll(givenDim, it);
  const std::vector<AggregationCategory*>& given = givenDim.GetCategoryPointers();
  ASSERT_EQ(given.size(), 4u);
  EXPECT_EQ(given[0]->GetCatType(), AggregationCategory::kTotal);
  const std::vector<std::string> givenNames = names(given);
  EXPECT_EQ(std::vector<std::string>(givenNames.begin() + 1, givenNames.end()),
            (std::vector<std::string>{"zed", "amy", "kim"}));
}

TEST(TableMDSetDeathTest, EncodingOfANegativeVariableIndex) {
  Members d(1, {{1}});
  AggregationMDSet set(d.indices, "$d", &kOne, 1, false);
  TableMDSet dim(set);
  const OBS negative = Num(-1.0);
  EXPECT_DEATH(dim.GetCategoryEncoding(&negative), "varInd->num >= 0.0");
}

TEST(TableMDSetDeathTest, MemberWiderThanTheCountedValue) {
  QUOR_DataSource data;
  const int wide = data.AddVariable("wide", 12);
  QUOR_InputCaseIterator it(data);
  OBS yes;
  std::memcpy(yes.str, "Y       ", 8);
  AggregationMDSet set({wide}, "$d", &yes, 1, false);
  TableMDSet dim(set);
  EXPECT_DEATH(dim.SetIterator(it), "_varSizes\\[iVar\\] <= _valueSize");
}

TEST(TableMDSetTest, CodesSurviveReset) {
  Members d(3, {{0, 1, 0}, {1, 0, 0}});
  QUOR_InputCaseIterator it(d.data);
  AggregationMDSet set(d.indices, "$d", &kOne, 1, false);
  TableMDSet dim(set);
  EncodeAll(dim, it);
  ASSERT_EQ(dim.GetCategoryPointers().size(), 3u);
  dim.ResetDimension();
  EXPECT_EQ(dim.GetNumberOfValues(), 2);
  const OBS varA = Num(d.indices[0]), varB = Num(d.indices[1]), varC = Num(d.indices[2]);
  EXPECT_EQ(dim.GetCategoryEncoding(&varB), 1);
  EXPECT_EQ(dim.GetCategoryEncoding(&varA), 2);
  EXPECT_EQ(dim.GetCategoryEncoding(&varC), 0);
  // The next pass brings a first: it keeps code 2.
  const std::vector<CaseCells> again = EncodeAll(dim, it);
  EXPECT_EQ(again[1].codes, std::vector<int>{2});
}

TEST(TableMDSetTest, UseLabelFromValueLabelsEachMemberWithTheCountedValuesLabel) {
  Members d(2, {{1, 1}});
  d.data.GetVariable(d.indices[0]).AddValueLabel(1.0, "yes to a");
  d.data.GetVariable(d.indices[0]).AddValueLabel(0.0, "no to a");
  QUOR_InputCaseIterator it(d.data);
  AggregationMDSet set(d.indices, "$d", &kOne, 1, true);
  set.SetSortKey(TableEncryptionCodes::kNoSort);
  TableMDSet dim(set);
  EncodeAll(dim, it);
  const std::vector<AggregationCategory*>& categories = dim.GetCategoryPointers();
  ASSERT_EQ(categories.size(), 2u);
  EXPECT_EQ(categories[0]->GetCatLabel(), "yes to a");
  EXPECT_TRUE(categories[0]->UseLabelForVar());
  // b labels no value: it keeps no label (not its variable label).
  EXPECT_EQ(categories[1]->GetCatLabel(), "");
  EXPECT_TRUE(categories[1]->UseLabelForVar());
}

// With an explicit list the categories follow it: each member with its
// subtotal, which follows its members (or precedes them); a hiding subtotal's
// members go to the categories kept for computation; computed categories
// stand where the list puts them. A case's subtotal cell closes each run of
// responding members that share its code and counts them.
TEST(TableMDSetTest, ExplicitListLaysOutSubtotalsHiddenMembersAndComputedCategories) {
  Members d(4, {{1, 1, 1, 1}});
  ParsedCategory a = VariableEntry(d.indices[0], -102);
  ParsedCategory b = VariableEntry(d.indices[1], -102);
  ParsedCategory c = VariableEntry(d.indices[2], -103);
  ParsedCategory e = VariableEntry(d.indices[3], 0);
  ParsedCategory ab("A and B", false, -102, true);
  ParsedCategory cHidden("C only", true, -103, false);
  ParsedCategory computed("diff", {"a minus b"}, false, {TableEncryptionCodes::kCount},
                          {TableEncryptionCodes::kDisplayNumber}, {nullptr},
                          ParsedCategory::kPCompute, -1);

  for (bool after : {true, false}) {
    QUOR_InputCaseIterator it(d.data);
    AggregationMDSet set(d.indices, "$d", &kOne, 1, false);
    set.SetParsedCategories({&a, &b, &c, &e, &ab, &cHidden, &computed});
    set.SetIsTotalPositionAfter(after);
    TableMDSet dim(set);
    dim.SetComputingCounts();
    const CaseCells cells = EncodeAll(dim, it)[0];
    EXPECT_EQ(cells.codes, (std::vector<int>{1, 2, -102, 3, -103, 4}));
    EXPECT_EQ(cells.counts, (std::vector<int>{1, 1, 2, 1, 1, 1}));
    const std::vector<AggregationCategory*>& categories = dim.GetCategoryPointers();
    std::vector<std::string> layout;
    for (const AggregationCategory* category : categories) {
      switch (category->GetCatType()) {
        case AggregationCategory::kVariable:
          layout.emplace_back(category->GetCatValue().str, 1);
          break;
        default:
          layout.push_back(category->GetCatLabel());
      }
    }
    const std::vector<std::string> expected =
        after ? std::vector<std::string>{"a", "b", "A and B", "C only", "d", "a minus b"}
              : std::vector<std::string>{"A and B", "a", "b", "C only", "d", "a minus b"};
    EXPECT_EQ(layout, expected) << (after ? "after" : "before");
    ASSERT_EQ(dim.GetPcomputeRequiredCats().size(), 1u);
    const AggregationCategory* hidden = dim.GetPcomputeRequiredCats()[0];
    EXPECT_EQ(hidden->GetCatLabel(), "label c");
    EXPECT_EQ(std::string(hidden->GetCatValue().str, 1), "c");
    EXPECT_TRUE(categories[3]->IsLabelDefault());  // the hiding subtotal's
    const AggregationCategory* pcompute = categories.back();
    EXPECT_EQ(pcompute->GetCatType(), AggregationCategory::kPCompute);
    EXPECT_EQ(pcompute->GetVarIndex(), -1);
    EXPECT_EQ(pcompute->GetPCatName(), "diff");
    EXPECT_EQ(pcompute->GetPCFormat(),
              std::vector<TableEncryptionCodes::StatisticCodes>{TableEncryptionCodes::kCount});
  }
}

}  // namespace

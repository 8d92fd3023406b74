#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "AggregationCategory.h"
#include "ParsedCategory.h"
#include "baseutil.h"
#include "support/TestValues.h"

namespace {

using testsupport::BytesOf;
using testsupport::ExpectGolden;
using testsupport::Joined;
using testsupport::Num;
using testsupport::OutputCapture;
using testsupport::Str;

using Parsed = ParsedCategory;
using Category = AggregationCategory;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Both membership forms agree on numbers against a numeric entry.
void ExpectNumberContained(const Parsed& entry, double number, bool expected) {
  EXPECT_EQ(entry.Contains(Num(number), false), expected) << number;
  EXPECT_EQ(entry.Contains(Num(number), 0, false), expected) << number;
}

TEST(ParsedCategoryTest, NumericBoundsAreInclusive) {
  const Parsed range(Num(1.0), Num(5.0), 0), lo(Num(3.0), 0, Parsed::kLoRange),
      hi(Num(3.0), 0, Parsed::kHiRange), value(Num(-0.0), 0);
  const struct {
    const Parsed& entry;
    double number;
    bool contained;
  } rows[] = {{range, 1.0, true},     {range, 3.0, true},     {range, 5.0, true},
              {range, 5.0001, false}, {range, 0.9999, false}, {lo, 3.0, true},
              {lo, -1e300, true},     {lo, 3.0001, false},    {hi, 3.0, true},
              {hi, 1e300, true},      {hi, 2.9999, false},    {value, 0.0, true},
              {value, -0.0, true},    {value, 1e-300, false}};
  for (const auto& row : rows) ExpectNumberContained(row.entry, row.number, row.contained);
}

TEST(ParsedCategoryTest, NaNIsContainedNowhere) {
  const std::vector<Parsed> entries = {Parsed(Num(kNaN), 0), Parsed(Num(-1e300), Num(1e300), 0),
                                       Parsed(Num(1e300), 0, Parsed::kLoRange),
                                       Parsed(Num(-1e300), 0, Parsed::kHiRange),
                                       Parsed(Str("A", 1)[0], 1, Parsed::kLoRange)};
  for (const Parsed& entry : entries) {
    EXPECT_FALSE(entry.Contains(Num(kNaN), 0, false)) << entry.GetPCType();
    if (entry.GetValueType() == 0) {
      EXPECT_FALSE(entry.Contains(Num(kNaN), false)) << entry.GetPCType();
    }
  }
  // An entry whose bound is NaN contains no number either.
  const Parsed nanBound(Num(kNaN), 0, Parsed::kHiRange);
  ExpectNumberContained(nanBound, 1.0, false);
}

TEST(ParsedCategoryTest, MissingOtherAndEverythingIgnoreTheValue) {
  const Parsed missing(Parsed::kMissing), other(Parsed::kOtherNM), all(Parsed::kLoHiRange);
  const std::vector<Parsed> never = {Parsed("Sum", true, -101, true),
                                     Parsed("Sum", true, -101, false), Parsed(Parsed::kVariable),
                                     Parsed("pc", {}, false, {}, {}, {}, Parsed::kPCompute, 0)};
  const std::vector<OBS> text = Str("whatever", 8);
  for (bool isMissing : {false, true}) {
    for (const OBS& value : {Num(3.0), Num(kNaN), text[0]}) {
      EXPECT_EQ(missing.Contains(value, isMissing), isMissing);
      EXPECT_EQ(missing.Contains(value, 8, isMissing), isMissing);
      EXPECT_EQ(other.Contains(value, isMissing), !isMissing);
      EXPECT_EQ(other.Contains(value, 0, isMissing), !isMissing);
      EXPECT_TRUE(all.Contains(value, isMissing));
      EXPECT_TRUE(all.Contains(value, 8, isMissing));
      for (const Parsed& entry : never) {
        EXPECT_FALSE(entry.Contains(value, isMissing)) << entry.GetPCType();
        EXPECT_FALSE(entry.Contains(value, 0, isMissing)) << entry.GetPCType();
      }
    }
  }
}

TEST(ParsedCategoryTest, StringRangesUseTheValueOrder) {
  const std::vector<OBS> b = Str("B", 1), d = Str("D", 1);
  const Parsed range(b[0], d[0], 1);
  for (const char* text : {"B", "C", "D"}) {
    EXPECT_TRUE(range.Contains(Str(text, 1)[0], false)) << text;
    EXPECT_TRUE(range.Contains(Str(text, 5)[0], 5, false)) << text;
  }
  for (const char* text : {"A", "E"}) {
    EXPECT_FALSE(range.Contains(Str(text, 1)[0], false)) << text;
    EXPECT_FALSE(range.Contains(Str(text, 5)[0], 5, false)) << text;
  }
  // DX orders after D: outside with its own width, inside when only the
  // entry's one byte is read.
  EXPECT_FALSE(range.Contains(Str("DX", 2)[0], 2, false));
  EXPECT_TRUE(range.Contains(Str("DX", 2)[0], false));
  // Open-ended ranges hold their bound, also read at a wider value's width.
  const Parsed lo(d[0], 1, Parsed::kLoRange), hi(b[0], 1, Parsed::kHiRange);
  for (const char* text : {"B", "D"}) {
    EXPECT_TRUE(lo.Contains(Str(text, 5)[0], 5, false)) << text;
    EXPECT_TRUE(hi.Contains(Str(text, 5)[0], 5, false)) << text;
  }
  EXPECT_FALSE(lo.Contains(Str("E", 5)[0], 5, false));
  EXPECT_FALSE(hi.Contains(Str("A", 5)[0], 5, false));
}

TEST(ParsedCategoryTest, EntryWithoutValueContainsNothing) {
  Parsed entry(Parsed::kValue);
  EXPECT_EQ(entry.GetValueType(), -1);
  EXPECT_FALSE(entry.Contains(Num(0.0), false));
  EXPECT_FALSE(entry.Contains(Num(0.0), 0, false));
  // Raising the width and then setting the value must not write past the
  // empty array: the setter makes room.
  entry.SetValueType(0);
  entry.SetCatValue(4.0);
  ExpectNumberContained(entry, 4.0, true);

  Parsed range(Parsed::kRange);
  range.SetValueType(0);
  range.SetCatValue(Num(1.0));
  EXPECT_FALSE(range.Contains(Num(1.0), false));  // no top yet
  range.SetRangeTopValue(Num(2.0));
  ExpectNumberContained(range, 1.5, true);
}

TEST(ParsedCategoryTest, WideningTheLowBoundKeepsTheRangeTopReadable) {
  const std::vector<OBS> a = Str("A", 1), c = Str("C", 1);
  Parsed range(a[0], c[0], 1);
  range.SetCatValue("AAAAAAAAAA");
  EXPECT_EQ(range.GetValueType(), 10);
  EXPECT_EQ(BytesOf(range.GetRangeTopValue(), 16), "C" + std::string(15, ' '));
  EXPECT_TRUE(range.Contains(Str("B", 10)[0], false));
  EXPECT_FALSE(range.Contains(Str("CA", 10)[0], false));
}

TEST(ParsedCategoryTest, NarrowerValuesAreBlankFilled) {
  const std::vector<OBS> wide = Str("0123456789AB", 12);
  Parsed entry(wide[0], 12);
  const std::vector<OBS> source = Str("xyzzzzzzzzzz", 12);
  entry.SetCatValue(source[0], 3);
  EXPECT_EQ(BytesOf(entry.GetCatValue(), 16), "xyz             ");
  Parsed range(wide[0], wide[0], 12);
  range.SetRangeTopValue(source[0], 2);
  EXPECT_EQ(BytesOf(range.GetRangeTopValue(), 16), "xy              ");
  range.SetRangeTopValue(source[0]);
  EXPECT_EQ(BytesOf(range.GetRangeTopValue(), 16), "xyzzzzzzzzzz    ");
}

// Numbers come first; equal values, also up to trailing blanks, keep the
// order in which they were added. The entry does not own its categories.
TEST(ParsedCategoryTest, CategoriesAreKeptInStableValueOrder) {
  Parsed entry(Parsed::kOtherNM);
  Category three(Category::kValue), threeAgain(Category::kValue), a8(Category::kValue, 8),
      a1(Category::kValue, 1);
  three.SetCatValue(3.0);
  threeAgain.SetCatValue(3.0);
  a8.SetCatValue("A");
  a1.SetCatValue("A");
  EXPECT_FALSE(entry.HasCategories());
  int count = 0;
  for (Category* category : {&a8, &three, &a1, &threeAgain}) {
    EXPECT_EQ(entry.AddCategory(category), ++count);
  }
  EXPECT_EQ(entry.GetValueType(), 8);  // only an unset width is taken
  const std::vector<Category*> expected = {&three, &threeAgain, &a8, &a1};
  EXPECT_EQ(entry.GetCategories(), expected);
  entry.ClearCategories();
  EXPECT_FALSE(entry.HasCategories());
  EXPECT_EQ(a1.GetValueType(), 1);
}

TEST(ParsedCategoryTest, CopyCarriesValuesAndPointersButNotComputedFields) {
  const QUOR_Format format(1);
  Parsed pc("pc", {"a", "b"}, true, {TableEncryptionCodes::kCount},
            {TableEncryptionCodes::kDisplayGeneral}, {&format}, Parsed::kPCompute, 4);
  Category member(Category::kValue);
  pc.AddCategory(&member);
  const Parsed pcCopy(pc);
  EXPECT_EQ(pcCopy.GetPCType(), Parsed::kPCompute);
  EXPECT_EQ(pcCopy.GetVarIndex(), 4);
  EXPECT_TRUE(pcCopy.GetPCatName().empty());
  EXPECT_TRUE(pcCopy.GetPostCatLabel().empty());
  EXPECT_TRUE(pcCopy.GetPCFormat().empty());
  EXPECT_TRUE(pcCopy.GetPCDecimal().empty());
  EXPECT_EQ(const_cast<Parsed&>(pcCopy).GetCategories(), pc.GetCategories());

  const std::vector<OBS> low = Str("Alpha", 10), high = Str("Omega", 10);
  Parsed range(low[0], high[0], 10);
  range.SetSubtotalLabel("unused", false);
  Parsed rangeCopy(range);
  EXPECT_TRUE(rangeCopy == range);
  EXPECT_EQ(BytesOf(rangeCopy.GetCatValue(), 16), "Alpha           ");
  EXPECT_EQ(BytesOf(rangeCopy.GetRangeTopValue(), 16), "Omega           ");
  EXPECT_EQ(rangeCopy.GetSubtotalLabel(), "unused");
  EXPECT_FALSE(rangeCopy.IsLabelDefault());
  rangeCopy.SetRangeTopValue(Str("Beta", 10)[0]);
  EXPECT_EQ(BytesOf(range.GetRangeTopValue(), 5), "Omega");
}

TEST(ParsedCategoryTest, AssignmentLeavesComputedFieldsAndGrowsArrays) {
  Parsed target("keep", {"k", "eep"}, true, {TableEncryptionCodes::kMean}, {}, {},
                Parsed::kPCompute, 1);
  const std::vector<OBS> low = Str("0123456789abcdefghij", 20), high = Str("zz", 20);
  Category member(Category::kValue);
  Parsed source(low[0], high[0], 20);
  source.AddCategory(&member);
  target = source;  // from no arrays to three-cell arrays
  EXPECT_EQ(target.GetPCType(), Parsed::kRange);
  EXPECT_EQ(target.GetValueType(), 20);
  EXPECT_EQ(BytesOf(target.GetCatValue(), 24), "0123456789abcdefghij    ");
  EXPECT_EQ(BytesOf(target.GetRangeTopValue(), 24), "zz" + std::string(22, ' '));
  EXPECT_EQ(target.GetPCatName(), "keep");
  EXPECT_EQ(target.GetPostCatLabel(), "keep");
  EXPECT_EQ(target.GetPCFormat().size(), 1u);
  EXPECT_EQ(target.GetCategories(), source.GetCategories());
  EXPECT_TRUE(target == source);

  // Narrower, then wider again: no leak and no write past an array.
  const Parsed narrow(Str("q", 1)[0], 1);
  for (int i = 0; i < 3; ++i) {
    target = narrow;
    EXPECT_TRUE(target == narrow);
    target = source;
    EXPECT_TRUE(target == source);
  }
  Parsed& alias = target;
  target = alias;
  EXPECT_TRUE(target == source);
}

TEST(ParsedCategoryTest, EqualityByType) {
  const std::vector<OBS> ab = Str("AB", 2), ab4 = Str("AB", 4), abx = Str("ABX", 3);
  EXPECT_TRUE(Parsed(ab[0], 2) == Parsed(ab4[0], 4));
  EXPECT_FALSE(Parsed(ab[0], 2) == Parsed(abx[0], 3));
  EXPECT_FALSE(Parsed(Num(1.0), 0) == Parsed(ab[0], 2));
  EXPECT_TRUE(Parsed(Num(1.0), 0) == Parsed(Num(1.0), 0));
  EXPECT_FALSE(Parsed(Num(1.0), 0) == Parsed(Num(1.0), 0, Parsed::kLoRange));
  EXPECT_FALSE(Parsed(Parsed::kValue) == Parsed(Parsed::kValue));
  EXPECT_TRUE(Parsed(Num(1.0), 0, Parsed::kHiRange) == Parsed(Num(1.0), 0, Parsed::kHiRange));

  EXPECT_TRUE(Parsed(Num(1.0), Num(5.0), 0) == Parsed(Num(1.0), Num(5.0), 0));
  EXPECT_FALSE(Parsed(Num(1.0), Num(5.0), 0) == Parsed(Num(1.0), Num(6.0), 0));
  EXPECT_TRUE(Parsed(ab[0], ab[0], 2) == Parsed(ab4[0], ab4[0], 4));

  EXPECT_TRUE(Parsed(Parsed::kMissing) == Parsed(Parsed::kMissing));
  EXPECT_TRUE(Parsed(Parsed::kOtherNM) == Parsed(Parsed::kOtherNM));
  EXPECT_FALSE(Parsed(Parsed::kMissing) == Parsed(Parsed::kOtherNM));

  EXPECT_TRUE(Parsed("Sum", true, -101, true) == Parsed("Sum", true, -101, true));
  EXPECT_FALSE(Parsed("Sum", true, -101, true) == Parsed("Sum", false, -101, true));
  EXPECT_FALSE(Parsed("Sum", true, -101, true) == Parsed("Sum", true, -102, true));
  EXPECT_FALSE(Parsed("Sum", true, -101, true) == Parsed("Sum", true, -101, false));

  Parsed var1(Parsed::kVariable), var2(Parsed::kVariable);
  var1.SetVarIndex(3);
  var2.SetVarIndex(3);
  EXPECT_TRUE(var1 == var2);
  var2.SetVarIndex(4);
  EXPECT_FALSE(var1 == var2);

  EXPECT_TRUE(Parsed("pc", {"x"}, false, {}, {}, {}, Parsed::kPCompute, 0) ==
              Parsed("pc", {"y"}, true, {}, {}, {}, Parsed::kPCompute, 9));
  EXPECT_FALSE(Parsed("pc", {}, false, {}, {}, {}, Parsed::kPCompute, 0) ==
               Parsed("pd", {}, false, {}, {}, {}, Parsed::kPCompute, 0));
}

// Every kind of entry as Display shows it, long texts cut to the buffer.
TEST(ParsedCategoryTest, DisplayGolden) {
  Parsed variable(Parsed::kVariable);
  variable.SetVarIndex(12);
  Parsed longText(Parsed::kValue);
  longText.SetCatValue(std::string(300, 'T').c_str());
  const std::vector<Parsed> entries = {Parsed(Num(5.0), 0),
                                       Parsed(Str("AB", 2)[0], 2),
                                       Parsed(Num(1.5), Num(2e10), 0),
                                       Parsed(Str("A", 3)[0], Str("Zulu", 3)[0], 3),
                                       Parsed(Num(-3.0), 0, Parsed::kLoRange),
                                       Parsed(Str("m", 1)[0], 1, Parsed::kLoRange),
                                       Parsed(Num(0.25), 0, Parsed::kHiRange),
                                       Parsed(Str("m", 1)[0], 1, Parsed::kHiRange),
                                       Parsed(Parsed::kLoHiRange),
                                       Parsed(Parsed::kMissing),
                                       Parsed(Parsed::kOtherNM),
                                       Parsed("Sum of A", false, -101, true),
                                       Parsed("Hidden", true, -102, false),
                                       variable,
                                       Parsed("pc", {}, false, {}, {}, {}, Parsed::kPCompute, 0),
                                       Parsed(std::string(1000, 'L'), true, -101, true),
                                       longText};
  OutputCapture capture;
  for (size_t i = 0; i < entries.size(); ++i) entries[i].Display(static_cast<int>(i));
  ExpectGolden("ParsedCategory", Joined(capture.lines));
}

TEST(ParsedCategoryDeathTest, PreconditionsStopTheProcess) {
  EXPECT_DEATH(Parsed(Parsed::kValue).SetCatValue(1.0), "_valType == 0");
  EXPECT_DEATH(Parsed(Str("AB", 2)[0], 2).SetCatValue(Str("ABCDE", 5)[0], 5),
               "_catValue && valueType <= _valType");
  EXPECT_DEATH(Parsed(Str("AB", 2)[0], Str("CD", 2)[0], 2).SetRangeTopValue(Str("ABCDE", 5)[0], 5),
               "_rangeTopValue && valueType <= _valType");
}

}  // namespace

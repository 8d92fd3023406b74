#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "keyindex.h"
#include "support/TestValues.h"

namespace {

using testsupport::BytesOf;
using testsupport::Num;
using testsupport::Str;

using Category = AggregationCategory;

// A comparison operand: a number (width 0) or a text of the given width.
struct Operand {
  double number;
  const char* text;
  int width;
  std::vector<OBS> Cells() const {
    return width == 0 ? std::vector<OBS>{Num(number)} : Str(text, width);
  }
};
const double kNaN = std::nan("");

TEST(AggregationCategoryTest, OrderNumbersFirstAndIgnoreTrailingBlanks) {
  EXPECT_EQ(Category::OBSCompare(Num(1.0), 0, Num(2.0), 0) < 0, true);
  EXPECT_EQ(Category::OBSCompare(Num(2.0), 0, Num(1.0), 0) > 0, true);
  EXPECT_EQ(BytesOf(Category::Blanks(), 8), "        ");
  EXPECT_EQ(&Category::Blanks(), &Category::Blanks());
  const struct {
    Operand a, b;
    int order;
  } rows[] = {{{5, "", 0}, {0, "A", 1}, -1},       {{1e300, "", 0}, {0, " ", 1}, -1},
              {{5, "", 0}, {0, "", 20}, -1},       {{0, "A", 1}, {5, "", 0}, 1},
              {{0, "", 20}, {1e300, "", 0}, 1},    {{2, "", 0}, {2, "", 0}, 0},
              {{-0.0, "", 0}, {0, "", 0}, 0},      {{0, "A", 1}, {0, "A", 8}, 0},
              {{0, "A", 8}, {0, "A", 1}, 0},       {{0, "AB", 2}, {0, "AB", 4}, 0},
              {{0, "A", 1}, {0, "AB", 2}, -1},     {{0, "AB", 2}, {0, "ABC", 3}, -1},
              {{0, "ABC", 3}, {0, "AB", 2}, 1},    {{0, "A", 1}, {0, "A      X", 8}, -1},
              {{0, "A      X", 8}, {0, "A", 1}, 1}};
  for (const auto& row : rows) {
    const std::vector<OBS> a = row.a.Cells(), b = row.b.Cells();
    EXPECT_EQ(Category::OBSCompare(a[0], row.a.width, b[0], row.b.width), row.order)
        << row.a.text << row.a.number << " " << row.b.text << row.b.number;
  }
}

TEST(AggregationCategoryTest, StringOrderIsTheHostOrderUnchanged) {
  // When the shared width already decides, the host's three-way result is
  // handed back as it is, whatever its magnitude.
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"A", "Z"}, {"Z", "A"}, {"AAAA", "AAAz"}, {"a", "B"}, {"abc", "ABC"}};
  for (const auto& pair : pairs) {
    const std::vector<OBS> a = Str(pair.first, 4), b = Str(pair.second, 6);
    const int host = ObsLexCompare(a[0], b[0], 4);
    ASSERT_NE(host, 0) << pair.first << " " << pair.second;
    EXPECT_EQ(Category::OBSCompare(a[0], 4, b[0], 6), host) << pair.first << " " << pair.second;
  }
}

// Strings are equal when blank-filled to one width, over different cell
// counts (1 and 2, 1 and 3, 3 and 3) or one; numbers are equal exactly.
TEST(AggregationCategoryTest, EqualityFillsStringsWithBlanksAndIsExactOnNumbers) {
  const struct {
    Operand a, b;
    bool equal;
  } rows[] = {{{0, "ABC", 3}, {0, "ABC", 12}, true},
              {{0, "ABC", 12}, {0, "ABC", 3}, true},
              {{0, "ABC", 3}, {0, "ABC        X", 12}, false},
              {{0, "ABC        X", 12}, {0, "ABC", 3}, false},
              {{0, "A", 20}, {0, "A", 1}, true},
              {{0, "A", 17}, {0, "A", 20}, true},
              {{0, "AB", 2}, {0, "AB", 6}, true},
              {{0, "AB", 2}, {0, "ABC", 6}, false},
              {{0.0, "", 0}, {-0.0, "", 0}, true},
              {{kNaN, "", 0}, {kNaN, "", 0}, false},
              {{1.0, "", 0}, {std::nextafter(1.0, 2.0), "", 0}, false},
              {{0.0, "", 0}, {0, "", 8}, false},
              {{0, "", 8}, {0.0, "", 0}, false}};
  for (const auto& row : rows) {
    const std::vector<OBS> a = row.a.Cells(), b = row.b.Cells();
    EXPECT_EQ(Category::OBSCompareEqual(a[0], row.a.width, b[0], row.b.width), row.equal)
        << row.a.text << row.a.number << " " << row.b.text << row.b.number;
  }
}

TEST(AggregationCategoryTest, EqualWidthsCompareOnlyTheWidth) {
  std::vector<OBS> left = Str("AB", 2), right = Str("AB", 2);
  left[0].str[5] = 'x';
  right[0].str[5] = 'y';
  EXPECT_TRUE(Category::OBSCompareEqual(left[0], 2, right[0], 2));
  right[0].str[1] = 'C';
  EXPECT_FALSE(Category::OBSCompareEqual(left[0], 2, right[0], 2));
}

TEST(AggregationCategoryTest, NegativeZeroIsStoredAsPositiveZero) {
  Category category(Category::kValue);
  category.SetCatValue(-0.0);
  EXPECT_FALSE(std::signbit(category.GetCatValue().num));
  category.SetCatValue(Num(-0.0));
  EXPECT_FALSE(std::signbit(category.GetCatValue().num));
  category.SetCatValue(Num(-0.0), 0);
  EXPECT_FALSE(std::signbit(category.GetCatValue().num));
  category.SetCatValue(-2.5);
  EXPECT_EQ(category.GetCatValue().num, -2.5);
}

// Half away from zero; outside the int range clamped; NaN is 0.
TEST(AggregationCategoryTest, EncodingRoundsAndClamps) {
  Category category;
  const std::vector<std::pair<double, int>> cases = {
      {2.5, 3},         {-2.5, -3},        {1.49, 1},
      {-1.49, -1},      {0.5, 1},          {-0.5, -1},
      {0.0, 0},         {7.0, 7},          {-100.0, -100},
      {1e300, INT_MAX}, {-1e300, INT_MIN}, {std::numeric_limits<double>::infinity(), INT_MAX},
      {kNaN, 0}};
  for (const auto& c : cases) {
    category.SetCatEncoding(c.first);
    EXPECT_EQ(category.GetCatEncoding(), c.second) << c.first;
  }
}

TEST(AggregationCategoryTest, TextWidensTheCategoryAndBlankFills) {
  Category category(Category::kValue, 8);
  category.SetCatValue("ABCDEFGHIJKL");
  EXPECT_EQ(category.GetValueType(), 12);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), "ABCDEFGHIJKL    ");

  // A shorter text keeps the width and is blank-filled to it.
  category.SetCatValue("XY");
  EXPECT_EQ(category.GetValueType(), 12);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), "XY              ");

  Category numeric(Category::kVariable);
  numeric.SetCatValue("age");
  EXPECT_EQ(numeric.GetValueType(), 3);
  EXPECT_EQ(BytesOf(numeric.GetCatValue(), 8), "age     ");
}

TEST(AggregationCategoryTest, NarrowerValueIsBlankFilledToTheWidth) {
  Category category(Category::kValue, 12);
  category.SetCatValue("ABCDEFGHIJKL");
  std::vector<OBS> source = Str("ABzzzzzz", 8);
  category.SetCatValue(source[0], 2);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), "AB              ");
  // A negative width copies nothing.
  category.SetCatValue(source[0], -1);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), std::string(16, ' '));
}

TEST(AggregationCategoryTest, WidthChangesKeepOrGrowTheArray) {
  Category category(Category::kValue, 16);
  category.SetCatValue("ABCDEFGHIJKLMNOP");
  category.SetValueType(3);
  EXPECT_EQ(category.GetValueType(), 3);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), "ABCDEFGHIJKLMNOP");
  category.SetValueType(0);  // numeric, bytes untouched
  EXPECT_EQ(category.GetValueType(), 0);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), "ABCDEFGHIJKLMNOP");

  // Growing to three cells: the value can be written over the full width.
  category.SetValueType(24);
  EXPECT_EQ(category.GetValueType(), 24);
  std::vector<OBS> source = Str("abcdefghijklmnopqrstuvwx", 24);
  category.SetCatValue(source[0]);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 24), "abcdefghijklmnopqrstuvwx");
}

// A category with every field set, for the copy tests.
Category FullCategory(const QUOR_Format* format) {
  Category category(Category::kValue, 10);
  category.SetCatValue("Lisbon");
  category.SetCatEncoding(7);
  category.SetVarIndex(3);
  category.SetCatLabel("the capital", true);
  category.SetPCateName("diff");
  category.SetPCFormat({TableEncryptionCodes::kCount});
  category.SetPCDisplayFormat({TableEncryptionCodes::kDisplayPercent});
  category.SetPCDecimal({format});
  category.SetUseLabelForVar();
  category.SetEmpty(true);
  return category;
}

// The fields of FullCategory that both a copy and an assignment carry.
void ExpectFullFieldsCarried(const Category& category) {
  EXPECT_EQ(category.GetCatType(), Category::kValue);
  EXPECT_EQ(category.GetValueType(), 10);
  EXPECT_EQ(BytesOf(category.GetCatValue(), 16), "Lisbon          ");
  EXPECT_EQ(category.GetCatEncoding(), 7);
  EXPECT_EQ(category.GetVarIndex(), 3);
  EXPECT_EQ(category.GetCatLabel(), "the capital");
  EXPECT_TRUE(category.UseLabelForVar());
  EXPECT_TRUE(category.IsEmpty());
}

TEST(AggregationCategoryTest, CopyCarriesValueAndLabelButNotComputedFields) {
  const QUOR_Format format(1);
  const Category original = FullCategory(&format);
  Category copy(original);
  ExpectFullFieldsCarried(copy);
  EXPECT_NE(&copy.GetCatValue(), &original.GetCatValue());
  EXPECT_FALSE(copy.IsLabelDefault());
  EXPECT_TRUE(copy.GetPCatName().empty());
  EXPECT_TRUE(copy.GetPCFormat().empty());
  EXPECT_TRUE(copy.GetPCDisplayFormat().empty());
  EXPECT_TRUE(copy.GetPCDecimal().empty());
  EXPECT_TRUE(copy == original);
  copy.SetCatValue("Porto");
  EXPECT_EQ(BytesOf(original.GetCatValue(), 6), "Lisbon");
}

TEST(AggregationCategoryTest, AssignmentKeepsLabelDefaultAndComputedFields) {
  const QUOR_Format format(1);
  Category target(Category::kPCompute);
  target.SetCatLabel("mine", true);
  target.SetPCateName("keep");
  target.SetPCFormat({TableEncryptionCodes::kMean});
  target.SetPCDecimal({&format});
  const Category source = FullCategory(&format);
  target = source;  // numeric target widened to ten bytes
  ExpectFullFieldsCarried(target);
  EXPECT_TRUE(target.IsLabelDefault());
  EXPECT_EQ(target.GetPCatName(), "keep");
  EXPECT_EQ(target.GetPCFormat(),
            std::vector<TableEncryptionCodes::StatisticCodes>{TableEncryptionCodes::kMean});
  EXPECT_TRUE(target.GetPCDisplayFormat().empty());
  EXPECT_EQ(target.GetPCDecimal().size(), 1u);

  Category& alias = target;
  target = alias;
  EXPECT_EQ(BytesOf(target.GetCatValue(), 16), "Lisbon          ");
}

TEST(AggregationCategoryTest, AssignmentBetweenWidthsBlankFillsTheLastCell) {
  Category wide(Category::kValue, 20);
  wide.SetCatValue("ABCDEFGHIJKLMNOPQRST");
  Category narrow(Category::kValue, 3);
  narrow.SetCatValue("xyz");
  wide = narrow;
  EXPECT_EQ(wide.GetValueType(), 3);
  EXPECT_EQ(BytesOf(wide.GetCatValue(), 8), "xyz     ");
  EXPECT_TRUE(wide == narrow);

  Category number(Category::kValue);
  number.SetCatValue(4.25);
  wide = number;
  EXPECT_EQ(wide.GetValueType(), 0);
  EXPECT_EQ(wide.GetCatValue().num, 4.25);
  // Growing again after shrinking: repeated assignment must neither leak nor
  // write past the array (checked by the sanitizer build).
  Category longer(Category::kValue, 40);
  longer.SetCatValue("0123456789012345678901234567890123456789");
  for (int i = 0; i < 3; ++i) {
    wide = longer;
    EXPECT_EQ(BytesOf(wide.GetCatValue(), 40), "0123456789012345678901234567890123456789");
    wide = number;
  }
}

TEST(AggregationCategoryTest, EqualityDependsOnTheType) {
  Category total1(Category::kTotal), total2(Category::kTotal);
  total1.SetCatEncoding(-100);
  total2.SetCatEncoding(5);
  EXPECT_TRUE(total1 == total2);
  EXPECT_TRUE(Category() == Category());
  EXPECT_FALSE(Category(Category::kTotal) == Category(Category::kDummy));

  Category short3(Category::kValue, 3), long12(Category::kValue, 12);
  short3.SetCatValue("ABC");
  long12.SetCatValue("ABC");
  EXPECT_TRUE(short3 == long12);
  long12.SetCatValue("ABCD");
  EXPECT_FALSE(short3 == long12);

  Category sub1(Category::kSubtotal), sub2(Category::kSubtotal);
  sub1.SetCatEncoding(-101);
  sub2.SetCatEncoding(-101);
  sub2.SetCatLabel("other label", false);
  EXPECT_TRUE(sub1 == sub2);
  sub2.SetCatEncoding(-102);
  EXPECT_FALSE(sub1 == sub2);

  Category var1(Category::kVariable), var2(Category::kVariable);
  var1.SetVarIndex(4);
  var2.SetVarIndex(4);
  var2.SetCatValue("other");
  EXPECT_TRUE(var1 == var2);
  var2.SetVarIndex(5);
  EXPECT_FALSE(var1 == var2);

  Category pc1(Category::kPCompute), pc2(Category::kPCompute);
  pc1.SetCatLabel("A minus B", false);
  pc2.SetCatLabel("A minus B", true);
  pc1.SetPCateName("first");
  pc2.SetPCateName("second");
  EXPECT_TRUE(pc1 == pc2);
  pc2.SetCatLabel("A plus B", true);
  EXPECT_FALSE(pc1 == pc2);
}

TEST(AggregationCategoryDeathTest, PreconditionsStopTheProcess) {
  EXPECT_DEATH(Category(Category::kValue, 4).SetCatValue(1.0), "_valType == 0");
  EXPECT_DEATH(Category().SetValueType(-1), "valueType >= 0");
  EXPECT_DEATH(Category(Category::kValue, -3), "valueType >= 0");
  const std::vector<OBS> text = Str("ABCDEFGHI", 9);
  EXPECT_DEATH(Category(Category::kValue, 8).SetCatValue(text[0], 9),
               "_catValue && valueType <= \\(int\\) _valType");
}

}  // namespace

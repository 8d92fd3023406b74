#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationStatistic.h"
#include "AggregationVariable.h"
#include "ParsedCategory.h"
#include "TableCVariable.h"
#include "TableMetadata.h"
#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::Cells;
using testsupport::Num;
using testsupport::Str;

const int kTotal = TableEncryptionCodes::kTotalCategory;

// One numeric variable "v" with user-missing value 99; a NaN in the list of
// values stands for a system-missing case.
struct NumericData {
  explicit NumericData(const std::vector<double>& values) {
    index = data.AddVariable("v", 0);
    data.GetVariable(index).AddMissingValue(99.0);
    for (double value : values) data.SetValue(data.AddCase(), index, value);
  }
  QUOR_DataSource data;
  int index;
};

// Binds the dimension and encodes every case.
void EncodeAll(TableDimension& dim, const QUOR_DataSource& data) {
  QUOR_InputCaseIterator iterator(data);
  dim.SetIterator(iterator);
  while (iterator.Next()) dim.EncodeValue();
}

// An iterator over rows of its own, so that a case can hold a NaN (the data
// source stores a NaN as the system-missing value).
class RowIterator : public QUOR_InputCaseIterator {
 public:
  RowIterator(const QUOR_DataSource& data, std::vector<double> values)
      : QUOR_InputCaseIterator(data), _values(std::move(values)) {}
  bool Next() override {
    if (_next >= _values.size()) return false;
    _row.num = _values[_next++];
    SetCurrentRow(&_row);
    return true;
  }

 private:
  std::vector<double> _values;
  size_t _next = 0;
  OBS _row;
};

TEST(TableCVariableTest, NaNNeverFormsACategory) {
  NumericData d({});
  AggregationVariable var(d.index, "v");
  var.SetIsMissingExclude(false);  // missing values included
  var.SetIsTotalNo(false);
  TableCVariable dim(var);
  RowIterator iterator(d.data, {std::nan(""), 4.0});
  dim.SetIterator(iterator);
  ASSERT_TRUE(iterator.Next());
  EXPECT_TRUE(dim.EncodeValue());
  EXPECT_EQ(Cells(dim), std::vector<int>{kTotal});
  EXPECT_FALSE(dim.IsValueValid());
  ASSERT_TRUE(iterator.Next());
  dim.EncodeValue();
  EXPECT_EQ(Cells(dim), (std::vector<int>{1, kTotal}));
  EXPECT_EQ(dim.GetNumberOfValues(), 1);
  EXPECT_EQ(dim.GetNumberOfCategories(), 2);  // 4 and the total; the list is built first
}

// A value the explicit list refuses is not numbered and counts nowhere, not
// even in the total; a reset forgets the values met.
TEST(TableCVariableTest, ValueOutsideTheExplicitListCountsNowhere) {
  NumericData d({4, 1});
  ParsedCategory one(Num(1), 0);
  AggregationVariable var(d.index, "v");
  var.SetParsedCategories({&one});
  var.SetIsTotalNo(false);
  TableCVariable dim(var);
  QUOR_InputCaseIterator iterator(d.data);
  dim.SetIterator(iterator);
  ASSERT_TRUE(iterator.Next());
  EXPECT_FALSE(dim.EncodeValue());
  EXPECT_EQ(Cells(dim), std::vector<int>{0});
  ASSERT_TRUE(iterator.Next());
  dim.EncodeValue();
  EXPECT_EQ(dim.GetNumberOfValues(), 1);
  dim.ResetDimension();
  EXPECT_EQ(dim.GetNumberOfValues(), 0);
}

TEST(TableCVariableTest, StringValuesAreEncodedAcrossWidths) {
  QUOR_DataSource data;
  const int s = data.AddVariable("s", 12);
  const int c = data.AddCase();
  data.SetValue(c, s, std::string("AB"));
  TableCVariable dim(s);
  EncodeAll(dim, data);
  EXPECT_EQ(dim.GetValueType(), 12);

  const std::vector<OBS> own = Str("AB", 12);
  EXPECT_EQ(dim.GetCategoryEncoding(own.data()), 1);
  EXPECT_EQ(dim.GetCategoryEncoding(own.data(), 12), 1);
  // A 4-byte value is widened with a blank unit.
  EXPECT_EQ(dim.GetCategoryEncoding(Str("AB", 4).data(), 4), 1);
  // A 20-byte value is narrowed when its extra bytes are blanks.
  EXPECT_EQ(dim.GetCategoryEncoding(Str("AB", 20).data(), 20), 1);
  std::vector<OBS> wide = Str("AB", 20);
  wide[2].str[0] = 'X';  // third unit not blank
  EXPECT_EQ(dim.GetCategoryEncoding(wide.data(), 20), 0);
  // Same number of units but a byte past the dimension's width: a different value.
  std::vector<OBS> sixteen = Str("AB", 16);
  sixteen[1].str[6] = 'Y';
  EXPECT_EQ(dim.GetCategoryEncoding(sixteen.data(), 16), 0);
  const OBS number = Num(1);
  EXPECT_EQ(dim.GetCategoryEncoding(&number, 0), 0);
  EXPECT_EQ(dim.GetCategoryEncoding(Str("AC", 4).data(), 4), 0);
}

TEST(TableCVariableDeathTest, EncodingValueTypeMustNotBeNegative) {
  NumericData d({4});
  TableCVariable dim(d.index);
  EncodeAll(dim, d.data);
  const OBS four = Num(4);
  EXPECT_DEATH(dim.GetCategoryEncoding(&four, -1), "valueType >= 0");
}

// Exposes the protected parts of the dimension base for inspection.
class ProbeDimension : public TableCVariable {
 public:
  using TableCVariable::TableCVariable;
  using TableDimension::GetSortValues;
  void SetCategories(const std::vector<AggregationCategory*>& categories) {
    _categories = categories;
    _categoriesReady = true;
  }
};

TEST(TableDimensionTest, SortValuesSkipTheTotalAndFillEmptyCategories) {
  NumericData d({1, 2, 2});
  const int x = d.data.AddVariable("x", 0);
  d.data.SetValue(0, x, 10.0);
  d.data.SetValue(1, x, 4.0);
  d.data.SetValue(2, x, 6.0);
  QUOR_InputCaseIterator iterator(d.data);

  for (const auto statistic : {TableEncryptionCodes::kMean, TableEncryptionCodes::kCount}) {
    TableMetadata metadata(iterator, true);
    ProbeDimension* dim = new ProbeDimension(d.index);
    ASSERT_EQ(metadata.AddDimension(dim), dim);
    dim->SetSortByScaleStats(metadata, AggregationStatistic(x, statistic));
    iterator.Rewind();
    while (iterator.Next()) metadata.EncodeCase();

    auto makeCategory = [&](int code, AggregationCategory::CategoryType type) {
      AggregationCategory* category = new AggregationCategory(type);
      category->SetCatEncoding(code);
      return category;
    };
    dim->SetCategories({makeCategory(1, AggregationCategory::kValue),
                        makeCategory(0, AggregationCategory::kValue),
                        makeCategory(kTotal, AggregationCategory::kTotal),
                        makeCategory(2, AggregationCategory::kValue)});
    std::vector<double> values = {42.0};
    dim->GetSortValues(values);
    ASSERT_EQ(values.size(), 3u);
    if (statistic == TableEncryptionCodes::kMean) {
      EXPECT_EQ(values[0], 10.0);
      EXPECT_EQ(values[1], TableEncryptionCodes::kMissingValue);
      EXPECT_EQ(values[2], 5.0);
    } else {
      EXPECT_EQ(values[0], 1.0);
      EXPECT_EQ(values[1], 0.0);  // a count-like statistic counts nothing
      EXPECT_EQ(values[2], 2.0);
    }
  }
}

TEST(TableDimensionDeathTest, SortValuesNeedASortAggregator) {
  ProbeDimension dim(0);
  std::vector<double> values;
  EXPECT_DEATH(dim.GetSortValues(values), "_sortAggregator");
}

}  // namespace

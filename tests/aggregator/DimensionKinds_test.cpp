// What the three kinds of categorical dimensions share, run over each: a
// variable, a multiple category set and a multiple dichotomy set, each fed
// cases that give one value or none. A value v is the variable's value, the
// set's first member's value, or a response to the dichotomy set's member v.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationVariable.h"
#include "TableCVariable.h"
#include "TableMCSet.h"
#include "TableMDSet.h"
#include "casesource.h"
#include "support/DimensionCases.h"

namespace {

using testsupport::CaseCells;
using testsupport::EncodeAll;

const int kTotal = TableEncryptionCodes::kTotalCategory;
const int kExcluded = -99;
const double kNone = std::nan("");

struct VariableKind {
  using Dimension = TableCVariable;
  static std::unique_ptr<AggregationVariable> Make(QUOR_DataSource& data,
                                                   const std::vector<double>& values) {
    const int v = data.AddVariable("v", 0);
    for (const double value : values) data.SetValue(data.AddCase(), v, value);
    return std::make_unique<AggregationVariable>(v, "v");
  }
  static std::unique_ptr<TableDimension> Bind(const AggregationVariable& variable) {
    return std::make_unique<TableCVariable>(variable);
  }
};

struct CategorySetKind {
  using Dimension = TableMCSet;
  static std::unique_ptr<AggregationVariable> Make(QUOR_DataSource& data,
                                                   const std::vector<double>& values) {
    const int first = data.AddVariable("m0", 0), second = data.AddVariable("m1", 0);
    for (const double value : values) data.SetValue(data.AddCase(), first, value);
    return std::make_unique<AggregationMCSet>(std::vector<int>{first, second}, "$mc");
  }
  static std::unique_ptr<TableDimension> Bind(const AggregationVariable& variable) {
    return std::make_unique<TableMCSet>(static_cast<const AggregationMCSet&>(variable));
  }
};

struct DichotomySetKind {
  using Dimension = TableMDSet;
  static std::unique_ptr<AggregationVariable> Make(QUOR_DataSource& data,
                                                   const std::vector<double>& values) {
    std::vector<int> members;
    for (int m = 0; m < 10; ++m) members.push_back(data.AddVariable("d" + std::to_string(m), 0));
    for (const double value : values) {
      const int row = data.AddCase();
      for (const int m : members) data.SetValue(row, m, m == value ? 1.0 : 0.0);
    }
    static OBS counted;
    counted.num = 1.0;
    return std::make_unique<AggregationMDSet>(members, "$md", &counted, 1, false);
  }
  static std::unique_ptr<TableDimension> Bind(const AggregationVariable& variable) {
    return std::make_unique<TableMDSet>(static_cast<const AggregationMDSet&>(variable));
  }
};

template <typename Kind>
class DimensionKindsTest : public ::testing::Test {
 protected:
  AggregationVariable& Variable(const std::vector<double>& values) {
    _variable = Kind::Make(_data, values);
    return *_variable;
  }
  std::vector<CaseCells> Encode(TableDimension& dimension) {
    return EncodeAll(dimension, _iterator);
  }

  QUOR_DataSource _data;
  QUOR_InputCaseIterator _iterator{_data};
  std::unique_ptr<AggregationVariable> _variable;
};

using Kinds = ::testing::Types<VariableKind, CategorySetKind, DichotomySetKind>;
TYPED_TEST_SUITE(DimensionKindsTest, Kinds);

// A case without a value counts nowhere without a total and in the total only
// with one; it is not valid and not refused.
TYPED_TEST(DimensionKindsTest, ACaseWithoutValueReachesOnlyTheTotal) {
  AggregationVariable& variable = this->Variable({kNone});
  auto plain = TypeParam::Bind(variable);
  EXPECT_EQ(this->Encode(*plain)[0].codes, std::vector<int>{kExcluded});
  variable.SetIsTotalNo(false);
  auto totalled = TypeParam::Bind(variable);
  const CaseCells none = this->Encode(*totalled)[0];
  EXPECT_EQ(none.codes, std::vector<int>{kTotal});
  EXPECT_TRUE(none.result);
  EXPECT_FALSE(none.valid);
}

// A copy keeps the codes met so far, numbers new values on its own and owns
// what it needs once the source is gone.
TYPED_TEST(DimensionKindsTest, ACopyContinuesTheCodesOnItsOwn) {
  using Dimension = typename TypeParam::Dimension;
  AggregationVariable& variable = this->Variable({5, 3, 8});
  variable.SetIsEmptyInclude(false);  // a dichotomy set would list its silent members
  auto bound = TypeParam::Bind(variable);
  auto source = std::unique_ptr<Dimension>(static_cast<Dimension*>(bound.release()));
  source->SetIterator(this->_iterator);
  ASSERT_TRUE(this->_iterator.Next());
  source->EncodeValue();
  ASSERT_TRUE(this->_iterator.Next());
  source->EncodeValue();
  Dimension copy(*source);
  source.reset();
  ASSERT_TRUE(this->_iterator.Next());
  EXPECT_TRUE(copy.EncodeValue());
  EXPECT_EQ(testsupport::ReadCells(copy, true).codes, std::vector<int>{3});
  EXPECT_EQ(copy.GetNumberOfValues(), 3);
  EXPECT_EQ(copy.GetCategoryPointers().size(), 3u);
}

// Without a value in any case and without empty categories, the list holds
// only the "None valid" placeholder, which counts as no category.
TYPED_TEST(DimensionKindsTest, NoValueAtAllLeavesTheNoneValidPlaceholder) {
  AggregationVariable& variable = this->Variable({kNone, kNone});
  variable.SetIsEmptyInclude(false);
  auto dimension = TypeParam::Bind(variable);
  this->Encode(*dimension);
  const std::vector<AggregationCategory*>& categories = dimension->GetCategoryPointers();
  ASSERT_EQ(categories.size(), 1u);
  EXPECT_EQ(categories[0]->GetCatType(), AggregationCategory::kDummy);
  EXPECT_EQ(categories[0]->GetCatLabel(), "None valid");
  EXPECT_TRUE(categories[0]->IsLabelDefault());
  EXPECT_EQ(dimension->GetNumberOfCategories(), 0);
  EXPECT_EQ(dimension->NEmptyCategories(), 0);
}

}  // namespace

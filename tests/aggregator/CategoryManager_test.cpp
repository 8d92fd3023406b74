#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationVariable.h"
#include "CategoryManager.h"
#include "ParsedCategory.h"
#include "TableDimension.h"
#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::Num;
using testsupport::Str;

using Category = AggregationCategory;
using Parsed = ParsedCategory;
using Codes = TableEncryptionCodes;

const double kSysmis = Codes::kMissingValue;

// A dimension that answers GetCategoryEncoding from the categories it was
// told it met, so that the manager can be driven without case data.
class FakeDimension : public TableDimension {
 public:
  FakeDimension(const AggregationVariable& variable, std::vector<int> members,
                QUOR_InputCaseIterator& iterator, DimensionType type = kCategoricalVariable)
      : TableDimension(3, type, variable), _members(std::move(members)) {
    _iterator = &iterator;
  }
  void SetMet(const std::vector<AggregationCategory*>& met) { _met = met; }

  bool EncodeValue() override { return false; }
  const std::vector<AggregationCategory*>& GetCategoryPointers() override { return _categories; }
  std::vector<int> VariableIndex() override { return _members; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return {}; }
  void SetIterator(QUOR_InputCaseIterator& iterator) override { _iterator = &iterator; }
  int GetCategoryEncoding(const OBS* value) const override {
    for (const AggregationCategory* met : _met) {
      if (met->GetCatType() == AggregationCategory::kValue &&
          AggregationCategory::OBSCompareEqual(*value, met->GetValueType(), met->GetCatValue(),
                                               met->GetValueType())) {
        return met->GetCatEncoding();
      }
    }
    return 0;
  }
  int GetNumberOfValues() const override { return static_cast<int>(_met.size()); }
  void ResetDimension() override {}

 private:
  std::vector<int> _members;
  std::vector<AggregationCategory*> _met;
};

// One category per word: values as numbers or 'strings', T total, S/H and the
// code for subtotals, P:name for computed categories, V and the index for
// member variables.
std::string Describe(const std::vector<Category*>& list) {
  std::string text;
  for (const Category* category : list) {
    if (!text.empty()) text += ' ';
    char piece[64];
    switch (category->GetCatType()) {
      case Category::kValue:
        if (category->GetValueType() == 0) {
          std::snprintf(piece, sizeof piece, "%g", category->GetCatValue().num);
        } else {
          std::string bytes(category->GetCatValue().str,
                            static_cast<size_t>(category->GetValueType()));
          bytes.erase(bytes.find_last_not_of(' ') + 1);
          std::snprintf(piece, sizeof piece, "'%s'", bytes.c_str());
        }
        break;
      case Category::kTotal:
        std::snprintf(piece, sizeof piece, "T");
        break;
      case Category::kSubtotal:
      case Category::kHSubtotal:
        std::snprintf(piece, sizeof piece, "%c%d",
                      category->GetCatType() == Category::kSubtotal ? 'S' : 'H',
                      category->GetCatEncoding());
        break;
      case Category::kPCompute:
        std::snprintf(piece, sizeof piece, "P:%s", category->GetPCatName().c_str());
        break;
      case Category::kVariable:
        std::snprintf(piece, sizeof piece, "V%d", category->GetVarIndex());
        break;
      default:
        std::snprintf(piece, sizeof piece, "D");
    }
    text += piece;
  }
  return text;
}

std::string Labels(const std::vector<Category*>& list) {
  std::string text;
  for (const Category* category : list) text += "[" + category->GetCatLabel() + "]";
  return text;
}

std::vector<int> EncodingsOf(const std::vector<Category*>& list) {
  std::vector<int> codes;
  for (const Category* category : list) codes.push_back(category->GetCatEncoding());
  return codes;
}

class CategoryManagerTest : public ::testing::Test {
 protected:
  CategoryManagerTest() : _iterator(_data) {
    _q = _data.AddVariable("q", 0);  // index 0
    for (int v = 1; v <= 5; ++v) {
      static const char* const kNames[] = {"One", "Two", "Three", "Four", "Five"};
      _data.GetVariable(_q).AddValueLabel(v, kNames[v - 1]);
    }
    _variable.SetIndex(_q);
  }
  ~CategoryManagerTest() override {
    for (Category* category : _owned) delete category;
    for (Parsed* entry : _parsed) delete entry;
  }

  Category* Value(double value, int code, const std::string& label = "") {
    Category* category = Own(new Category(Category::kValue, 0));
    category->SetCatValue(value);
    category->SetCatEncoding(code);
    category->SetVarIndex(_q);
    if (!label.empty()) category->SetCatLabel(label, false);
    return category;
  }
  Category* String(const std::string& text, int width, int code) {
    Category* category = Own(new Category(Category::kValue, width));
    category->SetCatValue(*Str(text, width).data());
    category->SetCatEncoding(code);
    return category;
  }
  Category* Total() {
    Category* total = Own(new Category(Category::kTotal));
    total->SetCatValue(0.0);
    total->SetCatEncoding(Codes::kTotalCategory);
    total->SetCatLabel("All of it", false);
    return total;
  }
  Category* Member(int varIndex, const std::string& name, const std::string& label) {
    Category* category = Own(new Category(Category::kVariable));
    category->SetVarIndex(varIndex);
    category->SetCatValue(name.c_str());
    if (!label.empty()) category->SetCatLabel(label, false);
    return category;
  }
  Category* Own(Category* category) {
    _owned.insert(category);
    return category;
  }
  Parsed* Entry(Parsed* entry) {
    _parsed.push_back(entry);
    return entry;
  }
  Parsed* ValueEntry(double value) { return Entry(new Parsed(Num(value), 0)); }
  Parsed* RangeEntry(double low, double high) { return Entry(new Parsed(Num(low), Num(high), 0)); }
  Parsed* Subtotal(int code, bool shown) {
    return Entry(new Parsed(shown ? "Sub" : "Hidden sub", false, code, shown));
  }

  // A dimension over the variable that met the value categories of the list.
  std::unique_ptr<FakeDimension> Dimension(
      const std::vector<Category*>& list, const AggregationVariable& variable,
      std::vector<int> members = {0},
      TableDimension::DimensionType type = TableDimension::kCategoricalVariable) {
    std::unique_ptr<FakeDimension> dimension(
        new FakeDimension(variable, std::move(members), _iterator, type));
    dimension->SetMet(list);
    return dimension;
  }
  // The categories the manager made belong to the test from now on.
  void Keep(const CategoryManager& manager) {
    for (Category* category : manager.GetCategories()) _owned.insert(category);
    for (Category* category : manager.GetPcRequiredCategories()) _owned.insert(category);
  }
  std::string Build(const std::vector<Category*>& list) {
    auto dimension = Dimension(list, _variable);
    CategoryManager manager(list, _variable, _data, dimension.get());
    const int count = manager.OrderCategories();
    Keep(manager);
    EXPECT_EQ(count, static_cast<int>(manager.GetCategories().size()));
    _hidden = Describe(manager.GetPcRequiredCategories());
    _labels = Labels(manager.GetCategories());
    _codes = EncodingsOf(manager.GetCategories());
    return Describe(manager.GetCategories());
  }

  QUOR_DataSource _data;
  QUOR_InputCaseIterator _iterator;
  int _q = 0;
  AggregationVariable _variable;
  std::set<Category*> _owned;
  std::vector<Parsed*> _parsed;
  std::string _hidden, _labels;
  std::vector<int> _codes;
};

// ---------------------------------------------------------------------------
// Empty categories carry no code and their value's label; the categories met
// are left for the host to label.

TEST_F(CategoryManagerTest, EmptyCategoriesHaveNoCodeAndTheValueLabel) {
  // Values 5, 3, 9 met in that order got codes 1, 2, 3.
  _data.GetVariable(_q).AddValueLabel(9.5, "Nine and a half");
  EXPECT_EQ(Build({Value(3, 2), Value(5, 1), Value(9, 3)}), "1 2 3 4 5 9 9.5");
  EXPECT_EQ(_codes, (std::vector<int>{0, 0, 2, 0, 1, 3, 0}));
  EXPECT_EQ(_labels, "[One][Two][][Four][][][Nine and a half]");
  // Through an explicit list: 1 met; 2, 3, 4 labelled; 7 only listed.
  _variable.SetParsedCategories({ValueEntry(1), ValueEntry(2), ValueEntry(7), RangeEntry(3, 4)});
  EXPECT_EQ(Build({Value(1, 1)}), "1 2 7 3 4");
  EXPECT_EQ(_codes, (std::vector<int>{1, 0, 0, 0, 0}));
  EXPECT_EQ(_labels, "[][Two][][Three][Four]");
}

// ---------------------------------------------------------------------------
// Explicit lists.

TEST_F(CategoryManagerTest, ListedStringWiderThanTheVariableKeepsItsCharacters) {
  const int shortVar = _data.AddVariable("s", 2);
  AggregationVariable variable(shortVar, "s");
  const std::vector<OBS> wide = Str("ABCD", 4);
  variable.SetParsedCategories(
      {Entry(new Parsed(*Str("AB", 2).data(), 2)), Entry(new Parsed(*wide.data(), 4))});
  std::vector<Category*> met = {String("AB", 2, 1)};
  auto dimension = Dimension(met, variable, {shortVar});
  CategoryManager manager(met, variable, _data, dimension.get());
  manager.OrderCategories();
  Keep(manager);
  EXPECT_EQ(Describe(manager.GetCategories()), "'AB' 'ABCD'");
  EXPECT_EQ(manager.GetCategories()[1]->GetValueType(), 4);
}

TEST_F(CategoryManagerTest, ComputedCategoriesStandOutsideHidingGroups) {
  _variable.SetIsEmptyInclude(false);
  _variable.SetIsTotalPositionAfter(false);
  Parsed* computed = Entry(new Parsed("diff", {"1 ", "minus 2"}, false, {Codes::kCount},
                                      {Codes::kDisplayNumber}, {}, Parsed::kPCompute, -1));
  _variable.SetParsedCategories({ValueEntry(1), Subtotal(-101, false), computed, ValueEntry(2)});
  EXPECT_EQ(Build({Value(1, 1), Value(2, 2)}), "1 H-101 P:diff");
  EXPECT_EQ(_hidden, "2");
  EXPECT_EQ(_labels, "[][Hidden sub][1 minus 2]");
}

TEST_F(CategoryManagerTest, UnclaimedValueBreaksTheList) {
  _variable.SetParsedCategories({ValueEntry(1)});
  EXPECT_DEATH(Build({Value(1, 1), Value(2, 2)}), "parsedCat");
}

// ---------------------------------------------------------------------------
// Multiple category sets.

class CategoryManagerSetTest : public CategoryManagerTest {
 protected:
  CategoryManagerSetTest() {
    _a = _data.AddVariable("a", 4);
    _b = _data.AddVariable("b", 12);
    _data.GetVariable(_a).AddValueLabel("ab", "AB from a");
    _data.GetVariable(_a).AddValueLabel("zz", "ZZ from a");
    _data.GetVariable(_b).AddValueLabel("ab", "AB from b");
    _data.GetVariable(_b).AddValueLabel("cd", "CD from b");
    _data.GetVariable(_b).AddValueLabel("abcdefgh", "Long from b");
    _set.reset(new AggregationMCSet({_a, _b}, "$set"));
  }
  std::string BuildSet(const std::vector<Category*>& list) {
    auto dimension = Dimension(list, *_set, {_a, _b}, TableDimension::kMCSet);
    CategoryManager manager(list, *_set, _data, dimension.get());
    manager.OrderMCCategories(12);
    Keep(manager);
    _labels = Labels(manager.GetCategories());
    _varIndices.clear();
    for (const Category* category : manager.GetCategories()) {
      _varIndices.push_back(category->GetVarIndex());
    }
    return Describe(manager.GetCategories());
  }

  int _a = 0, _b = 0;
  std::unique_ptr<AggregationMCSet> _set;
  std::vector<int> _varIndices;
};

TEST_F(CategoryManagerSetTest, FirstMemberThatLabelsAValueGivesLabelAndVariable) {
  EXPECT_EQ(BuildSet({String("ab", 12, 1)}), "'ab' 'abcdefgh' 'cd' 'zz'");
  EXPECT_EQ(_labels, "[AB from a][Long from b][CD from b][ZZ from a]");
  EXPECT_EQ(_varIndices, (std::vector<int>{_a, _b, _b, _a}));

  // Without empty categories only the values met are labelled, the same way.
  _set->SetIsEmptyInclude(false);
  EXPECT_EQ(BuildSet({String("ab", 12, 1), String("abcdefgh", 12, 2)}), "'ab' 'abcdefgh'");
  EXPECT_EQ(_labels, "[AB from a][Long from b]");
  EXPECT_EQ(_varIndices, (std::vector<int>{_a, _b}));
}

TEST_F(CategoryManagerSetTest, NarrowMemberDoesNotLabelALongerValue) {
  // "abcd" of the 4-byte member a is not "abcdefgh".
  _data.GetVariable(_a).AddValueLabel("abcd", "ABCD from a");
  _set->SetIsEmptyInclude(false);
  EXPECT_EQ(BuildSet({String("abcdefgh", 12, 1)}), "'abcdefgh'");
  EXPECT_EQ(_labels, "[Long from b]");
}

TEST_F(CategoryManagerSetTest, UserMissingVariableJudgesNarrowerMembers) {
  _data.GetVariable(_b).AddMissingValue("zz");
  _set->SetUserMissingVariable(_b);
  EXPECT_EQ(BuildSet({String("ab", 12, 1)}), "'ab' 'abcdefgh' 'cd'");
  _set->SetIsMissingExclude(false);
  EXPECT_EQ(BuildSet({String("ab", 12, 1)}), "'ab' 'abcdefgh' 'cd' 'zz'");
}

TEST_F(CategoryManagerSetTest, ExplicitListLabelsValuesAndPlacesComputedCategories) {
  Parsed* computed = Entry(new Parsed("sum", {}, false, {}, {}, {}, Parsed::kPCompute, -1));
  _set->SetParsedCategories({computed, Entry(new Parsed(*Str("zz", 2).data(), 2)),
                             Entry(new Parsed(*Str("ab", 2).data(), 2)),
                             Entry(new Parsed(*Str("xy", 2).data(), 2))});
  EXPECT_EQ(BuildSet({String("ab", 12, 1)}), "P:sum 'zz' 'ab' 'xy'");
  EXPECT_EQ(_labels, "[sum][ZZ from a][AB from a][]");
  EXPECT_EQ(_varIndices, (std::vector<int>{_a, _a, _a, _a}));
}

TEST_F(CategoryManagerSetTest, MembersAreNeededToLabel) {
  _set->SetIsEmptyInclude(false);
  std::vector<Category*> met = {String("ab", 12, 1)};
  auto dimension = Dimension(met, *_set, {}, TableDimension::kMCSet);
  CategoryManager manager(met, *_set, _data, dimension.get());
  EXPECT_DEATH(manager.OrderMCCategories(12), "_varIndices.size\\(\\) > 0");
}

// ---------------------------------------------------------------------------
// Orderings.

TEST_F(CategoryManagerTest, StatisticOrderPutsMissingValuesLast) {
  _variable.SetIsEmptyInclude(false);
  const std::vector<Category*> list = {Value(1, 1), Value(2, 2), Value(3, 3), Value(4, 4)};
  std::vector<double> values = {5, kSysmis, 2, 5};
  for (const bool ascending : {true, false}) {
    for (const bool totalAfter : {true, false}) {
      _variable.SetIsOrderA(ascending);
      _variable.SetIsTotalPositionAfter(totalAfter);
      std::vector<Category*> withTotal = list;
      withTotal.insert(totalAfter ? withTotal.end() : withTotal.begin(), Total());
      auto dimension = Dimension(withTotal, _variable);
      CategoryManager manager(withTotal, _variable, _data, dimension.get());
      EXPECT_EQ(manager.OrderByStats(values), 5);
      const std::string expected = ascending ? "3 1 4 2" : "1 4 3 2";
      EXPECT_EQ(Describe(manager.GetCategories()), totalAfter ? expected + " T" : "T " + expected);
    }
  }
  EXPECT_EQ(values, (std::vector<double>{5, kSysmis, 2, 5}));
}

TEST_F(CategoryManagerTest, StatisticOrderDoesNotMoveValuesPastANaN) {
  _variable.SetIsEmptyInclude(false);
  const std::vector<Category*> list = {Value(1, 1), Value(2, 2), Value(3, 3), Value(4, 4),
                                       Value(5, 5)};
  std::vector<double> values = {3, std::numeric_limits<double>::quiet_NaN(), 9, 1, 0};
  auto dimension = Dimension(list, _variable);
  CategoryManager manager(list, _variable, _data, dimension.get());
  manager.OrderByStats(values);
  EXPECT_EQ(Describe(manager.GetCategories()), "1 2 5 4 3");
}

TEST_F(CategoryManagerTest, StatisticOrderNeedsOneValuePerCategory) {
  const std::vector<Category*> list = {Value(1, 1), Value(2, 2), Total()};
  auto dimension = Dimension(list, _variable);
  CategoryManager manager(list, _variable, _data, dimension.get());
  std::vector<double> values = {1, 2, 3};
  EXPECT_DEATH(manager.OrderByStats(values), "\\(end - begin\\) == values.size\\(\\)");
}

TEST_F(CategoryManagerTest, MemberVariablesOrderByNameOrByLabel) {
  AggregationMDSet set({1, 2, 3, 4}, "$md", nullptr, 1, false);
  set.SetIsEmptyInclude(false);
  // "Q1" is two bytes, "Q1  " four: trailing blanks never decide, so they keep their order.
  Category* q1wide = Member(4, "Q1  ", "");
  const std::vector<Category*> list = {Member(1, "Q2", "Beta"), Member(2, "Q10", ""),
                                       Member(3, "Q1", "Alpha"), q1wide, Total()};
  auto dimension = Dimension(list, set, {1, 2, 3, 4}, TableDimension::kMDSet);
  {
    CategoryManager manager(list, set, _data, dimension.get());
    EXPECT_EQ(manager.OrderMDCategories(), 5);
    EXPECT_EQ(Describe(manager.GetCategories()), "V3 V4 V2 V1 T");
  }
  set.SetSortKey(Codes::kLabelSort);
  set.SetIsOrderA(false);
  CategoryManager manager(list, set, _data, dimension.get());
  manager.OrderMDCategories();
  EXPECT_EQ(Describe(manager.GetCategories()), "V1 V3 V2 V4 T");
}

TEST_F(CategoryManagerTest, LabelSortAcceptsOnlyValues) {
  _variable.SetIsEmptyInclude(false);
  _variable.SetSortKey(Codes::kLabelSort);
  EXPECT_DEATH(Build({Value(1, 1), Member(7, "x", "")}),
               "_categories\\[ i \\]->GetCatType\\(\\) == AggregationCategory::kValue");
}

// ---------------------------------------------------------------------------
// Categories found later.

TEST_F(CategoryManagerTest, AddingToThePlaceholderReplacesIt) {
  Category* dummy = Own(new Category());
  const std::vector<Category*> list = {dummy};
  auto dimension = Dimension({}, _variable);
  CategoryManager manager(list, _variable, _data, dimension.get());
  EXPECT_EQ(manager.AddCategories({Value(9, 1), Value(2, 2), Total()}), 3);
  EXPECT_EQ(Describe(manager.GetCategories()), "9 2 T");
  // The total of the new list is recognised: later additions go before it.
  _variable.SetSortKey(Codes::kNoSort);
  CategoryManager unsorted(list, _variable, _data, dimension.get());
  unsorted.AddCategories({Value(9, 1), Total()});
  unsorted.AddCategories({Value(4, 2)});
  EXPECT_EQ(Describe(unsorted.GetCategories()), "9 4 T");
}

TEST_F(CategoryManagerTest, AdditionsMergeInValueOrder) {
  _variable.SetIsEmptyInclude(false);
  const std::vector<Category*> list = {Value(1, 1), Value(4, 2), Value(9, 3), Total()};
  auto dimension = Dimension(list, _variable);
  CategoryManager manager(list, _variable, _data, dimension.get());
  EXPECT_EQ(manager.AddCategories({Value(2, 4), Value(4, 5), Value(10, 6), Value(2, 7)}), 6);
  EXPECT_EQ(Describe(manager.GetCategories()), "1 2 4 9 10 T");
  EXPECT_EQ(manager.GetCategories()[2], list[1]);  // the 4 already listed stays

  _variable.SetIsOrderA(false);
  _variable.SetIsTotalPositionAfter(false);
  const std::vector<Category*> descending = {Total(), Value(9, 3), Value(4, 2), Value(1, 1)};
  CategoryManager down(descending, _variable, _data, dimension.get());
  down.AddCategories({Value(10, 6), Value(2, 4)});
  EXPECT_EQ(Describe(down.GetCategories()), "T 10 9 4 2 1");
}

TEST_F(CategoryManagerTest, AdditionsMergeByLabelThenUnlabelledByValue) {
  _variable.SetSortKey(Codes::kLabelSort);
  const std::vector<Category*> list = {Value(3, 1, "A"), Value(1, 2, "C"), Value(6, 3, "X"),
                                       Value(2, 4), Value(8, 5)};
  auto dimension = Dimension(list, _variable);
  CategoryManager manager(list, _variable, _data, dimension.get());
  // A label shared with a listed value falls back to the value order.
  manager.AddCategories(
      {Value(5, 6, "B"), Value(4, 7, "X"), Value(7, 8, "X"), Value(0, 9), Value(9, 10)});
  EXPECT_EQ(Describe(manager.GetCategories()), "3 5 1 4 6 7 0 2 8 9");
}

TEST_F(CategoryManagerTest, AdditionsThroughTheListLayItOutAgain) {
  _variable.SetIsEmptyInclude(false);
  _variable.SetParsedCategories({ValueEntry(1), Subtotal(-101, false), RangeEntry(2, 5)});
  const std::vector<Category*> list = {Value(1, 1), Value(3, 2), Total()};
  auto dimension = Dimension(list, _variable);
  CategoryManager manager(list, _variable, _data, dimension.get());
  manager.OrderCategories();
  Keep(manager);
  EXPECT_EQ(Describe(manager.GetCategories()), "H-101 3 T");
  EXPECT_EQ(manager.AddCategories({Value(4, 3), Value(3, 9)}), 4);
  EXPECT_EQ(Describe(manager.GetCategories()), "H-101 3 4 T");
  EXPECT_EQ(Describe(manager.GetPcRequiredCategories()), "1");
  EXPECT_DEATH(manager.AddCategories({Value(7, 4)}), "parsedCat");
}

TEST_F(CategoryManagerTest, MergesRefuseStatisticOrdersAndEqualValues) {
  _variable.SetSortKey(Codes::kStatisticSort);
  const std::vector<Category*> list = {Value(1, 1)};
  auto dimension = Dimension(list, _variable);
  CategoryManager byStats(list, _variable, _data, dimension.get());
  EXPECT_DEATH(byStats.AddCategories({Value(2, 2)}),
               "_sortKey != TableEncryptionCodes::kStatisticSort");

  // Two member variables of one name are different categories with equal values.
  AggregationMDSet set({1, 2}, "$md", nullptr, 1, false);
  const std::vector<Category*> members = {Member(1, "Q1", "")};
  auto mdDimension = Dimension(members, set, {1, 2}, TableDimension::kMDSet);
  CategoryManager md(members, set, _data, mdDimension.get());
  EXPECT_DEATH(md.AddCategories({Member(2, "Q1", "")}), "compRes != 0");
}

TEST_F(CategoryManagerTest, EmptyListsNeedEmptyCategoriesAndCannotTakeAdditions) {
  _variable.SetIsEmptyInclude(false);
  auto dimension = Dimension({}, _variable);
  EXPECT_DEATH(CategoryManager({}, _variable, _data, dimension.get()),
               "_categories.size\\(\\) > 0 \\|\\| _includeEmpty");
  _variable.SetIsEmptyInclude(true);
  CategoryManager manager({}, _variable, _data, dimension.get());
  EXPECT_DEATH(manager.AddCategories({Value(1, 1)}), "_categories.size\\(\\) > 0");
}

// ---------------------------------------------------------------------------
// Dichotomy sets with an explicit list: the constructor files the members.

TEST_F(CategoryManagerTest, DichotomyMembersAreFiledUnderTheirEntries) {
  Parsed* first = Entry(new Parsed(Parsed::kVariable));
  first->SetVarIndex(1);
  Parsed* second = Entry(new Parsed(Parsed::kVariable));
  second->SetVarIndex(2);
  AggregationMDSet set({1, 2}, "$md", nullptr, 1, false);
  set.SetParsedCategories({second, Subtotal(-101, true), first});
  const std::vector<Category*> list = {Member(1, "Q1", ""), Member(2, "Q2", ""), Total()};
  auto dimension = Dimension(list, set, {2, 1}, TableDimension::kMDSet);
  {
    CategoryManager manager(list, set, dimension.get());
    EXPECT_EQ(Describe(first->GetCategories()), "V1");
    EXPECT_EQ(Describe(second->GetCategories()), "V2");
  }
  // A second manager over the same list starts from empty entries.
  CategoryManager again(list, set, dimension.get());
  EXPECT_EQ(first->GetCategories().size(), 1u);

  const std::vector<Category*> twice = {Member(1, "Q1", ""), Member(1, "Q1", "")};
  EXPECT_DEATH(CategoryManager(twice, set, dimension.get()), "!parsedCat->HasCategories\\(\\)");
  const std::vector<Category*> stranger = {Member(3, "Q3", "")};
  EXPECT_DEATH(CategoryManager(stranger, set, dimension.get()), "parsedCat");
}

}  // namespace

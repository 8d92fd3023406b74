#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "casesource.h"
#include "support/TestValues.h"

namespace {

using testsupport::Num;

// The bytes of a value's cells as a string (all cells, blank fill included).
std::string CellBytes(const OBS* cells, int type) {
  return std::string(reinterpret_cast<const char*>(cells),
                     static_cast<size_t>(QUOR_CellCount(type)) * sizeof(OBS));
}

// Runs the call and returns the std::invalid_argument message it throws.
template <typename Call>
std::string InvalidArgumentMessage(Call call) {
  try {
    call();
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
  ADD_FAILURE() << "no std::invalid_argument thrown";
  return "";
}

// Numbers and strings of up to eight bytes take one cell, wider strings one
// per started eight bytes, without overflow at the widest int.
TEST(DataSourceTest, CellCountIsOnePerStartedEightBytes) {
  for (int type : {-1, 0, 1, 8}) EXPECT_EQ(QUOR_CellCount(type), 1) << type;
  EXPECT_EQ(QUOR_CellCount(9), 2);
  EXPECT_EQ(QUOR_CellCount(17), 3);
  EXPECT_EQ(QUOR_CellCount(std::numeric_limits<int>::max()), 268435456);
}

TEST(DataSourceTest, NewCasesAreSystemMissingAndBlank) {
  QUOR_DataSource data;
  data.AddVariable("x", 0);
  data.AddVariable("s", 10);
  EXPECT_EQ(data.AddCase(), 0);
  EXPECT_EQ(data.AddCase(), 1);
  EXPECT_EQ(data.NumberOfCases(), 2);
  const OBS* row = data.CaseRow(1);
  EXPECT_EQ(row[0].num, QUOR_SYSMIS);
  EXPECT_EQ(CellBytes(row + 1, 10), std::string(16, ' '));
  data.SetValue(1, 0, std::nan(""));  // a NaN from a computation is system-missing
  EXPECT_EQ(row[0].num, QUOR_SYSMIS);
}

TEST(DataSourceTest, StringValuesAreBlankPaddedToTheWidth) {
  QUOR_DataSource data;
  data.AddVariable("s", 10);
  data.AddCase();
  data.SetValue(0, 0, std::string(10, 'x'));
  data.SetValue(0, 0, "AB");  // overwriting a longer value leaves no residue
  EXPECT_EQ(CellBytes(data.CaseRow(0), 10), "AB" + std::string(14, ' '));
}

TEST(DataSourceTest, AddingAVariableRelaysExistingRows) {
  QUOR_DataSource data;
  data.AddVariable("x", 0);
  data.AddVariable("s", 9);
  for (int c = 0; c < 3; ++c) {
    data.AddCase();
    data.SetValue(c, 0, 10.0 + c);
    data.SetValue(c, 1, "row" + std::to_string(c));
  }
  EXPECT_EQ(data.AddVariable("t", 3), 2);
  EXPECT_EQ(data.AddVariable("y", 0), 3);
  EXPECT_EQ(data.RowWidth(), 5);
  EXPECT_EQ(data.VariableOffset(1), 1);  // old offsets keep their places
  for (int c = 0; c < 3; ++c) {
    const OBS* row = data.CaseRow(c);
    EXPECT_EQ(row[0].num, 10.0 + c);
    EXPECT_EQ(CellBytes(row + 1, 9), "row" + std::to_string(c) + std::string(12, ' '));
    EXPECT_EQ(CellBytes(row + data.VariableOffset(2), 3), std::string(8, ' '));
    EXPECT_EQ(row[data.VariableOffset(3)].num, QUOR_SYSMIS);
  }
  data.SetValue(2, 3, 7.5);
  EXPECT_EQ(data.CaseRow(2)[4].num, 7.5);
  EXPECT_EQ(data.CaseRow(1)[4].num, QUOR_SYSMIS);
}

TEST(DataSourceTest, VariableReferencesSurviveLaterVariables) {
  QUOR_DataSource data;
  data.AddVariable("first", 0);
  const QUOR_Variable* first = &data.GetVariable(0);
  for (int v = 0; v < 100; ++v) data.AddVariable("v" + std::to_string(v), 0);
  EXPECT_EQ(first, &data.GetVariable(0));
  EXPECT_STREQ(first->GetName(), "first");
}

TEST(DataSourceTest, BadSetupCallsNameTheVariableAndTheProblem) {
  QUOR_DataSource data;
  data.AddVariable("income", 0);
  data.AddVariable("region", 4);
  data.AddCase();
  QUOR_Variable& income = data.GetVariable(0);
  QUOR_Variable& region = data.GetVariable(1);
  const std::pair<std::function<void()>, std::vector<std::string>> calls[] = {
      {[&] { data.SetValue(0, 1, 3.0); }, {"'region'", "string variable"}},
      {[&] { data.SetValue(0, 0, "abc"); }, {"'income'", "numeric"}},
      {[&] { data.SetValue(0, 1, "north"); }, {"'region'", "wider"}},
      {[&] { data.SetValue(0, 2, 1.0); }, {"no variable with index 2"}},
      {[&] { data.SetValue(1, 0, 1.0); }, {"no case with index 1"}},
      {[&] { data.GetVariable(-1); }, {"no variable with index -1"}},
      {[&] { data.AddVariable("income", 0); }, {"'income' already exists"}},
      {[&] { data.AddVariable("w", -2); }, {"'w'", "invalid type"}},
      {[&] { income.AddMissingValue("x"); }, {"'income'"}},
      {[&] { region.AddMissingValue(9.0); }, {"'region'"}},
      {[&] { region.AddValueLabel("toolong", "x"); }, {"'region'", "wider"}},
      {[&] { region.SetMissingRange(1.0, 2.0); }, {"'region'"}},
      {[&] { income.SetMissingRange(5.0, 1.0); }, {"low <= high"}},
      {[&] { income.AddValueLabel(std::nan(""), "x"); }, {"NaN"}},
  };
  for (const auto& [call, parts] : calls) {
    const std::string message = InvalidArgumentMessage(call);
    for (const std::string& part : parts)
      EXPECT_NE(message.find(part), std::string::npos) << message;
  }
}

TEST(VariableTest, NumericMissingValuesFollowSysmisListAndInclusiveRange) {
  QUOR_Variable v("score", 0, "");
  v.AddMissingValue(-9.0);
  v.SetMissingRange(97.0, 99.0);
  const double lowest = std::numeric_limits<double>::lowest();
  EXPECT_EQ(lowest, QUOR_SYSMIS);
  OBS value = Num(QUOR_SYSMIS);
  EXPECT_NE(v.IsMissing(&value), 0);
  for (double missing : {-9.0, 97.0, 98.5, 99.0, std::nan("")}) {
    value = Num(missing);
    EXPECT_NE(v.IsMissing(&value), 0) << missing;
  }
  for (double valid : {-8.0, 0.0, 96.999, 99.001, std::nextafter(QUOR_SYSMIS, 0.0)}) {
    value = Num(valid);
    EXPECT_EQ(v.IsMissing(&value), 0) << valid;
  }
}

TEST(VariableTest, StringMissingValuesCompareBlankPadded) {
  QUOR_DataSource data;
  data.AddVariable("answer", 5);
  data.GetVariable(0).AddMissingValue("NA");
  data.GetVariable(0).AddMissingValue("n/a  ");
  const char* texts[] = {"NA", "NA ", "n/a", "NAX", "", "na"};
  const bool missing[] = {true, true, true, false, false, false};
  for (int c = 0; c < 6; ++c) {
    data.AddCase();
    data.SetValue(c, 0, texts[c]);
    EXPECT_EQ(data.GetVariable(0).IsMissing(data.CaseRow(c)) != 0, missing[c]) << texts[c];
  }
}

TEST(VariableTest, LabelsComeInInsertionOrderAndALaterLabelReplaces) {
  QUOR_Variable v("x", 0, "");
  v.AddValueLabel(3.0, "three");
  v.AddValueLabel(1.0, "one");
  v.AddValueLabel(2.0, "two");
  v.AddValueLabel(1.0, "uno");  // replaces in place
  QUOR_ValueLabelMap labels(v.GetValueLabels());
  const OBS* value = nullptr;
  const char* label = nullptr;
  const double expectedValues[] = {3.0, 1.0, 2.0};
  const char* expectedLabels[] = {"three", "uno", "two"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(labels.GetNextPair(value, label), 0);
    EXPECT_EQ(value->num, expectedValues[i]);
    EXPECT_STREQ(label, expectedLabels[i]);
  }
  EXPECT_EQ(labels.GetNextPair(value, label), 0);
  EXPECT_EQ(labels.GetNextPair(value, label), 0);
  labels.Reset();
  ASSERT_NE(labels.GetNextPair(value, label), 0);
  EXPECT_STREQ(label, "three");

  OBS probe = Num(2.0);
  EXPECT_STREQ(labels.GetLabel(&probe), "two");
  probe = Num(4.0);
  EXPECT_EQ(labels.GetLabel(&probe), nullptr);
}

TEST(VariableTest, StringLabelsAreFoundBlankPadded) {
  QUOR_DataSource data;
  data.AddVariable("city", 10);
  QUOR_Variable& city = data.GetVariable(0);
  city.AddValueLabel("NY", "New York");
  city.AddValueLabel("LA        ", "Los Angeles");
  city.AddValueLabel("NY  ", "New York City");  // same value after padding
  data.AddCase();
  data.SetValue(0, 0, "NY");
  QUOR_ValueLabelMap labels(city.GetValueLabels());
  EXPECT_STREQ(labels.GetLabel(data.CaseRow(0)), "New York City");
  data.SetValue(0, 0, "LA");
  EXPECT_STREQ(labels.GetLabel(data.CaseRow(0)), "Los Angeles");
  data.SetValue(0, 0, "SF");
  EXPECT_EQ(labels.GetLabel(data.CaseRow(0)), nullptr);

  const OBS* value = nullptr;
  const char* label = nullptr;
  ASSERT_NE(labels.GetNextPair(value, label), 0);
  EXPECT_EQ(CellBytes(value, 10), "NY" + std::string(14, ' '));
}

TEST(VariableTest, CopiesOwnTheirLabelsAndMissingValues) {
  QUOR_Variable original("x", 0, "");
  original.AddValueLabel(1.0, "one");
  QUOR_Variable copy(original);
  QUOR_Variable assigned("y", 0, "");
  assigned = original;
  original.AddValueLabel(1.0, "changed");
  original.AddMissingValue(1.0);
  OBS one = Num(1.0);
  for (const QUOR_Variable* v : {&copy, &assigned}) {
    QUOR_ValueLabelMap labels(v->GetValueLabels());
    EXPECT_STREQ(labels.GetLabel(&one), "one");
    EXPECT_EQ(v->IsMissing(&one), 0);
  }
}

TEST(CaseIteratorTest, CaseValueStaysValidWhenAVariableIsAdded) {
  QUOR_DataSource data;
  data.AddVariable("x", 0);
  data.AddCase();
  data.SetValue(0, 0, 42.0);
  QUOR_InputCaseIterator it(data);
  CaseValue x(it, 0);
  data.AddVariable("s", 20);
  ASSERT_TRUE(it.Next());
  EXPECT_EQ(x.GetValue()->num, 42.0);
}

}  // namespace

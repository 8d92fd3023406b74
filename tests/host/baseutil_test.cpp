#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "baseutil.h"

namespace {

TEST(ProcDSIteratorTest, WeightIsTheValueAndMissingOrNegativeWeightsAreZero) {
  QUOR_DataSource data;
  data.AddVariable("x", 0);
  data.AddVariable("w", 0);
  data.GetVariable(1).AddMissingValue(99.0);
  const double stored[] = {2.5, QUOR_SYSMIS, -1.0, 99.0, 0.0, 1e6, -0.0};
  const double expected[] = {2.5, 0.0, 0.0, 0.0, 0.0, 1e6, 0.0};
  for (int c = 0; c < 7; ++c) {
    data.AddCase();
    data.SetValue(c, 1, stored[c]);
  }
  ProcDSIterator it(data, 1);
  EXPECT_EQ(it.WeightVariable(), 1);
  EXPECT_EQ(it.Weight(), 0.0);  // no current case yet
  for (int c = 0; c < 7; ++c) {
    ASSERT_TRUE(it.Next());
    EXPECT_EQ(it.Weight(), expected[c]) << "case " << c;
    EXPECT_FALSE(std::signbit(it.Weight())) << "case " << c;
  }
  EXPECT_FALSE(it.Next());
  // Usable through the base class, as the engine sees it.
  QUOR_InputCaseIterator& base = it;
  base.Rewind();
  ASSERT_TRUE(base.Next());
  EXPECT_EQ(dynamic_cast<ProcDSIterator&>(base).Weight(), 2.5);
  // No weight variable: every case weighs one.
  ProcDSIterator unweighted(data, -1);
  ASSERT_TRUE(unweighted.Next());
  EXPECT_EQ(unweighted.Weight(), 1.0);
}

TEST(ProcDSIteratorTest, StringOrUnknownWeightVariableIsRejected) {
  QUOR_DataSource data;
  data.AddVariable("name", 8);
  try {
    ProcDSIterator it(data, 0);
    ADD_FAILURE() << "a string weight variable was accepted";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("'name'"), std::string::npos) << error.what();
  }
  EXPECT_THROW(ProcDSIterator(data, 3), std::invalid_argument);
}

TEST(OutputTest, SinkReceivesEachLineWithItsCodeElseStderrDoes) {
  std::vector<std::pair<long, std::string>> lines;
  SetOutputSink([&lines](long code, const std::string& line) { lines.emplace_back(code, line); });
  BP_Character text("Cell ");
  text += "3";
  text += nullptr;
  BP_ToFront(2, text);
  BP_ToFront(1, BP_Character());
  SetOutputSink(nullptr);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::make_pair(2L, std::string("Cell 3")));
  EXPECT_EQ(lines[1], std::make_pair(1L, std::string()));
  // Without a sink the lines go to standard error.
  testing::internal::CaptureStderr();
  BP_ToFront(3, BP_Character("first"));
  BP_ToFront(1, BP_Character("second"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "first\nsecond\n");
}

}  // namespace

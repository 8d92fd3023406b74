#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "CellValues.h"

namespace {

// The tree map the frequency table must agree with, sum by sum.
void ModelAdd(std::map<double, double>& model, double value, double frequency) {
  auto at = model.lower_bound(value);
  if (at != model.end() && at->first == value) {
    at->second += frequency;
  } else {
    model.emplace_hint(at, value, frequency);
  }
}

void ExpectSameEntries(const FrequencyTable& table, const std::map<double, double>& model) {
  ASSERT_EQ(table.size(), model.size());
  auto expected = model.begin();
  for (const auto& entry : table) {
    // Bit for bit: the frequencies must be summed in the order they came.
    ASSERT_EQ(entry.first, expected->first);
    ASSERT_EQ(std::signbit(entry.first), std::signbit(expected->first));
    ASSERT_EQ(entry.second, expected->second) << "value " << entry.first;
    ++expected;
  }
  auto last = model.rbegin();
  for (auto it = table.rbegin(); it != table.rend(); ++it, ++last)
    ASSERT_EQ(it->first, last->first);
}

// Values drawn from pools of different sizes (few values that stay in place,
// pools around the in-place limit, and mostly new values) with fractional
// weights, read now and then between additions (and, for one pool, after each
// of a run of additions past the small-table limit, so that single new values
// wait to land between old ones).
TEST(FrequencyTableTest, AgreesWithATreeMapSumBySum) {
  for (int pool : {3, 50, 3000, 6000, 200000}) {
    std::mt19937_64 random(static_cast<unsigned>(pool));
    std::uniform_int_distribution<int> pick(0, pool - 1);
    std::uniform_real_distribution<double> weight(0.5, 1.5);
    FrequencyTable table;
    std::map<double, double> model;
    for (int i = 0; i < 60000; ++i) {
      const double value = (pick(random) - pool / 3) * 0.37;
      const double frequency = weight(random);
      table.Add(value, frequency);
      ModelAdd(model, value, frequency);
      if (i % 9973 == 0 || (pool == 3000 && i >= 2000 && i < 2100)) ExpectSameEntries(table, model);
    }
    ExpectSameEntries(table, model);
  }
}

TEST(FrequencyTableTest, ZeroAndMinusZeroAreOneKeyTheFirstAdded) {
  FrequencyTable table;
  table.Add(-0.0, 1.0);
  table.Add(2.0, 1.0);
  table.Add(0.0, 2.0);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_TRUE(std::signbit(table.begin()->first));
  EXPECT_EQ(table.begin()->second, 3.0);

  // The same after a merge of many pending entries.
  FrequencyTable large;
  for (int i = 0; i < 10000; ++i) large.Add(i + 1.0, 1.0);
  large.Add(0.0, 1.0);
  for (int i = 0; i < 10000; ++i) large.Add(-0.0, 0.5);
  ASSERT_EQ(large.size(), 10001u);
  EXPECT_FALSE(std::signbit(large.begin()->first));
  EXPECT_EQ(large.begin()->second, 5001.0);
}

TEST(FrequencyTableTest, OrdersNegativesAndInfinities) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {3.5, -inf, -2.0, inf, -1e300, 0.0, 1e-300, -1e-300, 7.0};
  // Enough of them to take the radix path as well as the short one.
  FrequencyTable table;
  std::map<double, double> model;
  for (int round = 0; round < 40; ++round) {
    for (double value : values) {
      table.Add(value * (round + 1), 1.0);
      ModelAdd(model, value * (round + 1), 1.0);
    }
  }
  ExpectSameEntries(table, model);
}

}  // namespace

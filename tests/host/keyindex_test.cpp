#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "keyindex.h"
#include "support/TestValues.h"

namespace {

using testsupport::Num;
using testsupport::Str;

int Sign(int r) {
  return (r > 0) - (r < 0);
}

TEST(ObsLexCompareTest, NumbersCompareByValue) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Sign(ObsLexCompare(Num(1.0), Num(2.0), 0)), -1);
  EXPECT_EQ(Sign(ObsLexCompare(Num(2.0), Num(1.0), 0)), 1);
  EXPECT_EQ(ObsLexCompare(Num(-0.0), Num(0.0), 0), 0);
  EXPECT_EQ(Sign(ObsLexCompare(Num(QUOR_SYSMIS), Num(-1e300), 0)), -1);
  EXPECT_EQ(Sign(ObsLexCompare(Num(-inf), Num(QUOR_SYSMIS), 0)), -1);
  // NaN: equal to NaN, after every number.
  const double nan = std::nan("");
  EXPECT_EQ(ObsLexCompare(Num(nan), Num(-nan), 0), 0);
  EXPECT_EQ(Sign(ObsLexCompare(Num(nan), Num(inf), 0)), 1);
  EXPECT_EQ(Sign(ObsLexCompare(Num(inf), Num(nan), 0)), -1);
}

TEST(ObsLexCompareTest, StringsCompareTheirFirstWidthUnsignedBytes) {
  const std::vector<OBS> apple = Str("apple", 5);
  const std::vector<OBS> apply = Str("apply", 5);
  EXPECT_EQ(Sign(ObsLexCompare(apple[0], apply[0], 5)), -1);
  EXPECT_EQ(Sign(ObsLexCompare(apply[0], apple[0], 5)), 1);
  EXPECT_EQ(ObsLexCompare(apple[0], apply[0], 4), 0);  // bytes beyond width do not count
  const std::vector<OBS> high = Str("\xe9", 1);
  const std::vector<OBS> low = Str("z", 1);
  EXPECT_EQ(Sign(ObsLexCompare(high[0], low[0], 1)), 1);  // 0xe9 > 'z' as unsigned
  // Across cells: the difference sits in the second cell.
  const std::vector<OBS> a = Str("abcdefghijkX", 12);
  const std::vector<OBS> b = Str("abcdefghijkY", 12);
  EXPECT_EQ(Sign(ObsLexCompare(a[0], b[0], 12)), -1);
  EXPECT_EQ(ObsLexCompare(a[0], b[0], 11), 0);
  EXPECT_EQ(ObsLexCompare(a[0], a[0], 12), 0);
}

TEST(ObsVecMapTest, KeySpecIsTheWidestListedType) {
  QUOR_DataSource data;
  data.AddVariable("n1", 0);
  data.AddVariable("s3", 3);
  data.AddVariable("s12", 12);
  data.AddVariable("n2", 0);
  EXPECT_EQ(ObsVecMap::MakeKeySpec(data, {0, 3}), std::vector<short>{0});
  EXPECT_EQ(ObsVecMap::MakeKeySpec(data, {1}), std::vector<short>{3});
  EXPECT_EQ(ObsVecMap::MakeKeySpec(data, {0, 2, 1}), std::vector<short>{12});
  EXPECT_THROW(ObsVecMap::MakeKeySpec(data, {4}), std::invalid_argument);
}

TEST(ObsVecMapTest, ZerosOfBothSignsAreOneKeyAndSoAreNaNs) {
  ObsVecMap map({0}, 1);
  OBS zero = Num(0.0);
  OBS negativeZero = Num(-0.0);
  map.Insert(&zero)->num = 7.0;
  ASSERT_NE(map.Contains(&negativeZero), nullptr);
  EXPECT_EQ(map.Contains(&negativeZero)->num, 7.0);
  OBS nan1 = Num(std::nan("1"));
  OBS nan2 = Num(-std::nan("2"));
  map.Insert(&nan1)->num = 8.0;
  ASSERT_NE(map.Contains(&nan2), nullptr);
  EXPECT_EQ(map.Contains(&nan2)->num, 8.0);
  EXPECT_EQ(map.Size(), 2u);
}

TEST(ObsVecMapTest, StringKeysIgnoreBytesBeyondTheWidthAndKeyReadsBlankFilled) {
  ObsVecMap map({3}, 1);
  OBS dirty;
  std::memcpy(dirty.str, "abcXXXXX", 8);
  OBS clean;
  std::memcpy(clean.str, "abc     ", 8);
  map.Insert(&dirty)->num = 1.0;
  EXPECT_EQ(map.Insert(&clean)->num, 1.0);
  EXPECT_EQ(map.Size(), 1u);
  std::vector<OBS*> sorted = map.Sort();
  ASSERT_EQ(sorted.size(), 1u);
  EXPECT_EQ(std::string(map.Key(sorted[0])->str, 8), "abc     ");
  EXPECT_EQ(map.Value(sorted[0])->num, 1.0);
}

// Model: a std::map ordered by ObsLexCompare over the key bytes.
struct ModelKey {
  std::vector<OBS> cells;
  int width;
  bool operator<(const ModelKey& other) const {
    return ObsLexCompare(cells[0], other.cells[0], width) < 0;
  }
};

void CheckAgainstModel(int width, unsigned seed) {
  SCOPED_TRACE("width " + std::to_string(width) + ", seed " + std::to_string(seed));
  std::mt19937 random(seed);
  ObsVecMap map({static_cast<short>(width)}, 2);
  std::map<ModelKey, double> model;
  std::vector<OBS*> handed;  // entries returned earlier must stay where they are
  std::vector<double> handedValue;

  auto randomKey = [&]() {
    ModelKey key{std::vector<OBS>(static_cast<size_t>(QUOR_CellCount(width))), width};
    if (width == 0) {
      static const double specials[] = {0.0, -0.0, QUOR_SYSMIS, 1e300, -1.5};
      const unsigned pick = random() % 20;
      key.cells[0].num = pick < 5 ? specials[pick] : static_cast<double>(random() % 3000) / 4.0;
    } else {
      std::memset(key.cells.data(), ' ', key.cells.size() * sizeof(OBS));
      const int length = static_cast<int>(random() % static_cast<unsigned>(width + 1));
      char* bytes = reinterpret_cast<char*>(key.cells.data());
      for (int i = 0; i < length; ++i) bytes[i] = "abc \xff"[random() % 5];
    }
    return key;
  };

  for (int step = 0; step < 6000; ++step) {
    ModelKey key = randomKey();
    if (random() % 3 == 0) {
      OBS* found = map.Contains(key.cells.data());
      auto it = model.find(key);
      ASSERT_EQ(found != nullptr, it != model.end());
      if (found != nullptr) {
        EXPECT_EQ(found[0].num, it->second);
      }
      continue;
    }
    OBS* entry = map.Insert(key.cells.data());
    auto inserted = model.emplace(key, static_cast<double>(step));
    if (inserted.second) {
      ASSERT_EQ(entry[0].num, 0.0);
      entry[0].num = static_cast<double>(step);
      entry[1].num = -static_cast<double>(step);
      handed.push_back(entry);
      handedValue.push_back(static_cast<double>(step));
    } else {
      ASSERT_EQ(entry[0].num, inserted.first->second);
    }
    ASSERT_EQ(map.Size(), model.size());
  }
  for (size_t i = 0; i < handed.size(); ++i) {
    ASSERT_EQ(handed[i][0].num, handedValue[i]);
    ASSERT_EQ(handed[i][1].num, -handedValue[i]);
  }

  std::vector<OBS*> sorted = map.Sort();
  ASSERT_EQ(sorted.size(), model.size());
  size_t i = 0;
  for (const auto& pair : model) {
    OBS* key = map.Key(sorted[i]);
    EXPECT_EQ(ObsLexCompare(*key, pair.first.cells[0], width), 0) << "position " << i;
    EXPECT_EQ(map.Value(sorted[i])[0].num, pair.second) << "position " << i;
    ++i;
  }
}

TEST(ObsVecMapTest, MatchesAnOrderedMapOnRandomKeys) {
  const unsigned seed = 20240611;
  for (int width : {0, 1, 3, 8, 12, 20})
    CheckAgainstModel(width, seed + static_cast<unsigned>(width));
}

TEST(ObsVecMapTest, MultiComponentKeysCompareComponentByComponent) {
  // A number followed by a 10-byte string: 1 + 2 cells.
  ObsVecMap map({0, 10}, 1);
  auto key = [](double number, const std::string& text) {
    std::vector<OBS> cells(3);
    cells[0].num = number;
    std::vector<OBS> textCells = Str(text, 10);
    cells[1] = textCells[0];
    cells[2] = textCells[1];
    return cells;
  };
  const std::vector<std::vector<OBS>> keys = {key(2.0, "b"), key(1.0, "zz"), key(2.0, "a"),
                                              key(-0.0, "a"), key(0.0, "a")};
  for (const auto& k : keys) map.Insert(k.data());
  EXPECT_EQ(map.Size(), 4u);
  std::vector<OBS*> sorted = map.Sort();
  ASSERT_EQ(sorted.size(), 4u);
  const double numbers[] = {0.0, 1.0, 2.0, 2.0};
  const char firsts[] = {'a', 'z', 'a', 'b'};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(map.Key(sorted[i])[0].num, numbers[i]);
    EXPECT_EQ(map.Key(sorted[i])[1].str[0], firsts[i]);
  }
}

TEST(ObsVecMapDeathTest, KeySpecMustBeGiven) {
  EXPECT_DEATH(ObsVecMap(std::vector<short>{}, 2), "!keySpec.empty\\(\\)");
  EXPECT_DEATH(ObsVecMap(std::vector<short>{-1}, 2), "width >= 0");
}

}  // namespace

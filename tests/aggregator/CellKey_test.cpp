#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CellKey.h"
#include "TableEncryptionCodes.h"

namespace {

using Codes = TableEncryptionCodes;

CellKey MakeKey(const std::vector<int>& codes) {
  CellKey key(static_cast<int>(codes.size()));
  for (int i = 0; i < key.length(); ++i) key[i] = codes[i];
  key.UpdateHashCode();
  return key;
}

// Worked by hand: (1 + 10001) * 3 = 30006, (2 + 10001) * 5 = 50015, xor 46697;
// (-100 + 10001) * 3 = 29703, * 5 = 49505, xor 46438.
TEST(CellKeyTest, HashOfWorkedKeys) {
  EXPECT_EQ(MakeKey({1, 2}).hashcode(), 46697);
  EXPECT_EQ(MakeKey({-100, -100}).hashcode(), 46438);
  EXPECT_EQ(MakeKey({3}).hashcode(), 30012);
  EXPECT_EQ(CellKey().hashcode(), 0);
  EXPECT_EQ(MakeKey({}).hashcode(), 0);
  // The lowest subtotal contributes a zero term.
  EXPECT_EQ(MakeKey({Codes::kLowerSubtotal, 1}).hashcode(), 10002 * 5);
}

TEST(CellKeyTest, FiftiethDimensionReusesTheFirstFactor) {
  // Every code but the last adds a zero term, so only dimension 49 counts.
  std::vector<int> codes(50, Codes::kLowerSubtotal);
  codes[49] = 1;
  EXPECT_EQ(MakeKey(codes).hashcode(), 10002 * 3);
  codes[49] = Codes::kLowerSubtotal;
  codes[48] = 1;
  EXPECT_EQ(MakeKey(codes).hashcode(), 10002 * 229);
}

TEST(CellKeyTest, HugeCodesWrapToANegativeHash) {
  // (10,000,000 + 10001) * 229 = 2292290229, which wraps to 2292290229 - 2^32.
  std::vector<int> codes(49, Codes::kLowerSubtotal);
  codes[48] = 10000000;
  EXPECT_EQ(MakeKey(codes).hashcode(), -2002677067);
  // 9367656 is the largest code whose term stays non-negative with factor 229.
  codes[48] = 9367656;
  EXPECT_EQ(MakeKey(codes).hashcode(), 2147483453);
}

TEST(CellKeyTest, HashIsStaleUntilUpdated) {
  CellKey key = MakeKey({1, 2});
  key[1] = 3;
  EXPECT_EQ(key.hashcode(), 46697);
  CellKey copy(key);  // copies the stored hash, not a fresh one
  EXPECT_EQ(copy.hashcode(), 46697);
  EXPECT_FALSE(copy == MakeKey({1, 3}));
  copy.UpdateHashCode();
  EXPECT_TRUE(copy == MakeKey({1, 3}));
}

TEST(CellKeyTest, EqualityNeedsEqualHashLengthAndCodes) {
  EXPECT_TRUE(CellKey() == CellKey());
  EXPECT_TRUE(CellKey() == MakeKey({}));
  EXPECT_TRUE(MakeKey({1, 2}) == MakeKey({1, 2}));
  EXPECT_FALSE(MakeKey({1, 2}) == MakeKey({2, 1}));
  EXPECT_FALSE(MakeKey({1}) == MakeKey({1, 1}));
  // (-10001) alone and (-10001, -10001) both hash to 0: the lengths decide.
  EXPECT_EQ(MakeKey({Codes::kLowerSubtotal}).hashcode(), 0);
  EXPECT_FALSE(MakeKey({Codes::kLowerSubtotal}) ==
               MakeKey({Codes::kLowerSubtotal, Codes::kLowerSubtotal}));
  EXPECT_FALSE(MakeKey({Codes::kLowerSubtotal}) == CellKey());
  EXPECT_TRUE(MakeKey({1, 2}) != MakeKey({1, 3}));
}

TEST(CellKeyTest, OrderingPutsShorterKeysFirstThenComparesCodes) {
  EXPECT_TRUE(MakeKey({9}) < MakeKey({1, 1}));
  EXPECT_FALSE(MakeKey({1, 1}) < MakeKey({9}));
  EXPECT_TRUE(MakeKey({1, 5}) < MakeKey({2, 1}));
  EXPECT_TRUE(MakeKey({-100, 5}) < MakeKey({1, 5}));
  EXPECT_TRUE(MakeKey({1, 2}) < MakeKey({1, 3}));
  EXPECT_FALSE(MakeKey({1, 2}) < MakeKey({1, 2}));
  EXPECT_TRUE(CellKey() < MakeKey({Codes::kLowerSubtotal}));
}

TEST(CellKeyTest, AssignmentCopiesCodesAndHashAndResizes) {
  CellKey target = MakeKey({1, 2, 3});
  const CellKey source = MakeKey({7, -100});
  target = source;
  ASSERT_EQ(target.length(), 2);
  EXPECT_EQ(target[0], 7);
  EXPECT_EQ(target[1], -100);
  EXPECT_EQ(target.hashcode(), source.hashcode());
  EXPECT_TRUE(target == source);

  target[0] = 8;  // the copy owns its own array
  EXPECT_EQ(source[0], 7);

  CellKey same = MakeKey({4, 5});
  same[0] = 6;  // stale hash on purpose: self-assignment must not refresh it
  same = same;
  EXPECT_EQ(same[0], 6);
  EXPECT_EQ(same[1], 5);
  EXPECT_EQ(same.hashcode(), MakeKey({4, 5}).hashcode());

  CellKey emptied = MakeKey({1});
  emptied = CellKey();
  EXPECT_EQ(emptied.length(), 0);
  EXPECT_EQ(emptied.hashcode(), 0);
  emptied = source;
  EXPECT_TRUE(emptied == source);
}

TEST(CellKeyDeathTest, IndexOutsideTheKeyIsRefused) {
  CellKey key = MakeKey({1, 2});
  EXPECT_DEATH(key[2] = 0, "0 <= i && i < arLength");
  EXPECT_DEATH(key[-1] = 0, "0 <= i && i < arLength");
  const CellKey empty;
  EXPECT_DEATH((void)empty[0], "0 <= i && i < arLength");
}

}  // namespace

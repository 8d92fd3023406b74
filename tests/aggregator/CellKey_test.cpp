#include <gtest/gtest.h>

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
  EXPECT_TRUE(target == source);  // equal length, hash and codes
  target[0] = 8;                  // the copy owns its own array
  EXPECT_EQ(source[0], 7);
  CellKey emptied = MakeKey({1});
  emptied = CellKey();
  EXPECT_TRUE(emptied == CellKey());
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

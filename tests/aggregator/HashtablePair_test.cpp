#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AggregationStatistic.h"
#include "CellKey.h"
#include "CellStatistics.h"
#include "CellValues.h"
#include "HashtablePair.h"
#include "TableEncryptionCodes.h"
#include "baseutil.h"
#include "support/TestValues.h"

namespace {

using testsupport::ExpectGolden;
using testsupport::Joined;
using testsupport::OutputCapture;

using Codes = TableEncryptionCodes;

CellKey* NewKey(const std::vector<int>& codes) {
  CellKey* key = new CellKey(static_cast<int>(codes.size()));
  for (int i = 0; i < key->length(); ++i) (*key)[i] = codes[i];
  key->UpdateHashCode();
  return key;
}

CellKey Key(const std::vector<int>& codes) {
  const std::unique_ptr<CellKey> key(NewKey(codes));
  return *key;
}

// A count layout for the cells the tests store: each cell counts its first
// case with the given weight.
class HashtablePairTest : public ::testing::Test {
 protected:
  HashtablePairTest()
      : _layout({AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kUCount)}) {
    _layout.SetCategoricalStatistics();
  }
  CellValues* NewValues(double weight = 1.0) {
    return new CellValues(&_layout, 1.0, true, false, weight);
  }
  // Inserts (i, -i) for i in [from, to).
  void Fill(ZarnHashtablePair& table, int from, int to) {
    for (int i = from; i < to; ++i) {
      ASSERT_TRUE(table.Insert(NewKey({i, -i}), NewValues(i)));
    }
  }

  CellStatistics _layout;
};

TEST_F(HashtablePairTest, KeyWithNegativeHashLandsInsideTheTable) {
  std::vector<int> codes(49, Codes::kLowerSubtotal);
  codes[48] = 10000000;
  const CellKey probe = Key(codes);
  ASSERT_LT(probe.hashcode(), 0);
  // 2292290229 mod 89 = 88 and mod 179 = 119, taken as unsigned.
  EXPECT_EQ(ZarnHashtablePair::BucketOf(probe.hashcode(), 89), 88);
  EXPECT_EQ(ZarnHashtablePair::BucketOf(probe.hashcode(), 179), 119);

  ZarnHashtablePair table(89);
  ASSERT_TRUE(table.Insert(NewKey(codes), NewValues()));
  EXPECT_TRUE(table.Contains(probe));
  EXPECT_EQ(table.begin().GetBucket(), 88);
  Fill(table, 1, 67);  // grows to 179 and relinks the negative-hash entry too
  ASSERT_EQ(table.BucketCount(), 179);
  EXPECT_TRUE(table.Contains(probe));
  std::pair<CellKey*, CellValues*>* removed = table.Remove(probe);
  ASSERT_NE(removed, nullptr);
  EXPECT_FALSE(table.Contains(probe));
  EXPECT_EQ(table.FreeCount(), 1);  // the node is kept for the next insert
  delete removed->first;
  delete removed->second;
  delete removed;
}

TEST_F(HashtablePairTest, ReplaceOwnsTheNewPairAndDropsTheOld) {
  ZarnHashtablePair table(89);
  CellKey* key = NewKey({5, 6});
  CellValues* values = NewValues(1.0);
  PairNode* node = table.Replace(key, values);  // absent: inserted
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(node->GetKey(), key);

  // The very objects already stored: nothing is deleted.
  EXPECT_EQ(table.Replace(key, values), node);
  EXPECT_EQ(node->GetKey(), key);
  EXPECT_EQ(node->GetValues(), values);

  // Same key object, new values: the old values go (the sanitizer build
  // reports a leak or a double delete if ownership goes wrong).
  CellValues* second = NewValues(2.0);
  EXPECT_EQ(table.Replace(key, second), node);
  EXPECT_EQ(node->GetValues(), second);
  EXPECT_EQ(node->GetKey(), key);

  // An equal key and new values: both old objects go.
  CellKey* equalKey = NewKey({5, 6});
  CellValues* third = NewValues(3.0);
  EXPECT_EQ(table.Replace(equalKey, third), node);
  EXPECT_EQ(node->GetKey(), equalKey);
  EXPECT_EQ(table.Find(Key({5, 6}))->GetValues()->ComputeValue(0).GetValue1(), 3.0);
  EXPECT_EQ(table.Count(), 1);
}

// Model-based: random inserts, removals and lookups against std::map, with
// keys of two or three dimensions drawn from every code range.
TEST_F(HashtablePairTest, AgreesWithAnOrderedMap) {
  const unsigned seed = 20240611u;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const std::vector<int> codes = {1,    2,    3,     7,      40,       0,
                                  -100, -101, -5000, -10001, 10000000, 2000000000};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(codes.size()) - 1);
  std::uniform_int_distribution<int> action(0, 9);
  std::uniform_int_distribution<int> dims(2, 3);

  ZarnHashtablePair table(89);
  std::map<CellKey, double> model;
  for (int step = 0; step < 4000; ++step) {
    std::vector<int> k(dims(random));
    for (int& code : k) code = codes[pick(random)];
    const CellKey key = Key(k);
    const int a = action(random);
    if (a < 6) {
      const double weight = step;
      CellKey* stored = NewKey(k);
      CellValues* values = NewValues(weight);
      const bool inserted = table.Insert(stored, values);
      EXPECT_EQ(inserted, model.count(key) == 0);
      if (inserted) {
        model[key] = weight;
      } else {
        delete stored;
        delete values;
      }
    } else if (a < 8) {
      std::pair<CellKey*, CellValues*>* removed = table.Remove(key);
      EXPECT_EQ(removed != nullptr, model.erase(key) == 1);
      if (removed) {
        delete removed->first;
        delete removed->second;
        delete removed;
      }
    } else {
      PairNode* node = table.Find(key);
      auto expected = model.find(key);
      ASSERT_EQ(node != nullptr, expected != model.end());
      if (node) {
        EXPECT_EQ(node->GetValues()->ComputeValue(0).GetValue1(), expected->second);
      }
    }
    ASSERT_EQ(table.Count(), static_cast<int>(model.size()));
  }
  std::map<CellKey, double> visited;
  for (PairNode& node : table) visited[*node.GetKey()] = node.GetValues()->ComputeValue(0);
  EXPECT_EQ(visited, model);
}

// Run under the sanitizer build, this shows that filling, clearing, refilling
// and destroying a large table leaks nothing and frees nothing twice.
TEST_F(HashtablePairTest, LargeTableFillClearRefillDestroy) {
  auto* table = new ZarnHashtablePair(89);
  Fill(*table, 0, 100000);
  EXPECT_EQ(table->Count(), 100000);
  const int buckets = table->BucketCount();
  EXPECT_GT(table->Threshold(), 100000);
  EXPECT_LE(table->Threshold() / 2, 100000);
  table->Clear();
  EXPECT_EQ(table->FreeCount(), 100000);
  Fill(*table, 100000, 200000);
  EXPECT_EQ(table->FreeCount(), 0);
  EXPECT_EQ(table->BucketCount(), buckets);
  table->Clear();
  Fill(*table, 0, 50000);  // half in chains, half on the free list
  EXPECT_EQ(table->FreeCount(), 50000);
  delete table;
}

TEST_F(HashtablePairTest, DumpGolden) {
  ZarnHashtablePair table(89), empty(89);
  ASSERT_TRUE(table.Insert(NewKey({1, 2}), NewValues(2.5)));             // bucket 61
  ASSERT_TRUE(table.Insert(NewKey({-100, -100}), NewValues(1234.567)));  // bucket 69
  OutputCapture capture;
  table.display();
  empty.display();
  ExpectGolden("HashtablePair", Joined(capture.lines));
}

TEST_F(HashtablePairTest, DumpOfAMissingValueStaysInsideItsBuffer) {
  // A mean of a cell without valid values is the missing value, whose fixed
  // notation is over 300 characters: the piece is cut at 255.
  CellStatistics meanLayout({AggregationStatistic(0, Codes::kMean)});
  meanLayout.SetCategoricalStatistics();
  ZarnHashtablePair table(89);
  ASSERT_TRUE(table.Insert(NewKey({1}), new CellValues(&meanLayout, 1.0, true, false, 1.0)));
  OutputCapture capture;
  table.display();
  ASSERT_EQ(capture.lines.size(), 5u);
  const std::string& values = capture.lines[3].second;
  const std::string prefix = "\t Values:  -179769313486231570814527423731704356798";
  EXPECT_EQ(values.substr(0, prefix.size()), prefix);
  EXPECT_EQ(values.size(), std::string("\t Values: ").size() + 255);
  table.Clear();
}

TEST_F(HashtablePairTest, ZeroBucketsIsUsable) {
  ZarnHashtablePair table(0);
  EXPECT_EQ(table.Find(Key({1})), nullptr);
  EXPECT_TRUE(table.begin() == table.end());
  Fill(table, 0, 5);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(table.Contains(Key({i, -i})));
}

}  // namespace

#include "TableMetadata.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AggregationStatistic.h"
#include "TableCVariable.h"
#include "TableDimension.h"
#include "ZarnCaseValueReader.h"
#include "baseutil.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

// A dimension whose answer to EncodeValue is set by the test, so that the
// metadata's handling of refusals can be seen without the real dimensions.
// It reports a variable list of its own, which decides equality.
class ScriptedDimension : public TableDimension {
 public:
  ScriptedDimension(int variable, bool accepts, int* destroyed = nullptr)
      : TableDimension(3, kCategoricalVariable),
        _variable(variable),
        _accepts(accepts),
        _destroyed(destroyed) {}
  ~ScriptedDimension() override {
    if (_destroyed) ++*_destroyed;
  }

  bool EncodeValue() override {
    ++encodeCalls;
    SetCategoryCell(_accepts ? 1 : Codes::kNoCategory);
    return _accepts;
  }
  const std::vector<AggregationCategory*>& GetCategoryPointers() override { return _categories; }
  std::vector<int> VariableIndex() override { return {_variable}; }
  std::vector<ZarnCaseValueReader*> GetCaseValues() override { return {}; }
  void SetIterator(QUOR_InputCaseIterator& iterator) override {
    _iterator = &iterator;
    ++bindCalls;
  }
  using TableDimension::GetCategoryEncoding;
  int GetCategoryEncoding(const OBS*) const override { return 0; }
  int GetNumberOfValues() const override { return 0; }
  void ResetDimension() override {
    ++resetCalls;
    ResetDimensionBase();
  }

  void SetAccepts(bool accepts) { _accepts = accepts; }

  int encodeCalls = 0;
  int bindCalls = 0;
  int resetCalls = 0;

 private:
  int _variable;
  bool _accepts;
  int* _destroyed;
};

// Nine numeric variables v0..v8 and a weight variable (index 9); variable 3
// declares 99 user-missing.
class TableMetadataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 9; ++i) source.AddVariable("v" + std::to_string(i), 0);
    weight = source.AddVariable("w", 0);
    source.GetVariable(3).AddMissingValue(99.0);
  }

  int AddCase(double v3, double v5, double w) {
    const int c = source.AddCase();
    for (int i = 0; i < 9; ++i) source.SetValue(c, i, static_cast<double>(i));
    source.SetValue(c, 3, v3);
    source.SetValue(c, 5, v5);
    source.SetValue(c, weight, w);
    return c;
  }

  static std::vector<AggregationStatistic> StatsOn(const std::vector<int>& variables) {
    std::vector<AggregationStatistic> stats;
    for (int v : variables) stats.emplace_back(v, Codes::kMean);
    return stats;
  }

  QUOR_DataSource source;
  int weight = -1;
};

TEST_F(TableMetadataTest, ReadersAreSharedPerVariableAndPositionsStayStable) {
  QUOR_InputCaseIterator iterator(source);
  TableMetadata metadata(iterator, true);

  EXPECT_EQ(metadata.GetCaseIndex(StatsOn({5, 3, 5})), (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(metadata.GetCaseReaders().size(), 2u);
  EXPECT_EQ(metadata.GetCaseIndex(StatsOn({3, 8})), (std::vector<int>{1, 2}));
  ASSERT_EQ(metadata.GetCaseReaders().size(), 3u);
  EXPECT_EQ(metadata.GetValidCount(), (std::vector<double>{0.0, 0.0, 0.0}));

  EXPECT_EQ(metadata.GetCaseReaderVarIndex(0), 5u);
  EXPECT_EQ(metadata.GetCaseReaderVarIndex(1), 3u);
  EXPECT_EQ(metadata.GetCaseReaderVarIndex(2), 8u);
  EXPECT_TRUE(metadata.GetCaseIndex({}).empty());
}

TEST_F(TableMetadataTest, ACaseEveryDimensionRefusesChangesNothing) {
  AddCase(1.0, 1.0, 3.0);
  AddCase(1.0, 1.0, 5.0);
  ProcDSIterator iterator(source, weight);
  TableMetadata metadata(iterator, true);
  auto* first = new ScriptedDimension(0, true);
  auto* second = new ScriptedDimension(1, false);
  ASSERT_EQ(metadata.AddDimension(first), first);
  ASSERT_EQ(metadata.AddDimension(second), second);
  metadata.GetCaseIndex(StatsOn({3}));

  ASSERT_TRUE(iterator.Next());
  EXPECT_TRUE(metadata.EncodeCase());  // one dimension accepting is enough
  EXPECT_EQ(metadata.GetCaseWeight(), 3.0);
  EXPECT_EQ(metadata.GetValidCount()[0], 1.0);

  first->SetAccepts(false);
  ASSERT_TRUE(iterator.Next());
  EXPECT_FALSE(metadata.EncodeCase());
  EXPECT_EQ(metadata.GetCaseWeight(), 3.0);
  EXPECT_EQ(metadata.GetValidCount()[0], 1.0);
  // Every dimension still encoded the refused case.
  EXPECT_EQ(first->encodeCalls, 2);
  EXPECT_EQ(second->encodeCalls, 2);
  metadata.ResetMetadata();
  EXPECT_EQ(first->resetCalls + second->resetCalls, 2);
}

TEST_F(TableMetadataTest, AddDimensionKeepsOneDimensionPerVariable) {
  QUOR_InputCaseIterator iterator(source);
  TableMetadata metadata(iterator, false);
  EXPECT_FALSE(metadata.GetListwise());

  auto* a = new ScriptedDimension(4, true);
  ScriptedDimension b(4, true);
  auto* c = new ScriptedDimension(6, true);
  EXPECT_EQ(metadata.AddDimension(a), a);
  EXPECT_EQ(metadata.AddDimension(&b), a);
  EXPECT_EQ(metadata.AddDimension(c), c);
  ASSERT_EQ(metadata.NumberOfDimensions(), 2);
  EXPECT_EQ(metadata.GetDimension(0), a);
  EXPECT_EQ(metadata.GetDimension(1), c);
  // Only adopted dimensions are bound to the iterator.
  EXPECT_EQ(a->bindCalls, 1);
  EXPECT_EQ(b.bindCalls, 0);
  EXPECT_EQ(a->GetIterator(), &iterator);

  // The constructor over variable indices adopts one dimension per distinct index.
  std::vector<int> variables{2, 7, 2};
  TableMetadata fromIndices(variables, iterator, true);
  ASSERT_EQ(fromIndices.NumberOfDimensions(), 2);
  EXPECT_EQ(fromIndices.GetDimension(0)->VariableIndex(), std::vector<int>{2});
  EXPECT_EQ(fromIndices.GetDimension(1)->VariableIndex(), std::vector<int>{7});
}

TEST_F(TableMetadataTest, ClearForgetsDimensionsWhileClearDeepDestroysThem) {
  QUOR_InputCaseIterator iterator(source);
  int destroyed = 0;
  ScriptedDimension kept(0, true, &destroyed);
  {
    TableMetadata metadata(iterator, true);
    metadata.AddDimension(&kept);
    metadata.GetCaseIndex(StatsOn({1, 2}));
    metadata.Clear();
    EXPECT_EQ(metadata.NumberOfDimensions(), 0);
    EXPECT_TRUE(metadata.GetCaseReaders().empty());
    EXPECT_TRUE(metadata.GetValidCount().empty());
    // The reader index was emptied too: the next reader starts at position 0.
    EXPECT_EQ(metadata.GetCaseIndex(StatsOn({2})), std::vector<int>{0});
  }
  EXPECT_EQ(destroyed, 0);

  TableMetadata metadata(iterator, true);
  metadata.AddDimension(new ScriptedDimension(1, true, &destroyed));
  metadata.AddDimension(new ScriptedDimension(2, true, &destroyed));
  metadata.ClearDeep();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(metadata.NumberOfDimensions(), 0);
}

// Clearing either of a metadata and its copy leaves the other one's shared
// dimensions and readers alive; the other one destroys them. Under the
// sanitizers a reader destroyed twice, or used after Clear, fails here.
TEST_F(TableMetadataTest, ClearingOneOfTwoCopiesLeavesTheOtherWorking) {
  AddCase(1.0, 1.0, 1.0);
  QUOR_InputCaseIterator iterator(source);
  for (bool clearTheCopy : {true, false}) {
    int destroyed = 0;
    {
      auto original = std::make_unique<TableMetadata>(iterator, true);
      original->AddDimension(new ScriptedDimension(0, true, &destroyed));
      original->GetCaseIndex(StatsOn({4}));
      auto copy = std::make_unique<TableMetadata>(*original);
      TableMetadata& cleared = clearTheCopy ? *copy : *original;
      TableMetadata& kept = clearTheCopy ? *original : *copy;
      cleared.Clear();
      EXPECT_EQ(cleared.NumberOfDimensions(), 0);
      EXPECT_EQ(destroyed, 0);

      iterator.Rewind();
      ASSERT_TRUE(iterator.Next());
      EXPECT_TRUE(kept.EncodeCase());
      EXPECT_EQ(kept.GetValidCount(), std::vector<double>{1.0});
      EXPECT_EQ(kept.GetCaseReaders()[0]->GetValue()->num, 4.0);
      original.reset();
      copy.reset();
    }
    EXPECT_EQ(destroyed, 1);
  }

  // Without any Clear, the last of the two destroys the shared objects once.
  int destroyed = 0;
  {
    TableMetadata original(iterator, true);
    original.AddDimension(new ScriptedDimension(0, true, &destroyed));
    original.GetCaseIndex(StatsOn({4}));
    TableMetadata copy(original);
    copy.ClearDeep();  // the original still holds them
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(original.NumberOfDimensions(), 1);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST_F(TableMetadataTest, CaseReaderPositionIsChecked) {
  QUOR_InputCaseIterator iterator(source);
  TableMetadata metadata(iterator, true);
  metadata.GetCaseIndex(StatsOn({1}));
  EXPECT_DEATH(metadata.GetCaseReaderVarIndex(1),
               "pos >=0 && pos < \\(int\\) _caseValues.size\\(\\)");
  EXPECT_DEATH(metadata.GetCaseReaderVarIndex(-1), "pos >=0");
}

TEST_F(TableMetadataTest, ReaderTellsSystemMissingFromUserMissingAndStrings) {
  const int name = source.AddVariable("name", 3);
  AddCase(99.0, QUOR_SYSMIS, 1.0);  // the string stays blank
  QUOR_InputCaseIterator iterator(source);
  ZarnCaseValueReader v3(iterator, 3), v5(iterator, 5), text(iterator, unsigned(name));
  ASSERT_TRUE(iterator.Next());
  EXPECT_TRUE(v3.IsMissing() && !v3.IsSysMissing());
  EXPECT_TRUE(v5.IsSysMissing());
  EXPECT_FALSE(text.IsSysMissing());
  // Assignment takes over the variable binding and the valid flag.
  v5.SetValid(true);
  v3 = v5;
  EXPECT_EQ(v3.GetIndex(), 5u);
  EXPECT_TRUE(v3.IsValid());
}

}  // namespace

#include "CubeMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AggregationMCSet.h"
#include "CellKey.h"
#include "aggregator/FixedCellDimension.h"

namespace {

using Codes = TableEncryptionCodes;
using Position = TableEncryptionCodes::DimensionPosition;

std::vector<int> KeyCodes(const CellKey& key) {
  std::vector<int> codes;
  for (int i = 0; i < key.length(); ++i) codes.push_back(key[i]);
  return codes;
}

// Every key the odometer yields for the current cells, first key included.
std::vector<std::vector<int>> AllScaleKeys(const CubeMetadata& metadata) {
  std::vector<std::vector<int>> keys;
  CellKey key(metadata.NumberOfDimensions());
  if (!metadata.MakeCVarPctKey(key)) return keys;
  do {
    keys.push_back(KeyCodes(key));
  } while (metadata.NewCellKey(key));
  return keys;
}

// Owns test dimensions and builds metadata over them.
class Dimensions {
 public:
  FixedCellDimension* Add(const std::vector<int>& codes, bool valid = true) {
    dims_.emplace_back(new FixedCellDimension(static_cast<int>(dims_.size())));
    dims_.back()->SetCells(codes, valid);
    return dims_.back().get();
  }
  FixedCellDimension* operator[](size_t i) { return dims_[i].get(); }

 private:
  std::vector<std::unique_ptr<FixedCellDimension>> dims_;
};

TEST(CubeMetadataTest, EmptyMetadataHasOneKeyOfNoCodes) {
  CubeMetadata metadata;
  EXPECT_EQ(metadata.NumberOfDimensions(), 0);
  CellKey key(0);
  EXPECT_TRUE(metadata.MakeScaleCellKey(key));
  EXPECT_TRUE(metadata.MakeCVarPctKey(key));
  bool noCategory = true, allValid = false, hasTotal = true;
  EXPECT_TRUE(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal));
  EXPECT_FALSE(noCategory);
  EXPECT_TRUE(allValid);
  EXPECT_FALSE(hasTotal);
  EXPECT_FALSE(metadata.NewCellKey(key));
  EXPECT_EQ(metadata.GetInnerRow(), nullptr);
  EXPECT_EQ(metadata.GetInnerColumn(), nullptr);
}

TEST(CubeMetadataTest, OdometerTurnsDimensionZeroFastest) {
  Dimensions dims;
  CubeMetadata metadata;
  metadata.AddDimension(dims.Add({3, -100}), Codes::kRowPosition);
  metadata.AddDimension(dims.Add({1, 2}), Codes::kColumnPosition);
  const std::vector<std::vector<int>> expected = {{3, 1}, {-100, 1}, {3, 2}, {-100, 2}};
  EXPECT_EQ(AllScaleKeys(metadata), expected);
  // The odometer is at rest again: the next case starts from its first key.
  EXPECT_EQ(AllScaleKeys(metadata), expected);

  dims[0]->SetCells({5, -100, -200});
  dims[1]->SetCells({7});
  const std::vector<std::vector<int>> next = {{5, 7}, {-100, 7}, {-200, 7}};
  EXPECT_EQ(AllScaleKeys(metadata), next);
}

TEST(CubeMetadataTest, ScaleFirstKeyStopsAtTheFirstNonCategory) {
  Dimensions dims;
  CubeMetadata metadata;
  metadata.AddDimension(dims.Add({-100}), Codes::kRowPosition);
  metadata.AddDimension(dims.Add({4, -100}), Codes::kColumnPosition);
  CellKey key(2);
  key[1] = 77;
  EXPECT_FALSE(metadata.MakeScaleCellKey(key));
  EXPECT_EQ(key[0], -100);
  EXPECT_EQ(key[1], 77);  // not visited

  dims[0]->SetCells({2, -100});
  EXPECT_TRUE(metadata.MakeScaleCellKey(key));
  EXPECT_EQ(KeyCodes(key), (std::vector<int>{2, 4}));
  dims[1]->SetCells({0});
  EXPECT_FALSE(metadata.MakeScaleCellKey(key));
}

TEST(CubeMetadataTest, CategoricalFirstKeyReportsWhyItFails) {
  Dimensions dims;
  CubeMetadata metadata;
  FixedCellDimension* a = dims.Add({0});
  FixedCellDimension* b = dims.Add({7});
  metadata.AddDimension(a, Codes::kRowPosition);
  metadata.AddDimension(b, Codes::kColumnPosition);
  CellKey key(2);
  bool noCategory = false, allValid = false, hasTotal = false;

  // A value in no category: the walk stops before dimension 1.
  key[1] = 55;
  b->SetCells({7}, false);
  EXPECT_FALSE(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal));
  EXPECT_TRUE(noCategory);
  EXPECT_EQ(key[1], 55);
  EXPECT_TRUE(allValid);  // the invalid dimension was never inspected

  // A missing value that no cube counts.
  a->SetCells({-99}, false);
  b->SetCells({7});
  EXPECT_FALSE(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal));
  EXPECT_FALSE(noCategory);
  EXPECT_FALSE(allValid);
  EXPECT_EQ(key[1], 7);

  // A missing value counted only in the total.
  a->SetCells({-100}, false);
  EXPECT_TRUE(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal));
  EXPECT_FALSE(noCategory);
  EXPECT_FALSE(allValid);
  EXPECT_TRUE(hasTotal);

  a->SetCells({3, -100});
  EXPECT_TRUE(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal));
  EXPECT_TRUE(allValid);
  EXPECT_FALSE(hasTotal);

  // A code 0 in the last dimension fails too.
  b->SetCells({0});
  EXPECT_FALSE(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal));
  EXPECT_TRUE(noCategory);
}

TEST(CubeMetadataTest, PercentageFirstKeyRejectsOnlyExcludedMissing) {
  Dimensions dims;
  CubeMetadata metadata;
  FixedCellDimension* a = dims.Add({0});
  FixedCellDimension* b = dims.Add({-100});
  metadata.AddDimension(a, Codes::kRowPosition);
  metadata.AddDimension(b, Codes::kColumnPosition);
  CellKey key(2);
  EXPECT_TRUE(metadata.MakeCVarPctKey(key));
  EXPECT_EQ(KeyCodes(key), (std::vector<int>{0, -100}));
  b->SetCells({-99});
  EXPECT_FALSE(metadata.MakeCVarPctKey(key));
}

TEST(CubeMetadataTest, CellResponsesFollowTheOdometer) {
  AggregationMCSet set({0, 1}, "$set");
  FixedCellDimension dim(set, TableDimension::kMCSet, 0);
  dim.SetComputingCounts();
  FixedCellDimension::Cells cells;
  cells.codes = {2, 5};
  cells.counts = {1, 3};
  cells.totalCount = 4;
  dim.SetCells(cells);
  CubeMetadata metadata;
  metadata.AddDimension(&dim, Codes::kRowPosition);
  CellKey key(1);
  ASSERT_TRUE(metadata.MakeScaleCellKey(key));
  EXPECT_EQ(metadata.GetCellResponses(0), 1);
  ASSERT_TRUE(metadata.NewCellKey(key));
  EXPECT_EQ(key[0], 5);
  EXPECT_EQ(metadata.GetCellResponses(0), 3);
  EXPECT_EQ(metadata.GetTotalResponses(0), 4);
}

// The cube R1, R2, C1, C2, L (indices 0 to 4).
class PercentBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    metadata_.AddDimension(dims_.Add({1}), Codes::kRowPosition);
    metadata_.AddDimension(dims_.Add({1}), Codes::kRowPosition);
    metadata_.AddDimension(dims_.Add({1}), Codes::kColumnPosition);
    metadata_.AddDimension(dims_.Add({1}), Codes::kColumnPosition);
    metadata_.AddDimension(dims_.Add({1}), Codes::kLayerPosition);
  }
  std::vector<int> Base(int type) {
    std::vector<int> dims = {99};
    metadata_.GetPercentBase(dims, type);
    return dims;
  }
  Dimensions dims_;
  CubeMetadata metadata_;
};

TEST_F(PercentBaseTest, UnknownTypesHaveAnEmptyBase) {
  EXPECT_EQ(Base(7), (std::vector<int>{}));
  EXPECT_EQ(Base(-1), (std::vector<int>{}));
}

// An independent model of the bases: each label option moves the innermost
// row or column to another axis; then the row base drops the innermost
// column, the column base the innermost row, the subtable base both, the
// layer base keeps the layers only, the layer-row base the rows and layers,
// the layer-column base the columns and layers. Extra dimensions never count.
std::vector<int> ModelBase(const std::vector<Position>& positions, int option, int type) {
  std::vector<int> rows, columns, layers;
  for (size_t i = 0; i < positions.size(); ++i) {
    const int index = static_cast<int>(i);
    if (positions[i] == Codes::kRowPosition) rows.push_back(index);
    if (positions[i] == Codes::kColumnPosition) columns.push_back(index);
    if (positions[i] == Codes::kLayerPosition) layers.push_back(index);
  }
  if (option == Codes::kInnerRowAcrossColumns && !rows.empty()) {
    columns.push_back(rows.back());
    rows.pop_back();
  } else if (option == Codes::kInnerColumnDownRows && !columns.empty()) {
    rows.push_back(columns.back());
    columns.pop_back();
  } else if (option == Codes::kInnerRowAsLayers && !rows.empty()) {
    layers.push_back(rows.back());
    rows.pop_back();
  } else if (option == Codes::kInnerColumnAsLayers && !columns.empty()) {
    layers.push_back(columns.back());
    columns.pop_back();
  }
  auto allButInner = [](std::vector<int> v) {
    if (!v.empty()) v.pop_back();
    return v;
  };
  std::vector<int> base;
  auto append = [&base](const std::vector<int>& v) { base.insert(base.end(), v.begin(), v.end()); };
  switch (type) {
    case 0:
      append(rows), append(allButInner(columns)), append(layers);
      break;
    case 1:
      append(allButInner(rows)), append(columns), append(layers);
      break;
    case 3:
      append(allButInner(rows)), append(allButInner(columns)), append(layers);
      break;
    case 4:
      append(layers);
      break;
    case 5:
      append(rows), append(layers);
      break;
    case 6:
      append(columns), append(layers);
      break;
    default:
      break;
  }
  std::sort(base.begin(), base.end());
  return base;
}

TEST(CubeMetadataTest, BasesMatchTheMovedAxesModelForEveryShapeAndOption) {
  for (int nRows = 0; nRows <= 3; ++nRows) {
    for (int nColumns = 0; nColumns <= 3; ++nColumns) {
      for (int nLayers = 0; nLayers <= 2; ++nLayers) {
        for (int nExtra = 0; nExtra <= 1; ++nExtra) {
          Dimensions dims;
          CubeMetadata metadata;
          std::vector<Position> positions;
          auto add = [&](int n, Position position) {
            for (int i = 0; i < n; ++i) {
              metadata.AddDimension(dims.Add({1}), position);
              positions.push_back(position);
            }
          };
          add(nRows, Codes::kRowPosition);
          add(nColumns, Codes::kColumnPosition);
          add(nLayers, Codes::kLayerPosition);
          add(nExtra, Codes::kExtraPosition);
          for (int option = 0; option <= 4; ++option) {
            metadata.SetClabelOption(static_cast<Codes::CLabelOption>(option));
            for (int type = 0; type < 7; ++type) {
              std::vector<int> dimsOut = {99};  // replaced, not appended to
              metadata.GetPercentBase(dimsOut, type);
              EXPECT_EQ(dimsOut, ModelBase(positions, option, type))
                  << "rows " << nRows << " columns " << nColumns << " layers " << nLayers
                  << " extra " << nExtra << " option " << option << " type " << type;
            }
          }
        }
      }
    }
  }
}

TEST_F(PercentBaseTest, BaseMetadataKeepsTheListedDimensionsAndTheOption) {
  metadata_.SetClabelOption(Codes::kInnerColumnDownRows);
  std::vector<int> dims = {0, 3, 4};
  const CubeMetadata base = metadata_.GetBaseMetadata(dims, 0);
  ASSERT_EQ(base.NumberOfDimensions(), 3);
  EXPECT_EQ(base.GetDimension(0), metadata_.GetDimension(0));
  EXPECT_EQ(base.GetDimension(1), metadata_.GetDimension(3));
  EXPECT_EQ(base.GetDimension(2), metadata_.GetDimension(4));
  EXPECT_EQ(base.GetDimPosition(1), Codes::kColumnPosition);
  EXPECT_EQ(base.GetDimPosition(2), Codes::kLayerPosition);
  EXPECT_EQ(base.GetClabelOption(), Codes::kInnerColumnDownRows);
}

TEST_F(PercentBaseTest, InnerRowAndColumn) {
  EXPECT_EQ(metadata_.GetInnerRow(), metadata_.GetDimension(1));
  EXPECT_EQ(metadata_.GetInnerColumn(), metadata_.GetDimension(3));

  Dimensions dims;
  CubeMetadata columnsFirst;
  columnsFirst.AddDimension(dims.Add({1}), Codes::kColumnPosition);
  columnsFirst.AddDimension(dims.Add({1}), Codes::kLayerPosition);
  EXPECT_EQ(columnsFirst.GetInnerRow(), nullptr);
  EXPECT_EQ(columnsFirst.GetInnerColumn(), dims[0]);

  CubeMetadata rowsOnly;
  rowsOnly.AddDimension(dims.Add({1}), Codes::kRowPosition);
  rowsOnly.AddDimension(dims.Add({1}), Codes::kLayerPosition);
  EXPECT_EQ(rowsOnly.GetInnerRow(), dims[2]);
  EXPECT_EQ(rowsOnly.GetInnerColumn(), nullptr);
}

TEST_F(PercentBaseTest, CopiesShareDimensionsButNotTheOdometer) {
  CubeMetadata copy(metadata_);
  ASSERT_EQ(copy.NumberOfDimensions(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(copy.GetDimension(i), metadata_.GetDimension(i));
  dims_[0]->SetCells({1, -100});
  CellKey a(5), b(5);
  ASSERT_TRUE(metadata_.MakeScaleCellKey(a));
  ASSERT_TRUE(copy.MakeScaleCellKey(b));
  ASSERT_TRUE(metadata_.NewCellKey(a));  // advances only the original
  ASSERT_TRUE(copy.NewCellKey(b));
  EXPECT_EQ(KeyCodes(a), KeyCodes(b));

  CubeMetadata assigned;
  assigned = metadata_;
  EXPECT_EQ(assigned.NumberOfDimensions(), 5);
  assigned.Clear();
  EXPECT_EQ(assigned.NumberOfDimensions(), 0);
  CellKey empty(0);
  EXPECT_TRUE(assigned.MakeScaleCellKey(empty));
  EXPECT_FALSE(assigned.NewCellKey(empty));
  EXPECT_EQ(metadata_.NumberOfDimensions(), 5);
}

TEST(CubeMetadataDeathTest, PreconditionsStopTheProcess) {
  Dimensions dims;
  CubeMetadata metadata;
  metadata.AddDimension(dims.Add({1}), Codes::kColumnPosition);
  EXPECT_DEATH(metadata.AddDimension(dims.Add({1}), Codes::kRowPosition),
               "lastPosition <= dimPosition");
  EXPECT_DEATH(metadata.GetDimPosition(1), "nDims > iDim");
  metadata.SetClabelOption(Codes::kInnerRowAsLayers);
  EXPECT_DEATH(metadata.GetInnerRow(), "_cLabelOption == TableEncryptionCodes::kDefault");
  EXPECT_DEATH(metadata.GetInnerColumn(), "_cLabelOption == TableEncryptionCodes::kDefault");
}

}  // namespace

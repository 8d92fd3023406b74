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

// The first key of each kind over the code a dimension gives first: a
// category, no category, an excluded missing value, the total, a subtotal.
// Dimension 1 is invalid: allValid stays true only when the walk stops at
// dimension 0.
TEST(CubeMetadataTest, FirstKeysAcceptOrRefuseEachKindOfCode) {
  const struct {
    int code;
    bool scale, categorical, percentage, noCategory, hasTotal;
  } rows[] = {{3, true, true, true, false, false},
              {0, false, false, true, true, false},
              {-99, false, false, false, false, false},
              {-100, false, true, true, false, true},
              {-101, false, true, true, false, false}};
  for (const auto& row : rows) {
    Dimensions dims;
    CubeMetadata metadata;
    metadata.AddDimension(dims.Add({row.code}), Codes::kRowPosition);
    metadata.AddDimension(dims.Add({7}, false), Codes::kColumnPosition);
    CellKey key(2);
    bool noCategory = false, allValid = false, hasTotal = false;
    EXPECT_EQ(metadata.MakeScaleCellKey(key), row.scale) << row.code;
    EXPECT_EQ(metadata.MakeCVarCellKey(key, noCategory, allValid, hasTotal), row.categorical)
        << row.code;
    EXPECT_EQ(noCategory, row.noCategory) << row.code;
    EXPECT_EQ(allValid, row.code == 0) << row.code;
    EXPECT_EQ(hasTotal, row.hasTotal) << row.code;
    EXPECT_EQ(metadata.MakeCVarPctKey(key), row.percentage) << row.code;
  }
}

// An MR set's response counts follow the odometer to the current cell.
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
  ASSERT_TRUE(metadata.MakeScaleCellKey(key) && metadata.NewCellKey(key));
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
  Dimensions dims_;
  CubeMetadata metadata_;
};

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

TEST_F(PercentBaseTest, InnerRowAndColumn) {
  EXPECT_EQ(metadata_.GetInnerRow(), dims_[1]);
  EXPECT_EQ(metadata_.GetInnerColumn(), dims_[3]);
  CubeMetadata columnsOnly, rowsOnly;
  columnsOnly.AddDimension(dims_[2], Codes::kColumnPosition);
  rowsOnly.AddDimension(dims_[0], Codes::kRowPosition);
  rowsOnly.AddDimension(dims_[4], Codes::kLayerPosition);
  EXPECT_EQ(columnsOnly.GetInnerRow(), nullptr);
  EXPECT_EQ(columnsOnly.GetInnerColumn(), dims_[2]);
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

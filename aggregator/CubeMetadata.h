#ifndef CUBE_METADATA_H
#define CUBE_METADATA_H

#include <cstddef>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

class CellKey;
class TableDimension;

// CubeMetadata: the ordered dimensions a cube crosses, each with its table
// position (row, column, layer, or an extra last dimension), plus the table's
// category-label option. It turns the encoded current case into cell keys (a
// first key, then an odometer over every combination of the dimensions'
// category cells, dimension 0 turning fastest), chooses which dimensions each
// kind of percentage base keeps, and answers positional questions.
// Points to (does not own) its dimensions: the table owns them and every
// crossing cube shares them. Copies share the dimensions too.
// Invariant: positions never decrease along the dimension list.
// The odometer cursor (_currentDim, _currentCatCells) changes inside const
// operations; it is at rest (_currentDim 0) between calls.
class TABCUBE_EXPORT CubeMetadata {
 public:
  CubeMetadata();
  CubeMetadata(const CubeMetadata& other);
  CubeMetadata& operator=(const CubeMetadata& other);
  ~CubeMetadata();

  // Appends a dimension with its position and a cursor 0.
  // REQUIRES: position not smaller than the last one added ("lastPosition <= dimPosition").
  void AddDimension(TableDimension* dimension, TableEncryptionCodes::DimensionPosition dimPosition);
  // Forgets every dimension; the label option stays.
  void Clear();
  void SetClabelOption(TableEncryptionCodes::CLabelOption option) { _cLabelOption = option; }
  TableEncryptionCodes::CLabelOption GetClabelOption() const { return _cLabelOption; }

  int NumberOfDimensions() const { return static_cast<int>(_dimensions.size()); }
  // No range check.
  TableDimension* GetDimension(int iDim) const {
    return _dimensions[static_cast<std::size_t>(iDim)];
  }
  // REQUIRES: iDim < NumberOfDimensions() ("nDims > iDim").
  TableEncryptionCodes::DimensionPosition GetDimPosition(int iDim) const;

  // The innermost row (the last of the leading row dimensions) and the
  // innermost column (the last of the leading row-or-column dimensions, when it
  // is a column); null when there is none.
  // REQUIRES: the label option is kDefault.
  TableDimension* GetInnerRow() const;
  TableDimension* GetInnerColumn() const;

  // Response count of dimension iDim's category cell under the odometer.
  int GetCellResponses(int iDim) const;
  // Dimension iDim's total response count for the current case.
  int GetTotalResponses(int iDim) const;

  // First key of the case for a cube without a categorical statistics
  // dimension: false as soon as a dimension's first code is not a real
  // category (the remaining codes are left as they were).
  bool MakeScaleCellKey(CellKey& key) const;
  // First key of the case for a cube with a statistics dimension. noCategory:
  // some dimension's value is valid but in none of its categories (then the
  // walk stops); allValid: every inspected dimension has a valid value;
  // hasTotal: some dimension reaches only its total cell. False when a
  // dimension gave 0 or -99.
  bool MakeCVarCellKey(CellKey& key, bool& noCategory, bool& allValid, bool& hasTotal) const;
  // First key of the case for a percentage base of such a cube: false only
  // when a first code is -99.
  bool MakeCVarPctKey(CellKey& key) const;
  // Advances the key to the next combination of cells, rewriting only the
  // changed codes (the caller updates the hash). False when every combination
  // has been visited; the odometer is then at rest again.
  bool NewCellKey(CellKey& key) const;

  // The indices of the dimensions that a base of the given percentage type
  // (CellStatistics::PercentType) keeps, in increasing order.
  void GetPercentBase(std::vector<int>& dims, int percentType) const;
  // The metadata of a base keeping the listed dimensions, with this label option.
  CubeMetadata GetBaseMetadata(std::vector<int>& dims, int percentType) const;

 private:
  // Appends the run of dimensions at the given position starting at iDim,
  // advancing iDim past them; true when at least one was appended.
  bool AddPercentBase(std::vector<int>& dims, TableEncryptionCodes::DimensionPosition position,
                      int& iDim) const;
  // Advances iDim past the run of dimensions at the given position.
  void SkipPosition(TableEncryptionCodes::DimensionPosition position, int& iDim) const;
  // True when dimension iDim exists and is a column.
  bool IsColumn(int iDim) const;
  // The bases of GetPercentBase, one per percentage type; each appends to
  // an empty dims.
  void RowPercentBase(std::vector<int>& dims) const;
  void ColumnPercentBase(std::vector<int>& dims) const;
  void SubtablePercentBase(std::vector<int>& dims) const;
  void LayerPercentBase(std::vector<int>& dims) const;
  void LayerRowPercentBase(std::vector<int>& dims) const;
  void LayerColumnPercentBase(std::vector<int>& dims) const;

  std::vector<TableDimension*> _dimensions;
  std::vector<TableEncryptionCodes::DimensionPosition> _positions;
  int _lastDim;
  mutable int _currentDim;
  mutable std::vector<int> _currentCatCells;
  TableEncryptionCodes::CLabelOption _cLabelOption;
};

#endif

#include "CubeMetadata.h"

#include <cassert>

#include "CellKey.h"
#include "CellStatistics.h"
#include "DimensionCells.h"
#include "TableDimension.h"

namespace {

using Codes = TableEncryptionCodes;
using DimensionCells::kExcludedMissing;

void DropLast(std::vector<int>& dims) {
  if (!dims.empty()) dims.pop_back();
}

// Removes the last two indices and puts the last one back: the dimension just
// before the innermost one leaves the base. Only called when two indices of
// the same run were just collected.
void DropSecondToLast(std::vector<int>& dims) {
  if (dims.size() < 2) return;
  const int last = dims.back();
  dims.pop_back();
  dims.back() = last;
}

}  // namespace

CubeMetadata::CubeMetadata() : _lastDim(-1), _currentDim(0), _cLabelOption(Codes::kDefault) {}

CubeMetadata::CubeMetadata(const CubeMetadata& other) = default;

CubeMetadata& CubeMetadata::operator=(const CubeMetadata& other) = default;

CubeMetadata::~CubeMetadata() = default;

void CubeMetadata::AddDimension(TableDimension* dimension, Codes::DimensionPosition dimPosition) {
  if (!_positions.empty()) {
    const Codes::DimensionPosition lastPosition = _positions.back();
    assert(lastPosition <= dimPosition && "lastPosition <= dimPosition");
    (void)lastPosition;
  }
  _dimensions.push_back(dimension);
  _positions.push_back(dimPosition);
  _currentCatCells.push_back(0);
  ++_lastDim;
}

void CubeMetadata::Clear() {
  _dimensions.clear();
  _positions.clear();
  _currentCatCells.clear();
  _currentDim = 0;
  _lastDim = -1;
}

Codes::DimensionPosition CubeMetadata::GetDimPosition(int iDim) const {
  const int nDims = NumberOfDimensions();
  assert(nDims > iDim && "nDims > iDim");
  (void)nDims;
  return _positions[static_cast<size_t>(iDim)];
}

TableDimension* CubeMetadata::GetInnerRow() const {
  assert(_cLabelOption == TableEncryptionCodes::kDefault);
  int iDim = 0;
  SkipPosition(Codes::kRowPosition, iDim);
  return iDim > 0 ? _dimensions[static_cast<size_t>(iDim - 1)] : nullptr;
}

TableDimension* CubeMetadata::GetInnerColumn() const {
  assert(_cLabelOption == TableEncryptionCodes::kDefault);
  int iDim = 0;
  SkipPosition(Codes::kRowPosition, iDim);
  SkipPosition(Codes::kColumnPosition, iDim);
  return IsColumn(iDim - 1) ? _dimensions[static_cast<size_t>(iDim - 1)] : nullptr;
}

int CubeMetadata::GetCellResponses(int iDim) const {
  const size_t i = static_cast<size_t>(iDim);
  return _dimensions[i]->GetCellCount(_currentCatCells[i]);
}

int CubeMetadata::GetTotalResponses(int iDim) const {
  return _dimensions[static_cast<size_t>(iDim)]->GetTotalCount();
}

bool CubeMetadata::MakeScaleCellKey(CellKey& key) const {
  for (int iDim = 0; iDim <= _lastDim; ++iDim) {
    const size_t i = static_cast<size_t>(iDim);
    const int code = _dimensions[i]->FirstCategoryCell(_currentCatCells[i]);
    key[iDim] = code;
    if (code < Codes::kMinCategory) return false;
  }
  return true;
}

bool CubeMetadata::MakeCVarCellKey(CellKey& key, bool& noCategory, bool& allValid,
                                   bool& hasTotal) const {
  noCategory = false;
  allValid = true;
  hasTotal = false;
  bool missing = false;
  for (int iDim = 0; iDim <= _lastDim; ++iDim) {
    if (noCategory) return false;
    const size_t i = static_cast<size_t>(iDim);
    const TableDimension* dimension = _dimensions[i];
    const int code = dimension->FirstCategoryCell(_currentCatCells[i]);
    key[iDim] = code;
    if (code == Codes::kNoCategory) {
      noCategory = true;
    } else if (code == kExcludedMissing) {
      missing = true;
    } else if (code == Codes::kTotalCategory) {
      hasTotal = true;
    }
    if (!dimension->IsValueValid()) allValid = false;
  }
  return !noCategory && !missing;
}

bool CubeMetadata::MakeCVarPctKey(CellKey& key) const {
  for (int iDim = 0; iDim <= _lastDim; ++iDim) {
    const size_t i = static_cast<size_t>(iDim);
    const int code = _dimensions[i]->FirstCategoryCell(_currentCatCells[i]);
    key[iDim] = code;
    if (code == kExcludedMissing) return false;
  }
  return true;
}

bool CubeMetadata::NewCellKey(CellKey& key) const {
  if (_currentDim > _lastDim) return false;
  for (;;) {
    const int d = _currentDim;
    const size_t i = static_cast<size_t>(d);
    const TableDimension* dimension = _dimensions[i];
    int& cursor = _currentCatCells[i];
    if (!dimension->IsCurrentCellLast(cursor)) {
      key[d] = dimension->NextCategoryCell(cursor);
      _currentDim = 0;
      return true;
    }
    if (d == _lastDim) {
      _currentDim = 0;
      return false;
    }
    key[d] = dimension->FirstCategoryCell(cursor);
    ++_currentDim;
  }
}

bool CubeMetadata::AddPercentBase(std::vector<int>& dims, Codes::DimensionPosition position,
                                  int& iDim) const {
  bool added = false;
  while (iDim <= _lastDim && _positions[static_cast<size_t>(iDim)] == position) {
    dims.push_back(iDim);
    ++iDim;
    added = true;
  }
  return added;
}

void CubeMetadata::SkipPosition(Codes::DimensionPosition position, int& iDim) const {
  while (iDim <= _lastDim && _positions[static_cast<size_t>(iDim)] == position) ++iDim;
}

bool CubeMetadata::IsColumn(int iDim) const {
  return iDim >= 0 && iDim <= _lastDim &&
         _positions[static_cast<size_t>(iDim)] == Codes::kColumnPosition;
}

void CubeMetadata::GetPercentBase(std::vector<int>& dims, int percentType) const {
  dims.clear();
  switch (percentType) {
    case CellStatistics::kRowPercent:
      RowPercentBase(dims);
      break;
    case CellStatistics::kColumnPercent:
      ColumnPercentBase(dims);
      break;
    case CellStatistics::kSubtablePercent:
      SubtablePercentBase(dims);
      break;
    case CellStatistics::kLayerPercent:
      LayerPercentBase(dims);
      break;
    case CellStatistics::kLayerRowPercent:
      LayerRowPercentBase(dims);
      break;
    case CellStatistics::kLayerColumnPercent:
      LayerColumnPercentBase(dims);
      break;
    case CellStatistics::kTablePercent:  // the base keeps no dimension
    default:
      break;
  }
}

void CubeMetadata::RowPercentBase(std::vector<int>& dims) const {
  int iDim = 0;
  const int option = _cLabelOption;
  // The innermost column leaves the base; with option 1 the innermost row
  // is shown across the columns and plays that part instead.
  const bool rows = AddPercentBase(dims, Codes::kRowPosition, iDim);
  if (rows && option == Codes::kInnerRowAcrossColumns) {
    DropLast(dims);
    AddPercentBase(dims, Codes::kColumnPosition, iDim);
    AddPercentBase(dims, Codes::kLayerPosition, iDim);
    return;
  }
  if (AddPercentBase(dims, Codes::kColumnPosition, iDim)) {
    if (option != Codes::kInnerColumnDownRows && option != Codes::kInnerColumnAsLayers) {
      DropLast(dims);
    } else if (iDim > 1 && IsColumn(iDim - 2)) {
      DropSecondToLast(dims);
    }
  }
  AddPercentBase(dims, Codes::kLayerPosition, iDim);
}

void CubeMetadata::ColumnPercentBase(std::vector<int>& dims) const {
  int iDim = 0;
  const int option = _cLabelOption;
  const bool rows = AddPercentBase(dims, Codes::kRowPosition, iDim);
  if (rows) {
    if (option == Codes::kInnerRowAcrossColumns || option == Codes::kInnerRowAsLayers) {
      if (iDim > 1) DropSecondToLast(dims);
    } else if (option != Codes::kInnerColumnDownRows) {
      DropLast(dims);
    }
  }
  const bool columns = AddPercentBase(dims, Codes::kColumnPosition, iDim);
  if (option == Codes::kInnerColumnDownRows && (columns || rows)) DropLast(dims);
  AddPercentBase(dims, Codes::kLayerPosition, iDim);
}

void CubeMetadata::SubtablePercentBase(std::vector<int>& dims) const {
  int iDim = 0;
  const int option = _cLabelOption;
  const bool rows = AddPercentBase(dims, Codes::kRowPosition, iDim);
  if (rows) {
    if (option == Codes::kInnerRowAcrossColumns) {
      DropLast(dims);
      if (iDim > 1) DropLast(dims);
    } else if (option == Codes::kInnerRowAsLayers) {
      if (iDim > 1) DropSecondToLast(dims);
    } else if (option != Codes::kInnerColumnDownRows) {
      DropLast(dims);
    }
  }
  const bool columns = AddPercentBase(dims, Codes::kColumnPosition, iDim);
  if (columns) {
    if (option == Codes::kInnerColumnDownRows) {
      DropLast(dims);
      if (iDim > 1 && IsColumn(iDim - 2)) DropLast(dims);
    } else if (option == Codes::kInnerColumnAsLayers) {
      if (iDim > 1 && IsColumn(iDim - 2)) DropSecondToLast(dims);
    } else if (!(rows && option == Codes::kInnerRowAcrossColumns)) {
      DropLast(dims);
    }
  } else if (rows && option == Codes::kInnerColumnDownRows) {
    DropLast(dims);
  }
  AddPercentBase(dims, Codes::kLayerPosition, iDim);
}

void CubeMetadata::LayerPercentBase(std::vector<int>& dims) const {
  int iDim = 0;
  const int option = _cLabelOption;
  SkipPosition(Codes::kRowPosition, iDim);
  if (option == Codes::kInnerRowAsLayers && iDim > 0) dims.push_back(iDim - 1);
  SkipPosition(Codes::kColumnPosition, iDim);
  if (option == Codes::kInnerColumnAsLayers && iDim > 0 && IsColumn(iDim - 1)) {
    dims.push_back(iDim - 1);
  }
  AddPercentBase(dims, Codes::kLayerPosition, iDim);
}

void CubeMetadata::LayerRowPercentBase(std::vector<int>& dims) const {
  int iDim = 0;
  const int option = _cLabelOption;
  if (AddPercentBase(dims, Codes::kRowPosition, iDim) && option == Codes::kInnerRowAcrossColumns) {
    DropLast(dims);
  }
  SkipPosition(Codes::kColumnPosition, iDim);
  if ((option == Codes::kInnerColumnDownRows || option == Codes::kInnerColumnAsLayers) &&
      iDim > 0 && IsColumn(iDim - 1)) {
    dims.push_back(iDim - 1);
  }
  AddPercentBase(dims, Codes::kLayerPosition, iDim);
}

void CubeMetadata::LayerColumnPercentBase(std::vector<int>& dims) const {
  int iDim = 0;
  const int option = _cLabelOption;
  SkipPosition(Codes::kRowPosition, iDim);
  if ((option == Codes::kInnerRowAcrossColumns || option == Codes::kInnerRowAsLayers) && iDim > 0) {
    dims.push_back(iDim - 1);
  }
  if (AddPercentBase(dims, Codes::kColumnPosition, iDim) && option == Codes::kInnerColumnDownRows) {
    DropLast(dims);
  }
  AddPercentBase(dims, Codes::kLayerPosition, iDim);
}

CubeMetadata CubeMetadata::GetBaseMetadata(std::vector<int>& dims, int /*percentType*/) const {
  CubeMetadata base;
  base.SetClabelOption(_cLabelOption);
  for (const int iDim : dims) base.AddDimension(GetDimension(iDim), GetDimPosition(iDim));
  return base;
}

#include "CubeMetadata.h"

// PLACEHOLDER until the cube-aggregation classes land (see the header).

CubeMetadata::CubeMetadata() = default;
CubeMetadata::CubeMetadata(const CubeMetadata& other) = default;
CubeMetadata& CubeMetadata::operator=(const CubeMetadata& other) = default;
CubeMetadata::~CubeMetadata() = default;

void CubeMetadata::AddDimension(TableDimension* dimension,
                                TableEncryptionCodes::DimensionPosition dimPosition) {
  _dimensions.push_back(dimension);
  _positions.push_back(dimPosition);
}

void CubeMetadata::Clear() {
  _dimensions.clear();
  _positions.clear();
}

TableEncryptionCodes::DimensionPosition CubeMetadata::GetDimPosition(int iDim) const {
  return _positions[static_cast<size_t>(iDim)];
}

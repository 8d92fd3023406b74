#ifndef CUBE_METADATA_H
#define CUBE_METADATA_H

#include <cstddef>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

class TableDimension;

// PLACEHOLDER until the cube-aggregation classes land: only what the cube
// front end calls, with the real signatures. The real class replaces this file.
// CubeMetadata: the ordered dimensions a cube crosses, with their positions.
// Points to (does not own) its dimensions.
class TABCUBE_EXPORT CubeMetadata {
 public:
  CubeMetadata();
  CubeMetadata(const CubeMetadata& other);
  CubeMetadata& operator=(const CubeMetadata& other);
  ~CubeMetadata();

  void AddDimension(TableDimension* dimension, TableEncryptionCodes::DimensionPosition dimPosition);
  void Clear();
  void SetClabelOption(TableEncryptionCodes::CLabelOption option) { _cLabelOption = option; }
  int NumberOfDimensions() const { return static_cast<int>(_dimensions.size()); }
  TableDimension* GetDimension(int iDim) const { return _dimensions[static_cast<size_t>(iDim)]; }
  TableEncryptionCodes::DimensionPosition GetDimPosition(int iDim) const;

 private:
  std::vector<TableDimension*> _dimensions;
  std::vector<TableEncryptionCodes::DimensionPosition> _positions;
  TableEncryptionCodes::CLabelOption _cLabelOption = TableEncryptionCodes::kDefault;
};

#endif

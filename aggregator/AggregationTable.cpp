#include "AggregationTable.h"

#include <cassert>
#include <deque>
#include <typeinfo>

#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "TableCVariable.h"
#include "TableMCSet.h"
#include "TableMDSet.h"
#include "TableMetadata.h"

// A group of axis cubes, in creation order.
using AxisCubeGroup = std::vector<AggregationCube*>;
// The groups of one position, by group index. A deque never moves its
// elements when groups are appended, so a group handed to the host stays
// where it is for the table's life.
using AxisCubeGroups = std::deque<AxisCubeGroup>;

// The table's private record. Owns the metadata and every cube.
class AggregationTableImpl {
 public:
  TableMetadata* _tableMetadata;
  std::vector<AggregationCube*> _cubes;
  AxisCubeGroups _rowAxisCubes;
  AxisCubeGroups _columnAxisCubes;
  AxisCubeGroups _layerAxisCubes;
  bool _pairWiseTest;
  bool _dataWeighted;

  AxisCubeGroups& GroupsOf(TableEncryptionCodes::DimensionPosition position) {
    assert(position >= TableEncryptionCodes::kRowPosition &&
           position <= TableEncryptionCodes::kLayerPosition &&
           "position is a row, column or layer");
    if (position == TableEncryptionCodes::kRowPosition) return _rowAxisCubes;
    if (position == TableEncryptionCodes::kColumnPosition) return _columnAxisCubes;
    return _layerAxisCubes;
  }

  // Ordinary cubes in creation order, then the axis cubes: row groups in
  // index order, each group in group order, then column and layer groups.
  template <typename Visit>
  void ForEachCube(Visit visit) const {
    for (AggregationCube* cube : _cubes) visit(cube);
    for (const AxisCubeGroups* groups : {&_rowAxisCubes, &_columnAxisCubes, &_layerAxisCubes}) {
      for (const AxisCubeGroup& group : *groups) {
        for (AggregationCube* cube : group) visit(cube);
      }
    }
  }
};

AggregationTable::AggregationTable(QUOR_InputCaseIterator& iterator, bool dataWeighted,
                                   bool pairWiseTest)
    : _impl(new AggregationTableImpl) {
  _impl->_tableMetadata = new TableMetadata(iterator, !pairWiseTest);
  _impl->_pairWiseTest = pairWiseTest;
  _impl->_dataWeighted = dataWeighted;
}

AggregationTable::~AggregationTable() {
  // Cubes go first: their aggregators were built over the metadata.
  _impl->ForEachCube([](AggregationCube* cube) { delete cube; });
  delete _impl->_tableMetadata;
  delete _impl;
}

void AggregationTable::SetDataWeighted(bool dataWeighted) {
  _impl->_dataWeighted = dataWeighted;
}

void AggregationTable::SetPairWiseTest(bool pairWiseTest) {
  _impl->_pairWiseTest = pairWiseTest;
}

bool AggregationTable::GetDataWeighted() const {
  return _impl->_dataWeighted;
}

bool AggregationTable::GetPairWiseTest() const {
  return _impl->_pairWiseTest;
}

void AggregationTable::SetCLabelOption(TableEncryptionCodes::CLabelOption option) {
  _impl->_tableMetadata->SetClabelOption(option);
}

TableMetadata* AggregationTable::GetTableMetaData() {
  return _impl->_tableMetadata;
}

AggregationCube* AggregationTable::CreateCube() {
  AggregationCube* cube = new AggregationCube(this);
  _impl->_cubes.push_back(cube);
  return cube;
}

std::vector<AggregationCube*>* AggregationTable::CreateAxisCubes(
    int howMany, int indexInVector, TableEncryptionCodes::DimensionPosition position) {
  assert(indexInVector >= 0);
  assert(howMany > 0);
  AxisCubeGroups* pAxisCubes = &_impl->GroupsOf(position);
  if (pAxisCubes->size() < static_cast<size_t>(indexInVector)) {
    pAxisCubes->resize(static_cast<size_t>(indexInVector));
  }
  assert(pAxisCubes->size() == static_cast<size_t>(indexInVector) &&
         "pAxisCubes->size() == indexInVector");
  AxisCubeGroup group;
  group.reserve(static_cast<size_t>(howMany));
  for (int i = 0; i < howMany; ++i) group.push_back(new AggregationCube(this));
  pAxisCubes->push_back(std::move(group));
  return &pAxisCubes->back();
}

std::vector<std::vector<CubeAggregator*>> AggregationTable::GetAxisCubeAggregators(
    TableEncryptionCodes::DimensionPosition position) {
  const AxisCubeGroups& groups = _impl->GroupsOf(position);
  std::vector<std::vector<CubeAggregator*>> aggregators;
  aggregators.reserve(groups.size());
  for (const AxisCubeGroup& group : groups) {
    std::vector<CubeAggregator*> groupAggregators;
    groupAggregators.reserve(group.size());
    for (AggregationCube* cube : group) groupAggregators.push_back(cube->GetCubeAggregator());
    aggregators.push_back(std::move(groupAggregators));
  }
  return aggregators;
}

TableDimension* AggregationTable::AddCategoricalVariable(AggregationVariable* variable) {
  TableDimension* candidate;
  if (const AggregationMCSet* mcSet = dynamic_cast<const AggregationMCSet*>(variable)) {
    candidate = new TableMCSet(*mcSet);
  } else if (const AggregationMDSet* mdSet = dynamic_cast<const AggregationMDSet*>(variable)) {
    candidate = new TableMDSet(*mdSet);
  } else {
    candidate = new TableCVariable(*variable);
  }
  TableDimension* dimension = _impl->_tableMetadata->AddDimension(candidate);
  if (dimension != candidate) delete candidate;
  return dimension;
}

void AggregationTable::AddNewCase() {
  if (!_impl->_tableMetadata->EncodeCase()) return;
  _impl->ForEachCube([](AggregationCube* cube) { cube->AddNewCase(); });
}

std::vector<CubeAggregator*> AggregationTable::GetCubeAggregators() {
  const size_t nCubes = _impl->_cubes.size();
  assert(nCubes);
  std::vector<CubeAggregator*> aggregators;
  aggregators.reserve(nCubes);
  for (AggregationCube* cube : _impl->_cubes) aggregators.push_back(cube->GetCubeAggregator());
  return aggregators;
}

bool AggregationTable::HasEmptyCubes() const {
  for (AggregationCube* cube : _impl->_cubes) {
    if (cube->IsCubeEmpty()) return true;
  }
  return false;
}

bool AggregationTable::IsTableEmpty() const {
  for (AggregationCube* cube : _impl->_cubes) {
    if (!cube->IsCubeEmpty()) return false;
  }
  return true;
}

void AggregationTable::ResetAggregator() {
  _impl->_tableMetadata->ResetMetadata();
  _impl->ForEachCube([](AggregationCube* cube) { cube->ResetAggregator(); });
}

void AggregationTable::PrintDataDbg() {
  _impl->ForEachCube([](AggregationCube* cube) { cube->PrintDataDbg(); });
}

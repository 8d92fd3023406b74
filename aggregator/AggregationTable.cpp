#include "AggregationTable.h"

#include <cassert>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <typeinfo>

#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "CubeMetadata.h"
#include "StateStream.h"
#include "TableCVariable.h"
#include "TableDimension.h"
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

std::vector<CubeAggregator*> AggregationTable::AllAggregators() const {
  std::vector<CubeAggregator*> aggregators;
  _impl->ForEachCube(
      [&](AggregationCube* cube) { aggregators.push_back(cube->GetCubeAggregator()); });
  for (CubeAggregator* sort : _impl->_tableMetadata->GetSortAggregators()) {
    aggregators.push_back(sort);
  }
  return aggregators;
}

void AggregationTable::SetLeafAggregation(bool on) {
  _impl->_tableMetadata->SetLeafAggregation(on);
}

// ---------------------------------------------------------------------------
// Partial tables
//
// The state: the magic bytes, the version, then for every dimension its kind,
// the cells of a value and the values met in code order (numbers as IEEE 754
// doubles, strings as their bytes, each with its subtotal code), then each
// statistic reader's valid count, then every aggregator's cells and base
// cells (CubeAggregator::WriteState). Integers and doubles are little-endian.

namespace {

constexpr char kStateMagic[8] = {'T', 'A', 'B', 'C', 'U', 'B', 'E', 'P'};
constexpr uint32_t kStateVersion = 1;

// Whether the dimension's values are numbers (written as doubles) rather
// than strings (written as bytes).
bool HasNumericValues(const TableDimension& dimension) {
  return dimension.GetDimensionType() == TableDimension::kMDSet || dimension.GetValueType() <= 0;
}

void WriteMetValue(StateWriter& out, const TableDimension::MetValue& value, bool numeric) {
  for (const OBS& cell : value.key) {
    if (numeric) {
      out.F64(cell.num);
    } else {
      out.Bytes(cell.str, sizeof cell.str);
    }
  }
  out.I32(value.subtotal);
}

void ReadMetValue(StateReader& in, TableDimension::MetValue& value, int units, bool numeric) {
  value.key.resize(static_cast<size_t>(units));
  for (OBS& cell : value.key) {
    if (numeric) {
      cell.num = in.F64();
    } else {
      in.Bytes(cell.str, sizeof cell.str);
    }
  }
  value.subtotal = in.I32();
}

// The dimensions' values of a state, before any is adopted.
using StagedValues = std::vector<std::vector<TableDimension::MetValue>>;

void ReadDimensionValues(StateReader& in, const TableMetadata& metadata, StagedValues& staged) {
  const int nDims = metadata.NumberOfDimensions();
  if (in.U32() != static_cast<uint32_t>(nDims)) {
    in.Fail("the state was written for a table of another definition");
    return;
  }
  staged.resize(static_cast<size_t>(nDims));
  for (int d = 0; d < nDims && in.Ok(); ++d) {
    TableDimension& dimension = *metadata.GetDimension(d);
    const int units = dimension.MetValueUnits();
    const bool numeric = HasNumericValues(dimension);
    if (in.U8() != static_cast<uint8_t>(dimension.GetDimensionType()) ||
        in.U32() != static_cast<uint32_t>(units) || in.U8() != (numeric ? 1 : 0)) {
      in.Fail("the state was written for a table of another definition");
      return;
    }
    const uint32_t count = in.Count(8 * static_cast<size_t>(units) + 4);
    std::set<std::string> seen;
    std::vector<TableDimension::MetValue>& values = staged[static_cast<size_t>(d)];
    values.resize(count);
    for (TableDimension::MetValue& value : values) {
      ReadMetValue(in, value, units, numeric);
      if (!in.Ok()) return;
      std::string bytes(reinterpret_cast<const char*>(value.key.data()), 8 * value.key.size());
      if (!dimension.AcceptsMetValue(value) || !seen.insert(bytes).second) {
        in.Fail("a value of dimension " + std::to_string(d + 1) +
                " in the state is not one the dimension can hold, or comes twice");
        return;
      }
    }
  }
}

// The position in the table's dimension list of each of the cube's dimensions.
std::vector<int> TableDimensionsOf(const CubeAggregator& aggregator,
                                   const TableMetadata& metadata) {
  std::vector<int> positions;
  const CubeMetadata& cube = aggregator.GetMetadata();
  for (int i = 0; i < cube.NumberOfDimensions(); ++i) {
    int position = -1;
    for (int d = 0; d < metadata.NumberOfDimensions(); ++d) {
      if (metadata.GetDimension(d) == cube.GetDimension(i)) position = d;
    }
    assert(position >= 0 && "every cube dimension is a table dimension");
    positions.push_back(position);
  }
  return positions;
}

}  // namespace

void AggregationTable::SerializeState(std::string& out) {
  StateWriter writer(out);
  writer.Bytes(kStateMagic, sizeof kStateMagic);
  writer.U32(kStateVersion);
  const TableMetadata& metadata = *_impl->_tableMetadata;
  writer.U32(static_cast<uint32_t>(metadata.NumberOfDimensions()));
  std::vector<TableDimension::MetValue> values;
  for (int d = 0; d < metadata.NumberOfDimensions(); ++d) {
    const TableDimension& dimension = *metadata.GetDimension(d);
    const bool numeric = HasNumericValues(dimension);
    writer.U8(static_cast<uint8_t>(dimension.GetDimensionType()));
    writer.U32(static_cast<uint32_t>(dimension.MetValueUnits()));
    writer.U8(numeric ? 1 : 0);
    dimension.GetMetValues(values);
    writer.U32(static_cast<uint32_t>(values.size()));
    for (const TableDimension::MetValue& value : values) WriteMetValue(writer, value, numeric);
  }
  const std::vector<double>& validCount = metadata.GetValidCount();
  writer.U32(static_cast<uint32_t>(validCount.size()));
  for (double count : validCount) writer.F64(count);
  const std::vector<CubeAggregator*> aggregators = AllAggregators();
  writer.U32(static_cast<uint32_t>(aggregators.size()));
  for (CubeAggregator* aggregator : aggregators) {
    const bool present = aggregator && aggregator->GetCellStats();
    writer.U8(present ? 1 : 0);
    if (present) aggregator->WriteState(writer);
  }
}

bool AggregationTable::MergeState(const char* data, size_t size, std::string& error) {
  StateReader in(data, size);
  TableMetadata& metadata = *_impl->_tableMetadata;
  char magic[sizeof kStateMagic] = {};
  in.Bytes(magic, sizeof magic);
  if (in.Ok() && std::memcmp(magic, kStateMagic, sizeof magic) != 0) {
    in.Fail("not a tabcube partial state");
  }
  const uint32_t version = in.U32();
  if (in.Ok() && version != kStateVersion) {
    in.Fail("partial state version " + std::to_string(version) + " is not supported (this is " +
            std::to_string(kStateVersion) + ")");
  }
  // Everything is read and checked before anything is merged.
  StagedValues values;
  if (in.Ok()) ReadDimensionValues(in, metadata, values);
  std::vector<double> validCount;
  if (in.Ok()) {
    if (in.U32() != metadata.GetValidCount().size()) {
      in.Fail("the state was written for a table of another definition");
    }
    validCount.resize(metadata.GetValidCount().size());
    for (double& count : validCount) count = in.F64();
  }
  const std::vector<CubeAggregator*> aggregators = AllAggregators();
  std::vector<CubeAggregator::StagedCellsPtr> staged(aggregators.size());
  std::vector<std::vector<int>> cubeDims(aggregators.size());
  if (in.Ok() && in.U32() != aggregators.size()) {
    in.Fail("the state was written for a table of another definition");
  }
  for (size_t a = 0; a < aggregators.size() && in.Ok(); ++a) {
    CubeAggregator* aggregator = aggregators[a];
    const bool present = aggregator && aggregator->GetCellStats();
    if (in.U8() != (present ? 1 : 0)) {
      in.Fail("the state was written for a table of another definition");
      break;
    }
    if (!present) continue;
    cubeDims[a] = TableDimensionsOf(*aggregator, metadata);
    std::vector<int> valueCounts;
    for (int d : cubeDims[a]) {
      valueCounts.push_back(static_cast<int>(values[static_cast<size_t>(d)].size()));
    }
    staged[a] = aggregator->ReadState(in, valueCounts);
  }
  if (in.Ok() && !in.AtEnd()) in.Fail("the state has bytes after its end");
  if (!in.Ok()) {
    error = "bad partial state: " + in.Error();
    return false;
  }

  // Numbering the other part's values after this one's keeps codes in order
  // of first appearance over both parts together.
  std::vector<std::vector<int>> remaps(values.size());
  for (size_t d = 0; d < values.size(); ++d) {
    TableDimension& dimension = *metadata.GetDimension(static_cast<int>(d));
    std::vector<int>& remap = remaps[d];
    remap.assign(values[d].size() + 1, TableEncryptionCodes::kNoCategory);
    for (size_t v = 0; v < values[d].size(); ++v)
      remap[v + 1] = dimension.AdoptMetValue(values[d][v]);
  }
  metadata.AddValidCounts(validCount);
  for (size_t a = 0; a < aggregators.size(); ++a) {
    if (!staged[a]) continue;
    std::vector<const std::vector<int>*> cubeRemaps;
    for (int d : cubeDims[a]) cubeRemaps.push_back(&remaps[static_cast<size_t>(d)]);
    aggregators[a]->MergeStagedCells(*staged[a], cubeRemaps);
  }
  return true;
}

void AggregationTable::MergeFrom(AggregationTable& later) {
  std::string state;
  later.SerializeState(state);
  std::string error;
  const bool merged = MergeState(state.data(), state.size(), error);
  assert(merged && "a part of the same definition");
  (void)merged;
}

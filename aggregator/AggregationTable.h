#ifndef AGGREGATION_TABLE_H
#define AGGREGATION_TABLE_H

#include <cstddef>
#include <string>
#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

class AggregationCube;
class AggregationTableImpl;
class AggregationVariable;
class CubeAggregator;
class QUOR_InputCaseIterator;
class TableDimension;
class TableMetadata;

// AggregationTable: the engine's entry point for one table request. The host
// defines cubes (ordinary ones, and groups of axis cubes per row, column or
// layer position) through it, feeds every case with AddNewCase, and reads the
// results through the cubes' aggregators.
// Owns its TableMetadata (which owns the dimensions), its ordinary cubes and
// its axis cubes; all are destroyed with the table, so the host never deletes
// a cube. Points to (does not own) the host's case iterator.
class TABCUBE_EXPORT AggregationTable {
 public:
  // Listwise deletion for scale statistics is on exactly when pairwise tests
  // are off, and stays as set here.
  AggregationTable(QUOR_InputCaseIterator& iterator, bool dataWeighted, bool pairWiseTest);
  virtual ~AggregationTable();
  AggregationTable(const AggregationTable&) = delete;
  AggregationTable& operator=(const AggregationTable&) = delete;

  void SetDataWeighted(bool dataWeighted);
  void SetPairWiseTest(bool pairWiseTest);
  void SetCLabelOption(TableEncryptionCodes::CLabelOption option);
  TableMetadata* GetTableMetaData();

  // A new ordinary cube, owned by the table.
  AggregationCube* CreateCube();
  // A group of howMany new cubes stored at group index indexInVector of the
  // position (0 row, 1 column, 2 layer); missing lower indices become empty
  // groups. The returned group stays valid for the table's life.
  // REQUIRES: indexInVector >= 0, howMany > 0, and no group at that index yet.
  std::vector<AggregationCube*>* CreateAxisCubes(int howMany, int indexInVector,
                                                 TableEncryptionCodes::DimensionPosition position);
  // For every group of the position, in index order, its cubes' aggregators.
  std::vector<std::vector<CubeAggregator*>> GetAxisCubeAggregators(
      TableEncryptionCodes::DimensionPosition position);

  // Encodes the iterator's current case once, then hands it to every ordinary
  // cube in creation order and to the axis cubes (rows, columns, layers). A
  // case that every dimension refuses reaches no cube.
  void AddNewCase();

  // Each ordinary cube's aggregator, in creation order.
  // REQUIRES: at least one ordinary cube.
  std::vector<CubeAggregator*> GetCubeAggregators();
  // Axis cubes take no part in these two.
  bool HasEmptyCubes() const;
  bool IsTableEmpty() const;

  // Empties every cube and the metadata's counts, keeping the definition.
  void ResetAggregator();

  // Leaf aggregation (on by default): each case updates the running state
  // of its leaf, the one tuple of category cells it brings, and the leaves
  // are merged into the cells when results are read. Off, every case
  // updates each of its cells and bases at once. Both give the same results.
  void SetLeafAggregation(bool on);

  // Partial tables: several tables of one definition may each aggregate a
  // contiguous part of the cases (on threads, in other processes, on other
  // machines) and be merged in case order into one.
  //
  // Appends this table's state to out, in a portable, versioned binary form
  // that holds category values (not codes), so that it merges into a table
  // whose parts met the values in another order. The form is described in
  // README.md ("Partial tables").
  void SerializeState(std::string& out);
  // Merges a state written by SerializeState of a table of the same
  // definition whose cases come after this table's: categories met there
  // are numbered after the ones met here, cells add up. On input that is
  // not such a state (corrupt, truncated, another version or definition)
  // returns false with a message and leaves this table unchanged.
  bool MergeState(const char* data, size_t size, std::string& error);
  // Merges another table of the same definition whose cases come after
  // this table's. REQUIRES: the same definition.
  void MergeFrom(AggregationTable& later);
  // Dumps every cube's cells through the host's output.
  void PrintDataDbg();

 private:
  friend class AggregationCube;

  // Every aggregator that holds cells: each cube's (ordinary, then axis
  // cubes, in the order cases reach them; null for a cube without one), then
  // the sorting aggregators of the dimensions.
  std::vector<CubeAggregator*> AllAggregators() const;
  bool GetDataWeighted() const;
  bool GetPairWiseTest() const;
  // The table's one dimension for the variable or set (shared by every cube
  // that crosses it).
  TableDimension* AddCategoricalVariable(AggregationVariable* variable);

  AggregationTableImpl* _impl;
};

#endif

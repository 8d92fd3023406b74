#ifndef TABCUBE_REQUEST_TABLE_RUN_H
#define TABCUBE_REQUEST_TABLE_RUN_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AggregationCube.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "Filter.h"
#include "ParsedCategory.h"
#include "Request.h"
#include "TableResult.h"
#include "baseutil.h"
#include "casesource.h"

// The iterator a table reads its cases through: it shows whatever row it is
// given (the reader's current row, or a row of a batch on another thread). A
// table that must not be weighted reads through the plain one: the engine
// weights cases only when its iterator is the weighted procedure iterator.
class RowIterator : public QUOR_InputCaseIterator {
 public:
  explicit RowIterator(const QUOR_DataSource& dataSource) : QUOR_InputCaseIterator(dataSource) {}
  void Show(const OBS* row) { SetCurrentRow(row); }
};

class WeightedRowIterator : public ProcDSIterator {
 public:
  WeightedRowIterator(const QUOR_DataSource& dataSource, int weightVariable)
      : ProcDSIterator(dataSource, weightVariable) {}
  void Show(const OBS* row) { SetCurrentRow(row); }
};

// One element of a table (a variable or a set) with the engine's description of it.
struct ElementRun {
  std::string name;
  std::unique_ptr<AggregationVariable> variable;
  bool isSet = false;
  std::vector<OBS> countedValue;  // a dichotomy set's counted value, alive as long as the set
};

// One crossing of a row group, a column group and a layer group.
struct CubeRun {
  std::vector<ElementRun*> elements;
  std::vector<Axis> axes;
  AggregationCube* categoricalCube = nullptr;
  AggregationCube* scaleCube = nullptr;
  int categoricalIndex = -1;  // position among the table's cubes, in creation order
  int scaleIndex = -1;
  std::vector<int> categoricalSlots;  // request statistic index of each categorical statistic
  std::vector<int> scaleSlots;
  // In a hidden tests table: the cubes of the test inputs (see TableTests.h).
  int weightSumsIndex = -1;
  std::vector<int> meanIndices, meanVariables;
};

// One table of the request: the engine table, the iterator it reads its cases
// through, and every engine object the table points to. Owns all of them.
struct TableRun {
  const TableSpec* spec = nullptr;
  // Exactly one of the two is set.
  std::unique_ptr<RowIterator> plainRows;
  std::unique_ptr<WeightedRowIterator> weightedRows;
  // Declared before the engine table: the table's dimensions point at these.
  std::vector<std::unique_ptr<ParsedCategory>> parsedCategories;
  std::map<std::string, std::unique_ptr<ElementRun>> elements;
  std::unique_ptr<AggregationTable> table;
  std::vector<CubeRun> cubes;
  int cubeCount = 0;
  bool weighted = false;
  std::unique_ptr<Filter> filter;  // the table's own filter, if any
  long casesFilteredOut = 0;       // cases the table's filter left out
  // A variable whose missing values leave cases out: a dimension that
  // excludes them, or a scale variable under listwise deletion.
  struct MissingCount {
    std::string name;
    const QUOR_Variable* variable = nullptr;
    int offset = 0;
    long cases = 0;
  };
  std::vector<MissingCount> missingByDimension;
  std::vector<MissingCount> listwiseVariables;
  long casesDeletedListwise = 0;  // cases missing any of listwiseVariables
  // The hidden table of the tests' inputs, when the table asks for tests: a
  // table of its own so that its scale cubes delete listwise whatever the
  // requested table's deletion is.
  std::unique_ptr<TableRun> tests;

  void AddCase(const OBS* row) {
    if (filter && !filter->Keeps(row)) {
      ++casesFilteredOut;
      return;
    }
    CountMissing(row);
    if (plainRows)
      plainRows->Show(row);
    else
      weightedRows->Show(row);
    table->AddNewCase();
    if (tests) tests->AddCase(row);
  }

  void CountMissing(const OBS* row) {
    for (MissingCount& count : missingByDimension)
      if (count.variable->IsMissing(row + count.offset)) ++count.cases;
    for (const MissingCount& count : listwiseVariables)
      if (count.variable->IsMissing(row + count.offset)) {
        ++casesDeletedListwise;
        return;
      }
  }
};

#endif

#include "TableBuilder.h"

#include <algorithm>
#include <cstring>

#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationStatistic.h"
#include "InputError.h"
#include "StatisticNames.h"
#include "StatisticTraits.h"
#include "TableDimension.h"
#include "TableMetadata.h"
#include "TableTests.h"

namespace {

using Codes = TableEncryptionCodes;

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  throw InputError("request: " + path + ": " + problem);
}

int VariableIndex(const QUOR_DataSource& dataSource, const std::string& name) {
  for (int i = 0; i < dataSource.NumberOfVariables(); ++i)
    if (name == dataSource.GetVariable(i).GetName()) return i;
  return -1;
}

// Cells of a value of the given type (0 numeric, else width), blank-padded.
std::vector<OBS> ValueCells(const RequestValue& value, int type, const std::string& path,
                            const std::string& owner) {
  std::vector<OBS> cells(static_cast<size_t>(QUOR_CellCount(type)));
  if (type == 0) {
    if (value.isString)
      Fail(path, "\"" + value.text + "\" is a string but " + owner + " is numeric");
    cells[0].num = value.number + 0.0;
    return cells;
  }
  if (!value.isString) Fail(path, "a number was given but " + owner + " is a string");
  if (static_cast<int>(value.text.size()) > type)
    Fail(path,
         "\"" + value.text + "\" is wider than " + owner + " (" + std::to_string(type) + " bytes)");
  std::memset(cells[0].str, ' ', cells.size() * sizeof(OBS));
  std::memcpy(cells[0].str, value.text.data(), value.text.size());
  return cells;
}

// Builds one table of the request; the checks name the request's JSON paths.
class TableBuilder {
 public:
  // With read, every variable the tables name is marked in it.
  TableBuilder(const Request& request, const QUOR_DataSource& dataSource,
               std::vector<bool>* read = nullptr)
      : _request(request), _dataSource(dataSource), _read(read) {}

  // With forTests, builds the hidden table of the tests' inputs instead.
  void Build(TableRun& run, const TableSpec& spec, int weightVariable, bool forTests = false) {
    run.spec = &spec;
    run.weighted = weightVariable >= 0 && spec.weighted;
    QUOR_InputCaseIterator* tableIterator = nullptr;
    if (run.weighted) {
      run.weightedRows = std::make_unique<WeightedRowIterator>(_dataSource, weightVariable);
      tableIterator = run.weightedRows.get();
    } else {
      run.plainRows = std::make_unique<RowIterator>(_dataSource);
      tableIterator = run.plainRows.get();
    }
    if (spec.rows.empty() && spec.columns.empty() && spec.layers.empty())
      Fail(spec.path, "the table has no rows, columns or layers");
    for (const auto& [name, options] : spec.options)
      if (!Mentions(spec, name))
        Fail(options.path, name + " is not a row, column or layer of the table");
    // The tests table deletes listwise (pairwise off at construction) yet
    // records the moment statistics of pairwise tests.
    run.table = std::make_unique<AggregationTable>(*tableIterator, run.weighted,
                                                   forTests ? false : spec.pairwise);
    if (forTests) run.table->SetPairWiseTest(true);
    run.table->SetCLabelOption(static_cast<Codes::CLabelOption>(spec.labelOption));
    const auto statistics = CheckStatistics(spec);
    const std::vector<int> meanVariables = forTests ? CheckTests(spec) : std::vector<int>();

    const auto rows = GroupsOrNone(spec.rows), columns = GroupsOrNone(spec.columns),
               layers = GroupsOrNone(spec.layers);
    for (const auto* rowGroup : rows)
      for (const auto* columnGroup : columns)
        for (const auto* layerGroup : layers) {
          CubeRun cube;
          AddGroup(run, spec, rowGroup, Axis::kRow, spec.path + ".rows", cube);
          AddGroup(run, spec, columnGroup, Axis::kColumn, spec.path + ".columns", cube);
          AddGroup(run, spec, layerGroup, Axis::kLayer, spec.path + ".layers", cube);
          if (forTests)
            CreateTestCubes(run, spec, meanVariables, weightVariable, cube);
          else
            CreateCubes(run, spec, statistics, cube);
          run.cubes.push_back(std::move(cube));
        }
    if (!forTests && spec.tests.Any()) {
      run.tests = std::make_unique<TableRun>();
      Build(*run.tests, spec, weightVariable, true);
    }
  }

 private:
  static std::vector<const std::vector<std::string>*> GroupsOrNone(
      const std::vector<std::vector<std::string>>& groups) {
    std::vector<const std::vector<std::string>*> result;
    for (const auto& group : groups) result.push_back(&group);
    if (result.empty()) result.push_back(nullptr);
    return result;
  }

  static bool Mentions(const TableSpec& spec, const std::string& name) {
    for (const auto* axis : {&spec.rows, &spec.columns, &spec.layers})
      for (const auto& group : *axis)
        for (const auto& element : group)
          if (element == name) return true;
    return false;
  }

  // The data-source index of each means variable; tests need a column variable.
  std::vector<int> CheckTests(const TableSpec& spec) const {
    const TestsSpec& tests = spec.tests;
    if (spec.columns.empty())
      Fail(tests.path, "tests compare columns, and the table has no column variable");
    std::vector<int> indices;
    for (size_t i = 0; i < tests.means.variables.size(); ++i) {
      const std::string& name = tests.means.variables[i];
      const std::string path = tests.means.path + ".variables[" + std::to_string(i) + "]";
      const int index = Find(name);
      if (index < 0) Fail(path, "unknown variable " + name);
      if (_dataSource.GetVariable(index).GetType() != 0)
        Fail(path, "means are tested for numeric variables; " + name + " is a string");
      if (std::find(indices.begin(), indices.end(), index) != indices.end())
        Fail(path, name + " is listed twice");
      indices.push_back(index);
    }
    return indices;
  }

  // The cubes of a crossing's test inputs (see TestCubes).
  void CreateTestCubes(TableRun& run, const TableSpec& spec, const std::vector<int>& meanVariables,
                       int weightVariable, CubeRun& cube) {
    const bool squaredWeights = run.weighted && weightVariable >= 0;
    cube.categoricalCube = run.table->CreateCube();
    cube.categoricalIndex = run.cubeCount++;
    AddDimensions(*run.table, *cube.categoricalCube, cube);
    ElementRun* statistics = StatisticsElement(spec, cube);
    cube.categoricalCube->AddCategoryStatistics(
        {AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kUCount),
         AggregationStatistic(Codes::kColPct), AggregationStatistic(Codes::kUColPct)},
        statistics->variable.get());
    if (statistics->isSet && !FindSet(statistics->name)->isDichotomy &&
        FindSet(statistics->name)->countDuplicates)
      statistics->variable->GetTableDimension()->SetComputingCounts(true);
    // The weighted sum of the weight variable is the sum of squared weights.
    if (squaredWeights && spec.tests.proportions.base == significance::Base::kEffective) {
      AggregationCube* sums = run.table->CreateCube();
      cube.weightSumsIndex = run.cubeCount++;
      AddDimensions(*run.table, *sums, cube);
      sums->AddScaleStatistics({AggregationStatistic(weightVariable, Codes::kSum),
                                AggregationStatistic(weightVariable, Codes::kColSumPct)});
    }
    for (int variable : meanVariables) {
      std::vector<AggregationStatistic> moments = {AggregationStatistic(variable, Codes::kVariance),
                                                   AggregationStatistic(variable, Codes::kUValidN)};
      if (squaredWeights && spec.tests.means.base == significance::Base::kEffective)
        moments.emplace_back(weightVariable, Codes::kSum);
      AggregationCube* means = run.table->CreateCube();
      cube.meanIndices.push_back(run.cubeCount++);
      cube.meanVariables.push_back(variable);
      AddDimensions(*run.table, *means, cube);
      means->AddScaleStatistics(moments);
    }
  }

  // The engine's description of each statistic, with a check of its variable.
  std::vector<AggregationStatistic> CheckStatistics(const TableSpec& spec) const {
    std::vector<AggregationStatistic> statistics;
    for (const StatisticSpec& statistic : spec.statistics) {
      int index = -1;
      if (!statistic.variable.empty()) {
        index = Find(statistic.variable);
        if (index < 0) Fail(statistic.path + ".variable", "unknown variable " + statistic.variable);
        if (_dataSource.GetVariable(index).GetType() != 0)
          Fail(statistic.path + ".variable", "statistic " + statistic.name +
                                                 " needs a numeric variable; " +
                                                 statistic.variable + " is a string");
      }
      AggregationStatistic described(index, static_cast<Codes::StatisticCodes>(statistic.code));
      described.SetPTileCutPoint(statistic.parameter);
      described.SetCIMedian(statistic.parameter);
      described.SetLowerLimit(statistic.lower);
      described.SetUpperLimit(statistic.upper);
      statistics.push_back(described);
    }
    return statistics;
  }

  void AddGroup(TableRun& run, const TableSpec& spec, const std::vector<std::string>* group,
                Axis axis, const std::string& path, CubeRun& cube) {
    if (!group) return;
    for (const std::string& name : *group) {
      for (const ElementRun* present : cube.elements)
        if (present->name == name) Fail(path, name + " appears twice in one crossing");
      cube.elements.push_back(&Element(run, spec, name, path));
      cube.axes.push_back(axis);
    }
  }

  ElementRun& Element(TableRun& run, const TableSpec& spec, const std::string& name,
                      const std::string& path) {
    auto found = run.elements.find(name);
    if (found != run.elements.end()) return *found->second;
    auto element = std::make_unique<ElementRun>();
    element->name = name;
    const SetSpec* set = FindSet(name);
    const int index = Find(name);
    if (set) {
      MakeSet(*set, *element);
    } else if (index >= 0) {
      element->variable = std::make_unique<AggregationVariable>(index, name);
      element->variable->SetLabel(_dataSource.GetVariable(index).GetLabel());
    } else {
      Fail(path, "unknown variable or set " + name);
    }
    auto options = spec.options.find(name);
    if (options != spec.options.end()) ApplyOptions(run, *element, options->second, set);
    ElementRun& result = *element;
    run.elements[name] = std::move(element);
    return result;
  }

  const SetSpec* FindSet(const std::string& name) const {
    for (const SetSpec& set : _request.sets)
      if (set.name == name) return &set;
    return nullptr;
  }

  // Members' indices; every member exists and members are all numeric or all strings.
  std::vector<int> Members(const SetSpec& set, int& widest) const {
    std::vector<int> members;
    widest = 0;
    for (size_t i = 0; i < set.variables.size(); ++i) {
      const std::string path = set.path + ".variables[" + std::to_string(i) + "]";
      const int index = Find(set.variables[i]);
      if (index < 0) Fail(path, "unknown variable " + set.variables[i]);
      const int type = _dataSource.GetVariable(index).GetType();
      if (!members.empty() && (type == 0) != (widest == 0))
        Fail(path, "set " + set.name + " mixes numeric and string variables");
      widest = std::max(widest, type);
      members.push_back(index);
    }
    return members;
  }

  void MakeSet(const SetSpec& set, ElementRun& element) {
    int widest = 0;
    const std::vector<int> members = Members(set, widest);
    element.isSet = true;
    if (set.isDichotomy) {
      element.countedValue =
          ValueCells(set.countedValue, widest, set.path + ".countedValue", "set " + set.name);
      element.variable = std::make_unique<AggregationMDSet>(
          members, set.name, element.countedValue.data(),
          static_cast<int>(element.countedValue.size()), set.labelFromValue);
    } else {
      auto categories = std::make_unique<AggregationMCSet>(members, set.name);
      if (!set.missingVariable.empty()) {
        const int index = Find(set.missingVariable);
        if (std::find(members.begin(), members.end(), index) == members.end())
          Fail(set.path + ".missingVariable", set.missingVariable + " is not a member of the set");
        categories->SetUserMissingVariable(index);
      }
      element.variable = std::move(categories);
    }
    element.variable->SetLabel(set.label);
  }

  void ApplyOptions(TableRun& run, ElementRun& element, const ElementOptions& options,
                    const SetSpec* set) {
    AggregationVariable& variable = *element.variable;
    variable.SetIsTotalNo(!options.totals);
    variable.SetIsTotalPositionAfter(options.totalAfter);
    if (!options.totalLabel.empty()) {
      variable.SetTotalLabel(options.totalLabel);
      variable.SetIsTotalLabelDefault(false);
    }
    variable.SetIsMissingExclude(!options.includeMissing);
    variable.SetIsEmptyInclude(options.includeEmpty);
    variable.SetIsOrderA(options.ascending);
    variable.SetSortKey(static_cast<Codes::SortKey>(options.sort));
    if (options.sort == ElementOptions::kByStatistic) {
      int index = -1;
      if (!options.sortVariable.empty()) {
        index = Find(options.sortVariable);
        if (index < 0)
          Fail(options.path + ".sortVariable", "unknown variable " + options.sortVariable);
        if (_dataSource.GetVariable(index).GetType() != 0)
          Fail(options.path + ".sortVariable",
               "categories are ordered by statistics of numeric variables; " +
                   options.sortVariable + " is a string");
      }
      if (!SortsBy(options.sortStatistic, index >= 0))
        Fail(options.path + ".sortStatistic",
             std::string("categories cannot be ordered by ") +
                 StatisticName(options.sortStatistic) +
                 (index >= 0 ? " of a variable" : " without a \"sortVariable\""));
      variable.SetSortInfo(static_cast<Codes::StatisticCodes>(options.sortStatistic), index);
    }
    if (options.hasCategoryList)
      variable.SetParsedCategories(CategoryList(run, element, options, set));
  }

  std::vector<ParsedCategory*> CategoryList(TableRun& run, ElementRun& element,
                                            const ElementOptions& options, const SetSpec* set) {
    int type = 0;
    std::vector<int> members;
    if (set)
      members = Members(*set, type);
    else
      type = _dataSource.GetVariable(element.variable->GetIndex()).GetType();
    const std::string owner = (set ? "set " : "variable ") + element.name;
    std::vector<ParsedCategory*> list;
    int nextSubtotal = Codes::kMaxSubtotal;
    for (const CategorySpec& category : options.categories) {
      std::unique_ptr<ParsedCategory> parsed;
      switch (category.kind) {
        case CategorySpec::kValue:
          parsed = std::make_unique<ParsedCategory>(
              ValueCells(category.low, type, category.path + ".value", owner)[0], type);
          break;
        case CategorySpec::kRange: {
          const auto low = ValueCells(category.low, type, category.path + ".range[0]", owner);
          const auto high = ValueCells(category.high, type, category.path + ".range[1]", owner);
          parsed = std::make_unique<ParsedCategory>(low[0], high[0], type);
          break;
        }
        case CategorySpec::kLoRange:
        case CategorySpec::kHiRange: {
          const auto bound = ValueCells(category.low, type, category.path + ".range", owner);
          parsed = std::make_unique<ParsedCategory>(bound[0], type,
                                                    category.kind == CategorySpec::kLoRange
                                                        ? ParsedCategory::kLoRange
                                                        : ParsedCategory::kHiRange);
          break;
        }
        case CategorySpec::kAll:
          parsed = std::make_unique<ParsedCategory>(ParsedCategory::kLoHiRange);
          break;
        case CategorySpec::kMissing:
          parsed = std::make_unique<ParsedCategory>(ParsedCategory::kMissing);
          break;
        case CategorySpec::kOther:
          parsed = std::make_unique<ParsedCategory>(ParsedCategory::kOtherNM);
          break;
        case CategorySpec::kSubtotal:
        case CategorySpec::kHidingSubtotal:
          if (nextSubtotal < Codes::kLowerSubtotal) Fail(category.path, "too many subtotals");
          parsed = std::make_unique<ParsedCategory>(category.label, false, nextSubtotal--,
                                                    category.kind == CategorySpec::kSubtotal);
          break;
        case CategorySpec::kMember: {
          if (!set || !set->isDichotomy)
            Fail(category.path, "member variables can be listed only for a dichotomy set");
          const int index = Find(category.member);
          if (std::find(members.begin(), members.end(), index) == members.end())
            Fail(category.path + ".variable",
                 category.member + " is not a member of set " + set->name);
          parsed = std::make_unique<ParsedCategory>(ParsedCategory::kVariable);
          parsed->SetVarIndex(index);
          break;
        }
      }
      if (set && set->isDichotomy && category.kind != CategorySpec::kMember &&
          category.kind != CategorySpec::kSubtotal &&
          category.kind != CategorySpec::kHidingSubtotal)
        Fail(category.path, "a dichotomy set lists member variables and subtotals only");
      list.push_back(parsed.get());
      run.parsedCategories.push_back(std::move(parsed));
    }
    MarkSubtotalGroups(list, options.totalAfter);
    return list;
  }

  // The dimension counts a value towards the subtotal code that its admitting
  // entry carries, so every entry of a subtotal's group carries the
  // subtotal's code. A subtotal sums the entries since the previous subtotal:
  // those before it when totals come after their categories, those after it
  // otherwise.
  static void MarkSubtotalGroups(const std::vector<ParsedCategory*>& list, bool totalAfter) {
    std::vector<ParsedCategory*> group;
    auto visit = [&group](ParsedCategory* entry) {
      const int type = entry->GetPCType();
      if (type == ParsedCategory::kSubtotal || type == ParsedCategory::kHSubtotal) {
        for (ParsedCategory* member : group)
          member->SetSubtotalEncoding(entry->GetSubtotalEncoding());
        group.clear();
      } else if (type != ParsedCategory::kPCompute) {
        group.push_back(entry);
      }
    };
    if (totalAfter)
      std::for_each(list.begin(), list.end(), visit);
    else
      std::for_each(list.rbegin(), list.rend(), visit);
  }

  // The dimension whose categories the counts and percentages describe: the
  // one the request names, else the first set, else the innermost row,
  // column or layer.
  static ElementRun* StatisticsElement(const TableSpec& spec, const CubeRun& cube) {
    for (ElementRun* element : cube.elements)
      if (element->name == spec.statisticsVariable) return element;
    for (ElementRun* element : cube.elements)
      if (element->isSet) return element;
    for (Axis axis : {Axis::kRow, Axis::kColumn, Axis::kLayer}) {
      ElementRun* innermost = nullptr;
      for (size_t i = 0; i < cube.elements.size(); ++i)
        if (cube.axes[i] == axis) innermost = cube.elements[i];
      if (innermost) return innermost;
    }
    return nullptr;
  }

  // Statistics a dimension can order its categories by: counts of its own
  // categories, or a single-valued statistic of a numeric variable's values.
  // Percentages (their value needs a base) and statistics that need a
  // parameter are not offered.
  static bool SortsBy(int code, bool ofVariable) { return CanOrderCategories(code, ofVariable); }

  // A dimension ordered by a statistic needs the engine's sorting aggregator,
  // set up once per dimension (dimensions are shared by the table's cubes)
  // before the first case.
  static void SetUpStatisticSort(AggregationTable& table, AggregationVariable& variable) {
    TableDimension* dimension = variable.GetTableDimension();
    if (variable.GetSortKey() != Codes::kStatisticSort || dimension->GetSortAggregator()) return;
    const int index = variable.GetSortVariableIndex();
    if (index >= 0)
      dimension->SetSortByScaleStats(*table.GetTableMetaData(),
                                     AggregationStatistic(index, variable.GetSortStatistic()));
    else
      dimension->SetSortByDimensionStats(*table.GetTableMetaData(), nullptr,
                                         AggregationStatistic(variable.GetSortStatistic()));
  }

  static Codes::DimensionPosition Position(Axis axis) {
    switch (axis) {
      case Axis::kRow:
        return Codes::kRowPosition;
      case Axis::kColumn:
        return Codes::kColumnPosition;
      case Axis::kLayer:
        return Codes::kLayerPosition;
    }
    return Codes::kLayerPosition;
  }

  void AddDimensions(AggregationTable& table, AggregationCube& engineCube, const CubeRun& cube) {
    for (size_t i = 0; i < cube.elements.size(); ++i) {
      const Codes::DimensionPosition position = Position(cube.axes[i]);
      AggregationVariable& variable = *cube.elements[i]->variable;
      engineCube.AddCategoricalVariable(&variable, position);
      SetUpStatisticSort(table, variable);
    }
    engineCube.CreateCubeAggregator();
  }

  void CreateCubes(TableRun& run, const TableSpec& spec,
                   const std::vector<AggregationStatistic>& statistics, CubeRun& cube) {
    std::vector<AggregationStatistic> categorical, scale;
    for (size_t i = 0; i < statistics.size(); ++i) {
      if (spec.statistics[i].variable.empty()) {
        categorical.push_back(statistics[i]);
        cube.categoricalSlots.push_back(static_cast<int>(i));
      } else {
        scale.push_back(statistics[i]);
        cube.scaleSlots.push_back(static_cast<int>(i));
      }
    }
    if (!categorical.empty()) {
      cube.categoricalCube = run.table->CreateCube();
      cube.categoricalIndex = run.cubeCount++;
      AddDimensions(*run.table, *cube.categoricalCube, cube);
      ElementRun* statistics = StatisticsElement(spec, cube);
      cube.categoricalCube->AddCategoryStatistics(categorical, statistics->variable.get());
      if (statistics->isSet && !FindSet(statistics->name)->isDichotomy &&
          FindSet(statistics->name)->countDuplicates)
        statistics->variable->GetTableDimension()->SetComputingCounts(true);
    }
    if (!scale.empty()) {
      cube.scaleCube = run.table->CreateCube();
      cube.scaleIndex = run.cubeCount++;
      AddDimensions(*run.table, *cube.scaleCube, cube);
      cube.scaleCube->AddScaleStatistics(scale);
    }
  }

  // The index of the variable of that name (-1 for none), marked as read.
  int Find(const std::string& name) const {
    const int index = VariableIndex(_dataSource, name);
    if (_read && index >= 0) (*_read)[static_cast<size_t>(index)] = true;
    return index;
  }

  const Request& _request;
  const QUOR_DataSource& _dataSource;
  std::vector<bool>* _read;
};

TableRun::MissingCount MissingCountOf(const QUOR_DataSource& dataSource, const std::string& name) {
  TableRun::MissingCount count;
  count.name = name;
  const int index = VariableIndex(dataSource, name);
  count.variable = &dataSource.GetVariable(index);
  count.offset = dataSource.VariableOffset(index);
  return count;
}

// The variables whose missing values the table counts: each dimension
// variable (not a set) that excludes missing values, and the scale variables
// when listwise deletion applies.
void CountedMissing(TableRun& run, const TableSpec& spec, const QUOR_DataSource& dataSource) {
  for (const auto& [name, element] : run.elements) {
    if (element->isSet) continue;
    auto options = spec.options.find(name);
    if (options != spec.options.end() && options->second.includeMissing) continue;
    run.missingByDimension.push_back(MissingCountOf(dataSource, name));
  }
  if (spec.pairwise) return;
  for (const StatisticSpec& statistic : spec.statistics) {
    if (statistic.variable.empty()) continue;
    bool known = false;
    for (const auto& count : run.listwiseVariables)
      known = known || count.name == statistic.variable;
    if (!known) run.listwiseVariables.push_back(MissingCountOf(dataSource, statistic.variable));
  }
}

}  // namespace

std::vector<std::unique_ptr<TableRun>> BuildTables(const Request& request,
                                                   const QUOR_DataSource& dataSource,
                                                   int weightVariable) {
  std::vector<std::unique_ptr<TableRun>> tables;
  TableBuilder builder(request, dataSource);
  for (const TableSpec& spec : request.tables) {
    auto run = std::make_unique<TableRun>();
    builder.Build(*run, spec, weightVariable);
    CountedMissing(*run, spec, dataSource);
    if (!spec.filter.empty()) {
      run->filter =
          std::make_unique<Filter>(spec.filter, request.source + ": " + spec.path + ".filter");
      run->filter->Bind(dataSource);
    }
    tables.push_back(std::move(run));
  }
  return tables;
}

std::vector<bool> VariablesRead(const Request& request, const QUOR_DataSource& dataSource,
                                int weightVariable) {
  std::vector<bool> read(static_cast<size_t>(dataSource.NumberOfVariables()));
  if (weightVariable >= 0) read[static_cast<size_t>(weightVariable)] = true;
  auto markFilter = [&](const std::string& text, const std::string& where) {
    if (text.empty()) return;
    for (const std::string& name : Filter(text, where).VariableNames()) {
      const int index = VariableIndex(dataSource, name);
      if (index >= 0) read[static_cast<size_t>(index)] = true;
    }
  };
  markFilter(request.filter, request.source + ": $.filter");
  TableBuilder builder(request, dataSource, &read);
  for (const TableSpec& spec : request.tables) {
    TableRun run;
    builder.Build(run, spec, weightVariable);
    markFilter(spec.filter, request.source + ": " + spec.path + ".filter");
  }
  return read;
}

#include "RequestRunner.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationResult.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "DataInput.h"
#include "InputError.h"
#include "ParsedCategory.h"
#include "StatValues.h"
#include "StatisticNames.h"
#include "TableDimension.h"
#include "TableMetadata.h"

namespace {

using Codes = TableEncryptionCodes;

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

double Readable(double value) {
  return value == Codes::kMissingValue ? std::nan("") : value;
}

}  // namespace

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
  std::vector<std::string> axes;
  AggregationCube* categoricalCube = nullptr;
  AggregationCube* scaleCube = nullptr;
  int categoricalIndex = -1;  // position among the table's cubes, in creation order
  int scaleIndex = -1;
  std::vector<int> categoricalSlots;  // request statistic index of each categorical statistic
  std::vector<int> scaleSlots;
};

struct RequestRunner::TableRun {
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

  void AddCase(const OBS* row) {
    if (plainRows)
      plainRows->Show(row);
    else
      weightedRows->Show(row);
    table->AddNewCase();
  }
};

namespace {

// Builds one table of the request; the checks name the request's JSON paths.
class TableBuilder {
 public:
  TableBuilder(const Request& request, const QUOR_DataSource& dataSource)
      : _request(request), _dataSource(dataSource) {}

  void Build(RequestRunner::TableRun& run, const TableSpec& spec, int weightVariable) {
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
    run.table = std::make_unique<AggregationTable>(*tableIterator, run.weighted, spec.pairwise);
    run.table->SetCLabelOption(static_cast<Codes::CLabelOption>(spec.labelOption));
    const auto statistics = CheckStatistics(spec);

    const auto rows = GroupsOrNone(spec.rows), columns = GroupsOrNone(spec.columns),
               layers = GroupsOrNone(spec.layers);
    for (const auto* rowGroup : rows)
      for (const auto* columnGroup : columns)
        for (const auto* layerGroup : layers) {
          CubeRun cube;
          AddGroup(run, spec, rowGroup, "row", spec.path + ".rows", cube);
          AddGroup(run, spec, columnGroup, "column", spec.path + ".columns", cube);
          AddGroup(run, spec, layerGroup, "layer", spec.path + ".layers", cube);
          CreateCubes(run, spec, statistics, cube);
          run.cubes.push_back(std::move(cube));
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

  // The engine's description of each statistic, with a check of its variable.
  std::vector<AggregationStatistic> CheckStatistics(const TableSpec& spec) const {
    std::vector<AggregationStatistic> statistics;
    for (const StatisticSpec& statistic : spec.statistics) {
      int index = -1;
      if (!statistic.variable.empty()) {
        index = VariableIndex(_dataSource, statistic.variable);
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

  void AddGroup(RequestRunner::TableRun& run, const TableSpec& spec,
                const std::vector<std::string>* group, const char* axis, const std::string& path,
                CubeRun& cube) {
    if (!group) return;
    for (const std::string& name : *group) {
      for (const ElementRun* present : cube.elements)
        if (present->name == name) Fail(path, name + " appears twice in one crossing");
      cube.elements.push_back(&Element(run, spec, name, path));
      cube.axes.push_back(axis);
    }
  }

  ElementRun& Element(RequestRunner::TableRun& run, const TableSpec& spec, const std::string& name,
                      const std::string& path) {
    auto found = run.elements.find(name);
    if (found != run.elements.end()) return *found->second;
    auto element = std::make_unique<ElementRun>();
    element->name = name;
    const SetSpec* set = FindSet(name);
    const int index = VariableIndex(_dataSource, name);
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
      const int index = VariableIndex(_dataSource, set.variables[i]);
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
        const int index = VariableIndex(_dataSource, set.missingVariable);
        if (std::find(members.begin(), members.end(), index) == members.end())
          Fail(set.path + ".missingVariable", set.missingVariable + " is not a member of the set");
        categories->SetUserMissingVariable(index);
      }
      element.variable = std::move(categories);
    }
    element.variable->SetLabel(set.label);
  }

  void ApplyOptions(RequestRunner::TableRun& run, ElementRun& element,
                    const ElementOptions& options, const SetSpec* set) {
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
        index = VariableIndex(_dataSource, options.sortVariable);
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

  std::vector<ParsedCategory*> CategoryList(RequestRunner::TableRun& run, ElementRun& element,
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
          const int index = VariableIndex(_dataSource, category.member);
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
    for (const char* axis : {"row", "column", "layer"}) {
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
  static bool SortsBy(int code, bool ofVariable) {
    switch (code) {
      case Codes::kCount:
      case Codes::kUCount:
        return true;
      case Codes::kResponses:
      case Codes::kUResponses:
        return !ofVariable;
      case Codes::kMaximum:
      case Codes::kMean:
      case Codes::kUMean:
      case Codes::kMedian:
      case Codes::kUMedian:
      case Codes::kMedianInterpolated:
      case Codes::kUMedianInterpolated:
      case Codes::kMinimum:
      case Codes::kMissingN:
      case Codes::kUMissingN:
      case Codes::kMode:
      case Codes::kUMode:
      case Codes::kValueRange:
      case Codes::kSEMean:
      case Codes::kUSEMean:
      case Codes::kStdDev:
      case Codes::kUStdDev:
      case Codes::kSum:
      case Codes::kUSum:
      case Codes::kTotalN:
      case Codes::kUTotalN:
      case Codes::kValidN:
      case Codes::kUValidN:
      case Codes::kVariance:
      case Codes::kUVariance:
      case Codes::kSumSquaredDeviations:
        return ofVariable;
      default:
        return false;
    }
  }

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

  void AddDimensions(AggregationTable& table, AggregationCube& engineCube, const CubeRun& cube) {
    for (size_t i = 0; i < cube.elements.size(); ++i) {
      const Codes::DimensionPosition position = cube.axes[i] == "row"      ? Codes::kRowPosition
                                                : cube.axes[i] == "column" ? Codes::kColumnPosition
                                                                           : Codes::kLayerPosition;
      AggregationVariable& variable = *cube.elements[i]->variable;
      engineCube.AddCategoricalVariable(&variable, position);
      SetUpStatisticSort(table, variable);
    }
    engineCube.CreateCubeAggregator();
  }

  void CreateCubes(RequestRunner::TableRun& run, const TableSpec& spec,
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

  const Request& _request;
  const QUOR_DataSource& _dataSource;
};

// The engine labels only the categories it has to (orders by label, sets);
// the others take their value label from the variable here.
std::string ValueLabel(const QUOR_DataSource& dataSource, const AggregationCategory& category) {
  const int index = category.GetVarIndex();
  if (index < 0 || index >= dataSource.NumberOfVariables()) return "";
  const QUOR_Variable& variable = dataSource.GetVariable(index);
  if (variable.GetType() != category.GetValueType()) return "";
  QUOR_ValueLabelMap labels(variable.GetValueLabels());
  const char* label = labels.GetLabel(&category.GetCatValue());
  return label ? label : "";
}

CategoryResult DescribeCategory(const QUOR_DataSource& dataSource,
                                const AggregationCategory& category) {
  static const char* const kTypeNames[] = {"none",  "value",    "subtotal", "hsubtotal",
                                           "total", "variable", "compute"};
  CategoryResult result;
  const int type = static_cast<int>(const_cast<AggregationCategory&>(category).GetCatType());
  result.type = type >= 0 && type <= 6 ? kTypeNames[type] : "none";
  result.code = category.GetCatEncoding();
  result.empty = category.IsEmpty() || category.GetCatEncoding() == 0;
  result.label = category.GetCatLabel();
  if (type == AggregationCategory::kValue || type == AggregationCategory::kVariable) {
    const int width = category.GetValueType();
    if (width == 0) {
      result.number = category.GetCatValue().num;
    } else {
      result.isString = true;
      result.text.assign(category.GetCatValue().str, static_cast<size_t>(width));
      result.text.erase(result.text.find_last_not_of(' ') + 1);
    }
  }
  if (result.label.empty() && type == AggregationCategory::kValue)
    result.label = ValueLabel(dataSource, category);
  if (result.label.empty() && type == AggregationCategory::kValue) {
    if (result.isString) {
      result.label = result.text;
    } else {
      char text[64];
      std::snprintf(text, sizeof text, "%.15g", result.number);
      result.label = text;
    }
  }
  // A dichotomy set's member without a variable label goes by its name.
  if (result.label.empty() && type == AggregationCategory::kVariable) result.label = result.text;
  if (result.label.empty() && type == AggregationCategory::kDummy) result.label = "None valid";
  return result;
}

void ReadCube(const QUOR_DataSource& dataSource, const CubeRun& cube, const TableSpec& spec,
              const std::vector<CubeAggregator*>& aggregators, CubeResult& result) {
  std::vector<const std::vector<AggregationCategory*>*> lists;
  for (size_t i = 0; i < cube.elements.size(); ++i) {
    AggregationVariable& variable = *cube.elements[i]->variable;
    const std::vector<AggregationCategory*>& categories =
        variable.GetTableDimension()->GetCategoryPointers();
    lists.push_back(&categories);
    DimensionResult dimension;
    dimension.name = cube.elements[i]->name;
    dimension.label = variable.GetLabel();
    dimension.axis = cube.axes[i];
    for (const AggregationCategory* category : categories)
      dimension.categories.push_back(DescribeCategory(dataSource, *category));
    result.dimensions.push_back(std::move(dimension));
  }
  for (const StatisticSpec& statistic : spec.statistics) {
    StatisticResult described;
    described.name = statistic.name;
    described.variable = statistic.variable;
    const int code = statistic.code;
    described.isInterval = code == Codes::kMedianCI || code == Codes::kUMedianCI;
    described.hasParameter = described.isInterval || (code >= Codes::kPercentile &&
                                                      code <= Codes::kUPercentileInterpolated);
    described.parameter = statistic.parameter;
    result.statistics.push_back(described);
  }
  CubeAggregator* categorical = cube.categoricalIndex >= 0
                                    ? aggregators[static_cast<size_t>(cube.categoricalIndex)]
                                    : nullptr;
  CubeAggregator* scale =
      cube.scaleIndex >= 0 ? aggregators[static_cast<size_t>(cube.scaleIndex)] : nullptr;

  const size_t dimensions = lists.size();
  std::vector<size_t> position(dimensions, 0);
  for (const auto* list : lists)
    if (list->empty()) return;
  std::vector<const AggregationCategory*> key(dimensions);
  for (;;) {
    CellResult cell;
    cell.values.assign(spec.statistics.size(), {std::nan(""), std::nan(""), std::nan("")});
    for (size_t d = 0; d < dimensions; ++d) {
      key[d] = (*lists[d])[position[d]];
      cell.categories.push_back(static_cast<int>(position[d]));
    }
    auto read = [&](CubeAggregator* aggregator, const std::vector<int>& slots) {
      if (!aggregator) return;
      StatValues* values = aggregator->GetStatValues(key, -1);
      if (!values) return;
      cell.present = true;
      for (size_t s = 0; s < slots.size() && static_cast<int>(s) < values->NumOfValues(); ++s) {
        const AggregationResult value = values->GetStatValue(static_cast<int>(s));
        cell.values[static_cast<size_t>(slots[s])] = {
            Readable(value.GetValue1()), Readable(value.GetValue2()), Readable(value.GetValue3())};
      }
    };
    read(categorical, cube.categoricalSlots);
    read(scale, cube.scaleSlots);
    result.cells.push_back(std::move(cell));
    // Odometer: the last dimension turns fastest.
    size_t d = dimensions;
    while (d > 0) {
      --d;
      if (++position[d] < lists[d]->size()) break;
      position[d] = 0;
      if (d == 0) return;
    }
    if (dimensions == 0) return;
  }
}

}  // namespace

RequestRunner::RequestRunner(const Request& request, const QUOR_DataSource& dataSource,
                             StreamingCaseIterator& iterator, int weightVariable)
    : _request(request),
      _dataSource(dataSource),
      _iterator(iterator),
      _weightVariable(weightVariable) {
  TableBuilder builder(request, dataSource);
  for (const TableSpec& spec : request.tables) {
    auto run = std::make_unique<TableRun>();
    builder.Build(*run, spec, weightVariable);
    _tables.push_back(std::move(run));
  }
}

RequestRunner::~RequestRunner() = default;

void RequestRunner::Feed(const std::function<void(long)>& progress, long progressInterval,
                         int threads) {
  if (threads > 0 && !_tables.empty())
    FeedThreaded(progress, progressInterval);
  else
    FeedInline(progress, progressInterval);
}

void RequestRunner::FeedInline(const std::function<void(long)>& progress, long progressInterval) {
  long cases = 0;
  while (_iterator.Next()) {
    const OBS* row = _iterator.CurrentRow();
    for (auto& run : _tables) run->AddCase(row);
    if (progress && ++cases % progressInterval == 0) progress(_iterator.CasesRead());
  }
}

namespace {

// Rows handed from the reading thread to the table threads. A ring of
// batches: the reader fills a free batch and publishes it; every table thread
// aggregates every published batch in order; a batch is free again once every
// table thread is done with it. The rows of a batch never change while it is
// published, so the table threads read them without locking.
class RowQueue {
 public:
  RowQueue(int consumers, size_t rowWidth)
      : _consumers(consumers), _rowWidth(std::max<size_t>(1, rowWidth)) {
    for (Batch& batch : _batches) batch.rows.resize(kRowsPerBatch * _rowWidth);
  }

  // The reader: the batch to fill next, once every table thread is done with
  // it; null when the run is being abandoned.
  OBS* NextToFill() {
    std::unique_lock<std::mutex> lock(_mutex);
    Batch& batch = _batches[_published % kBatches];
    _freed.wait(lock, [&] { return batch.busy == 0 || _abandoned; });
    return _abandoned ? nullptr : batch.rows.data();
  }
  // The reader: publishes the batch from NextToFill with its number of rows
  // (0 marks the end of the data).
  void Publish(size_t rows) {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      Batch& batch = _batches[_published % kBatches];
      batch.count = rows;
      batch.busy = _consumers;
      ++_published;
    }
    _filled.notify_all();
  }
  // A table thread: batch number sequence once published (null when the run
  // is abandoned), with its rows.
  const OBS* WaitFor(size_t sequence, size_t& rows) {
    std::unique_lock<std::mutex> lock(_mutex);
    _filled.wait(lock, [&] { return _published > sequence || _abandoned; });
    if (_abandoned) return nullptr;
    const Batch& batch = _batches[sequence % kBatches];
    rows = batch.count;
    return batch.rows.data();
  }
  // A table thread is done with batch number sequence.
  void Done(size_t sequence) {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      --_batches[sequence % kBatches].busy;
    }
    _freed.notify_all();
  }
  // Stops every thread at its next wait.
  void Abandon() {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _abandoned = true;
    }
    _filled.notify_all();
    _freed.notify_all();
  }
  size_t RowWidth() const { return _rowWidth; }

  static constexpr size_t kRowsPerBatch = 1024;

 private:
  static constexpr size_t kBatches = 8;
  struct Batch {
    std::vector<OBS> rows;
    size_t count = 0;
    int busy = 0;  // table threads that have not finished the batch
  };

  const int _consumers;
  const size_t _rowWidth;
  Batch _batches[kBatches];
  size_t _published = 0;
  bool _abandoned = false;
  std::mutex _mutex;
  std::condition_variable _filled, _freed;
};

}  // namespace

void RequestRunner::FeedThreaded(const std::function<void(long)>& progress, long progressInterval) {
  RowQueue queue(static_cast<int>(_tables.size()), static_cast<size_t>(_dataSource.RowWidth()));
  std::vector<std::exception_ptr> errors(_tables.size());
  std::vector<std::thread> workers;
  auto startWorker = [&](size_t t) {
    workers.emplace_back([&, t] {
      TableRun& run = *_tables[t];
      try {
        for (size_t sequence = 0;; ++sequence) {
          size_t rows = 0;
          const OBS* batch = queue.WaitFor(sequence, rows);
          if (!batch || rows == 0) return;
          for (size_t r = 0; r < rows; ++r) run.AddCase(batch + r * queue.RowWidth());
          queue.Done(sequence);
        }
      } catch (...) {
        errors[t] = std::current_exception();
        queue.Abandon();
      }
    });
  };
  try {
    for (size_t t = 0; t < _tables.size(); ++t) startWorker(t);
  } catch (const std::system_error&) {
    // No thread to be had: the threads started so far stop before reading a
    // case, and every table is fed on this thread instead.
    queue.Abandon();
    for (std::thread& worker : workers) worker.join();
    FeedInline(progress, progressInterval);
    return;
  }
  std::exception_ptr readError;
  try {
    long cases = 0;
    const size_t width = static_cast<size_t>(_dataSource.RowWidth());
    bool more = true;
    while (more) {
      OBS* batch = queue.NextToFill();
      if (!batch) break;
      size_t rows = 0;
      while (rows < RowQueue::kRowsPerBatch && (more = _iterator.Next())) {
        if (width > 0)
          std::memcpy(batch + rows * width, _iterator.CurrentRow(), width * sizeof(OBS));
        ++rows;
        if (progress && ++cases % progressInterval == 0) progress(_iterator.CasesRead());
      }
      if (rows > 0) queue.Publish(rows);
    }
    // An empty batch tells the table threads that the data have ended.
    if (more == false && queue.NextToFill()) queue.Publish(0);
  } catch (...) {
    readError = std::current_exception();
    queue.Abandon();
  }
  for (std::thread& worker : workers) worker.join();
  if (readError) std::rethrow_exception(readError);
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
}

std::vector<CubeResult> RequestRunner::Results() const {
  std::vector<CubeResult> results;
  for (const auto& run : _tables) {
    const std::vector<CubeAggregator*> aggregators = run->table->GetCubeAggregators();
    for (const CubeRun& cube : run->cubes) {
      CubeResult result;
      result.title = run->spec->title;
      result.weighted = run->weighted;
      if (_weightVariable >= 0)
        result.weightVariable = _dataSource.GetVariable(_weightVariable).GetName();
      result.casesRead = _iterator.CasesRead();
      result.casesExcludedByWeight = _iterator.CasesExcludedByWeight();
      ReadCube(_dataSource, cube, *run->spec, aggregators, result);
      results.push_back(std::move(result));
    }
  }
  return results;
}

#include "ResultReader.h"

#include <cmath>
#include <cstdio>

#include "AggregationCategory.h"
#include "AggregationResult.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "TableTests.h"

namespace {

using Codes = TableEncryptionCodes;

// Category types are read from the engine by number.
static_assert(static_cast<int>(CategoryType::kNone) == AggregationCategory::kDummy &&
                  static_cast<int>(CategoryType::kValue) == AggregationCategory::kValue &&
                  static_cast<int>(CategoryType::kSubtotal) == AggregationCategory::kSubtotal &&
                  static_cast<int>(CategoryType::kHidingSubtotal) ==
                      AggregationCategory::kHSubtotal &&
                  static_cast<int>(CategoryType::kTotal) == AggregationCategory::kTotal &&
                  static_cast<int>(CategoryType::kVariable) == AggregationCategory::kVariable &&
                  static_cast<int>(CategoryType::kCompute) == AggregationCategory::kPCompute,
              "CategoryType follows the engine's category types");

// Statistics that count cases (or weights) or give a share of them: 0 in a
// cell without cases.
bool CountsCases(const std::string& name) {
  const auto has = [&](const char* part) { return name.find(part) != std::string::npos; };
  return has("Count") || has("Pct") || has("Responses") || name == "ValidN" || name == "UValidN" ||
         name == "TotalN" || name == "UTotalN" || name == "MissingN" || name == "UMissingN";
}

double Readable(double value) {
  return value == Codes::kMissingValue ? std::nan("") : value;
}

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
  CategoryResult result;
  const int type = static_cast<int>(const_cast<AggregationCategory&>(category).GetCatType());
  result.type = type >= 0 && type <= 6 ? static_cast<CategoryType>(type) : CategoryType::kNone;
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
    described.hasLower = statistic.hasLower;
    described.hasUpper = statistic.hasUpper;
    described.lower = statistic.lower;
    described.upper = statistic.upper;
    described.decimals = statistic.decimals;
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
    if (!cell.present && spec.emptyCells == TableSpec::kZero)
      for (size_t s = 0; s < spec.statistics.size(); ++s)
        if (CountsCases(spec.statistics[s].name) && spec.statistics[s].code != Codes::kMedianCI &&
            spec.statistics[s].code != Codes::kUMedianCI)
          cell.values[s][0] = 0.0;
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

std::vector<CubeResult> ReadResults(const QUOR_DataSource& dataSource,
                                    const std::vector<std::unique_ptr<TableRun>>& tables,
                                    const StreamingCaseIterator& iterator, int weightVariable,
                                    const std::string& filter) {
  std::vector<CubeResult> results;
  for (const auto& run : tables) {
    const std::vector<CubeAggregator*> aggregators = run->table->GetCubeAggregators();
    for (const CubeRun& cube : run->cubes) {
      CubeResult result;
      result.title = run->spec->title;
      result.weighted = run->weighted;
      if (weightVariable >= 0)
        result.weightVariable = dataSource.GetVariable(weightVariable).GetName();
      result.casesRead = iterator.CasesRead();
      result.casesExcludedByWeight = iterator.CasesExcludedByWeight();
      result.casesFilteredOut = iterator.CasesFilteredOut() + run->casesFilteredOut;
      result.filtered = !filter.empty() || run->filter;
      result.filter = filter;
      result.showEmptyCells = run->spec->emptyCells != TableSpec::kAbsent;
      result.statisticsOnRows = run->spec->statisticsOnRows;
      if (!run->listwiseVariables.empty()) result.casesDeletedListwise = run->casesDeletedListwise;
      if (run->filter)
        result.filter +=
            (filter.empty() ? "" : " and ") + std::string("(") + run->filter->Text() + ")";
      ReadCube(dataSource, cube, *run->spec, aggregators, result);
      // The counts of the dimensions of this crossing, in its order.
      for (const DimensionResult& dimension : result.dimensions)
        for (const auto& count : run->missingByDimension)
          if (count.name == dimension.name)
            result.casesMissingByDimension.emplace_back(count.name, count.cases);
      if (run->tests)
        AddTableTests(*run->tests, static_cast<size_t>(&cube - run->cubes.data()), result);
      results.push_back(std::move(result));
    }
  }
  return results;
}

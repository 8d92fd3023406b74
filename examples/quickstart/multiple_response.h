#ifndef QUICKSTART_MULTIPLE_RESPONSE_H
#define QUICKSTART_MULTIPLE_RESPONSE_H

// Multiple-response tables of the quickstart: a multiple-response set (a
// category set, whose members all name categories of one question, or a
// dichotomy set, whose members each say yes or no to one category) in the
// rows against a categorical variable in the columns, both with a total. Each
// cell holds the count of cases, the number of responses, and the column
// percentages of both: a case that names three brands is one case in three
// rows but three responses of its column.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "casesource.h"

namespace quickstart {

// The statistics of a cell, in this order.
enum ResponseStatistic { kCases = 0, kResponses = 1, kColumnPct = 2, kColumnResponsesPct = 3 };

struct ResponseTable {
  std::string title;
  std::vector<std::string> rows;
  std::vector<std::string> columns;
  // cells[row][column][statistic]; the missing value where no case came.
  std::vector<std::vector<std::array<double, 4>>> cells;
};

// The text of a category: its label, else its value label, else its value.
inline std::string CategoryName(const QUOR_DataSource& data, const AggregationCategory& category) {
  if (!category.GetCatLabel().empty() || category.GetCatType() != AggregationCategory::kValue) {
    return category.GetCatLabel();
  }
  QUOR_ValueLabelMap labels(data.GetVariable(category.GetVarIndex()).GetValueLabels());
  if (const char* label = labels.GetLabel(&category.GetCatValue())) return label;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", category.GetCatValue().num);
  return buffer;
}

// Tabulates the set against the column variable over every case of the
// iterator. Both get a total after their categories. The table lives only
// during the call: afterwards the set's dimension pointer must not be used.
inline ResponseTable TabulateResponses(QUOR_InputCaseIterator& iterator, bool weighted,
                                       AggregationVariable& set, int columnVariable,
                                       const std::string& title) {
  using Codes = TableEncryptionCodes;
  const QUOR_DataSource& data = iterator.GetDataSource();
  AggregationVariable column(columnVariable, data.GetVariable(columnVariable).GetName());
  column.SetIsTotalNo(false);
  set.SetIsTotalNo(false);

  AggregationTable table(iterator, weighted, false);
  AggregationCube* cube = table.CreateCube();
  cube->AddCategoricalVariable(&set, Codes::kRowPosition);
  cube->AddCategoricalVariable(&column, Codes::kColumnPosition);
  cube->CreateCubeAggregator();
  // The set is the statistics dimension: each cell also learns how many
  // responses the case gave in its category.
  cube->AddCategoryStatistics(
      {AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kResponses),
       AggregationStatistic(Codes::kColPct), AggregationStatistic(Codes::kColResponsesPct)},
      &set);
  iterator.Rewind();
  while (iterator.Next()) table.AddNewCase();

  ResponseTable result;
  result.title = title;
  CubeAggregator* aggregator = table.GetCubeAggregators().at(0);
  const std::vector<AggregationCategory*>& rows = set.GetTableDimension()->GetCategoryPointers();
  const std::vector<AggregationCategory*>& columns =
      column.GetTableDimension()->GetCategoryPointers();
  for (const AggregationCategory* c : columns) result.columns.push_back(CategoryName(data, *c));
  for (const AggregationCategory* r : rows) {
    result.rows.push_back(CategoryName(data, *r));
    std::vector<std::array<double, 4>> line;
    for (const AggregationCategory* c : columns) {
      std::array<double, 4> cell;
      cell.fill(Codes::kMissingValue);
      if (StatValues* values = aggregator->GetStatValues({r, c}, -1)) {
        for (int i = 0; i < 4; ++i) cell[static_cast<size_t>(i)] = values->GetStatValue(i);
      }
      line.push_back(cell);
    }
    result.cells.push_back(line);
  }
  return result;
}

inline void PrintResponseTable(const ResponseTable& table) {
  auto fit = [](const std::string& text, size_t width) {
    return text.size() > width ? text.substr(0, width) : text;
  };
  auto print = [](double value, const char* format, int width) {
    if (value == TableEncryptionCodes::kMissingValue) {
      std::printf("%*s", width, ".");
    } else {
      std::printf(format, value);
    }
  };
  auto block = [&](const char* what, ResponseStatistic first, const char* format) {
    std::printf("\n%s\n%-14s", what, "");
    for (const std::string& column : table.columns) {
      std::printf("  %15s", fit(column, 15).c_str());
    }
    std::printf("\n");
    for (size_t r = 0; r < table.rows.size(); ++r) {
      std::printf("%-14s", fit(table.rows[r], 14).c_str());
      for (const std::array<double, 4>& cell : table.cells[r]) {
        std::printf("  ");
        print(cell[first], format, 7);
        std::printf(" ");
        print(cell[first + 1], format, 7);
      }
      std::printf("\n");
    }
  };
  std::printf("\n%s\n", table.title.c_str());
  block("Each cell: cases, responses", kCases, "%7.1f");
  block("Each cell: column % of cases, column % of responses", kColumnPct, "%7.1f");
}

}  // namespace quickstart

#endif

// A host of the installed library: colour by size over six cases, counts and
// the mean of a weight per cell, with totals; checks every cell against the
// data's own tallies and prints the table. Exit status 1 on any mismatch.

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationResult.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "baseutil.h"
#include "casesource.h"

using Codes = TableEncryptionCodes;

std::string Label(const AggregationCategory& category) {
  if (category.GetCatType() != AggregationCategory::kValue) return category.GetCatLabel();
  char text[32];
  std::snprintf(text, sizeof text, "%g", category.GetCatValue().num);
  return text;
}

int main() {
  const double cases[][3] = {{1, 1, 10}, {1, 2, 20}, {2, 1, 30}, {2, 1, 50}, {2, 2, 70}, {1, 1, 2}};
  QUOR_DataSource data;
  data.AddVariable("colour", 0);
  data.AddVariable("size", 0);
  data.AddVariable("amount", 0);
  for (const auto& values : cases) {
    const int row = data.AddCase();
    for (int v = 0; v < 3; ++v) data.SetValue(row, v, values[v]);
  }
  ProcDSIterator iterator(data, -1);
  auto table = std::make_unique<AggregationTable>(iterator, false, false);
  AggregationVariable colour(0, "colour"), size(1, "size");
  for (AggregationVariable* variable : {&colour, &size}) {
    variable->SetIsTotalNo(false);
    variable->SetIsTotalPositionAfter(true);
  }
  AggregationCube* cube = table->CreateCube();
  cube->AddCategoricalVariable(&colour, Codes::kRowPosition);
  cube->AddCategoricalVariable(&size, Codes::kColumnPosition);
  cube->CreateCubeAggregator();
  cube->AddScaleStatistics(
      {AggregationStatistic(-1, Codes::kCount), AggregationStatistic(2, Codes::kMean)});
  while (iterator.Next()) table->AddNewCase();

  CubeAggregator* aggregator = table->GetCubeAggregators()[0];
  int mismatches = 0;
  for (const AggregationCategory* row : colour.GetTableDimension()->GetCategoryPointers()) {
    for (const AggregationCategory* column : size.GetTableDimension()->GetCategoryPointers()) {
      // The expected cell from the raw cases; a total (not a value) takes every case.
      double count = 0, sum = 0;
      for (const auto& values : cases) {
        const bool inRow =
            row->GetCatType() != AggregationCategory::kValue || row->GetCatValue().num == values[0];
        const bool inColumn = column->GetCatType() != AggregationCategory::kValue ||
                              column->GetCatValue().num == values[1];
        if (inRow && inColumn) count += 1, sum += values[2];
      }
      StatValues* cell = aggregator->GetStatValues({row, column}, -1);
      const double gotCount = cell ? cell->GetStatValue(0).GetValue1() : 0;
      const double gotMean = cell ? cell->GetStatValue(1).GetValue1() : 0;
      std::printf("%-6s %-6s count %g mean %g\n", Label(*row).c_str(), Label(*column).c_str(),
                  gotCount, gotMean);
      if (gotCount != count || std::fabs(gotMean - sum / count) > 1e-12) ++mismatches;
    }
  }
  table.reset();
  std::printf(mismatches == 0 ? "every cell matches\n" : "%d cells differ\n", mismatches);
  return mismatches == 0 ? 0 : 1;
}

// Encoding one case, per kind of dimension: a table with one cube over one
// dimension, and TableMetadata::EncodeCase called once per case (the value
// lookup, the category cells with the total, and for sets the per-category
// response counts).

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "TableMetadata.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

constexpr int kCases = 1 << 16;

// region (1..8), city (string of width 12, 50 values), q1..q5 (1..12, 30%
// missing), d1..d5 (0/1 dichotomies).
struct Data {
  Data() {
    source.AddVariable("region", 0);
    source.AddVariable("city", 12);
    for (int k = 1; k <= 5; ++k) source.AddVariable("q" + std::to_string(k), 0);
    for (int k = 1; k <= 5; ++k) source.AddVariable("d" + std::to_string(k), 0);
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> region(1, 8), city(0, 49), category(1, 12), bit(0, 1);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int c = 0; c < kCases; ++c) {
      const int row = source.AddCase();
      source.SetValue(row, 0, region(random));
      source.SetValue(row, 1, "city" + std::to_string(city(random)));
      for (int k = 0; k < 5; ++k)
        if (unit(random) >= 0.3) source.SetValue(row, 2 + k, category(random));
      for (int k = 0; k < 5; ++k) source.SetValue(row, 7 + k, bit(random));
    }
  }
  QUOR_DataSource source;
};

const Data& SharedData() {
  static const Data data;
  return data;
}

// Arg: 0 numeric categorical variable, 1 string categorical variable,
// 2 multiple category set (duplicates counted), 3 multiple dichotomy set.
void BM_EncodeCase(benchmark::State& state) {
  const Data& data = SharedData();
  const int kind = static_cast<int>(state.range(0));
  QUOR_InputCaseIterator iterator(data.source);
  std::unique_ptr<AggregationVariable> variable;
  const OBS counted = [] {
    OBS one;
    one.num = 1.0;
    return one;
  }();
  if (kind == 0) {
    variable = std::make_unique<AggregationVariable>(0, "region");
  } else if (kind == 1) {
    variable = std::make_unique<AggregationVariable>(1, "city");
  } else if (kind == 2) {
    variable = std::make_unique<AggregationMCSet>(std::vector<int>{2, 3, 4, 5, 6}, "qset");
  } else {
    variable = std::make_unique<AggregationMDSet>(std::vector<int>{7, 8, 9, 10, 11}, "dset",
                                                  &counted, 1, false);
  }
  variable->SetIsTotalNo(false);
  {
    AggregationTable table(iterator, false, false);
    AggregationCube* cube = table.CreateCube();
    cube->AddCategoricalVariable(variable.get(), Codes::kRowPosition);
    cube->CreateCubeAggregator();
    cube->AddCategoryStatistics({AggregationStatistic(-1, Codes::kCount)}, variable.get());
    TableMetadata& metadata = *table.GetTableMetaData();
    for (auto _ : state) {
      if (!iterator.Next()) {
        iterator.Rewind();
        iterator.Next();
      }
      benchmark::DoNotOptimize(metadata.EncodeCase());
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeCase)->Arg(0)->Arg(1)->Arg(2)->Arg(3);

}  // namespace

// Per-case cost of a cube aggregator once its cells exist: the key rewrite,
// hash and chain walk per cell and per percentage-base cell, plus the
// accumulator update. Workloads: a cube without dimensions (count, mean, sum
// of one variable), and a crossed cube of two rows and a column with totals
// (every case reaches 8 cells) with and without the seven count percentages.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../tests/aggregator/FixedCellDimension.h"
#include "AggregationStatistic.h"
#include "CubeAggregator.h"
#include "CubeMetadata.h"
#include "TableMetadata.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

constexpr int kCases = 4096;

// Cases of one numeric variable and three categorical dimensions whose cells
// (a category of 1 to 5, then the total) are played back per case.
struct Workload {
  explicit Workload(int nDims) {
    source.AddVariable("x", 0);
    for (int d = 0; d < 3; ++d) source.AddVariable("d" + std::to_string(d), 0);
    std::mt19937 random(7);
    std::vector<std::vector<FixedCellDimension::Cells>> scripts(3);
    for (int c = 0; c < kCases; ++c) {
      const int row = source.AddCase();
      source.SetValue(row, 0, static_cast<double>(random() % 1000) / 10.0);
      for (int d = 0; d < 3; ++d) {
        FixedCellDimension::Cells cells;
        cells.codes = {1 + static_cast<int>(random() % 5), Codes::kTotalCategory};
        scripts[d].push_back(cells);
      }
    }
    iterator.reset(new QUOR_InputCaseIterator(source));
    metadata.reset(new TableMetadata(*iterator, false));
    for (int d = 0; d < nDims; ++d) {
      FixedCellDimension* dim = new FixedCellDimension(1 + d);
      metadata->AddDimension(dim);
      dim->SetScript(scripts[d]);
      cube.AddDimension(dim, d < 2 ? Codes::kRowPosition : Codes::kColumnPosition);
    }
  }
  QUOR_DataSource source;
  std::unique_ptr<QUOR_InputCaseIterator> iterator;
  std::unique_ptr<TableMetadata> metadata;
  CubeMetadata cube;
};

void Run(benchmark::State& state, int nDims, bool percentages) {
  Workload workload(nDims);
  CubeAggregator aggregator(*workload.metadata, workload.cube);
  std::vector<AggregationStatistic> stats = {AggregationStatistic(0, Codes::kCount),
                                             AggregationStatistic(0, Codes::kMean),
                                             AggregationStatistic(0, Codes::kSum)};
  if (percentages) {
    for (int t = 0; t < 7; ++t) {
      stats.emplace_back(0, static_cast<Codes::StatisticCodes>(Codes::kRowPct + 2 * t));
    }
  }
  aggregator.SetCellStatistics(stats, nullptr);
  QUOR_InputCaseIterator& iterator = *workload.iterator;
  // One pass creates every cell; the timed passes only update.
  while (iterator.Next()) {
    workload.metadata->EncodeCase();
    aggregator.AddNewCase();
  }
  for (auto _ : state) {
    iterator.Rewind();
    while (iterator.Next()) {
      workload.metadata->EncodeCase();
      aggregator.AddNewCase();
    }
  }
  state.SetItemsProcessed(state.iterations() * kCases);
}

void BM_WholeDataCube(benchmark::State& state) {
  Run(state, 0, false);
}
void BM_CrossedCube(benchmark::State& state) {
  Run(state, 3, false);
}
void BM_CrossedCubeWithPercentages(benchmark::State& state) {
  Run(state, 3, true);
}

BENCHMARK(BM_WholeDataCube);
BENCHMARK(BM_CrossedCube);
BENCHMARK(BM_CrossedCubeWithPercentages);

}  // namespace

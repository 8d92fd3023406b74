#include <benchmark/benchmark.h>

#include <vector>

#include "AggregationStatistic.h"
#include "CellKey.h"
#include "CellStatistics.h"
#include "CellValues.h"
#include "HashtablePair.h"

namespace {

// A two-dimensional cube of rows x 10 cells, every cell present.
struct Cube {
  explicit Cube(int rows) : layout({AggregationStatistic(TableEncryptionCodes::kCount)}), key(2) {
    layout.SetCategoricalStatistics();
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= 10; ++c) Insert(r, c);
    }
  }
  void Insert(int r, int c) {
    key[0] = r;
    key[1] = c;
    key.UpdateHashCode();
    table.Insert(new CellKey(key), new CellValues(&layout, 1.0, true, false, 1.0));
  }
  CellStatistics layout;
  ZarnHashtablePair table{ZarnHashtablePair::kInitialBuckets};
  CellKey key;
};

// The per-cell step of a case: rewrite the working key, rehash, look it up.
void BM_LookupExistingCell(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Cube cube(rows);
  int r = 1;
  int c = 1;
  for (auto _ : state) {
    cube.key[0] = r;
    cube.key[1] = c;
    cube.key.UpdateHashCode();
    benchmark::DoNotOptimize(cube.table.Find(cube.key));
    if (++c > 10) {
      c = 1;
      if (++r > rows) r = 1;
    }
  }
}
BENCHMARK(BM_LookupExistingCell)->Arg(10)->Arg(1000)->Arg(100000);

// A reset followed by a new pass: clearing and refilling reuses every node.
void BM_ClearAndRefill(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Cube cube(rows);
  for (auto _ : state) {
    cube.table.Clear();
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= 10; ++c) cube.Insert(r, c);
    }
  }
  state.SetItemsProcessed(state.iterations() * rows * 10);
}
BENCHMARK(BM_ClearAndRefill)->Arg(1000);

}  // namespace

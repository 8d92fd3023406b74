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

// The cells of the reference crosstab (region 1..8, product 1..20, year
// 1..5, each with its total: 1134 keys of three codes), whose hash codes
// collide as the fixed hash function makes them. Each case visits eight of
// them; here they are found in the order a case's odometer produces.
std::vector<CellKey> CrosstabKeys() {
  std::vector<CellKey> keys;
  for (int r = 0; r <= 8; ++r) {
    for (int p = 0; p <= 20; ++p) {
      for (int y = 0; y <= 5; ++y) {
        CellKey key(3);
        key[0] = r ? r : TableEncryptionCodes::kTotalCategory;
        key[1] = p ? p : TableEncryptionCodes::kTotalCategory;
        key[2] = y ? y : TableEncryptionCodes::kTotalCategory;
        key.UpdateHashCode();
        keys.push_back(key);
      }
    }
  }
  return keys;
}

void BM_FindCrosstabCells(benchmark::State& state) {
  CellStatistics layout({AggregationStatistic(TableEncryptionCodes::kCount)});
  layout.SetCategoricalStatistics();
  ZarnHashtablePair table(ZarnHashtablePair::kInitialBuckets);
  const std::vector<CellKey> keys = CrosstabKeys();
  for (const CellKey& key : keys)
    table.Insert(new CellKey(key), new CellValues(&layout, 1.0, true, false, 1.0));
  CellKey key(3);
  unsigned int state32 = 20240601u;
  for (auto _ : state) {
    state32 = state32 * 1664525u + 1013904223u;
    const int r = static_cast<int>(state32 >> 8) % 8 + 1;
    const int p = static_cast<int>(state32 >> 12) % 20 + 1;
    const int y = static_cast<int>(state32 >> 20) % 5 + 1;
    for (int m = 0; m < 8; ++m) {
      key[0] = (m & 1) ? TableEncryptionCodes::kTotalCategory : r;
      key[1] = (m & 2) ? TableEncryptionCodes::kTotalCategory : p;
      key[2] = (m & 4) ? TableEncryptionCodes::kTotalCategory : y;
      key.UpdateHashCode();
      benchmark::DoNotOptimize(table.Find(key));
    }
  }
  state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_FindCrosstabCells);

// Filling a new table: a key copy, a new accumulator and a node per cell, and
// the growth of the bucket array; the table is destroyed each time.
void BM_InsertNewCells(benchmark::State& state) {
  CellStatistics layout({AggregationStatistic(TableEncryptionCodes::kCount)});
  layout.SetCategoricalStatistics();
  const std::vector<CellKey> keys = CrosstabKeys();
  for (auto _ : state) {
    ZarnHashtablePair table(ZarnHashtablePair::kInitialBuckets);
    for (const CellKey& key : keys) {
      if (!table.Find(key))
        table.Insert(new CellKey(key), new CellValues(&layout, 1.0, true, false, 1.0));
    }
    benchmark::DoNotOptimize(table.Count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(keys.size()));
}
BENCHMARK(BM_InsertNewCells);

}  // namespace

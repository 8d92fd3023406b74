// The host's value index on the encoding path: every categorical dimension
// looks the case's value up once per case (Contains), and inserts only the
// values it meets for the first time.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "casesource.h"
#include "keyindex.h"

namespace {

// Keys of one component: numbers 1..distinct, or strings "value<k>" of width 12.
std::vector<OBS> Keys(int distinct, int width) {
  const int cells = QUOR_CellCount(width);
  std::vector<OBS> keys(static_cast<size_t>(distinct) * static_cast<size_t>(cells));
  for (int k = 0; k < distinct; ++k) {
    OBS* key = keys.data() + static_cast<size_t>(k) * static_cast<size_t>(cells);
    if (width == 0) {
      key->num = k + 1;
    } else {
      std::memset(key, ' ', static_cast<size_t>(cells) * sizeof(OBS));
      const std::string text = "value" + std::to_string(k);
      std::memcpy(key, text.data(), std::min(text.size(), static_cast<size_t>(width)));
    }
  }
  return keys;
}

// Cases drawn at random among the keys (the order a data file delivers them).
std::vector<int> Draws(int distinct) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> pick(0, distinct - 1);
  std::vector<int> draws(1 << 16);
  for (int& draw : draws) draw = pick(random);
  return draws;
}

// Args: distinct values, key width (0 numeric).
void BM_ObsVecMapContains(benchmark::State& state) {
  const int distinct = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int cells = QUOR_CellCount(width);
  const std::vector<OBS> keys = Keys(distinct, width);
  ObsVecMap index({static_cast<short>(width)}, 2);
  for (int k = 0; k < distinct; ++k) index.Insert(keys.data() + k * cells)[0].num = k + 1;
  const std::vector<int> draws = Draws(distinct);
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.Contains(keys.data() + draws[next] * cells));
    next = (next + 1) & (draws.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ObsVecMapContains)
    ->Args({8, 0})
    ->Args({1000, 0})
    ->Args({1000000, 0})
    ->Args({8, 12})
    ->Args({1000, 12});

// Numbering the values of a pass: Insert of every distinct value, then Clear.
void BM_ObsVecMapInsertAndClear(benchmark::State& state) {
  const int distinct = static_cast<int>(state.range(0));
  const std::vector<OBS> keys = Keys(distinct, 0);
  ObsVecMap index({0}, 2);
  for (auto _ : state) {
    for (int k = 0; k < distinct; ++k) index.Insert(keys.data() + k)[0].num = k + 1;
    index.Clear();
  }
  state.SetItemsProcessed(state.iterations() * distinct);
}
BENCHMARK(BM_ObsVecMapInsertAndClear)->Arg(1000)->Arg(100000);

// Sorting the values at the end of a pass (the category list).
void BM_ObsVecMapSort(benchmark::State& state) {
  const int distinct = static_cast<int>(state.range(0));
  const std::vector<OBS> keys = Keys(distinct, 0);
  const std::vector<int> draws = Draws(distinct);
  ObsVecMap index({0}, 2);
  for (int draw : draws) index.Insert(keys.data() + draw);
  for (auto _ : state) benchmark::DoNotOptimize(index.Sort());
  state.SetItemsProcessed(state.iterations() * index.Size());
}
BENCHMARK(BM_ObsVecMapSort)->Arg(20)->Arg(10000);

}  // namespace

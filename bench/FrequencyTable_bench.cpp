#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "FrequencyTable.h"

namespace {

using Entries = std::vector<FrequencyTable::value_type>;

// The pending entries of a large table: n additions of distinct incomes in
// cents (range 0) or of whole ages 18 to 90 (range 1), weight one each.
Entries PendingEntries(size_t n, bool fewValues) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> income(0.0, 200000.0);
  std::uniform_int_distribution<int> age(18, 90);
  Entries entries(n);
  for (auto& entry : entries) {
    entry.first = fewValues ? age(random) : std::round(income(random) * 100.0) / 100.0;
    entry.second = 1.0;
  }
  return entries;
}

void BM_RadixSort(benchmark::State& state) {
  const Entries input = PendingEntries(static_cast<size_t>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    Entries entries = input;
    SortFrequencyEntries(entries);
    benchmark::DoNotOptimize(entries.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_StableSort(benchmark::State& state) {
  const Entries input = PendingEntries(static_cast<size_t>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    Entries entries = input;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const FrequencyTable::value_type& a, const FrequencyTable::value_type& b) {
                       return a.first < b.first;
                     });
    benchmark::DoNotOptimize(entries.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The sizes a table merges at: its pending entries are as many as its sorted
// ones, at least 1,024.
void Sizes(benchmark::internal::Benchmark* b) {
  for (int64_t n : {1 << 10, 1 << 14, 1 << 18, 1 << 20}) {
    b->Args({n, 0});
    b->Args({n, 1});
  }
}

BENCHMARK(BM_RadixSort)->Apply(Sizes);
BENCHMARK(BM_StableSort)->Apply(Sizes);

}  // namespace

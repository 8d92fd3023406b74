// Cost per call of the distribution functions a host uses for significance
// tests, and of the median interval the cell accumulators compute. The
// arguments cycle through a small fixed set so that no branch is favoured;
// the degrees of freedom argument selects typical (10), large (1000) and huge
// (1e6) cases, where the series and continued fractions need most terms.

#include <benchmark/benchmark.h>

#include <vector>

#include "NuvDistFun.h"

namespace {

constexpr double kPoints[] = {-3.7, -1.2, -0.3, 0.4, 1.9, 4.4};
constexpr double kProbabilities[] = {1e-9, 0.01, 0.2, 0.5, 0.8, 0.99, 1 - 1e-9};

void BM_CdfT(benchmark::State& state) {
  const double df = static_cast<double>(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NuvDistFun::CdfT(kPoints[i], df));
    i = (i + 1) % std::size(kPoints);
  }
}
BENCHMARK(BM_CdfT)->Arg(10)->Arg(1000)->Arg(1000000);

void BM_IdfT(benchmark::State& state) {
  const double df = static_cast<double>(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NuvDistFun::IdfT(kProbabilities[i], df));
    i = (i + 1) % std::size(kProbabilities);
  }
}
BENCHMARK(BM_IdfT)->Arg(10)->Arg(1000)->Arg(1000000);

void BM_CdfF(benchmark::State& state) {
  const double df2 = static_cast<double>(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NuvDistFun::CdfF(kPoints[i] + 4.0, 4.0, df2));
    i = (i + 1) % std::size(kPoints);
  }
}
BENCHMARK(BM_CdfF)->Arg(10)->Arg(1000)->Arg(1000000);

void BM_IdfChi(benchmark::State& state) {
  const double df = static_cast<double>(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NuvDistFun::IdfChi(kProbabilities[i], df));
    i = (i + 1) % std::size(kProbabilities);
  }
}
BENCHMARK(BM_IdfChi)->Arg(10)->Arg(1000)->Arg(1000000);

// A cell's median interval: range(0) distinct values, each of weight 3.
void BM_Mednci(benchmark::State& state) {
  const long int n = static_cast<long int>(state.range(0));
  std::vector<double> values(n), weights(n, 3.0);
  for (long int i = 0; i < n; ++i) values[i] = 0.5 * i;
  const double total = 3.0 * n;
  double lower, upper, attained;
  for (auto _ : state) {
    NuvDistFun::Mednci(n, values, weights, total, 95.0, false, lower, upper, attained);
    benchmark::DoNotOptimize(lower);
    benchmark::DoNotOptimize(upper);
  }
}
BENCHMARK(BM_Mednci)->Arg(10)->Arg(1000)->Arg(100000);

}  // namespace

// Per-case cost of the cell accumulators: one cell fed a stream of cases,
// for the layouts of the reference workloads (count, mean and sum of one
// variable; three percentiles of it) and for a long layout of every kind.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "AggregationStatistic.h"
#include "CellStatistics.h"
#include "CellValues.h"
#include "ZarnCaseValueReader.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;

// A data set of one numeric variable (income-like, 5% system-missing).
struct Data {
  explicit Data(int cases) {
    source.AddVariable("income", 0);
    std::mt19937_64 random(20240601);
    std::normal_distribution<double> logIncome(10.0, 0.75);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int c = 0; c < cases; ++c) {
      const int row = source.AddCase();
      if (unit(random) >= 0.05) {
        source.SetValue(row, 0, std::round(std::exp(logIncome(random)) * 100.0) / 100.0);
      }
    }
  }
  QUOR_DataSource source;
};

std::vector<AggregationStatistic> Layout(int kind) {
  std::vector<AggregationStatistic> stats;
  auto add = [&stats](Codes::StatisticCodes code, double cut = 0.0) {
    stats.emplace_back(0, code);
    stats.back().SetPTileCutPoint(cut);
    stats.back().SetUpperLimit(30000.0);
  };
  if (kind == 0) {
    add(Codes::kCount);
    add(Codes::kMean);
    add(Codes::kSum);
  } else if (kind == 1) {
    add(Codes::kPercentile, 25);
    add(Codes::kPercentile, 50);
    add(Codes::kPercentile, 75);
  } else {
    for (Codes::StatisticCodes code :
         {Codes::kCount, Codes::kMean, Codes::kUMean, Codes::kMaximum, Codes::kMinimum,
          Codes::kValueRange, Codes::kVariance, Codes::kStdDev, Codes::kValidN, Codes::kMedian,
          Codes::kMode, Codes::kSum, Codes::kBelowPct, Codes::kAtMostCount}) {
      add(code);
    }
  }
  return stats;
}

// Arg: 0 count/mean/sum, 1 three percentiles, 2 fourteen statistics.
void BM_ScaleCases(benchmark::State& state) {
  const int cases = 100000;
  Data data(cases);
  CellStatistics layout(Layout(static_cast<int>(state.range(0))));
  layout.SetScaleStatistics(std::vector<int>(static_cast<size_t>(layout.NumberOfValues()), 0));
  QUOR_InputCaseIterator iterator(data.source);
  std::vector<ZarnCaseValueReader*> readers = {new ZarnCaseValueReader(iterator, 0)};
  for (auto _ : state) {
    iterator.Rewind();
    std::unique_ptr<CellValues> cell;
    while (iterator.Next()) {
      readers[0]->SetValid(!readers[0]->IsMissing());
      if (!cell) {
        cell.reset(new CellValues(&layout, readers, 1.0));
      } else {
        cell->AddScaleCase(readers, 1.25);
      }
    }
    benchmark::DoNotOptimize(cell->GetValues()[0]);
  }
  state.SetItemsProcessed(state.iterations() * cases);
  delete readers[0];
}
BENCHMARK(BM_ScaleCases)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Arg: 3 moments (mean, variance, standard deviation), 4 limits (below and
// at-most counts and percentages), 5 the three percentiles over a variable
// with 20 distinct values (frequency tables that stop growing).
void BM_ScaleFamilies(benchmark::State& state) {
  const int cases = 100000;
  const int family = static_cast<int>(state.range(0));
  Data data(cases);
  if (family == 5) {
    for (int c = 0; c < cases; ++c) data.source.SetValue(c, 0, c % 20);
  }
  std::vector<AggregationStatistic> stats;
  auto add = [&stats](Codes::StatisticCodes code, double cut = 0.0) {
    stats.emplace_back(0, code);
    stats.back().SetPTileCutPoint(cut);
    stats.back().SetUpperLimit(30000.0);
  };
  if (family == 3) {
    add(Codes::kMean);
    add(Codes::kVariance);
    add(Codes::kStdDev);
  } else if (family == 4) {
    add(Codes::kBelowCount);
    add(Codes::kBelowPct);
    add(Codes::kAtMostCount);
  } else {
    add(Codes::kPercentile, 25);
    add(Codes::kPercentile, 50);
    add(Codes::kPercentile, 75);
  }
  CellStatistics layout(stats);
  layout.SetScaleStatistics(std::vector<int>(static_cast<size_t>(layout.NumberOfValues()), 0));
  QUOR_InputCaseIterator iterator(data.source);
  std::vector<ZarnCaseValueReader*> readers = {new ZarnCaseValueReader(iterator, 0)};
  for (auto _ : state) {
    iterator.Rewind();
    std::unique_ptr<CellValues> cell;
    while (iterator.Next()) {
      readers[0]->SetValid(!readers[0]->IsMissing());
      if (!cell) {
        cell.reset(new CellValues(&layout, readers, 1.0));
      } else {
        cell->AddScaleCase(readers, 1.25);
      }
    }
    benchmark::DoNotOptimize(cell->GetValues()[0]);
  }
  state.SetItemsProcessed(state.iterations() * cases);
  delete readers[0];
}
BENCHMARK(BM_ScaleFamilies)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

// Counts and the fixed N's of a categorical cell (count, total N, valid N and
// the numerators of two percentages), every tenth case total-only.
void BM_CategoricalCases(benchmark::State& state) {
  CellStatistics layout({AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kUCount),
                         AggregationStatistic(Codes::kTotalN), AggregationStatistic(Codes::kValidN),
                         AggregationStatistic(Codes::kColPct),
                         AggregationStatistic(Codes::kRowPct)});
  layout.SetCategoricalStatistics();
  CellValues cell(&layout, nullptr, true, false, 1.0);
  int c = 0;
  for (auto _ : state) {
    cell.AddCategoricalCase(nullptr, (c & 7) != 0, c % 10 == 0, 1.25);
    ++c;
  }
  benchmark::DoNotOptimize(cell.GetValues()[0]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CategoricalCases);

// Cases and responses of a multiple-response cell.
void BM_MRSetCases(benchmark::State& state) {
  CellStatistics layout({AggregationStatistic(Codes::kCount),
                         AggregationStatistic(Codes::kResponses),
                         AggregationStatistic(Codes::kUResponses)});
  layout.SetCategoricalStatistics();
  CellValues cell(&layout, 1.0, true, false, 1.0);
  int c = 0;
  for (auto _ : state) {
    cell.AddMRSetCase(1.0 + (c & 1), true, false, 1.25);
    ++c;
  }
  benchmark::DoNotOptimize(cell.GetValues()[0]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MRSetCases);

}  // namespace

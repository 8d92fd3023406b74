#include "ColumnTests.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "NuvDistFun.h"

namespace significance {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The engine's missing value becomes NaN here.
double Available(double value) {
  return value == NuvDistFun::_missing ? kNaN : value;
}

}  // namespace

double TwoSidedNormalP(double z) {
  if (std::isnan(z)) return kNaN;
  return 2.0 * Available(NuvDistFun::CdfNorm(-std::fabs(z), 0.0, 1.0));
}

double TwoSidedTP(double t, double df) {
  if (std::isnan(t) || !(df > 0.0)) return kNaN;
  return 2.0 * Available(NuvDistFun::CdfT(-std::fabs(t), df));
}

double ChiSquareUpperP(double x, double df) {
  if (std::isnan(x) || !(df > 0.0)) return kNaN;
  if (std::isinf(x)) return 0.0;
  return Available(NuvDistFun::SdfChi(x, df));
}

PairTest CompareProportions(const ColumnSample& a, const ColumnSample& b, Variance variance) {
  PairTest test;
  if (!(a.base > 0.0 && b.base > 0.0)) return test;
  const double p1 = a.estimate, p2 = b.estimate;
  double se2;
  if (variance == Variance::kPooled) {
    const double pooled = (p1 * a.base + p2 * b.base) / (a.base + b.base);
    se2 = pooled * (1.0 - pooled) * (1.0 / a.base + 1.0 / b.base);
  } else {
    se2 = p1 * (1.0 - p1) / a.base + p2 * (1.0 - p2) / b.base;
  }
  if (!(se2 > 0.0)) return test;
  test.tested = true;
  test.statistic = (p1 - p2) / std::sqrt(se2);
  test.p = TwoSidedNormalP(test.statistic);
  return test;
}

PairTest CompareMeans(const ColumnSample& a, const ColumnSample& b, Variance variance) {
  PairTest test;
  const double n1 = a.base, n2 = b.base, s1 = a.variance, s2 = b.variance;
  if (!(n1 > 1.0 && n2 > 1.0 && s1 >= 0.0 && s2 >= 0.0) || std::isinf(s1) || std::isinf(s2))
    return test;
  double se2;
  if (variance == Variance::kPooled) {
    test.df = n1 + n2 - 2.0;
    const double pooled = ((n1 - 1.0) * s1 + (n2 - 1.0) * s2) / test.df;
    se2 = pooled * (1.0 / n1 + 1.0 / n2);
  } else {
    const double v1 = s1 / n1, v2 = s2 / n2;
    se2 = v1 + v2;
    test.df = se2 * se2 / (v1 * v1 / (n1 - 1.0) + v2 * v2 / (n2 - 1.0));
  }
  if (!(se2 > 0.0)) return test;
  test.tested = true;
  test.statistic = (a.estimate - b.estimate) / std::sqrt(se2);
  test.p = TwoSidedTP(test.statistic, test.df);
  return test;
}

double EffectiveBase(double sumWeights, double sumSquaredWeights) {
  if (!(sumSquaredWeights > 0.0)) return 0.0;
  return sumWeights * sumWeights / sumSquaredWeights;
}

double VarianceForBase(double sumWeights, double m2, double base) {
  if (!(sumWeights > 0.0 && base > 1.0 && m2 >= 0.0)) return kNaN;
  return m2 / sumWeights * (base / (base - 1.0));
}

double AdjustedP(double p, int columns, Adjustment adjustment) {
  if (adjustment == Adjustment::kNone || columns < 3) return p;
  const double pairs = 0.5 * columns * (columns - 1.0);
  return std::min(1.0, p * pairs);
}

std::string ColumnLetter(int index) {
  assert(index >= 0 && "index >= 0");
  std::string letter(1, static_cast<char>('A' + index % 26));
  if (index >= 26) letter += std::to_string(index / 26);
  return letter;
}

namespace {

bool TakesPart(const ColumnSample& column, const PairwiseSettings& settings) {
  if (!(column.base >= settings.minBase && column.base > 0.0)) return false;
  if (!settings.means) return true;
  return column.base > 1.0 && column.variance >= 0.0 && !std::isinf(column.variance);
}

}  // namespace

void CompareColumns(const std::vector<ColumnSample>& columns, const PairwiseSettings& settings,
                    RowComparison& result) {
  const size_t m = columns.size();
  result.takesPart.assign(m, 0);
  result.p.assign(m * m, kNaN);
  result.higher.assign(m * m, 0);
  int taking = 0;
  for (size_t i = 0; i < m; ++i)
    if ((result.takesPart[i] = TakesPart(columns[i], settings))) ++taking;
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = i + 1; j < m; ++j) {
      if (!result.takesPart[i] || !result.takesPart[j]) continue;
      const PairTest test = settings.means
                                ? CompareMeans(columns[i], columns[j], settings.variance)
                                : CompareProportions(columns[i], columns[j], settings.variance);
      if (!test.tested) continue;
      const double p = AdjustedP(test.p, taking, settings.adjustment);
      result.p[i * m + j] = result.p[j * m + i] = p;
      if (!(p < settings.alpha)) continue;
      if (columns[i].estimate > columns[j].estimate) result.higher[i * m + j] = 1;
      if (columns[j].estimate > columns[i].estimate) result.higher[j * m + i] = 1;
    }
  }
}

ChiSquareTest PearsonChiSquare(const std::vector<double>& counts, int rows, int columns) {
  assert(rows >= 0 && columns >= 0 &&
         counts.size() == static_cast<size_t>(rows) * static_cast<size_t>(columns) &&
         "counts.size() == rows * columns");
  std::vector<double> rowSum(static_cast<size_t>(rows), 0.0),
      columnSum(static_cast<size_t>(columns), 0.0);
  double total = 0.0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const double count = counts[static_cast<size_t>(r * columns + c)];
      rowSum[static_cast<size_t>(r)] += count;
      columnSum[static_cast<size_t>(c)] += count;
      total += count;
    }
  ChiSquareTest test;
  const auto kept = [](const std::vector<double>& sums) {
    return static_cast<int>(
        std::count_if(sums.begin(), sums.end(), [](double s) { return s > 0.0; }));
  };
  const int keptRows = kept(rowSum), keptColumns = kept(columnSum);
  if (keptRows < 2 || keptColumns < 2) return test;
  test.minExpected = std::numeric_limits<double>::infinity();
  for (int r = 0; r < rows; ++r) {
    if (!(rowSum[static_cast<size_t>(r)] > 0.0)) continue;
    for (int c = 0; c < columns; ++c) {
      if (!(columnSum[static_cast<size_t>(c)] > 0.0)) continue;
      const double expected =
          rowSum[static_cast<size_t>(r)] * columnSum[static_cast<size_t>(c)] / total;
      const double difference = counts[static_cast<size_t>(r * columns + c)] - expected;
      test.statistic += difference * difference / expected;
      test.minExpected = std::min(test.minExpected, expected);
    }
  }
  test.tested = true;
  test.df = (keptRows - 1.0) * (keptColumns - 1.0);
  test.p = ChiSquareUpperP(test.statistic, test.df);
  return test;
}

}  // namespace significance

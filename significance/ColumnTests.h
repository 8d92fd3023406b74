#ifndef TABCUBE_SIGNIFICANCE_COLUMN_TESTS_H
#define TABCUBE_SIGNIFICANCE_COLUMN_TESTS_H

#include <string>
#include <vector>

// Significance tests of cross-tables as pure functions over counts, bases and
// moments: pairwise tests of column proportions and column means within one
// row of a subtable, their multiple-comparison adjustment, the effective
// base of weighted data, the letters that name compared columns, and
// Pearson's chi-square of a subtable. p-values come from the engine's
// distribution functions, always as the tail they are (never 1 minus a
// probability near 1), so tiny p-values keep their relative precision.
// Nothing here allocates except the functions that return vectors or strings.

namespace significance {

// How the standard error of a difference is formed: proportions pooled or
// unpooled; means pooled (equal variances) or Welch (unequal variances).
enum class Variance { kPooled, kUnpooled };
// How p-values are adjusted for the number of pairs compared in one row.
enum class Adjustment { kNone, kBonferroni };
// What a weighted table's tests count as the number of observations: cases,
// sums of weights, or Kish's effective base.
enum class Base { kUnweighted, kWeighted, kEffective };

// One column of one row: a proportion (0..1) or a mean, the sample variance
// (means only) and the base the test counts as its number of observations.
struct ColumnSample {
  double estimate = 0.0;
  double variance = 0.0;
  double base = 0.0;
};

// One comparison: whether a test was possible, its statistic (z or t), its
// degrees of freedom (t only) and its unadjusted two-sided p-value.
struct PairTest {
  bool tested = false;
  double statistic = 0.0;
  double df = 0.0;
  double p = 1.0;
};

// Two-sided p-values: 2 Phi(-|z|) and 2 P(T_df <= -|t|).
double TwoSidedNormalP(double z);
double TwoSidedTP(double t, double df);
// P(chi2_df > x), the upper tail with full relative precision.
double ChiSquareUpperP(double x, double df);

// z test of two column proportions. No test when a base is not positive, or
// when the standard error is zero (both proportions 0, or both 1).
PairTest CompareProportions(const ColumnSample& a, const ColumnSample& b, Variance variance);
// t test of two column means (pooled: df = n1 + n2 - 2; Welch: the
// Welch-Satterthwaite df). No test unless both bases exceed 1, both variances
// are finite and not negative, and the standard error is positive.
PairTest CompareMeans(const ColumnSample& a, const ColumnSample& b, Variance variance);

// Kish's effective base (sum w)^2 / sum w^2; 0 when sum w^2 is not positive.
double EffectiveBase(double sumWeights, double sumSquaredWeights);
// The sample variance for a base n from a weighted moment block (sum of
// weights W, weighted sum of squared deviations M2): (M2 / W) n / (n - 1).
// With n = W it is the engine's weighted variance M2 / (W - 1). NaN unless
// W > 0, n > 1 and M2 >= 0.
double VarianceForBase(double sumWeights, double m2, double base);

// p adjusted for the pairs among `columns` compared columns: Bonferroni
// multiplies by columns (columns - 1) / 2 and caps at 1.
double AdjustedP(double p, int columns, Adjustment adjustment);

// The letter of compared column `index` (0-based) of a subtable: A..Z, then
// A1..Z1, A2.. REQUIRES: index >= 0 ("index >= 0").
std::string ColumnLetter(int index);

// The settings of one pairwise test.
struct PairwiseSettings {
  bool means = false;  // column means, else column proportions
  Variance variance = Variance::kPooled;
  Adjustment adjustment = Adjustment::kBonferroni;
  double alpha = 0.05;
  double minBase = 0.0;
};

// The comparisons of one row of a subtable. For m columns: takesPart[i]
// tells whether column i was compared at all (its base reaches minBase and
// its sample allows a test), p[i * m + j] the adjusted p-value of i against
// j (NaN when not tested), higher[i * m + j] whether i is significantly
// higher than j (adjusted p below alpha and a larger estimate).
struct RowComparison {
  std::vector<char> takesPart;
  std::vector<double> p;
  std::vector<char> higher;
};
// Compares every pair of the row's columns; the adjustment counts the pairs
// among the columns that take part.
void CompareColumns(const std::vector<ColumnSample>& columns, const PairwiseSettings& settings,
                    RowComparison& result);

// Pearson's chi-square of an r x c table of counts (row-major). Rows and
// columns whose margin is zero are dropped; there is no test unless at least
// two of each remain. minExpected is the smallest expected count.
struct ChiSquareTest {
  bool tested = false;
  double statistic = 0.0;
  double df = 0.0;
  double p = 1.0;
  double minExpected = 0.0;
};
ChiSquareTest PearsonChiSquare(const std::vector<double>& counts, int rows, int columns);

}  // namespace significance

#endif

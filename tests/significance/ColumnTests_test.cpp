// The significance tests' pure functions against values computed with scipy
// and statsmodels (far tails included), and the rules of a row's comparisons:
// letters past Z, p exactly at alpha, columns below the minimum base, rows
// without a test, zero margins of the chi-square.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ColumnTests.h"

namespace {

using namespace significance;

double Rel(double got, double expected) {
  return std::fabs(got - expected) / expected;
}

TEST(ColumnTestsTest, TailsKeepTheirRelativePrecision) {
  // scipy.stats: chi2.sf(x, df), 2 t.sf(t, df), 2 norm.sf(z).
  const double chi[][3] = {{1100, 3, 3.639700375411625e-238},  {1300, 1, 1.1303728441493301e-284},
                           {700, 25, 1.3550525784141208e-131}, {50, 2, 1.3887943864964e-11},
                           {0.5, 1, 0.47950012218695337},      {30, 30, 0.4656537089440098},
                           {12.5, 7.5, 0.10631098515554815}};
  for (const auto& c : chi) EXPECT_LT(Rel(ChiSquareUpperP(c[0], c[1]), c[2]), 1e-9) << c[0];
  const double t[][3] = {{40, 10.5, 8.070736030482158e-13},
                         {8, 3.3, 0.0028597205981613022},
                         {30, 2000, 1.3707730191126464e-163},
                         {-3, 2.5, 0.07257609554903183},
                         {1e4, 4, 5.999999600000023e-16}};
  for (const auto& c : t) EXPECT_LT(Rel(TwoSidedTP(c[0], c[1]), c[2]), 1e-9) << c[0];
  EXPECT_LT(Rel(TwoSidedNormalP(-37.0), 1.1451142445047853e-299), 1e-9);
  EXPECT_LT(Rel(TwoSidedNormalP(5.0), 5.733031437583866e-07), 1e-12);
  EXPECT_EQ(ChiSquareUpperP(0.0, 3), 1.0);
}

TEST(ColumnTestsTest, PairTestsMatchTheReferenceFunctions) {
  // statsmodels proportions_ztest([12, 30], [40, 50]); scipy ttest_ind_from_stats (Welch).
  const PairTest prop = CompareProportions({12.0 / 40, 0, 40}, {30.0 / 50, 0, 50}, Variance::kPooled);
  EXPECT_LT(Rel(prop.p, 0.004586392080253494), 1e-12);
  const PairTest welch = CompareMeans({5.0, 2.0, 10}, {6.5, 3.0, 14}, Variance::kUnpooled);
  EXPECT_LT(Rel(welch.p, 0.02957760854343697), 1e-12);
  EXPECT_FALSE(CompareProportions({0, 0, 40}, {0, 0, 50}, Variance::kPooled).tested);
  EXPECT_FALSE(CompareProportions({1, 0, 40}, {1, 0, 50}, Variance::kUnpooled).tested);
  EXPECT_FALSE(CompareMeans({5, 2, 1}, {6, 2, 10}, Variance::kPooled).tested);
  // The variance for the weighted base is the engine's M2 / (W - 1); equal
  // weights give an effective base of the number of cases.
  EXPECT_DOUBLE_EQ(VarianceForBase(4.0, 38.0, 4.0), 38.0 / 3.0);
  EXPECT_DOUBLE_EQ(EffectiveBase(10 * 2.5, 10 * 2.5 * 2.5), 10.0);
}

TEST(ColumnTestsTest, LettersRunPastZ) {
  EXPECT_EQ(ColumnLetter(0), "A");
  EXPECT_EQ(ColumnLetter(25), "Z");
  EXPECT_EQ(ColumnLetter(26), "A1");
  EXPECT_EQ(ColumnLetter(27), "B1");
  EXPECT_EQ(ColumnLetter(52), "A2");
}

TEST(ColumnTestsTest, RowComparisonRules) {
  PairwiseSettings settings;
  settings.adjustment = Adjustment::kNone;
  RowComparison row;
  const std::vector<ColumnSample> two = {{0.3, 0, 40}, {0.6, 0, 50}};
  const double p = CompareProportions(two[0], two[1], Variance::kPooled).p;
  settings.alpha = p;  // p exactly at alpha is not significant
  CompareColumns(two, settings, row);
  EXPECT_EQ(row.p[1], p);
  EXPECT_FALSE(row.higher[2]);
  settings.alpha = std::nextafter(p, 1.0);
  CompareColumns(two, settings, row);
  EXPECT_TRUE(row.higher[2]);   // B higher than A
  EXPECT_FALSE(row.higher[1]);  // never the other way
  // Below minBase a column takes no part; Bonferroni counts the three others.
  settings.adjustment = Adjustment::kBonferroni;
  settings.minBase = 30;
  CompareColumns({{0.3, 0, 40}, {0.6, 0, 50}, {0.9, 0, 29}, {0.5, 0, 60}}, settings, row);
  EXPECT_FALSE(row.takesPart[2]);
  EXPECT_TRUE(std::isnan(row.p[0 * 4 + 2]));
  EXPECT_DOUBLE_EQ(row.p[0 * 4 + 1], 3 * p);
  CompareColumns({{0.3, 0, 40}}, settings, row);  // one column: nothing to compare
  EXPECT_TRUE(std::isnan(row.p[0]));
}

TEST(ColumnTestsTest, ChiSquareDropsZeroMargins) {
  // scipy chi2_contingency([[10, 20, 5], [30, 40, 1]], correction=False).
  const ChiSquareTest plain = PearsonChiSquare({10, 20, 5, 30, 40, 1}, 2, 3);
  const ChiSquareTest padded = PearsonChiSquare({10, 0, 20, 5, 0, 0, 0, 0, 30, 0, 40, 1}, 3, 4);
  for (const ChiSquareTest& test : {plain, padded}) {
    ASSERT_TRUE(test.tested);
    EXPECT_LT(Rel(test.statistic, 8.033534540576795), 1e-12);
    EXPECT_EQ(test.df, 2.0);
    EXPECT_LT(Rel(test.p, 0.018011095932943953), 1e-12);
    EXPECT_LT(Rel(test.minExpected, 1.9811320754716981), 1e-12);
  }
  EXPECT_FALSE(PearsonChiSquare({10, 0, 20, 0}, 2, 2).tested);  // one column with cases
}

}  // namespace

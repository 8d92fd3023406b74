// The significance tests' pure functions where the command-level reference
// (Significance_test) does not reach: pairs without a variance, effective
// bases, letters past Z, p exactly at alpha, columns below the minimum base,
// rows without a test, zero margins of the chi-square (against scipy).

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ColumnTests.h"

namespace {

using namespace significance;

double Rel(double got, double expected) {
  return std::fabs(got - expected) / expected;
}

TEST(ColumnTestsTest, PairsWithoutVarianceAreNotTestedAndBasesAreEffective) {
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

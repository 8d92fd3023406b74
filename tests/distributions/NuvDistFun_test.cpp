// Behaviour of the distribution functions beyond the reference table: the
// documented special values, every invalid-argument path with its status
// code, identities between the functions, the binomial quantile's walk, and
// GPTile and Mednci on cases worked out by hand.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "distributions/NuvDistFunProbe.h"
#include "support/TestValues.h"

namespace {

using P = NuvDistFunProbe;
using D = NuvDistFun;
constexpr double kMissing = NuvDistFun::_missing;

// Relative distance, for comparisons with a stated tolerance.
double Rel(double got, double expected) {
  return std::fabs(got - expected) / std::fabs(expected);
}

TEST(NuvDistFunTest, MissingIsTheMostNegativeDouble) {
  EXPECT_EQ(NuvDistFun::_missing, -DBL_MAX);
  EXPECT_EQ(NuvDistFun::_missing, TableEncryptionCodes::kMissingValue);
}

// ---- Continuous distributions: documented values and invalid arguments ------

double Parse(const std::string& text) {
  return text == "missing" ? kMissing : std::strtod(text.c_str(), nullptr);
}

// Every row of the table: the value (exact, or within the relative
// tolerance) and, where given, the status the function reports.
TEST(NuvDistFunTest, SpecialValuesAndInvalidArgumentsMatchTheTable) {
  const auto rows = testsupport::ReadTsv("distributions/special_values.tsv");
  ASSERT_GT(rows.size(), 150u);
  for (const std::vector<std::string>& row : rows) {
    ASSERT_EQ(row.size(), 5u);
    const auto function = DistributionFunctions().find(row[0]);
    ASSERT_NE(function, DistributionFunctions().end()) << row[0];
    Arguments arguments;
    std::istringstream in(row[1]);
    for (std::string a; in >> a;) arguments.push_back(Parse(a));
    long int status = -7;
    const double got = function->second(arguments, status);
    const double expected = Parse(row[2]), tolerance = Parse(row[4]);
    const std::string call = row[0] + "(" + row[1] + ")";
    if (tolerance == 0.0) {
      EXPECT_EQ(got, expected) << call;
    } else {
      EXPECT_LE(Rel(got, expected), tolerance) << call;
    }
    if (row[3] != "-") {
      EXPECT_EQ(status, std::stol(row[3])) << call;
    }
  }
}

TEST(NuvDistFunTest, NormalTailsAreSymmetricToTheLastPlace) {
  EXPECT_EQ(P::derf(-0.7), -P::derf(0.7));
  for (double z : {0.1, 1.0, 3.3, 8.0, 20.0, 37.0}) {
    const double lower = D::CdfNorm(-z, 0, 1);
    EXPECT_LE(Rel(D::CdfNorm(z, 0, 1), 1.0 - lower), 2e-16) << z;
    // The quantile of the lower tail recovers z to the precision of the tail.
    EXPECT_LE(Rel(D::IdfNorm(lower, 0, 1), -z), 1e-14) << z;
    EXPECT_EQ(P::probit(lower), D::IdfNorm(lower, 0, 1));
  }
}

TEST(NuvDistFunTest, TMatchesClosedFormsAndItsOwnSymmetry) {
  // df = 2: F(t) = 1/2 + t / (2 s), s = sqrt(2 + t^2), i.e. 1 / (s (s - t)) for
  // t < 0 without cancellation; df = 1: Cauchy, far tail 1/(pi |t|).
  for (double t : {-3e5, -30.0, -2.0, -0.4}) {
    const double s = std::sqrt(2 + t * t);
    EXPECT_LE(Rel(D::CdfT(t, 2), 1 / (s * (s - t))), 1e-14) << t;
    EXPECT_LE(Rel(1 - D::CdfT(-t, 2), 1 / (s * (s - t))), 1e-14 + 1e-16 / D::CdfT(t, 2)) << t;
  }
  EXPECT_LE(Rel(D::CdfT(-1e12, 1), 1.0 / (M_PI * 1e12)), 1e-15);
  for (double df : {0.7, 4.0, 55.5, 3e4}) {
    // Probabilities whose complements are exact, so that the two tails are
    // the same question.
    for (double p : {0x1p-30, 0x1p-10, 0.0625, 0.3125}) {
      const double t = D::IdfT(p, df);
      EXPECT_EQ(D::IdfT(1 - p, df), -t) << df << " " << p;
      EXPECT_LE(Rel(D::CdfT(t, df), p), 1e-12) << df << " " << p;
    }
  }
  // Huge df: the t distribution is the normal one to O(1/df).
  EXPECT_LE(Rel(D::CdfT(-2.5, 1e14), D::CdfNorm(-2.5, 0, 1)), 1e-12);
  EXPECT_LE(Rel(D::IdfT(0.01, 1e14), D::IdfNorm(0.01, 0, 1)), 1e-12);
}

TEST(NuvDistFunTest, ChiSquareMatchesClosedForms) {
  for (double x : {1e-8, 0.3, 2.0, 17.0, 300.0, 1400.0}) {
    // df = 2: 1 - e^(-x/2); df = 1: erf(sqrt(x/2)).
    EXPECT_LE(Rel(D::CdfChi(x, 2), -std::expm1(-x / 2)), 2e-16) << x;
    EXPECT_LE(Rel(D::CdfChi(x, 1), std::erf(std::sqrt(x / 2))), 1e-15) << x;
    long int status;
    EXPECT_LE(Rel(P::gammad(x / 2, 1.0, false, status), std::exp(-x / 2)), 2e-16) << x;
  }
  for (double p : {1e-12, 0.01, 0.5, 0.99, 1 - 1e-12}) {
    // df = 2: the quantile is -2 ln(1 - p).
    EXPECT_LE(Rel(D::IdfChi(p, 2), -2 * std::log1p(-p)), 1e-14) << p;
  }
}

TEST(NuvDistFunTest, ChiSquareBracketingRecoversFromAnyPositiveGuess) {
  const double expected = D::IdfChi(0.95, 7.5);
  for (double guess : {1e-300, 1e-5, 1.0, 7.5, 1e5, 1e300}) {
    long int status = -7;
    EXPECT_LE(Rel(P::idfchb(0.95, 7.5, guess, status), expected), 1e-14) << guess;
    EXPECT_EQ(status, 0);
  }
}

TEST(NuvDistFunTest, IncompleteGammaCasesAndStatuses) {
  long int status = -7;
  for (double a : {0.05, 3.0, 800.0}) {
    for (double x : {0.01, 1.0, 3.0, 900.0}) {
      const double lower = P::gammad(x, a, true, status);
      const double upper = P::gammad(x, a, false, status);
      EXPECT_NEAR(lower + upper, 1.0, 4e-16) << a << " " << x;
    }
  }
  // Beyond a = 1e10 the Wilson-Hilferty form: P(a, a) = 1/2 + 1/(3 sqrt(2 pi a)) + O(1/a).
  const double a = 1e12;
  EXPECT_NEAR(P::gammad(a, a, true, status), 0.5 + 1 / (3 * std::sqrt(2 * M_PI * a)), 1e-12);
  EXPECT_EQ(status, 0);
}

TEST(NuvDistFunTest, FTailsSwapWithTheDegreesOfFreedom) {
  // P(F(d1, d2) <= x) + P(F(d2, d1) <= 1/x) = 1, and F(1, d) = T(d)^2.
  for (double d1 : {0.4, 3.0, 40.0}) {
    for (double d2 : {1.5, 12.0, 5e3}) {
      for (double x : {0.05, 0.9, 2.0, 30.0}) {
        EXPECT_NEAR(D::CdfF(x, d1, d2) + D::CdfF(1 / x, d2, d1), 1.0, 2e-15)
            << d1 << " " << d2 << " " << x;
      }
      for (double p : {1e-9, 0.2, 0.7}) {
        const double x = D::IdfF(p, d1, d2);
        EXPECT_LE(Rel(D::CdfF(x, d1, d2), p), 1e-12) << d1 << " " << d2 << " " << p;
      }
    }
  }
  for (double t : {0.3, 1.7, 9.0}) {
    EXPECT_LE(Rel(D::CdfF(t * t, 1, 6), 2 * D::CdfT(t, 6) - 1), 1e-14) << t;
  }
}

TEST(NuvDistFunTest, BetaSpecialValuesAndInvalidArguments) {
  EXPECT_LE(Rel(P::betinv(0.3, 1.0, 4.0), 1 - std::pow(0.7, 0.25)), 1e-15);
  EXPECT_LE(Rel(P::betinv(0.3, 4.0, 1.0), std::pow(0.3, 0.25)), 1e-15);

  long int status = -7;
  EXPECT_LE(Rel(P::cdfbet(0.3, 1.0, 5.0, status), 1 - std::pow(0.7, 5)), 1e-15);
  EXPECT_LE(Rel(P::cdfbet(0.3, 5.0, 1.0, status), std::pow(0.3, 5)), 1e-15);
  // I_x(a, b) + I_(1-x)(b, a) = 1, and the inverse recovers x.
  for (double a : {0.2, 2.5, 300.0}) {
    for (double b : {0.6, 9.0, 1e4}) {
      for (double x : {0.001, 0.25, 0.5, 0.98}) {
        const double lower = P::cdfbet(x, a, b, status);
        EXPECT_NEAR(lower + P::cdfbet(1 - x, b, a, status), 1.0, 4e-16) << a << " " << b;
        if (lower > 1e-300 && lower < 1 - 1e-9) {
          EXPECT_LE(Rel(D::IdfBet(lower, a, b), x), 1e-11) << a << " " << b << " " << x;
        }
      }
    }
  }
}

TEST(NuvDistFunTest, PeizerPrattApproximationIsCloseForLargeParameters) {
  // The continued fraction's fallback: a normal approximation that improves
  // with the parameters.
  long int status;
  EXPECT_NEAR(P::betnap(0.45, 100, 120), P::cdfbet(0.45, 100, 120, status), 1e-6);
  EXPECT_NEAR(P::betnap(0.49, 1000, 1000), P::cdfbet(0.49, 1000, 1000, status), 1e-8);
  EXPECT_NEAR(P::betnap(0.3, 2, 5), P::cdfbet(0.3, 2, 5, status), 1e-3);
  EXPECT_NEAR(P::betnap(0.5, 10, 10), 0.5, 1e-15);
}

TEST(NuvDistFunTest, AuxiliaryFunctionsAtTheirSpecialPoints) {
  // Near 1, g(1 + d) = -d/3 + d^2/6 - ..., where the closed form cancels.
  const double x = 1 + 1e-9;
  const double d = x - 1;  // exact
  EXPECT_LE(Rel(P::cbtaux(x), -d / 3 + d * d / 6), 2e-16);
  EXPECT_LE(Rel(P::dnlgam(0.5), 0.5 * std::log(M_PI)), 2e-16);
  EXPECT_LE(Rel(P::dnlgam(11.0), std::log(3628800.0)), 2e-16);
}

// ---- Binomial distribution ---------------------------------------------------

TEST(NuvDistFunTest, LogBinomialCoefficient) {
  long int status = -7;
  EXPECT_EQ(P::dnlbnc(33, 16, status), std::log(1166803110.0));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(P::dnlbnc(5, 2, status), std::log(10.0));
  EXPECT_LE(Rel(P::dnlbnc(1e6, 1, status), std::log(1e6)), 2e-16);
  EXPECT_LE(Rel(P::dnlbnc(1e6, 999999, status), std::log(1e6)), 2e-16);
}

TEST(NuvDistFunTest, BinomialCdfIsTheSumOfItsProbabilities) {
  long int err;
  for (double prob : {0.03, 0.5, 0.81}) {
    double sum = 0.0;
    for (double k = 0; k <= 40; ++k) {
      sum += D::PdfBin(k, 40, prob, err);
      EXPECT_LE(Rel(D::CdfBin(k, 40, prob, err), sum), 1e-14) << prob << " " << k;
    }
    EXPECT_NEAR(sum, 1.0, 1e-15);
  }
  // Far below the mode the sum is below the double range: zero, not garbage.
  EXPECT_EQ(D::CdfBin(10, 1e6, 0.5, err), 0.0);
  EXPECT_EQ(err, 0);
}

TEST(NuvDistFunTest, BinomialQuantileIsTheLargestKWithCdfAtMostP) {
  long int err;
  // A CDF within a relative 2^-45 of p counts as equal to p (so that p computed
  // from the CDF finds its own k).
  const double fuzz = 1 + 0x1p-45;
  for (double n : {1.0, 7.0, 150.0, 1e5}) {
    for (double prob : {0.002, 0.3, 0.5, 0.97}) {
      for (double p : {1e-9, 0.01, 0.25, 0.5, 0.8, 0.999}) {
        const double k = D::IdfBin(p, n, prob, err);
        ASSERT_EQ(err, 0);
        if (k >= 0) {
          EXPECT_LT(D::CdfBin(k, n, prob, err), p * fuzz) << n << " " << prob << " " << p;
        }
        if (k < n) {
          EXPECT_GE(D::CdfBin(k + 1, n, prob, err), p * fuzz) << n << " " << prob << " " << p;
        }
      }
    }
  }
}

// ---- GPTile ----------------------------------------------------------------------

struct Percentile {
  double result;
  long int status;
};

Percentile Tile(const std::vector<double>& x, const std::vector<double>& w, double p,
                long int method = 0, const std::vector<double>& c = {}) {
  Percentile out{0.0, -7};
  D::GPTile(static_cast<long int>(x.size()), p, x, w, c, method, out.result, out.status);
  return out;
}

TEST(GPTileTest, FewerThanTwoValuesGiveStatusMinusOne) {
  Percentile one = Tile({4.0}, {3.0}, 50);
  EXPECT_EQ(one.result, kMissing);
  EXPECT_EQ(one.status, -1);
  Percentile none = Tile({}, {}, 50);
  EXPECT_EQ(none.result, kMissing);
  EXPECT_EQ(none.status, -1);
}

TEST(GPTileTest, TargetsOutsideTheMidpointsGiveStatusOneAndTwo) {
  Percentile median = Tile({10, 20}, {1, 1}, 50);
  EXPECT_EQ(median.result, 15.0);
  EXPECT_EQ(median.status, 0);
  Percentile low = Tile({10, 20}, {1, 1}, 10);  // t = 0.2 < m1 = 0.5
  EXPECT_EQ(low.result, kMissing);
  EXPECT_EQ(low.status, 1);
  Percentile high = Tile({10, 20}, {1, 1}, 100);  // t = 2 > m2 = 1.5
  EXPECT_EQ(high.result, kMissing);
  EXPECT_EQ(high.status, 2);
  Percentile edge = Tile({10, 20}, {1, 1}, 25);  // t = m1
  EXPECT_EQ(edge.result, 10.0);
  EXPECT_EQ(edge.status, 0);
  Percentile top = Tile({10, 20}, {1, 1}, 75);  // t = m2
  EXPECT_EQ(top.result, 20.0);
  EXPECT_EQ(top.status, 0);
}

TEST(GPTileTest, UnitWeightsInterpolateAtRankNpPlusHalf) {
  EXPECT_EQ(Tile({1, 2, 3, 4}, {1, 1, 1, 1}, 50).result, 2.5);
  EXPECT_EQ(Tile({1, 2, 3}, {1, 1, 1}, 50).result, 2.0);
  // Rank 4 * 0.3 + 0.5 = 1.7: 70% of the way from 10 to 20.
  EXPECT_DOUBLE_EQ(Tile({10, 20, 30, 40}, {1, 1, 1, 1}, 30).result, 17.0);
}

TEST(GPTileTest, WeightsMoveTheMidpoints) {
  // Weights 1, 2, 1: midpoints 0.5, 2, 3.5 of W = 4.
  const std::vector<double> x{1, 2, 4}, w{1, 2, 1};
  EXPECT_DOUBLE_EQ(Tile(x, w, 25).result, 4.0 / 3);   // t = 1
  EXPECT_DOUBLE_EQ(Tile(x, w, 75).result, 10.0 / 3);  // t = 3
  EXPECT_EQ(Tile(x, w, 50).result, 2.0);              // t = m2
  EXPECT_EQ(Tile(x, w, 87.5).result, 4.0);            // t = m3
  EXPECT_EQ(Tile(x, w, 87.5).status, 0);
}

TEST(GPTileTest, ConsecutiveZeroWeightsAtTheTargetGiveMissing) {
  // Midpoints 0.5, 1, 1, 1.5: the target 1 sits on two zero-weight values.
  Percentile tied = Tile({1, 2, 3, 4}, {1, 0, 0, 1}, 50);
  EXPECT_EQ(tied.result, kMissing);
  EXPECT_EQ(tied.status, 0);
  // All weights zero: every midpoint is 0, so is the target.
  EXPECT_EQ(Tile({1, 2}, {0, 0}, 50).result, kMissing);
  // One zero weight between positive ones interpolates normally.
  EXPECT_DOUBLE_EQ(Tile({1, 2, 3}, {1, 0, 1}, 50).result, 2.0);
}

TEST(GPTileTest, GroupedRules) {
  // Method 1: midpoints 5, 15, 25 of classes of width 10; cumulative 2, 5, 10.
  const std::vector<double> x{5, 15, 25}, w{2, 3, 5};
  EXPECT_DOUBLE_EQ(Tile(x, w, 30, 1, {10}).result, 40.0 / 3);  // t = 3 in [2, 5)
  EXPECT_EQ(Tile(x, w, 50, 1, {10}).result, 20.0);             // t = 5: bottom of class 3
  EXPECT_EQ(Tile(x, w, 100, 1, {10}).result, 30.0);            // t = W: top of the last class
  EXPECT_EQ(Tile(x, w, 0, 1, {10}).result, 0.0);

  // Method 3: boundaries 0, 10, 20; the last class runs to 2 * 26 - 20 = 32.
  const std::vector<double> gx{5, 12, 18, 26}, gw{1, 1, 1, 1}, bounds{0, 10, 20};
  EXPECT_EQ(Tile(gx, gw, 50, 3, bounds).result, 15.0);         // t = 2 in [1, 3)
  EXPECT_DOUBLE_EQ(Tile(gx, gw, 90, 3, bounds).result, 27.2);  // t = 3.6 in [3, 4)
  EXPECT_EQ(Tile(gx, gw, 100, 3, bounds).result, 32.0);
  EXPECT_EQ(Tile(gx, gw, 0, 3, bounds).result, 0.0);
  // Nothing below the first top: t = 0 gives c[0].
  EXPECT_EQ(Tile({25, 35}, {1, 1}, 0, 2, {10, 20}).result, 10.0);
}

TEST(GPTileDeathTest, ListsShorterThanNAreAProgrammingError) {
  double result;
  long int status;
  std::vector<double> x{1, 2}, w{1};
  EXPECT_DEATH(D::GPTile(2, 50, x, w, {}, 0, result, status), "GPTile: x and w hold n values");
  w.push_back(1);
  EXPECT_DEATH(D::GPTile(2, 50, x, w, {}, 1, result, status),
               "GPTile: c\\[0\\] holds the class width");
  EXPECT_DEATH(D::GPTile(2, 50, x, w, {0.0}, 3, result, status),
               "GPTile: c holds the class boundaries");
}

// ---- Mednci ------------------------------------------------------------------------

struct Interval {
  double lower, upper, attained;
};

Interval Median(const std::vector<double>& x, const std::vector<double>& w, double level,
                bool exact, double total = -1) {
  if (total < 0) {
    total = 0;
    for (double weight : w) total += weight;
  }
  Interval out{0, 0, 0};
  D::Mednci(static_cast<long int>(x.size()), x, w, total, level, exact, out.lower, out.upper,
            out.attained);
  return out;
}

TEST(MedianIntervalTest, TotalTwoIsTheWholeRange) {
  Interval two = Median({3, 8}, {1, 1}, 95, false);
  EXPECT_EQ(two.lower, 3.0);
  EXPECT_EQ(two.upper, 8.0);
  EXPECT_EQ(two.attained, 100.0);
}

TEST(MedianIntervalTest, TotalsBelowTwoOrNotWholeGiveNothing) {
  // No values at all, even with a total of 2, must not read x[0].
  for (const Interval& none : {Median({3, 8}, {1, 1.5}, 95, true), Median({3}, {1}, 95, true),
                               Median({}, {}, 95, true, 2), Median({}, {}, 95, true, 5)}) {
    EXPECT_EQ(none.lower, kMissing);
    EXPECT_EQ(none.upper, kMissing);
    EXPECT_EQ(none.attained, kMissing);
  }
}

TEST(MedianIntervalTest, OneAndNineTwosGiveTheLastValueForBothLimits) {
  // Binomial(10, 1/2): F(1) = 11/1024 <= 0.025 < F(2), so k = 1: order
  // statistics 2 and 9 of 1, 2, 2, ..., 2. Coverage 1 - 2 * 11/1024.
  Interval interval = Median({1, 2}, {1, 9}, 95, true);
  EXPECT_EQ(interval.lower, 2.0);
  EXPECT_EQ(interval.upper, 2.0);
  EXPECT_NEAR(interval.attained, 97.8515625, 1e-12);
}

TEST(MedianIntervalTest, OrderStatisticsCountEachValueWTimes) {
  std::vector<double> ten{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  Interval unit = Median(ten, std::vector<double>(10, 1.0), 95, false);
  EXPECT_EQ(unit.lower, 2.0);  // order statistics 2 and 9
  EXPECT_EQ(unit.upper, 9.0);
  EXPECT_EQ(unit.attained, kMissing);
  // 1, 1, 2, 2, 3, 3, 4, 4, 5, 5: order statistics 2 and 9 are 1 and 5.
  Interval paired = Median({1, 2, 3, 4, 5}, {2, 2, 2, 2, 2}, 95, false);
  EXPECT_EQ(paired.lower, 1.0);
  EXPECT_EQ(paired.upper, 5.0);
  // Level 50: F(3) = 176/1024 <= 0.25 < F(4) = 386/1024, so k = 3: order
  // statistics 4 and 7, coverage 1 - 2 * 176/1024.
  Interval half = Median(ten, std::vector<double>(10, 1.0), 50, true);
  EXPECT_EQ(half.lower, 4.0);
  EXPECT_EQ(half.upper, 7.0);
  EXPECT_NEAR(half.attained, 65.625, 1e-12);
  // Level 100: p = 0, k = -1, the whole range.
  Interval all = Median(ten, std::vector<double>(10, 1.0), 100, false);
  EXPECT_EQ(all.lower, 1.0);
  EXPECT_EQ(all.upper, 10.0);
  EXPECT_EQ(all.attained, 100.0);
}

TEST(MedianIntervalDeathTest, ListsShorterThanNAreAProgrammingError) {
  double lower, upper, attained;
  std::vector<double> x{1, 2}, w{1};
  EXPECT_DEATH(D::Mednci(2, x, w, 4, 95, false, lower, upper, attained),
               "Mednci: x and w hold n values");
}

}  // namespace

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
#include <numeric>
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

TEST(NuvDistFunTest, ChiSquareBracketingRecoversFromAnyPositiveGuess) {
  const double expected = D::IdfChi(0.95, 7.5);
  for (double guess : {1e-300, 1e-5, 1.0, 7.5, 1e5, 1e300}) {
    long int status = -7;
    EXPECT_LE(Rel(P::idfchb(0.95, 7.5, guess, status), expected), 1e-14) << guess;
    EXPECT_EQ(status, 0);
  }
}

TEST(NuvDistFunTest, IncompleteGammaOfHugeShapeIsWilsonHilferty) {
  long int status = -7;
  // Beyond a = 1e10 the Wilson-Hilferty form: P(a, a) = 1/2 + 1/(3 sqrt(2 pi a)) + O(1/a).
  const double a = 1e12;
  EXPECT_NEAR(P::gammad(a, a, true, status), 0.5 + 1 / (3 * std::sqrt(2 * M_PI * a)), 1e-12);
  EXPECT_EQ(status, 0);
}

TEST(NuvDistFunTest, BetaTailsSwapAndTheInverseRecoversX) {
  long int status = -7;
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

// ---- Binomial distribution ---------------------------------------------------

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

// Cases worked out by hand: {x, w, p, method, c, result, status}.
struct TileCase {
  std::vector<double> x, w;
  double p;
  long int method;
  std::vector<double> c;
  double result;
  long int status;
};

TEST(GPTileTest, CasesWorkedOutByHand) {
  const std::vector<double> two{10, 20}, ones{1, 1}, four{1, 2, 3, 4}, ones4{1, 1, 1, 1};
  const std::vector<double> mx{1, 2, 4}, mw{1, 2, 1}, gx{5, 15, 25}, gw{2, 3, 5};
  const std::vector<double> bx{5, 12, 18, 26}, bounds{0, 10, 20};
  const TileCase cases[] = {
      // Fewer than two values: status -1.
      {{4}, {3}, 50, 0, {}, kMissing, -1},
      {{}, {}, 50, 0, {}, kMissing, -1},
      // Midpoints 0.5 and 1.5: targets below or above them give status 1 or 2.
      {two, ones, 50, 0, {}, 15, 0},
      {two, ones, 10, 0, {}, kMissing, 1},
      {two, ones, 100, 0, {}, kMissing, 2},
      {two, ones, 25, 0, {}, 10, 0},  // t = m1
      {two, ones, 75, 0, {}, 20, 0},  // t = m2
      // Unit weights interpolate at rank np + 1/2 (1.7: 70% from 10 to 20).
      {four, ones4, 50, 0, {}, 2.5, 0},
      {{1, 2, 3}, {1, 1, 1}, 50, 0, {}, 2, 0},
      {{10, 20, 30, 40}, ones4, 30, 0, {}, 17, 0},
      // Weights 1, 2, 1: midpoints 0.5, 2, 3.5 of W = 4.
      {mx, mw, 25, 0, {}, 4.0 / 3, 0},
      {mx, mw, 75, 0, {}, 10.0 / 3, 0},
      {mx, mw, 50, 0, {}, 2, 0},
      {mx, mw, 87.5, 0, {}, 4, 0},
      // Two zero weights share the target's midpoint: missing; all zero too.
      {four, {1, 0, 0, 1}, 50, 0, {}, kMissing, 0},
      {{1, 2}, {0, 0}, 50, 0, {}, kMissing, 0},
      {{1, 2, 3}, {1, 0, 1}, 50, 0, {}, 2, 0},
      // Method 1: classes of width 10 around 5, 15, 25; cumulative 2, 5, 10.
      {gx, gw, 30, 1, {10}, 40.0 / 3, 0},
      {gx, gw, 50, 1, {10}, 20, 0},   // t = 5: bottom of class 3
      {gx, gw, 100, 1, {10}, 30, 0},  // t = W: top of the last class
      {gx, gw, 0, 1, {10}, 0, 0},
      // Method 3: boundaries 0, 10, 20; the last class runs to 2 * 26 - 20.
      {bx, ones4, 50, 3, bounds, 15, 0},
      {bx, ones4, 90, 3, bounds, 27.2, 0},
      {bx, ones4, 100, 3, bounds, 32, 0},
      {bx, ones4, 0, 3, bounds, 0, 0},
      {{25, 35}, ones, 0, 2, {10, 20}, 10, 0},  // nothing below the first top
  };
  for (const TileCase& c : cases) {
    double result = 0.0;
    long int status = -7;
    D::GPTile(static_cast<long int>(c.x.size()), c.p, c.x, c.w, c.c, c.method, result, status);
    EXPECT_DOUBLE_EQ(result, c.result) << "p " << c.p << ", method " << c.method;
    EXPECT_EQ(status, c.status) << "p " << c.p << ", method " << c.method;
  }
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

// Worked out by hand: {x, w, level, exact, total (-1: the sum of w), lower,
// upper, attained coverage}.
struct IntervalCase {
  std::vector<double> x, w;
  double level;
  bool exact;
  double total, lower, upper, attained;
};

TEST(MedianIntervalTest, CasesWorkedOutByHand) {
  const std::vector<double> ten{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, ones(10, 1.0);
  const IntervalCase cases[] = {
      {{3, 8}, {1, 1}, 95, false, -1, 3, 8, 100},  // a total of 2: the whole range
      // Totals below two or not whole give nothing, and no values must not
      // read x[0] even with a total of 2.
      {{3, 8}, {1, 1.5}, 95, true, -1, kMissing, kMissing, kMissing},
      {{3}, {1}, 95, true, -1, kMissing, kMissing, kMissing},
      {{}, {}, 95, true, 2, kMissing, kMissing, kMissing},
      {{}, {}, 95, true, 5, kMissing, kMissing, kMissing},
      // Binomial(10, 1/2): F(1) = 11/1024 <= 0.025 < F(2), so k = 1: order
      // statistics 2 and 9 of 1, 2, 2, ..., 2; coverage 1 - 2 * 11/1024.
      {{1, 2}, {1, 9}, 95, true, -1, 2, 2, 97.8515625},
      {ten, ones, 95, false, -1, 2, 9, kMissing},
      // 1, 1, 2, 2, ..., 5, 5: order statistics 2 and 9 are 1 and 5.
      {{1, 2, 3, 4, 5}, {2, 2, 2, 2, 2}, 95, false, -1, 1, 5, kMissing},
      // Level 50: F(3) = 176/1024 <= 0.25 < F(4), so k = 3: order statistics
      // 4 and 7, coverage 1 - 2 * 176/1024.
      {ten, ones, 50, true, -1, 4, 7, 65.625},
      {ten, ones, 100, false, -1, 1, 10, 100},  // p = 0, k = -1: the whole range
  };
  for (const IntervalCase& c : cases) {
    double total = c.total, lower = 0, upper = 0, attained = 0;
    if (total < 0) total = std::accumulate(c.w.begin(), c.w.end(), 0.0);
    D::Mednci(static_cast<long int>(c.x.size()), c.x, c.w, total, c.level, c.exact, lower, upper,
              attained);
    const std::string where = std::to_string(c.x.size()) + " values, level " +
                              std::to_string(c.level) + (c.exact ? ", exact" : "");
    EXPECT_EQ(lower, c.lower) << where;
    EXPECT_EQ(upper, c.upper) << where;
    EXPECT_NEAR(attained, c.attained, 1e-12) << where;
  }
}

TEST(MedianIntervalDeathTest, ListsShorterThanNAreAProgrammingError) {
  double lower, upper, attained;
  std::vector<double> x{1, 2}, w{1};
  EXPECT_DEATH(D::Mednci(2, x, w, 4, 95, false, lower, upper, attained),
               "Mednci: x and w hold n values");
}

}  // namespace

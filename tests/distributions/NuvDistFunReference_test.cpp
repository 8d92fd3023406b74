// Compares the distribution functions with reference values computed by
// tests/reference/make_distribution_tables.py: mpmath at 40 digits, exact at
// the double arguments, rounded once. Every comparison is relative:
//
//   |got - expected| / |expected| <= relative + kCondFactor * cond * 2^-53
//
// (plus 2 |ln expected| 2^-53 for the incomplete integrals and the binomial)
// where `relative` is the function's own tolerance (below, with its reason)
// and cond the relative condition number the script stores with each row.
// Tail probabilities of the incomplete integrals and binomial probabilities
// are exp(L) with L = ln P formed in double precision; a unit in the last
// place of L is |L| units of P, hence the logarithmic term.
// The cond term is what rounding the argument by a few units in the last
// place does to the exact value: an implementation that forms z = (x - m) / sd
// or u = df1 x / (df1 x + df2) in double precision cannot do better, and the
// rows far in the tails are exactly where cond is large. For a quantile,
// cond = s / (x f(x)) with s the tail probability it is solved on: the
// forward function's few units of rounding, divided by the slope.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "distributions/NuvDistFunProbe.h"

namespace {

constexpr double kUlp = 1.1102230246251565e-16;  // 2^-53
constexpr double kCondFactor = 4.0;

struct Row {
  std::string function;
  double arg1, arg2, arg3;
  double expected;
  double cond;
  int line;
};

std::vector<Row> ReadTable() {
  const std::string path =
      std::string(TABCUBE_SOURCE_DIR) + "/tests/reference/distribution_tables.csv";
  std::ifstream in(path);
  std::vector<Row> rows;
  if (!in) {
    ADD_FAILURE() << "cannot open " << path;
    return rows;
  }
  std::string line;
  int number = 0;
  bool header = true;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::stringstream fields(line);
    Row row;
    std::string field;
    std::getline(fields, row.function, ',');
    double* targets[] = {&row.arg1, &row.arg2, &row.arg3, &row.expected, &row.cond};
    for (double* target : targets) {
      std::getline(fields, field, ',');
      *target = std::strtod(field.c_str(), nullptr);
    }
    row.line = number;
    rows.push_back(row);
  }
  return rows;
}

// The function's value at the row's arguments; status codes must be 0. The
// table names the two tails of the incomplete gamma integral apart.
double Evaluate(const Row& r, long int& status) {
  status = 0;
  const bool gamma = r.function.rfind("gammad_", 0) == 0;
  const auto function = DistributionFunctions().find(gamma ? "gammad" : r.function);
  if (function == DistributionFunctions().end()) {
    ADD_FAILURE() << "unknown function " << r.function << " on line " << r.line;
    return NuvDistFun::_missing;
  }
  const double third = gamma ? (r.function == "gammad_lower" ? 1.0 : 0.0) : r.arg3;
  return function->second({r.arg1, r.arg2, third}, status);
}

struct Tolerance {
  double relative;
  bool useCond;
  bool logDomain = false;
};
constexpr double kLogFactor = 2.0;

// Per-function relative tolerances (before the cond term), with their reasons.
const std::map<std::string, Tolerance>& Tolerances() {
  // The C library's erf, erfc and lgamma are within 1 to 2 units in the last
  // place; the normal integral adds one for forming its argument, the normal
  // quantile one Halley step on it.
  constexpr double kLibrary = 8 * kUlp;
  // The incomplete gamma integral: a power term exact to a few units (Stirling
  // error and deviance form) times a series or continued fraction of up to
  // 50 sqrt(a) terms, each rounding once.
  constexpr double kGamma = 64 * kUlp;
  // The incomplete beta integral: the same power term, but its continued
  // fraction needs about sqrt(a + b) terms near the centre of the
  // distribution, and for a + b = 1e6 their rounding adds up to about 1e-13.
  constexpr double kBeta = 1e-13;
  // Binomial probabilities are exp(ln P) with ln P exact to a few units of its
  // last place (the log term). A CDF near 1 sums terms each carrying
  // ln(2 pi n p q) / 2 units, about 7 for n = 1e6, plus the compensated sum.
  constexpr double kBinomial = 64 * kUlp;
  static const std::map<std::string, Tolerance> table = {
      {"derf", {kLibrary, true}},
      {"derfc", {kLibrary, true}},
      {"dnlgam", {kLibrary, true}},
      {"prbnrm", {kLibrary, true}},
      {"probit", {kLibrary, true}},
      {"CdfNorm", {kLibrary, true}},
      {"IdfNorm", {kLibrary, true}},
      // The closed form (1 - x^2 + 2 x ln x) / (1 - x)^2 cancels by a factor of
      // up to 70 just outside the series range [0.5, 1.5].
      {"cbtaux", {128 * kUlp, false}},
      {"dnlbnc", {kLibrary, false}},
      {"gammad_lower", {kGamma, true, true}},
      {"gammad_upper", {kGamma, true, true}},
      {"CdfChi", {kGamma, true, true}},
      // Newton steps on the incomplete gamma integral: its rounding over the
      // slope, which is the cond term.
      {"IdfChi", {kGamma, true, true}},
      {"cdfbet", {kBeta, true, true}},
      {"CdfT", {kBeta, true, true}},
      {"CdfF", {kBeta, true, true}},
      {"IdfBet", {kBeta, true, true}},
      {"IdfT", {kBeta, true, true}},
      {"IdfF", {kBeta, true, true}},
      {"CdfBin", {kBinomial, true, true}},
      {"PdfBin", {kBinomial, true, true}},
      // A quantile of a discrete distribution is a whole number: exact.
      {"IdfBin", {0.0, false}},
  };
  return table;
}

struct Worst {
  int rows = 0;
  double error = 0.0;  // worst relative error
  double ratio = 0.0;  // worst error / allowed
  const Row* at = nullptr;
  const Row* ratioAt = nullptr;
};

TEST(NuvDistFunReferenceTest, EveryFunctionMatchesTheReferenceTable) {
  const std::vector<Row> rows = ReadTable();
  ASSERT_GT(rows.size(), 1000u);
  std::map<std::string, Worst> worst;
  for (const Row& row : rows) {
    const auto tolerance = Tolerances().find(row.function);
    ASSERT_NE(tolerance, Tolerances().end()) << row.function;
    long int status;
    const double got = Evaluate(row, status);
    EXPECT_EQ(status, 0) << row.function << " line " << row.line;
    const double error = row.expected == 0.0
                             ? std::fabs(got)
                             : std::fabs(got - row.expected) / std::fabs(row.expected);
    const double logTerm =
        tolerance->second.logDomain && row.expected > 0.0 ? std::fabs(std::log(row.expected)) : 0.0;
    const double allowed = tolerance->second.relative +
                           (tolerance->second.useCond ? kCondFactor * kUlp * row.cond : 0.0) +
                           kLogFactor * kUlp * logTerm;
    Worst& w = worst[row.function];
    ++w.rows;
    if (error > w.error || !w.at) {
      w.error = error;
      w.at = &row;
    }
    const double ratio = allowed > 0.0 ? error / allowed : (error > 0.0 ? INFINITY : 0.0);
    if (ratio > w.ratio || !w.ratioAt) {
      w.ratio = ratio;
      w.ratioAt = &row;
    }
    EXPECT_LE(error, allowed) << row.function << "(" << row.arg1 << ", " << row.arg2 << ", "
                              << row.arg3 << ") = " << got << ", expected " << row.expected
                              << " (line " << row.line << ", cond " << row.cond << ")";
  }
  // The summary: worst relative error per function, and the row that comes
  // closest to its limit.
  std::printf("%-13s %5s %10s %9s  %s\n", "function", "rows", "worst rel", "of limit",
              "closest row (args, cond)");
  for (const auto& [name, w] : worst) {
    std::printf("%-13s %5d %10.3g %8.1f%%  (%.17g, %.17g, %.17g) cond %.3g\n", name.c_str(), w.rows,
                w.error, 100.0 * w.ratio, w.ratioAt->arg1, w.ratioAt->arg2, w.ratioAt->arg3,
                w.ratioAt->cond);
  }
}

}  // namespace

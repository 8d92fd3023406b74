#ifndef NUV_DIST_FUN_H
#define NUV_DIST_FUN_H

#include <vector>

#include "TabcubeExport.h"
#include "TableEncryptionCodes.h"

// NuvDistFun: the engine's distribution functions, a class of static members
// only. Cumulative (Cdf...) and inverse (Idf...) distribution functions of the
// normal, chi-square, F, t, beta and binomial distributions, the weighted
// percentile GPTile and the distribution-free median interval Mednci. The
// cell accumulators call GPTile and Mednci; hosts call any public function
// directly for significance tests, so every function aims at full double
// precision, upper tails included.
//
// Accuracy: against 50-digit references the relative error stays within a
// few units in the last place for the normal distribution and 1e-13 for the
// others, plus what the rounding of the argument itself implies far in the
// tails (tests/reference holds the table and the script that made it).
//
// A function that has no result returns _missing. Functions with a long int&
// status set it to 0 on success and to a positive code on failure (the codes
// are listed with each function). Non-finite arguments (NaN, and infinite
// parameters) are invalid arguments; infinite points of evaluation are not.
// The class has no state of its own and allocates nothing.
class TABCUBE_EXPORT NuvDistFun {
 public:
  // The missing value, -DBL_MAX, returned whenever there is no result.
  static constexpr double _missing = TableEncryptionCodes::kMissingValue;

  NuvDistFun& operator=(const NuvDistFun&) = default;

  // ---- Continuous distributions -------------------------------------------

  // Phi((x - mean) / sd). Missing for sd <= 0.
  static double CdfNorm(double x, double mean, double sd);
  // mean + sd * Phi^-1(p), exactly mean for p = 0.5. Missing for p <= 0,
  // p >= 1, sd <= 0.
  static double IdfNorm(double p, double mean, double sd);
  // P(chi2_df <= x) = P(df/2, x/2), 0 for x <= 0. Missing for df <= 0.
  static double CdfChi(double x, double df);
  // P(chi2_df > x) = Q(df/2, x/2), the upper tail computed directly, so that
  // tiny tails keep their relative precision; 1 for x <= 0. Missing for
  // df <= 0.
  static double SdfChi(double x, double df);
  // Chi-square quantile. Missing for p < 0, p >= 1, df <= 0 and when the
  // iteration fails; 0 for p = 0.
  static double IdfChi(double p, double df);
  // P(F_{df1,df2} <= x). Missing for df1 <= 0, df2 <= 0.
  static double CdfF(double x, double df1, double df2);
  // F quantile, 0 for p = 0. Missing for p < 0, p >= 1, df1 <= 0, df2 <= 0.
  static double IdfF(double p, double df1, double df2);
  // P(T_df <= t). Missing for df <= 0.
  static double CdfT(double t, double df);
  // t quantile, 0 for p = 0.5. Missing for p <= 0, p >= 1, df <= 0.
  static double IdfT(double p, double df);
  // The x in [0, 1] with I_x(a, b) = p. Returns -1.0 (not _missing) for a <= 0,
  // b <= 0 or p outside [0, 1].
  static double IdfBet(const double& p, const double& a, const double& b);

  // ---- Discrete data -------------------------------------------------------

  // Weighted percentile p (0..100) of the n ascending, distinct values x with
  // weights w >= 0. method <= 0: values sit at the cumulative weight of their
  // midpoints and the percentile interpolates between them (the engine's
  // rule); method 1: grouped data, x are class midpoints of width c[0];
  // method m > 1: grouped data with the m ascending class boundaries c[0..m-1].
  // result is _missing unless found; status -1: n < 2; 1: below the first
  // midpoint; 2: above the last midpoint (statuses 1 and 2 for method <= 0).
  // REQUIRES: x and w hold n values; c holds c[0] (method 1) or m values.
  static void GPTile(long int n, double p, const std::vector<double>& x,
                     const std::vector<double>& w, const std::vector<double>& c, long int method,
                     double& result, long int& status);

  // Distribution-free confidence interval for the median at `level` percent:
  // two order statistics of the n ascending values x counted w times each,
  // `total` = sum of w. With `exact`, `attained` is the interval's actual
  // coverage in percent; otherwise it stays _missing unless the interval is
  // the whole range (100). All outputs are _missing when total < 2 or total
  // is not a whole number.
  // REQUIRES: x and w hold n values.
  static void Mednci(long int n, const std::vector<double>& x, const std::vector<double>& w,
                     double total, double level, bool exact, double& lower, double& upper,
                     double& attained);

  // P(X <= k), X ~ Binomial(n, prob), k rounded down. err 1: n < 1, prob
  // outside [0, 1]; 3: n not a whole number.
  static double CdfBin(double k, double n, double prob, long int& err);
  // P(X = k); 0 unless k is a whole number in [0, n]. err 1: n < 1, prob
  // outside [0, 1]; 2: overflow.
  static double PdfBin(double k, double n, double prob, long int& err);
  // The largest k with P(X <= k) <= p (-1 when there is none). err 1: n not
  // a whole number; 2: n < 1, prob or p outside [0, 1].
  static double IdfBin(double p, double n, double prob, long int& err);

 private:
  // Tests reach the special functions below through this class.
  friend class NuvDistFunProbe;

  // Error function and its complement, full double precision.
  static double derf(const double& x);
  static double derfc(const double& x);
  // ln Gamma(x) for x > 0; _missing for x <= 0.
  static double dnlgam(const double& x);
  // Phi(z), the standard normal integral.
  static double prbnrm(const double& z);
  // Phi^-1(p); _missing for p <= 0 or p >= 1.
  static double probit(const double& p);
  // g(x) = (1 - x^2 + 2 x ln x) / (1 - x)^2 of the Peizer-Pratt normal
  // approximations; g(0) = 1, g(1) = 0, _missing for x < 0.
  static double cbtaux(const double& x);
  // I_x(a, b), the regularized incomplete beta integral. status 1 and
  // _missing for a <= 0, b <= 0.
  static double cdfbet(const double& x, const double& a, const double& b, long int& status);
  // The x with I_x(a, b) = p; -1.0 for a <= 0, b <= 0, p outside [0, 1].
  static double betinv(const double& p, const double& a, const double& b);
  // Regularized incomplete gamma, lower P(a, x) or upper Q(a, x). status 1 and
  // _missing for a <= 0.
  static double gammad(const double& x, const double& a, const bool& lower, long int& status);
  // Chi-square quantile by bracketing and Newton steps from a positive guess.
  // status 1: invalid argument or guess <= 0; 2: p cannot be bracketed.
  static double idfchb(const double& p, const double& df, const double& guess, long int& status);
  // ln C(n, k). status 1 for n < 0, k < 0, n < k.
  static double dnlbnc(const double& n, const double& k, long int& status);
  // Peizer-Pratt normal approximation to I_x(a, b), the last resort of cdfbet.
  static double betnap(const double& x, const double& a, const double& b);

  // Workers behind the public F, t and chi-square functions: status 0
  // success, 1 invalid argument, 2 numerical failure.
  static double quorcdff(const double& x, const double& df1, const double& df2, long int& status);
  static double quorcdft(const double& t, const double& df, long int& status);
  static double quoridff(const double& p, const double& df1, const double& df2, long int& status);
  static double quoridft(const double& p, const double& df, long int& status);
  static double quoridfchi(const double& p, const double& df, long int& status);
};

#endif

#include "NuvDistFun.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

// Numerical plan. Every distribution maps onto three special functions: the
// normal integral (erfc), the regularized incomplete gamma integral and the
// regularized incomplete beta integral. Each of these is computed as
// "power term" x "series or continued fraction", and the power term is the
// place where naive code loses precision: x^a e^-x / Gamma(a+1) or
// x^a y^b / B(a, b) for large a, b is a tiny difference of huge logarithms.
// Here it is computed in the saddle-point form of C. Loader, "Fast and
// accurate computation of binomial probabilities" (2000): Stirling's error
// term plus the deviance bd0(x, M) = x ln(x/M) + M - x, each evaluated without
// cancellation. The binomial probabilities use the same form. The normal
// quantile is AS 241 as published; the other inverses start from published
// approximations (AS 91, Abramowitz and Stegun 26.5.22) and finish with
// safeguarded Newton steps on the accurate forward function, on the tail whose
// target probability is the smaller one. Measured accuracy against 50-digit
// references: tests/distributions/NuvDistFunReference_test.cpp.

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;
constexpr double kLnSqrt2Pi = 0.9189385332046728;  // ln sqrt(2 pi)
constexpr double kTwoOverSqrtPi = 1.1283791670955126;
// 1/sqrt(2) split into the nearest double and the rest, so that z/sqrt(2)
// can be formed with its rounding error.
constexpr double kSqrtHalfHi = 0.7071067811865476;
constexpr double kSqrtHalfLo = -4.833646656726457e-17;
// Below this logarithm a probability is zero in double precision.
constexpr double kMinLog = -1021.0;
// Above this logarithm a value overflows.
constexpr double kMaxLog = 1024.0;
// For a shape parameter above this the incomplete gamma integral uses the
// Wilson-Hilferty approximation (absolute error far below 1e-10 there)
// instead of series that would need millions of terms.
constexpr double kGammaNormalShape = 1e10;

bool IsFinite(double v) {
  return std::isfinite(v);
}
bool IsWhole(double v) {
  return std::isfinite(v) && std::floor(v) == v;
}

// s + err == a + b exactly.
void TwoSum(double a, double b, double& s, double& err) {
  s = a + b;
  double bb = s - a;
  err = (a - (s - bb)) + (b - bb);
}

// q + qlo == 1 - p exactly, for 0 <= p <= 1.
void Complement(double p, double& q, double& qlo) {
  q = 1.0 - p;
  qlo = (1.0 - q) - p;
}

// ln Gamma(x) for x > 0. The reentrant form avoids the global sign variable
// of the C library's lgamma.
double LogGamma(double x) {
#if defined(__GLIBC__)
  int sign;
  return lgamma_r(x, &sign);
#else
  return std::lgamma(x);
#endif
}

double ExpGuarded(double logValue) {
  return logValue < kMinLog ? 0.0 : std::exp(logValue);
}

// (1 - p)^n for 0 < p < 1: pow on the rounded complement, corrected for its
// rounding error qlo by (1 + qlo/q)^n.
double PowerOfComplement(double p, double n) {
  double q, qlo;
  Complement(p, q, qlo);
  return std::pow(q, n) * std::exp(n * std::log1p(qlo / q));
}

// ln Gamma(1 + a) for 0 < a < 1, without the rounding of 1 + a: the C
// library's lgamma is accurate relative to its value near 1, and the error e
// of 1 + a enters as e psi(1 + a), psi taken to first order.
double LogGammaOnePlus(double a) {
  const double s = 1.0 + a;
  const double e = (1.0 - s) + a;
  return LogGamma(s) + e * (-0.5772156649015329 + 1.6449340668482264 * a);
}

// Stirling's error: ln Gamma(v + 1) - [(v + 0.5) ln v - v + ln sqrt(2 pi)],
// v > 0. Below 15 the recurrence se(v) = se(v + 1) + (v + 0.5) ln(1 + 1/v) - 1
// moves v up; from 15 on the asymptotic series (Bernoulli coefficients 1/12,
// 1/360, 1/1260, 1/1680, 1/1188, 691/360360) is exact to 2e-18.
double StirlingError(double v) {
  double shift = 0.0;
  while (v < 15.0) {
    shift += (v + 0.5) * std::log1p(1.0 / v) - 1.0;
    v += 1.0;
  }
  const double w = 1.0 / (v * v);
  return shift +
         (1.0 / 12 -
          w * (1.0 / 360 - w * (1.0 / 1260 -
                                w * (1.0 / 1680 - w * (1.0 / 1188 - w * 0.0019175269175269176))))) /
             v;
}

// bd0(x, m) = x ln(x/m) + m - x >= 0, the deviance of a count x from its mean
// m, evaluated without cancellation near x = m by the series in
// v = (x - m) / (x + m).
double Bd0(double x, double m) {
  if (x == 0.0) return m;
  const double d = x - m;
  const double s = x + m;
  if (std::fabs(d) < 0.5 * s) {
    const double v = d / s;
    const double v2 = v * v;
    double sum = d * v;
    double term = 2.0 * x * v;
    for (int j = 1; j < 200; ++j) {
      term *= v2;
      const double next = sum + term / (2 * j + 1);
      if (next == sum) break;
      sum = next;
    }
    return sum;
  }
  const double r = x / m;
  const double logRatio = (std::isfinite(r) && r > 0.0) ? std::log(r) : std::log(x) - std::log(m);
  return x * logRatio + m - x;
}

// bd0(x, m) where the mean m = n * p is formed here, corrected to first order
// for the rounding of the product and for a known error plo of p.
double Bd0Product(double x, double n, double p, double plo) {
  const double m = n * p;
  const double mErr = std::fma(n, p, -m) + n * plo;
  return Bd0(x, m) + (1.0 - x / m) * mErr;
}

// ln P(X = k) for X ~ Binomial(n, p), 0 < k < n, 0 < p < 1, with q + qlo = 1 - p.
double LogBinomialPmf(double k, double n, double p, double q, double qlo) {
  const double deviance = Bd0Product(k, n, p, 0.0) + Bd0Product(n - k, n, q, qlo);
  return StirlingError(n) - StirlingError(k) - StirlingError(n - k) - deviance +
         0.5 * std::log((n / (n - k)) / k) - kLnSqrt2Pi;
}

// ln[x^a y^b / B(a, b)] with y = 1 - x; xlo and ylo are known errors of x and y.
double LogBetaPowerTerm(double x, double xlo, double y, double ylo, double a, double b) {
  double n, nlo;
  TwoSum(a, b, n, nlo);
  const double deviance =
      Bd0Product(a, n, x, xlo + x * nlo / n) + Bd0Product(b, n, y, ylo + y * nlo / n);
  return 0.5 * std::log(a / n * b) - kLnSqrt2Pi - deviance -
         (StirlingError(a) + StirlingError(b) - StirlingError(n));
}

// ln[x^a e^-x / Gamma(a + 1)].
double LogGammaPowerTerm(double x, double a) {
  return -StirlingError(a) - Bd0(a, x) - 0.5 * std::log(a) - kLnSqrt2Pi;
}

// x^a e^-x / Gamma(a + 1), and its logarithm in logValue. A value formed as
// exp(L) carries |L| units of L's last place. Far in a tail, where |L| runs to
// hundreds, x^a and e^-x are formed directly by pow and exp (each within an
// ulp) and only 1/Gamma(a + 1) goes through its logarithm.
double GammaPowerTerm(double x, double a, double& logValue) {
  logValue = LogGammaPowerTerm(x, a);
  if (x < 700.0) {
    const double logGamma = LogGamma(a + 1.0);
    const double logPower = a * std::log(x);
    // For a < 1 the logarithmic form is a sum of terms near 1.5 that cancel.
    if ((a < 1.0 || std::fabs(logGamma) + 1.0 < std::fabs(logValue)) &&
        std::fabs(logPower) < 700.0) {
      return std::pow(x, a) * std::exp(-x) * std::exp(-logGamma);
    }
  }
  return ExpGuarded(logValue);
}

// ---- Normal distribution ----------------------------------------------------

// erfc(u + ulo) for a small correction ulo.
double ErfcCorrected(double u, double ulo) {
  double value = std::erfc(u);
  if (ulo != 0.0 && std::isfinite(u)) value -= ulo * kTwoOverSqrtPi * std::exp(-u * u);
  return value;
}

// Phi(z + zlo): the lower tail for z < 0 and the upper tail's complement for
// z > 0 both come from erfc, whose argument is formed with its rounding error.
double NormalLower(double z, double zlo) {
  if (z == 0.0 && zlo == 0.0) return 0.5;
  if (!std::isfinite(z)) return z > 0 ? 1.0 : 0.0;
  const double u = -z * kSqrtHalfHi;
  const double ulo = std::fma(-z, kSqrtHalfHi, -u) - z * kSqrtHalfLo - zlo * kSqrtHalfHi;
  if (z < 0.0) return 0.5 * ErfcCorrected(u, ulo);
  return 1.0 - 0.5 * ErfcCorrected(-u, -ulo);
}

// Coefficients of Wichura's algorithm AS 241 (PPND16), lowest order first:
// numerator and denominator of the central approximation (kCentral*), of the
// near tail r <= 5 (kNear*) and of the far tail (kFar*).
constexpr double kCentralNum[8] = {
    3.387132872796366608,  133.14166789178437745, 1971.5909503065514427, 13731.693765509461125,
    45921.953931549871457, 67265.770927008700853, 33430.575583588128105, 2509.0809287301226727};
constexpr double kCentralDen[8] = {1.0,
                                   42.313330701600911252,
                                   687.1870074920579083,
                                   5394.1960214247511077,
                                   21213.794301586595867,
                                   39307.89580009271061,
                                   28729.085735721942674,
                                   5226.495278852545925};
constexpr double kNearNum[8] = {1.42343711074968357734,   4.6303378461565452959,
                                5.7694972214606914055,    3.64784832476320460504,
                                1.27045825245236838258,   0.24178072517745061177,
                                0.0227238449892691845833, 7.7454501427834140764e-4};
constexpr double kNearDen[8] = {1.0,
                                2.05319162663775882187,
                                1.6763848301838038494,
                                0.68976733498510000455,
                                0.14810397642748007459,
                                0.0151986665636164571966,
                                5.475938084995344946e-4,
                                1.05075007164441684324e-9};
constexpr double kFarNum[8] = {6.6579046435011037772,     5.4637849111641143699,
                               1.7848265399172913358,     0.29656057182850489123,
                               0.026532189526576123093,   0.0012426609473880784386,
                               2.71155556874348757815e-5, 2.01033439929228813265e-7};
constexpr double kFarDen[8] = {1.0,
                               0.59983220655588793769,
                               0.13692988092273580531,
                               0.0148753612908506148525,
                               7.868691311456132591e-4,
                               1.8463183175100546818e-5,
                               1.4215117583164458887e-7,
                               2.04426310338993978564e-15};

double Horner(const double (&c)[8], double r) {
  double v = c[7];
  for (int i = 6; i >= 0; --i) v = v * r + c[i];
  return v;
}

// Wichura's algorithm AS 241 (PPND16): Phi^-1(p), 0 < p < 1, to about 1e-16
// relative.
double Ppnd16(double p) {
  const double q = p - 0.5;
  if (std::fabs(q) <= 0.425) {
    const double r = 0.180625 - q * q;
    return q * Horner(kCentralNum, r) / Horner(kCentralDen, r);
  }
  // For p > 0.5, 1 - p is exact.
  double r = std::sqrt(-std::log(q < 0.0 ? p : 1.0 - p));
  const double value = r <= 5.0 ? Horner(kNearNum, r - 1.6) / Horner(kNearDen, r - 1.6)
                                : Horner(kFarNum, r - 5.0) / Horner(kFarDen, r - 5.0);
  return q < 0.0 ? -value : value;
}

// Phi^-1(p), 0 < p < 1. AS 241 is accurate to the last place on its own
// (within 4e-16 relative against the reference table, p down to 1e-300), so
// no refinement step follows.
double NormalQuantile(double p) {
  if (p == 0.5) return 0.0;
  return Ppnd16(p);
}

// ---- Incomplete gamma and beta integrals -------------------------------------

// P(a, x) (lower) or Q(a, x), the regularized incomplete gamma integrals, for
// a > 0 and x >= 0. logPower receives ln[x^a e^-x / Gamma(a + 1)]. Pearson's
// series below max(1, a), Legendre's continued fraction (modified Lentz)
// above, as in AS 239; both to full precision.
double GammaTail(double x, double a, bool lower, double* logPower, bool& converged) {
  converged = true;
  if (logPower) *logPower = -kInf;
  if (x <= 0.0) return lower ? 0.0 : 1.0;
  if (x == kInf) return lower ? 1.0 : 0.0;
  if (a > kGammaNormalShape) {
    // Wilson-Hilferty: (x/a)^(1/3) is nearly normal with mean 1 - 1/(9a) and
    // variance 1/(9a).
    if (logPower) *logPower = LogGammaPowerTerm(x, a);
    const double z = 3.0 * std::sqrt(a) * (std::cbrt(x / a) - 1.0 + 1.0 / (9.0 * a));
    return NormalLower(lower ? z : -z, 0.0);
  }
  double logTerm;
  const double power = GammaPowerTerm(x, a, logTerm);
  if (logPower) *logPower = logTerm;
  if (a == 1.0) return lower ? -std::expm1(-x) : std::exp(-x);
  const double limit = 1000.0 + 50.0 * std::sqrt(a);
  if (x <= 1.0 || x <= a) {
    // P = x^a e^-x / Gamma(a+1) * sum_n x^n / ((a+1)...(a+n)); the ratios
    // x / (a + n) are below 1 and falling, so the tail after a term t is below
    // t r / (1 - r).
    double sum = 1.0;
    double term = 1.0;
    bool done = false;
    for (double n = 1.0; n <= limit; n += 1.0) {
      term *= x / (a + n);
      sum += term;
      const double r = x / (a + n + 1.0);
      if (term * r <= sum * (1.0 - r) * 0.25 * kEps) {
        done = true;
        break;
      }
    }
    converged = done;
    const double p = power * sum;
    if (lower || a >= 1.0) return lower ? p : 1.0 - p;
    // Small shape, x <= 1: P can be close to 1, so Q is formed directly from
    // P = G (1 + a sum_n (-x)^n / (n! (a + n))), G = x^a / Gamma(1 + a):
    // Q = (1 - G) - G a T, with 1 - G = -expm1(ln G).
    const double logG = a * std::log(x) - LogGammaOnePlus(a);
    double t = 0.0;
    double u = 1.0;
    for (double n = 1.0; n < 100.0; n += 1.0) {
      u *= -x / n;
      const double next = t + u / (a + n);
      if (next == t) break;
      t = next;
    }
    return -std::expm1(logG) - std::exp(logG) * a * t;
  }
  // Q = a x^a e^-x / Gamma(a+1) / (x+1-a- 1(1-a)/(x+3-a- 2(2-a)/(x+5-a- ...)))
  const double tiny = 1e-300;
  double b = x + 1.0 - a;
  double c = 1.0 / tiny;
  double d = 1.0 / b;
  double h = d;
  bool done = false;
  for (double i = 1.0; i <= limit; i += 1.0) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) <= kEps) {
      done = true;
      break;
    }
  }
  converged = done;
  const double q = a * power * h;
  return lower ? 1.0 - q : q;
}

// The continued fraction of I_x(a, b) (modified Lentz), without its power term:
// I_x(a, b) = x^a y^b / (a B(a, b)) * result. Fast for x < (a + 1) / (a + b + 2).
double BetaFraction(double x, double a, double b, bool& converged) {
  const double tiny = 1e-300;
  const double limit = 10000.0 + 50.0 * std::sqrt(a + b);
  double c = 1.0;
  double d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1.0 / d;
  double h = d;
  for (double m = 1.0; m <= limit; m += 1.0) {
    const double m2 = 2.0 * m;
    double num = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
    d = 1.0 + num * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + num / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    h *= d * c;
    num = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
    d = 1.0 + num * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + num / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) <= kEps) {
      converged = true;
      return h;
    }
  }
  converged = false;
  return h;
}

// I_x(a, b) for a large against b and x near 1, from y = 1 - x (error ylo).
// Near 1 the continued fraction in x loses (its value grows like 1/y, so x's
// last place costs a relative 2^-53 / y); this expansion works from y. With
// x = e^-s, I_x(a, b) = 1/B(a, b) * int_{-ln x}^inf e^(-a s) (1 - e^-s)^(b-1) ds.
// Writing (1 - e^-s)^(b-1) = s^(b-1) sum_k c_k s^k and integrating term by term
// (Watson's lemma) gives
//   I_x(a, b) = Gamma(a+b) / (Gamma(a) a^b) * sum_k c_k Q_k / a^k,
//   Q_k = Gamma(b+k, u) / Gamma(b),  u = -a ln x,
// with Q_0 = Q(b, u) and Q_(k+1) = (b+k) Q_k + u^(b+k) e^-u / Gamma(b). The
// series is asymptotic in a (its terms only turn to grow near k = 2 pi a);
// where it is used, y < 0.01 and b^2 <= a (so a >= 99 b + 98), they fall
// below 2^-53 of the sum within some 10 to 30 terms.
double BetaLargeShape(double y, double ylo, double a, double b, bool& ok) {
  ok = false;
  const double x = 1.0 - y;
  const double s0 = -std::log1p(-y) + ylo / x;  // -ln x
  const double u = a * s0;
  double logPower;
  bool converged;
  double qk = GammaTail(u, b, false, &logPower, converged);
  if (!converged) return 0.0;
  double rk = b * ExpGuarded(logPower);  // u^b e^-u / Gamma(b)
  // c_k: coefficients of f(s)^(b-1), f(s) = (1 - e^-s) / s = sum_j (-s)^j / (j+1)!,
  // by the power recurrence c_k = 1/k sum_j (b j - k) f_j c_(k-j).
  constexpr int kTerms = 100;
  double f[kTerms];
  double c[kTerms];
  f[0] = 1.0;
  c[0] = 1.0;
  double sum = qk;
  double scale = 1.0;  // a^-k
  int small = 0;
  for (int k = 1; k < kTerms; ++k) {
    f[k] = -f[k - 1] / (k + 1.0);
    double ck = 0.0;
    for (int j = 1; j <= k; ++j) ck += (b * j - k) * f[j] * c[k - j];
    c[k] = ck / k;
    qk = (b + k - 1.0) * qk + rk;
    rk *= u;
    scale /= a;
    const double term = c[k] * qk * scale;
    if (!std::isfinite(term)) return 0.0;
    sum += term;
    small = std::fabs(term) <= 0.25 * kEps * std::fabs(sum) ? small + 1 : 0;
    if (small == 2) {
      ok = true;
      break;
    }
  }
  if (!ok) return 0.0;
  // ln[Gamma(a+b) / (Gamma(a) a^b)] = (a + b - 1/2) ln(1 + b/a) - b + se(a+b) - se(a).
  const double logFront =
      (a + b - 0.5) * std::log1p(b / a) - b + StirlingError(a + b) - StirlingError(a);
  return std::exp(logFront) * sum;
}

// I_x(a, b) (lower) or 1 - I_x(a, b), a, b > 0, with y = 1 - x supplied by the
// caller (xlo, ylo: known errors of x and y) so that neither tail is formed as
// 1 - the other near 0. logPower receives ln[x^a y^b / B(a, b)]. converged is
// false when the continued fraction did not settle (the caller falls back).
double BetaTail(double x, double xlo, double y, double ylo, double a, double b, bool lower,
                double* logPower, bool& converged) {
  converged = true;
  if (logPower) *logPower = -kInf;
  if (x <= 0.0) return lower ? 0.0 : 1.0;
  if (y <= 0.0) return lower ? 1.0 : 0.0;
  const double logTerm = LogBetaPowerTerm(x, xlo, y, ylo, a, b);
  if (logPower) *logPower = logTerm;
  // Work on the tail where the expansions converge fast.
  if (x >= (a + 1.0) / (a + b + 2.0)) {
    std::swap(x, y);
    std::swap(xlo, ylo);
    std::swap(a, b);
    lower = !lower;
  }
  if (y < 0.01 && b * b <= a) {
    bool ok;
    const double p = BetaLargeShape(y, ylo, a, b, ok);
    if (ok) return lower ? p : 1.0 - p;
  }
  double sum;
  const double firstRatio = x * (a + b) / (a + 1.0);
  if (firstRatio <= 0.75 && x <= 0.75) {
    // I_x(a, b) = x^a y^b / (a B) * 2F1(a + b, 1; a + 1; x): positive terms with
    // ratios x (a + b + j - 1) / (a + j) <= 0.75, so the tail after a term t is
    // below 3t.
    sum = 1.0;
    double term = 1.0;
    for (double j = 1.0; j < 400.0; j += 1.0) {
      term *= x * (a + b + j - 1.0) / (a + j);
      sum += term;
      if (term <= sum * 0.05 * kEps) break;
    }
  } else {
    sum = BetaFraction(x, a, b, converged);
  }
  const double p = logTerm < kMinLog ? 0.0 : std::exp(logTerm) / a * sum;
  return lower ? p : 1.0 - p;
}

// ---- Root finding -----------------------------------------------------------

// Solves tail(v) = target for v in (lo, hi) by Newton steps on ln tail in ln v,
// from the start v; falls back to bisection when a step leaves the bracket.
// tail(v, slope) returns the tail probability and sets slope to
// |d ln tail / d ln v|; `rising` tells whether the tail grows with v. A tail
// that behaves like a power of v near 0 or a Gaussian is solved in a few
// steps; the stop rule is the noise floor of the tail's own rounding.
template <typename TailFn>
bool SolveTail(const TailFn& tail, double target, bool rising, double lo, double hi, double& v) {
  const double logTarget = std::log(target);
  double previousStep = kInf;
  for (int iteration = 0; iteration < 300; ++iteration) {
    double slope = 0.0;
    const double value = tail(v, slope);
    double g;  // grows with v; zero at the root
    if (value <= 0.0)
      g = rising ? -kInf : kInf;
    else
      g = rising ? std::log(value) - logTarget : logTarget - std::log(value);
    if (g == 0.0) return true;
    if (g < 0.0)
      lo = v;
    else
      hi = v;
    double next = kInf;
    double step = kInf;
    if (std::isfinite(g) && slope > 0.0 && std::isfinite(slope)) {
      step = -g / slope;
      next = v * std::exp(step);
    }
    if (!(next > lo && next < hi)) {
      // Bisect, geometrically where the bracket spans orders of magnitude; an
      // open end is approached by halving the exponent, then by factors of 4.
      if (hi == kInf)
        next = lo > 0.0 ? std::fmax(std::sqrt(lo), 4.0 * lo) : 1.0;
      else if (lo <= 0.0)
        next = hi > 16.0 ? std::sqrt(hi)
                         : (hi >= 0.0625 ? 0.25 * hi : (hi * hi > 0.0 ? hi * hi : 0.5 * hi));
      else if (hi > 4.0 * lo)
        next = std::sqrt(lo) * std::sqrt(hi);
      else
        next = lo + 0.5 * (hi - lo);
      step = kInf;
      if (next <= lo || next >= hi) return true;  // bracket exhausted
    }
    const double size = std::fabs(step);
    v = next;
    // Converged to rounding, or the steps stopped shrinking at the noise floor.
    if (size <= 2.0 * kEps) return true;
    if (size < 1e-9 && size >= 0.5 * previousStep) return true;
    previousStep = size;
  }
  return false;
}

// Newton iteration in the variable v = x (the caller swaps for y), v <= 0.5
// expected, on the tail whose target is the smaller.
bool PolishBeta(double p, double q, double a, double b, double& x, double& y) {
  const bool useLower = p <= q;
  auto tail = [&](double v, double& slope) {
    double w, wlo;
    Complement(v, w, wlo);
    double logPower;
    bool converged;
    const double value = BetaTail(v, 0.0, w, wlo, a, b, useLower, &logPower, converged);
    // d I / dx = x^(a-1) y^(b-1) / B, so |d ln tail / d ln x| = power / (y tail).
    slope = value > 0.0 ? std::exp(logPower) / (w * value) : 0.0;
    return value;
  };
  double v = x;
  const bool ok = SolveTail(tail, useLower ? p : q, useLower, 0.0, 1.0, v);
  x = v;
  y = 1.0 - v;
  return ok;
}

// Solves I_x(a, b) = p, with q = 1 - p, for x and y = 1 - x, both to full
// relative precision; 0 < p < 1.
bool InvertBeta(double p, double q, double a, double b, double& x, double& y) {
  // Starting value.
  double x0, y0;
  if (a >= 1.0 && b >= 1.0) {
    // Abramowitz and Stegun 26.5.22: a normal approximation in the logit.
    const double yp = p <= q ? -NormalQuantile(p) : NormalQuantile(q);
    const double lambda = (yp * yp - 3.0) / 6.0;
    const double ra = 1.0 / (2.0 * a - 1.0);
    const double rb = 1.0 / (2.0 * b - 1.0);
    const double h = 2.0 / (ra + rb);
    const double w =
        yp * std::sqrt(h + lambda) / h - (rb - ra) * (lambda + 5.0 / 6.0 - 2.0 / (3.0 * h));
    const double e = std::exp(2.0 * w);
    if (!std::isfinite(e)) {
      x0 = 0.0;
      y0 = 1.0;
    } else {
      x0 = a / (a + b * e);
      y0 = b * e / (a + b * e);
    }
  } else {
    // Leading terms of the two tails: I ~ x^a / (a B), 1 - I ~ y^b / (b B).
    const double logBeta = LogGamma(a) + LogGamma(b) - LogGamma(a + b);
    const double mean = a / (a + b);
    double meanY, meanYlo;
    Complement(mean, meanY, meanYlo);
    bool converged;
    const double atMean = BetaTail(mean, 0.0, meanY, meanYlo, a, b, true, nullptr, converged);
    if (p <= atMean) {
      x0 = std::fmin(std::exp((std::log(p) + std::log(a) + logBeta) / a), mean);
      y0 = 1.0 - x0;
    } else {
      y0 = std::fmin(std::exp((std::log(q) + std::log(b) + logBeta) / b), meanY);
      x0 = 1.0 - y0;
    }
  }
  // Iterate on the smaller variable; x0 = 0 or y0 = 0 means the start
  // underflowed, so begin at the smallest normal number.
  const double smallest = std::numeric_limits<double>::min();
  bool ok;
  if (x0 <= y0) {
    x = std::fmax(x0, smallest);
    ok = PolishBeta(p, q, a, b, x, y);
    if (ok && x > 0.5) {
      y = 1.0 - x;
      ok = PolishBeta(q, p, b, a, y, x);
    }
  } else {
    y = std::fmax(y0, smallest);
    ok = PolishBeta(q, p, b, a, y, x);
    if (ok && y > 0.5) {
      x = 1.0 - y;
      ok = PolishBeta(p, q, a, b, x, y);
    }
  }
  return ok;
}

}  // namespace

// ---- Special functions --------------------------------------------------------

double NuvDistFun::derf(const double& x) {
  return std::erf(x);
}

double NuvDistFun::derfc(const double& x) {
  return std::erfc(x);
}

double NuvDistFun::dnlgam(const double& x) {
  if (!(x > 0.0)) return _missing;
  if (x == 1.0 || x == 2.0) return 0.0;
  return LogGamma(x);
}

double NuvDistFun::prbnrm(const double& z) {
  if (std::isnan(z)) return _missing;
  return NormalLower(z, 0.0);
}

double NuvDistFun::probit(const double& p) {
  if (!(p > 0.0 && p < 1.0)) return _missing;
  return NormalQuantile(p);
}

double NuvDistFun::cbtaux(const double& x) {
  // Beyond this bound g(x) = -1 + 2 ln x / x + ... equals -1 in double precision.
  constexpr double kBound = 1e18;
  if (std::isnan(x) || x < 0.0) return _missing;
  if (x == 0.0) return 1.0;
  if (x == 1.0) return 0.0;
  if (x > kBound) return -1.0;
  const double d = x - 1.0;
  if (std::fabs(d) <= 0.5) {
    // g(1 + d) = sum_{j>=1} 2 (-d)^j / ((j + 1)(j + 2)), free of the
    // cancellation of the closed form near 1.
    double sum = 0.0;
    double power = 1.0;
    for (int j = 1; j < 80; ++j) {
      power *= -d;
      const double next = sum + 2.0 * power / ((j + 1.0) * (j + 2.0));
      if (next == sum) break;
      sum = next;
    }
    return sum;
  }
  return (1.0 - x * x + 2.0 * x * std::log(x)) / (d * d);
}

double NuvDistFun::betnap(const double& x, const double& a, const double& b) {
  // Peizer and Pratt (1968): I_x(a, b) = P(Y <= b - 1) for Y ~ Binomial(a + b - 1,
  // 1 - x), approximated by Phi(z) with the corrections 1/6, 1/3 and 1/50.
  const double n = a + b - 1.0;
  const double p = 1.0 - x;
  const double q = x;
  const double s = b - 0.5;  // k + 1/2
  const double t = a - 0.5;  // n - k - 1/2
  const double d = s + 1.0 / 6.0 - (n + 1.0 / 3.0) * p +
                   (q / (s + 0.5) - p / (t + 0.5) + (q - 0.5) / (n + 1.0)) / 50.0;
  const double gs = cbtaux(s / (n * p));
  const double gt = cbtaux(t / (n * q));
  if (gs == _missing || gt == _missing) return _missing;
  const double z = d * std::sqrt((1.0 + q * gs + p * gt) / ((n + 1.0 / 6.0) * p * q));
  return prbnrm(z);
}

double NuvDistFun::cdfbet(const double& x, const double& a, const double& b, long int& status) {
  status = 0;
  if (!(a > 0.0 && b > 0.0) || !IsFinite(a) || !IsFinite(b) || std::isnan(x)) {
    status = 1;
    return _missing;
  }
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  if (a == 1.0) {
    if (b == 1.0) return x;
    // 1 - (1 - x)^b
    return -std::expm1(b * std::log1p(-x));
  }
  if (b == 1.0) return ExpGuarded(a * std::log(x));
  double y, ylo;
  Complement(x, y, ylo);
  bool converged;
  const double value = BetaTail(x, 0.0, y, ylo, a, b, true, nullptr, converged);
  if (converged) return value;
  const double approx = betnap(x, a, b);
  if (approx == _missing) status = 1;
  return approx;
}

double NuvDistFun::betinv(const double& p, const double& a, const double& b) {
  if (!(a > 0.0 && b > 0.0 && p >= 0.0 && p <= 1.0) || !IsFinite(a) || !IsFinite(b)) return -1.0;
  if (p == 0.0) return 0.0;
  if (p == 1.0) return 1.0;
  if (a == b && p == 0.5) return 0.5;
  if (a == 1.0) return -std::expm1(std::log1p(-p) / b);  // 1 - (1 - p)^(1/b)
  if (b == 1.0) return std::pow(p, 1.0 / a);
  double x, y;
  if (!InvertBeta(p, 1.0 - p, a, b, x, y)) return -1.0;
  return x;
}

double NuvDistFun::gammad(const double& x, const double& a, const bool& lower, long int& status) {
  status = 0;
  if (!(a > 0.0) || !IsFinite(a) || std::isnan(x)) {
    status = 1;
    return _missing;
  }
  bool converged;
  const double value = GammaTail(x, a, lower, nullptr, converged);
  if (!converged) {
    status = 2;
    return _missing;
  }
  return value;
}

double NuvDistFun::idfchb(const double& p, const double& df, const double& guess,
                          long int& status) {
  status = 0;
  if (!(p > 0.0 && p < 1.0 && df > 0.0 && guess > 0.0) || !IsFinite(df) || !IsFinite(guess)) {
    status = 1;
    return _missing;
  }
  const double a = 0.5 * df;
  const double q = 1.0 - p;  // exact for p >= 0.5, where it is the target
  const bool useLower = p <= q;
  bool converged = true;
  auto tail = [&](double v, double& slope) {
    double logPower;
    bool ok;
    const double value = GammaTail(0.5 * v, a, useLower, &logPower, ok);
    converged = converged && ok;
    // The chi-square density is a x^a e^-x / Gamma(a+1) / v at x = v/2, so
    // |d ln tail / d ln v| = a * power / tail.
    slope = value > 0.0 ? a * std::exp(logPower) / value : 0.0;
    return value;
  };
  double v = guess;
  if (!SolveTail(tail, useLower ? p : q, useLower, 0.0, kInf, v) || !converged ||
      !std::isfinite(v)) {
    status = 2;
    return _missing;
  }
  return v;
}

double NuvDistFun::dnlbnc(const double& n, const double& k, long int& status) {
  status = 0;
  if (!(n >= 0.0 && k >= 0.0 && n >= k) || !IsFinite(n)) {
    status = 1;
    return _missing;
  }
  if (k == 0.0 || k == n) return 0.0;
  if (n <= 33.0 && IsWhole(n) && IsWhole(k)) {
    // C(33, 16) * 33 fits in 64 bits; each partial product is a binomial.
    const int64_t whole = static_cast<int64_t>(n);
    const int64_t small = static_cast<int64_t>(std::fmin(k, n - k));
    int64_t c = 1;
    for (int64_t i = 1; i <= small; ++i) c = c * (whole - small + i) / i;
    return std::log(static_cast<double>(c));
  }
  // ln C(n, k) = k ln(n/k) + (n-k) ln(n/(n-k)) + 1/2 ln(n / (2 pi k (n-k)))
  //            + se(n) - se(k) - se(n-k): positive terms, no cancellation.
  const double m = n - k;
  const double value = k * std::log1p(m / k) + m * std::log1p(k / m) + 0.5 * std::log((n / m) / k) -
                       kLnSqrt2Pi + StirlingError(n) - StirlingError(k) - StirlingError(m);
  return value < 0.0 ? 0.0 : value;
}

// ---- Workers ------------------------------------------------------------------

double NuvDistFun::quorcdff(const double& x, const double& df1, const double& df2,
                            long int& status) {
  status = 0;
  if (!(df1 > 0.0 && df2 > 0.0) || !IsFinite(df1) || !IsFinite(df2) || std::isnan(x)) {
    status = 1;
    return _missing;
  }
  if (x <= 0.0) return 0.0;
  if (x == kInf) return 1.0;
  // u = df1 x / (df1 x + df2), y = df2 / (df1 x + df2) = 1 - u, each with its
  // rounding error carried along.
  const double product = df1 * x;
  const double productLo = std::fma(df1, x, -product);
  double sum, sumLo;
  TwoSum(product, df2, sum, sumLo);
  sumLo += productLo;
  const double u = product / sum;
  const double uLo = (std::fma(-u, sum, product) + productLo - u * sumLo) / sum;
  const double y = df2 / sum;
  const double yLo = (std::fma(-y, sum, df2) - y * sumLo) / sum;
  bool converged;
  const double value = BetaTail(u, uLo, y, yLo, 0.5 * df1, 0.5 * df2, true, nullptr, converged);
  if (!converged) {
    const double approx = betnap(u, 0.5 * df1, 0.5 * df2);
    if (approx == _missing) status = 2;
    return approx;
  }
  return value;
}

double NuvDistFun::quorcdft(const double& t, const double& df, long int& status) {
  status = 0;
  if (!(df > 0.0) || !IsFinite(df) || std::isnan(t)) {
    status = 1;
    return _missing;
  }
  if (t == 0.0) return 0.5;
  if (std::isinf(t)) return t > 0.0 ? 1.0 : 0.0;
  if (df == 1.0) {
    // Cauchy; the far tails through atan(1/|t|) rather than 0.5 + atan(t)/pi.
    if (std::fabs(t) <= 1.0) return 0.5 + std::atan(t) / kPi;
    const double tail = std::atan(1.0 / std::fabs(t)) / kPi;
    return t < 0.0 ? tail : 1.0 - tail;
  }
  const double a = 0.5 * df;
  if (std::fabs(t) > 1e150) {
    // t^2 overflows; the tail is 0.5 I_v(a, 1/2) with v = df / t^2 tiny, whose
    // leading term v^a / (a B(a, 1/2)) is exact to the precision of v.
    const double logV = std::log(df) - 2.0 * std::log(std::fabs(t));
    const double logBeta = LogGamma(a) + LogGamma(0.5) - LogGamma(a + 0.5);
    const double tail = 0.5 * ExpGuarded(a * logV - std::log(a) - logBeta);
    return t < 0.0 ? tail : 1.0 - tail;
  }
  // u = t^2 / (df + t^2) and v = df / (df + t^2) = 1 - u, with their errors.
  const double t2 = t * t;
  const double t2Lo = std::fma(t, t, -t2);
  double sum, sumLo;
  TwoSum(df, t2, sum, sumLo);
  sumLo += t2Lo;
  const double u = t2 / sum;
  const double uLo = (std::fma(-u, sum, t2) + t2Lo - u * sumLo) / sum;
  const double v = df / sum;
  const double vLo = (std::fma(-v, sum, df) - v * sumLo) / sum;
  bool converged;
  double value;
  if (std::fabs(t) <= 1.0) {
    // P(|T| <= |t|) = I_u(1/2, df/2).
    const double inner = BetaTail(u, uLo, v, vLo, 0.5, a, true, nullptr, converged);
    value = t < 0.0 ? 0.5 - 0.5 * inner : 0.5 + 0.5 * inner;
  } else {
    // P(|T| > |t|) = I_v(df/2, 1/2), the two tails taken directly.
    const double outer = BetaTail(v, vLo, u, uLo, a, 0.5, true, nullptr, converged);
    value = t < 0.0 ? 0.5 * outer : 1.0 - 0.5 * outer;
  }
  if (!converged) {
    const double outer = betnap(v, a, 0.5);
    if (outer == _missing) {
      status = 2;
      return _missing;
    }
    value = t < 0.0 ? 0.5 * outer : 1.0 - 0.5 * outer;
  }
  return value;
}

double NuvDistFun::quoridff(const double& p, const double& df1, const double& df2,
                            long int& status) {
  status = 0;
  if (!(p >= 0.0 && p < 1.0 && df1 > 0.0 && df2 > 0.0) || !IsFinite(df1) || !IsFinite(df2)) {
    status = 1;
    return _missing;
  }
  if (p == 0.0) return 0.0;
  double x, y;
  if (!InvertBeta(p, 1.0 - p, 0.5 * df1, 0.5 * df2, x, y) || !(y > 0.0)) {
    status = 2;
    return _missing;
  }
  // (df2 / df1) x / (1 - x), with 1 - x solved for directly.
  const double f = (df2 / df1) * (x / y);
  if (!std::isfinite(f)) {
    status = 2;
    return _missing;
  }
  return f;
}

double NuvDistFun::quoridft(const double& p, const double& df, long int& status) {
  status = 0;
  if (!(p > 0.0 && p < 1.0 && df > 0.0) || !IsFinite(df)) {
    status = 1;
    return _missing;
  }
  if (p == 0.5) return 0.0;
  // Two-sided tail 2 min(p, 1 - p) and its complement |1 - 2p|, both exact
  // where they are the smaller.
  const double twoTail = p < 0.5 ? 2.0 * p : 2.0 * (1.0 - p);
  const double centre = p < 0.5 ? 1.0 - 2.0 * p : 2.0 * p - 1.0;
  double x, y;
  if (!InvertBeta(twoTail, centre, 0.5 * df, 0.5, x, y) || !(x > 0.0)) {
    status = 2;
    return _missing;
  }
  const double t2 = df * (y / x);  // (1/x - 1) df
  if (!(t2 >= 0.0) || !std::isfinite(t2)) {
    status = 2;
    return _missing;
  }
  const double t = std::sqrt(t2);
  return p < 0.5 ? -t : t;
}

double NuvDistFun::quoridfchi(const double& p, const double& df, long int& status) {
  status = 0;
  if (!(p >= 0.0 && p < 1.0 && df > 0.0) || !IsFinite(df)) {
    status = 1;
    return _missing;
  }
  if (p == 0.0) return 0.0;
  // Best and Roberts, AS 91 (PPCHI2): a starting value by one of three
  // approximations, then seven-term Taylor steps to a relative change of 5e-7.
  constexpr double kTolerance = 5e-7;
  const double ln2 = 0.6931471805599453;
  const double xx = 0.5 * df;
  const double c = xx - 1.0;
  const double g = dnlgam(xx);
  const double q = 1.0 - p;
  double ch;
  if (df < -1.24 * std::log(p)) {
    // Small chi-square: P ~ (x/2)^a / Gamma(a + 1).
    ch = std::exp((std::log(p * xx) + g + xx * ln2) / xx);
  } else if (df > 0.32) {
    // Wilson-Hilferty, and a tail formula where it runs too high.
    const double z = NormalQuantile(p);
    const double p1 = 0.222222 / df;
    ch = df * std::pow(z * std::sqrt(p1) + 1.0 - p1, 3);
    if (ch > 2.2 * df + 6.0) ch = -2.0 * (std::log1p(-p) - c * std::log(0.5 * ch) + g);
  } else {
    // Small df: Newton steps on an approximation of the upper tail.
    ch = 0.4;
    const double logQ = std::log1p(-p);
    for (int i = 0; i < 100; ++i) {
      const double previous = ch;
      const double p1 = 1.0 + ch * (4.67 + ch);
      const double p2 = ch * (6.73 + ch * (6.66 + ch));
      const double t = -0.5 + (4.67 + 2.0 * ch) / p1 - (6.73 + ch * (13.32 + 3.0 * ch)) / p2;
      ch -= (1.0 - std::exp(logQ + g + 0.5 * ch + c * ln2) * p2 / p1) / t;
      if (!(std::fabs(previous / ch - 1.0) > 0.01)) break;
    }
  }
  if (std::isfinite(ch) && ch > 0.0) {
    for (int i = 0; i < 20; ++i) {
      const double previous = ch;
      const double p1 = 0.5 * ch;
      bool converged;
      // p - P(a, ch/2), formed on the smaller tail.
      const double residual = p <= q ? p - GammaTail(p1, xx, true, nullptr, converged)
                                     : GammaTail(p1, xx, false, nullptr, converged) - q;
      const double exponent = xx * ln2 + g + p1 - c * std::log(ch);
      if (!converged || !(exponent < kMaxLog) || !(exponent > kMinLog)) break;
      const double t = residual * std::exp(exponent);
      const double b = t / ch;
      const double a = 0.5 * t - b * c;
      const double s1 =
          (210.0 + a * (140.0 + a * (105.0 + a * (84.0 + a * (70.0 + 60.0 * a))))) / 420.0;
      const double s2 = (420.0 + a * (735.0 + a * (966.0 + a * (1141.0 + 1278.0 * a)))) / 2520.0;
      const double s3 = (210.0 + a * (462.0 + a * (707.0 + 932.0 * a))) / 2520.0;
      const double s4 =
          (252.0 + a * (672.0 + 1182.0 * a) + c * (294.0 + a * (889.0 + 1740.0 * a))) / 5040.0;
      const double s5 = (84.0 + 264.0 * a + c * (175.0 + 606.0 * a)) / 2520.0;
      const double s6 = (120.0 + c * (346.0 + 127.0 * c)) / 5040.0;
      const double next =
          ch + t * (1.0 + 0.5 * t * s1 -
                    b * c * (s1 - b * (s2 - b * (s3 - b * (s4 - b * (s5 - b * s6))))));
      if (!(std::isfinite(next) && next > 0.0)) break;
      ch = next;
      if (std::fabs(previous / ch - 1.0) <= kTolerance) break;
    }
  }
  if (!(std::isfinite(ch) && ch > 0.0)) ch = df;
  // AS 91 stops at 5e-7; Newton steps on the accurate integral finish the job.
  return idfchb(p, df, ch, status);
}

// ---- Public continuous distributions -------------------------------------------

double NuvDistFun::CdfNorm(double x, double mean, double sd) {
  if (!(sd > 0.0) || !IsFinite(sd) || !IsFinite(mean) || std::isnan(x)) return _missing;
  // z = (x - mean) / sd with the rounding of the difference and the quotient
  // carried along: far in the tail each unit of z's last place matters.
  double d, dLo;
  TwoSum(x, -mean, d, dLo);
  const double z = d / sd;
  const double zLo = std::isfinite(z) ? (std::fma(-z, sd, d) + dLo) / sd : 0.0;
  return NormalLower(z, zLo);
}

double NuvDistFun::IdfNorm(double p, double mean, double sd) {
  if (!(p > 0.0 && p < 1.0 && sd > 0.0) || !IsFinite(sd) || !IsFinite(mean)) return _missing;
  if (p == 0.5) return mean;
  return mean + sd * NormalQuantile(p);
}

double NuvDistFun::CdfChi(double x, double df) {
  if (!(df > 0.0) || !IsFinite(df) || std::isnan(x)) return _missing;
  if (x <= 0.0) return 0.0;
  long int status;
  const double value = gammad(0.5 * x, 0.5 * df, true, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::SdfChi(double x, double df) {
  if (!(df > 0.0) || !IsFinite(df) || std::isnan(x)) return _missing;
  if (x <= 0.0) return 1.0;
  long int status;
  const double value = gammad(0.5 * x, 0.5 * df, false, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::IdfChi(double p, double df) {
  long int status;
  const double value = quoridfchi(p, df, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::CdfF(double x, double df1, double df2) {
  long int status;
  const double value = quorcdff(x, df1, df2, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::IdfF(double p, double df1, double df2) {
  long int status;
  const double value = quoridff(p, df1, df2, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::CdfT(double t, double df) {
  long int status;
  const double value = quorcdft(t, df, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::IdfT(double p, double df) {
  long int status;
  const double value = quoridft(p, df, status);
  return status == 0 ? value : _missing;
}

double NuvDistFun::IdfBet(const double& p, const double& a, const double& b) {
  return betinv(p, a, b);
}

// ---- Binomial distribution ------------------------------------------------------

double NuvDistFun::PdfBin(double k, double n, double prob, long int& err) {
  err = 0;
  if (!(prob >= 0.0 && prob <= 1.0 && n >= 1.0) || !IsFinite(n) || std::isnan(k)) {
    err = 1;
    return _missing;
  }
  if (k != std::floor(k + 0.5) || k < 0.0 || k > n) return 0.0;
  if (prob == 0.0) return k == 0.0 ? 1.0 : 0.0;
  if (prob == 1.0) return k == n ? 1.0 : 0.0;
  if (k == n) return std::pow(prob, n);
  if (k == 0.0) return PowerOfComplement(prob, n);
  double q, qlo;
  Complement(prob, q, qlo);
  const double logValue = LogBinomialPmf(k, n, prob, q, qlo);
  if (logValue > kMaxLog) {
    err = 2;
    return _missing;
  }
  return ExpGuarded(logValue);
}

double NuvDistFun::CdfBin(double k, double n, double prob, long int& err) {
  err = 0;
  if (!IsWhole(n) && !std::isinf(n)) {
    err = 3;
    return _missing;
  }
  if (!(n >= 1.0 && prob >= 0.0 && prob <= 1.0) || !IsFinite(n) || std::isnan(k)) {
    err = 1;
    return _missing;
  }
  k = std::floor(k);
  if (prob == 0.0) return k < 0.0 ? 0.0 : 1.0;
  if (prob == 1.0) return k >= n ? 1.0 : 0.0;
  if (k < 0.0) return 0.0;
  if (k >= n) return 1.0;
  if (k == 0.0) return PowerOfComplement(prob, n);
  double q, qlo;
  Complement(prob, q, qlo);
  // Sum the smaller tail exactly, from its largest term outwards: below the
  // mode P(X <= k) downwards from k, otherwise P(X > k) upwards from k + 1,
  // which gives 1 - P(X > k) to the last place. Each series stops when a term
  // no longer changes the sum.
  const double mode = std::floor((n + 1.0) * prob);
  const bool lowerTail = k < mode;
  const double start = lowerTail ? k : k + 1.0;
  // 0 < start <= n, as 0 < k < n here.
  const double logStart = start == n ? n * std::log(prob) : LogBinomialPmf(start, n, prob, q, qlo);
  if (logStart < kMinLog) {
    if (!lowerTail) return 1.0;
    // Peizer-Pratt normal approximation: the sum is below (k+1) e^-1021 here.
    const double d = k / n - prob;
    const double e = ((d + 0.5 / n) + 1.0) - 1.0;
    if (e == 0.0) return 0.5;
    const double s = prob + e;
    const double kl = s * std::log(s / prob) + (1.0 - s) * std::log((1.0 - s) / q);
    if (!(kl > 0.0)) return 0.5;
    const double dd = d + (2.0 - prob) / (3.0 * n) +
                      ((0.5 - prob) / (n + 1.0) + q / (k + 1.0) - prob / (n - k)) / (50.0 * n);
    const double z = n / std::sqrt(n + 1.0 / 6.0) * std::sqrt(2.0 * kl) * dd / std::fabs(e);
    return prbnrm(z);
  }
  // For large n the series run to thousands of terms: the sum is compensated
  // (Neumaier), the ratio q/p or p/q is applied with its rounding error, and
  // every 64 steps the term is recomputed from its logarithm, so that rounding
  // does not accumulate along the series.
  auto pmf = [&](double i) {
    if (i == 0.0) return PowerOfComplement(prob, n);
    if (i == n) return std::pow(prob, n);
    return ExpGuarded(LogBinomialPmf(i, n, prob, q, qlo));
  };
  double term = pmf(start);
  double sum = term;
  double compensation = 0.0;
  int steps = 0;
  // Ratio P(i-1)/P(i) = i/(n-i+1) * q/p downwards, P(i+1)/P(i) = (n-i)/(i+1) * p/q upwards.
  const double ratio = lowerTail ? q / prob : prob / q;
  const double ratioLo = lowerTail ? (std::fma(-ratio, prob, q) + qlo) / prob
                                   : (std::fma(-ratio, q, prob) - ratio * qlo) / q;
  const double step = lowerTail ? -1.0 : 1.0;
  for (double i = start + step; i >= 0.0 && i <= n; i += step) {
    if (++steps % 64 == 0) {
      term = pmf(i);
    } else {
      term *= lowerTail ? (i + 1.0) / (n - i) : (n - i + 1.0) / i;
      term = std::fma(term, ratio, term * ratioLo);
    }
    if (term <= 0.25 * kEps * sum) break;
    const double next = sum + term;
    compensation += (sum - next) + term;  // sum >= term: the series falls
    sum = next;
  }
  sum += compensation;
  return lowerTail ? std::fmin(sum, 1.0) : std::fmax(1.0 - sum, 0.0);
}

double NuvDistFun::IdfBin(double p, double n, double prob, long int& err) {
  err = 0;
  if (!IsWhole(n) && !std::isinf(n)) {
    err = 1;
    return _missing;
  }
  if (!(n >= 1.0 && prob >= 0.0 && prob <= 1.0 && p >= 0.0 && p <= 1.0) || !IsFinite(n)) {
    err = 2;
    return _missing;
  }
  if (p == 0.0) return prob >= 1.0 ? n - 1.0 : -1.0;
  if (p == 1.0) return prob <= 0.0 ? 0.0 : n;
  // Degenerate distributions: X = 0 or X = n.
  if (prob == 0.0) return -1.0;
  if (prob == 1.0) return n - 1.0;
  // A CDF value within this relative distance of p counts as equal to it, so
  // that p computed from the CDF itself finds its own k.
  constexpr double kFuzz = 2.842170943040401e-14;
  auto atMost = [&](double cdf) { return cdf <= p || std::fabs(cdf - p) < kFuzz * p; };
  const double q = 1.0 - prob;
  double k = std::floor(std::sqrt(n * prob * q) * NormalQuantile(p) + n * prob - 0.5);
  k = std::fmin(std::fmax(k, 0.0), n);
  long int status;
  double cdf = CdfBin(k, n, prob, status);
  double pdf = PdfBin(k, n, prob, status);
  double result;
  if (atMost(cdf)) {
    // Walk up until the CDF passes p.
    for (;;) {
      if (k >= n) {
        result = n;
        break;
      }
      pdf *= (n - k) / (k + 1.0) * prob / q;
      cdf += pdf;
      if (!atMost(cdf)) {
        result = k;
        break;
      }
      k += 1.0;
    }
  } else {
    // Walk down: cdf - pdf is the CDF at k - 1; below 0 the CDF is 0 <= p.
    for (;;) {
      cdf -= pdf;
      if (k - 1.0 < 0.0 || atMost(cdf)) {
        result = k - 1.0;
        break;
      }
      pdf *= k / (n - k + 1.0) * q / prob;
      k -= 1.0;
    }
  }
  // The walk updates the CDF by adding and subtracting probabilities; confirm
  // the answer with fresh sums, so that far tails are not decided by rounding.
  for (int check = 0; check < 64; ++check) {
    if (result >= 0.0 && !atMost(CdfBin(result, n, prob, status))) {
      result -= 1.0;
    } else if (result < n && atMost(CdfBin(result + 1.0, n, prob, status))) {
      result += 1.0;
    } else {
      break;
    }
  }
  return result;
}

// ---- Percentiles and the median interval ------------------------------------------

namespace {

// GPTile's method 0: value i sits at the cumulative weight of its midpoint,
// accumulated in the same order as in the search so that equal targets
// compare equal. Leaves result alone when no value is found; status 1 or 2
// for a target below the first or above the last midpoint.
void MidpointPercentile(long int n, const std::vector<double>& x, const std::vector<double>& w,
                        double target, double& result, long int& status) {
  const double first = 0.5 * w[0];
  double beforeLast = 0.0;
  for (long int i = 0; i + 1 < n; ++i) beforeLast += w[i];
  const double last = beforeLast + 0.5 * w[n - 1];
  if (target < first) {
    status = 1;
    return;
  }
  if (target > last) {
    status = 2;
    return;
  }
  double cumulative = w[0];  // weight of values 1..i-1
  double previous = first;   // midpoint of value i-1
  for (long int i = 1; i < n; ++i) {
    const double midpoint = cumulative + 0.5 * w[i];
    // Two consecutive values of zero weight share their midpoint: no
    // interpolation between them is defined.
    if (target == previous && target == midpoint) return;
    if (previous <= target && target < midpoint) {
      const double f = (target - previous) / (midpoint - previous);
      result = f == 0.0 ? x[i - 1] : (1.0 - f) * x[i - 1] + f * x[i];
      return;
    }
    cumulative += w[i];
    previous = midpoint;
  }
  if (target == last) result = x[n - 1];
}

// GPTile's method 1: value i stands for the class [x_i - h/2, x_i + h/2],
// h = c[0].
void ClassWidthPercentile(long int n, const std::vector<double>& x, const std::vector<double>& w,
                          const std::vector<double>& c, double target, double& result) {
  assert(!c.empty() && "GPTile: c[0] holds the class width");
  const double half = 0.5 * c[0];
  double below = 0.0;
  for (long int i = 0; i < n; ++i) {
    const double top = below + w[i];
    if (below <= target && target < top) {
      const double f = (target - below) / (top - below);
      const double lowerBound = x[i] - half;
      result = f == 0.0 ? lowerBound : (1.0 - f) * lowerBound + f * (x[i] + half);
      return;
    }
    below = top;
  }
  if (target == below) result = x[n - 1] + half;
}

// GPTile's methods m > 1: class k runs from c[k] to c[k+1]; the last from
// c[m-1] to 2x - c[m-1], x the first value above c[m-1]. A class's cumulative
// weight at its top is the weight of the values strictly below that top.
void ClassBoundaryPercentile(long int n, const std::vector<double>& x, const std::vector<double>& w,
                             const std::vector<double>& c, long int m, double target,
                             double& result) {
  assert(c.size() >= static_cast<size_t>(m) && "GPTile: c holds the class boundaries");
  auto weightBelow = [&](double bound) {
    double sum = 0.0;
    for (long int i = 0; i < n && x[i] < bound; ++i) sum += w[i];
    return sum;
  };
  double lastTop = c[m - 1];
  for (long int i = 0; i < n; ++i) {
    if (x[i] > c[m - 1]) {
      lastTop = 2.0 * x[i] - c[m - 1];
      break;
    }
  }
  double bottom = weightBelow(c[0]);
  if (target == 0.0 && weightBelow(c[1]) == 0.0) {
    result = c[0];
    return;
  }
  double topWeight = bottom;
  for (long int k = 0; k < m; ++k) {
    const double lowerBound = c[k];
    const double upperBound = k + 1 < m ? c[k + 1] : lastTop;
    topWeight = weightBelow(upperBound);
    if (bottom <= target && target < topWeight) {
      const double f = (target - bottom) / (topWeight - bottom);
      result = f == 0.0 ? lowerBound : (1.0 - f) * lowerBound + f * upperBound;
      return;
    }
    bottom = topWeight;
  }
  if (target == topWeight) result = lastTop;
}

}  // namespace

void NuvDistFun::GPTile(long int n, double p, const std::vector<double>& x,
                        const std::vector<double>& w, const std::vector<double>& c, long int method,
                        double& result, long int& status) {
  result = _missing;
  status = -1;
  if (n < 2) return;
  assert(x.size() >= static_cast<size_t>(n) && w.size() >= static_cast<size_t>(n) &&
         "GPTile: x and w hold n values");
  status = 0;
  double total = 0.0;
  for (long int i = 0; i < n; ++i) total += w[i];
  const double target = total * p / 100.0;
  if (method <= 0) {
    MidpointPercentile(n, x, w, target, result, status);
  } else if (method == 1) {
    ClassWidthPercentile(n, x, w, c, target, result);
  } else {
    ClassBoundaryPercentile(n, x, w, c, method, target, result);
  }
}

void NuvDistFun::Mednci(long int n, const std::vector<double>& x, const std::vector<double>& w,
                        double total, double level, bool exact, double& lower, double& upper,
                        double& attained) {
  lower = _missing;
  upper = _missing;
  attained = _missing;
  if (n < 1) return;
  assert(x.size() >= static_cast<size_t>(n) && w.size() >= static_cast<size_t>(n) &&
         "Mednci: x and w hold n values");
  if (total == 2.0) {
    lower = x[0];
    upper = x[n - 1];
    attained = 100.0;
    return;
  }
  if (!(total > 2.0)) return;
  long int err;
  const double k = IdfBin(0.5 - level / 200.0, total, 0.5, err);
  if (err != 0) return;
  if (k < 0.0) {
    lower = x[0];
    upper = x[n - 1];
    attained = 100.0;
    return;
  }
  // Lower limit: order statistic k + 1.
  if (total <= k + 1.0) {
    lower = x[n - 1];
  } else {
    lower = x[n - 1];
    double cumulative = 0.0;
    for (long int i = 0; i < n; ++i) {
      cumulative += w[i];
      if (cumulative >= k + 1.0) {
        lower = x[i];
        break;
      }
    }
  }
  // Upper limit: order statistic total - k, found from the top.
  const double u = total - k;
  if (u <= 1.0) {
    upper = x[0];
  } else {
    upper = x[0];
    double remaining = total;
    for (long int i = n - 1; i >= 0; --i) {
      remaining -= w[i];
      if (remaining < u) {
        upper = x[i];
        break;
      }
    }
  }
  if (exact) {
    // Coverage 1 - 2 P(X <= k) = 2 I_0.5(k + 1, total - k) - 1, in percent.
    long int status;
    const double tail = cdfbet(0.5, k + 1.0, total - k, status);
    if (status == 0) attained = std::fmax((tail - 0.5) * 200.0, 0.0);
  }
}

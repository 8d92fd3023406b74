#!/usr/bin/python3
"""Reference values for the distribution functions, from mpmath at 50 digits.

Run once with Debian's python3-mpmath and python3-scipy:
    /usr/bin/python3 tests/reference/make_distribution_tables.py
It writes tests/reference/distribution_tables.csv, which the C++ tests read;
the build never runs Python.

Every argument is a double, and the reference is the exact function value at
that double (mpmath converts floats exactly), rounded once to the nearest
double. Each row also carries the relative condition number of the function
in its main argument (|x f'(x) / f(x)|, or for a quantile |s / (x f(x))| with
s the smaller tail it is solved on): rounding the argument by one unit in the
last place moves the exact value by cond * 2^-53 relative, which bounds what a
double-precision implementation that transforms its argument can reach.

Where mpmath's own incomplete integrals do not converge (very large shape
parameters) the script falls back to the hypergeometric series of the same
integrals with more terms. Quantiles are solved in mpmath by Newton steps until
the tail is matched to a relative 1e-30. scipy serves only as an independent cross-check of
the mpmath values against gross errors (to 1e-6, or 1e-3 for quantiles of the F
and beta distributions, whose far tails scipy's double-precision inverses do
not reach).
"""

import csv
import math
import os
import sys

import mpmath as mp
import scipy.special as sc
import scipy.stats as st

mp.mp.dps = 50
NoConvergence = mp.libmp.NoConvergence

rows = []


def f2s(v):
    return repr(float(v))


def add(function, args, expected, cond):
    args = list(args) + [0.0] * (3 - len(args))
    rows.append([function] + [f2s(a) for a in args] + [f2s(expected), "%.3g" % float(abs(cond))])


def check(label, mine, scipy_value, rel=1e-6):
    """Cross-check an mpmath value against scipy where scipy is meaningful."""
    m = float(mine)
    s = float(scipy_value)
    if abs(m) < 1e-280 or abs(s) < 1e-280 or not math.isfinite(s):
        return
    if abs(m - s) > rel * abs(m):
        sys.exit("cross-check failed for %s: mpmath %r scipy %r" % (label, m, s))


def nice(v, digits=6):
    return float("%.*g" % (digits, v))


# ---- Special functions in mpmath -------------------------------------------


def gamma_tails(a, x):
    """(P(a, x), Q(a, x)), each to full relative precision."""
    a = mp.mpf(a)
    x = mp.mpf(x)
    try:
        lower = mp.gammainc(a, 0, x, regularized=True)
    except NoConvergence:
        # Kummer: P(a, x) = x^a e^-x / Gamma(a + 1) 1F1(1; a + 1; x).
        lower = mp.exp(a * mp.log(x) - x - mp.loggamma(a + 1)) * mp.hyp1f1(
            1, a + 1, x, maxterms=10**7)
    if lower <= 0.5:
        return lower, 1 - lower
    upper = mp.gammainc(a, x, mp.inf, regularized=True)
    return 1 - upper, upper


def beta_lower(a, b, x):
    try:
        return mp.betainc(a, b, 0, x, regularized=True)
    except NoConvergence:
        # I_x(a, b) = x^a (1-x)^b / (a B(a, b)) 2F1(a + b, 1; a + 1; x).
        log_front = a * mp.log(x) + b * mp.log1p(-x) - mp.log(a) - mp.log(mp.beta(a, b))
        return mp.exp(log_front) * mp.hyp2f1(a + b, 1, a + 1, x, maxterms=10**7)


def beta_tails(a, b, x, y=None):
    """(I_x(a, b), 1 - I_x(a, b)), each to full relative precision; y = 1 - x."""
    a = mp.mpf(a)
    b = mp.mpf(b)
    x = mp.mpf(x)
    y = 1 - x if y is None else mp.mpf(y)
    lower = beta_lower(a, b, x)
    if lower <= 0.5:
        return lower, 1 - lower
    upper = beta_lower(b, a, y)
    return 1 - upper, upper


def beta_density(a, b, x, y=None):
    a, b, x = mp.mpf(a), mp.mpf(b), mp.mpf(x)
    y = 1 - x if y is None else mp.mpf(y)
    return mp.exp((a - 1) * mp.log(x) + (b - 1) * mp.log(y) - mp.log(mp.beta(a, b)))


def chi_cdf(x, df):
    return gamma_tails(mp.mpf(df) / 2, mp.mpf(x) / 2)


def chi_density(x, df):
    k = mp.mpf(df) / 2
    x = mp.mpf(x)
    return mp.exp((k - 1) * mp.log(x) - x / 2 - k * mp.log(2) - mp.loggamma(k))


def t_cdf(t, df):
    """(P(T <= t), P(T > t))."""
    t, df = mp.mpf(t), mp.mpf(df)
    if t == 0:
        return mp.mpf(0.5), mp.mpf(0.5)
    v = df / (df + t * t)
    outer, inner = beta_tails(df / 2, mp.mpf(0.5), v, t * t / (df + t * t))
    # outer = P(|T| > |t|)
    if t < 0:
        return outer / 2, 1 - outer / 2
    return 1 - outer / 2, outer / 2


def t_density(t, df):
    t, df = mp.mpf(t), mp.mpf(df)
    return mp.exp(mp.loggamma((df + 1) / 2) - mp.loggamma(df / 2) - mp.log(df * mp.pi) / 2 -
                  (df + 1) / 2 * mp.log1p(t * t / df))


def f_cdf(x, d1, d2):
    x, d1, d2 = mp.mpf(x), mp.mpf(d1), mp.mpf(d2)
    s = d1 * x + d2
    return beta_tails(d1 / 2, d2 / 2, d1 * x / s, d2 / s)


def f_density(x, d1, d2):
    x, d1, d2 = mp.mpf(x), mp.mpf(d1), mp.mpf(d2)
    s = d1 * x + d2
    return beta_density(d1 / 2, d2 / 2, d1 * x / s, d2 / s) * d1 * d2 / (s * s)


def norm_density(z):
    z = mp.mpf(z)
    return mp.exp(-z * z / 2) / mp.sqrt(2 * mp.pi)


def solve_quantile(tails, density, p, start, positive=True):
    """The x with lower tail p, by Newton steps on the smaller tail's logarithm."""
    p = mp.mpf(p)
    use_lower = p <= mp.mpf(0.5)
    target = p if use_lower else 1 - p
    x = mp.mpf(start)
    for _ in range(200):
        lower, upper = tails(x)
        value = lower if use_lower else upper
        g = mp.log(value) - mp.log(target)
        if not use_lower:
            g = -g
        if abs(g) < mp.mpf(10)**(-30):
            return x
        # d ln(tail) / dx = +-density / tail; Newton on ln(tail) in x (or ln x).
        slope = density(x) / value
        if positive:
            step = -g / (slope * x)
            x = x * mp.exp(step)
        else:
            step = -g / slope
            x = x + step
    sys.exit("quantile did not converge at p=%r start=%r" % (float(p), float(start)))


def binom_cdf(k, n, p):
    """P(X <= k) for X ~ Binomial(n, p), summed exactly in 50 digits."""
    p = mp.mpf(p)
    q = 1 - p
    if k < 0:
        return mp.mpf(0)
    if k >= n:
        return mp.mpf(1)

    def pmf(i):
        return mp.exp(mp.loggamma(n + 1) - mp.loggamma(i + 1) - mp.loggamma(n - i + 1) +
                      i * mp.log(p) + (n - i) * mp.log(q))

    eps = mp.mpf(10)**(-45)
    if k <= n * p:
        term = pmf(k)
        total = term
        i = k
        while i > 0:
            term = term * i / (n - i + 1) * q / p
            total += term
            i -= 1
            if term < total * eps:
                break
        return total
    term = pmf(k + 1)
    total = term
    i = k + 1
    while i < n:
        term = term * (n - i) / (i + 1) * p / q
        total += term
        i += 1
        if term < total * eps:
            break
    return 1 - total


def binom_pmf(k, n, p):
    p = mp.mpf(p)
    return mp.binomial(n, k) * p**k * (1 - p)**(n - k)


# ---- Tables ------------------------------------------------------------------

TAIL_PS = [1e-12, 1e-6, 0.01, 0.3, 0.5, 0.9, 0.999, 1 - 1e-9]


def error_functions():
    for x in [1e-300, 1e-10, 1e-3, 0.1, 0.5, 0.9, 1.0, 1.5, 2.0, 2.2, 3.0, 4.0, 5.0, 5.9, 6.0,
              6.5, -0.3, -2.5, -4.0]:
        v = mp.erf(x)
        add("derf", [x], v, 2 * x * mp.exp(-mp.mpf(x)**2) / mp.sqrt(mp.pi) / v)
        check("erf", v, sc.erf(x))
    for x in [-5.0, -1.0, -0.1, 1e-8, 0.1, 0.5, 1.0, 2.0, 3.0, 5.0, 8.0, 10.0, 15.0, 20.0, 26.0,
              26.5]:
        v = mp.erfc(x)
        add("derfc", [x], v, 2 * x * mp.exp(-mp.mpf(x)**2) / mp.sqrt(mp.pi) / v)
        check("erfc", v, sc.erfc(x))


def log_gamma():
    for x in [1e-10, 0.001, 0.1, 0.25, 0.3, 0.5, 0.75, 0.999, 1.001, 1.5, 1.999, 2.001, 2.5,
              3.5, 4.2, 7.9, 8.0, 8.5, 10.0, 33.3, 100.5, 1e4, 1e6 + 0.5, 1e10, 1e100]:
        v = mp.loggamma(x)
        add("dnlgam", [x], v, x * mp.digamma(x) / v)
        check("lgamma", v, math.lgamma(x))


def normal():
    for z in [-38.0, -37.5, -30.0, -20.0, -10.0, -8.5, -5.0, -3.0, -1.96, -1.0, -0.5, -1e-8, 0.3,
              1.0, 2.5, 5.0, 8.0]:
        v = mp.ncdf(z)
        add("prbnrm", [z], v, z * norm_density(z) / v)
        check("ndtr", v, sc.ndtr(z))
    for x, m, s in [(-5.3, 2.1, 0.7), (100.0, 3.0, 2.5), (0.1, 0.2, 0.001), (7.0, 7.0, 3.0),
                    (-1e6, 0.0, 3e4), (3.7, -1.1, 2.0), (1e-3, 5e-4, 2e-5)]:
        z = (mp.mpf(x) - m) / s
        v = mp.ncdf(z)
        # Rounding x, mean and sd each moves z by about |x| + |mean| ulps of z.
        scale = (abs(x) + abs(m)) / abs(mp.mpf(x) - m) if x != m else 1
        add("CdfNorm", [x, m, s], v, z * norm_density(z) / v * scale)
        check("normcdf", v, st.norm.cdf(x, m, s))
    ps = [1e-300, 1e-100, 1e-20, 1e-12, 1e-6, 0.001, 0.025, 0.1, 0.3, 0.4999, 0.5001, 0.75,
          0.975, 0.999, 1 - 1e-6, 1 - 1e-12, 1 - 2.0**-53]
    for p in ps:
        z = solve_quantile(lambda v: (mp.ncdf(v), mp.ncdf(-v)), norm_density, p,
                           sc.ndtri(p), positive=False)
        s = min(p, 1 - p, abs(p - 0.5))
        add("probit", [p], z, s / (abs(z) * norm_density(z)))
        check("ndtri", z, sc.ndtri(p))
    for p, m, s in [(0.025, 10.0, 2.0), (1e-9, 0.0, 5.0), (0.9, -3.0, 0.5), (0.3, 100.0, 1e-3)]:
        z = solve_quantile(lambda v: (mp.ncdf(v), mp.ncdf(-v)), norm_density, p,
                           sc.ndtri(p), positive=False)
        x = m + s * z
        tail = min(p, 1 - p, abs(p - 0.5))
        cond = (abs(m) + abs(s * z) * (1 + tail / (abs(z) * norm_density(z)))) / abs(x)
        add("IdfNorm", [p, m, s], x, cond)


def gamma_integrals():
    shapes = [0.05, 0.3, 0.5, 1.0, 1.5, 3.7, 10.0, 50.5, 1000.0, 5e5]
    for a in shapes:
        xs = {nice(a * r) for r in [1e-3, 0.1, 0.5, 0.9, 1.0, 1.1, 2.0, 5.0]}
        xs |= {1e-10, 0.5, 1.0, 50.0, 700.0}
        for x in sorted(xs):
            if min(sc.gammainc(a, x), sc.gammaincc(a, x)) < 1e-290:
                continue  # a tail below the double range (and slow in mpmath)
            lower, upper = gamma_tails(a, x)
            if lower < 1e-300 or upper < 1e-300:
                continue
            density = mp.exp((a - 1) * mp.log(x) - x - mp.loggamma(a))
            add("gammad_lower", [x, a], lower, x * density / lower)
            add("gammad_upper", [x, a], upper, x * density / upper)
            check("gammainc", lower, sc.gammainc(a, x))
            check("gammaincc", upper, sc.gammaincc(a, x))


def chi_square():
    for df in [0.1, 0.37, 1.0, 2.0, 2.5, 7.0, 30.3, 100.0, 1e3, 1e4 + 0.5, 1e6]:
        for p in TAIL_PS:
            x = nice(st.chi2.ppf(p, df))
            if x <= 0:
                continue
            lower, upper = chi_cdf(x, df)
            add("CdfChi", [x, df], lower, x * chi_density(x, df) / lower)
            check("chdtr", lower, sc.chdtr(df, x))
        for p in TAIL_PS[:-1] + [1 - 1e-12]:
            start = st.chi2.ppf(p, df)
            x = solve_quantile(lambda v: chi_cdf(v, df), lambda v: chi_density(v, df), p, start)
            add("IdfChi", [p, df], x, min(p, 1 - p) / (x * chi_density(x, df)))
            check("chi2.ppf", x, start)


def student_t():
    for df in [0.1, 0.5, 1.0, 1.5, 2.0, 3.3, 10.0, 30.0, 100.5, 1e4, 1e6]:
        ts = {nice(st.t.ppf(p, df)) for p in [1e-12, 1e-6, 0.01, 0.2, 0.45, 0.7, 0.99, 1 - 1e-9]}
        ts |= {-1.0, 1.0, -0.25}
        for t in sorted(ts):
            if t == 0 or not math.isfinite(t):
                continue
            lower, upper = t_cdf(t, df)
            add("CdfT", [t, df], lower, t * t_density(t, df) / lower)
            check("stdtr", lower, sc.stdtr(df, t))
        for p in [1e-12, 1e-6, 0.01, 0.2, 0.45, 0.4999999, 0.7, 0.99, 1 - 1e-9, 1 - 1e-12]:
            start = st.t.ppf(p, df)
            if not math.isfinite(start) or abs(start) > 1e300:
                continue
            x = solve_quantile(lambda v: t_cdf(v, df), lambda v: t_density(v, df), p, start,
                               positive=False)
            tail = min(p, 1 - p, abs(p - 0.5))
            add("IdfT", [p, df], x, tail / (abs(x) * t_density(x, df)))
            if abs(start) < 1e99:  # scipy clamps the far tails of tiny df
                check("t.ppf", x, start)


F_DFS = [(0.1, 0.1), (0.5, 3.0), (1.0, 1.0), (2.0, 7.5), (5.0, 2.0), (10.0, 10.0), (3.0, 1e6),
         (1e6, 3.0), (100.0, 200.0), (1e3, 1e3), (1e6, 1e6), (0.3, 1e4)]


def fisher_f():
    for d1, d2 in F_DFS:
        for p in TAIL_PS:
            x = nice(st.f.ppf(p, d1, d2))
            if x <= 0 or not math.isfinite(x) or x > 1e300:
                continue
            lower, upper = f_cdf(x, d1, d2)
            if lower < 1e-300:
                continue
            add("CdfF", [x, d1, d2], lower, x * f_density(x, d1, d2) / lower)
            # scipy's fdtr forms 1 - u in double precision and loses the far
            # upper tail; its incomplete beta on d2 / (d1 x + d2) does not.
            if lower <= upper:
                check("betainc F", lower, sc.betainc(d1 / 2, d2 / 2, d1 * x / (d1 * x + d2)))
            else:
                check("betainc F", upper, sc.betainc(d2 / 2, d1 / 2, d2 / (d1 * x + d2)))
        for p in TAIL_PS:
            start = st.f.ppf(p, d1, d2)
            if not (0 < start < 1e300):
                continue
            x = solve_quantile(lambda v: f_cdf(v, d1, d2), lambda v: f_density(v, d1, d2), p,
                               start)
            add("IdfF", [p, d1, d2], x, min(p, 1 - p) / (x * f_density(x, d1, d2)))
            check("f.ppf", x, start, rel=1e-3)


BETA_PARAMETERS = [(0.1, 0.1), (0.1, 1000.0), (1000.0, 0.1), (0.5, 0.5), (0.5, 2.5), (2.5, 0.5),
                   (1.0, 3.0), (3.0, 1.0), (2.5, 10.0), (10.0, 2.5), (10.0, 10.0),
                   (100.0, 1000.0), (1000.0, 100.0), (1000.0, 1000.0), (0.1, 10.0),
                   (100.0, 0.5)]


def beta():
    for a, b in BETA_PARAMETERS:
        for p in TAIL_PS:
            x = nice(st.beta.ppf(p, a, b))
            if not (0 < x < 1):
                continue
            lower, upper = beta_tails(a, b, x)
            if lower < 1e-300:
                continue
            add("cdfbet", [x, a, b], lower, x * beta_density(a, b, x) / lower)
            check("betainc", lower, sc.betainc(a, b, x))
        for p in TAIL_PS:
            start = st.beta.ppf(p, a, b)
            if not (0 < start < 1):
                continue
            x = solve_quantile(lambda v: beta_tails(a, b, v), lambda v: beta_density(a, b, v), p,
                               start)
            # The smaller of x and 1 - x carries the precision; near 1 the
            # double x itself is the limit.
            cond = min(p, 1 - p) / (x * beta_density(a, b, x))
            add("IdfBet", [p, a, b], x, cond)
            check("beta.ppf", x, start, rel=1e-3)


def peizer_pratt_helper():
    for x in [0.0, 1e-5, 0.1, 0.49, 0.5, 0.7, 0.99, 0.999999, 1.000001, 1.2, 1.5, 1.51, 2.0, 10.0,
              1e6, 1e17]:
        xm = mp.mpf(x)
        if x == 0:
            v = mp.mpf(1)
        else:
            v = (1 - xm * xm + 2 * xm * mp.log(xm)) / (1 - xm)**2
        add("cbtaux", [x], v, 1)


def binomial():
    for n, k in [(10, 3), (33, 16), (34, 17), (100, 50), (1e6, 3), (1e6, 5e5), (1e6, 999999),
                 (2.5, 1.5), (10.5, 0.5), (1e10, 12345)]:
        v = mp.loggamma(n + 1) - mp.loggamma(k + 1) - mp.loggamma(n - k + 1)
        add("dnlbnc", [n, k], v, 1)
    for n in [1, 2, 10, 33, 100, 1000, 12345, 10**6]:
        for prob in [1e-6, 0.01, 0.3, 0.5, 0.9, 0.999]:
            ks = {0, n - 1}
            for p in [1e-12, 1e-6, 0.02, 0.5, 0.9, 1 - 1e-9]:
                ks.add(int(st.binom.ppf(p, n, prob)))
            for k in sorted(ks):
                if k < 0 or k > n:
                    continue
                cdf = binom_cdf(k, n, prob)
                if cdf < 1e-300:
                    continue
                # Probabilities are formed as exp(ln P): one unit in the last
                # place of ln P is |ln P| units of P.
                add("CdfBin", [k, n, prob], cdf, max(1, abs(mp.log(cdf))))
                check("bdtr", cdf, st.binom.cdf(k, n, prob))
                pdf = binom_pmf(k, n, prob)
                if pdf >= 1e-300:
                    add("PdfBin", [k, n, prob], pdf, max(1, abs(mp.log(pdf))))
                    check("binom.pmf", pdf, st.binom.pmf(k, n, prob))
            for p in [1e-12, 1e-6, 0.025, 0.3, 0.5, 0.9, 0.999]:
                # The largest k with P(X <= k) <= p.
                k = int(st.binom.ppf(p, n, prob))
                while k >= 0 and binom_cdf(k, n, prob) > p:
                    k -= 1
                while k < n and binom_cdf(k + 1, n, prob) <= p:
                    k += 1
                # Keep away from CDF values that equal p to within rounding.
                near = [binom_cdf(j, n, prob) for j in (k, k + 1) if 0 <= j <= n]
                if any(c != p and abs(c - p) < 1e-10 * p for c in near):
                    continue
                add("IdfBin", [p, n, prob], k, 0)


def main():
    import time
    for section in [error_functions, log_gamma, normal, gamma_integrals, chi_square, student_t,
                    fisher_f, beta, peizer_pratt_helper, binomial]:
        started = time.time()
        section()
        print("%-20s %6.1f s" % (section.__name__, time.time() - started), file=sys.stderr)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "distribution_tables.csv")
    with open(out, "w", newline="") as f:
        f.write("# Generated by make_distribution_tables.py (mpmath %s, scipy %s); do not edit.\n"
                % (mp.__version__, __import__("scipy").__version__))
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow(["function", "arg1", "arg2", "arg3", "expected", "cond"])
        writer.writerows(rows)
    print("%d rows written to %s" % (len(rows), out))


if __name__ == "__main__":
    main()

#ifndef NUV_DIST_FUN_PROBE_H
#define NUV_DIST_FUN_PROBE_H

#include "NuvDistFun.h"

// Test access to NuvDistFun's private special functions (the class names this
// one its friend).
class NuvDistFunProbe {
 public:
  static double derf(double x) { return NuvDistFun::derf(x); }
  static double derfc(double x) { return NuvDistFun::derfc(x); }
  static double dnlgam(double x) { return NuvDistFun::dnlgam(x); }
  static double prbnrm(double z) { return NuvDistFun::prbnrm(z); }
  static double probit(double p) { return NuvDistFun::probit(p); }
  static double cbtaux(double x) { return NuvDistFun::cbtaux(x); }
  static double cdfbet(double x, double a, double b, long int& status) {
    return NuvDistFun::cdfbet(x, a, b, status);
  }
  static double betinv(double p, double a, double b) { return NuvDistFun::betinv(p, a, b); }
  static double gammad(double x, double a, bool lower, long int& status) {
    return NuvDistFun::gammad(x, a, lower, status);
  }
  static double idfchb(double p, double df, double guess, long int& status) {
    return NuvDistFun::idfchb(p, df, guess, status);
  }
  static double dnlbnc(double n, double k, long int& status) {
    return NuvDistFun::dnlbnc(n, k, status);
  }
  static double betnap(double x, double a, double b) { return NuvDistFun::betnap(x, a, b); }
  static double quorcdff(double x, double df1, double df2, long int& status) {
    return NuvDistFun::quorcdff(x, df1, df2, status);
  }
  static double quorcdft(double t, double df, long int& status) {
    return NuvDistFun::quorcdft(t, df, status);
  }
  static double quoridff(double p, double df1, double df2, long int& status) {
    return NuvDistFun::quoridff(p, df1, df2, status);
  }
  static double quoridft(double p, double df, long int& status) {
    return NuvDistFun::quoridft(p, df, status);
  }
  static double quoridfchi(double p, double df, long int& status) {
    return NuvDistFun::quoridfchi(p, df, status);
  }
};

#endif

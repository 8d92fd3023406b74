#ifndef NUV_DIST_FUN_PROBE_H
#define NUV_DIST_FUN_PROBE_H

#include <functional>
#include <map>
#include <string>
#include <vector>

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

using Arguments = std::vector<double>;
using Function = std::function<double(const Arguments&, long int&)>;

// The distribution functions by name, with their arguments in order (a
// boolean argument as 0 or 1); status functions report through the second
// parameter.
inline const std::map<std::string, Function>& DistributionFunctions() {
  using A = const Arguments&;
  using D = NuvDistFun;
  using P = NuvDistFunProbe;
  static const std::map<std::string, Function> functions = {
      {"CdfNorm", [](A a, long int&) { return D::CdfNorm(a[0], a[1], a[2]); }},
      {"IdfNorm", [](A a, long int&) { return D::IdfNorm(a[0], a[1], a[2]); }},
      {"probit", [](A a, long int&) { return P::probit(a[0]); }},
      {"prbnrm", [](A a, long int&) { return P::prbnrm(a[0]); }},
      {"derf", [](A a, long int&) { return P::derf(a[0]); }},
      {"derfc", [](A a, long int&) { return P::derfc(a[0]); }},
      {"CdfT", [](A a, long int&) { return D::CdfT(a[0], a[1]); }},
      {"IdfT", [](A a, long int&) { return D::IdfT(a[0], a[1]); }},
      {"quorcdft", [](A a, long int& s) { return P::quorcdft(a[0], a[1], s); }},
      {"quoridft", [](A a, long int& s) { return P::quoridft(a[0], a[1], s); }},
      {"CdfChi", [](A a, long int&) { return D::CdfChi(a[0], a[1]); }},
      {"IdfChi", [](A a, long int&) { return D::IdfChi(a[0], a[1]); }},
      {"quoridfchi", [](A a, long int& s) { return P::quoridfchi(a[0], a[1], s); }},
      {"idfchb", [](A a, long int& s) { return P::idfchb(a[0], a[1], a[2], s); }},
      {"gammad", [](A a, long int& s) { return P::gammad(a[0], a[1], a[2] != 0, s); }},
      {"CdfF", [](A a, long int&) { return D::CdfF(a[0], a[1], a[2]); }},
      {"IdfF", [](A a, long int&) { return D::IdfF(a[0], a[1], a[2]); }},
      {"quorcdff", [](A a, long int& s) { return P::quorcdff(a[0], a[1], a[2], s); }},
      {"quoridff", [](A a, long int& s) { return P::quoridff(a[0], a[1], a[2], s); }},
      {"IdfBet", [](A a, long int&) { return D::IdfBet(a[0], a[1], a[2]); }},
      {"betinv", [](A a, long int&) { return P::betinv(a[0], a[1], a[2]); }},
      {"cdfbet", [](A a, long int& s) { return P::cdfbet(a[0], a[1], a[2], s); }},
      {"cbtaux", [](A a, long int&) { return P::cbtaux(a[0]); }},
      {"dnlgam", [](A a, long int&) { return P::dnlgam(a[0]); }},
      {"dnlbnc", [](A a, long int& s) { return P::dnlbnc(a[0], a[1], s); }},
      {"PdfBin", [](A a, long int& s) { return D::PdfBin(a[0], a[1], a[2], s); }},
      {"CdfBin", [](A a, long int& s) { return D::CdfBin(a[0], a[1], a[2], s); }},
      {"IdfBin", [](A a, long int& s) { return D::IdfBin(a[0], a[1], a[2], s); }},
  };
  return functions;
}

#endif

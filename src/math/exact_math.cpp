#include "math/exact_math.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <limits>

#include "math/multi_precision.hpp"
#include "math/sine_steps.hpp"

// Method: the quick and accurate steps compute a double-double y = hi + lo together with a
// bound on its relative error; when every real number within that bound of y rounds to the same
// double, that double is the correctly rounded result. Otherwise the fixed-point last step takes
// over with more and more words until its own test passes. Errors below are relative unless they
// say otherwise, and u stands for 2^-53.

using namespace sine_steps;

namespace {

// The last step's precisions, in 32-bit words after the binary point. 256 bits already decide
// every argument of the published hardest-to-round lists, which need at most about 120
// (HardCases.EveryLineCorrectlyRoundedAndEveryStepUsed).
constexpr int kFirstLastStepWords = 8;
constexpr int kLastStepWords[] = {kFirstLastStepWords, 16, kMaxFractionWords};

// Ziv's loop: fixed point with more and more words until the rounding test passes. It ends: the
// exact value is never a midpoint between two doubles (see the callers), so some precision sets
// it apart from every midpoint; the bound on the precision is far above any known need, and
// reaching it stops the program rather than return an unproven value.
template <typename Evaluate>
double last_step(double x, Evaluate evaluate) {
  for (int words : kLastStepWords) {
    Decision d = evaluate(x, words);
    if (d.decided) {
      return d.value;
    }
  }
  std::fprintf(stderr, "tonegen: no rounding decided for %a at %d bits\n", x,
               32 * kMaxFractionWords);
  std::abort();
}

}  // namespace

bool step_decides(DD y, Step step) {
  return decided(y, step == Step::kQuick ? kQuickBound : kAccurateBound);
}

Rounded rounded_sine(double x) {
  if (!(std::fabs(x) <= kExactSineLimit)) {
    return {std::numeric_limits<double>::quiet_NaN(), Step::kQuick};
  }
  Reduced reduced = reduce_to_quadrant(x);
  if (reduced.known != 0) {
    return {reduced.value, Step::kQuick};
  }
  const int quadrant = static_cast<int>(reduced.quadrant);
  for (Step step : {Step::kQuick, Step::kAccurate}) {
    const int dd_terms = step == Step::kQuick ? kQuickDoubleDoubleTerms : kSineTerms + kCosineTerms;
    DD y = sine_of_quadrant(reduced.r, quadrant, dd_terms);
    if (step_decides(y, step)) {
      return {y.hi + y.lo, step};
    }
  }
  // The sine of a non-zero double is transcendental (Lindemann-Weierstrass: sin a is, for every
  // algebraic a != 0), so it is never a midpoint, which is rational.
  return {last_step(x, fixed_point_sine), Step::kLast};
}

namespace {

constexpr double kLn10Hi = 0x1.26bb1bbb55516p+1;  // ln 10 = hi + lo + under 2^-106
constexpr double kLn10Lo = -0x1.f48ad494ea3e9p-53;
constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
constexpr double kLn2Hi = 0x1.62e42fefa39efp-1;  // ln 2 = hi + mid + lo + under 2^-163
constexpr double kLn2Mid = 0x1.abc9e3b39803fp-56;
constexpr double kLn2Lo = 0x1.7b57a079a1934p-111;
// e^r = sum of r^n/n! for n <= 24: for |r| <= kPow10Reach within kSeriesError of e^r, the
// rounded coefficients included (proofs/series_truncation.sollya).
constexpr int kExpTerms = 25;
constexpr double kPow10Reach = 0.35;
// |r - (x ln 10 - k ln 2)| for |x| <= 22, and |r| <= kPow10Reach (proofs/reduction_pow10.gappa).
// With the series' own error and its evaluation's (proofs/run_proofs.py, Pow10Series) the rounding
// test's bound covers it all.
constexpr double kPow10ReductionError = 0x1p-97;
constexpr double kPow10Bound = 0x1p-95;
// 10^x = 1 + x ln 10 + ...: below this, within half a spacing of 1 on either side (Pow10Series
// in proofs/run_proofs.py).
constexpr double kPow10RoundsToOne = 0x1p-56;
// Read by the proofs; here only this, which they refine into the whole sum.
static_assert(kPow10ReductionError < kPow10Bound, "the rounding test covers the reduction");

}  // namespace

DD reduce_pow10(double x, double& k) {
  // 10^x = e^t = 2^k e^r, t = x ln 10, r = t - k ln 2.
  DD t = two_prod(x, kLn10Hi);
  t = fast_two_sum(t.hi, t.lo + x * kLn10Lo);
  k = (t.hi * kInverseLn2 + kRoundingShift) - kRoundingShift;
  DD p = two_prod(k, kLn2Hi);
  double s = t.hi - p.hi;  // exact by Sterbenz; reduction_pow10.gappa bounds it anyway
  return two_sum(s, ((t.lo - p.lo) - k * kLn2Mid) - k * kLn2Lo);
}

bool pow10_decides(DD y) {
  return decided(y, kPow10Bound);
}

Rounded rounded_pow10(double x) {
  if (!(std::fabs(x) <= kExactPow10Limit)) {
    return {std::numeric_limits<double>::quiet_NaN(), Step::kQuick};
  }
  if (std::fabs(x) < kPow10RoundsToOne) {
    return {1.0, Step::kQuick};
  }
  double k = 0.0;
  DD r = reduce_pow10(x, k);
  DD y = series(r, 0, 1, false, kExpTerms, kExpTerms);
  int exponent = static_cast<int>(k);
  if (pow10_decides(y)) {
    return {std::ldexp(y.hi + y.lo, exponent), Step::kQuick};
  }
  // 10^x is never a midpoint between doubles for |x| <= 22: for a non-integer x = p/q (lowest
  // terms, q > 1) it is irrational, as 10^p is no q-th power; for a negative integer it is not a
  // dyadic rational (1/10^n), and for 0 <= x <= 22 it is a double itself (5^22 < 2^53, which
  // Pow10Series checks of kExactPow10Limit).
  return {last_step(x, fixed_point_pow10), Step::kLast};
}

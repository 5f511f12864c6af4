#include "math/exact_math.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "math/multi_precision.hpp"

// Method: the quick and accurate steps compute a double-double y = hi + lo together with a
// bound on its relative error; when every real number within that bound of y rounds to the same
// double, that double is the correctly rounded result. Otherwise the fixed-point last step takes
// over with more and more words until its own test passes. Errors below are relative unless they
// say otherwise, and u stands for 2^-53.

namespace {

// 1/n! as double-doubles, hi the nearest double and lo the nearest double to the rest.
constexpr DD kInverseFactorial[] = {
    {0x1p+0, 0.0},
    {0x1p+0, 0.0},
    {0x1p-1, 0.0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {0x1.93974a8c07c9dp-37, 0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-41, 0x1.1d8656b0ee8cbp-97},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {0x1.6827863b97d97p-53, 0x1.eec01221a8b0bp-107},
    {0x1.2f49b46814157p-57, 0x1.2650f61dbdcb4p-112},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {0x1.0ce396db7f853p-70, -0x1.aebcdbd20331cp-124},
    {0x1.761b41316381ap-75, -0x1.3423c7d91404fp-130},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},
    {0x1.88e85fc6a4e5ap-89, -0x1.71c37ebd16540p-143},
    {0x1.d1ab1c2dccea3p-94, 0x1.054d0c78aea14p-149},
    {0x1.0a18a2635085dp-98, 0x1.b9e2e28e1aa54p-153},
    {0x1.259f98b4358adp-103, 0x1.eaf8c39dd9bc5p-157},
    {0x1.3932c5047d60ep-108, 0x1.832b7b530a627p-162},
};

// sum over k < count of s_k z^k / (first + stride k)!, s_k = (-1)^k when `alternate`. The first
// `dd_terms` terms are summed in double-double, the rest in plain doubles (their rounding errors
// are then of the order of u times the first of them). Every coefficient is at least
// (stride + 1) times the next one times |z|, so no Horner step cancels (see dd_add()).
DD series(DD z, int first, int stride, bool alternate, int count, int dd_terms) {
  auto coefficient = [&](int k) {
    DD c = kInverseFactorial[first + stride * k];
    return alternate && (k & 1) != 0 ? DD{-c.hi, -c.lo} : c;
  };
  DD q = {0.0, 0.0};
  int k = count - 1;
  for (; k >= dd_terms; --k) {
    q.hi = q.hi * z.hi + coefficient(k).hi;
  }
  for (; k >= 0; --k) {
    q = dd_add(dd_mul(q, z), coefficient(k));
  }
  return q;
}

// Whether every real within bound x |y| of y rounds to the same double, which is then y's own
// rounding, y.hi + y.lo. The two ends are computed with one rounding each; the bounds passed in
// carry a margin of at least 2^2 over the derived ones, which covers that rounding (2^-106 |y|
// at most) and the difference between |y.hi| and |y| (y is normalised).
bool decided(DD y, double bound) {
  double e = std::fabs(y.hi) * bound;
  return y.hi + (y.lo - e) == y.hi + (y.lo + e);
}

constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi/2 = kHalfPi1 + ... + kHalfPi4 + d, |d| < 2^-217; each part is the double nearest to what
// the ones before leave.
constexpr double kHalfPi1 = 0x1.921fb54442d18p+0;
constexpr double kHalfPi2 = 0x1.1a62633145c07p-54;
constexpr double kHalfPi3 = -0x1.f1976b7ed8fbcp-110;
constexpr double kHalfPi4 = 0x1.4cf98e804177dp-164;

// hi + t, keeping the rounding error of that sum: lo gains at most u of |hi + t|.
DD accumulate(DD acc, double t) {
  DD s = two_sum(acc.hi, t);
  s.lo += acc.lo;
  return s;
}

// r = x - k pi/2 for an integer k < 2^43, as a normalised double-double.
// Error: k d < 2^-174 from the parts of pi/2 left out, and the products are exact (two_prod).
// x - p1.hi is exact because p1.hi lies within a factor 2 of x (Sterbenz), and a and b hold the
// next two sums exactly. What is left is summed smallest first, the large b.hi last: before it
// every partial sum is below 2^-62 where r is small (massive cancellation needs a.hi and b.hi
// close to p2.hi and p1.lo, whose roundings are then below 2^-64), so the lo roundings add up
// to under 2^-164 there and to under 2u^2 |r| otherwise. For k != 0, |r| > 2^-61 for every
// double x (the closest any double comes to a multiple of pi/2), so the error is below
// 2^-102 |r|; for k = 0, r = x exactly.
DD reduce(double x, double k) {
  DD p1 = two_prod(k, kHalfPi1);
  DD p2 = two_prod(k, kHalfPi2);
  DD p3 = two_prod(k, kHalfPi3);
  double p4 = k * kHalfPi4;
  double s = x - p1.hi;
  DD a = two_sum(s, -p2.hi);
  DD b = two_sum(a.hi, -p1.lo);
  DD acc = two_sum(-p3.lo, -p4);
  acc = accumulate(acc, -p3.hi);
  acc = accumulate(acc, -p2.lo);
  acc = accumulate(acc, a.lo);
  acc = accumulate(acc, b.lo);
  acc = accumulate(acc, b.hi);
  return two_sum(acc.hi, acc.lo);
}

// How far r can reach: k comes from x 2/pi rounded to a double, which for |x| near 2^42 can be
// off by 2^-12 (half its spacing) plus its own rounding, so |r| <= pi/4 (1 + 2^-10.9) (reached at
// x = 0x1.91d8d44eebf66p+41), and z = r^2 < 0.6175.
// sin(r) = r T(z) and cos(r) = C(z) by Taylor series. Truncation: after 15 terms of T the next is
// below 2^-122 of T; after 16 of C, below 2^-128 of C.
constexpr int kSineTerms = 15;
constexpr int kCosineTerms = 16;
// Quick evaluation: the first four terms in double-double, the rest in doubles. The terms from z^4
// on are below 2^-17.5 of C's sum (2^-21 of T's); summed in doubles with z.lo dropped they are off
// by under 2u of themselves (each coefficient is the nearest double and each term is below 1/90 of
// the one before), so below 2^-69.5 of the sum. With the reduction (2^-102), the four double-double
// steps (under 2^-100) and the product by r, the error stays below 2^-69; the test uses 2^-67, a
// margin of 2^2. Accurate evaluation: every term in double-double; each step adds at most 7u^2 of a
// partial sum that the next multiplication by z reduces to at most 0.62 of it, so the series is
// within 19u^2 < 2^-101.7 and the whole, with the reduction and the truncation, within 2^-100; the
// test uses 2^-97.
constexpr int kQuickDoubleDoubleTerms = 4;
constexpr double kQuickBound = 0x1p-67;
constexpr double kAccurateBound = 0x1p-97;

DD sine_of_quadrant(DD r, int quadrant, int dd_terms) {
  DD z = dd_mul(r, r);
  DD y = (quadrant & 1) != 0 ? series(z, 0, 2, true, kCosineTerms, dd_terms)
                             : dd_mul(r, series(z, 1, 2, true, kSineTerms, dd_terms));
  return quadrant >= 2 ? DD{-y.hi, -y.lo} : y;
}

// The last step's precisions, in 32-bit words after the binary point. 256 bits already decide
// every argument of the published hardest-to-round lists, which need at most about 120.
constexpr int kLastStepWords[] = {8, 16, kMaxFractionWords};

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

Rounded rounded_sine(double x) {
  // Below 2^-26, x - sin x < x^3/6 is under half the spacing of doubles below x: sin x rounds to
  // x itself (zeros keep their sign).
  if (!(std::fabs(x) >= 0x1p-26)) {
    return {x, Step::kQuick};
  }
  if (!(std::fabs(x) <= kExactSineLimit)) {
    return {std::numeric_limits<double>::quiet_NaN(), Step::kQuick};
  }
  // k, the multiple of pi/2 nearest to x (or next to it, when x 2/pi rounds across a half).
  double k = (x * kTwoOverPi + kRoundingShift) - kRoundingShift;
  int quadrant = static_cast<int>(k - 4.0 * std::floor(k * 0.25));
  DD r = reduce(x, k);
  // Next to an odd multiple of pi/2 (where full-scale tones keep landing), 1 - cos r < r^2/2 is
  // below half the spacing of doubles under 1 for |r| < 2^-27: the sine rounds to +-1.
  if ((quadrant & 1) != 0 && std::fabs(r.hi) < 0x1p-27) {
    return {quadrant == 1 ? 1.0 : -1.0, Step::kQuick};
  }

  DD y = sine_of_quadrant(r, quadrant, kQuickDoubleDoubleTerms);
  if (decided(y, kQuickBound)) {
    return {y.hi + y.lo, Step::kQuick};
  }
  y = sine_of_quadrant(r, quadrant, kSineTerms + kCosineTerms);
  if (decided(y, kAccurateBound)) {
    return {y.hi + y.lo, Step::kAccurate};
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
// e^r = sum of r^n/n! for n <= 24: the rest is below 2^-115 for |r| <= 0.35.
constexpr int kExpTerms = 25;
// Error, for |x| <= 22: t = x ln 10 within 2^-104 |t| (ln 10's parts, the product x lo and the
// last sum each round by under 2^-106 |t|), and |t| < 50.7, so e^t is within 2^-98.3 of itself;
// r = t - k ln 2: the difference with p.hi is exact, and the three roundings of the small sum
// (of values below 2^-46.6, |k| <= 73) stay within 2^-98.6 absolute; the series within 2^-101
// (no step cancels, |r| < 0.35); scaling by 2^k is exact. In all below 2^-97: the test uses
// 2^-95. Over [-2.25, 0], the tool's levels, |t| <= 5.2 and the error stays below 2^-100.
constexpr double kPow10Bound = 0x1p-95;

}  // namespace

Rounded rounded_pow10(double x) {
  if (!(std::fabs(x) <= kExactPow10Limit)) {
    return {std::numeric_limits<double>::quiet_NaN(), Step::kQuick};
  }
  // 10^x = 1 + x ln 10 + ...: below 2^-56, within half a spacing of 1 on either side.
  if (std::fabs(x) < 0x1p-56) {
    return {1.0, Step::kQuick};
  }
  // 10^x = e^t = 2^k e^r, t = x ln 10, r = t - k ln 2.
  DD t = two_prod(x, kLn10Hi);
  t = fast_two_sum(t.hi, t.lo + x * kLn10Lo);
  double k = (t.hi * kInverseLn2 + kRoundingShift) - kRoundingShift;
  DD p = two_prod(k, kLn2Hi);
  double s = t.hi - p.hi;  // exact: p.hi is within a factor 2 of t.hi, or both are 0
  DD r = two_sum(s, ((t.lo - p.lo) - k * kLn2Mid) - k * kLn2Lo);
  DD y = series(r, 0, 1, false, kExpTerms, kExpTerms);
  int exponent = static_cast<int>(k);
  if (decided(y, kPow10Bound)) {
    return {std::ldexp(y.hi + y.lo, exponent), Step::kQuick};
  }
  // 10^x is never a midpoint between doubles for |x| <= 22: for a non-integer x = p/q (lowest
  // terms, q > 1) it is irrational, as 10^p is no q-th power; for a negative integer it is not a
  // dyadic rational (1/10^n), and for 0 <= x <= 22 it is a double itself (5^22 < 2^53).
  return {last_step(x, fixed_point_pow10), Step::kLast};
}

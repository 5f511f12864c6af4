#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "math/double_double.hpp"

// The double-double steps of the correctly rounded sine, shared by correct_sin and by the tone
// writer's block code (which runs the quick step on whole blocks). Errors below are relative
// unless they say otherwise, and u stands for 2^-53.

namespace sine_steps {

// 1/n! as double-doubles, hi the nearest double and lo the nearest double to the rest.
inline constexpr DD kInverseFactorial[] = {
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
// are then of the order of u times the first of them; with Fma each step is one fused
// multiply-add, which the block proofs cover too). Every coefficient is at least
// (stride + 1) times the next one times |z|, so no Horner step cancels (see dd_add()).
template <bool Fma = false>
TONEGEN_ALWAYS_INLINE DD series(DD z, int first, int stride, bool alternate, int count,
                                int dd_terms) {
  auto coefficient = [&](int k) {
    DD c = kInverseFactorial[first + stride * k];
    return alternate && (k & 1) != 0 ? DD{-c.hi, -c.lo} : c;
  };
  DD q = {0.0, 0.0};
  int k = count - 1;
  for (; k >= dd_terms; --k) {
    if constexpr (Fma) {
      q.hi = std::fma(q.hi, z.hi, coefficient(k).hi);
    } else {
      q.hi = q.hi * z.hi + coefficient(k).hi;
    }
  }
  for (; k >= 0; --k) {
    q = dd_add(dd_mul<Fma>(q, z), coefficient(k));
  }
  return q;
}

// Whether every real within about bound x |y| of y rounds to the same double, which is then y's
// own rounding, y.hi + y.lo. The two ends are computed with one rounding each (2^-106 |y| at
// most) and from |y.hi| rather than |y|: run_proofs.py (decides) holds every bound passed in
// against the proven error with those taken off.
TONEGEN_ALWAYS_INLINE bool decided(DD y, double bound) {
  double e = std::fabs(y.hi) * bound;
  return y.hi + (y.lo - e) == y.hi + (y.lo + e);
}

inline constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi/2 = kHalfPi1 + ... + kHalfPi4 + d, |d| < 2^-217; each part is the double nearest to what
// the ones before leave (PiParts in proofs/run_proofs.py).
inline constexpr double kHalfPi1 = 0x1.921fb54442d18p+0;
inline constexpr double kHalfPi2 = 0x1.1a62633145c07p-54;
inline constexpr double kHalfPi3 = -0x1.f1976b7ed8fbcp-110;
inline constexpr double kHalfPi4 = 0x1.4cf98e804177dp-164;

// hi + t, keeping the rounding error of that sum: lo gains at most u of |hi + t|
// (reduction_scalar.gappa, step by step).
TONEGEN_ALWAYS_INLINE DD accumulate(DD acc, double t) {
  DD s = two_sum(acc.hi, t);
  s.lo += acc.lo;
  return s;
}

// No double |x| <= 2^42 lies closer than this to a non-zero multiple of pi/2 (the least is
// 2^-60.49, from the continued fraction of 2/pi; proofs/run_proofs.py checks it).
inline constexpr double kSmallestReduced = 0x1.6p-61;
// Bound on r's relative error below (proofs/reduction_scalar.gappa, for every |r| from
// kSmallestReduced up; for k = 0, r = x exactly).
inline constexpr double kReductionError = 0x1p-102;

// r = x - k pi/2 for an integer k < 2^43, as a normalised double-double. The products are exact
// (two_prod), x - p1.hi is exact (Sterbenz), a and b hold the next two sums exactly, and what is
// left is summed smallest first, the large b.hi last, so that the lows' roundings stay far below
// r however small it is: within kReductionError of r (proofs/reduction_scalar.gappa).
TONEGEN_ALWAYS_INLINE DD reduce(double x, double k) {
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

// The same for |x| <= kPhaseSineLimit (the phases of an oscillator that wraps), where k is at
// most 5: pi/2 = kPhaseHalfPi1 + kPhaseHalfPi2 + kPhaseHalfPi3 + d, |d| < 2^-159, the first two
// of 50 bits, so that k times each is exact, and so is x - k kPhaseHalfPi1. One two_sum and one
// rounded low: a quarter of reduce's work, within kPhaseReductionError of r
// (proofs/reduction_phase.gappa; for k = 0, r = x exactly).
inline constexpr double kPhaseSineLimit = 8.0;
inline constexpr double kPhaseHalfPi1 = 0x1.921fb54442d18p+0;
inline constexpr double kPhaseHalfPi2 = 0x1.1a62633145c08p-54;
inline constexpr double kPhaseHalfPi3 = -0x1.1f1976b7ed8fcp-106;
inline constexpr double kPhaseReductionError = 0x1p-97;

TONEGEN_ALWAYS_INLINE DD reduce_phase(double x, double k) {
  double s = x - k * kPhaseHalfPi1;
  DD a = two_sum(s, -(k * kPhaseHalfPi2));
  return fast_two_sum(a.hi, a.lo - k * kPhaseHalfPi3);
}

// How far r can reach: k comes from x 2/pi rounded to a double, which for |x| near 2^42 can be
// off by 2^-12 (half its spacing) plus the constant's error times 2^42 (2^-12.56), so
// |r| <= pi/4 (1 + 2^-10.23) (x = 0x1.fd164dbb59519p+41 comes within 2^-10.24 of it);
// reduction_scalar.gappa proves |r| <= kQuadrantReach (reduction_phase.gappa too), the reach
// every series proof takes. sin(r) = r T(z) and cos(r) = C(z), z = r^2, by Taylor series cut
// after these many terms.
inline constexpr double kQuadrantReach = 0.7861;
inline constexpr int kSineTerms = 15;
inline constexpr int kCosineTerms = 16;
// Quick evaluation: the first four terms in double-double, the rest in doubles; accurate: every
// term in double-double. Proven bounds (proofs/), relative: the series' own error, truncation and
// coefficients (series_truncation.sollya); the quick and accurate evaluations' errors against the
// series taken exactly, the reduction's included (scripts that proofs/run_proofs.py writes from
// these term counts, SineQuickEven and SineQuickOdd; the accurate step by a chain of
// series_step.gappa); run_proofs.py holds each rounding test's bound against them.
inline constexpr double kSeriesError = 0x1p-111;
inline constexpr double kQuickEvaluationError = 0x1p-71;
inline constexpr double kAccurateEvaluationError = 0x1.3p-101;
inline constexpr int kQuickDoubleDoubleTerms = 4;
inline constexpr double kQuickBound = 0x1p-67;
// The block code's quick step (the LFO's modulator on a growing phase) takes one double-double
// term less and fewer terms, whose own error stays far below its bound (kBlockSeriesError,
// series_truncation.sollya): a quarter less work for about one argument in 1,100 more left
// undecided (SineBlockQuickEven and SineBlockQuickOdd in proofs/run_proofs.py, with and without
// fused multiply-adds).
inline constexpr int kBlockQuickDoubleDoubleTerms = 3;
inline constexpr int kBlockSineTerms = 10;
inline constexpr int kBlockCosineTerms = 11;
inline constexpr double kBlockSeriesError = 0x1p-72;
inline constexpr double kBlockQuickEvaluationError = 0x1.1p-64;
inline constexpr double kBlockQuickBound = 0x1.2p-64;
inline constexpr double kAccurateBound = 0x1p-97;

// cos r for an odd quadrant, sin r for an even one (the sign of quadrants 2 and 3 left out).
template <bool Fma = false>
TONEGEN_ALWAYS_INLINE DD series_of_parity(DD r, bool odd, int dd_terms, int sine_terms = kSineTerms,
                                          int cosine_terms = kCosineTerms) {
  DD z = dd_mul<Fma>(r, r);
  return odd ? series<Fma>(z, 0, 2, true, cosine_terms, dd_terms)
             : dd_mul<Fma>(r, series<Fma>(z, 1, 2, true, sine_terms, dd_terms));
}

TONEGEN_ALWAYS_INLINE DD sine_of_quadrant(DD r, int quadrant, int dd_terms) {
  DD y = series_of_parity(r, (quadrant & 1) != 0, dd_terms);
  return quadrant >= 2 ? DD{-y.hi, -y.lo} : y;
}

// Below kTinySine, x - sin x < |x|^3 / 6 is under half the spacing of doubles below |x|: sin x
// rounds to x itself. Next to an odd multiple of pi/2, |r| below kNextToOdd leaves
// 1 - cos r < r^2 / 2 under half the spacing of doubles below 1: the sine rounds to +-1
// (Shortcuts in proofs/run_proofs.py).
inline constexpr double kTinySine = 0x1p-26;
inline constexpr double kNextToOdd = 0x1p-27;

// x reduced to r = x - k pi/2 (k the multiple nearest to x, or next to it when x 2/pi rounds
// across a half) with k's quadrant, and the two arguments whose sine is known without a series.
struct Reduced {
  DD r;
  uint64_t quadrant;  // k modulo 4
  uint64_t known;     // 1 where `value` is already the rounded sine
  double value;
};

// The one reduction of the correctly rounded sine, for |x| <= 2^42 (NaN stays NaN), or with
// Phase for |x| <= kPhaseSineLimit: correct_sin and the block code both start here, so both take
// the same shortcuts. Branch-free.
template <bool Phase = false>
TONEGEN_ALWAYS_INLINE Reduced reduce_to_quadrant(double x) {
  // k modulo 4 sits in the low bits of the shifted value (the shift is a multiple of 4).
  double shifted = x * kTwoOverPi + kRoundingShift;
  uint64_t quadrant = std::bit_cast<uint64_t>(shifted) & 3;
  double k = shifted - kRoundingShift;
  DD r = Phase ? reduce_phase(x, k) : reduce(x, k);
  // The shortcuts (kTinySine: zeros keep their sign; kNextToOdd, where full-scale tones keep
  // landing).
  uint64_t tiny = std::fabs(x) < kTinySine ? 1 : 0;
  uint64_t next_to_odd = (quadrant & 1) & (std::fabs(r.hi) < kNextToOdd ? 1 : 0);
  // +-1 by the sign bit: quadrant 3 is negative.
  double one = std::bit_cast<double>(std::bit_cast<uint64_t>(1.0) | (quadrant >> 1) << 63);
  return {r, quadrant, tiny | next_to_odd, tiny != 0 ? x : one};
}

}  // namespace sine_steps

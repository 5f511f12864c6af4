#pragma once

#include <cfloat>
#include <cmath>

// Unevaluated sums hi + lo of two doubles (about 106 bits), built from double +, - and x alone:
// exact products come from Veltkamp/Dekker splitting, never from a fused multiply-add, so every
// IEEE-754 machine computes the same bits. u stands for 2^-53 in the bounds below.

// Every result of ours is defined by double operations rounded one at a time; wider intermediates
// (x87) would change them and break the exact transformations here and in the callers.
static_assert(FLT_EVAL_METHOD == 0, "doubles must be evaluated in double precision");
// Fast floating point reorders and contracts operations, which moves results.
#if defined(__FAST_MATH__)
#error "tonegen needs IEEE floating point: build without -ffast-math (or -Ofast)"
#endif

// Forced inline where the compiler's size limits would stop it: a loop over these turns into
// vector code only when nothing in it is a call.
#if defined(__GNUC__)
#define TONEGEN_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TONEGEN_ALWAYS_INLINE inline
#endif

struct DD {
  double hi;
  double lo;
};

// Added and subtracted again, it rounds a double below 2^51 to the nearest integer: int<ne> in
// the reductions' Gappa scripts, which proofs/models_as_code.py holds to the code.
inline constexpr double kRoundingShift = 0x1.8p52;

// a + b = hi + lo exactly, whatever the magnitudes (two_sum_exact, proofs/exact_transformations.v).
TONEGEN_ALWAYS_INLINE DD two_sum(double a, double b) {
  double s = a + b;
  double b_part = s - a;
  double e = (a - (s - b_part)) + (b - b_part);
  return {s, e};
}

// The same, for |a| >= |b| or a = 0 (fast_two_sum_exact).
TONEGEN_ALWAYS_INLINE DD fast_two_sum(double a, double b) {
  double s = a + b;
  return {s, b - (s - a)};
}

// a = hi + lo with 26-bit halves, so that products of halves are exact (two_prod_exact).
TONEGEN_ALWAYS_INLINE DD split(double a) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  double t = kSplitter * a;
  double hi = t - (t - a);
  return {hi, a - hi};
}

// a x b = hi + lo exactly (no overflow or underflow occurs for the values used here), by
// splitting: the same two doubles on every machine, fused multiply-adds or not (two_prod_exact
// and fma_two_prod_exact, proofs/exact_transformations.v).
TONEGEN_ALWAYS_INLINE DD two_prod(double a, double b) {
  double p = a * b;
  DD x = split(a);
  DD y = split(b);
  double e = ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo;
  return {p, e};
}

// Relative error bounds of dd_mul (8u^2: lo takes four roundings, and a.lo x b.lo is dropped) and
// of dd_add (6.25u^2: lo takes two roundings), for normalised operands, proven by
// proofs/dd_mul.gappa and proofs/dd_add.gappa.
inline constexpr double kDdMulError = 0x1p-103;
inline constexpr double kDdAddError = 0x1.9p-104;

// Double-double product: error below kDdMulError of the result. With Fma the cross terms join
// the exact error term by fused multiply-adds, two roundings instead of four (dd_mul.gappa proves
// both within the bound; the results may differ in their last bits).
template <bool Fma = false>
TONEGEN_ALWAYS_INLINE DD dd_mul(DD a, DD b) {
  if constexpr (Fma) {
    double p = a.hi * b.hi;
    double lo = std::fma(a.lo, b.hi, std::fma(a.hi, b.lo, std::fma(a.hi, b.hi, -p)));
    return fast_two_sum(p, lo);
  } else {
    DD p = two_prod(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return fast_two_sum(p.hi, p.lo);
  }
}

// Double-double sum, for operands that do not cancel (|a| <= |b| / 2 wherever it is used, which
// the series' proofs show): error below kDdAddError of the result. Then |a.hi| <= |b.hi|
// (dd_add.gappa), so fast_two_sum gives the exact sum and error that two_sum would, in half the
// operations (fast_two_sum_exact).
TONEGEN_ALWAYS_INLINE DD dd_add(DD a, DD b) {
  DD s = fast_two_sum(b.hi, a.hi);
  s.lo += a.lo + b.lo;
  return fast_two_sum(s.hi, s.lo);
}

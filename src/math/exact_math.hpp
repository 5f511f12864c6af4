#pragma once

#include "math/double_double.hpp"

// Correctly rounded sine and power of ten: the double nearest to the true value, the same bits
// on every IEEE-754 machine. Each is computed in steps of growing precision (a quick and an
// accurate double-double evaluation, then fixed point with more and more words), each with a
// derived error bound; a step's value is returned only when every real within that bound of it
// rounds to the same double. Nothing is returned that has not passed that test.

// Which step decided a result.
enum class Step { kQuick, kAccurate, kLast };

struct Rounded {
  double value;
  Step step;
};

// Largest |x| for which the sine is defined here: the argument reduction keeps 2/pi and pi/2 to
// enough bits for multiples of pi/2 up to this. Beyond it, and for infinities, the result is NaN.
inline constexpr double kExactSineLimit = 0x1p42;

// sin(x) rounded to nearest, with the step that decided it.
Rounded rounded_sine(double x);

// Whether the rounding test of rounded_sine's double-double step (kQuick or kAccurate) decides
// its value y: the test with the bound proven for that step (proofs/models_as_code.py holds it
// to its model with values of y on either side of the bound).
bool step_decides(DD y, Step step);
// The same for rounded_pow10's double-double step.
bool pow10_decides(DD y);

inline double correct_sin(double x) {
  return rounded_sine(x).value;
}

// Largest |x| for which the power of ten is defined here (levels of +-440 dB); beyond it, NaN.
// 10^23 is the first power of ten that lies exactly halfway between two doubles; Pow10Series in
// proofs/run_proofs.py checks that 10^22 is a double.
inline constexpr double kExactPow10Limit = 22.0;

// 10^x rounded to nearest, with the step that decided it.
Rounded rounded_pow10(double x);

inline double correct_pow10(double x) {
  return rounded_pow10(x).value;
}

// The power of ten's argument reduction, as rounded_pow10 runs it (and the proofs' probe):
// x ln 10 = k ln 2 + r, r within kPow10ReductionError (reduction_pow10.gappa), for
// |x| <= kExactPow10Limit.
DD reduce_pow10(double x, double& k);

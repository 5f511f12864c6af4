#pragma once

// Correctly rounded sine and power of ten: the double nearest to the true value. Every step is
// a double +, -, x, / or comparison (exact products come from splitting, never from a fused
// multiply-add), so any IEEE-754 machine computes the same bits as any other.

// How a sine was decided: by the quick evaluation, by the accurate one, or by neither (the
// accurate value's rounding is then taken as it is; no argument the tool makes is expected here).
enum class SinePath { kQuick, kAccurate, kUndecided };

struct RoundedSine {
  double value;
  SinePath path;
};

// Added and subtracted again, it rounds a double below 2^51 to the nearest integer.
inline constexpr double kRoundingShift = 0x1.8p52;

// Largest |x| for which the sine is correctly rounded: the argument reduction keeps enough of
// pi/2 for multiples up to this. Larger arguments still give a finite value near sin(x).
inline constexpr double kExactSineLimit = 0x1p42;

// sin(x) rounded to nearest, with the path that decided it.
RoundedSine rounded_sine(double x);

inline double correct_sin(double x) {
  return rounded_sine(x).value;
}

// 10^x rounded to nearest, for x in [-2.25, 0] (levels from -45 to 0 dB); elsewhere close to it.
double correct_pow10(double x);

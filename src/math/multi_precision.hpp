#pragma once

// The last step of the correctly rounded functions: the same value again in fixed point with as
// many 32-bit words after the binary point as the caller asks for, with an error bound derived
// for that precision. Only 32 x 32 -> 64-bit integer products and shifts are used, so every
// machine and compiler gets the same answer.

// What one evaluation decided: when every real within its error bound rounds to the same double,
// that double is the correctly rounded result; otherwise more words are needed.
struct Decision {
  bool decided;
  double value;
};

// The most words after the binary point that the constants below are kept to.
inline constexpr int kMaxFractionWords = 32;

// sin(x) for 2^-26 <= |x| <= 2^42, with `words` (1 .. kMaxFractionWords) words of fraction.
Decision fixed_point_sine(double x, int words);

// 10^x for 0 < |x| <= 22, the same way.
Decision fixed_point_pow10(double x, int words);

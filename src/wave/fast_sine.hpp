#pragma once

#include <cstdint>

#include "math/double_double.hpp"  // kRoundingShift

// A sine for whole blocks of arguments, written so the compiler turns it into vector code.
// It is not the correctly rounded sine: its results may differ from it in the last bits, so the
// caller must only use it where such a difference cannot change what it computes.

// Largest argument magnitude for which the error bound below holds: the phases of the longest
// file whose frequency exceeds the sample rate (about 3 x 10^11), times the LFO's 2 pi.
inline constexpr double kFastSineLimit = 0x1p42;
// The same for fast_sine_narrow: enough for phases that wrap, and the LFO products of them.
inline constexpr double kNarrowSineLimit = 65536.0;

// Bounds on |result - sin(x)| within each function's limit, in units of u = 2^-53, derived:
// - Reduction, x = q pi + r: q comes from x/pi rounded, so |r| <= pi/2 + 2^-35 (narrow) or
//   pi/2 (1 + 2^-10) (wide). The products of q with the leading parts of pi are exact and so are
//   the first differences; the last two subtractions round, so r is within u |r| < 1.6u of
//   x - q pi (the parts of pi left out add under 2^-80), and the sine passes that on at most
//   unchanged.
// - Evaluation of s = r + t, t = (r r2) P(r2): the last addition rounds by u/2 (|s| <= 1). |t|
//   < 0.573, and the roundings of r2, r r2 and the product cost 1.5u of it. P alternates with
//   |P| >= 0.146 and each Horner step adds to a term at most 1/7 of the sum, so its roundings
//   (0.7u), its coefficients' (each the nearest double: 0.65u) and r2's (0.1u) stay within 2u of
//   P. So 0.573 x 3.5u + 0.5u < 2.6u.
// - Truncation: the first Taylor term left out, R^(D+2) / (D+2)! for degree D: 0.012u for
//   degree 21, 6.03 x 10^6 u for degree 13 (about 2^-30.5).
// bench/sine_accuracy measures them: worst seen 2.10u (degree 21) and 5.97 x 10^6 u (degree 13).
inline constexpr double kFastSineErrorUnits = 4.3;  // 1.6 + 2.6 + 0.012, rounded up
inline constexpr double kShortSineErrorUnits = 6.03e6 + 4.3;

// out[i] = sin(x[i]) for i < count, degree 21. Beyond the limit the result may be anything,
// infinities included: callers mark such arguments and do not use it.
void fast_sine(const double* x, double* out, int count);
// The same with a cheaper argument reduction, for |x| <= kNarrowSineLimit.
void fast_sine_narrow(const double* x, double* out, int count);
// The same with the polynomial of degree 13: enough where samples have 8 or 16 bits.
void fast_sine_short(const double* x, double* out, int count);

// Most arguments rounded_sines takes at once.
inline constexpr int kMaxRoundedSines = 1024;

// out[i] = correct_sin(x[i]) for |x[i]| <= 2^42 wherever undecided[i] is 0: the correctly
// rounded sine's quick step run on a whole block of at most kMaxRoundedSines. Where it cannot
// decide, undecided[i] is 1 and out[i] is only close to the sine.
void rounded_sines(const double* x, double* out, uint64_t* undecided, int count);

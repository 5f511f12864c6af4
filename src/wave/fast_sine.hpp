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

// Bound on |fast_sine(x) - sin(x)| for |x| <= kFastSineLimit, and on fast_sine_narrow's error
// within its limit, in units of 2^-53. The worst seen over dense sweeps of the arguments the tool
// produces (bench/sine_accuracy) is about 2.2.
inline constexpr double kFastSineErrorUnits = 4.0;

// out[i] = sin(x[i]) for i < count. Arguments beyond the limit give some finite value.
void fast_sine(const double* x, double* out, int count);
// The same with a cheaper argument reduction, for |x| <= kNarrowSineLimit.
void fast_sine_narrow(const double* x, double* out, int count);

// Most arguments rounded_sines takes at once.
inline constexpr int kMaxRoundedSines = 1024;

// out[i] = correct_sin(x[i]) for |x[i]| <= 2^42 wherever undecided[i] is 0: the correctly
// rounded sine's quick step run on a whole block of at most kMaxRoundedSines. Where it cannot
// decide, undecided[i] is 1 and out[i] is only close to the sine.
void rounded_sines(const double* x, double* out, uint64_t* undecided, int count);

#pragma once

#include <cstdint>

#include "math/double_double.hpp"  // kRoundingShift

// A sine for whole blocks of arguments, written so the compiler turns it into vector code.
// It is not the correctly rounded sine: its results may differ from it in the last bits (and
// from one processor to another: fused multiply-adds where there are some), so the caller must
// only use it where such a difference, within the bounds below, cannot change what it computes.

// Largest argument magnitude for which the error bound below holds: the phases of the longest
// file whose frequency exceeds the sample rate (about 3 x 10^11), times the LFO's 2 pi
// (reduction_wide.gappa splits up to it).
inline constexpr double kFastSineLimit = 0x1p42;
// The same for fast_sine_narrow (reduction_narrow.gappa): enough for phases that wrap, and the
// LFO products of them.
inline constexpr double kNarrowSineLimit = 65536.0;
// Every block reduction leaves |r| <= kBlockReach (reduction_narrow.gappa, reduction_wide.gappa,
// reduction_single.gappa), within the polynomials' interval pi/2 (1 + 2^-10) (block_sines.sollya)
// and the reach every evaluation proof takes.
inline constexpr double kBlockReach = 1.5723;

// Bounds on |result - sin(x)| within each function's limit, each proven by a script in proofs/
// (tests/CMakeLists.txt runs them; lowering a bound below its proof fails them):
// - the reduction x = q pi + r, |r - (x - q pi)| (reduction_narrow.gappa, reduction_wide.gappa);
//   both leave |r| <= 1.5723, inside the polynomials' interval;
// - the evaluation's roundings, against the same polynomial taken exactly, with fused
//   multiply-adds (where the processor has them) or without (evaluation_*.gappa);
// - the polynomial's own error, k*ApproximationError (block_sines.sollya).
// The sine passes the reduction's error on at most unchanged, so each total is the sum of its
// three, which run_proofs.py checks.
inline constexpr double kNarrowReductionError = 0x1.01p-52;
inline constexpr double kWideReductionError = 0x1.02p-52;
inline constexpr double kShortEvaluationError = 0x1.8p-52;
inline constexpr double kLongEvaluationError = 0x1.8p-52;
inline constexpr double kWideSineError = 0x1.84p-51;    // fast_sine
inline constexpr double kNarrowSineError = 0x1.84p-51;  // fast_sine_narrow
inline constexpr double kShortSineError = 0x1.41p-28;   // fast_sine_short

// Where the block functions run: plain IEEE operations, or fused multiply-adds where the
// processor has them, with 256-bit or 512-bit vectors. Every unit gives results within the same
// bounds (each form has its Gappa proof); rounded_sines gives the very same bits on each
// (RoundedSines.BitForBitWithCorrectSin). By default the best the processor has.
enum class VectorUnit { kPlain, kFma, kAvx512 };
// Whether the processor can run `unit` (and this build has it); if so, the block functions use it
// from now on: tests try each in turn.
bool use_vector_unit(VectorUnit unit);

// out[i] = sin(x[i]) for i < count, degree 15. Beyond the limit the result may be anything,
// infinities included: callers mark such arguments and do not use it.
void fast_sine(const double* x, double* out, int count);
// The same with a cheaper argument reduction, for |x| <= kNarrowSineLimit.
void fast_sine_narrow(const double* x, double* out, int count);
// The same with the polynomial of degree 9: enough where samples have 8 or 16 bits.
void fast_sine_short(const double* x, double* out, int count);

// The sine in single precision, for 8-bit samples of phases that wrap: twice the lanes of the
// double sines, and its error, scaled by at most 127, still moves few samples near an integer.
// The argument is rounded to single precision and reduced there, hence the wider bound
// (reduction_single.gappa, evaluation_single.gappa, block_sines.sollya), and wider still over
// the LFO's arguments, which reach +-4 pi^2.
inline constexpr double kSingleSineLimit = 8.0;
inline constexpr double kSingleLfoLimit = 40.0;
inline constexpr double kSingleReductionError = 0x1.41p-22;
inline constexpr double kSingleLfoReductionError = 0x1.09p-19;
inline constexpr double kSingleEvaluationError = 0x1.8p-23;
inline constexpr double kSingleSineError = 0x1.04p-21;
inline constexpr double kSingleLfoSineError = 0x1.22p-19;

// Marks a sample that fast_sine_single_samples leaves to the caller.
inline constexpr int32_t kDoubtfulSample = INT32_MIN;

// For phases 0 <= x[i] <= kSingleSineLimit only (others are not even reduced), and a gain of at
// most 127: v = s x RN32(gain), s the single-precision sine of x[i] (v rounded to single
// precision, or exact where the unit fuses multiply-adds), and samples[i] = RN32(v + margin)
// truncated where RN32(v - margin) truncates to the same, else kDoubtfulSample. Returns whether
// any sample is kDoubtfulSample. Sound by sample_check_single.gappa and check_soundness.v.
// With modulator_sine, s is the sine of lfo_product(x[i], modulator_sine[i], range) instead,
// for phases 0 <= x[i] <= 2 pi and ranges up to 2 pi; arguments beyond kSingleLfoLimit give
// kDoubtfulSample.
bool fast_sine_single_samples(const double* x, const double* modulator_sine, double range,
                              int count, double gain, float margin, int32_t* samples);

// The block sines' argument reductions alone, as the sines run them, for the proofs' probe:
// x = q pi + r (the narrow one, or the wide one; the single-precision one of x rounded to single
// precision, with q rounded once, fused, or twice).
struct FastReduction {
  double r;
  double q;
};
FastReduction fast_sine_reduction(bool wide, double x);
FastReduction single_sine_reduction(bool fma, double x);

// Most arguments rounded_sines takes at once.
inline constexpr int kMaxRoundedSines = 1024;

// The frames of a block as rounded_sines reduces them.
struct Frames {
  double r_hi[kMaxRoundedSines];
  double r_lo[kMaxRoundedSines];
  uint64_t quadrant[kMaxRoundedSines];
  uint64_t known[kMaxRoundedSines];  // the sine needs no series: it is known_value
  double known_value[kMaxRoundedSines];
  uint64_t beyond[kMaxRoundedSines];  // beyond the reduction's reach (or NaN): undecided
};

// Room for rounded_sines' work on one block, which the caller keeps: nothing in it lives from
// one call to the next.
struct QuickSines {
  Frames reduced;
  // The lists: the sine list from the front, the cosine list from the back, with each frame's
  // place in the block.
  Frames sorted;
  int index[kMaxRoundedSines];
  double value[kMaxRoundedSines];
  uint64_t undecided[kMaxRoundedSines];
};

// out[i] = correct_sin(x[i]) wherever undecided[i] is 0: the correctly rounded sine's quick step
// (a term shorter, with the short reduction of a phase) run on a whole block of at most
// kMaxRoundedSines. Where it cannot decide, and for |x[i]| beyond 8 (a wrapping phase stays
// below 2 pi), undecided[i] is 1 and out[i] is only close to the sine, or anything beyond 8.
void rounded_sines(const double* x, double* out, uint64_t* undecided, int count, QuickSines& room);

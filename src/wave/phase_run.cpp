#include "wave/phase_run.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#include "math/double_double.hpp"
#include "wave/phase_lfo.hpp"

namespace {

constexpr int kChunk = 8;

// The bottom of x's binade, 2^e for x in [2^e, 2^(e+1)).
double binade_of(double x) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & 0x7ff0000000000000);
}

// The fixed step of a run from `phase` (in [low, 2 low), normal) and the bound every later phase
// of the run stays below, or a step of -1 where no run starts. Two kinds of run:
// - no wrap: phase + increment stays in the binade and below TWO_PI, so each frame adds the
//   increment rounded to the binade's spacing s;
// - a wrap every frame (an increment above TWO_PI, the phase growing): phase + increment stays
//   in the binade and is at least TWO_PI, and so is what is left after subtracting TWO_PI, so
//   each frame adds the increment rounded to s and takes away TWO_PI rounded to s.
// A rounding exactly halfway between multiples of s follows the phase's last bit: no run there.
struct Run {
  double step;
  double bound;
};

Run run_from(double phase, double increment, double low) {
  const double top = 2.0 * low;
  const double half_spacing = low * 0x1p-53;
  DD sum = two_sum(phase, increment);  // sum.hi is the rounded sum, sum.lo its exact error
  if (!(sum.hi < top) || std::fabs(sum.lo) == half_spacing) {
    return {-1.0, 0.0};
  }
  if (sum.hi < TWO_PI) {
    return {sum.hi - phase, top < TWO_PI ? top : TWO_PI};  // exact: both lie in [low, 2 low)
  }
  DD wrapped = two_sum(sum.hi, -TWO_PI);
  if (!(wrapped.hi >= phase) || std::fabs(wrapped.lo) == half_spacing) {
    return {-1.0, 0.0};
  }
  // The next phase must leave sum.hi - wrapped.hi (TWO_PI rounded to s) for the sum to stay
  // below 2 low; all of it on the grid of s, so exact.
  return {wrapped.hi - phase, top - (sum.hi - wrapped.hi)};
}

}  // namespace

double fill_phases(double phase, double increment, double* out, int count) {
  // Runs pay off only in binades that hold many frames: below this the phase goes serially.
  const double run_start = 16.0 * increment;
  const bool runs = increment > 0.0;
  int i = 0;
  while (i < count) {
    if (!runs || !(phase >= run_start && phase >= 0x1p-1022 && phase < 0x1p1023)) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      continue;
    }
    const double low = binade_of(phase);
    const Run run = run_from(phase, increment, low);
    if (run.step >= 0.0) {
      // p + 8 step < bound is decided exactly: below 2^(e+1) the sum is a multiple of s and so
      // a double; above, it rounds to at least 2^(e+1) >= bound.
      while (count - i >= kChunk && phase + kChunk * run.step < run.bound) {
        for (int j = 0; j < kChunk; ++j) {
          out[i + j] = phase + j * run.step;
        }
        phase += kChunk * run.step;
        i += kChunk;
      }
    }
    // The rest of the binade one frame at a time: fewer than eight frames, or all of it where
    // no run starts.
    while (i < count) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      if (!(phase >= low && phase < 2.0 * low)) {
        break;
      }
    }
  }
  return phase;
}

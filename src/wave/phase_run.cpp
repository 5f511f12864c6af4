#include "wave/phase_run.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#include "math/double_double.hpp"
#include "wave/phase_lfo.hpp"

namespace {

constexpr int kChunk = 8;

}  // namespace

double fill_phases(double phase, double increment, double* out, int count) {
  // Runs pay off only in binades that hold many frames: below this the phase goes serially.
  const double run_start = 16.0 * increment;
  const bool runs = increment > 0.0 && increment < TWO_PI;
  int i = 0;
  while (i < count) {
    if (!runs || !(phase >= run_start && phase >= 0x1p-1022 && phase < TWO_PI)) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      continue;
    }
    const double low = std::bit_cast<double>(std::bit_cast<uint64_t>(phase) & 0x7ff0000000000000);
    const double bound = 2.0 * low < TWO_PI ? 2.0 * low : TWO_PI;
    DD next = two_sum(phase, increment);  // next.hi is the rounded sum, next.lo its exact error
    if (next.hi < bound && std::fabs(next.lo) != low * 0x1p-53) {
      const double step = next.hi - phase;  // exact: both lie in [low, 2 low)
      // p + 8 step < bound is decided exactly: below 2^(e+1) the sum is a multiple of u and so a
      // double; above, it rounds to at least 2^(e+1) >= bound.
      while (count - i >= kChunk && phase + kChunk * step < bound) {
        for (int j = 0; j < kChunk; ++j) {
          out[i + j] = phase + j * step;
        }
        phase += kChunk * step;
        i += kChunk;
      }
    }
    // The rest of the binade one frame at a time: fewer than eight frames, or all of it where
    // no run starts.
    while (i < count) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      if (!(phase >= low && phase < bound)) {
        break;
      }
    }
  }
  return phase;
}

#include "wave/phase_run.hpp"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>

#include "math/double_double.hpp"
#include "wave/phase_lfo.hpp"

namespace {

// What a binade holds for one increment: the step the recurrence adds there, and how many frames
// a run from the binade's bottom holds (a run entered from below starts within a step of it).
// Found on first use and kept, two increments per binade (the carrier's and the modulator's).
struct Binade {
  double increment = -1.0;  // the increment this entry is for; -1 for none yet
  double step = 0.0;
  int longest = 0;  // 0: no runs here (the next phase leaves the binade, or the step is halfway)
};

Binade g_binades[2048][2];
constexpr int kChunk = 8;
int g_last_replaced[2048];

const Binade& binade_of(uint64_t exponent, double low, double bound, double increment) {
  Binade* ways = g_binades[exponent];
  for (int w = 0; w < 2; ++w) {
    if (ways[w].increment == increment) {
      return ways[w];
    }
  }
  int w = g_last_replaced[exponent] ^= 1;
  Binade& b = ways[w];
  b = Binade{increment, 0.0, 0};
  DD next = two_sum(low, increment);  // next.hi is the rounded sum, next.lo its exact error
  // Halfway between two spacings (low x 2^-52), the rounding follows the phase's last bit.
  if (next.hi < bound && std::fabs(next.lo) != low * 0x1p-53) {
    b.step = next.hi - low;  // exact: both lie in [low, 2 low)
    double guess = std::ceil((bound - low) / b.step);
    int n = guess < INT_MAX / 2 ? static_cast<int>(guess) : INT_MAX / 2;
    while (n > 1 && !(low + (n - 1) * b.step < bound)) {
      --n;
    }
    while (n < INT_MAX / 2 && low + n * b.step < bound) {
      ++n;
    }
    b.longest = n;
  }
  return b;
}

}  // namespace

double fill_phases(double phase, double increment, double* out, int count) {
  // Increments of a full turn or more make the phase grow past TWO_PI: no runs there.
  const bool runs = increment > 0.0 && increment < TWO_PI;
  int i = 0;
  while (i < count) {
    if (!runs || !(phase >= 0x1p-1022 && phase < TWO_PI)) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      continue;
    }
    const uint64_t exponent = std::bit_cast<uint64_t>(phase) >> 52;
    const double low = std::bit_cast<double>(exponent << 52);
    const double bound = 2.0 * low < TWO_PI ? 2.0 * low : TWO_PI;
    // Where the next phase leaves the binade already (a carrier near the rate, the small phases
    // after a wrap) the step alone serves, and costs least.
    if (phase + increment >= bound) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      continue;
    }
    const Binade& b = binade_of(exponent, low, bound, increment);
    if (b.longest == 0) {
      out[i++] = phase;
      phase = advance_phase(phase, increment);
      continue;
    }
    // The frames of the run: every j with phase + j step < bound, each sum exact below bound
    // and rounding to bound or more above it. From near the bottom the longest run less one or
    // two; from higher up (a block's first frame) a quotient set right the same way.
    const double step = b.step;
    const int left = count - i;
    int n = b.longest < left ? b.longest : left;
    if (phase - low > 2.0 * step) {
      double guess = std::ceil((bound - phase) / step);
      n = guess < n ? static_cast<int>(guess) : n;
      while (n < left && phase + n * step < bound) {
        ++n;
      }
    }
    while (n > 1 && !(phase + (n - 1) * step < bound)) {
      --n;
    }
    // Eight at a time, the last eight reaching past the run (the caller leaves room): the next
    // run writes over them.
    for (int j = 0; j < n; j += kChunk) {
      for (int k = 0; k < kChunk; ++k) {
        out[i + j + k] = phase + (j + k) * step;
      }
    }
    i += n;
    // The step out of the run is the recurrence's own: a crossing, a wrap, or (at the end of the
    // block) one more step inside the binade.
    phase = advance_phase(phase + (n - 1) * step, increment);
  }
  return phase;
}

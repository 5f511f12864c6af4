#include "wave/phase_run.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "wave/phase_lfo.hpp"

namespace {

// The runs must give the serial recurrence bit for bit: for every kind of increment, from any
// phase (a large one too, where a growing phase runs and a wrapping one falls), and with the
// block cut anywhere (in the middle of a run of eight too).
TEST(PhaseRuns, SameAsTheSerialRecurrence) {
  // In [4, 8) doubles are multiples of 2^-50: this step lies halfway between two of them, so
  // the rounding there follows the phase's last bit and no run may start.
  const double halfway = std::ldexp(std::round(std::ldexp(0.05, 50)), -50) + 0x1p-51;
  const double increments[] = {
      440.0 * (TWO_PI / 48000),    // the default tone
      12000.0 * (TWO_PI / 48000),  // a quarter of the rate: short runs
      1.0 * (TWO_PI / 96000),      // long runs
      halfway,
      48000.0 * (TWO_PI / 1000),  // beyond a full turn: the phase grows
      TWO_PI + 0.5,               // grows slowly: the wrap is most of each step
      TWO_PI + 0.5 + 0x1p-47,     // in [64, 128) TWO_PI lies halfway between two phases
      TWO_PI,                     // the LFO at 1000 Hz and rate 1000
      std::nextafter(TWO_PI, 0.0),
      1e-300,           // below half a spacing of every phase: the phase stays where it is
      0.125 - 0x1p-49,  // a wrap may leave the phase a hair above the increment
      0.125 - 0x1p-56,  // ... and above the increment's binade
      0x1.0000000000001p-3,
  };
  std::mt19937_64 random(7);
  std::vector<double> all(std::begin(increments), std::end(increments));
  for (int k = 0; k < 6; ++k) {  // tones of a few hertz to a few kilohertz
    all.push_back(std::ldexp(1.0 + std::uniform_real_distribution<double>(0, 1)(random),
                             -3 - static_cast<int>(random() % 10)));
  }
  const int cuts[] = {1, 7, 8, 9, 1024};
  for (double increment : all) {
    for (double start : {0.0, 1.5, std::nextafter(TWO_PI, 0.0), 112.0 + 0x1p-46, 1000.0, 3e10}) {
      SCOPED_TRACE(testing::Message()
                   << std::hexfloat << "increment " << increment << ", from " << start);
      double serial = start;
      double runs = start;
      std::vector<double> out(1024 + kPhaseSlack);
      const PhaseRuns table = phase_runs(increment);
      for (int frame = 0; frame < 300000;) {
        // The first block whole, so that a run can start at the start phase itself.
        int count = frame == 0 ? 1024 : cuts[random() % 5];
        runs = fill_phases(table, runs, out.data(), count);
        for (int i = 0; i < count; ++i, ++frame) {
          ASSERT_EQ(std::bit_cast<uint64_t>(out[i]), std::bit_cast<uint64_t>(serial))
              << "frame " << frame;
          serial = advance_phase(serial, increment);
        }
        ASSERT_EQ(std::bit_cast<uint64_t>(runs), std::bit_cast<uint64_t>(serial));
      }
    }
  }
}

}  // namespace

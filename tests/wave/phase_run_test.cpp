#include "wave/phase_run.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "wave/phase_lfo.hpp"

namespace {

// The phases of `count`-frame blocks from `start` against the serial recurrence, bit for bit,
// with the block sizes drawn from `cuts`. Everything `out` holds before a block is a marker, so a
// frame left unwritten shows; past count + kPhaseSlack a guard must stay untouched.
void expect_serial(double increment, double start, int frames, const std::vector<int>& cuts,
                   std::mt19937_64& random) {
  SCOPED_TRACE(testing::Message() << std::hexfloat << "increment " << increment << ", from "
                                  << start);
  PhaseRuns table = phase_runs(increment);
  TurnCursor cursor;
  const double marker = -0.0;
  const int room = 1025 + kPhaseSlack;
  std::vector<double> out(room + 1);
  double serial = start;
  double runs = start;
  double earlier = start;
  for (int frame = 0; frame < frames;) {
    // The first block whole, so that a run can start at the start phase itself.
    int count = frame == 0 ? 1024 : cuts[random() % cuts.size()];
    // Now and then a block goes back to a phase seen before: where the last block stopped
    // must then count for nothing.
    if (random() % 16 == 0) {
      std::swap(earlier, serial);
      runs = serial;
    } else if (random() % 16 == 0) {
      earlier = serial;
    }
    std::fill(out.begin(), out.end(), marker);
    runs = fill_phases(table, cursor, runs, out.data(), count);
    ASSERT_EQ(std::bit_cast<uint64_t>(out[room]), std::bit_cast<uint64_t>(marker));
    for (int i = 0; i < count; ++i, ++frame) {
      ASSERT_EQ(std::bit_cast<uint64_t>(out[i]), std::bit_cast<uint64_t>(serial))
          << "frame " << frame << " of a block of " << count;
      serial = advance_phase(serial, increment);
    }
    ASSERT_EQ(std::bit_cast<uint64_t>(runs), std::bit_cast<uint64_t>(serial));
  }
}

const std::vector<int> kCuts = {0,  1,  2,  3,  4,  5,  6,  7,   8,    9,    10,
                                11, 12, 13, 14, 15, 16, 17, 740, 1023, 1024, 1025};

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
      17500.0 * (TWO_PI / 44100),  // in [2, 4): a frame or two a binade, no table
      20000.0 * (TWO_PI / 44100),
      40000.0 * (TWO_PI / 48000),  // above pi: a wrap nearly every frame
      47000.0 * (TWO_PI / 48000),  // the most pieces of turns
      15000.0 * (TWO_PI / 48000),  // turns in four classes of phase
      1000.0 * (TWO_PI / 48000),   // one turn a group
      TWO_PI / kMaxGroupFrames,    // a frame too many a turn for a group
      47900.0 * (TWO_PI / 48000),  // falls too slowly for turns that end where it rises
      1.0 * (TWO_PI / 96000),      // long runs
      halfway,
      48000.0 * (TWO_PI / 1000),    // beyond a full turn: the phase grows
      TWO_PI + 0.5,                 // grows slowly: the wrap is most of each step
      TWO_PI + 0.5 + 0x1p-47,       // in [64, 128) TWO_PI lies halfway between two phases
      TWO_PI,                       // the LFO at 1000 Hz and rate 1000
      std::nextafter(TWO_PI, 0.0),  // falls by 2^-50 a frame, or not at all once settled
      TWO_PI - 0x1p-49,
      TWO_PI - 0x1.8p-49,
      1e-300,  // below half a spacing of every phase: the phase stays where it is
      0.0,     // -mfrq 1e-320: no increment at all
      std::numeric_limits<double>::denorm_min(),
      0x1p-40,  // tiny increments: binades of 2^40 frames, below the table's range
      0x1.8p-30,
      0x1p-24 - 0x1p-77,  // the table's edge
      0x1p-24,
      0x1.4p-14,
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
  for (double increment : all) {
    for (double start : {0.0, 1.5, std::nextafter(TWO_PI, 0.0), 112.0 + 0x1p-46, 1000.0, 3e10}) {
      expect_serial(increment, start, 300000, kCuts, random);
    }
  }
}

// The increments the tool makes: every 97th integer frequency at the common rates.
TEST(PhaseRuns, SweepOfToneIncrements) {
  std::mt19937_64 random(11);
  for (int rate : {8000, 11025, 16000, 22050, 44100, 48000, 96000}) {
    for (int frequency = 1; frequency <= 48000; frequency += 97) {
      expect_serial(frequency * (TWO_PI / rate), 0.0, 20000, kCuts, random);
    }
  }
}

// Wrapping increments of any bits, ties on the grids of 2^-50 and 2^-49 among them (the low bits
// cleared), from any phase below TWO_PI: where the turns go by groups.
TEST(PhaseRuns, WrappingIncrementsOfAnyBits) {
  std::mt19937_64 random(13);
  std::uniform_real_distribution<double> turn(0.0, TWO_PI);
  for (int k = 0; k < 600; ++k) {
    const double increment = std::bit_cast<double>(
        std::bit_cast<uint64_t>(std::max(turn(random), TWO_PI / kMaxGroupFrames)) &
        (~uint64_t{0} << (k % 4)));
    expect_serial(increment, turn(random), 20000, kCuts, random);
  }
}

// Groups of turns for the tones that need them, runs for a phase that falls too slowly for
// those, and neither where a turn is too long to pay or the phase does not wrap.
TEST(PhaseRuns, TurnsWhereTheyPay) {
  for (int rate : {8000, 44100, 48000, 96000}) {
    for (double frequency : {1000.0, 3150.0, 7900.0, 10000.0, 17500.0, 20000.0, 40000.0}) {
      if (frequency < rate && rate < kMaxGroupFrames * frequency) {
        EXPECT_GT(phase_runs(frequency * (TWO_PI / rate)).turns.classes, 0)
            << frequency << " Hz at " << rate;
      }
    }
  }
  for (double frequency : {47850.0, 47999.0}) {
    EXPECT_TRUE(phase_runs(frequency * (TWO_PI / 48000)).falling) << frequency;
  }
  for (double increment : {0.0, 1e-300, 100.0 * (TWO_PI / 48000), TWO_PI / kMaxGroupFrames,
                           TWO_PI + 0.5, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(phase_runs(increment).turns.classes, 0) << std::hexfloat << increment;
  }
}

// The table covers only increments whose binades it can count, all below TWO_PI / 4 from the
// binade above the increment's; outside that range every turn goes through the general runs.
TEST(PhaseRuns, TableOnlyWhereItHolds) {
  for (double increment : {0.0, 0x1p-25, 0x1p-24 - 0x1p-77, 0.25, 0.5 - 0x1p-54, 2.5, 3.9, 5.0,
                           TWO_PI, 100.0, 0.125 - 0x1p-51}) {
    EXPECT_EQ(phase_runs(increment).count, 0) << std::hexfloat << increment;
  }
  for (double increment : {0x1p-24, 440.0 * (TWO_PI / 48000), 0.25 - 0x1p-40}) {
    EXPECT_GT(phase_runs(increment).count, 0) << std::hexfloat << increment;
  }
}

}  // namespace

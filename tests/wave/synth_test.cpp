#include "wave/synth.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "cli/options.hpp"
#include "math/exact_math.hpp"
#include "wave/phase_lfo.hpp"
#include "wave/reference_tone.hpp"

namespace {

// The data chunk as the writer's block pipeline builds it.
std::vector<unsigned char> pipeline_tone(GeneratorSettings s) {
  ToneParameters tone = tone_parameters(s);
  int32_t frame_bytes = s.channels * s.bytes_per_sample;
  int32_t frames = (s.file_size_bytes + frame_bytes - 1) / frame_bytes;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(frames) * frame_bytes);
  int32_t samples[kBlockFrames];
  auto state = std::make_unique<ToneState>();
  start_tone(tone, *state);
  s.carrier_phase = 0.0;
  s.mod_phase = 0.0;
  for (int32_t done = 0; done < frames;) {
    int count = std::min(kBlockFrames, frames - done);
    synthesize_block(s.carrier_phase, s.mod_phase, tone, *state, samples, count);
    pack_frames(samples, count, s.channels, s.bytes_per_sample, &bytes[done * frame_bytes]);
    done += count;
  }
  return bytes;
}

// Index of the first differing byte, or -1.
long first_difference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  if (a.size() != b.size()) {
    return 0;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

// The fast sines are only allowed where they cannot change a sample: the bytes must equal the
// plain per-frame loop's, most of all at full scale with 32-bit samples, where values near an
// integer are most frequent (about 600,000 frames each); narrower samples, where they are rarer,
// get about 100,000. Each ends with a block of 5 frames.
TEST(Synthesis, ByteIdenticalToThePlainLoop) {
  struct Setting {
    double frequency;
    int32_t sample_rate;
    double mod_frequency;
    double mod_range_percent;
  };
  const Setting settings[] = {
      {440.0, 48000, 0.0, 100.0},
      {12000.0, 48000, 0.0, 100.0},  // quarter rate: sin lands on +-1 and 0 over and over
      {997.0, 44100, 0.0, 100.0},
      {997.3, 48000, 0.0, 100.0},  // no period: 8-bit samples from the single sine
      {3150.7, 44100, 0.0, 100.0},
      {17500.0, 44100, 0.0, 100.0},  // increments in [2, 4): a frame or two a binade
      {20000.0, 44100, 0.0, 100.0},
      {40000.0, 48000, 0.0, 100.0},  // above pi: a wrap nearly every frame
      {47900.0, 48000, 0.0, 100.0},  // the phase falls slowly, in runs
      {48000.0, 1000, 0.0, 100.0},   // increment beyond a full turn: the phase keeps growing
      {440.0, 48000, 2.0, 50.0},
      {440.0, 48000, 100.0, 100.0},  // 8-bit: the modulator's sines kept a period
      {1234.5, 96000, 333.3, 100.0},
      {48000.0, 8000, 7.0, 100.0},
  };
  const double levels[] = {0.0, -3.0};
  for (const Setting& setting : settings) {
    for (int32_t width = 1; width <= 4; ++width) {
      for (double level : levels) {
        GeneratorSettings s;
        set_defaults(s);
        s.channels = 1;
        s.bytes_per_sample = width;
        s.file_size_bytes = (width == 4 ? 585 : 97) * kBlockFrames * width + 5 * width;
        s.sample_rate = setting.sample_rate;
        s.frequency = setting.frequency;
        s.level_db = level;
        s.gain = db_to_gain(level);
        s.mod_frequency = setting.mod_frequency;
        s.mod_range_percent = setting.mod_range_percent;
        s.mod_range_rad = (setting.mod_range_percent * 0.01) * TWO_PI;
        long at = first_difference(pipeline_tone(s), reference_tone(s));
        ASSERT_EQ(at, -1) << setting.frequency << " Hz at " << setting.sample_rate << ", LFO "
                          << setting.mod_frequency << " Hz " << setting.mod_range_percent << "%, "
                          << width << " bytes, " << level << " dB: first difference in "
                          << "frame " << at / width;
      }
    }
  }
}

// Samples kept from the last period must hold only where they are the plain loop's: the second
// period starts off by `shift`, and every sample must still be the one of its own phases. Small
// shifts must leave most of the memo in use (its phases unchanged). With the LFO on an 8-bit tone
// the modulator's sines are what is kept, and the shift is the modulator phase's.
void expect_memo_holds(GeneratorSettings s, double shift) {
  const bool lfo = s.mod_frequency != 0.0;
  ToneParameters tone = tone_parameters(s);
  const int period = lfo ? tone.mod_memo_period : tone.memo_period;
  ASSERT_GT(period, 0) << s.bytes_per_sample << " bytes, " << s.gain;
  int32_t samples[kBlockFrames];
  auto state = std::make_unique<ToneState>();
  start_tone(tone, *state);
  const std::vector<double>& phases = lfo ? state->mod_memo.phase : state->memo.phase;
  std::vector<double> first_phases;
  for (int pass = 0; pass < 2; ++pass) {
    first_phases = phases;
    s.carrier_phase = lfo ? 0.0 : pass * shift;
    s.mod_phase = lfo ? 1.0 + pass * shift : 0.0;
    double carrier = s.carrier_phase;
    double modulator = s.mod_phase;
    for (int done = 0; done < period;) {
      int count = std::min(kBlockFrames, period - done);
      synthesize_block(s.carrier_phase, s.mod_phase, tone, *state, samples, count);
      for (int i = 0; i < count; ++i) {
        double argument = lfo ? lfo_product(carrier, correct_sin(modulator), tone.range) : carrier;
        ASSERT_EQ(samples[i], static_cast<int32_t>(correct_sin(argument) * tone.scaled_gain))
            << s.bytes_per_sample << " bytes, gain " << s.gain << ", LFO " << lfo << ", shift "
            << shift << ", frame " << done + i;
        carrier = advance_phase(carrier, tone.carrier_increment);
        modulator = advance_phase(modulator, tone.mod_increment);
      }
      done += count;
    }
  }
  int kept = 0;
  for (int slot = 0; slot < period; ++slot) {
    kept += phases[slot] == first_phases[slot];
  }
  if (std::fabs(shift) * (lfo ? 0x1p30 : tone.scaled_gain * 0x1p20) < 1.0) {
    EXPECT_GT(kept, period / 2) << s.bytes_per_sample << " bytes, gain " << s.gain << ", shift "
                                << shift;
  }
}

TEST(Synthesis, MemoKeepsASampleOnlyWhereItHolds) {
  for (double shift : {0x1p-40, -0x1p-30, 0x1p-20, -0x1p-14, 0x1p-10, 0x1p-6, -0x1p-3}) {
    GeneratorSettings s;
    set_defaults(s);
    for (int32_t width = 1; width <= 4; ++width) {
      for (double level : {0.0, -50.0, -200.0}) {
        s.bytes_per_sample = width;
        s.gain = db_to_gain(level);
        expect_memo_holds(s, shift);
      }
    }
    s.bytes_per_sample = 1;
    s.gain = 1.0;
    s.mod_frequency = 100.0;  // 480 frames a period
    expect_memo_holds(s, shift);
  }
}

TEST(Synthesis, PacksEveryChannelAndWidth) {
  const int32_t samples[] = {0, -1, 1, 2147483647, -2147483647, 127, -127, 0x123456};
  // The samples' bytes, least significant first; 8-bit samples are offset by 128.
  const std::vector<unsigned char> stored[] = {
      {0x80, 0x7F, 0x81, 0x7F, 0x81, 0xFF, 0x01, 0xD6},
      {0, 0, 0xFF, 0xFF, 1, 0, 0xFF, 0xFF, 1, 0, 0x7F, 0, 0x81, 0xFF, 0x56, 0x34},
      {0, 0, 0, 0xFF, 0xFF, 0xFF, 1,    0,    0,    0xFF, 0xFF, 0xFF,
       1, 0, 0, 0x7F, 0,    0,    0x81, 0xFF, 0xFF, 0x56, 0x34, 0x12},
      {0, 0, 0, 0,    0xFF, 0xFF, 0xFF, 0xFF, 1,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0x7F,
       1, 0, 0, 0x80, 0x7F, 0,    0,    0,    0x81, 0xFF, 0xFF, 0xFF, 0x56, 0x34, 0x12, 0},
  };
  for (int width = 1; width <= 4; ++width) {
    for (int channels = 1; channels <= 6; ++channels) {
      std::vector<unsigned char> expected;
      for (auto sample = stored[width - 1].begin(); sample != stored[width - 1].end();
           sample += width) {
        for (int c = 0; c < channels; ++c) {
          expected.insert(expected.end(), sample, sample + width);
        }
      }
      std::vector<unsigned char> out(expected.size() + 1, 0xEE);
      pack_frames(samples, 8, channels, width, out.data());
      EXPECT_EQ(out.back(), 0xEE) << "wrote past the frames";
      out.pop_back();
      EXPECT_EQ(out, expected) << width << " bytes, " << channels << " channels";
    }
  }
}

}  // namespace

#include "wave/phase_lfo.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "wave/reference_tone.hpp"
#include "wave/wave_file.hpp"
#include "wave/wave_writer.hpp"

namespace {

TEST(PhaseLfo, ProductAndSingleWrap) {
  // phase x (sine x range), in that order: grouped the other way, (phase x sine) x range, these
  // round to 0.31111199999999994.
  EXPECT_EQ(lfo_product(1.49, 0.09, 2.32), 0.311112);
  // One subtraction at the wrap, not a modulo: 6 + 7 stays beyond a full turn.
  EXPECT_EQ(advance_phase(6.0, 7.0), 6.716814692820414);
  EXPECT_EQ(advance_phase(TWO_PI - 0.5, 0.5), 0.0);  // reaching the full turn exactly wraps too
}

GeneratorSettings lfo_settings(const std::string& path, int32_t bytes_per_sample,
                               double mod_frequency, double range_percent) {
  GeneratorSettings s;
  set_defaults(s);
  s.file_name = path.c_str();
  s.file_size_bytes = 4 * 1024;
  s.channels = 1;
  s.bytes_per_sample = bytes_per_sample;
  s.sample_rate = 1000;
  s.frequency = 97.0;  // carrier wraps about every 10 frames
  s.gain = 1.0;
  s.mod_frequency = mod_frequency;  // 300 Hz: the modulator wraps about every 3 frames
  s.mod_range_percent = range_percent;
  s.mod_range_rad = (range_percent * 0.01) * TWO_PI;
  return s;
}

std::vector<unsigned char> data_of(GeneratorSettings& s) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(write_wave_file(s), 0);
  testing::internal::GetCapturedStdout();
  std::vector<unsigned char> bytes = read_file(s.file_name);
  return std::vector<unsigned char>(bytes.begin() + 44, bytes.end());
}

// The first frames, computed apart from this code with MPFR's sine. The carrier first wraps
// between frames 10 and 11 (11 x 0.609 rad > 2 pi) and the modulator about every 3 frames;
// written out, so that a phase that is not wrapped (or is wrapped by a modulo) cannot pass.
TEST(PhaseLfo, FirstSamplesAcrossCarrierAndModulatorWraps) {
  std::string path = temp_path("lfo.wav");
  GeneratorSettings s = lfo_settings(path, 2, 300.0, 73.0);
  std::vector<unsigned char> data = data_of(s);
  const int16_t expected[] = {0,     15216, 4724, 31998, -30655, 0,     7913,   -28655,
                              17921, 30598, 0,    31618, -11650, 31387, -12383, 0};
  for (int n = 0; n < 16; ++n) {
    EXPECT_EQ(static_cast<int16_t>(le16(data, 2 * static_cast<std::size_t>(n))), expected[n])
        << "frame " << n;
  }
}

TEST(PhaseLfo, SwitchedOffOrWithoutRange) {
  struct Case {
    int32_t bytes_per_sample;
    double mod_frequency;
    double range_percent;
    bool silent;  // otherwise: the bare carrier
  };
  const Case cases[] = {
      {1, 300.0, 0.0, true}, {2, 1000.0, 0.0, true},  {1, 0.0, 50.0, false},
      {2, 0.0, 0.0, false},  {4, -0.0, 100.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes_per_sample << " bytes, " << c.mod_frequency
                                    << " Hz, " << c.range_percent << "%");
    std::string path = temp_path("lfo_off.wav");
    GeneratorSettings s = lfo_settings(path, c.bytes_per_sample, c.mod_frequency, c.range_percent);
    std::vector<unsigned char> data = data_of(s);
    if (c.silent) {
      unsigned char zero = c.bytes_per_sample == 1 ? 0x80 : 0x00;
      EXPECT_EQ(data, std::vector<unsigned char>(data.size(), zero));
    } else {
      GeneratorSettings bare = s;
      bare.mod_frequency = 0.0;
      bare.mod_range_rad = TWO_PI;
      EXPECT_EQ(data, reference_tone(bare));
      EXPECT_EQ(s.mod_phase, 0.0);  // the modulator never moved
    }
  }
}

}  // namespace

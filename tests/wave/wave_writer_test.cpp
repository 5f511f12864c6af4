#include "wave/wave_writer.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cli/options.hpp"
#include "wave/reference_tone.hpp"
#include "wave/wave_file.hpp"

namespace {

struct Tone {
  int32_t kb;
  int32_t channels;
  int32_t bytes_per_sample;
  int32_t sample_rate;
  double frequency;
  double level_db;
  double mod_frequency = 0.0;
  double mod_range_percent = 100.0;
};

GeneratorSettings settings_for(const Tone& t, const std::string& path) {
  GeneratorSettings s;
  set_defaults(s);
  s.file_name = path.c_str();
  s.file_size_bytes = t.kb * 1024;
  s.channels = t.channels;
  s.bytes_per_sample = t.bytes_per_sample;
  s.sample_rate = t.sample_rate;
  s.frequency = t.frequency;
  s.level_db = t.level_db;
  s.gain = db_to_gain(t.level_db);
  s.mod_frequency = t.mod_frequency;
  s.mod_range_percent = t.mod_range_percent;
  s.mod_range_rad = (t.mod_range_percent * 0.01) * TWO_PI;
  return s;
}

// What the spinner showed, as the tool prints it.
std::string g_shown;

void show(char shown) {
  g_shown += std::string("\b") + shown;
}

// Writes the file and returns its data chunk; the spinner output goes to `printed`.
std::vector<unsigned char> write_data(GeneratorSettings& s, std::string* printed = nullptr) {
  g_shown.clear();
  int status = write_wave_file(s, {show, nullptr});
  if (printed != nullptr) {
    *printed = g_shown;
  }
  EXPECT_EQ(status, 0);
  std::vector<unsigned char> bytes = read_file(s.file_name);
  EXPECT_GE(bytes.size(), 44u);
  return std::vector<unsigned char>(bytes.begin() + 44, bytes.end());
}

TEST(WriteWaveFile, MatchesTheReferenceLoop) {
  const Tone tones[] = {
      {64, 2, 2, 48000, 440.0, -3.0},
      {64, 1, 1, 8000, 1000.0, 0.0},
      {64, 3, 3, 44100, 997.0, -0.5},
      {64, 6, 4, 96000, 1234.5, 0.0},
      {64, 1, 4, 1000, 48000.0, -3.0},  // increment beyond a full turn: the phase grows
      {64, 2, 2, 1000, 999.0, -1.0},
      {3, 5, 3, 22050, 15.0, -45.0},  // frames do not divide the size: rounded up
  };
  for (const Tone& t : tones) {
    SCOPED_TRACE(testing::Message() << t.channels << " ch, " << t.bytes_per_sample << " bytes, "
                                    << t.frequency << " Hz at " << t.sample_rate);
    std::string path = temp_path("tone.wav");
    GeneratorSettings s = settings_for(t, path);
    std::vector<unsigned char> data = write_data(s);
    EXPECT_EQ(data, reference_tone(s));
  }
}

// The sample values of a 1-byte mono file.
std::vector<int> eight_bit_values(const std::vector<unsigned char>& data) {
  std::vector<int> values;
  for (unsigned char b : data) {
    values.push_back(b - 128);
  }
  return values;
}

TEST(WriteWaveFile, QuietEightBitLevels) {
  std::string path = temp_path("quiet.wav");
  // At -45 dB the largest value is about 0.714: every sample truncates to 0.
  GeneratorSettings s = settings_for({4, 1, 1, 48000, 440.0, -45.0}, path);
  for (int v : eight_bit_values(write_data(s))) {
    ASSERT_EQ(v, 0);
  }
  // At -42 dB (about 1.009) only -1, 0 and 1 occur: truncation, not rounding.
  s = settings_for({4, 1, 1, 48000, 440.0, -42.0}, path);
  std::vector<int> values = eight_bit_values(write_data(s));
  EXPECT_EQ(std::set<int>(values.begin(), values.end()), (std::set<int>{-1, 0, 1}));
}

TEST(WriteWaveFile, FirstFrameIsSilentInEveryChannel) {
  std::string path = temp_path("first.wav");
  GeneratorSettings s = settings_for({1, 6, 1, 48000, 12000.0, 0.0}, path);
  std::vector<unsigned char> data = write_data(s);
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(data[c], 0x80);
  }
  EXPECT_NE(data[6], 0x80);
}

TEST(WriteWaveFile, FullScaleStaysInRange) {
  std::string path = temp_path("full.wav");
  GeneratorSettings s = settings_for({256, 1, 4, 48000, 12000.0, 0.0}, path);
  std::vector<unsigned char> data = write_data(s);
  int32_t high = 0;
  int32_t low = 0;
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
    auto v = static_cast<int32_t>(le32(data, i));
    high = std::max(high, v);
    low = std::min(low, v);
  }
  // A quarter-rate tone hits sin = +-1 exactly: the extremes are the largest value itself.
  EXPECT_EQ(high, 2147483647);
  EXPECT_EQ(low, -2147483647);
}

// One step whenever the countdown of frames left is a multiple of 100,000, also where that
// frame is the first or the last of one of the writer's blocks of 1024 frames.
TEST(WriteWaveFile, SpinnerTurnsAtEveryHundredThousandFramesLeft) {
  struct Case {
    int32_t frames;  // of one byte: the requested size in bytes
    int steps;
  };
  const Case cases[] = {
      {256, 1},      {100000, 1},   {100001, 2}, {256000, 3},  // turns after 56,000 and 156,000
      {1280000, 13}, {3200000, 32},                            // 12,500 and 3125 blocks
      {103071, 2},   {103072, 2},   {103073, 2}, {103074, 2},  // 100,000 left around frame 3072
      {1203072, 13}, {1203073, 13},                            // 1,100,000 left there
  };
  for (const Case& c : cases) {
    std::string path = temp_path("spin.wav");
    GeneratorSettings s = settings_for({1, 1, 1, 48000, 440.0, -3.0}, path);
    s.file_size_bytes = c.frames;
    std::string printed;
    write_data(s, &printed);
    std::string expected;
    for (int i = 0; i < c.steps; ++i) {
      expected += i % 2 == 0 ? "\b-" : "\b|";
    }
    EXPECT_EQ(printed, expected) << c.frames << " frames";
  }
}

TEST(WriteWaveFile, SpinnerKeepsTurningAcrossFiles) {
  std::string path = temp_path("twice.wav");
  GeneratorSettings s = settings_for({1, 2, 2, 48000, 440.0, -3.0}, path);
  std::string first;
  std::string second;
  write_data(s, &first);
  write_data(s, &second);
  EXPECT_EQ(first + second, "\b-\b|");
}

TEST(WriteWaveFile, FailuresReturnMinusOne) {
  GeneratorSettings s;
  set_defaults(s);
  s.file_size_bytes = 1024;
  const char* paths[] = {nullptr, "/nonexistent-folder/x.wav", "/dev/full"};
  for (const char* path : paths) {
    s.file_name = path;
    g_shown.clear();
    EXPECT_EQ(write_wave_file(s, {show, nullptr}), -1) << (path ? path : "no name");
    if (path != nullptr && std::string(path) != "/dev/full") {
      EXPECT_EQ(g_shown, "");  // nothing opened, nothing shown
    }
  }
}

}  // namespace

#include "cli/options.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Parsed {
  int status = 0;
  std::string printed;
  std::string warned;  // standard error
  GeneratorSettings settings;
};

// Parses `args` (the program path is put in front) over the defaults, capturing what is printed.
Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "./tonegen");
  Parsed parsed;
  set_defaults(parsed.settings);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  parsed.status = parse_options(parsed.settings, static_cast<int>(args.size()), args.data());
  std::fflush(stdout);
  parsed.printed = testing::internal::GetCapturedStdout();
  parsed.warned = testing::internal::GetCapturedStderr();
  return parsed;
}

const char* const kFileSizeMessage =
    "ERROR: Illegal filesize. Enter a value between 1 and 1000000 kB.\n";
const char* const kFrequencyMessage =
    "Illegal frequency. Enter a value between 1.00 Hz and 48000.00 Hz.\n";
const char* const kDampingMessage = "Illegal damping. Enter a value between -45.00 and 0.00 dB.\n";

// The defaults are what the option menu's default texts give when entered, derived values
// included; the gain is the one promised for -3 dB.
TEST(Defaults, AreThePairsTheOptionsWouldSet) {
  GeneratorSettings defaults;
  set_defaults(defaults);
  GeneratorSettings entered;
  const char* argv[] = {"tonegen", "-file", "output.wav", "-kb",   "5000", "-sr", "48000",
                        "-ch",     "2",     "-res",       "2",     "-frq", "440", "-db",
                        "-3",      "-mfrq", "0",          "-mran", "100"};
  ASSERT_EQ(parse_options(entered, sizeof argv / sizeof *argv, argv), 0);
  EXPECT_STREQ(defaults.file_name, entered.file_name);
  EXPECT_EQ(defaults.file_size_bytes, entered.file_size_bytes);
  EXPECT_EQ(defaults.sample_rate, entered.sample_rate);
  EXPECT_EQ(defaults.channels, entered.channels);
  EXPECT_EQ(defaults.bytes_per_sample, entered.bytes_per_sample);
  EXPECT_EQ(defaults.frequency, entered.frequency);
  EXPECT_EQ(defaults.level_db, entered.level_db);
  EXPECT_EQ(defaults.gain, entered.gain);
  EXPECT_EQ(defaults.mod_frequency, entered.mod_frequency);
  EXPECT_EQ(defaults.mod_range_percent, entered.mod_range_percent);
  EXPECT_EQ(defaults.mod_range_rad, entered.mod_range_rad);
  EXPECT_EQ(defaults.gain, 0.7079457843841379);
}

TEST(ParseOptions, AcceptedValues) {
  using Check = std::function<void(const GeneratorSettings&)>;
  struct Case {
    std::vector<const char*> args;
    Check check;
  };
  const Case cases[] = {
      {{}, [](auto& s) { EXPECT_EQ(s.file_size_bytes, 5120000); }},
      {{"-kb", "1000000"}, [](auto& s) { EXPECT_EQ(s.file_size_bytes, 1024000000); }},
      {{"-kb", "1"}, [](auto& s) { EXPECT_EQ(s.file_size_bytes, 1024); }},
      {{"-kb", "10", "-kb", "20"}, [](auto& s) { EXPECT_EQ(s.file_size_bytes, 20480); }},
      {{"-KB", "10"}, [](auto& s) { EXPECT_EQ(s.file_size_bytes, 5120000); }},
      {{"-kb"}, [](auto& s) { EXPECT_EQ(s.file_size_bytes, 5120000); }},
      {{"-sr", "44100Hz"}, [](auto& s) { EXPECT_EQ(s.sample_rate, 44100); }},
      {{"-sr", "44100.9"}, [](auto& s) { EXPECT_EQ(s.sample_rate, 44100); }},
      {{"-res", "3", "-ch", "6"},
       [](auto& s) {
         EXPECT_EQ(s.bytes_per_sample, 3);
         EXPECT_EQ(s.channels, 6);
       }},
      {{"-file", "-kb", "10"},
       [](auto& s) {
         EXPECT_STREQ(s.file_name, "-kb");
         EXPECT_EQ(s.file_size_bytes, 10240);
       }},
      {{"-frq", "1d3"}, [](auto& s) { EXPECT_EQ(s.frequency, 1000.0); }},
      {{"-frq", "48000"}, [](auto& s) { EXPECT_EQ(s.frequency, 48000.0); }},
      {{"-db", "abc"},
       [](auto& s) {
         EXPECT_EQ(s.level_db, 0.0);
         EXPECT_EQ(s.gain, 1.0);
       }},
      {{"-db", "nan"}, [](auto& s) { EXPECT_EQ(s.gain, 1.0); }},
      {{"-db", "-0"},
       [](auto& s) {
         EXPECT_TRUE(std::signbit(s.level_db));
         EXPECT_EQ(s.gain, 1.0);
       }},
      {{"-db", "1e-400"}, [](auto& s) { EXPECT_EQ(s.gain, 1.0); }},
      // 10^-2.25 correctly rounded (the C library's pow may be a unit off at some levels).
      {{"-db", "-45"}, [](auto& s) { EXPECT_EQ(s.gain, 0x1.7089380241edfp-8); }},
      {{"-db", "-6", "-mran", "50", "-mfrq", "2"},
       [](auto& s) {
         EXPECT_EQ(s.gain, 0.5011872336272722);  // 10^-0.30000000000000004, rounded
         EXPECT_EQ(s.mod_range_percent, 50.0);
         EXPECT_EQ(s.mod_range_rad, 3.141592653589793);
         EXPECT_EQ(s.mod_frequency, 2.0);
       }},
      {{"-mfrq", "-0"}, [](auto& s) { EXPECT_EQ(s.mod_frequency, 0.0); }},
      {{"-mran", "0"}, [](auto& s) { EXPECT_EQ(s.mod_range_rad, 0.0); }},
  };
  for (const Case& c : cases) {
    Parsed parsed = parse(c.args);
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.printed, "");
    c.check(parsed.settings);
  }
}

TEST(ParseOptions, RejectedValuesAndHelp) {
  struct Case {
    std::vector<const char*> args;
    std::string printed;
  };
  const Case cases[] = {
      {{"-?"}, ""},
      {{"-kb", "10", "-?"}, ""},
      {{"-kb", "-?"}, ""},  // help is tested before the option
      {{"-kb", "0", "-?"}, kFileSizeMessage},
      {{"-kb", "0", "--help"}, kFileSizeMessage},
      {{"-kb", "-h"}, ""},
      {{"-kb", "0"}, kFileSizeMessage},
      {{"-kb", "1000001"}, kFileSizeMessage},
      // Far beyond 32 bits is out of range too, never wrapped back into it.
      {{"-kb", "4294967297"}, kFileSizeMessage},
      {{"-kb", "-4294967295"}, kFileSizeMessage},
      {{"-file", ""}, "ERROR: Illegal filename or filename empty.\n"},
      {{"-ch", "7"}, "ERROR: Illegal number of channels. Enter a value between 1 and 6.\n"},
      {{"-res", "5"}, "ERROR: Illegal samplesize. Enter a value between 1 and 4 bytes.\n"},
      {{"-sr", "999"}, "Illegal samplerate. Enter a value between 1000 and 96000 Hz.\n"},
      {{"-frq", "abc"}, kFrequencyMessage},
      {{"-frq", "0x10"}, kFrequencyMessage},
      {{"-frq", "1e999"}, kFrequencyMessage},
      {{"-frq", "48000.000000001"}, kFrequencyMessage},
      {{"-db", "-46"}, kDampingMessage},
      {{"-db", "1e-320"}, kDampingMessage},
      {{"-mfrq", "1000.5"},
       "Illegal modulator frequency. Enter a value between 0.00 and 1000.00 Hz.\n"},
      {{"-mran", "-1"},
       "Illegal modulator phase range. Enter a value between 0.00 and 100.00 percent.\n"},
      // The first rejection ends the walk: the later bad value prints nothing.
      {{"-ch", "0", "-res", "9"},
       "ERROR: Illegal number of channels. Enter a value between 1 and 6.\n"},
  };
  for (const Case& c : cases) {
    Parsed parsed = parse(c.args);
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(parsed.status, -1);
    EXPECT_EQ(parsed.printed, c.printed);
  }
}

// A value that is not wholly a number keeps what its leading part reads as, and the user is
// told on standard error; nothing changes on standard output.
TEST(ParseOptions, WarnsOfTextThatIsNotANumber) {
  struct Case {
    std::vector<const char*> args;
    std::string warned;
  };
  const Case cases[] = {
      {{"-frq", "1k"}, "-frq \"1k\" is not a number: read as 1"},
      {{"-db", "nan"}, "-db \"nan\" is not a number: read as 0"},
      {{"-db", "=-20"}, "-db \"=-20\" is not a number: read as 0"},
      {{"-db", ""}, "-db \"\" is not a number: read as 0"},
      {{"-sr", " 44100Hz"}, "-sr \" 44100Hz\" is not a number: read as 44100"},
      {{"-kb", "1e3"}, "-kb \"1e3\" is not a number: read as 1"},
      {{"-mran", "-5.e1x"}, "-mran \"-5.e1x\" is not a number: read as -5.e1"},
      {{"-frq", " +2.5e3 ", "-db", "-0", "-file", "1k", "-kb", "5"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(parse(c.args).warned, c.warned.empty() ? "" : "tonegen: " + c.warned + "\n");
  }
}

TEST(ParseOptions, ProgramPathIsExaminedAsAName) {
  std::vector<const char*> args = {"-kb", "7"};
  GeneratorSettings s;
  set_defaults(s);
  ASSERT_EQ(parse_options(s, 2, args.data()), 0);
  EXPECT_EQ(s.file_size_bytes, 7 * 1024);
}

}  // namespace

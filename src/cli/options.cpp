#include "cli/options.hpp"

#include <cstring>
#include <initializer_list>

#include "cli/console.hpp"
#include "cli/number_text.hpp"
#include "cli/option_ranges.hpp"
#include "math/exact_math.hpp"

double db_to_gain(double db) {
  return correct_pow10(db * 0.05);
}

double percent_to_radians(double percent) {
  return (percent * 0.01) * TWO_PI;
}

namespace {

bool same(const char* a, const char* b) {
  return std::strcmp(a, b) == 0;
}

// "-?" and the spellings people try first. Unknown options are ignored, so without these
// asking for help the usual way would quietly write the default file.
bool is_help(const char* text) {
  return same(text, "-?") || same(text, "-h") || same(text, "-help") || same(text, "--help");
}

// A value whose text is not wholly a number keeps what its leading part reads as ("-frq 1k" is
// 1 Hz, "-db nan" full scale), but a user who meant something else is told what was read.
void warn_unless_number(const char* name, const char* text, const char* end) {
  if (end != text && *skip_white_space(end) == '\0') {
    return;
  }
  const char* begin = skip_white_space(text);
  if (end == text) {
    print_error("%s \"%s\" is not a number: read as 0", name, text);
  } else {
    print_error("%s \"%s\" is not a number: read as %.*s", name, text,
                static_cast<int>(end - begin), begin);
  }
}

// Reads an integer option value into `out`, or prints `message` with the limits and fails.
bool take_integer(const char* name, const char* text, int32_t low, int32_t high,
                  const char* message, int32_t& out) {
  const char* end = nullptr;
  int32_t value = read_integer(text, &end);
  warn_unless_number(name, text, end);
  if (value < low || value > high) {
    print_formatted(message, low, high);
    return false;
  }
  out = value;
  return true;
}

// The same for reals. Comparisons with an infinity fail, so no infinity gets through.
bool take_real(const char* name, const char* text, double low, double high, const char* message,
               double& out) {
  RealText scanned = scan_real(text);
  warn_unless_number(name, text, scanned.end);
  double value = convert_real(scanned);
  if (!(value >= low && value <= high)) {
    print_formatted(message, low, high);
    return false;
  }
  out = value;
  return true;
}

// Applies one option if `name` is one; returns false when its value is rejected.
bool apply_option(GeneratorSettings& s, const char* name, const char* value) {
  if (same(name, "-file")) {
    if (value[0] == '\0') {
      print_formatted("ERROR: Illegal filename or filename empty.\n");
      return false;
    }
    s.file_name = value;
  } else if (same(name, "-kb")) {
    int32_t kb = 0;
    if (!take_integer(name, value, kMinKb, kMaxKb,
                      "ERROR: Illegal filesize. Enter a value between %i and %i kB.\n", kb)) {
      return false;
    }
    s.file_size_bytes = kb * 1024;
  } else if (same(name, "-ch")) {
    return take_integer(name, value, kMinChannels, kMaxChannels,
                        "ERROR: Illegal number of channels. Enter a value between %i and %i.\n",
                        s.channels);
  } else if (same(name, "-res")) {
    return take_integer(name, value, kMinBytesPerSample, kMaxBytesPerSample,
                        "ERROR: Illegal samplesize. Enter a value between %i and %i bytes.\n",
                        s.bytes_per_sample);
  } else if (same(name, "-sr")) {
    return take_integer(name, value, kMinSampleRate, kMaxSampleRate,
                        "Illegal samplerate. Enter a value between %i and %i Hz.\n", s.sample_rate);
  } else if (same(name, "-frq")) {
    return take_real(name, value, kMinFrequency, kMaxFrequency,
                     "Illegal frequency. Enter a value between %.2f Hz and %.2f Hz.\n",
                     s.frequency);
  } else if (same(name, "-db")) {
    if (!take_real(name, value, kMinLevelDb, kMaxLevelDb,
                   "Illegal damping. Enter a value between %.2f and %.2f dB.\n", s.level_db)) {
      return false;
    }
    s.gain = db_to_gain(s.level_db);
  } else if (same(name, "-mfrq")) {
    return take_real(name, value, kMinModFrequency, kMaxModFrequency,
                     "Illegal modulator frequency. Enter a value between %.2f and %.2f Hz.\n",
                     s.mod_frequency);
  } else if (same(name, "-mran")) {
    if (!take_real(name, value, kMinModRangePercent, kMaxModRangePercent,
                   "Illegal modulator phase range. Enter a value between %.2f and %.2f percent.\n",
                   s.mod_range_percent)) {
      return false;
    }
    s.mod_range_rad = percent_to_radians(s.mod_range_percent);
  }
  return true;
}

}  // namespace

const char* named_file(int argc, const char* const* argv) {
  const char* name = nullptr;
  for (int i = 0; i + 1 < argc; ++i) {
    if (same(argv[i], "-file") && argv[i + 1][0] != '\0') {
      name = argv[i + 1];
    }
  }
  return name;
}

int parse_options(GeneratorSettings& settings, int argc, const char* const* argv) {
  // Values are not consumed: every argument but the last is also tried as a name, argv[0]
  // included, and the last one only ever serves as a value.
  for (int i = 0; i + 1 < argc; ++i) {
    const char* name = argv[i];
    const char* value = argv[i + 1];
    for (const char* text : {name, value}) {
      if (is_help(text)) {
        return -1;
      }
      if (same(text, "--version")) {
        return kVersionRequested;
      }
    }
    if (!apply_option(settings, name, value)) {
      return -1;
    }
  }
  return 0;
}

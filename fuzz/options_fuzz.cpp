// Fuzzes the option walk and the number grammar behind it with arbitrary argument vectors.
// The input is split at NUL bytes into arguments. Checks, on every input: nothing crashes or
// hangs; after a successful walk every value lies in its option's range and is finite, and each
// derived value matches the entered one; and every argument read as a real agrees with the C
// library's strtod on the text the grammar kept.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings.hpp"
#include "cli/console.hpp"
#include "cli/number_text.hpp"
#include "cli/options.hpp"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

bool within(double value, double low, double high) {
  return std::isfinite(value) && value >= low && value <= high;
}

// The grammar keeps [sign] digits [point digits] [exponent]; strtod reads the same text with the
// exponent letter spelled 'e' and must find the same double.
void check_real_against_strtod(const char* text) {
  RealText scanned = scan_real(text);
  double ours = convert_real(scanned);
  std::string kept(text, scanned.end);
  for (char& c : kept) {
    if (c == 'd' || c == 'D') {
      c = 'e';
    }
  }
  if (kept.empty()) {
    check(ours == 0.0 && !std::signbit(ours), "text without a number reads as +0.0");
    return;
  }
  double reference = std::strtod(kept.c_str(), nullptr);
  check(std::memcmp(&ours, &reference, sizeof ours) == 0, "real agrees with strtod");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The parser's messages and warnings would drown the fuzzer's own output.
  console_send_errors_to(nullptr);
  return std::freopen("/dev/null", "w", stdout) == nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args = {"tonegen"};
  std::string current;
  for (size_t i = 0; i < size && args.size() < 200; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  args.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& a : args) {
    argv.push_back(a.c_str());
    check_real_against_strtod(a.c_str());
    read_integer(a.c_str());
  }

  GeneratorSettings s;
  set_defaults(s);
  int status = parse_options(s, static_cast<int>(argv.size()), argv.data());
  check(status == 0 || status == -1 || status == kVersionRequested, "status is 0, -1 or version");
  if (status != 0) {
    return 0;
  }
  check(s.file_name != nullptr && s.file_name[0] != '\0', "file name present");
  check(
      s.file_size_bytes >= 1024 && s.file_size_bytes <= 1024000000 && s.file_size_bytes % 1024 == 0,
      "file size in range");
  check(s.sample_rate >= 1000 && s.sample_rate <= 96000, "sample rate in range");
  check(s.channels >= 1 && s.channels <= 6, "channels in range");
  check(s.bytes_per_sample >= 1 && s.bytes_per_sample <= 4, "sample size in range");
  check(within(s.frequency, 1.0, 48000.0), "frequency in range");
  check(within(s.level_db, -45.0, 0.0), "level in range");
  check(within(s.mod_frequency, 0.0, 1000.0), "LFO frequency in range");
  check(within(s.mod_range_percent, 0.0, 100.0), "LFO range in range");
  check(s.gain == db_to_gain(s.level_db), "gain matches level");
  check(s.gain > 0.0 && s.gain <= 1.0, "gain in (0, 1]");
  check(s.mod_range_rad == percent_to_radians(s.mod_range_percent), "radians match percent");
  return 0;
}

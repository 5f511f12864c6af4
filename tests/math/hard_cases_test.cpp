#include "math/hard_cases.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

#include "math/exact_math.hpp"

// The published hardest-to-round arguments (tests/data/README.md): their values lie so close to
// a midpoint between doubles that only a method whose bounds and rounding tests are right gets
// every one. The expected values come from MPFR, so the test needs no MPFR of its own and runs
// under wine and qemu too.

namespace {

struct Tally {
  long lines = 0;
  long wrong = 0;
  long by_step[3] = {0, 0, 0};
};

// Holds `rounded` to every line of `file` ("argument value"), with both signs of the argument
// when `odd` (the function is odd). Reports the first few wrong lines.
template <typename Function>
Tally check_list(const std::string& file, bool odd, Function rounded) {
  Tally t;
  std::ifstream in(std::string(TONEGEN_DATA_DIR) + "/" + file);
  EXPECT_TRUE(in.good()) << "cannot read " << file;
  std::string x_text;
  std::string y_text;
  while (in >> x_text >> y_text) {
    double x = parse_hex_float(x_text);
    double y = parse_hex_float(y_text);
    ++t.lines;
    for (double sign : {1.0, -1.0}) {
      if (sign < 0.0 && !odd) {
        break;
      }
      Rounded r = rounded(sign * x);
      ++t.by_step[static_cast<int>(r.step)];
      if (std::bit_cast<uint64_t>(r.value) != std::bit_cast<uint64_t>(sign * y) && ++t.wrong <= 5) {
        ADD_FAILURE() << std::hexfloat << file << ": " << sign * x << " gave " << r.value
                      << ", correctly rounded " << sign * y;
      }
    }
  }
  return t;
}

TEST(HardCases, EveryLineCorrectlyRoundedAndEveryStepUsed) {
  Tally sine = check_list("sin_hard_cases.txt", true, rounded_sine);
  Tally power = check_list("exp10_hard_cases.txt", false, rounded_pow10);
  EXPECT_EQ(sine.lines, 18856);
  EXPECT_EQ(power.lines, 14325);
  EXPECT_EQ(sine.wrong, 0);
  EXPECT_EQ(power.wrong, 0);
  // No step is dead code: each decides some of these arguments (the power of ten has no
  // accurate step).
  for (int step = 0; step < 3; ++step) {
    EXPECT_GT(sine.by_step[step], 0) << "sine step " << step;
  }
  EXPECT_GT(power.by_step[0], 0);
  EXPECT_GT(power.by_step[2], 0);
  std::printf("sine: %ld quick, %ld accurate, %ld last; power of ten: %ld quick, %ld last\n",
              sine.by_step[0], sine.by_step[1], sine.by_step[2], power.by_step[0],
              power.by_step[2]);
}

}  // namespace

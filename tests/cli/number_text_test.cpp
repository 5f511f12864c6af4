#include "cli/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

TEST(ReadInteger, Grammar) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"44100", 44100},
      {"44100Hz", 44100},
      {"44100.9", 44100},
      {" \t\n\v\f\r12", 12},
      {"+7", 7},
      {"-7", -7},
      {"", 0},
      {"-", 0},
      {"abc", 0},
      {"- 5", 0},
      {"0x10", 0},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      // Beyond 32 bits the value saturates instead of wrapping back into range.
      {"2147483648", 2147483647},
      {"4294967296", 2147483647},
      {"4294967297", 2147483647},
      {"-4294967297", std::numeric_limits<int32_t>::min()},
      {"99999999999999999999999999999999", 2147483647},
      {"00000000000000000000000000000001", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_integer(c.text), c.expected) << "text: \"" << c.text << "\"";
  }
}

// Compares doubles by their bits, so the sign of a zero counts.
void expect_same_double(double actual, double expected, const std::string& text) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << "text: \"" << text << "\"";
    return;
  }
  EXPECT_EQ(actual, expected) << "text: \"" << text << "\"";
  EXPECT_EQ(std::signbit(actual), std::signbit(expected)) << "text: \"" << text << "\"";
}

TEST(ReadReal, Grammar) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"5", 5.0},
      {"5.", 5.0},
      {".5", 0.5},
      {"  -2.25", -2.25},
      {"+3", 3.0},
      {"1e3", 1000.0},
      {"1E3", 1000.0},
      {"1d3", 1000.0},
      {"1D-3", 0.001},
      {"2.5e+2", 250.0},
      {"5e", 5.0},
      {"5e+", 5.0},
      {"5d-x", 5.0},
      {"1+5", 1.0},
      {"440Hz", 440.0},
      {"1.5.5", 1.5},
      {".", 0.0},
      {"-", 0.0},  // no digit: a plain zero, not a negative one
      {"", 0.0},
      {"e5", 0.0},
      {"inf", 0.0},
      {"infinity", 0.0},
      {"nan", 0.0},
      {"0x10", 0.0},
      {"-0", -0.0},
      {"-0.000e5", -0.0},
      {"0.1", 0.1},
      {"0.30000000000000004", 0.30000000000000004},
      {"1e999", inf},
      {"-1e999", -inf},
      {"1e99999999999999999999", inf},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"1.7976931348623159e308", inf},
      {"1e-320", 1e-320},
      {"4.9406564584124654e-324", 4.9406564584124654e-324},
      {"2.5e-324", 4.9406564584124654e-324},
      {"2.4e-324", 0.0},
      {"1e-400", 0.0},
      {"-1e-400", -0.0},
      {"1e-99999999999999999999", 0.0},
      {"2.2250738585072011e-308", 2.2250738585072011e-308},
      // Ties to even, decided by digits far beyond the 17th.
      {"9007199254740993", 9007199254740992.0},
      {"9007199254740993.0000000000000000000000000001", 9007199254740994.0},
  };
  for (const Case& c : cases) {
    expect_same_double(read_real(c.text), c.expected, c.text);
  }
}

TEST(ReadReal, LongMantissaKeepsItsTail) {
  // Leading zeros beyond any buffer still move the point; a non-zero digit past the digits
  // the conversion keeps still breaks a tie.
  std::string text = std::string("0.").append(2000, '0').append("1e2002");
  expect_same_double(read_real(text.c_str()), 10.0, text);
  std::string huge = "1" + std::string(1000, '0');
  expect_same_double(read_real(huge.c_str()), std::numeric_limits<double>::infinity(), "1e1000");
  std::string half = std::string("9007199254740993.").append(900, '0').append("1");
  expect_same_double(read_real(half.c_str()), 9007199254740994.0, half);
}

TEST(ScanReal, StopsWhereTheGrammarEnds) {
  struct Case {
    const char* text;
    int taken;
  };
  const Case cases[] = {{"1d3x", 3}, {"5e", 1},  {"  -.5e-1z", 8}, {"abc", 0},
                        {"-", 0},    {"1+5", 1}, {"7.", 2}};
  for (const Case& c : cases) {
    RealText scanned = scan_real(c.text);
    EXPECT_EQ(scanned.end - c.text, c.taken) << "text: \"" << c.text << "\"";
  }
}

// Builds random texts within the shared part of both grammars (decimal digits, point, 'e'
// exponent) and checks every one against the C library's correctly rounded strtod.
TEST(ReadReal, AgreesWithStrtodOnDecimalText) {
  std::mt19937_64 random(20261208);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
  for (int round = 0; round < 200000; ++round) {
    std::string text;
    if (pick(2) == 0) {
      text += pick(2) == 0 ? '-' : '+';
    }
    int integer_digits = pick(22);
    int fraction_digits = pick(22);
    if (integer_digits + fraction_digits == 0) {
      integer_digits = 1;
    }
    for (int i = 0; i < integer_digits; ++i) {
      text += static_cast<char>('0' + pick(10));
    }
    if (fraction_digits > 0 || pick(4) == 0) {
      text += '.';
    }
    for (int i = 0; i < fraction_digits; ++i) {
      text += static_cast<char>('0' + pick(10));
    }
    std::string reference = text;
    if (pick(3) != 0) {
      int exponent = pick(700) - 350;
      text += "eEdD"[pick(4)];
      reference += 'e';
      text += std::to_string(exponent);
      reference += std::to_string(exponent);
    }
    double expected = std::strtod(reference.c_str(), nullptr);
    double actual = read_real(text.c_str());
    ASSERT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0)
        << "text: \"" << text << "\" read " << actual << ", strtod " << expected;
  }
}

}  // namespace

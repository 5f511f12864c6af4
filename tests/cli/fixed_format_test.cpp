#include "cli/fixed_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

std::string fixed2(double value) {
  char text[kFixed2MaxLength];
  return std::string(text, format_fixed2(value, text));
}

TEST(FormatFixed2, Table) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {0.0, "0.00"},
      {-0.0, "0.00"},
      {440.0, "440.00"},
      {-3.0, "-3.00"},
      {48000.0, "48000.00"},
      {-45.0, "-45.00"},
      {0.125, "0.13"},  // an exact half rounds away from zero
      {440.125, "440.13"},
      {-0.125, "-0.13"},
      {-0.001, "-0.00"},  // keeps its sign
      {0.001, "0.00"},
      {0.005, "0.01"},
      {1.005, "1.00"},  // 1.00499999999999989...: 17 digits keep it below half
      {2.675, "2.67"},
      {0.995, "1.00"},  // 0.99499999999999999555...: 17 digits round it up to the half
      {1.335, "1.34"},  // 1.33499999999999996447...: likewise
      {0.994999, "0.99"},
      {9.995, "9.99"},
      {99.995, "100.00"},
      {-99.995, "-100.00"},
      {1e-300, "0.00"},
      {5e-324, "0.00"},
      {1e20, "100000000000000000000.00"},
      {123456789012345678.0, "123456789012345680.00"},  // 17 significant digits only
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fixed2(c.value), c.expected) << "value: " << c.value;
  }
}

TEST(FormatFixed2, LargestDouble) {
  std::string text = fixed2(std::numeric_limits<double>::max());
  EXPECT_EQ(text, "17976931348623157" + std::string(292, '0') + ".00");
}

// Independent reference: the exact decimal digits of the double through arbitrary-precision
// integer arithmetic, then the two roundings done on integers.
class ExactDecimal {
 public:
  // Digits of the value as an integer `digits` times 10^`exponent`.
  explicit ExactDecimal(double magnitude) {
    int binary_exponent = 0;
    double fraction = std::frexp(magnitude, &binary_exponent);
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
    binary_exponent -= 53;
    digits_ = std::to_string(mantissa);
    for (; binary_exponent > 0; --binary_exponent) {
      multiply(2);
    }
    // m x 2^-k == m x 5^k x 10^-k
    for (; binary_exponent < 0; ++binary_exponent) {
      multiply(5);
      --exponent_;
    }
  }
  const std::string& digits() const { return digits_; }
  int exponent() const { return exponent_; }

 private:
  void multiply(int factor) {
    int carry = 0;
    for (auto it = digits_.rbegin(); it != digits_.rend(); ++it) {
      int product = (*it - '0') * factor + carry;
      *it = static_cast<char>('0' + product % 10);
      carry = product / 10;
    }
    if (carry > 0) {
      digits_.insert(digits_.begin(), static_cast<char>('0' + carry));
    }
  }
  std::string digits_;
  int exponent_ = 0;
};

std::string reference_fixed2(double value) {
  if (value == 0.0) {
    return "0.00";
  }
  ExactDecimal exact(std::fabs(value));
  // 17 significant digits as an integer s x 10^k, the 18th rounding half up.
  std::string digits = exact.digits();
  int k = exact.exponent() + static_cast<int>(digits.size()) - 18;
  digits.resize(18, '0');
  uint64_t eighteen = std::stoull(digits.substr(0, 18));
  uint64_t s = eighteen / 10 + (eighteen % 10 >= 5 ? 1 : 0);
  k += 1;
  // Hundredths, half away from zero.
  std::string hundredths;
  int shift = k + 2;
  if (shift >= 0) {
    hundredths = std::to_string(s) + std::string(static_cast<std::size_t>(shift), '0');
  } else if (-shift > 19) {
    hundredths = "0";
  } else {
    uint64_t unit = 1;
    for (int i = 0; i < -shift; ++i) {
      unit *= 10;
    }
    uint64_t q = s / unit;
    uint64_t r = s % unit;
    if (2 * r >= unit) {
      ++q;
    }
    hundredths = std::to_string(q);
  }
  while (hundredths.size() < 3) {
    hundredths.insert(hundredths.begin(), '0');
  }
  hundredths.insert(hundredths.end() - 2, '.');
  return (value < 0 ? "-" : "") + hundredths;
}

TEST(FormatFixed2, AgreesWithExactDecimalReference) {
  std::mt19937_64 random(8122026);
  std::uniform_real_distribution<double> scale(-8.0, 7.0);
  for (int round = 0; round < 100000; ++round) {
    double value;
    switch (round % 4) {
      case 0:  // any magnitude a real option can take, and far beyond
        value = std::pow(10.0, scale(random));
        break;
      case 1:  // near the halfway points of two decimals
        value = (static_cast<double>(random() % 10000000) + 0.5) / 100.0;
        break;
      case 2:  // random bit patterns of moderate exponent
      {
        uint64_t bits = (random() & 0x800FFFFFFFFFFFFFull) | (uint64_t{1000 + random() % 60} << 52);
        std::memcpy(&value, &bits, sizeof value);
        break;
      }
      default:  // neighbours of values with few decimals
        value = std::nextafter(static_cast<double>(random() % 100000) / 1000.0,
                               (random() & 1) ? 1e9 : -1e9);
        break;
    }
    if (random() & 1) {
      value = -value;
    }
    ASSERT_EQ(fixed2(value), reference_fixed2(value)) << "value bits " << std::hexfloat << value;
  }
}

}  // namespace

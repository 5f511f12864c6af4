#include "cli/fixed_format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr int kSignificant = 17;

// Every double's exact decimal expansion has at most 767 significant digits, so this many
// digits after the first are exact, not rounded.
constexpr int kExactPrecision = 770;

std::size_t copy_text(const char* text, char* out) {
  std::size_t length = std::strlen(text);
  std::memcpy(out, text, length);
  return length;
}

// Rounds the digit string digits[0..count) up by one unit in its last place. Returns true when
// the carry ran out of the front (all nines), leaving all zeros behind.
bool increment_digits(char* digits, int count) {
  for (int i = count - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  return true;
}

// The first 17 significant digits of magnitude > 0 (digits[0..17), the 18th rounding half up),
// and the decimal exponent of digits[0].
int seventeen_digits(double magnitude, char* digits) {
  // Exact expansion "d.ddd...e±x"; we need its first 18 digits and its exponent.
  char exact[kExactPrecision + 16];
  auto result = std::to_chars(exact, exact + sizeof exact, magnitude, std::chars_format::scientific,
                              kExactPrecision);
  digits[0] = exact[0];
  std::memcpy(digits + 1, exact + 2, kSignificant);  // skip the point
  const char* e = std::find(exact, result.ptr, 'e');
  int exponent = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, result.ptr, exponent);

  // Cut to 17 digits: the 18th rounds half up.
  if (digits[kSignificant] >= '5' && increment_digits(digits, kSignificant)) {
    digits[0] = '1';
    ++exponent;
  }
  return exponent;
}

}  // namespace

std::size_t format_fixed2(double value, char* out) {
  if (std::isnan(value)) {
    return copy_text("nan", out);
  }
  if (std::isinf(value)) {
    return copy_text(value < 0 ? "-inf" : "inf", out);
  }
  bool negative = value < 0;
  double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    return copy_text("0.00", out);
  }

  char digits[kSignificant + 1];
  const int exponent = seventeen_digits(magnitude, digits);

  // digits[k] stands for 10^(exponent - k). Hundredths are digit exponent + 2; the first dropped
  // digit, exponent + 3, decides the rounding (half away from zero on the 17-digit form).
  int last_kept = exponent + 2;
  int first_dropped = exponent + 3;
  bool round_up =
      first_dropped >= 0 && first_dropped < kSignificant && digits[first_dropped] >= '5';

  // The value in hundredths as decimal digits, behind three zeros that take a carry and make
  // sure there are digits for "0.0d".
  char hundredths[kFixed2MaxLength];
  int count = 0;
  hundredths[count++] = '0';
  hundredths[count++] = '0';
  hundredths[count++] = '0';
  for (int k = 0; k <= last_kept; ++k) {
    hundredths[count++] = k < kSignificant ? digits[k] : '0';
  }
  if (round_up) {
    increment_digits(hundredths, count);
  }
  // Drop leading zeros but keep at least "0.dd".
  int start = 0;
  while (count - start > 3 && hundredths[start] == '0') {
    ++start;
  }

  std::size_t length = 0;
  if (negative) {
    out[length++] = '-';
  }
  int integer_digits = count - start - 2;
  std::memcpy(out + length, hundredths + start, static_cast<std::size_t>(integer_digits));
  length += static_cast<std::size_t>(integer_digits);
  out[length++] = '.';
  out[length++] = hundredths[count - 2];
  out[length++] = hundredths[count - 1];
  return length;
}

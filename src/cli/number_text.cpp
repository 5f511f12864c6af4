#include "cli/number_text.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

const char* skip_space(const char* p) {
  while (is_space(*p)) {
    ++p;
  }
  return p;
}

// Consumes an optional sign; returns true for '-'.
bool take_sign(const char*& p) {
  if (*p == '+' || *p == '-') {
    return *p++ == '-';
  }
  return false;
}

const char* skip_digits(const char* p) {
  while (is_digit(*p)) {
    ++p;
  }
  return p;
}

// Accumulates decimal digits, stopping the growth at `cap` so long texts cannot overflow.
int64_t accumulate_saturated(const char* begin, const char* end, int64_t cap) {
  int64_t value = 0;
  for (const char* p = begin; p != end; ++p) {
    value = value * 10 + (*p - '0');
    if (value > cap) {
      value = cap;
    }
  }
  return value;
}

bool is_exponent_letter(char c) {
  return c == 'e' || c == 'E' || c == 'd' || c == 'D';
}

// Largest exponent kept: far beyond a double's reach (about 10^±324 with up to 10^6 digits of
// mantissa), small enough that sums of it cannot overflow.
constexpr int64_t kExponentCap = 100000000;

// Significant digits handed to the conversion. Deciding the nearest double never needs more than
// about 770; a dropped non-zero tail is marked by one extra non-zero digit.
constexpr int kMaxDigits = 800;

}  // namespace

const char* skip_white_space(const char* text) {
  return skip_space(text);
}

int32_t read_integer(const char* text, const char** end) {
  const char* p = skip_space(text);
  bool negative = take_sign(p);
  const char* digits_end = skip_digits(p);
  if (end != nullptr) {
    *end = digits_end == p ? text : digits_end;
  }
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = accumulate_saturated(p, digits_end, kCap);
  int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);  // -kCap is exactly INT32_MIN
}

RealText scan_real(const char* text) {
  RealText scanned;
  const char* p = skip_space(text);
  bool negative = take_sign(p);
  const char* integer_end = skip_digits(p);
  const char* fraction_begin = integer_end;
  const char* fraction_end = integer_end;
  if (*integer_end == '.') {
    fraction_begin = integer_end + 1;
    fraction_end = skip_digits(fraction_begin);
  }
  if (integer_end == p && fraction_end == fraction_begin) {
    scanned.end = text;  // no mantissa digit: nothing taken
    return scanned;
  }
  scanned.negative = negative;
  scanned.integer_digits = p;
  scanned.integer_count = static_cast<int>(integer_end - p);
  scanned.fraction_digits = fraction_begin;
  scanned.fraction_count = static_cast<int>(fraction_end - fraction_begin);
  scanned.end = fraction_end;

  // An exponent letter counts only when digits follow it (with an optional sign between).
  const char* e = fraction_end;
  if (is_exponent_letter(*e)) {
    const char* q = e + 1;
    bool exponent_negative = take_sign(q);
    const char* exponent_end = skip_digits(q);
    if (exponent_end != q) {
      int64_t magnitude = accumulate_saturated(q, exponent_end, kExponentCap);
      scanned.exponent = exponent_negative ? -magnitude : magnitude;
      scanned.end = exponent_end;
    }
  }
  return scanned;
}

double convert_real(const RealText& text) {
  // Normalise to 0.d1d2d3... x 10^exponent with d1 != 0, the form from_chars reads back exactly.
  char buffer[kMaxDigits + 32];
  char* out = buffer;
  *out++ = '0';
  *out++ = '.';
  int kept = 0;
  bool dropped_nonzero = false;
  bool seen_nonzero = false;
  // Place value of the first significant digit, counted like the point's position.
  int64_t point = text.integer_count;
  auto take = [&](char digit) {
    if (!seen_nonzero) {
      if (digit == '0') {
        --point;
        return;
      }
      seen_nonzero = true;
    }
    if (kept < kMaxDigits) {
      *out++ = digit;
      ++kept;
    } else if (digit != '0') {
      dropped_nonzero = true;
    }
  };
  for (int i = 0; i < text.integer_count; ++i) {
    take(text.integer_digits[i]);
  }
  for (int i = 0; i < text.fraction_count; ++i) {
    take(text.fraction_digits[i]);
  }
  double zero = text.negative ? -0.0 : 0.0;
  if (!seen_nonzero) {
    return zero;
  }
  if (dropped_nonzero) {
    *out++ = '1';
  }
  int64_t exponent = point + text.exponent;
  *out++ = 'e';
  out = std::to_chars(out, buffer + sizeof buffer, exponent).ptr;

  double magnitude = 0.0;
  auto result = std::from_chars(buffer, out, magnitude);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone when it rounds to zero or past the largest double.
    double infinity = std::numeric_limits<double>::infinity();
    magnitude = exponent > 0 ? infinity : 0.0;
  }
  return text.negative ? -magnitude : magnitude;
}

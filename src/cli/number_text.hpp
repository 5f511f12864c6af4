#pragma once

#include <cstdint>

// Option values are read by the tool's own grammar, not the C library's: no inf, nan or hex
// forms, 'd' and 'D' as exponent letters, trailing text ignored. Scanning the text is kept apart
// from converting what was scanned.

// Reads white space, an optional sign and decimal digits up to the first non-digit; no digits
// reads as 0. A number beyond the 32-bit range saturates at INT32_MIN or INT32_MAX, so it
// fails any range check instead of wrapping into range. `end`, where given, receives the first
// character not taken (`text` itself where there was no digit).
int32_t read_integer(const char* text, const char** end = nullptr);

// What scan_real kept of a real number's text.
struct RealText {
  bool negative = false;
  const char* integer_digits = nullptr;  // digits before the point
  int integer_count = 0;
  const char* fraction_digits = nullptr;  // digits after the point
  int fraction_count = 0;
  int64_t exponent = 0;       // explicit decimal exponent, saturated far beyond any double's reach
  const char* end = nullptr;  // first character not taken
};

// Scans [white space] [sign] mantissa [exponent]. The mantissa is digits with an optional point
// and at least one digit; the exponent is e, E, d or D, an optional sign and at least one digit.
// Without a mantissa digit nothing is kept (the value is 0.0).
RealText scan_real(const char* text);

// The nearest double to the scanned text: overflow gives an infinity of its sign, values below
// the normal range give subnormals, and below the smallest subnormal a zero of its sign.
double convert_real(const RealText& text);

// Skips blanks, tabs, line feeds, vertical tabs, form feeds and carriage returns.
const char* skip_white_space(const char* text);

inline double read_real(const char* text) {
  return convert_real(scan_real(text));
}

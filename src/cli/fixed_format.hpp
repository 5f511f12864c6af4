#pragma once

#include <cstddef>

// Longest text format_fixed2 writes: sign, 309 integer digits, point, two decimals.
inline constexpr std::size_t kFixed2MaxLength = 320;

// Writes `value` with two decimals, the way every "%.2f" of this tool prints: the value is
// first cut to 17 significant digits (the 18th digit rounding the 17th half up), and that
// form is rounded to two decimals with halves away from zero. Zero prints unsigned, negative
// zero included; a negative value that rounds to zero keeps its sign ("-0.00").
// Returns the number of characters written to `out` (no terminator).
std::size_t format_fixed2(double value, char* out);

#pragma once

// Reading the published hardest-to-round arguments (tests/data/).

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// "[-]0x1.hhhp[+-]d" exactly: the C library of some platforms reads no hexadecimal floats.
inline double parse_hex_float(const std::string& text) {
  std::size_t i = 0;
  bool negative = text[i] == '-';
  i += negative ? 3 : 2;  // the sign and "0x"
  uint64_t mantissa = 0;
  int fraction_digits = 0;
  bool after_point = false;
  for (; i < text.size() && text[i] != 'p'; ++i) {
    if (text[i] == '.') {
      after_point = true;
      continue;
    }
    mantissa = mantissa * 16 + std::stoul(text.substr(i, 1), nullptr, 16);
    fraction_digits += after_point ? 1 : 0;
  }
  int exponent = std::stoi(text.substr(i + 1));
  double value = std::ldexp(static_cast<double>(mantissa), exponent - 4 * fraction_digits);
  return negative ? -value : value;
}

// The arguments of the sine's list (its first column), each with both signs.
inline std::vector<double> hard_sine_arguments() {
  std::vector<double> arguments;
  std::ifstream in(std::string(TONEGEN_DATA_DIR) + "/sin_hard_cases.txt");
  std::string x_text;
  std::string y_text;
  while (in >> x_text >> y_text) {
    double x = parse_hex_float(x_text);
    arguments.push_back(x);
    arguments.push_back(-x);
  }
  return arguments;
}

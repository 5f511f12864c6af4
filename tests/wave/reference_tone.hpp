#pragma once

// The tone as the plainest possible loop: one correct_sin per frame (two with the phase LFO), every
// operation in the defined order, the bytes appended one by one. The production pipeline must
// give exactly these bytes.

#include <cstdint>
#include <vector>

#include "math/exact_math.hpp"
#include "app/settings.hpp"

inline std::vector<unsigned char> reference_tone(const GeneratorSettings& s) {
  const int32_t block_align = s.channels * s.bytes_per_sample;
  const int32_t frames = (s.file_size_bytes + block_align - 1) / block_align;
  const int64_t peak = (int64_t{1} << (s.bytes_per_sample * 8 - 1)) - 1;
  const double g = static_cast<double>(peak) * s.gain;
  const double carrier_increment = s.frequency * (TWO_PI / s.sample_rate);
  const double mod_increment = s.mod_frequency * (TWO_PI / s.sample_rate);
  double phase = 0.0;
  double mod_phase = 0.0;
  std::vector<unsigned char> bytes;
  bytes.reserve(static_cast<std::size_t>(frames) * block_align);
  for (int32_t n = frames - 1; n >= 0; --n) {
    double argument = phase;
    if (s.mod_frequency != 0.0) {
      argument = phase * (correct_sin(mod_phase) * s.mod_range_rad);
      mod_phase += mod_increment;
      if (mod_phase >= TWO_PI) {
        mod_phase -= TWO_PI;
      }
    }
    auto value = static_cast<int32_t>(correct_sin(argument) * g);
    phase += carrier_increment;
    if (phase >= TWO_PI) {
      phase -= TWO_PI;
    }
    uint32_t stored =
        s.bytes_per_sample == 1 ? static_cast<uint32_t>(value + 128) : static_cast<uint32_t>(value);
    for (int c = 0; c < s.channels; ++c) {
      for (int k = 0; k < s.bytes_per_sample; ++k) {
        bytes.push_back(static_cast<unsigned char>(stored >> (8 * k)));
      }
    }
  }
  return bytes;
}

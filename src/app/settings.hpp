#pragma once

#include <cstdint>

// A full turn in radians, as a double. Phases wrap at this value.
inline constexpr double TWO_PI = 6.283185307179586;

// Every parameter of a run and the writer's running state. One instance per run; it starts
// zeroed, set_defaults() fills it, parse_options() overwrites it, write_wave_file() reads it.
struct GeneratorSettings {
  const char* file_name = nullptr;  // borrowed: a literal or an argv string
  int32_t file_size_bytes = 0;      // requested size of the data chunk
  int32_t sample_rate = 0;          // Hz
  int32_t channels = 0;
  int32_t bytes_per_sample = 0;
  double frequency = 0.0;          // carrier, Hz
  double level_db = 0.0;           // as entered, for display
  double gain = 0.0;               // linear amplitude matching level_db
  double mod_frequency = 0.0;      // phase LFO, Hz; 0.0 switches it off
  double mod_range_percent = 0.0;  // as entered, for display
  double mod_range_rad = 0.0;      // matching mod_range_percent
  double carrier_phase = 0.0;      // radians
  double mod_phase = 0.0;          // radians
  char spinner = '\0';             // last progress character shown
};

void set_defaults(GeneratorSettings& settings);

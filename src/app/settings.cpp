#include "app/settings.hpp"

#include "cli/options.hpp"

void set_defaults(GeneratorSettings& settings) {
  settings.file_name = "output.wav";
  settings.file_size_bytes = 5000 * 1024;
  settings.sample_rate = 48000;
  settings.channels = 2;
  settings.bytes_per_sample = 2;
  settings.frequency = 440.0;
  // Each displayed value and its derived one are set together, as the parser does.
  settings.level_db = -3.0;
  settings.gain = db_to_gain(settings.level_db);
  settings.mod_frequency = 0.0;
  settings.mod_range_percent = 100.0;
  settings.mod_range_rad = percent_to_radians(settings.mod_range_percent);
}

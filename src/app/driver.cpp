#include "app/driver.hpp"

#include "app/settings.hpp"
#include "app/signals.hpp"
#include "cli/console.hpp"
#include "cli/options.hpp"
#include "cli/usage.hpp"
#include "wave/wave_writer.hpp"

int run_tonegen(int argc, const char* const* argv) {
  GeneratorSettings settings;
  set_defaults(settings);
  int status = parse_options(settings, argc, argv);
  if (status == kVersionRequested) {
    print_formatted("tonegen %s\n", TONEGEN_VERSION);
    return 0;
  }
  if (status != 0) {
    print_usage();
    return status;
  }

  // Where the tone itself goes to standard output, text there would corrupt it.
  console_keep_text_out_of(settings.file_name);
  print_formatted("Generating %s:\n", settings.file_name);
  print_formatted("Sine  LFO : %.2f Hz, max  : %.2f dB\n", settings.frequency, settings.level_db);
  print_formatted("Phase LFO : %.2f Hz, range: %.2f percent\n", settings.mod_frequency,
                  settings.mod_range_percent);
  print_formatted("PCM       : %i Bit, %i Hz, %i Ch\n", settings.bytes_per_sample * 8,
                  settings.sample_rate, settings.channels);

  status = write_wave_file(settings);
  if (stop_signal() != 0) {
    return status;  // the process ends by that signal; nothing more is said
  }
  if (status == 0) {
    print_formatted("done\n");
  } else {
    print_formatted("Error writing wave file!");
  }
  return status;
}

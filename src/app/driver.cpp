#include "app/driver.hpp"

#include <cstring>

#include "app/settings.hpp"
#include "app/signals.hpp"
#include "cli/console.hpp"
#include "cli/options.hpp"
#include "cli/usage.hpp"
#include "wave/wave_writer.hpp"

namespace {

const char* reason(int error) {
  return error == kFileInUse ? "in use by another run" : std::strerror(error);
}

void show_spinner(char shown) {
  print_formatted("%c%c", '\b', shown);
}

bool stop_requested() {
  return stop_signal() != 0;
}

}  // namespace

int run_tonegen(int argc, const char* const* argv) {
  GeneratorSettings settings;
  set_defaults(settings);
  // Where the tone itself goes to standard output, text there would corrupt it, the menu and
  // the messages about values too, so this is known before the options are read.
  const char* named = named_file(argc, argv);
  console_keep_text_out_of(named != nullptr ? named : settings.file_name);
  int status = parse_options(settings, argc, argv);
  if (status == kVersionRequested) {
    print_formatted("tonegen %s\n", TONEGEN_VERSION);
    return 0;
  }
  if (status != 0) {
    print_usage();
    return status;
  }

  print_formatted("Generating %s:\n", settings.file_name);
  print_formatted("Sine  LFO : %.2f Hz, max  : %.2f dB\n", settings.frequency, settings.level_db);
  print_formatted("Phase LFO : %.2f Hz, range: %.2f percent\n", settings.mod_frequency,
                  settings.mod_range_percent);
  print_formatted("PCM       : %i Bit, %i Hz, %i Ch\n", settings.bytes_per_sample * 8,
                  settings.sample_rate, settings.channels);
  console_flush();  // a reader of a pipe sees what is being made before it is made

  int error = 0;
  status = write_wave_file(settings, {show_spinner, stop_requested}, &error);
  if (stop_signal() != 0) {
    return status;  // the process ends by that signal; nothing more is said
  }
  if (status == 0) {
    print_formatted("done\n");
  } else {
    print_formatted("Error writing wave file!");
    print_error("%s: %s", settings.file_name, reason(error));
  }
  return status;
}

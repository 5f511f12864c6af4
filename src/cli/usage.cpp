#include "cli/usage.hpp"

#include "cli/console.hpp"

void print_usage() {
  print_formatted("\n");
  print_formatted("Wave generator options:\n");
  print_formatted("  %s\t show this option menu\n", "-?");
  print_formatted("File:\n");
  print_formatted("  %s\t the name of the output file (default: %s)\n", "-file", "output.wav");
  print_formatted("  %s\t output filesize in kB (default: %i)\n", "-kb", 5000);
  print_formatted("  %s\t the sample rate in Hz (default: %i)\n", "-sr", 48000);
  print_formatted("  %s\t the number of channels (default: %i)\n", "-ch", 2);
  print_formatted("  %s\t the number of bytes per sample (default: %i)\n", "-res", 2);
  print_formatted("Sine  LFO:\n");
  print_formatted("  %s\t LFO frequency in Hz (default: %.2f)\n", "-frq", 440.0);
  print_formatted("  %s\t attenuation in dB (default: %.2f)\n", "-db", -3.0);
  print_formatted("Phase LFO:\n");
  print_formatted("  %s\t modulation frequency in Hz (default: %.2f)\n", "-mfrq", 0.0);
  print_formatted("  %s\t modulation range in percent (100%% = 2PI) (default: %.2f)\n", "-mran",
                  100.0);
}

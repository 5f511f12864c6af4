#include <cstring>

#include "app/driver.hpp"
#include "app/signals.hpp"
#include "cli/console.hpp"

int main(int argc, char** argv) {
  console_init();
  install_signal_handlers();
  int status = run_tonegen(argc, argv);
  // Flushed here, not at exit, so a broken pipe on the last text still ends the run by its signal.
  console_flush();
  if (int signal = stop_signal(); signal != 0) {
    end_by_signal(signal);
  }
  // Text that could not be written is a failure of the run, though the file stays.
  if (int error = console_text_error(); error != 0) {
    print_error("standard output: %s", std::strerror(error));
    return -1;
  }
  return status;
}

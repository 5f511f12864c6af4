#include <cstdio>

#include "app/driver.hpp"
#include "app/signals.hpp"
#include "cli/console.hpp"

int main(int argc, char** argv) {
  console_init();
  install_signal_handlers();
  int status = run_tonegen(argc, argv);
  // Flushed here, not at exit, so a broken pipe on the last text still ends the run by its signal.
  std::fflush(stdout);
  if (int signal = stop_signal(); signal != 0) {
    end_by_signal(signal);
  }
  return status;
}

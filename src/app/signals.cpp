#include "app/signals.hpp"

#include <csignal>
#include <cstdlib>

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

// All the work happens in the writer's loop: the handler only marks. A second signal while the
// file is being mended is marked too, and so cannot cut the mending short.
void mark_stop(int signal) {
#if !defined(SA_RESTART)
  std::signal(signal, mark_stop);  // where a handler runs once, it is put back for the next
#endif
  if (g_stop_signal == 0) {
    g_stop_signal = signal;
  }
}

const int kStopSignals[] = {
    SIGINT,  SIGTERM,
#if defined(SIGHUP)
    SIGHUP,
#endif
#if defined(SIGQUIT)
    SIGQUIT,
#endif
#if defined(SIGPIPE)
    SIGPIPE,
#endif
};

}  // namespace

#if defined(SA_RESTART)
void install_signal_handlers() {
  for (int signal : kStopSignals) {
    struct sigaction action = {};
    if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
      continue;
    }
    action.sa_handler = mark_stop;
    action.sa_flags = SA_RESTART;  // a write under way goes on; the loop sees the mark after it
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
  // The default action of a write past the file-size limit ends the process before the file can
  // be mended. Ignored, the write fails with an error and the failed-write path runs.
  std::signal(SIGXFSZ, SIG_IGN);
}
#else
void install_signal_handlers() {
  for (int signal : kStopSignals) {
    if (std::signal(signal, mark_stop) == SIG_IGN) {
      std::signal(signal, SIG_IGN);
    }
  }
}
#endif

int stop_signal() {
  return g_stop_signal;
}

void end_by_signal(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  // Only if the signal could not end the process (it is blocked, say): still not a success.
  std::_Exit(128 + signal);
}

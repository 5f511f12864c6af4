#pragma once

// How a run ends when asked to from outside. An interrupt, a termination, a hang-up, a quit or a
// broken pipe only marks the run as stopped; the writer looks at the mark between blocks, leaves
// an honest file, and the process then ends by that same signal, as the caller expects. A write
// past the file-size limit fails like any other write instead of ending the process.

// Installs the handlers. A signal the caller already ignores (a background job's interrupt, a
// pipe the caller wants to fail quietly) stays ignored.
void install_signal_handlers();

// The first signal that asked the run to stop, or 0.
int stop_signal();

// Ends the process by `signal`, as its default action would. Flush standard output first: what
// is still buffered is lost.
[[noreturn]] void end_by_signal(int signal);

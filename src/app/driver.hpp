#pragma once

// One run of the tool: defaults, options, summary, the file. Returns the exit status, 0 after
// a written file or "--version", and -1 otherwise. After a stop signal it returns at once with
// nothing more printed; the caller then ends the process by that signal.
int run_tonegen(int argc, const char* const* argv);

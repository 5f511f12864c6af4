#pragma once

// One run of the tool: defaults, options, summary, the file. Returns the exit status, 0 after
// a written file and -1 otherwise.
int run_tonegen(int argc, const char* const* argv);

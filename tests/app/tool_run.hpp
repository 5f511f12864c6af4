#pragma once

// Runs the built tonegen executable as a separate process, the way a user or script would.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct ToolRun {
  int status = -1000;  // exit status, or -1000 if it did not exit normally
  int signal = 0;      // the signal that ended it, or 0
  std::string out;     // everything written to standard output
  std::string err;     // everything written to standard error
};

struct RunOptions {
  bool close_stdout = false;    // start the tool with descriptor 1 closed
  bool as_nobody = false;       // drop to the unprivileged user 65534 first (needs root)
  long file_size_limit = 0;     // bytes a file may grow to (0: no limit)
  bool ignore_sigxfsz = false;  // start with the file-size signal ignored, as some callers do
  bool ignore_sigpipe = false;  // a write to a pipe with no reader fails instead of killing
  std::string stdout_path;      // standard output redirected to this file (else run.out's pipe)
  int stdout_fd = -1;           // or this descriptor, shared as a shell shares a redirect
  std::string executable = TONEGEN_EXE;
  std::function<void(pid_t)> while_running;  // called with the tool's process id once started
};

// Runs the tool in `folder` with `args` after the program path. No shell is involved, so the
// arguments arrive exactly as given; every signal starts at its default action and unblocked,
// as a shell leaves them for a command in the foreground.
ToolRun run_tool(const std::filesystem::path& folder, const std::vector<std::string>& args,
                 const RunOptions& options = {});

// A fresh, empty working folder for the running test.
std::filesystem::path fresh_folder();

// The spinner's output for a file with `steps` steps.
std::string spinner(int steps);

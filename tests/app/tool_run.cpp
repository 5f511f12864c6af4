#include "app/tool_run.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "wave/wave_file.hpp"

namespace fs = std::filesystem;

ToolRun run_tool(const fs::path& folder, const std::vector<std::string>& args,
                 const RunOptions& options) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(options.executable.c_str()));
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  fs::path err_path = folder.parent_path() / (folder.filename().string() + ".stderr");

  int out_pipe[2];
  if (pipe(out_pipe) != 0) {
    return {};
  }
  pid_t child = fork();
  if (child == 0) {
    close(out_pipe[0]);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    close(err);
    for (int signal = 1; signal < NSIG; ++signal) {
      std::signal(signal, SIG_DFL);  // fails harmlessly for the few that cannot be caught
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (options.close_stdout) {
      close(1);
    } else if (options.stdout_fd >= 0) {
      dup2(options.stdout_fd, 1);
    } else if (!options.stdout_path.empty()) {
      int out = open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      close(out);
    } else {
      dup2(out_pipe[1], 1);
    }
    close(out_pipe[1]);
    if (options.as_nobody &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(126);
    }
    if (options.file_size_limit > 0) {
      rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                   static_cast<rlim_t>(options.file_size_limit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        _exit(126);
      }
    }
    if (options.ignore_sigxfsz) {
      std::signal(SIGXFSZ, SIG_IGN);
    }
    if (options.ignore_sigpipe) {
      std::signal(SIGPIPE, SIG_IGN);
    }
    if (chdir(folder.c_str()) != 0) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  if (options.while_running) {
    options.while_running(child);
  }
  ToolRun run;
  char chunk[65536];
  ssize_t n;
  while ((n = read(out_pipe[0], chunk, sizeof chunk)) > 0) {
    run.out.append(chunk, static_cast<std::size_t>(n));
  }
  close(out_pipe[0]);
  int raw = 0;
  waitpid(child, &raw, 0);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1000;
  run.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  std::vector<unsigned char> err = read_file(err_path.string());
  run.err.assign(err.begin(), err.end());
  fs::remove(err_path);
  return run;
}

fs::path fresh_folder() {
  fs::path folder = temp_path("run");
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string spinner(int steps) {
  std::string s;
  for (int i = 0; i < steps; ++i) {
    s += i % 2 == 0 ? "\b-" : "\b|";
  }
  return s;
}

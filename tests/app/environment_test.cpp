// End to end under a hostile environment: unwritable or odd paths, huge arguments, closed
// standard output. Every case ends with the defined message and status or with a correct file,
// and nothing but the named file is created or changed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/tool_run.hpp"
#include "wave/wave_file.hpp"

namespace {

namespace fs = std::filesystem;

// Every entry below `folder` with its size (-1 for folders), to see what a run touched.
std::map<std::string, long> listing(const fs::path& folder) {
  std::map<std::string, long> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    long size = entry.is_regular_file() ? static_cast<long>(entry.file_size()) : -1;
    entries[fs::relative(entry.path(), folder).string()] = size;
  }
  return entries;
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string summary(const std::string& name, const std::string& frequency = "440.00",
                    const std::string& pcm = "16 Bit, 48000 Hz, 2 Ch") {
  return "Generating " + name + ":\nSine  LFO : " + frequency +
         " Hz, max  : -3.00 dB\nPhase LFO : 0.00 Hz, range: 100.00 percent\nPCM       : " + pcm +
         "\n";
}

const char* const kWriteError = "Error writing wave file!";

// The reason a write failed, as the tool says it on standard error.
std::string reason(const std::string& path, const std::string& why) {
  return "tonegen: " + path + ": " + why + "\n";
}

TEST(Environment, PathsThatCannotBeWritten) {
  struct Case {
    const char* name;
    std::string path;
    void (*prepare)(const fs::path& folder);
    const char* why;
  };
  const Case cases[] = {
      {"a folder", "existing", [](const fs::path& f) { fs::create_directory(f / "existing"); },
       "Is a directory"},
      {"below a regular file", "plain/x.wav",
       [](const fs::path& f) { write_text(f / "plain", "not a folder"); }, "Not a directory"},
      {"a name too long for the file system", std::string(300, 'n'), nullptr, "File name too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path folder = fresh_folder();
    if (c.prepare != nullptr) {
      c.prepare(folder);
    }
    auto before = listing(folder);
    ToolRun run = run_tool(folder, {"-file", c.path, "-kb", "1"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, summary(c.path) + kWriteError);
    EXPECT_EQ(run.err, reason(c.path, c.why));
    EXPECT_EQ(listing(folder), before);
  }
}

// Permissions do not stop root, so as root these run as the unprivileged user nobody.
TEST(Environment, WithoutWritePermission) {
  bool root = geteuid() == 0;
  RunOptions options;
  options.as_nobody = root;
  struct Case {
    const char* name;
    std::string path;
    void (*prepare)(const fs::path& folder);
  };
  const Case cases[] = {
      {"a read-only file in a writable folder", "locked.wav",
       [](const fs::path& f) {
         write_text(f / "locked.wav", "keep me");
         fs::permissions(f / "locked.wav",
                         fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         fs::permissions(f, fs::perms::all);
       }},
      {"a read-only folder", "new.wav",
       [](const fs::path& f) {
         fs::permissions(f, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path folder = fresh_folder();
    // A copy of the executable that the unprivileged user can surely reach.
    fs::path exe = folder.parent_path() / "tonegen-copy";
    fs::copy_file(TONEGEN_EXE, exe, fs::copy_options::overwrite_existing);
    options.executable = exe.string();
    c.prepare(folder);
    auto before = listing(folder);
    ToolRun run = run_tool(folder, {"-file", c.path, "-kb", "1"}, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, summary(c.path) + kWriteError);
    EXPECT_EQ(run.err, reason(c.path, "Permission denied"));
    EXPECT_EQ(listing(folder), before);
    fs::permissions(folder, fs::perms::all);
  }
}

TEST(Environment, UnusualButValidArguments) {
  const std::string odd_name =
      "t\xc3\xb6ne \xe9 \xe2\x98\xba 'q'.wav";  // UTF-8, a stray byte, quotes
  const std::string zeros(100 * 1024, '0');
  const std::string long_name(100 * 1024, 'x');
  std::vector<std::string> many(9998, "x");
  many.push_back("-kb");
  many.push_back("1");

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string file;  // expected to exist with 1 kB of data, or empty for none
  };
  const Case cases[] = {
      {"non-ASCII and blanks in the name",
       {"-file", odd_name, "-kb", "1"},
       0,
       summary(odd_name) + spinner(1) + "done\n",
       odd_name},
      {"a 100 KiB number",
       {"-frq", zeros + "440", "-kb", "1"},
       0,
       summary("output.wav") + spinner(1) + "done\n",
       "output.wav"},
      {"a 100 KiB file name",
       {"-file", long_name, "-kb", "1"},
       255,
       summary(long_name) + kWriteError,
       ""},
      {"10,000 arguments", many, 0, summary("output.wav") + spinner(1) + "done\n", "output.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path folder = fresh_folder();
    ToolRun run = run_tool(folder, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    std::map<std::string, long> expected;
    if (!c.file.empty()) {
      expected[c.file] = 44 + 1024;
    }
    EXPECT_EQ(listing(folder), expected);
  }
}

// With descriptor 1 closed, the tone file must not become descriptor 1, or the summary and the
// spinner, once stdio flushes them, land in the samples. The file is a FIFO: opening it waits
// for this test to read it, and the tool then waits with more than a pipe holds, so its
// descriptor 1 can be looked at while it runs. Its text was lost, so the run fails; the file stays.
TEST(Environment, ClosedStandardOutput) {
  fs::path folder = fresh_folder();
  ASSERT_EQ(mkfifo((folder / "output.wav").c_str(), 0644), 0);
  std::string descriptor_1;
  std::vector<unsigned char> tone;
  RunOptions options;
  options.close_stdout = true;
  options.while_running = [&](pid_t tool) {
    std::ifstream fifo(folder / "output.wav", std::ios::binary);  // waits for the tool's open
    std::error_code error;
    descriptor_1 = fs::read_symlink("/proc/" + std::to_string(tool) + "/fd/1", error).string();
    tone.assign(std::istreambuf_iterator<char>(fifo), std::istreambuf_iterator<char>());
  };
  ToolRun run = run_tool(folder, {"-kb", "100", "-res", "1", "-ch", "1"}, options);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, reason("standard output", "Bad file descriptor"));
  EXPECT_EQ(descriptor_1, "/dev/null");
  ASSERT_EQ(tone.size(), 44u + 102400u);
  // The frames are the tone, not text: 8-bit samples of 440 Hz at -3 dB.
  EXPECT_EQ(std::vector<unsigned char>(tone.begin() + 44, tone.begin() + 50),
            (std::vector<unsigned char>{0x80, 0x85, 0x8a, 0x8f, 0x94, 0x99}));
}

// The data bytes of an honest file that `path` holds (after `skip` bytes of other text), checked
// against the header and against `whole`, the complete file of the same settings (or as much of
// it as was made).
long honest_data(const fs::path& path, const std::vector<unsigned char>& whole, long skip = 0) {
  std::vector<unsigned char> cut = read_file(path.string());
  cut.erase(cut.begin(), cut.begin() + std::min<long>(skip, cut.size()));
  if (cut.size() < 44 || whole.size() < 44) {
    ADD_FAILURE() << "no header";
    return -1;
  }
  uint32_t data = le32(cut, 40);
  uint32_t block_align = le16(whole, 32);
  EXPECT_EQ(cut.size(), 44 + data);
  EXPECT_EQ(le32(cut, 4), 36 + data);
  EXPECT_EQ(data % block_align, 0u);
  EXPECT_EQ(data / block_align % 2 * (block_align % 2), 0u);  // no pad byte missing
  // Apart from those two fields, the bytes are those of the complete file.
  EXPECT_TRUE(std::equal(cut.begin() + 8, cut.begin() + 40, whole.begin() + 8));
  std::size_t compared = std::min(cut.size(), whole.size());
  EXPECT_TRUE(std::equal(cut.begin() + 44, cut.begin() + compared, whole.begin() + 44));
  return data;
}

// A write that fails part way (here at a file-size limit) leaves a WAVE file of the whole frames
// that arrived, and both size fields say so: no reader is promised data that is not there. The
// limit's signal is at its default action, as a shell leaves it, unless the caller ignores it.
// Written through a link, the link stays and its target is cut, or emptied where not even a
// header arrived.
TEST(Environment, FailedWriteKeepsWholeFrames) {
  struct Case {
    std::vector<std::string> args;
    long limit;
    long kept;  // data bytes left; -1: no file
    bool caller_ignores_signal;
    bool through_link = false;
  };
  const Case cases[] = {
      {{"-kb", "2000"}, 1 << 20, 1048532, false},  // the limit falls on a frame's end
      {{"-kb", "2000"}, 1 << 20, 1048532, true},
      // 349,511 frames and part of one arrive; an odd-sized frame count is kept even so that the
      // data chunk needs no pad byte
      {{"-kb", "2000", "-res", "3", "-ch", "1"}, (1 << 20) + 3, 1048530, false},
      {{"-kb", "20", "-res", "4", "-ch", "3"}, 1000, 948, false},  // 79 frames and 8 bytes
      {{"-kb", "10"}, 1024, 980, false, true},
      {{"-kb", "10"}, 1, -1, false},
      {{"-kb", "10"}, 1, -1, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    fs::path folder = fresh_folder();
    if (c.through_link) {
      write_text(folder / "target", "precious");
      fs::create_symlink("target", folder / "cut.wav");
    }
    RunOptions limited;
    limited.file_size_limit = c.limit;
    limited.ignore_sigxfsz = c.caller_ignores_signal;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-file", "cut.wav"});
    ToolRun run = run_tool(folder, args, limited);
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.out.starts_with(summary("cut.wav").substr(0, 18)));
    EXPECT_TRUE(run.out.ends_with(kWriteError));
    if (c.limit > 100) {  // below, the limit cuts standard error's file too
      EXPECT_EQ(run.err, reason("cut.wav", "File too large"));
    }
    EXPECT_EQ(fs::is_symlink(folder / "cut.wav"), c.through_link);
    if (c.kept < 0) {
      EXPECT_EQ(c.through_link ? fs::file_size(folder / "target") : 0, 0u);
      EXPECT_EQ(fs::exists(folder / "cut.wav"), c.through_link);
      continue;
    }
    args.back() = "whole.wav";
    ASSERT_EQ(run_tool(folder, args).status, 0);
    EXPECT_EQ(honest_data(folder / "cut.wav", read_file((folder / "whole.wav").string())), c.kept);
  }
}

// Interrupted, terminated or hung up at any moment, the tool stops between blocks, leaves an
// honest file of whole frames, lets the text it printed reach a redirected log, and ends by the
// same signal. A second signal during the mending changes nothing.
TEST(Environment, StopSignalsLeaveAnHonestFile) {
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  const long moments[] = {1, 60 << 20};  // bytes in the file when the signal is sent
  fs::path folder = fresh_folder();
  const std::vector<std::string> args = {"-kb", "1000000", "-res", "3", "-ch", "1", "-file"};
  std::vector<std::string> start = args;
  start.push_back("start.wav");
  start[1] = "70000";
  ASSERT_EQ(run_tool(folder, start).status, 0);
  std::vector<unsigned char> whole = read_file((folder / "start.wav").string());
  for (int signal : signals) {
    for (long moment : moments) {
      SCOPED_TRACE(std::to_string(signal) + " at " + std::to_string(moment));
      fs::remove(folder / "t.wav");
      RunOptions options;
      options.while_running = [&](pid_t tool) {
        std::error_code error;
        uintmax_t size = 0;
        while ((size = fs::file_size(folder / "t.wav", error), error) ||
               size < static_cast<uintmax_t>(moment)) {
          usleep(1000);
        }
        kill(tool, signal);
        kill(tool, signal);
      };
      std::vector<std::string> stopped = args;
      stopped.push_back("t.wav");
      ToolRun run = run_tool(folder, stopped, options);
      EXPECT_EQ(run.signal, signal);
      std::string text = summary("t.wav", "440.00", "24 Bit, 48000 Hz, 1 Ch");
      ASSERT_TRUE(run.out.starts_with(text));
      EXPECT_EQ(run.out.find_first_not_of("\b-|", text.size()), std::string::npos);
      long data = honest_data(folder / "t.wav", whole);
      EXPECT_GE(data, moment - 44);
      EXPECT_LT(data, 1000000L * 1024 / 2);  // stopped, not finished
    }
  }
}

// The tone file may be standard output itself, through a pipe or a redirect: the text then goes
// to standard error, the menu and messages about values too, and the tone's bytes are those a
// named file gets. They are written where standard output stands, as a shell shares it: what is
// in the file before and after stays, in append mode too. A failed run cuts only its own bytes.
TEST(Environment, StandardOutputAsTheFile) {
  fs::path folder = fresh_folder();
  ASSERT_EQ(run_tool(folder, {"-kb", "3000", "-file", "named.wav"}).status, 0);
  std::vector<unsigned char> named_bytes = read_file((folder / "named.wav").string());
  const std::string named(named_bytes.begin(), named_bytes.end());
  const std::string text = summary("/dev/stdout") + spinner(8) + "done\n";

  ToolRun piped = run_tool(folder, {"-kb", "3000", "-file", "/dev/stdout"});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, text);
  EXPECT_TRUE(piped.out == named);

  RunOptions redirect;
  redirect.stdout_path = (folder / "redirected.wav").string();
  for (const char* name : {"/dev/stdout", "/proc/self/fd/1", "redirected.wav"}) {
    SCOPED_TRACE(name);
    ToolRun run = run_tool(folder, {"-kb", "3000", "-file", name}, redirect);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.ends_with("done\n"));
    EXPECT_TRUE(read_file(redirect.stdout_path) == named_bytes);
  }

  struct Shared {
    const char* name;
    int flags;
    std::string before, after;
    int runs;
    long limit;        // file-size limit, 0 for none
    std::string left;  // the tone's part of the file afterwards
  };
  const Shared cases[] = {
      {"text before and after", O_TRUNC, "HEADER\n", "TRAILER\n", 1, 0, named},
      {"two runs", O_TRUNC, "", "", 2, 0, named + named},
      {"appended", O_APPEND, "earlier\n", "TRAILER\n", 1, 0, named},
      // 993 bytes arrive: 237 frames of 4 are kept; 10 bytes are not even a header
      {"cut", O_APPEND, "HEADER\n", "", 1, 1000, "an honest file"},
      {"taken back", O_APPEND, "HEADER\n", "", 1, 17, ""},
  };
  for (const Shared& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path path = folder / "shared.wav";
    fs::remove(path);
    RunOptions options;
    options.stdout_fd = open(path.c_str(), O_WRONLY | O_CREAT | c.flags, 0644);
    options.file_size_limit = c.limit;
    ASSERT_EQ(write(options.stdout_fd, c.before.data(), c.before.size()), long(c.before.size()));
    for (int i = 0; i < c.runs; ++i) {
      EXPECT_EQ(run_tool(folder, {"-kb", "3000", "-file", "/dev/stdout"}, options).status,
                c.limit == 0 ? 0 : 255);
    }
    ASSERT_EQ(write(options.stdout_fd, c.after.data(), c.after.size()), long(c.after.size()));
    close(options.stdout_fd);
    std::vector<unsigned char> bytes = read_file(path.string());
    std::string file(bytes.begin(), bytes.end());
    if (c.limit == 0 || c.left.empty()) {
      EXPECT_TRUE(file == c.before + c.left + c.after);
    } else {
      EXPECT_EQ(honest_data(path, named_bytes, c.before.size()), 948);
    }
  }
}

// One run at a time per file: a second run that finds it being written touches nothing and
// says so; the first one's file is whole. The first run is held still while the second runs.
TEST(Environment, FileInUseByAnotherRun) {
  fs::path folder = fresh_folder();
  ToolRun second;
  RunOptions hold;
  hold.while_running = [&](pid_t first) {
    std::error_code error;
    while (fs::file_size(folder / "same.wav", error) == 0 || error) {
      usleep(1000);
    }
    kill(first, SIGSTOP);
    second = run_tool(folder, {"-file", "same.wav", "-kb", "100", "-res", "3", "-ch", "1"});
    kill(first, SIGCONT);
  };
  ToolRun first = run_tool(folder, {"-file", "same.wav", "-kb", "200000"}, hold);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(second.status, 255);
  EXPECT_TRUE(second.out.ends_with(kWriteError));
  EXPECT_EQ(second.err, reason("same.wav", "in use by another run"));
  std::vector<unsigned char> file = read_file((folder / "same.wav").string());
  ASSERT_EQ(file.size(), 44u + 200000 * 1024);
  EXPECT_EQ(le16(file, 34), 16u);
}

// Only a regular file is cut or removed: a FIFO whose reader went away stays. As a shell starts
// it, the tool then ends by the broken pipe; a caller that ignores that signal gets a failed write.
TEST(Environment, FailedWriteLeavesAFifo) {
  for (bool caller_ignores_signal : {false, true}) {
    SCOPED_TRACE(caller_ignores_signal);
    fs::path folder = fresh_folder();
    ASSERT_EQ(mkfifo((folder / "tone").c_str(), 0644), 0);
    RunOptions options;
    options.ignore_sigpipe = caller_ignores_signal;
    options.while_running = [&](pid_t) {
      std::ifstream fifo(folder / "tone", std::ios::binary);
      char head[4096];
      fifo.read(head, sizeof head);
    };
    ToolRun run = run_tool(folder, {"-file", "tone", "-kb", "10000"}, options);
    if (caller_ignores_signal) {
      EXPECT_EQ(run.status, 255);
      EXPECT_TRUE(run.out.ends_with(kWriteError));
    } else {
      EXPECT_EQ(run.signal, SIGPIPE);
      EXPECT_EQ(run.out.find(kWriteError), std::string::npos);
    }
    EXPECT_TRUE(fs::is_fifo(folder / "tone"));
  }
}

}  // namespace

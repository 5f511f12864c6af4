// End to end under a hostile environment: unwritable or odd paths, huge arguments, closed
// standard output. Every case ends with the defined message and status or with a correct file,
// and nothing but the named file is created or changed.

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

TEST(Environment, PathsThatCannotBeWritten) {
  struct Case {
    const char* name;
    std::string path;
    void (*prepare)(const fs::path& folder);
  };
  const Case cases[] = {
      {"a folder", "existing", [](const fs::path& f) { fs::create_directory(f / "existing"); }},
      {"below a regular file", "plain/x.wav",
       [](const fs::path& f) { write_text(f / "plain", "not a folder"); }},
      {"a name too long for the file system", std::string(300, 'n'), nullptr},
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
    EXPECT_EQ(run.err, "");
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
// descriptor 1 can be looked at while it runs.
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
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(descriptor_1, "/dev/null");
  ASSERT_EQ(tone.size(), 44u + 102400u);
  // The frames are the tone, not text: 8-bit samples of 440 Hz at -3 dB.
  EXPECT_EQ(std::vector<unsigned char>(tone.begin() + 44, tone.begin() + 50),
            (std::vector<unsigned char>{0x80, 0x85, 0x8a, 0x8f, 0x94, 0x99}));
}

// The data bytes of an honest file that `path` holds, checked against the header and against
// `whole`, the complete file of the same settings (or as much of it as was made).
long honest_data(const fs::path& path, const std::vector<unsigned char>& whole) {
  std::vector<unsigned char> cut = read_file(path.string());
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
TEST(Environment, FailedWriteKeepsWholeFrames) {
  struct Case {
    std::vector<std::string> args;
    long limit;
    uint32_t kept;  // data bytes left
    bool caller_ignores_signal;
  };
  const Case cases[] = {
      {{"-kb", "2000"}, 1 << 20, 1048532, false},  // the limit falls on a frame's end
      {{"-kb", "2000"}, 1 << 20, 1048532, true},
      // 349,511 frames and part of one arrive; an odd-sized frame count is kept even so that the
      // data chunk needs no pad byte
      {{"-kb", "2000", "-res", "3", "-ch", "1"}, (1 << 20) + 3, 1048530, false},
      {{"-kb", "20", "-res", "4", "-ch", "3"}, 1000, 948, false},  // 79 frames and 8 bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    fs::path folder = fresh_folder();
    RunOptions limited;
    limited.file_size_limit = c.limit;
    limited.ignore_sigxfsz = c.caller_ignores_signal;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-file", "cut.wav"});
    ToolRun run = run_tool(folder, args, limited);
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.out.starts_with(summary("cut.wav").substr(0, 18)));
    EXPECT_TRUE(run.out.ends_with(kWriteError));
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
// to standard error and the tone's bytes are those a named file gets.
TEST(Environment, StandardOutputAsTheFile) {
  fs::path folder = fresh_folder();
  ASSERT_EQ(run_tool(folder, {"-kb", "3000", "-file", "named.wav"}).status, 0);
  std::vector<unsigned char> named = read_file((folder / "named.wav").string());
  const std::string text = summary("/dev/stdout") + spinner(8) + "done\n";

  ToolRun piped = run_tool(folder, {"-kb", "3000", "-file", "/dev/stdout"});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, text);
  EXPECT_TRUE(piped.out == std::string(named.begin(), named.end()));

  RunOptions redirect;
  redirect.stdout_path = (folder / "redirected.wav").string();
  for (const char* name : {"/dev/stdout", "/proc/self/fd/1", "redirected.wav"}) {
    SCOPED_TRACE(name);
    ToolRun run = run_tool(folder, {"-kb", "3000", "-file", name}, redirect);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.ends_with("done\n"));
    EXPECT_TRUE(read_file(redirect.stdout_path) == named);
  }
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

// End to end: the built executable, its standard output, exit status and file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_run.hpp"
#include "wave/wave_file.hpp"

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "\n"
    "Wave generator options:\n"
    "  -?\t show this option menu\n"
    "File:\n"
    "  -file\t the name of the output file (default: output.wav)\n"
    "  -kb\t output filesize in kB (default: 5000)\n"
    "  -sr\t the sample rate in Hz (default: 48000)\n"
    "  -ch\t the number of channels (default: 2)\n"
    "  -res\t the number of bytes per sample (default: 2)\n"
    "Sine  LFO:\n"
    "  -frq\t LFO frequency in Hz (default: 440.00)\n"
    "  -db\t attenuation in dB (default: -3.00)\n"
    "Phase LFO:\n"
    "  -mfrq\t modulation frequency in Hz (default: 0.00)\n"
    "  -mran\t modulation range in percent (100% = 2PI) (default: 100.00)\n";

const char* const kFileSizeMessage =
    "ERROR: Illegal filesize. Enter a value between 1 and 1000000 kB.\n";

const char* const kDefaultSummary =
    "Generating output.wav:\n"
    "Sine  LFO : 440.00 Hz, max  : -3.00 dB\n"
    "Phase LFO : 0.00 Hz, range: 100.00 percent\n"
    "PCM       : 16 Bit, 48000 Hz, 2 Ch\n";

TEST(Tonegen, DefaultRun) {
  fs::path folder = fresh_folder();
  ToolRun run = run_tool(folder, {});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string(kDefaultSummary) + spinner(13) + "done\n");
  EXPECT_EQ(run.err, "");
  std::vector<unsigned char> b = read_file((folder / "output.wav").string());
  ASSERT_EQ(b.size(), 5120044u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(le32(b, 4), 5120036u);
  EXPECT_EQ(le16(b, 22), 2u);
  EXPECT_EQ(le32(b, 24), 48000u);
  EXPECT_EQ(le32(b, 28), 192000u);
  EXPECT_EQ(le16(b, 32), 4u);
  EXPECT_EQ(le16(b, 34), 16u);
  EXPECT_EQ(le32(b, 40), 5120000u);
  // Second frame: sin(440 x 2pi/48000) x 32767 x 0.7079..., truncated, in both channels.
  EXPECT_EQ(le16(b, 48), 1335u);
  EXPECT_EQ(le16(b, 50), 1335u);
}

TEST(Tonegen, EndsWithUsageAndNoFile) {
  struct Case {
    std::vector<std::string> args;
    std::string before_usage;
  };
  const Case cases[] = {
      {{"-?"}, ""},
      {{"-frq", "1000", "-?"}, ""},
      // The usual spellings of help, which would otherwise be ignored as unknown options.
      {{"-h"}, ""},
      {{"-kb", "10", "-help"}, ""},
      {{"--help", "--version"}, ""},
      {{"-sr", "999"}, "Illegal samplerate. Enter a value between 1000 and 96000 Hz.\n"},
      {{"-kb", "4294967297"}, kFileSizeMessage},
      {{"-db", "-46"}, "Illegal damping. Enter a value between -45.00 and 0.00 dB.\n"},
      // standard output is the file: all text goes to standard error, wherever -file stands
      {{"-file", "/dev/stdout", "-kb", "0"}, kFileSizeMessage},
      {{"-kb", "0", "-file", "/dev/stdout"}, kFileSizeMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    fs::path folder = fresh_folder();
    ToolRun run = run_tool(folder, c.args);
    EXPECT_EQ(run.status, 255);
    bool to_stderr = c.args[0] == "-file" || c.args.back() == "/dev/stdout";
    EXPECT_EQ(to_stderr ? run.err : run.out, c.before_usage + kUsage);
    EXPECT_EQ(to_stderr ? run.out : run.err, "");
    EXPECT_TRUE(fs::is_empty(folder));
  }
}

TEST(Tonegen, VersionTouchesNoFile) {
  for (const auto& args :
       {std::vector<std::string>{"--version"}, {"-kb", "10", "--version", "-h"}}) {
    fs::path folder = fresh_folder();
    ToolRun run = run_tool(folder, args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "tonegen " TONEGEN_VERSION "\n");
    EXPECT_TRUE(fs::is_empty(folder));
  }
}

TEST(Tonegen, WriteFailuresAfterTheSummary) {
  struct Case {
    std::string path;
    std::string spinner;
    std::string why;
  };
  const Case cases[] = {
      // never opened: no spinner either
      {"missing-folder/x.wav", "", "No such file or directory"},
      {"/dev/full", spinner(1), "No space left on device"},  // opens, then every write fails
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    fs::path folder = fresh_folder();
    ToolRun run = run_tool(folder, {"-file", c.path, "-kb", "100"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "Generating " + c.path +
                           ":\n"
                           "Sine  LFO : 440.00 Hz, max  : -3.00 dB\n"
                           "Phase LFO : 0.00 Hz, range: 100.00 percent\n"
                           "PCM       : 16 Bit, 48000 Hz, 2 Ch\n" +
                           c.spinner + "Error writing wave file!");
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(run.err, "tonegen: " + c.path + ": " + c.why + "\n");
  }
}

// Text that cannot be written fails the run, and says so where it can; the file stays.
TEST(Tonegen, TextThatCannotBeWritten) {
  fs::path folder = fresh_folder();
  RunOptions full;
  full.stdout_path = "/dev/full";
  ToolRun run = run_tool(folder, {"-kb", "1"}, full);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "tonegen: standard output: No space left on device\n");
  EXPECT_EQ(fs::file_size(folder / "output.wav"), 44u + 1024);
}

TEST(Tonegen, SummaryShowsTheEnteredValues) {
  fs::path folder = fresh_folder();
  ToolRun run = run_tool(folder, {"-file", "tone file.wav", "-kb", "1", "-res", "3", "-ch", "6",
                                  "-sr", "96000", "-frq", "0.125e4", "-db", "-0.125"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "Generating tone file.wav:\n"
            "Sine  LFO : 1250.00 Hz, max  : -0.13 dB\n"
            "Phase LFO : 0.00 Hz, range: 100.00 percent\n"
            "PCM       : 24 Bit, 96000 Hz, 6 Ch\n" +
                spinner(1) + "done\n");
  EXPECT_EQ(read_file((folder / "tone file.wav").string()).size(), 44u + 1026u);
}

TEST(Tonegen, PhaseLfoSummary) {
  fs::path folder = fresh_folder();
  ToolRun run = run_tool(folder, {"-mfrq", "2", "-mran", "50", "-db", "-6", "-kb", "10"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "Generating output.wav:\n"
            "Sine  LFO : 440.00 Hz, max  : -6.00 dB\n"
            "Phase LFO : 2.00 Hz, range: 50.00 percent\n"
            "PCM       : 16 Bit, 48000 Hz, 2 Ch\n" +
                spinner(1) + "done\n");
}

// On a terminal every print must show at once, the spinner's too; on a pipe the summary does.
// The tone goes into a pipe that nobody reads, so the tool stalls for good once the pipe is
// full, after ten spinner steps: whatever it has not flushed by then never shows.
TEST(Tonegen, PrintsShowWhileTheToolWorks) {
  for (bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    fs::path folder = fresh_folder();
    std::string fifo = (folder / "tone.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the tool open it at once
    int text = -1;
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    pid_t child = terminal ? forkpty(&text, nullptr, nullptr, nullptr) : fork();
    if (child == 0) {
      if (!terminal) {
        dup2(pipe_ends[1], 1);
      }
      execl(TONEGEN_EXE, TONEGEN_EXE, "-file", fifo.c_str(), "-kb", "1000000", "-res", "1", "-ch",
            "1", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(child, 0);
    close(pipe_ends[1]);
    text = terminal ? text : pipe_ends[0];
    const std::string expected =
        "Generating " + fifo + ":\nSine  LFO : 440.00 Hz, max  : -3.00 dB\n" +
        "Phase LFO : 0.00 Hz, range: 100.00 percent\nPCM       : 8 Bit, 48000 Hz, 1 Ch\n" +
        (terminal ? spinner(3) : "");
    std::string seen;
    pollfd wait_for{text, POLLIN, 0};
    // The wait only bounds a failing run; a passing one reads the text as soon as it is printed.
    while (seen.size() < expected.size() && poll(&wait_for, 1, 20000) == 1) {
      char c = 0;
      if (read(text, &c, 1) != 1) {
        break;
      }
      seen += c == '\r' ? "" : std::string(1, c);  // a terminal turns each line feed into CR LF
    }
    EXPECT_EQ(seen.substr(0, expected.size()), expected);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(pipe_ends[0]);
    if (terminal) {
      close(text);
    }
    close(reader);
  }
}

}  // namespace

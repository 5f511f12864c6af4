#include "cli/console.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "cli/fixed_format.hpp"
#include "wave/byte_stream.hpp"

// Where printed text goes: standard output, or elsewhere when the tone file is standard output.
static std::FILE* g_text = stdout;
// Where error lines go: standard error, unless that is the tone file too.
static std::FILE* g_errors = stderr;
// The first failure to write text to standard output, as an errno value.
static int g_text_error = 0;
static bool g_stdout_closed = false;
// The last text printed left its line open (the spinner, the write error's text).
static bool g_line_open = false;

#if defined(_WIN32)
#include <io.h>
static bool stdout_is_terminal() {
  return _isatty(_fileno(stdout)) != 0;
}
static void keep_standard_descriptors() {}
static bool shares_screen_or_file(std::FILE* a, std::FILE* b) {
  return a == b || (_isatty(_fileno(a)) != 0 && _isatty(_fileno(b)) != 0);
}
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
static bool stdout_is_terminal() {
  return isatty(fileno(stdout)) != 0;
}

// A process started with standard output closed would get descriptor 1 for the tone file, and
// everything printed would land in the middle of the samples. Holding the three standard
// descriptors open on /dev/null keeps the file's descriptor apart; prints then just go nowhere.
// Text printed to a closed standard output is lost, and the run says so at its end.
static void keep_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) {
      open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // takes the lowest free number: fd
      g_stdout_closed = g_stdout_closed || fd == 1;
    }
  }
}
static bool shares_screen_or_file(std::FILE* a, std::FILE* b) {
  struct stat sa;
  struct stat sb;
  return a == b || (fstat(fileno(a), &sa) == 0 && fstat(fileno(b), &sb) == 0 &&
                    sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino);
}
#endif

void console_keep_text_out_of(const char* path) {
  if (!names_standard_output(path)) {
    return;
  }
  // Standard error too when it is the same file (2>&1): then the text has nowhere to go.
  g_errors = shares_screen_or_file(stdout, stderr) ? nullptr : stderr;
  g_text = g_errors;
}

static bool g_flush_each_print = false;

void console_init() {
  keep_standard_descriptors();
  g_flush_each_print = stdout_is_terminal();
}

static void note_text_error(std::FILE* out, int error) {
  if (out == stdout && g_text_error == 0) {
    g_text_error = error != 0 ? error : EIO;
  }
}

static void put_text(std::FILE* out, const char* text, std::size_t length) {
  if (length == 0) {
    return;
  }
  if (std::fwrite(text, 1, length, out) != length || (out == stdout && g_stdout_closed)) {
    note_text_error(out, g_stdout_closed ? EBADF : errno);
  }
  if (out == g_text) {
    g_line_open = text[length - 1] != '\n';
  }
}

static void put_int(std::FILE* out, int value) {
  char digits[16];
  int length = 0;
  // Work on the magnitude as unsigned so INT32_MIN has no overflow.
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    digits[sizeof digits - 1 - length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) {
    digits[sizeof digits - 1 - length++] = '-';
  }
  put_text(out, digits + sizeof digits - length, static_cast<std::size_t>(length));
}

void vprint_to(std::FILE* out, const char* format, std::va_list args) {
  const char* run = format;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      ++p;
      continue;
    }
    put_text(out, run, static_cast<std::size_t>(p - run));
    if (p[1] == 's') {
      const char* text = va_arg(args, const char*);
      put_text(out, text, std::strlen(text));
      p += 2;
    } else if (p[1] == 'i') {
      put_int(out, va_arg(args, int));
      p += 2;
    } else if (p[1] == 'c') {
      char c = static_cast<char>(va_arg(args, int));
      put_text(out, &c, 1);
      p += 2;
    } else if (p[1] == '%') {
      put_text(out, "%", 1);
      p += 2;
    } else if (std::strncmp(p + 1, ".*s", 3) == 0) {
      int length = va_arg(args, int);
      const char* text = va_arg(args, const char*);
      put_text(out, text, static_cast<std::size_t>(length));
      p += 4;
    } else if (std::strncmp(p + 1, ".2f", 3) == 0) {
      char text[kFixed2MaxLength];
      std::size_t length = format_fixed2(va_arg(args, double), text);
      put_text(out, text, length);
      p += 4;
    } else {
      put_text(out, "%", 1);
      ++p;
    }
    run = p;
  }
  put_text(out, run, static_cast<std::size_t>(p - run));
}

void print_formatted(const char* format, ...) {
  if (g_text == nullptr) {
    return;
  }
  std::va_list args;
  va_start(args, format);
  vprint_to(g_text, format, args);
  va_end(args);
  if (g_flush_each_print) {
    console_flush();
  }
}

void console_flush() {
  if (g_text != nullptr && std::fflush(g_text) != 0) {
    note_text_error(g_text, errno);
  }
}

int console_text_error() {
  return g_text_error;
}

void console_send_errors_to(std::FILE* out) {
  g_errors = out;
}

void print_error(const char* format, ...) {
  if (g_errors == nullptr) {
    return;
  }
  console_flush();
  if (g_line_open && g_text != nullptr && shares_screen_or_file(g_text, g_errors)) {
    std::fputc('\n', g_errors);
    g_line_open = false;
  }
  put_text(g_errors, "tonegen: ", 9);
  std::va_list args;
  va_start(args, format);
  vprint_to(g_errors, format, args);
  va_end(args);
  put_text(g_errors, "\n", 1);
  std::fflush(g_errors);
}

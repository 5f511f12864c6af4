#include "cli/console.hpp"

#include <cstdint>
#include <cstring>

#include "cli/fixed_format.hpp"

// Where printed text goes: standard output, or elsewhere when the tone file is standard output.
static std::FILE* g_text = stdout;

#if defined(_WIN32)
#include <io.h>
static bool stdout_is_terminal() {
  return _isatty(_fileno(stdout)) != 0;
}
static void keep_standard_descriptors() {}
void console_keep_text_out_of(const char*) {}
#elif __has_include(<unistd.h>) && __has_include(<fcntl.h>) && __has_include(<sys/stat.h>)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
static bool stdout_is_terminal() {
  return isatty(fileno(stdout)) != 0;
}

// A process started with standard output closed would get descriptor 1 for the tone file, and
// everything printed would land in the middle of the samples. Holding the three standard
// descriptors open on /dev/null keeps the file's descriptor apart; prints then just go nowhere.
static void keep_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) {
      open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // takes the lowest free number: fd
    }
  }
}
static bool is_file(int fd, const struct stat& file) {
  struct stat s;
  return fstat(fd, &s) == 0 && s.st_dev == file.st_dev && s.st_ino == file.st_ino;
}

// The same device and inode catch every name for it: /dev/stdout, /dev/fd/1, /proc/self/fd/1, or
// the path of the file standard output was redirected to. A file that does not exist yet is none.
void console_keep_text_out_of(const char* path) {
  struct stat file;
  if (path == nullptr || stat(path, &file) != 0 || !is_file(1, file)) {
    return;
  }
  // Standard error too when it is the same file (2>&1): then the text has nowhere to go.
  g_text = is_file(2, file) ? nullptr : stderr;
}
#else
// Without a way to ask, flushing every print is always correct, only slower.
static bool stdout_is_terminal() {
  return true;
}
static void keep_standard_descriptors() {}
void console_keep_text_out_of(const char*) {}
#endif

static bool g_flush_each_print = false;

void console_init() {
  keep_standard_descriptors();
  g_flush_each_print = stdout_is_terminal();
}

static void put_text(std::FILE* out, const char* text, std::size_t length) {
  if (length > 0) {
    std::fwrite(text, 1, length, out);
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
    std::fflush(g_text);
  }
}

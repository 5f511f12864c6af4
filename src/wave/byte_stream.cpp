#include "wave/byte_stream.hpp"

#include <cerrno>
#include <cstring>
#include <initializer_list>

// One stream is open at a time, so one static buffer serves; the program allocates nothing.
static unsigned char g_buffer[kStreamBufferSize];

// The few file operations the stream needs, spelled for each platform.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace {

constexpr unsigned long kSharingViolation = 32;  // ERROR_SHARING_VIOLATION

bool is_regular(int fd) {
  struct _stat64 s;
  return _fstat64(fd, &s) == 0 && (s.st_mode & _S_IFMT) == _S_IFREG;
}

int64_t file_size(int fd) {
  struct _stat64 s;
  return _fstat64(fd, &s) == 0 ? s.st_size : -1;
}

// Other runs may read the file while this one writes it, but not write it: the share mode is
// the lock.
int open_locked(const char* path, int& error) {
  int fd = -1;
  if (_sopen_s(&fd, path, _O_WRONLY | _O_CREAT | _O_BINARY, _SH_DENYWR, _S_IREAD | _S_IWRITE) !=
      0) {
    error = _doserrno == kSharingViolation ? kFileInUse : errno;
    return -1;
  }
  if (is_regular(fd) && _chsize_s(fd, 0) != 0) {
    error = errno;
    _close(fd);
    return -1;
  }
  return fd;
}

long write_some(int fd, const unsigned char* bytes, std::size_t count) {
  return _write(fd, bytes, static_cast<unsigned>(count));
}

bool truncate_to(int fd, int64_t length) {
  return _chsize_s(fd, length) == 0;
}

bool write_at(int fd, int64_t offset, const unsigned char* bytes, std::size_t count) {
  return _lseeki64(fd, offset, SEEK_SET) == offset &&
         write_some(fd, bytes, count) == static_cast<long>(count);
}

int close_file(int fd) {
  return _close(fd);
}

// The file is open without leave to delete it: it is closed first.
void remove_own(ByteStream& stream, const char* path) {
  _close(stream.fd);
  stream.fd = -1;
  stream.own = false;
  _unlink(path);
}

}  // namespace

bool names_standard_output(const char*) {
  return false;
}

static bool adopt_standard_output(ByteStream&) {
  return false;
}

#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool is_regular(int fd) {
  struct stat s;
  return fstat(fd, &s) == 0 && S_ISREG(s.st_mode);
}

int64_t file_size(int fd) {
  struct stat s;
  return fstat(fd, &s) == 0 ? s.st_size : -1;
}

// Opened without truncating, so that a run that finds the file locked by another changes
// nothing. A file system without locks still gets the file.
int open_locked(const char* path, int& error) {
  int fd = open(path, O_WRONLY | O_CREAT, 0666);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (is_regular(fd)) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      error = kFileInUse;
      close(fd);
      return -1;
    }
    if (ftruncate(fd, 0) != 0) {
      error = errno;
      close(fd);
      return -1;
    }
  }
  return fd;
}

long write_some(int fd, const unsigned char* bytes, std::size_t count) {
  return write(fd, bytes, count);
}

bool truncate_to(int fd, int64_t length) {
  return ftruncate(fd, length) == 0;
}

// Linux writes to the end of a file opened for appending (>>) whatever offset pwrite names, so
// the mode is set aside for this one write.
bool write_at(int fd, int64_t offset, const unsigned char* bytes, std::size_t count) {
  int flags = fcntl(fd, F_GETFL);
  bool append = flags != -1 && (flags & O_APPEND) != 0;
  if (append && fcntl(fd, F_SETFL, flags & ~O_APPEND) != 0) {
    return false;
  }
  bool done = pwrite(fd, bytes, count, offset) == static_cast<ssize_t>(count);
  if (append) {
    fcntl(fd, F_SETFL, flags);
  }
  return done;
}

int close_file(int fd) {
  return close(fd);
}

// Only the file written, by the name it was written under: never a link, nor a file that
// another program has since put in its place.
void remove_own(ByteStream& stream, const char* path) {
  struct stat named;
  struct stat open_file;
  if (lstat(path, &named) == 0 && S_ISREG(named.st_mode) && fstat(stream.fd, &open_file) == 0 &&
      same_file(named, open_file)) {
    unlink(path);
  }
}

}  // namespace

bool names_standard_output(const char* path) {
  if (path == nullptr) {
    return false;
  }
  for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    if (std::strcmp(path, name) == 0) {
      return true;
    }
  }
  struct stat file;
  struct stat out;
  return stat(path, &file) == 0 && fstat(1, &out) == 0 && same_file(file, out);
}

// Written where it stands: after what is already there, in append mode if it is in it. Where
// this run starts is known only for a regular file.
static bool adopt_standard_output(ByteStream& stream) {
  stream.fd = 1;
  stream.regular = is_regular(1);
  if (stream.regular) {
    int flags = fcntl(1, F_GETFL);
    stream.start = flags != -1 && (flags & O_APPEND) != 0 ? file_size(1) : lseek(1, 0, SEEK_CUR);
  }
  return true;
}
#endif

bool open_stream(ByteStream& stream, const char* path) {
  stream = ByteStream{};
  if (path == nullptr) {
    stream.error = EINVAL;
    return false;
  }
  stream.buffer = g_buffer;
  stream.capacity = sizeof g_buffer;
  if (names_standard_output(path)) {
    return adopt_standard_output(stream);
  }
  stream.fd = open_locked(path, stream.error);
  if (stream.fd < 0) {
    return false;
  }
  stream.own = true;
  stream.regular = is_regular(stream.fd);
  stream.start = 0;
  return true;
}

static void fail(ByteStream& stream, int error) {
  if (!stream.failed) {
    stream.failed = true;
    stream.error = error != 0 ? error : EIO;
  }
}

bool flush_stream(ByteStream& stream) {
  const unsigned char* next = stream.buffer;
  std::size_t left = stream.failed ? 0 : stream.used;
  while (left > 0) {
    long n = write_some(stream.fd, next, left);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      fail(stream, n < 0 ? errno : EIO);
      break;
    }
    stream.written += n;
    next += n;
    left -= static_cast<std::size_t>(n);
  }
  stream.used = 0;
  return !stream.failed;
}

int close_stream(ByteStream& stream) {
  flush_stream(stream);
  if (stream.own && close_file(stream.fd) != 0) {
    fail(stream, errno);
  }
  stream.fd = -1;
  stream.own = false;
  return stream.failed ? -1 : 0;
}

// A regular file whose last bytes are this run's, all of them: those alone may be cut.
static bool ends_with_ours(const ByteStream& stream) {
  return stream.fd >= 0 && stream.regular && stream.start >= 0 &&
         file_size(stream.fd) == stream.start + stream.written;
}

bool cut_written(ByteStream& stream, int64_t length, const unsigned char* head,
                 std::size_t head_size) {
  return ends_with_ours(stream) && length <= stream.written &&
         truncate_to(stream.fd, stream.start + length) &&
         write_at(stream.fd, stream.start, head, head_size);
}

void take_back_written(ByteStream& stream, const char* path) {
  if (!ends_with_ours(stream) || !truncate_to(stream.fd, stream.start)) {
    return;
  }
  stream.written = 0;
  if (stream.own) {
    remove_own(stream, path);
  }
}

void write_tag(ByteStream& stream, const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    *reserve_bytes(stream, 1) = static_cast<unsigned char>(*p);
    commit_bytes(stream, 1);
  }
}

void write_le(ByteStream& stream, uint32_t value, int n) {
  if (n < 1 || n > 4) {
    return;
  }
  for (int k = 0; k < n; ++k) {
    *reserve_bytes(stream, 1) = static_cast<unsigned char>((value >> (8 * k)) & 0xFF);
    commit_bytes(stream, 1);
  }
}

#pragma once

#include <cstddef>
#include <cstdint>

// The output file, written through a descriptor with a buffer of our own: bytes are collected and
// handed over in large chunks. Every hand-over is checked; after the first failure the stream
// only remembers that it failed, and why. The stream knows where this run's bytes start and how
// many reached the file, so a failed run can cut or take back exactly those and nothing else.
struct ByteStream {
  int fd = -1;
  bool own = false;      // opened here, and closed at the end; not so for standard output
  bool regular = false;  // a regular file, which can be cut; a pipe or a device cannot
  int64_t start = -1;    // offset of this run's first byte, where known
  int64_t written = 0;   // bytes that reached the file
  unsigned char* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool failed = false;
  int error = 0;  // why it failed: an errno value, or kFileInUse
};

// Bytes collected before each write to the file.
inline constexpr std::size_t kStreamBufferSize = std::size_t{1} << 20;

// The error of a regular file that another run is writing.
inline constexpr int kFileInUse = -2;

// True where `path` is the file standard output already is: /dev/stdout, /dev/fd/1 or
// /proc/self/fd/1, or the same device and inode (the path standard output was redirected to).
bool names_standard_output(const char* path);

// Opens `path` for this run. Standard output (names_standard_output) is written through
// descriptor 1 as it stands: at its offset, in its mode, never truncated. Any other path is
// created or opened; a regular file is then locked against other runs and only then truncated.
// Returns false, with `error` set and nothing touched, if it cannot be opened or is in use.
bool open_stream(ByteStream& stream, const char* path);

// Hands the collected bytes to the file. Returns false once any write has failed.
bool flush_stream(ByteStream& stream);

// Closes a file opened here (standard output stays open). Returns 0, or -1 if any write or the
// close failed.
int close_stream(ByteStream& stream);

// Where this run's bytes are the end of a regular file, cuts them to their first `length` and
// writes `head` over their start. Returns false where that cannot be done.
bool cut_written(ByteStream& stream, int64_t length, const unsigned char* head,
                 std::size_t head_size);

// Takes back what this run wrote, where it is the end of a regular file: a file this run created
// or truncated at `path` is removed, unless `path` is a link (its target is emptied, the link
// stays) or now names another file; on standard output the file is cut back to where it was.
void take_back_written(ByteStream& stream, const char* path);

// Room for `count` more bytes (at most kStreamBufferSize) in the buffer, flushing first when
// needed. Fill it and then call commit_bytes.
inline unsigned char* reserve_bytes(ByteStream& stream, std::size_t count) {
  if (stream.capacity - stream.used < count) {
    flush_stream(stream);
  }
  return stream.buffer + stream.used;
}

inline void commit_bytes(ByteStream& stream, std::size_t count) {
  stream.used += count;
}

// Writes the characters of `text`, without its terminator.
void write_tag(ByteStream& stream, const char* text);

// Writes the low `n` bytes of `value`, least significant first; nothing for n outside 1..4.
void write_le(ByteStream& stream, uint32_t value, int n);

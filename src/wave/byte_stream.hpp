#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Output file with a buffer of our own: bytes are collected and handed to the file in large
// chunks. Every hand-over and the close are checked; after the first failure the stream only
// remembers that it failed.
struct ByteStream {
  std::FILE* file = nullptr;
  unsigned char* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool failed = false;
};

// Bytes collected before each write to the file.
inline constexpr std::size_t kStreamBufferSize = std::size_t{1} << 20;

// Creates or truncates `path` for binary writing, or with `update` opens the existing file for
// writing over its bytes from the start. Returns false if it cannot be opened.
bool open_stream(ByteStream& stream, const char* path, bool update = false);

// Hands the collected bytes to the file. Returns false once any write has failed.
bool flush_stream(ByteStream& stream);

// Flushes and closes. Returns 0, or -1 if any write or the close failed.
int close_stream(ByteStream& stream);

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

#include "wave/byte_stream.hpp"

// One stream is open at a time, so one static buffer serves; the program allocates nothing.
static unsigned char g_buffer[kStreamBufferSize];

bool open_stream(ByteStream& stream, const char* path, bool update) {
  stream = ByteStream{};
  stream.file = std::fopen(path, update ? "r+b" : "wb");
  if (stream.file == nullptr) {
    return false;
  }
  // Our buffer already gathers large chunks; a second copy in stdio would only cost time.
  std::setvbuf(stream.file, nullptr, _IONBF, 0);
  stream.buffer = g_buffer;
  stream.capacity = sizeof g_buffer;
  return true;
}

bool flush_stream(ByteStream& stream) {
  if (!stream.failed && stream.used > 0 &&
      std::fwrite(stream.buffer, 1, stream.used, stream.file) != stream.used) {
    stream.failed = true;
  }
  stream.used = 0;
  return !stream.failed;
}

int close_stream(ByteStream& stream) {
  flush_stream(stream);
  if (std::fclose(stream.file) != 0) {
    stream.failed = true;
  }
  stream.file = nullptr;
  return stream.failed ? -1 : 0;
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

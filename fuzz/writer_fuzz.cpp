// Fuzzes the header and frame writer with arbitrary in-range settings and a small output size,
// and holds every file it writes against the plain per-frame reference loop, header included.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings.hpp"
#include "cli/options.hpp"
#include "wave/reference_tone.hpp"
#include "wave/wave_header.hpp"
#include "wave/wave_writer.hpp"

namespace {

// Reads the input as a stream of numbers; past its end every number is 0.
struct Input {
  const uint8_t* data;
  size_t size;
  uint32_t next() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      v = (v << 8) | (size > 0 ? *data : 0);
      if (size > 0) {
        ++data;
        --size;
      }
    }
    return v;
  }
  int32_t integer(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(next() % static_cast<uint32_t>(high - low + 1));
  }
  // Either end exactly now and then, else anywhere between.
  double real(double low, double high) {
    uint32_t v = next();
    if (v % 16 == 0) {
      return low;
    }
    if (v % 16 == 1) {
      return high;
    }
    return low + (high - low) * (static_cast<double>(v) / 4294967295.0);
  }
};

std::string g_path;

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

std::vector<unsigned char> read_all(const char* path) {
  std::vector<unsigned char> bytes;
  std::FILE* f = std::fopen(path, "rb");
  check(f != nullptr, "file readable");
  unsigned char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  std::fclose(f);
  return bytes;
}

uint32_t le(const std::vector<unsigned char>& b, size_t at, int n) {
  uint32_t v = 0;
  for (int k = n - 1; k >= 0; --k) {
    v = (v << 8) | b[at + static_cast<size_t>(k)];
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = "/tmp/tonegen-writer-fuzz-" + std::to_string(getpid()) + ".wav";
  std::atexit([] { std::remove(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  GeneratorSettings s;
  set_defaults(s);
  s.file_name = g_path.c_str();
  s.file_size_bytes = in.integer(1, 8) * 1024;
  s.sample_rate = in.integer(1000, 96000);
  s.channels = in.integer(1, 6);
  s.bytes_per_sample = in.integer(1, 4);
  s.frequency = in.real(1.0, 48000.0);
  s.level_db = in.real(-45.0, 0.0);
  s.gain = db_to_gain(s.level_db);
  s.mod_frequency = in.next() % 3 == 0 ? 0.0 : in.real(0.0, 1000.0);
  s.mod_range_percent = in.real(0.0, 100.0);
  s.mod_range_rad = percent_to_radians(s.mod_range_percent);

  check(write_wave_file(s) == 0, "file written");
  std::vector<unsigned char> file = read_all(g_path.c_str());
  WaveHeader h = describe_wave(s);
  check(file.size() == 44 + static_cast<size_t>(h.data_size), "file length");
  check(std::memcmp(file.data(), "RIFF", 4) == 0 && std::memcmp(&file[8], "WAVEfmt ", 8) == 0 &&
            std::memcmp(&file[36], "data", 4) == 0,
        "tags");
  check(le(file, 4, 4) == static_cast<uint32_t>(h.data_size) + 36, "RIFF size");
  check(le(file, 16, 4) == 16 && le(file, 20, 2) == 1, "PCM format chunk");
  check(le(file, 22, 2) == static_cast<uint32_t>(s.channels), "channels");
  check(le(file, 24, 4) == static_cast<uint32_t>(s.sample_rate), "sample rate");
  check(le(file, 28, 4) == static_cast<uint32_t>(s.sample_rate * h.block_align), "byte rate");
  check(le(file, 32, 2) == static_cast<uint32_t>(h.block_align), "block align");
  check(le(file, 34, 2) == static_cast<uint32_t>(s.bytes_per_sample * 8), "bits");
  check(le(file, 40, 4) == static_cast<uint32_t>(h.data_size), "data size");
  check(h.data_size >= s.file_size_bytes && h.data_size < s.file_size_bytes + h.block_align,
        "rounded up to whole frames");
  std::vector<unsigned char> expected = reference_tone(s);
  check(std::equal(expected.begin(), expected.end(), file.begin() + 44), "samples");
  return 0;
}

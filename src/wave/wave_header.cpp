#include "wave/wave_header.hpp"

WaveHeader describe_wave(const GeneratorSettings& settings) {
  WaveHeader header;
  header.block_align = settings.channels * settings.bytes_per_sample;
  // Exact integer ceiling; within the option ranges no term exceeds 32 bits.
  header.frame_count = (settings.file_size_bytes + header.block_align - 1) / header.block_align;
  header.data_size = header.frame_count * header.block_align;
  header.byte_rate = settings.sample_rate * header.block_align;
  header.bits_per_sample = settings.bytes_per_sample * 8;
  return header;
}

int32_t write_wave_header(ByteStream& stream, const GeneratorSettings& settings) {
  WaveHeader header = describe_wave(settings);
  auto u32 = [](int32_t v) { return static_cast<uint32_t>(v); };
  write_tag(stream, "RIFF");
  write_le(stream, u32(header.data_size) + 36, 4);
  write_tag(stream, "WAVEfmt ");
  write_le(stream, 16, 4);  // format chunk size
  write_le(stream, 1, 2);   // PCM
  write_le(stream, u32(settings.channels), 2);
  write_le(stream, u32(settings.sample_rate), 4);
  write_le(stream, u32(header.byte_rate), 4);
  write_le(stream, u32(header.block_align), 2);
  write_le(stream, u32(header.bits_per_sample), 2);
  write_tag(stream, "data");
  write_le(stream, u32(header.data_size), 4);
  return header.frame_count;  // data_size / block_align
}

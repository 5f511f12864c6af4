#pragma once

#include <cstdint>

#include "app/settings.hpp"
#include "wave/byte_stream.hpp"

// Bytes in the header, before the first frame.
inline constexpr int32_t kWaveHeaderSize = 44;

// The sizes a PCM WAVE header states, all computed from the settings in one place.
struct WaveHeader {
  int32_t block_align = 0;  // bytes per frame
  int32_t frame_count = 0;  // requested bytes rounded up to whole frames
  int32_t data_size = 0;    // frame_count x block_align
  int32_t byte_rate = 0;
  int32_t bits_per_sample = 0;
};

WaveHeader describe_wave(const GeneratorSettings& settings);

// Writes the 44-byte RIFF/WAVE header and returns the frame count.
int32_t write_wave_header(ByteStream& stream, const GeneratorSettings& settings);

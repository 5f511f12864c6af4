#pragma once

#include <cstdint>
#include <vector>

#include "app/settings.hpp"
#include "wave/phase_run.hpp"

// Frames are made in blocks: the phase recurrence first, then the sines, then the bytes.
inline constexpr int kBlockFrames = 1024;

// Most tones come back to almost the same phases after a whole number of frames (440 Hz at
// 48 kHz every 1200). The samples of the last such period are kept with how far the phase may
// move before the sample could change: the next period reuses each one its phase allows.
struct SampleMemo {
  int period = 0;              // frames; 0: no memo
  int slot = 0;                // the next frame's place in the period
  std::vector<double> phase;   // each slot's phase when its sample was made (NaN: not yet)
  std::vector<double> radius;  // how far from it the sample holds
  std::vector<int32_t> sample;
};

// What the frame loop needs, computed once per file.
struct ToneParameters {
  double scaled_gain = 0.0;  // largest sample value x gain
  double carrier_increment = 0.0;
  double mod_increment = 0.0;
  bool lfo_on = false;
  PhaseRuns carrier_runs;  // each increment's steps and run lengths, binade by binade
  PhaseRuns mod_runs;
  SampleMemo memo;  // pure tones only; the running state of the frame loop
  // Pure 8-bit tones without a memo whose phases wrap take the single-precision sine, with this
  // margin of their check.
  bool single = false;
  float single_margin = 0.0f;
};

ToneParameters tone_parameters(const GeneratorSettings& settings);

// The next `count` (at most kBlockFrames) samples: correct_sin(argument) x scaled_gain truncated
// toward zero, the argument being the carrier phase or, with the LFO on, lfo_product() of it.
// Advances carrier_phase (and mod_phase) in `settings` once per frame, and the tone's memo (which
// saves work only while the blocks follow each other, but is right whatever the phases).
void synthesize_block(GeneratorSettings& settings, ToneParameters& tone, int32_t* samples,
                      int count);

// Lays out `count` frames: each sample once per channel, least significant byte first, 1-byte
// samples offset by 128. Writes count x channels x bytes_per_sample bytes.
void pack_frames(const int32_t* samples, int count, int channels, int bytes_per_sample,
                 unsigned char* out);

#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "app/settings.hpp"
#include "wave/fast_sine.hpp"
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

// A slow modulator's phases come back too: on the single-precision pass the modulator's short sines
// of the last period are kept, and a frame whose phase lies within kModulatorRecall of its
// slot's takes the kept sine, whose error then covers that distance as well.
struct ModulatorMemo {
  int period = 0;  // frames; 0: no memo
  int slot = 0;
  std::vector<double> phase;  // NaN: not yet
  std::vector<double> sine;
};

// Whether a kept modulator sine serves a frame of this phase (proofs/modulator_recall.gappa).
bool modulator_recalled(double phase, double kept);

// A block sine with what its samples' check needs: one record, so that no route can pair a sine
// with another sine's margin. Each of these is what the synthesis uses, and what the proofs'
// probe runs against the models (proofs/models_as_code.py).
struct BlockSine {
  void (*evaluate)(const double* x, double* out, int count) = nullptr;
  double sample_margin = 0.0;  // per unit of scaled gain (proofs/sample_check.gappa)
  double limit = 0.0;          // its reach: arguments beyond it are marked
};

// The sine for a phase that grows (past 2 pi every frame) or wraps, and samples of this width.
BlockSine block_sine(bool growing, int bytes_per_sample);

// What the frame loop needs, computed once per file and not changed while it is written: the plan.
struct ToneParameters {
  double scaled_gain = 0.0;  // largest sample value x gain
  double carrier_increment = 0.0;
  double mod_increment = 0.0;
  bool lfo_on = false;
  double range = 0.0;      // the LFO's, in radians
  bool growing = false;    // the carrier phase grows past 2 pi every frame instead of wrapping
  BlockSine sine;          // the block sine, with its margin and reach
  PhaseRuns carrier_runs;  // each increment's steps and run lengths, binade by binade
  PhaseRuns mod_runs;
  int memo_period = 0;  // frames the memo keeps (pure tones only); 0: none
  // 8-bit tones without a memo whose phases wrap take the single-precision sine, with this
  // margin of their check.
  bool single = false;
  float single_margin = 0.0f;
  int mod_memo_period = 0;  // frames the modulator's memo keeps (single-precision pass only)
};

ToneParameters tone_parameters(const GeneratorSettings& settings);

// The synthesis' working room for a block.
struct BlockRoom {
  double carrier[kBlockFrames + kPhaseSlack];
  double modulator[kBlockFrames + kPhaseSlack];
  double argument[kBlockFrames];
  double sine[kBlockFrames];
  uint64_t doubtful[kBlockFrames];  // marked for the exact path by the modulator's rounded sines
  int32_t missed[kBlockFrames];     // kDoubtfulSample where the memo missed the frame
  QuickSines quick;                 // the modulator's correctly rounded sines
};

// The running state of a tone, which the caller keeps (the writer, for a whole file): the memo,
// where each oscillator's last block left its turns, and the block's room. No function of the
// engine keeps any of its own, so two tones can be made at once.
struct ToneState {
  SampleMemo memo;
  ModulatorMemo mod_memo;
  TurnCursor carrier_cursor;
  TurnCursor mod_cursor;
  BlockRoom room;
};

// Sets `state` up for a new file of `tone`.
void start_tone(const ToneParameters& tone, ToneState& state);

// The scaled gains the samples' checks are proven for (proofs/sample_check.gappa; the
// single-precision one up to kSingleLargestGain, sample_check_single.gappa), which the options
// give every tone (OptionRanges in proofs/run_proofs.py): 127 x 10^-2.25 is over 0.71.
inline constexpr double kLeastScaledGain = 0.7;
inline constexpr double kLargestScaledGain = 2147483647.0;
inline constexpr double kSingleLargestGain = 127.0;
// The widest samples, in bytes, whose wrapping tones take the short block sine.
inline constexpr int kShortSineWidest = 2;
// What the single-precision check's margin adds to cover the rounding of each end of the check.
inline constexpr float kSingleCheckSlack = 0x1p-16f;

// What a frame's fast value is checked with: the sine's margin times the scaled gain, and where
// the LFO argument comes from a fast modulator sine (lfo_range not 0), an allowance per unit of
// |carrier phase| for its error (proofs/lfo_argument.gappa, proofs/lfo_check.gappa).
struct CheckMargins {
  double margin = 0.0;
  double lfo_margin = 0.0;
};
CheckMargins check_margins(const BlockSine& sine, double scaled_gain, double lfo_range);

// How far a frame's fast value may lie from the plain loop's value.
inline double sample_allowance(const CheckMargins& m, double carrier_phase) {
  return m.margin + m.lfo_margin * std::fabs(carrier_phase);
}

// How far a kept sample's phase may move while the plain loop's sample stays the same, given its
// value within `allowed` of the plain loop's (proofs/memo_radius.gappa).
double memo_radius(double value, double allowed, int32_t sample, double gain);

// The margin of the single-precision sine's check, of a pure tone or with the LFO
// (proofs/sample_check_single.gappa).
float single_sample_margin(double scaled_gain, bool lfo);

// One frame through the blocks' check, for the probe: the truncated value sine x gain, or
// kDoubtfulSample where the check leaves the frame to the exact path. `plain` takes the check of
// frames without the LFO, which allows the margin alone.
int32_t check_frame(double sine, double argument, double carrier_phase, double gain,
                    const CheckMargins& margins, double limit, bool plain);

// The next `count` (at most kBlockFrames) samples: correct_sin(argument) x scaled_gain truncated
// toward zero, the argument being the carrier phase or, with the LFO on, lfo_product() of it.
// Advances carrier_phase (and mod_phase, with the LFO) once per frame, and the tone's state
// (whose memo and cursors save work only while the blocks follow each other, but are right
// whatever the phases).
void synthesize_block(double& carrier_phase, double& mod_phase, const ToneParameters& tone,
                      ToneState& state, int32_t* samples, int count);

// Lays out `count` frames: each sample once per channel, least significant byte first, 1-byte
// samples offset by 128. Writes count x channels x bytes_per_sample bytes.
void pack_frames(const int32_t* samples, int count, int channels, int bytes_per_sample,
                 unsigned char* out);

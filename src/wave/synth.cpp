#include "wave/synth.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "math/exact_math.hpp"
#include "wave/fast_sine.hpp"
#include "wave/phase_lfo.hpp"
#include "wave/vector_clones.hpp"

// How the samples stay exact at vector speed: every sample is defined with the correctly rounded
// sine, the block's sines come from fast_sine, whose error is bounded, and a sample is kept only
// when no value within that bound could truncate to another integer. With the LFO the argument
// is defined through the modulator's correctly rounded sine. While the carrier phase wraps, a
// fast modulator sine serves: its error, scaled by the phase (below 2 pi), widens the bound. A
// growing phase would widen it past any use, so there the block computes the modulator's sine
// exactly (correct_sin's quick step on the whole block) and the argument is the defined one.
// The rare remaining frames are recomputed with correct_sin exactly as the plain per-frame loop
// does. Two shortcuts come first where they apply: a pure tone whose phases come back keeps the
// last period's samples (SampleMemo) and reuses each one that its phase allows; an 8-bit tone
// without one takes the sine, its check and the truncation in single precision, in one pass
// (fast_sine_single_samples), with the LFO from the modulator's short sines, kept a period where
// its phases come back (ModulatorMemo). The checks are proven by the Gappa scripts named below
// and check_soundness.v; Synthesis.ByteIdenticalToThePlainLoop holds the bytes to the plain loop.

namespace {

// Bounds on how far a fast sample may lie from the plain loop's value before truncation, over the
// scaled gain, for each block sine: its own bound (fast_sine.hpp), the rounding of the true sine
// and of both products, and the rounding of margin = scaled gain x bound itself, proven for each
// pair by proofs/sample_check.gappa.
constexpr double kShortSampleMargin = 0x1.42p-28;
constexpr double kNarrowSampleMargin = 0x1.14p-50;
constexpr double kWideSampleMargin = 0x1.14p-50;
// The same for the single-precision sine and its single-precision value, for scaled gains from
// 0.7 to 127 (8-bit samples), proven by proofs/sample_check_single.gappa.
constexpr double kSingleSampleMargin = 0x1.5p-21;
// Where the LFO's argument comes from a fast modulator sine it may be off too, by up to
// |carrier phase| x range x kLfoArgumentError (proofs/lfo_argument.gappa), which the sine passes
// on undiminished; the allowance per unit of |carrier phase| x range x scaled gain covers it with
// the roundings of the allowance's own products (proofs/lfo_check.gappa).
constexpr double kLfoArgumentError = 0x1.44p-50;
constexpr double kLfoArgumentMargin = 0x1.46p-50;
// The error itself is read by the proofs; here only this, which they refine.
static_assert(kLfoArgumentError < kLfoArgumentMargin, "the allowance covers the argument's error");
// The single-precision pass of 8-bit LFO tones takes the modulator's short sine and its argument
// in one margin instead: the argument lies within kLfoArgumentSpread of the plain loop's
// (proofs/lfo_spread.gappa), so the sine within that and kSingleLfoSineError of its sine, and
// the margin covers both with the roundings of the value (sample_check_single.gappa).
constexpr double kLfoArgumentSpread = 0x1.ddp-23;
constexpr double kSingleLfoSampleMargin = 0x1.5p-19;
// A kept modulator sine serves a frame whose phase, less the kept one, rounds to at most
// kModulatorRecall: the two lie within kModulatorRecallReach (proofs/modulator_recall.gappa),
// so the kept sine within kKeptModulatorError of the frame's sine, which lfo_spread.gappa takes.
constexpr double kModulatorRecall = 0x1p-30;
constexpr double kModulatorRecallReach = 0x1.0001p-30;
constexpr double kKeptModulatorError = 0x1.82p-28;
static_assert(kShortSineError + kModulatorRecallReach <= kKeptModulatorError,
              "a kept sine's error covers its phase's move");

}  // namespace

bool modulator_recalled(double phase, double kept) {
  return std::fabs(phase - kept) <= kModulatorRecall;
}

namespace {

static_assert(kBlockFrames <= kMaxRoundedSines, "a block's modulator sines are decided at once");

// The value the plain loop truncates for this argument.
double exact_value(double argument, double gain) {
  // Arguments stay below kExactSineLimit (OptionRanges in proofs/run_proofs.py), so this never
  // fails; past the limit the sine would be NaN and its conversion undefined.
  if (!(std::fabs(argument) <= kExactSineLimit)) {
    std::fprintf(stderr, "tonegen: sine argument %a beyond the exact sine's reach\n", argument);
    std::abort();
  }
  return correct_sin(argument) * gain;
}

// The sample the plain loop computes for this frame: the reference every fast sample equals.
int32_t exact_sample(double carrier, double modulator, const ToneParameters& tone) {
  double argument =
      tone.lfo_on ? lfo_product(carrier, correct_sin(modulator), tone.range) : carrier;
  return static_cast<int32_t>(exact_value(argument, tone.scaled_gain));
}

// least[k] = the least of samples[64 k .. 64 k + 63] (of those below count), in the widest
// vector build: a whole block in about a hundred cycles.
constexpr int kDoubtfulChunk = 64;
TONEGEN_VECTOR_CLONES void chunk_minima(const int32_t* samples, int count, int32_t* least) {
  for (int first = 0; first < count; first += kDoubtfulChunk) {
    const int end = std::min(count, first + kDoubtfulChunk);
    int32_t chunk = 0;
    for (int i = first; i < end; ++i) {
      chunk = std::min(chunk, samples[i]);
    }
    least[first / kDoubtfulChunk] = chunk;
  }
}

// Calls frame(i) for each i < count with samples[i] == kDoubtfulSample. They are few: only the
// chunks that hold one are looked at frame by frame.
template <typename Frame>
void for_each_doubtful(const int32_t* samples, int count, Frame frame) {
  int32_t least[kBlockFrames / kDoubtfulChunk];
  chunk_minima(samples, count, least);
  for (int first = 0; first < count; first += kDoubtfulChunk) {
    if (least[first / kDoubtfulChunk] != kDoubtfulSample) {
      continue;
    }
    for (int i = first; i < std::min(count, first + kDoubtfulChunk); ++i) {
      if (samples[i] == kDoubtfulSample) {
        frame(i);
      }
    }
  }
}

// argument[i] = lfo_product(carrier[i], sine[i], range), in the widest vector build.
TONEGEN_VECTOR_CLONES void lfo_products(const double* carrier, const double* sine, double range,
                                        double* argument, int count) {
  for (int i = 0; i < count; ++i) {
    argument[i] = lfo_product(carrier[i], sine[i], range);
  }
}

// Whether a frame's value lies within `allowed` of a non-zero integer, or its argument beyond
// `limit`, the reach of the block sine used: then truncating the value may not give the plain
// loop's sample. Truncation changes value only at the non-zero integers; (-1, 1) all truncates
// to 0 (check_soundness.v; models_as_code.py runs this check against its model).
TONEGEN_ALWAYS_INLINE uint64_t doubtful_frame(double value, double argument, double allowed,
                                              double limit) {
  double nearest = (value + kRoundingShift) - kRoundingShift;
  return ((std::fabs(value - nearest) <= allowed) & (nearest != 0.0)) |
         !(std::fabs(argument) <= limit);
}

// The check: truncates value[i] = sine[i] x gain into samples[i], or makes it kDoubtfulSample
// where the frame is doubtful (or, when Marked, marked already in marked[i]). Returns whether any
// is. With Lfo the allowance grows with |carrier[i]|, and one of half a unit or more marks the
// frame: it could carry a value in (-1, 1) past an integer (check_soundness.v takes one below).
// Without, the allowance is the margin alone, which the caller keeps below half a unit, and
// carrier is not read. models_as_code.py runs both against their model.
template <bool Marked, bool Lfo>
TONEGEN_VECTOR_CLONES bool scale_and_check(const double* sine, const double* argument,
                                           const double* carrier, int count, double gain,
                                           double margin, double lfo_margin, double limit,
                                           int32_t* samples, const uint64_t* marked) {
  uint64_t any = 0;
  for (int i = 0; i < count; ++i) {
    double value = sine[i] * gain;
    double allowed = Lfo ? sample_allowance({margin, lfo_margin}, carrier[i]) : margin;
    uint64_t doubt = doubtful_frame(value, argument[i], allowed, limit) |
                     (Lfo ? allowed >= 0.5 : 0) | (Marked ? marked[i] : 0);
    any |= doubt;
    // Within the block sine's limit |sine| <= 1 + its proven error (below 2^-27; the short sine
    // serves widths up to 16 bits only) and gain <= the largest sample, so the value fits; a marked
    // frame (beyond the limit its sine may not even be finite) is not converted at all: the exact
    // path replaces it.
    const int32_t sample = static_cast<int32_t>(doubt != 0 ? 0.0 : value);
    samples[i] = doubt != 0 ? kDoubtfulSample : sample;
  }
  return any != 0;
}

// The memo (synth.hpp). Periods are looked for up to this many frames: every integer frequency
// at 44.1 and 48 kHz has one, and the memo stays below 1.4 MB (a longer one falls out of the
// processor's caches and saves nothing: 96,000 frames were as slow as no memo). Filling a slot
// costs some 20 ns (a page of it is first touched, its sample made and weighed), and a frame it
// serves saves about 0.35: a file must repeat the period this often for it to pay.
constexpr int kMaxMemoFrames = 1 << 16;
constexpr int kMemoRepeats = 64;
constexpr int kFewMisses = 8;

// The fewest frames, up to `longest`, after which the phase comes back to within `most` radians
// of where it was (as far as doubles tell: this only decides what a memo saves, never a sample),
// made up to a block, or 0. Tones that drift faster miss too often to pay.
int memo_period(double increment, double most, int longest) {
  for (int frames = 1; frames <= longest; ++frames) {
    double turns = frames * increment * (1.0 / TWO_PI);
    double drift = std::fabs(turns - std::nearbyint(turns)) * TWO_PI;
    if (drift <= most) {
      // Whole periods up to a block at least, so that a block meets the end of the memo once.
      return (kBlockFrames + frames - 1) / frames * frames;
    }
  }
  return 0;
}

// The longest period a memo keeps for this file: one the file repeats kMemoRepeats times.
int longest_memo(const GeneratorSettings& settings) {
  int64_t frames = settings.file_size_bytes / (settings.channels * settings.bytes_per_sample);
  return static_cast<int>(std::min<int64_t>(kMaxMemoFrames, frames / kMemoRepeats));
}

// Calls stretch(first frame, its slot, frames) for each stretch of the block whose slots follow
// each other: the block crosses the memo's end at most once.
template <typename Memo, typename Stretch>
void for_each_stretch(const Memo& memo, int count, Stretch stretch) {
  for (int done = 0, slot = memo.slot; done < count; slot = 0) {
    int frames = std::min(count - done, memo.period - slot);
    stretch(done, slot, frames);
    done += frames;
  }
}

// Past a block of `count` frames: the next frame's slot.
template <typename Memo>
void move_on(Memo& memo, int count) {
  memo.slot = static_cast<int>((memo.slot + int64_t{count}) % memo.period);
}

// Whether a frame's phase lies beyond its slot's radius (NaN phases, unfilled slots, always do).
TONEGEN_ALWAYS_INLINE bool missed_frame(double phase, double kept, double radius) {
  return !(std::fabs(phase - kept) <= radius);
}

// samples[i] = the memo's sample for its slot; returns how many frames it missed.
TONEGEN_VECTOR_CLONES int recall_run(const double* phase, const double* kept, const double* radius,
                                     const int32_t* sample, int count, int32_t* samples) {
  int missed = 0;
  for (int i = 0; i < count; ++i) {
    missed += missed_frame(phase[i], kept[i], radius[i]);
    samples[i] = sample[i];
  }
  return missed;
}

// missed[i] = kDoubtfulSample where the memo misses the frame, for for_each_doubtful to find.
TONEGEN_VECTOR_CLONES void mark_missed(const double* phase, const double* kept,
                                       const double* radius, int count, int32_t* missed) {
  for (int i = 0; i < count; ++i) {
    missed[i] = missed_frame(phase[i], kept[i], radius[i]) ? kDoubtfulSample : 0;
  }
}

int recall(const SampleMemo& memo, const double* phase, int count, int32_t* samples) {
  int missed = 0;
  for_each_stretch(memo, count, [&](int first, int slot, int frames) {
    missed += recall_run(phase + first, &memo.phase[slot], &memo.radius[slot], &memo.sample[slot],
                         frames, samples + first);
  });
  return missed;
}

// Whether every phase lies within the recall of its kept one.
TONEGEN_VECTOR_CLONES bool all_recalled(const double* phase, const double* kept, int count) {
  uint64_t missed = 0;  // as wide as the phases: no lanes to narrow
  for (int i = 0; i < count; ++i) {
    missed |= !modulator_recalled(phase[i], kept[i]);
  }
  return missed == 0;
}

// Keeps each frame of the block that the memo missed, with the value its sample came from: the
// block sine's (`sine`, within `margin`) unless that was doubtful, else the exact one. Without
// `sine` the exact one serves every such frame and also makes its sample. Moves on by the block.
void remember(SampleMemo& memo, const double* phase, const double* sine, int32_t* samples,
              int count, double gain, double margin, double limit, int32_t* missed) {
  for_each_stretch(memo, count, [&](int first, int slot, int frames) {
    mark_missed(phase + first, &memo.phase[slot], &memo.radius[slot], frames, missed + first);
  });
  for_each_doubtful(missed, count, [&](int i) {
    double value = sine != nullptr ? sine[i] * gain : 0.0;
    double allowed = margin;
    if (sine == nullptr || doubtful_frame(value, phase[i], margin, limit) != 0) {
      value = exact_value(phase[i], gain);
      allowed = 0.0;
      samples[i] = static_cast<int32_t>(value);
    }
    const int slot = static_cast<int>((memo.slot + int64_t{i}) % memo.period);
    memo.phase[slot] = phase[i];
    memo.sample[slot] = samples[i];
    memo.radius[slot] = memo_radius(value, allowed, samples[i], gain);
  });
  move_on(memo, count);
}

}  // namespace

// How far the phase may move from `phase` while the plain loop's sample stays `sample`, given a
// value within `allowed` of the plain loop's value correct_sin(phase) x gain there (0 when no
// distance is safe: the same phase still gives the same sample, and tones like a quarter of the
// rate come back to exactly the same phases). Truncation keeps `sample` on the open interval
// (lo, hi), so the value's distance to its nearer end, less `allowed`, is the slack. Moving the
// phase by d moves the sine by at most |d|, so the plain loop's value by at most gain x |d| plus
// the roundings of two correct sines and two products, below gain x 3 x 2^-53. The slack's own
// roundings are below 2^-51 (both differences to the ends are exact, by Sterbenz, unless the
// sample is 0 and the ends are -1 and 1), the quotient's and the caller's |phase' - phase| are
// relative 2^-53 each: (gain + 1) 2^-45 off the slack covers them. proofs/memo_radius.gappa proves
// it, even without the 2^-40 taken off the quotient (kept as a margin), and
// Synthesis.MemoKeepsASampleOnlyWhereItHolds shifts a period's phases by 2^-40 to 2^-3 and holds
// every sample to the plain loop's.
constexpr double kMemoSlackPerGain = 0x1p-45;
constexpr double kMemoRadiusShrink = 0x1p-40;

double memo_radius(double value, double allowed, int32_t sample, double gain) {
  double lo = sample > 0 ? sample : sample - 1.0;
  double hi = sample < 0 ? sample : sample + 1.0;
  double slack = std::fmin(value - lo, hi - value) - allowed;
  return std::fmax((slack - (gain + 1.0) * kMemoSlackPerGain) / gain * (1.0 - kMemoRadiusShrink),
                   0.0);
}

ToneParameters tone_parameters(const GeneratorSettings& settings) {
  ToneParameters tone;
  int bits = settings.bytes_per_sample * 8;
  int64_t peak = (int64_t{1} << (bits - 1)) - 1;
  tone.scaled_gain = static_cast<double>(peak) * settings.gain;
  double radians_per_frame = TWO_PI / settings.sample_rate;
  tone.carrier_increment = settings.frequency * radians_per_frame;
  tone.mod_increment = settings.mod_frequency * radians_per_frame;
  tone.carrier_runs = phase_runs(tone.carrier_increment);
  tone.mod_runs = phase_runs(tone.mod_increment);
  // Exact comparison: -0.0 counts as off too.
  tone.lfo_on = settings.mod_frequency != 0.0;
  if (!tone.lfo_on && tone.carrier_increment <= TWO_PI) {
    tone.memo_period =
        memo_period(tone.carrier_increment, 0x1p-16 / tone.scaled_gain, longest_memo(settings));
  }
  // The memo keeps the double sine's values, and the proven margins hold for gains up to 127
  // (sample_check_single.gappa) and phases (carrier and modulator) that wrap.
  static_assert(TWO_PI <= kSingleSineLimit, "wrapping phases are the single sine's to take");
  tone.single = tone.memo_period == 0 && settings.bytes_per_sample == 1 &&
                tone.scaled_gain >= kLeastScaledGain && tone.scaled_gain <= kSingleLargestGain &&
                tone.carrier_increment >= 0.0 && tone.carrier_increment <= TWO_PI &&
                (!tone.lfo_on || (tone.mod_increment >= 0.0 && tone.mod_increment <= TWO_PI));
  tone.single_margin = single_sample_margin(tone.scaled_gain, tone.lfo_on);
  if (tone.single && tone.lfo_on) {
    // Drifting a 256th of the recall a period, a slot serves some 256 periods before it is made
    // anew.
    tone.mod_memo_period =
        memo_period(tone.mod_increment, kModulatorRecall / 256, longest_memo(settings));
  }
  tone.range = settings.mod_range_rad;
  tone.growing = tone.carrier_increment > TWO_PI;
  tone.sine = block_sine(tone.growing, settings.bytes_per_sample);
  return tone;
}

void start_tone(const ToneParameters& tone, ToneState& state) {
  ModulatorMemo& kept = state.mod_memo;
  kept.period = tone.mod_memo_period;
  kept.slot = 0;
  kept.phase.assign(kept.period, std::nan(""));
  kept.sine.assign(kept.period, 0.0);
  SampleMemo& memo = state.memo;
  memo.period = tone.memo_period;
  memo.slot = 0;
  memo.phase.assign(memo.period, std::nan(""));
  memo.radius.assign(memo.period, 0.0);
  memo.sample.assign(memo.period, 0);
  state.carrier_cursor = {};
  state.mod_cursor = {};
}

float single_sample_margin(double scaled_gain, bool lfo) {
  // Each end of the check rounds by at most 2^-18 (values stay below 128): 2^-16 more covers it
  // (proofs/sample_check_single.gappa).
  return static_cast<float>(scaled_gain * (lfo ? kSingleLfoSampleMargin : kSingleSampleMargin)) +
         kSingleCheckSlack;
}

// Growing phases need the wide reduction; samples of 8 and 16 bits need no more than the short
// polynomial (its error moves few of them near an integer). The choice affects speed only: the
// check uses the chosen sine's bound and marks every argument beyond its reach (the pairing is
// run as code against its model by proofs/models_as_code.py).
BlockSine block_sine(bool growing, int bytes_per_sample) {
  if (growing) {
    return {fast_sine, kWideSampleMargin, kFastSineLimit};
  }
  if (bytes_per_sample <= kShortSineWidest) {
    return {fast_sine_short, kShortSampleMargin, kNarrowSineLimit};
  }
  return {fast_sine_narrow, kNarrowSampleMargin, kNarrowSineLimit};
}

CheckMargins check_margins(const BlockSine& sine, double scaled_gain, double lfo_range) {
  return {scaled_gain * sine.sample_margin, scaled_gain * kLfoArgumentMargin * lfo_range};
}

int32_t check_frame(double sine, double argument, double carrier_phase, double gain,
                    const CheckMargins& margins, double limit, bool plain) {
  int32_t sample = 0;
  uint64_t doubtful = 0;
  bool any = plain ? scale_and_check<false, false>(&sine, &argument, nullptr, 1, gain,
                                                   margins.margin, 0.0, limit, &sample, &doubtful)
                   : scale_and_check<false, true>(&sine, &argument, &carrier_phase, 1, gain,
                                                  margins.margin, margins.lfo_margin, limit,
                                                  &sample, &doubtful);
  return any ? kDoubtfulSample : sample;
}

namespace {

// The stages of a block, in the order synthesize_block runs them.

// The phase recurrences, in runs where they allow it; everything after them is per frame.
void block_phases(double& carrier_phase, double& mod_phase, const ToneParameters& tone,
                  ToneState& state, int count) {
  BlockRoom& b = state.room;
  carrier_phase =
      fill_phases(tone.carrier_runs, state.carrier_cursor, carrier_phase, b.carrier, count);
  if (tone.lfo_on) {
    mod_phase = fill_phases(tone.mod_runs, state.mod_cursor, mod_phase, b.modulator, count);
  }
}

// The kept period's samples; whether they made the whole block. A few frames the memo misses
// cost less exactly, one by one, than the block's sines.
bool recalled(const ToneParameters& tone, ToneState& state, int32_t* samples, int count) {
  SampleMemo& memo = state.memo;
  if (memo.period == 0) {
    return false;
  }
  BlockRoom& b = state.room;
  const int missed = recall(memo, b.carrier, count, samples);
  if (missed == 0) {
    move_on(memo, count);
    return true;
  }
  if (missed > kFewMisses) {
    return false;
  }
  remember(memo, b.carrier, nullptr, samples, count, tone.scaled_gain, 0.0, 0.0, b.missed);
  return true;
}

// The modulator's short sines: the kept ones where the block comes back to the last period's
// phases, else made anew into b.sine and kept.
const double* modulator_sines(ModulatorMemo& memo, BlockRoom& b, int count) {
  if (memo.period > 0 && memo.slot + count <= memo.period &&
      all_recalled(b.modulator, &memo.phase[memo.slot], count)) {
    const double* kept = &memo.sine[memo.slot];
    move_on(memo, count);
    return kept;
  }
  fast_sine_short(b.modulator, b.sine, count);
  if (memo.period > 0) {
    for_each_stretch(memo, count, [&](int first, int slot, int frames) {
      std::copy_n(b.modulator + first, frames, &memo.phase[slot]);
      std::copy_n(b.sine + first, frames, &memo.sine[slot]);
    });
    move_on(memo, count);
  }
  return b.sine;
}

// The single-precision pass of an 8-bit tone; whether it made the block. From a first phase in
// [0, 2 pi] an increment in [0, 2 pi] keeps every phase there (a sum that reaches 2 pi is at most
// 4 pi, and taking 2 pi off it is exact, by Sterbenz's lemma): the carrier's, and with the LFO
// the modulator's, whose short sine its margin covers (proofs/lfo_spread.gappa).
bool single_pass(const ToneParameters& tone, ToneState& state, int32_t* samples, int count) {
  BlockRoom& b = state.room;
  auto wraps = [](double phase) { return phase >= 0.0 && phase <= TWO_PI; };
  if (!tone.single || count == 0 || !wraps(b.carrier[0]) ||
      (tone.lfo_on && !wraps(b.modulator[0]))) {
    return false;
  }
  const double* modulator_sine = tone.lfo_on ? modulator_sines(state.mod_memo, b, count) : nullptr;
  if (fast_sine_single_samples(b.carrier, modulator_sine, tone.range, count, tone.scaled_gain,
                               tone.single_margin, samples)) {
    for_each_doubtful(samples, count, [&](int i) {
      samples[i] = exact_sample(b.carrier[i], b.modulator[i], tone);
    });
  }
  return true;
}

// The sine's argument: the carrier phase, or the LFO product of it. With a growing phase the
// modulator's sine is the correctly rounded one where the block decides it (RoundedSines.
// BitForBitWithCorrectSin) and the rest is marked for the exact path; otherwise it is the narrow
// block sine, whose error then scales the allowance (lfo_range).
const double* block_argument(const ToneParameters& tone, BlockRoom& b, double& lfo_range,
                             int count) {
  lfo_range = 0.0;
  if (!tone.lfo_on) {
    return b.carrier;
  }
  if (tone.growing) {
    rounded_sines(b.modulator, b.sine, b.doubtful, count, b.quick);
  } else {
    fast_sine_narrow(b.modulator, b.sine, count);  // the modulator's increment is at most 2 pi
    lfo_range = tone.range;
  }
  lfo_products(b.carrier, b.sine, tone.range, b.argument, count);
  return b.argument;
}

// The check of a pure tone's samples, the exact redo of the doubtful ones, and the memo.
void check_pure(const ToneParameters& tone, ToneState& state, const double* argument, double margin,
                int32_t* samples, int count) {
  BlockRoom& b = state.room;
  const double gain = tone.scaled_gain;
  const double limit = tone.sine.limit;
  if (scale_and_check<false, false>(b.sine, argument, nullptr, count, gain, margin, 0.0, limit,
                                    samples, nullptr)) {
    for_each_doubtful(samples, count,
                      [&](int i) { samples[i] = exact_sample(b.carrier[i], 0.0, tone); });
  }
  if (state.memo.period > 0) {
    remember(state.memo, argument, b.sine, samples, count, gain, margin, limit, b.missed);
  }
}

// The check with the LFO's allowance, and the exact redo of the marked frames (marked already
// only where the modulator's sine was decided on the block).
void check_lfo(const ToneParameters& tone, BlockRoom& b, const double* argument,
               const CheckMargins& margins, int32_t* samples, int count) {
  auto check =
      tone.lfo_on && tone.growing ? scale_and_check<true, true> : scale_and_check<false, true>;
  if (check(b.sine, argument, b.carrier, count, tone.scaled_gain, margins.margin,
            margins.lfo_margin, tone.sine.limit, samples, b.doubtful)) {
    for_each_doubtful(samples, count, [&](int i) {
      samples[i] = exact_sample(b.carrier[i], b.modulator[i], tone);
    });
  }
}

}  // namespace

void synthesize_block(double& carrier_phase, double& mod_phase, const ToneParameters& tone,
                      ToneState& state, int32_t* samples, int count) {
  block_phases(carrier_phase, mod_phase, tone, state, count);
  if (recalled(tone, state, samples, count) || single_pass(tone, state, samples, count)) {
    return;
  }
  double lfo_range = 0.0;
  const double* argument = block_argument(tone, state.room, lfo_range, count);
  // The sine and its margin come as one record: no path can pair one with another's.
  tone.sine.evaluate(argument, state.room.sine, count);
  const CheckMargins margins = check_margins(tone.sine, tone.scaled_gain, lfo_range);
  if (!tone.lfo_on && margins.margin < 0.5) {
    check_pure(tone, state, argument, margins.margin, samples, count);
  } else {
    check_lfo(tone, state.room, argument, margins, samples, count);
  }
}

namespace {

template <int Width, int Channels>
TONEGEN_VECTOR_CLONES void pack(const int32_t* samples, int count, unsigned char* out) {
  if constexpr (Width == 2 && Channels <= 2 && std::endian::native == std::endian::little) {
    // The same bytes as below, a frame in one store (the file's byte order is this machine's):
    // compilers make vector stores of this, not of the bytes one by one.
    for (int i = 0; i < count; ++i) {
      if constexpr (Channels == 2) {
        uint32_t frame = (static_cast<uint32_t>(samples[i]) & 0xFFFFu) * 0x10001u;
        std::memcpy(out + i * 4, &frame, 4);
      } else {
        uint16_t frame = static_cast<uint16_t>(samples[i]);
        std::memcpy(out + i * 2, &frame, 2);
      }
    }
    return;
  }
  for (int i = 0; i < count; ++i) {
    // 8-bit PCM is unsigned; wider samples are two's complement.
    uint32_t value =
        Width == 1 ? static_cast<uint32_t>(samples[i]) + 128u : static_cast<uint32_t>(samples[i]);
    for (int c = 0; c < Channels; ++c) {
      for (int k = 0; k < Width; ++k) {
        out[(i * Channels + c) * Width + k] = static_cast<unsigned char>(value >> (8 * k));
      }
    }
  }
}

using Packer = void (*)(const int32_t*, int, unsigned char*);

template <int Width>
constexpr std::array<Packer, 6> packers_of_width() {
  return {pack<Width, 1>, pack<Width, 2>, pack<Width, 3>,
          pack<Width, 4>, pack<Width, 5>, pack<Width, 6>};
}

// Indexed by bytes per sample - 1, then channels - 1.
constexpr std::array<std::array<Packer, 6>, 4> kPackers = {
    packers_of_width<1>(), packers_of_width<2>(), packers_of_width<3>(), packers_of_width<4>()};

}  // namespace

void pack_frames(const int32_t* samples, int count, int channels, int bytes_per_sample,
                 unsigned char* out) {
  // The option ranges; anything else would leave the buffer's old bytes in the file.
  assert(channels >= 1 && channels <= 6 && bytes_per_sample >= 1 && bytes_per_sample <= 4);
  kPackers[bytes_per_sample - 1][channels - 1](samples, count, out);
}

#include "wave/phase_run.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "math/double_double.hpp"
#include "wave/phase_lfo.hpp"
#include "wave/vector_clones.hpp"

// The claims of exactness below (a sum that stays on its binade's grid, a difference exact by
// Sterbenz's lemma, a run's start + i x step) rest on the rounding facts proofs/phase_steps.v
// proves; every path is also held bit for bit against the serial recurrence by
// tests/wave/phase_run_test.cpp (SameAsTheSerialRecurrence, SweepOfToneIncrements,
// WrappingIncrementsOfAnyBits), which any inexact step would fail.

namespace {

constexpr int kChunk = 8;
// What a group of several turns aims at: a turn may have up to kMaxGroupFrames, but longer
// groups of short turns cut the phases into more pieces (time to find them, room to keep them)
// than they save.
constexpr int kGroupFrames = kMaxGroupFrames / 2;

// The bottom of x's binade, 2^e for x in [2^e, 2^(e+1)).
double binade_of(double x) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & 0x7ff0000000000000);
}

int exponent_of(double x) {
  return static_cast<int>(std::bit_cast<uint64_t>(x) >> 52);
}

// The fixed step of a run from `phase` (in [low, 2 low), normal) and the bound every later phase
// of the run stays below, or a step of -1 where no run starts. Two kinds of run:
// - no wrap: phase + increment stays in the binade and below TWO_PI, so each frame adds the
//   increment rounded to the binade's spacing s;
// - a wrap every frame (an increment above TWO_PI, the phase growing): phase + increment stays
//   in the binade and is at least TWO_PI, and so is what is left after subtracting TWO_PI, so
//   each frame adds the increment rounded to s and takes away TWO_PI rounded to s.
// A rounding exactly halfway between multiples of s follows the phase's last bit: no run there.
// The first kind is binade_step (proofs/phase_steps.v), the second growing_run.
struct Run {
  double step;
  double bound;
};

Run run_from(double phase, double increment, double low) {
  const double top = 2.0 * low;
  const double half_spacing = low * 0x1p-53;
  DD sum = two_sum(phase, increment);  // sum.hi is the rounded sum, sum.lo its exact error
  if (!(sum.hi < top) || std::fabs(sum.lo) == half_spacing) {
    return {-1.0, 0.0};
  }
  if (sum.hi < TWO_PI) {
    return {sum.hi - phase, top < TWO_PI ? top : TWO_PI};  // exact: both lie in [low, 2 low)
  }
  DD wrapped = two_sum(sum.hi, -TWO_PI);
  if (!(wrapped.hi >= phase) || std::fabs(wrapped.lo) == half_spacing) {
    return {-1.0, 0.0};
  }
  // The next phase must leave sum.hi - wrapped.hi (TWO_PI rounded to s) for the sum to stay
  // below 2 low; all of it on the grid of s, so exact.
  return {wrapped.hi - phase, top - (sum.hi - wrapped.hi)};
}

// out[i] = start + i step, for i < 8 x chunks: the run's frames, all exact (each i step is a
// multiple of the binade's spacing below its size, and each sum lies on its grid, below its top:
// binade_step).
// What lies past the run is scratch.
TONEGEN_ALWAYS_INLINE void fill_run(double start, double step, int chunks, double* __restrict out) {
  for (int i = 0; i < chunks * kChunk; ++i) {
    out[i] = start + i * step;
  }
}

// out[8c + j] = p0 + offsets[8c + j], for c < chunks.
TONEGEN_ALWAYS_INLINE void fill_offsets(double p0, const double* __restrict offsets, int chunks,
                                        double* __restrict out) {
  for (int j = 0; j < chunks * kChunk; ++j) {
    out[j] = p0 + offsets[j];
  }
}

#if defined(__GNUC__)
using Pair = double __attribute__((vector_size(16)));
using PairMask = int64_t __attribute__((vector_size(16)));

// x >= bound ? a : b, in the floating-point unit and without a branch: the turns' chain must
// not wait on a misprediction nor on moves to the integer unit.
inline double pick_at_least(double x, double bound, double a, double b) {
  const PairMask mask = Pair{x, x} >= Pair{bound, bound};
  const PairMask chosen = (mask & reinterpret_cast<PairMask>(Pair{a, a})) |
                          (~mask & reinterpret_cast<PairMask>(Pair{b, b}));
  return reinterpret_cast<Pair>(chosen)[0];
}
#else
inline double pick_at_least(double x, double bound, double a, double b) {
  return x >= bound ? a : b;
}
#endif

// Runs pay off only in binades that hold many frames: the phase must lie 16 increments above 0
// and, while it wraps, as far below TWO_PI.
inline bool can_run(double phase, double increment) {
  return phase >= 16.0 * increment && phase >= 0x1p-1022 && phase < 0x1p1023 &&
         (increment > TWO_PI || phase + 16.0 * increment < TWO_PI);
}

// The frames of one binade from `phase`, or one frame where the phase is too small for runs:
// writes out[i...] and returns the new i; `phase` becomes the phase after them and `before` the
// one before the last advance.
int general_runs(const PhaseRuns& runs, double& phase, double& before, double* out, int i,
                 int count) {
  const double increment = runs.increment;
  // Where no run can start the phase goes serially: one frame at a time where a table may take
  // over, so that its binades are seen from below; elsewhere in a tight loop until a run can start.
  // (No increment, or a wrapping one from 0.25 on, never comes here: see serial_only.)
  if (!can_run(phase, increment)) {
    const int end = runs.count > 0 ? i + 1 : count;
    do {
      before = phase;
      out[i++] = phase;
      phase = advance_phase(phase, increment);
    } while (i < end && !can_run(phase, increment));
    return i;
  }
  const double low = binade_of(phase);
  const Run run = run_from(phase, increment, low);
  if (run.step >= 0.0) {
    // Whole groups of eight while p + 8 c step < bound, which is decided exactly: below 2^(e+1)
    // the sum is a multiple of s and so a double; above, it rounds to at least 2^(e+1) >= bound
    // (binade_step).
    const double group = kChunk * run.step;
    int chunks = (count - i) / kChunk;
    if (group > 0.0 && (run.bound - phase) / group < chunks) {
      chunks = static_cast<int>((run.bound - phase) / group);
    }
    while (chunks > 0 && !(phase + chunks * group < run.bound)) {
      --chunks;
    }
    fill_run(phase, run.step, chunks, out + i);
    phase += chunks * group;
    i += chunks * kChunk;
  }
  // The rest of the binade one frame at a time: fewer than eight frames, or all of it where
  // no run starts.
  while (i < count) {
    before = phase;
    out[i++] = phase;
    phase = advance_phase(phase, increment);
    if (!(phase >= low && phase < 2.0 * low)) {
      break;
    }
  }
  return i;
}

// Whole turns from `phase`, which entered binade k of the table from below. Returns the phase
// after frame count - 1.
double table_runs(const PhaseRuns& runs, int k, double phase, double* out, int i, int count) {
  const double increment = runs.increment;
  const int top = runs.count - 1;
  for (;;) {
    const PhaseRuns::Binade& b = runs.binades[k];
    // The entry frame, then, unless the next one has left the binade already (only the first
    // binade is short enough), frames next + j step for j <= m: m is the table's, or one less
    // where next + m step >= bound (next lies in [2^e + step, 2^e + 2 step]: entry_range), which
    // that exact comparison tells (frames_one_of_two). The chain from one binade to the next is
    // what limits the speed: both ends are computed, then one is picked.
    const double next = phase + increment;  // below TWO_PI: the phase is below 4.25
    const double full = next + b.last_run;
    const double fewer = next + b.shorter_run;
    const double after_full = full + increment;
    const double after_fewer = fewer + increment;
    const bool crossed = next >= b.bound;
    const bool short_run = full >= b.bound;
    double after = pick_at_least(full, b.bound, after_fewer, after_full);
    if (k == 0) {
      after = pick_at_least(next, b.bound, next, after);
    }
    const int frames = 1 + static_cast<int>(!crossed) * (b.frames - static_cast<int>(short_run));
    out[i] = phase;
    const int room = (count - i - 1 + kChunk - 1) / kChunk;
    fill_run(next, b.step, b.chunks < room ? b.chunks : room, out + i + 1);
    if (count - i < frames) {
      return next + (count - i - 1) * b.step;  // exact: within the run
    }
    i += frames;
    if (k < top) {
      phase = after;  // in the next binade, below TWO_PI
      ++k;
    } else {
      // The wrap, then one or two frames below the first binade (the phase is below the
      // increment, then below twice it), all below TWO_PI.
      const double p0 = after - TWO_PI;
      const double p1 = p0 + increment;
      const double p2 = p1 + increment;
      if (i == count) {
        return p0;
      }
      out[i] = p0;
      out[i + 1] = p1;
      if (i + 1 == count) {
        return p1;
      }
      const bool two = p1 < runs.first_bottom;
      i += 1 + static_cast<int>(two);
      phase = two ? p2 : p1;
      k = 0;
    }
    if (i == count) {
      return phase;
    }
  }
}

// The serial recurrence for an increment in [pi, 2 pi] from a phase below TWO_PI, where most
// frames wrap: the chain carries the sum before the wrap, s, and adds the increment or, after a
// wrap, increment - TWO_PI. Both are exact rewritings (Sterbenz: the increment and TWO_PI, and s
// and TWO_PI, lie within a factor two of each other), so each frame costs the chain one
// addition instead of an addition and a subtraction; the phase itself, s or s - TWO_PI, is
// computed off the chain.
double wrapping_serial(double phase, double increment, double* out, int count) {
  const double after_wrap = increment - TWO_PI;
  double sum = phase;
  for (int i = 0; i < count; ++i) {
    const bool wraps = sum >= TWO_PI;
    out[i] = wraps ? sum - TWO_PI : sum;
    sum += wraps ? after_wrap : increment;
  }
  return sum >= TWO_PI ? sum - TWO_PI : sum;
}

// p - p0 where that difference is a double, otherwise NaN.
double exact_difference(double p, double p0) {
  const DD d = two_sum(p, -p0);
  return d.lo == 0.0 ? d.hi : std::nan("");
}

// The frames of `turns` turns from p0, where a turn starts, as offsets from p0 into `piece`, the
// next group's p0 less p0 into `end`, and in `room` how far p0 may move up with all of these
// unchanged. Moving p0 by a multiple of `step` moves every sum by it; that keeps each rounding
// where the sum's grid is no coarser than `step` and, for a tie, strictly finer (a tie rounds
// to an even multiple; proofs/phase_steps.v, turn_shift). Each sum must also stay in its binade and
// on its side of TWO_PI, and a wrapped sum below 2 TWO_PI so that the subtraction stays exact.
// False where these do not hold or the group has too many frames.
bool group_from(double p0, double increment, int turns, bool rises, double step,
                double (&offsets)[kMaxGroupFrames], int& frames, double& end, double& room) {
  double p = p0;
  frames = 0;
  room = std::numeric_limits<double>::infinity();
  for (int ends = 0; ends < turns;) {
    const double offset = exact_difference(p, p0);
    if (frames == kMaxGroupFrames || std::isnan(offset)) {
      return false;
    }
    offsets[frames++] = offset;
    const DD sum = two_sum(p, increment);
    const double low = binade_of(sum.hi);
    const double spacing = low * 0x1p-52;
    if (spacing > step || (spacing == step && std::fabs(sum.lo) == 0.5 * spacing)) {
      return false;
    }
    room = std::min(room, 2.0 * low - sum.hi);  // exact: both on the binade's grid
    if (sum.hi < TWO_PI) {
      if (sum.hi >= 4.0) {
        room = std::min(room, TWO_PI - sum.hi);  // exact by Sterbenz
      }
      p = sum.hi;
      ends += static_cast<int>(rises);
    } else {
      room = std::min(room, 2.0 * TWO_PI - sum.hi);
      p = sum.hi - TWO_PI;  // exact by Sterbenz
      ends += static_cast<int>(!rises);
    }
  }
  end = exact_difference(p, p0);
  return !std::isnan(end);
}

// The pieces of the phases a turn starts from, for each class of p0, or false: from 0 to the
// largest phase a wrap leaves or, where a turn ends without a wrap, from the increment (rounded
// down to a multiple of the step) to TWO_PI.
// Where the pieces overflow, `covered` tells how much of that range they reached.
bool turn_pieces(double increment, int turns, bool rises, int classes, TurnTable& table,
                 double& covered) {
  const double step = classes * 0x1p-50;
  const double first = rises ? std::floor(increment / step) * step : 0.0;
  const double below_turn = std::nextafter(TWO_PI, 0.0);
  const double last = rises ? below_turn : advance_phase(below_turn, increment);
  int most = 0;
  table.pieces.clear();  // kept in the order of their starts, without gaps between classes
  table.offsets.clear();
  for (int c = 0; c < classes; ++c) {
    table.piece_shift[c] = static_cast<int>(table.pieces.size()) - c * kMaxTurnPieces;
    int n = 0;
    for (double p0 = first + c * 0x1p-50; p0 <= last; ++n) {
      const int k = c * kMaxTurnPieces + n;
      double room = 0.0;
      if (n == kMaxTurnPieces - 1) {  // the last start of a class stays +infinity
        covered = (p0 - first) / (last - first);
        return false;
      }
      double offsets[kMaxGroupFrames];
      int frames = 0;
      if (!group_from(p0, increment, turns, rises, step, offsets, frames, table.ends[k], room)) {
        return false;
      }
      table.pieces.push_back({static_cast<int>(table.offsets.size()), frames});
      table.offsets.insert(table.offsets.end(), offsets, offsets + frames);
      table.starts[k] = p0;
      p0 += std::ceil(room / step) * step;  // exact: multiples of 2^-50 below 16
    }
    std::fill(table.starts + c * kMaxTurnPieces + n, table.starts + (c + 1) * kMaxTurnPieces,
              std::numeric_limits<double>::infinity());
    for (int b = 0; b < kMaxTurnPieces / kCoarse; ++b) {
      table.coarse[c * (kMaxTurnPieces / kCoarse) + b] =
          table.starts[c * kMaxTurnPieces + kCoarse * b];
    }
    most = std::max(most, n);
  }
  // Each piece's successor search starts at the last piece of the next class whose start is at
  // most its own start + end (exact: multiples of 2^-50 below 8, turn_shift), where its least p0
  // leads.
  for (int c = 0; c < classes; ++c) {
    for (int k = c * kMaxTurnPieces; table.starts[k] <= last; ++k) {
      const double next = table.starts[k] + table.ends[k];
      // next is a multiple of 2^-50 below 8: its class is exact.
      const int m = static_cast<int>(static_cast<int64_t>(next * 0x1p50) & (classes - 1));
      int j = m * kMaxTurnPieces;
      while (table.starts[j + 1] <= next) {
        ++j;
      }
      table.first_next[k] = j;
    }
  }
  table.offsets.resize(table.offsets.size() + kPhaseSlack, 0.0);
  table.coarse_quads = ((most + kCoarse - 1) / kCoarse + 3) / 4;
  table.classes = classes;
  table.rises = rises;
  return true;
}

// Groups of as many turns as fit, fewer where their pieces do not: about as many fewer as the
// pieces fell short of the range (each try costs a sweep of the pieces).
void turn_table(double increment, int per_turn, bool rises, TurnTable& table) {
  for (int turns = std::max(1, kGroupFrames / per_turn); turns > 0 && table.classes == 0;) {
    double covered = 1.0;
    for (int classes = 1; classes <= kMaxTurnClasses && table.classes == 0; classes *= 2) {
      turn_pieces(increment, turns, rises, classes, table, covered);
    }
    turns = std::min(turns - 1, static_cast<int>(turns * std::sqrt(covered) * 0.95));
  }
}

// How many of the 4 x quads starts are at most p.
#if defined(__GNUC__)
inline int count_at_most(const double* starts, int quads, double p) {
  const Pair key = {p, p};
  PairMask a = {0, 0};
  PairMask b = {0, 0};
  for (int j = 0; j < quads; ++j, starts += 4) {
    Pair x;
    Pair y;
    std::memcpy(&x, starts, sizeof x);
    std::memcpy(&y, starts + 2, sizeof y);
    a += x <= key;  // true is -1
    b += y <= key;
  }
  a += b;
  return static_cast<int>(-(a[0] + a[1]));
}
#else
inline int count_at_most(const double* starts, int quads, double p) {
  int n = 0;
  for (int j = 0; j < 4 * quads; ++j) {
    n += static_cast<int>(starts[j] <= p);
  }
  return n;
}
#endif

// Frames one at a time up to the end of a turn: the first frame that wraps or, with `rises`,
// the first that does not. Returns how many it wrote; `phase` becomes the phase after them.
int serial_to_turn_end(double increment, bool rises, double& phase, double* out, int count) {
  int i = 0;
  while (i < count) {
    out[i++] = phase;
    const double sum = phase + increment;
    const bool wraps = sum >= TWO_PI;
    phase = wraps ? sum - TWO_PI : sum;
    if (wraps != rises) {
      break;
    }
  }
  return i;
}

// The turns as groups of pieces, from the first wrap on or from where the last block left its
// group. Returns the phase after count frames.
double turn_runs(const TurnTable& table, double increment, double phase, double* out, int count,
                 TurnCursor& cursor) {
  int i = 0;
  int k = 0;
  int done = 0;  // frames of the group before out[0]
  if (std::bit_cast<uint64_t>(phase) == std::bit_cast<uint64_t>(cursor.phase)) {
    // The same phase goes on the same way, whoever asks.
    k = cursor.k;
    done = cursor.done;
    phase = cursor.p0;
  } else {
    // Serially to the end of the first turn: a block may start anywhere in one.
    i = serial_to_turn_end(increment, table.rises, phase, out, count);
    if (i == count) {
      return phase;
    }
    // p0 is a multiple of 2^-50 below 8 (a wrap's rest, or a sum in [4, 8)): its class is exact
    // (turn_shift; PhaseRuns.WrappingIncrementsOfAnyBits).
    const int c = static_cast<int>(static_cast<int64_t>(phase * 0x1p50) & (table.classes - 1));
    // The piece is the last whose start is at most p0 (the first's is at most every p0): first
    // among every kCoarse-th start, then among the kCoarse from there.
    const int b =
        count_at_most(table.coarse + c * (kMaxTurnPieces / kCoarse), table.coarse_quads, phase) - 1;
    k = c * kMaxTurnPieces + kCoarse * b +
        count_at_most(table.starts + c * kMaxTurnPieces + kCoarse * b, kCoarse / 4, phase) - 1;
  }
  for (;;) {
    const TurnTable::Piece& piece = table.pieces[k + table.piece_shift[k / kMaxTurnPieces]];
    const int left = count - i;
    const int rest = piece.frames - done;
    const double* offsets = &table.offsets[piece.first];
    fill_offsets(phase, offsets + done, (std::min(left, rest) + kChunk - 1) / kChunk, out + i);
    if (left < rest) {
      cursor = {phase + offsets[done + left], phase, k, done + left};
      return cursor.phase;
    }
    i += rest;
    done = 0;
    phase += table.ends[k];
    // The next piece from the first the next p0 can fall in, upwards: a few steps at most, and
    // branches that follow the tone's own pattern, so the processor runs ahead of the chain.
    for (k = table.first_next[k]; table.starts[k + 1] <= phase;) {
      ++k;
    }
    if (i == count) {
      cursor = {phase, phase, k, 0};
      return phase;
    }
  }
}

// A phase that falls: an increment from 4 up to below TWO_PI, its turns too long for a table.
// After a wrap the phase is a multiple of u = 2^-50, and so is the increment; so is every sum,
// which is exact below 8 (the spacing of [4, 8) is u). Three kinds of frame:
// - below TWO_PI - increment the sum stays below TWO_PI: the phase rises by the increment,
//   exactly, to at least the increment and so at least 8 - increment;
// - from there up to 8 - increment the sum lies in [TWO_PI, 8): the phase falls by
//   TWO_PI - increment, exactly;
// - from 8 - increment up the sum lies in [8, 16) and rounds to an even multiple of u, a tie
//   (an odd one) to a multiple of 4 u. Each sum is the one before rounded, plus D =
//   (increment - TWO_PI) / u: so after two such frames every sum is even (D even) or D modulo 4
//   (D odd), each later one rounds the same way, and the phase falls by the same step
//   (proofs/phase_steps.v, falling_settles and falling_class).
// Each stretch of the last two kinds is a run, its length found by a division and exact
// comparisons, its frames filled eight at a time.
double falling_runs(double increment, double phase, double* out, int count) {
  const double fall = increment - TWO_PI;  // exact by Sterbenz, negative
  const double low = -fall;
  const double upper = 8.0 - increment;  // exact by Sterbenz
  const auto d = static_cast<int64_t>(fall * 0x1p50);
  const double settled = d % 2 == 0 ? fall : fall + ((d % 4 + 4) % 4 == 1 ? -0x1p-50 : 0x1p-50);
  // Serially up to the first wrap, from where the phase is a multiple of u.
  int i = serial_to_turn_end(increment, false, phase, out, count);
  int upper_frames = 0;  // frames of the third kind in a row
  while (i < count) {
    double step = fall;
    double bound = low;
    if (phase < low) {
      out[i++] = phase;
      phase += increment;
      upper_frames = 0;
      continue;
    }
    if (phase >= upper) {
      if (upper_frames < 2) {
        out[i++] = phase;
        phase = advance_phase(phase, increment);
        ++upper_frames;
        continue;
      }
      step = settled;
      bound = upper;
    }
    upper_frames = 0;
    // m: how many of phase + j step, j >= 0, stay at or above the bound. Each is exact (a
    // multiple of u in [0, 8)), and so is each comparison (falling_class, falling_settles).
    // (A settled step of 0, D = -1, holds the phase where it is.)
    int m = count - i;
    if (step < 0.0 && (phase - bound) / -step < m) {
      m = static_cast<int>((phase - bound) / -step) + 1;
      while (m > 1 && !(phase + (m - 1) * step >= bound)) {
        --m;
      }
      while (m < count - i && phase + m * step >= bound) {
        ++m;
      }
    }
    fill_run(phase, step, (m + kChunk - 1) / kChunk, out + i);
    i += m;
    phase += m * step;
  }
  return phase;
}

// The binade table of a wrapping phase's small increments (runs.binades, runs.count).
void binade_table(double increment, PhaseRuns& runs) {
  // Small increments only: then no binade below [4, 8) can reach TWO_PI. Not too small, so that
  // a binade's frames can be counted, nor within 2^-50 below a power of two: the phase after a
  // wrap (the sum's rounding in [4, 8) can leave it up to 2^-51 above the increment) must stay
  // below twice the increment's binade, and the phase after it below four times.
  if (!(increment >= 0x1p-24 && increment < 0.25)) {
    return;
  }
  runs.first_bottom = 2.0 * binade_of(increment);
  if (!(runs.first_bottom - increment > 0x1p-50)) {
    return;
  }
  const int binades = exponent_of(4.0) - exponent_of(runs.first_bottom) + 1;
  static_assert(kMaxTableBinades >= 2 + 23 + 1, "from 2^-23 (the least first binade) to [4, 8)");
  double low = runs.first_bottom;
  for (int k = 0; k < binades; ++k, low *= 2.0) {
    PhaseRuns::Binade& b = runs.binades[k];
    // The step from an even multiple of the spacing s, such as 2^e: the same from every phase
    // but where the increment lies halfway between multiples of s. There every sum is a tie
    // and rounds to an even multiple, so from the second frame of the binade on the step is
    // this one too (table_step).
    b.step = (low + increment) - low;
    b.bound = k == binades - 1 ? TWO_PI : 2.0 * low;
    // m: the most j with (2^e + step) + j step < bound (each sum exact below 2^(e+1), and
    // rounded to at least 2^(e+1) above: binade_step).
    const double second = low + b.step;
    int m = static_cast<int>((b.bound - second) / b.step);
    while (second + (m + 1) * b.step < b.bound) {
      ++m;
    }
    while (m > 0 && !(second + m * b.step < b.bound)) {
      --m;
    }
    b.last_run = m * b.step;
    b.shorter_run = (m - 1) * b.step;
    b.frames = m + 1;
    b.chunks = (m + kChunk) / kChunk;
  }
  runs.count = binades;
}

}  // namespace

PhaseRuns phase_runs(double increment) {
  PhaseRuns runs;
  runs.increment = increment;
  // Groups of turns as large as the table allows, each holding at most kMaxGroupFrames frames;
  // fewer turns where the pieces do not fit. From 4 on, where most frames wrap and the phase
  // falls by TWO_PI - increment (exactly, while sums stay below 8: falling_class), a turn ends
  // where the phase rises instead; that cuts the phases a turn starts from into far fewer pieces.
  // Where such a turn is too long for a table the falling phase goes in runs.
  TurnTable& table = runs.turns;
  if (increment >= 4.0 && TWO_PI - increment >= TWO_PI / kMaxGroupFrames) {
    const int per_turn = static_cast<int>(TWO_PI / (TWO_PI - increment)) + 1;
    turn_table(increment, per_turn, true, table);
  }
  runs.falling = increment >= 4.0 && increment < TWO_PI && table.classes == 0;
  if (!runs.falling && table.classes == 0 && increment >= TWO_PI / kMaxGroupFrames &&
      increment <= TWO_PI) {
    turn_table(increment, static_cast<int>(TWO_PI / increment) + 1, false, table);
  }
  if (table.classes == 0) {
    table.pieces = {};
    table.offsets = {};
  }
  // From TWO_PI / 32 on no run can start (a phase 16 increments above 0 lies less than 16 below
  // TWO_PI), and from 0.25 on no binade table is made either (below): every frame goes serially.
  runs.serial_only = !(increment > 0.0) || (increment <= TWO_PI && !(increment < 0.25));
  binade_table(increment, runs);
  return runs;
}

TONEGEN_VECTOR_CLONES TONEGEN_FLATTEN double fill_phases(const PhaseRuns& runs, TurnCursor& cursor,
                                                         double phase, double* out, int count) {
  if (runs.turns.classes > 0 && phase >= 0.0 && phase < TWO_PI) {
    return turn_runs(runs.turns, runs.increment, phase, out, count, cursor);
  }
  if (runs.falling && phase >= 0.0 && phase < TWO_PI) {
    return falling_runs(runs.increment, phase, out, count);
  }
  if (runs.serial_only) {
    const double increment = runs.increment;
    if (increment >= 0.5 * TWO_PI && phase < TWO_PI) {
      return wrapping_serial(phase, increment, out, count);
    }
    for (int i = 0; i < count; ++i) {
      out[i] = phase;
      phase = advance_phase(phase, increment);
    }
    return phase;
  }
  int i = 0;
  while (i < count) {
    double before = phase;
    i = general_runs(runs, phase, before, out, i, count);
    // Into a binade of the table from below: whole turns from here.
    if (i < count && runs.count > 0 && before < binade_of(phase) && phase < TWO_PI) {
      int k = exponent_of(phase) - exponent_of(runs.first_bottom);
      if (k >= 0 && k < runs.count) {
        return table_runs(runs, k, phase, out, i, count);
      }
    }
  }
  return phase;
}

#pragma once

#include <limits>
#include <vector>

// The phase accumulator for a block of frames, in runs where the recurrence allows it.
//
// Within one binade [2^e, 2^(e+1)) every double is a multiple of its spacing s = 2^(e-52),
// so rounding phase + increment to a double inside the binade adds round(increment / s) x s
// whatever the phase: the same step d every frame, unless the increment lies exactly halfway
// between two multiples of s (then the rounding follows the phase's last bit). So while the phase
// stays in the binade and below TWO_PI (no wrap), the recurrence is the progression p0 + j x d,
// and every p0 + j x d is exact: j x d = p_j - p0 is a multiple of s below 2^e. The same holds
// for a phase that grows (an increment above TWO_PI: a wrap every frame) while the sum and what
// the wrap leaves stay in the binade: d is then the increment and TWO_PI, each rounded to s, the
// one less the other.
//
// For a wrapping phase with a small increment the steps d_e are known per file, and a binade
// entered from below (from p' < 2^e, so at most 2^e + d_e) holds one of two numbers of frames, told
// apart by one exact comparison. Where the increment lies halfway, every sum in the binade is a tie
// and rounds to an even multiple of s, so from the binade's second frame on the step is fixed there
// too. So each turn costs a comparison and a few additions per binade, plus the wrap; the frames
// themselves are filled eight at a time, off that chain. Larger increments, with 256 frames a turn
// or fewer, go by groups of whole turns (TurnTable), and from 4 on, where the phase falls too
// slowly for that, in runs of its own (PhaseRuns::falling). Everything else (the binade a block
// starts in, tiny or growing increments) goes through the general runs, and one frame at a time
// where those do not start. proofs/phase_steps.v proves the fixed step and the two numbers of
// frames, and that moving a group's start moves every rounded sum of the group with it
// (turn_shift).

// Room `out` needs past `count`: the runs write whole groups of eight.
inline constexpr int kPhaseSlack = 8;

inline constexpr int kMaxTableBinades = 28;
inline constexpr int kMaxTurnPieces = 256;
inline constexpr int kMaxGroupFrames = 256;
inline constexpr int kMaxTurnClasses = 4;
inline constexpr int kCoarse = 8;  // a search's second step compares this many starts

// A wrapping phase's turns, for increments from TWO_PI / 256 up to TWO_PI. Right after a wrap
// the phase p0 is a multiple of 2^-50 (what is left of a sum in [4, 16) after subtracting TWO_PI,
// exactly), and no grid up to [4, 8) is coarser than that: so p0 + x rounds to p0 plus x
// rounded (turn_shift, proofs/phase_steps.v), and the frames of the next few turns are p0 + c_j
// with offsets c_j that change only where one of them crosses a binade's top or TWO_PI. Those
// points cut [0, increment] into a few pieces, found once per file. Where a rounding on the grid of
// 2^-50 or 2^-49 is a tie (it goes to the even neighbour) or a sum reaches [8, 16), the pieces are
// kept apart by p0 modulo 2^-49 or 2^-48: two or four classes. A group of turns then costs one
// addition and a short walk up from the first piece the last group leads to (a search among the
// class's pieces only where a block starts afresh); its frames are filled off that chain, eight at
// a time. From an increment of 4 on, most frames wrap and the phase falls, and a turn ends instead
// where it rises (no wrap: the phase is then a sum in [4, 8), a multiple of 2^-50 too); the pieces
// then cover the phases from the increment to TWO_PI.
struct TurnTable {
  struct Piece {
    int first = 0;  // c_j at offsets[first + j]: the group's frames are p0 + c_j, j < frames
    int frames = 0;
  };
  // Piece n of class c at k = c * kMaxTurnPieces + n in the arrays below.
  int classes = 0;       // 0: no table; else p0 / 2^-50 modulo classes picks the pieces
  bool rises = false;    // a turn ends where the phase does not wrap, rather than where it does
  int coarse_quads = 0;  // the groups of four in `coarse` a search compares
  // Each piece's least p0 (+infinity past the last, at least once a class), the next group's p0
  // less p0, and the first piece the next p0 may lie in (the search goes up from there).
  double starts[kMaxTurnClasses * kMaxTurnPieces];
  double coarse[kMaxTurnClasses * kMaxTurnPieces / kCoarse];  // every kCoarse-th start
  double ends[kMaxTurnClasses * kMaxTurnPieces];
  int first_next[kMaxTurnClasses * kMaxTurnPieces];
  // Piece k of class c at [k + piece_shift[c]]: on the heap, as many as there are (a table is
  // too large for some threads' stacks, and most have few pieces).
  int piece_shift[kMaxTurnClasses];
  std::vector<Piece> pieces;
  // Every piece's offsets in turn, then kPhaseSlack zeros: a last group of eight from any frame
  // of any piece reads no further.
  std::vector<double> offsets;
};

// Where a block ended inside a group of turns: the frame after it is p0 + c_done of piece k. A
// block that starts from that very phase goes on from there; any other phase starts afresh.
struct TurnCursor {
  double phase = std::numeric_limits<double>::quiet_NaN();
  double p0 = 0.0;
  int k = 0;
  int done = 0;
};

// What the runs need to know of one increment, computed once per file and not changed after.
struct PhaseRuns {
  double increment = 0.0;
  // The binades from `first_bottom` (twice the increment's binade) up to [4, 8), whose top is
  // TWO_PI; none (count 0) where a step lies halfway or the increment is too large or too small.
  struct Binade {
    double step;
    double bound;        // 2^(e+1), or TWO_PI for the last
    double last_run;     // m x step, m the most frames after the second from 2^e itself
    double shorter_run;  // (m - 1) x step
    int frames;          // m + 1
    int chunks;          // groups of eight that cover m + 1 frames
  };
  Binade binades[kMaxTableBinades];
  int count = 0;
  double first_bottom = 0.0;
  // No run can ever start and no binade table serves (a wrapping phase with an increment from
  // 0.25 on and no turn table; or no increment): every frame goes serially, in the tightest loop.
  bool serial_only = false;
  TurnTable turns;
  bool falling = false;  // no table, an increment from 4 on: a falling phase's runs
};

PhaseRuns phase_runs(double increment);

// out[i] = the phase before the i-th advance, for `count` frames from `phase`; returns the phase
// after them. Exactly what `count` calls of advance_phase give (PhaseRuns tests, bit for bit).
// `out` must have room for count + kPhaseSlack doubles; what lies past count is scratch. `cursor`
// is where the last block left its turns, the running state of the oscillator (any value is right;
// the one the last call left saves work).
double fill_phases(const PhaseRuns& runs, TurnCursor& cursor, double phase, double* out, int count);

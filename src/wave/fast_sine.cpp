#include "wave/fast_sine.hpp"

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "math/sine_steps.hpp"
#include "wave/sine_polynomials.hpp"
#include "wave/vector_clones.hpp"

namespace {

constexpr double kInversePi = 0x1.45f306dc9c883p-2;

// Narrow reduction: pi in three parts, the first two with short mantissas, so q x part is exact
// for |q| < 2^23.
constexpr double kPiA = 0x1.921fb54000000p+1;
constexpr double kPiB = 0x1.10b4611800000p-29;
constexpr double kPiC = 0x1.313198a2e0370p-60;

// Wide reduction: pi in three parts, the first two with 32-bit mantissas, so their products with
// a number of at most 21 bits are exact; the third is the double nearest to the rest (left out:
// under 2^-121).
constexpr double kPi1 = 0x1.921fb544p+1;
constexpr double kPi2 = 0x1.0b4611a6p-33;
constexpr double kPi3 = 0x1.3198a2e037073p-68;

// P(r2) by Horner's rule, in the order evaluation_*.gappa proves.
template <std::size_t N>
TONEGEN_ALWAYS_INLINE double polynomial(const double (&c)[N], double r2) {
  double p = c[N - 1];
  for (std::size_t k = N - 1; k-- > 0;) {
    p = p * r2 + c[k];
  }
  return p;
}

// x = q pi + r with |r| <= 1.5723, a little over pi/2 where x / pi rounds the other way (range and
// error: proofs/reduction_*.gappa). The shifted value keeps q in its low mantissa bits:
// sin x = (-1)^q sin r, q's lowest bit is the sign.
template <bool Wide, bool Short = false>
inline double sine(double x) {
  double shifted = x * kInversePi + kRoundingShift;
  double q = shifted - kRoundingShift;
  double r = 0.0;
  if constexpr (Wide) {
    // q (below 2^41) is split into a multiple of 2^21 and a rest of at most 2^20, so every
    // product with kPi1 and kPi2 is exact, and so are the first three differences: each is far
    // smaller than its operands, on their grid. Only the last two round.
    double q_high = ((q * 0x1p-21 + kRoundingShift) - kRoundingShift) * 0x1p21;
    double q_low = q - q_high;
    r = x - q_high * kPi1;
    r -= q_low * kPi1;
    r -= q_high * kPi2;
    r -= q_low * kPi2;
    r -= q * kPi3;
  } else {
    r = ((x - q * kPiA) - q * kPiB) - q * kPiC;  // the first difference is exact
  }
  double r2 = r * r;
  double p = Short ? polynomial(block_sine::kShortCoefficients, r2)
                   : polynomial(block_sine::kLongCoefficients, r2);
  double s = r + (r * r2) * p;
  uint64_t sign = std::bit_cast<uint64_t>(shifted) << 63;
  return std::bit_cast<double>(std::bit_cast<uint64_t>(s) ^ sign);
}

}  // namespace

TONEGEN_VECTOR_CLONES
void fast_sine(const double* x, double* out, int count) {
  for (int i = 0; i < count; ++i) {
    out[i] = sine<true>(x[i]);
  }
}

TONEGEN_VECTOR_CLONES
void fast_sine_narrow(const double* x, double* out, int count) {
  for (int i = 0; i < count; ++i) {
    out[i] = sine<false>(x[i]);
  }
}

TONEGEN_VECTOR_CLONES
void fast_sine_short(const double* x, double* out, int count) {
  for (int i = 0; i < count; ++i) {
    out[i] = sine<false, true>(x[i]);
  }
}

namespace {

// The quick step of the correctly rounded sine, for a block: each frame needs the sine series or
// the cosine series, by its quadrant, so the frames are sorted into two dense lists and each
// series runs over its own list. Branch-free and in place, every loop becomes vector code.
struct QuickSines {
  double r_hi[kMaxRoundedSines];
  double r_lo[kMaxRoundedSines];
  uint64_t quadrant[kMaxRoundedSines];
  uint64_t known[kMaxRoundedSines];  // the sine needs no series: it is known_value
  double known_value[kMaxRoundedSines];
  // The lists: the sine list from the front, the cosine list from the back.
  int index[kMaxRoundedSines];
  double arg_hi[kMaxRoundedSines];
  double arg_lo[kMaxRoundedSines];
  uint64_t negative[kMaxRoundedSines];  // quadrants 2 and 3 negate
  double value[kMaxRoundedSines];
  uint64_t undecided[kMaxRoundedSines];
};

template <bool Fma>
TONEGEN_ALWAYS_INLINE void reduce_block(const double* x, QuickSines& q, int count) {
  for (int i = 0; i < count; ++i) {
    sine_steps::Reduced reduced = sine_steps::reduce_to_quadrant<Fma>(x[i]);
    q.quadrant[i] = reduced.quadrant;
    q.r_hi[i] = reduced.r.hi;
    q.r_lo[i] = reduced.r.lo;
    q.known[i] = reduced.known;
    q.known_value[i] = reduced.value;
  }
}

// The quick value and its rounding test for the listed frames (from `first`, `count` of them),
// one parity for all: rounded_sine's quick step with one double-double term less
// (kBlockQuickDoubleDoubleTerms) and its own proven bound; a value it decides is the correctly
// rounded sine all the same.
template <bool Fma, bool Odd>
TONEGEN_ALWAYS_INLINE void quick_block(QuickSines& q, int first, int count) {
  for (int j = first; j < first + count; ++j) {
    DD y = sine_steps::series_of_parity<Fma>(
        {q.arg_hi[j], q.arg_lo[j]}, Odd, sine_steps::kBlockQuickDoubleDoubleTerms,
        sine_steps::kBlockSineTerms, sine_steps::kBlockCosineTerms);
    uint64_t sign = q.negative[j] << 63;
    y.hi = std::bit_cast<double>(std::bit_cast<uint64_t>(y.hi) ^ sign);
    y.lo = std::bit_cast<double>(std::bit_cast<uint64_t>(y.lo) ^ sign);
    q.value[j] = y.hi + y.lo;
    q.undecided[j] = sine_steps::decided(y, sine_steps::kBlockQuickBound) ? 0 : 1;
  }
}

// The vector parts, for the processor at hand.
template <bool Fma>
struct QuickSineSteps;

template <>
struct QuickSineSteps<false> {
  TONEGEN_VECTOR_CLONES static void reduce(const double* x, QuickSines& q, int count) {
    reduce_block<false>(x, q, count);
  }
  TONEGEN_VECTOR_CLONES static void sines(QuickSines& q, int first, int count) {
    quick_block<false, false>(q, first, count);
  }
  TONEGEN_VECTOR_CLONES static void cosines(QuickSines& q, int first, int count) {
    quick_block<false, true>(q, first, count);
  }
};

#ifdef TONEGEN_FMA_TARGET
template <>
struct QuickSineSteps<true> {
  TONEGEN_FMA_TARGET static void reduce(const double* x, QuickSines& q, int count) {
    reduce_block<true>(x, q, count);
  }
  TONEGEN_FMA_TARGET static void sines(QuickSines& q, int first, int count) {
    quick_block<true, false>(q, first, count);
  }
  TONEGEN_FMA_TARGET static void cosines(QuickSines& q, int first, int count) {
    quick_block<true, true>(q, first, count);
  }
};
#endif

template <bool Fma>
void rounded_sines_with(const double* x, double* out, uint64_t* undecided, int count) {
  static QuickSines q;
  assert(count <= kMaxRoundedSines);
  QuickSineSteps<Fma>::reduce(x, q, count);
  int sines = 0;
  int cosines = count;
  for (int i = 0; i < count; ++i) {
    int at = (q.quadrant[i] & 1) != 0 ? --cosines : sines++;
    q.index[at] = i;
    q.arg_hi[at] = q.r_hi[i];
    q.arg_lo[at] = q.r_lo[i];
    q.negative[at] = q.quadrant[i] >> 1;
  }
  QuickSineSteps<Fma>::sines(q, 0, sines);
  QuickSineSteps<Fma>::cosines(q, sines, count - sines);
  for (int j = 0; j < count; ++j) {
    int i = q.index[j];
    out[i] = q.known[i] != 0 ? q.known_value[i] : q.value[j];
    undecided[i] = q.undecided[j] & ~q.known[i];
  }
}

}  // namespace

void rounded_sines(const double* x, double* out, uint64_t* undecided, int count) {
#ifdef TONEGEN_FMA_TARGET
  if (processor_has_fma()) {
    rounded_sines_with<true>(x, out, undecided, count);
    return;
  }
#endif
  rounded_sines_with<false>(x, out, undecided, count);
}

#include "wave/fast_sine.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "math/sine_steps.hpp"
#include "wave/phase_lfo.hpp"
#include "wave/sine_polynomials.hpp"
#include "wave/vector_clones.hpp"

namespace {

constexpr double kInversePi = 0x1.45f306dc9c883p-2;

// Narrow reduction: pi in three parts, the first two with short mantissas, so q x part is exact
// for |q| < 2^23 (a goal of reduction_narrow.gappa).
constexpr double kPiA = 0x1.921fb54000000p+1;
constexpr double kPiB = 0x1.10b4611800000p-29;
constexpr double kPiC = 0x1.313198a2e0370p-60;

// Wide reduction: pi in three parts, the first two with 32-bit mantissas, so their products with
// a number of at most 21 bits are exact (goals of reduction_wide.gappa); the third is the double
// nearest to the rest (left out: under 2^-121).
constexpr double kPi1 = 0x1.921fb544p+1;
constexpr double kPi2 = 0x1.0b4611a6p-33;
constexpr double kPi3 = 0x1.3198a2e037073p-68;

// P(r2) by Horner's rule, in the order evaluation_*.gappa proves: each step rounded twice, or
// with Fma once (a fused multiply-add, in the builds for processors that have one; its error is
// proven within the same bound).
// Unrolled by recursion: a loop left in the body would keep the frame loop from vector code.
template <bool Fma, std::size_t N, std::size_t K>
TONEGEN_ALWAYS_INLINE double horner(const double (&c)[N], double r2, double p) {
  if constexpr (K == 0) {
    return p;
  } else {
    if constexpr (Fma) {
      p = std::fma(p, r2, c[K - 1]);
    } else {
      p = p * r2 + c[K - 1];
    }
    return horner<Fma, N, K - 1>(c, r2, p);
  }
}

template <bool Fma, std::size_t N>
TONEGEN_ALWAYS_INLINE double polynomial(const double (&c)[N], double r2) {
  return horner<Fma, N, N - 1>(c, r2, c[N - 1]);
}

// x = q pi + r with |r| <= 1.5723, a little over pi/2 where x / pi rounds the other way (range and
// error: proofs/reduction_narrow.gappa, reduction_wide.gappa). The shifted value keeps q in its
// low mantissa bits: sin x = (-1)^q sin r, q's lowest bit is the sign.
template <bool Wide>
TONEGEN_ALWAYS_INLINE double reduce(double x, double& shifted) {
  shifted = x * kInversePi + kRoundingShift;
  double q = shifted - kRoundingShift;
  double r = 0.0;
  if constexpr (Wide) {
    // q (below 2^41) is split into a multiple of 2^21 and a rest of at most 2^20, so every
    // product with kPi1 and kPi2 is exact, and so are the first three differences: each is far
    // smaller than its operands, on their grid. Only the last two round (reduction_wide.gappa,
    // whose model models_as_code.py holds against this at r).
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
  return r;
}

template <bool Wide, bool Short, bool Fma>
TONEGEN_ALWAYS_INLINE double sine(double x) {
  double shifted = 0.0;
  double r = reduce<Wide>(x, shifted);
  double r2 = r * r;
  double p = Short ? polynomial<Fma>(block_sine::kShortCoefficients, r2)
                   : polynomial<Fma>(block_sine::kLongCoefficients, r2);
  double s = 0.0;
  if constexpr (Fma) {
    s = std::fma(r * r2, p, r);
  } else {
    s = r + (r * r2) * p;
  }
  uint64_t sign = std::bit_cast<uint64_t>(shifted) << 63;
  return std::bit_cast<double>(std::bit_cast<uint64_t>(s) ^ sign);
}

// The single-precision reduction: q the integer nearest x / pi (or next to it), pi in two parts of
// 20 bits, so that q x part is exact for |q| <= 15 (LFO arguments reach 4 pi^2) and
// x - q kSinglePiA is exact (Sterbenz): the only roundings are x's own, q's and the last
// difference (reduction_single.gappa).
constexpr float kSingleInversePi = 0x1.45f306p-2f;
constexpr float kSinglePiA = 0x1.921fcp+1f;
constexpr float kSinglePiB = -0x1.5777ap-20f;
constexpr float kSingleRoundingShift = 0x1.8p23f;

template <bool Fma>
TONEGEN_ALWAYS_INLINE float reduce_single(float x, float& shifted) {
  // q rounded once (fused) or twice: either is an integer next to x / pi (reduction_single.gappa).
  shifted = Fma ? std::fma(x, kSingleInversePi, kSingleRoundingShift)
                : x * kSingleInversePi + kSingleRoundingShift;
  float q = shifted - kSingleRoundingShift;
  // The products are exact: fused or not, the same r (models_as_code.py holds both forms to
  // reduction_single.gappa's).
  return Fma ? std::fma(-q, kSinglePiB, std::fma(-q, kSinglePiA, x))
             : (x - q * kSinglePiA) - q * kSinglePiB;
}

template <bool Fma>
TONEGEN_ALWAYS_INLINE float single_sine(float x) {
  float shifted = 0.0f;
  float r = reduce_single<Fma>(x, shifted);
  constexpr auto& c = block_sine::kSingleCoefficients;
  float r2 = r * r;
  float p = 0.0f;
  float s = 0.0f;
  if constexpr (Fma) {
    p = std::fma(std::fma(std::fma(float(c[3]), r2, float(c[2])), r2, float(c[1])), r2,
                 float(c[0]));
    s = std::fma(r * r2, p, r);
  } else {
    p = ((float(c[3]) * r2 + float(c[2])) * r2 + float(c[1])) * r2 + float(c[0]);
    s = r + (r * r2) * p;
  }
  uint32_t sign = std::bit_cast<uint32_t>(shifted) << 31;
  return std::bit_cast<float>(std::bit_cast<uint32_t>(s) ^ sign);
}

template <bool Fma, bool Lfo>
TONEGEN_ALWAYS_INLINE bool single_samples(const double* x, const double* modulator_sine,
                                          double range, int count, double gain, float margin,
                                          int32_t* samples) {
  const float g = static_cast<float>(gain);
  int32_t least = 0;
  for (int i = 0; i < count; ++i) {
    // With the LFO the argument is the product in double, as the plain loop's, from the
    // modulator's block sine. Past the LFO's reach the frame is left to the caller: rounding is
    // monotone, so |RN32(argument)| < the limit only where |argument| is.
    const float argument =
        static_cast<float>(Lfo ? lfo_product(x[i], modulator_sine[i], range) : x[i]);
    const bool within = !Lfo || std::fabs(argument) < static_cast<float>(kSingleLfoLimit);
    // Beyond, the sine may be anything, NaN included: 0 converts where it would not. By bits, not
    // by a branch, so that the loop becomes vector code.
    const uint32_t keep = -static_cast<uint32_t>(within);
    float sine = std::bit_cast<float>(std::bit_cast<uint32_t>(single_sine<Fma>(argument)) & keep);
    // The ends of sine x g +- margin, the product rounded first or (fused) not at all: both are
    // proven (sample_check_single.gappa).
    float top = Fma ? std::fma(sine, g, margin) : sine * g + margin;
    float bottom = Fma ? std::fma(sine, g, -margin) : sine * g - margin;
    int32_t high = static_cast<int32_t>(top);
    int32_t low = static_cast<int32_t>(bottom);
    // Chosen by bits, not by a branch, so that the loop becomes vector code.
    int32_t differ = -static_cast<int32_t>((high != low) | !within);
    int32_t sample = (high & ~differ) | (kDoubtfulSample & differ);
    samples[i] = sample;
    least = std::min(least, sample);
  }
  return least == kDoubtfulSample;
}

template <bool Wide, bool Short, bool Fma>
TONEGEN_ALWAYS_INLINE void block_sines(const double* x, double* out, int count) {
  for (int i = 0; i < count; ++i) {
    out[i] = sine<Wide, Short, Fma>(x[i]);
  }
}

// Processors whose every build has fused multiply-adds use them in the plain loops too.
#if defined(__FP_FAST_FMA)
constexpr bool kPlainFma = true;
#else
constexpr bool kPlainFma = false;
#endif

VectorUnit unit_at_hand() {
#ifdef TONEGEN_FMA_TARGET
  if (processor_has_avx512()) {
    return VectorUnit::kAvx512;
  }
  if (processor_has_fma()) {
    return VectorUnit::kFma;
  }
#endif
  return VectorUnit::kPlain;
}

VectorUnit& current_unit() {
  static VectorUnit unit = unit_at_hand();
  return unit;
}

// A set of loops built for every unit: X(unit, the build's attribute, fused multiply-adds).
#ifdef TONEGEN_FMA_TARGET
#define TONEGEN_FOR_EACH_UNIT(X)                          \
  X(VectorUnit::kPlain, TONEGEN_VECTOR_CLONES, kPlainFma) \
  X(VectorUnit::kFma, TONEGEN_FMA_TARGET, true)           \
  X(VectorUnit::kAvx512, TONEGEN_AVX512_TARGET, true)
#else
#define TONEGEN_FOR_EACH_UNIT(X) X(VectorUnit::kPlain, TONEGEN_VECTOR_CLONES, kPlainFma)
#endif

template <VectorUnit U>
struct BlockSines;

#define TONEGEN_BLOCK_SINES(UNIT, TARGET, FMA)                                                    \
  template <>                                                                                     \
  struct BlockSines<UNIT> {                                                                       \
    TARGET static void wide(const double* x, double* out, int count) {                            \
      block_sines<true, false, FMA>(x, out, count);                                               \
    }                                                                                             \
    TARGET static void narrow(const double* x, double* out, int count) {                          \
      block_sines<false, false, FMA>(x, out, count);                                              \
    }                                                                                             \
    TARGET static void short_(const double* x, double* out, int count) {                          \
      block_sines<false, true, FMA>(x, out, count);                                               \
    }                                                                                             \
    TARGET static bool single(const double* x, const double* m, double range, int count,          \
                              double gain, float margin, int32_t* samples) {                      \
      return m == nullptr ? single_samples<FMA, false>(x, m, range, count, gain, margin, samples) \
                          : single_samples<FMA, true>(x, m, range, count, gain, margin, samples); \
    }                                                                                             \
  };

TONEGEN_FOR_EACH_UNIT(TONEGEN_BLOCK_SINES)
#undef TONEGEN_BLOCK_SINES

// Calls run(unit) with the unit at hand as a compile-time constant.
template <typename Run>
void on_unit_at_hand(Run run) {
  switch (current_unit()) {
#ifdef TONEGEN_FMA_TARGET
    case VectorUnit::kAvx512:
      run(std::integral_constant<VectorUnit, VectorUnit::kAvx512>{});
      return;
    case VectorUnit::kFma:
      run(std::integral_constant<VectorUnit, VectorUnit::kFma>{});
      return;
#endif
    default:
      run(std::integral_constant<VectorUnit, VectorUnit::kPlain>{});
  }
}

}  // namespace

bool use_vector_unit(VectorUnit unit) {
  VectorUnit best = unit_at_hand();
  if (static_cast<int>(unit) > static_cast<int>(best)) {
    return false;
  }
  current_unit() = unit;
  return true;
}

void fast_sine(const double* x, double* out, int count) {
  on_unit_at_hand([&](auto unit) { BlockSines<unit()>::wide(x, out, count); });
}

void fast_sine_narrow(const double* x, double* out, int count) {
  on_unit_at_hand([&](auto unit) { BlockSines<unit()>::narrow(x, out, count); });
}

void fast_sine_short(const double* x, double* out, int count) {
  on_unit_at_hand([&](auto unit) { BlockSines<unit()>::short_(x, out, count); });
}

bool fast_sine_single_samples(const double* x, const double* modulator_sine, double range,
                              int count, double gain, float margin, int32_t* samples) {
  bool any = false;
  on_unit_at_hand([&](auto unit) {
    any = BlockSines<unit()>::single(x, modulator_sine, range, count, gain, margin, samples);
  });
  return any;
}

namespace {

// The quick step of the correctly rounded sine, for a block: each frame needs the sine series or
// the cosine series, by its quadrant. A slow modulator keeps its quadrant for long stretches:
// each stretch runs its series in place. Where the quadrants change often, the frames are sorted
// into two dense lists and each series runs over its own list. Branch-free, every loop becomes
// vector code.

TONEGEN_ALWAYS_INLINE void reduce_block(const double* x, Frames& f, int count) {
  for (int i = 0; i < count; ++i) {
    sine_steps::Reduced reduced = sine_steps::reduce_to_quadrant<true>(x[i]);
    f.quadrant[i] = reduced.quadrant;
    f.r_hi[i] = reduced.r.hi;
    f.r_lo[i] = reduced.r.lo;
    f.known[i] = reduced.known;
    f.known_value[i] = reduced.value;
    f.beyond[i] = std::fabs(x[i]) <= sine_steps::kPhaseSineLimit ? 0 : 1;
  }
}

// The sine and its rounding test for frames [first, first + count) of f, one parity for all:
// rounded_sine's quick step with one double-double term less (kBlockQuickDoubleDoubleTerms) and
// its own proven bound; a value it decides is the correctly rounded sine all the same.
template <bool Fma, bool Odd>
TONEGEN_ALWAYS_INLINE void quick_block(const Frames& f, int first, int count, double* out,
                                       uint64_t* undecided) {
  for (int j = first; j < first + count; ++j) {
    DD y = sine_steps::series_of_parity<Fma>(
        {f.r_hi[j], f.r_lo[j]}, Odd, sine_steps::kBlockQuickDoubleDoubleTerms,
        sine_steps::kBlockSineTerms, sine_steps::kBlockCosineTerms);
    uint64_t sign = (f.quadrant[j] >> 1) << 63;  // quadrants 2 and 3 negate
    y.hi = std::bit_cast<double>(std::bit_cast<uint64_t>(y.hi) ^ sign);
    y.lo = std::bit_cast<double>(std::bit_cast<uint64_t>(y.lo) ^ sign);
    // Chosen by bits, not by branches, so that every processor's build makes vector code.
    uint64_t known = uint64_t{0} - f.known[j];
    out[j] = std::bit_cast<double>((std::bit_cast<uint64_t>(f.known_value[j]) & known) |
                                   (std::bit_cast<uint64_t>(y.hi + y.lo) & ~known));
    uint64_t sure = f.known[j] | (sine_steps::decided(y, sine_steps::kBlockQuickBound) ? 1 : 0);
    undecided[j] = (sure & (f.beyond[j] ^ 1)) ^ 1;
  }
}

// The vector parts, for each unit (dd_mul with fused multiply-adds where the unit has them).
template <VectorUnit U>
struct QuickSineSteps;

#define TONEGEN_QUICK_SINE_STEPS(UNIT, TARGET, FMA)                                \
  template <>                                                                      \
  struct QuickSineSteps<UNIT> {                                                    \
    TARGET static void reduce(const double* x, Frames& f, int count) {             \
      reduce_block(x, f, count);                                                   \
    }                                                                              \
    TARGET static void sines(const Frames& f, int first, int count, double* out,   \
                             uint64_t* undecided) {                                \
      quick_block<FMA, false>(f, first, count, out, undecided);                    \
    }                                                                              \
    TARGET static void cosines(const Frames& f, int first, int count, double* out, \
                               uint64_t* undecided) {                              \
      quick_block<FMA, true>(f, first, count, out, undecided);                     \
    }                                                                              \
  };

TONEGEN_FOR_EACH_UNIT(TONEGEN_QUICK_SINE_STEPS)
#undef TONEGEN_QUICK_SINE_STEPS

// Stretches of one parity at least this long on average run in place.
constexpr int kShortestStretch = 32;

template <VectorUnit U>
void rounded_sines_with(const double* x, double* out, uint64_t* undecided, int count,
                        QuickSines& q) {
  using Steps = QuickSineSteps<U>;
  assert(count <= kMaxRoundedSines);
  const Frames& f = q.reduced;
  Steps::reduce(x, q.reduced, count);
  int changes = 0;
  for (int i = 1; i < count; ++i) {
    changes += static_cast<int>((f.quadrant[i] ^ f.quadrant[i - 1]) & 1);
  }
  if ((changes + 1) * kShortestStretch <= count) {
    for (int first = 0; first < count;) {
      int end = first + 1;
      // Eight frames at a time while none of them changes parity, then one at a time.
      for (; count - end >= 8; end += 8) {
        uint64_t changed = 0;
        for (int j = end; j < end + 8; ++j) {
          changed |= f.quadrant[j] ^ f.quadrant[first];
        }
        if ((changed & 1) != 0) {
          break;
        }
      }
      while (end < count && ((f.quadrant[end] ^ f.quadrant[first]) & 1) == 0) {
        ++end;
      }
      auto series = (f.quadrant[first] & 1) != 0 ? Steps::cosines : Steps::sines;
      series(f, first, end - first, out, undecided);
      first = end;
    }
    return;
  }
  Frames& s = q.sorted;
  int sines = 0;
  int cosines = count;
  for (int i = 0; i < count; ++i) {
    int at = (f.quadrant[i] & 1) != 0 ? --cosines : sines++;
    q.index[at] = i;
    s.r_hi[at] = f.r_hi[i];
    s.r_lo[at] = f.r_lo[i];
    s.quadrant[at] = f.quadrant[i];
    s.known[at] = f.known[i];
    s.known_value[at] = f.known_value[i];
    s.beyond[at] = f.beyond[i];
  }
  Steps::sines(s, 0, sines, q.value, q.undecided);
  Steps::cosines(s, sines, count - sines, q.value, q.undecided);
  for (int j = 0; j < count; ++j) {
    out[q.index[j]] = q.value[j];
    undecided[q.index[j]] = q.undecided[j];
  }
}

}  // namespace

void rounded_sines(const double* x, double* out, uint64_t* undecided, int count, QuickSines& room) {
  on_unit_at_hand([&](auto unit) { rounded_sines_with<unit()>(x, out, undecided, count, room); });
}

FastReduction fast_sine_reduction(bool wide, double x) {
  double shifted = 0.0;
  double r = wide ? reduce<true>(x, shifted) : reduce<false>(x, shifted);
  return {r, shifted - kRoundingShift};
}

FastReduction single_sine_reduction(bool fma, double x) {
  float shifted = 0.0f;
  float phase = static_cast<float>(x);
  float r = fma ? reduce_single<true>(phase, shifted) : reduce_single<false>(phase, shifted);
  return {r, shifted - kSingleRoundingShift};
}

// The long sweep behind the sine's claims, with MPFR as the reference: correct_sin must equal
// MPFR's correctly rounded sine on every argument (and shows which of its steps decided), and
// the worst errors of fast_sine, fast_sine_narrow and fast_sine_short (the last two within their
// reach), in units of 2^-53, are measured beside their derived bounds, which the writer's
// exactness check relies on: a measurement above a bound fails the run.
// Arguments are drawn as the writer makes them.
//
// Usage: sine_accuracy MILLIONS [SEED]   (two processes with other seeds use both cores)

#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "math/exact_math.hpp"
#include "wave/fast_sine.hpp"

namespace {

constexpr int kKinds = 6;
const char* const kKindNames[kKinds] = {"carrier phases [0, 2pi)", "LFO products [-39.5, 39.5]",
                                        "growing phases to 2^42",  "next to multiples of pi/2",
                                        "tiny, 2^-61 to 2^-1",     "accumulated carrier phases"};

struct Tally {
  long count = 0;
  long mismatches = 0;
  long steps[3] = {0, 0, 0};  // decided by the quick, the accurate and the last step
  double worst_fast_units = 0.0;
  double worst_narrow_units = 0.0;
  double worst_short_units = 0.0;
};

// One kind's arguments, a block at a time.
void draw(int kind, std::mt19937_64& random, double* x, int n) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double increment = 0.0;
  double phase = 0.0;
  if (kind == 5) {
    const int rates[] = {8000, 44100, 48000, 96000};
    increment = (1.0 + 47999.0 * unit(random)) * (6.283185307179586 / rates[random() % 4]);
  }
  for (int i = 0; i < n; ++i) {
    switch (kind) {
      case 0:
        x[i] = unit(random) * 6.283185307179586;
        break;
      case 1:
        x[i] = (2.0 * unit(random) - 1.0) * 39.47841760435743;
        break;
      case 2:
        x[i] = std::ldexp(1.0 + unit(random), static_cast<int>(random() % 42));
        break;
      case 3: {
        double k = std::floor(std::ldexp(1.0 + unit(random), static_cast<int>(random() % 41)));
        x[i] = k * 0x1.921fb54442d18p+0;
        for (int s = static_cast<int>(random() % 8); s > 0; --s) {
          x[i] = std::nextafter(x[i], (random() & 1) != 0 ? 1e300 : -1e300);
        }
        break;
      }
      case 4:
        x[i] = std::ldexp(1.0 + unit(random), -static_cast<int>(random() % 61) - 1);
        break;
      default:
        x[i] = phase;
        phase += increment;
        if (phase >= 6.283185307179586) {
          phase -= 6.283185307179586;
        }
        break;
    }
    if (kind < 5 && (random() & 1) != 0) {
      x[i] = -x[i];
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long millions = argc > 1 ? std::atol(argv[1]) : 10;
  std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 42);
  mpfr_t arg, rounded, precise;
  mpfr_init2(arg, 53);
  mpfr_init2(rounded, 53);
  mpfr_init2(precise, 128);

  constexpr int kBlock = 4096;
  static double x[kBlock];
  static double fast[kBlock];
  static double narrow[kBlock];
  static double short_sine[kBlock];
  Tally tally[kKinds];
  const long blocks = millions * 1000000 / kBlock;
  for (long b = 0; b < blocks; ++b) {
    int kind = static_cast<int>(b % kKinds);
    Tally& t = tally[kind];
    draw(kind, random, x, kBlock);
    fast_sine(x, fast, kBlock);
    fast_sine_narrow(x, narrow, kBlock);
    fast_sine_short(x, short_sine, kBlock);
    for (int i = 0; i < kBlock; ++i) {
      mpfr_set_d(arg, x[i], MPFR_RNDN);
      mpfr_sin(rounded, arg, MPFR_RNDN);
      Rounded s = rounded_sine(x[i]);
      ++t.count;
      ++t.steps[static_cast<int>(s.step)];
      if (s.value != mpfr_get_d(rounded, MPFR_RNDN)) {
        if (++t.mismatches <= 5) {
          std::printf("MISMATCH sin %a: %a, MPFR %a\n", x[i], s.value,
                      mpfr_get_d(rounded, MPFR_RNDN));
        }
      }
      if ((i & 15) == 0) {  // fast_sine on a sixteenth: the precise sine costs more
        mpfr_sin(precise, arg, MPFR_RNDN);
        mpfr_sub_d(precise, precise, fast[i], MPFR_RNDN);
        t.worst_fast_units =
            std::fmax(t.worst_fast_units, std::fabs(mpfr_get_d(precise, MPFR_RNDN)) * 0x1p53);
        if (std::fabs(x[i]) <= kNarrowSineLimit) {
          mpfr_sin(precise, arg, MPFR_RNDN);
          mpfr_sub_d(precise, precise, narrow[i], MPFR_RNDN);
          t.worst_narrow_units =
              std::fmax(t.worst_narrow_units, std::fabs(mpfr_get_d(precise, MPFR_RNDN)) * 0x1p53);
          mpfr_sin(precise, arg, MPFR_RNDN);
          mpfr_sub_d(precise, precise, short_sine[i], MPFR_RNDN);
          t.worst_short_units =
              std::fmax(t.worst_short_units, std::fabs(mpfr_get_d(precise, MPFR_RNDN)) * 0x1p53);
        }
      }
    }
  }

  std::printf("%-28s %13s %10s %13s %10s %6s %11s %11s %13s\n", "arguments", "count", "mismatches",
              "quick", "accurate", "last", "fast_sine", "narrow", "short");
  long total = 0;
  long mismatches = 0;
  double worst_long = 0.0;
  double worst_short = 0.0;
  for (int k = 0; k < kKinds; ++k) {
    const Tally& t = tally[k];
    std::printf("%-28s %13ld %10ld %13ld %10ld %6ld %9.3f u %9.3f u %11.0f u\n", kKindNames[k],
                t.count, t.mismatches, t.steps[0], t.steps[1], t.steps[2], t.worst_fast_units,
                t.worst_narrow_units, t.worst_short_units);
    total += t.count;
    mismatches += t.mismatches;
    worst_long = std::fmax(worst_long, std::fmax(t.worst_fast_units, t.worst_narrow_units));
    worst_short = std::fmax(worst_short, t.worst_short_units);
  }
  const double long_bound = std::fmax(kWideSineError, kNarrowSineError) * 0x1p53;
  const double short_bound = kShortSineError * 0x1p53;
  std::printf(
      "all: %ld arguments, %ld mismatches with MPFR; degree 15: worst %.3f u, proven bound %.2f u;"
      " degree 9: worst %.0f u, proven bound %.0f u\n",
      total, mismatches, worst_long, long_bound, worst_short, short_bound);
  mpfr_clears(arg, rounded, precise, static_cast<mpfr_ptr>(nullptr));
  bool within = worst_long <= long_bound && worst_short <= short_bound;
  return mismatches == 0 && within ? 0 : 1;
}

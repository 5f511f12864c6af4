#include "math/exact_math.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "math/multi_precision.hpp"

#if TONEGEN_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

// Exact bits that every platform must reproduce; among them arguments only the accurate step
// decides, and values the C library here rounds the other way.
TEST(ExactMath, KnownValues) {
  struct Case {
    double x;
    double sine;
  };
  const Case sines[] = {
      {0x1p+0, 0x1.aed548f090ceep-1},
      {-0x0p+0, -0x0p+0},
      {0x1p-30, 0x1p-30},
      {0x1.921fb54442d18p+0, 0x1p+0},                   // nearest double to pi/2
      {0x1.2d97c7f3321d2p+2, -0x1p+0},                  // to 3 pi/2
      {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53},    // to pi
      {0x1.921fb54442d18p+40, -0x1.1a62632db1824p-14},  // 2^39 pi
      {0x1.fffffffffffffp+41, 0x1.fd74e71395f68p-1},
      {0x1.343310babf456p+2, -0x1.fd46450998615p-1},  // accurate step; the C library: ...614
      {0x1.ce9c879d926bbp+1, -0x1.d2172e2325c08p-2},  // accurate step
      {-0x1.4fc133dea8576p+2, 0x1.b8c6b2033cbcdp-1},  // accurate step
      {0x1.a82cfbdb304cp+10, 0x1.ec75fed547f12p-3},   // accurate step
  };
  for (const Case& c : sines) {
    EXPECT_EQ(std::bit_cast<uint64_t>(correct_sin(c.x)), std::bit_cast<uint64_t>(c.sine))
        << std::hexfloat << "sin " << c.x;
  }
  const Case powers[] = {
      {-0.0, 1.0},
      {-0.15000000000000002, 0.7079457843841379},  // -3 dB, the default
      {-12.82 * 0.05, 0x1.d41733d9d1c1ep-3},       // the C library here: ...c1fp-3
      {-3.041 * 0.05, 0x1.68c2e585d19adp-1},       // the C library here: ...9acp-1
      {-2.25, 0x1.7089380241edfp-8},               // -45 dB
  };
  for (const Case& c : powers) {
    EXPECT_EQ(correct_pow10(c.x), c.sine) << std::hexfloat << "10^" << c.x;
  }
}

#if TONEGEN_HAVE_MPFR

// MPFR's results at 53 bits are correctly rounded: the independent reference.
class Mpfr {
 public:
  Mpfr() {
    mpfr_init2(x_, 53);
    mpfr_init2(y_, 53);
  }
  ~Mpfr() {
    mpfr_clear(x_);
    mpfr_clear(y_);
  }
  double sin(double x) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_sin(y_, x_, MPFR_RNDN);
    return mpfr_get_d(y_, MPFR_RNDN);
  }
  double pow10(double x) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_exp10(y_, x_, MPFR_RNDN);
    return mpfr_get_d(y_, MPFR_RNDN);
  }

 private:
  mpfr_t x_;
  mpfr_t y_;
};

// A new seed each run, so that the runs together cover more than one could; a failure prints
// it, and TONEGEN_TEST_SEED repeats that run.
uint64_t run_seed() {
  const char* fixed = std::getenv("TONEGEN_TEST_SEED");
  return fixed != nullptr ? std::strtoull(fixed, nullptr, 10) : std::random_device{}();
}

// Half a million arguments drawn as the tone writer makes them, in five kinds, new each run
// (bench/sine_accuracy holds the long sweep). Prints the first few mismatches with their arguments.
TEST(ExactMath, SineAgainstMpfr) {
  Mpfr mpfr;
  const uint64_t seed = run_seed();
  SCOPED_TRACE("TONEGEN_TEST_SEED=" + std::to_string(seed));
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const char* const kinds[] = {"carrier phase", "LFO product", "growing phase",
                               "near a multiple of pi/2", "tiny"};
  long mismatches = 0;
  for (long i = 0; i < 500000; ++i) {
    int kind = static_cast<int>(i % 5);
    double x = 0.0;
    switch (kind) {
      case 0:
        x = unit(random) * 6.283185307179586;
        break;
      case 1:  // phase x (sin psi x range), both below 2 pi
        x = (2.0 * unit(random) - 1.0) * 39.47841760435743;
        break;
      case 2:  // spread evenly over the binades up to 2^42
        x = std::ldexp(1.0 + unit(random), static_cast<int>(random() % 42));
        break;
      case 3: {
        double k = std::floor(std::ldexp(1.0 + unit(random), static_cast<int>(random() % 41)));
        x = k * 0x1.921fb54442d18p+0;
        for (int steps = static_cast<int>(random() % 4); steps > 0; --steps) {
          x = std::nextafter(x, (random() & 1) != 0 ? 1e300 : -1e300);
        }
        break;
      }
      default:
        x = std::ldexp(1.0 + unit(random), -static_cast<int>(random() % 60) - 1);
        break;
    }
    if ((random() & 1) != 0) {
      x = -x;
    }
    double expected = mpfr.sin(x);
    double actual = correct_sin(x);
    if (actual != expected && ++mismatches <= 5) {
      ADD_FAILURE() << std::hexfloat << kinds[kind] << ": sin " << x << " gave " << actual
                    << ", expected " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The last step on its own, at each precision, on arguments that mostly never reach it: what it
// decides must be right (its error bounds hold), and at 256 bits it decides everything.
TEST(ExactMath, LastStepAgainstMpfr) {
  Mpfr mpfr;
  const uint64_t seed = run_seed();
  SCOPED_TRACE("TONEGEN_TEST_SEED=" + std::to_string(seed));
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  long wrong = 0;
  long undecided = 0;
  for (int i = 0; i < 20000; ++i) {
    double x = std::ldexp(1.0 + unit(random), static_cast<int>(random() % 68) - 26);
    x = (random() & 1) != 0 ? -x : x;
    double e = (2.0 * unit(random) - 1.0) * std::ldexp(1.0, -static_cast<int>(random() % 60));
    for (int words : {2, 3, 8}) {
      for (auto [d, expected] :
           {std::pair{fixed_point_sine(x, words), mpfr.sin(x)},
            std::pair{fixed_point_pow10(e * 22.0, words), mpfr.pow10(e * 22.0)}}) {
        undecided += d.decided || words < 8 ? 0 : 1;
        if (d.decided && d.value != expected && ++wrong <= 5) {
          ADD_FAILURE() << std::hexfloat << "at " << words << " words, " << x << " / " << e * 22.0
                        << " gave " << d.value << ", expected " << expected;
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(undecided, 0);
}

// Every level with up to three decimals from -45 to 0 dB, as the option text gives it, and
// random exponents in [-2.25, 0].
TEST(ExactMath, PowerOfTenAgainstMpfr) {
  Mpfr mpfr;
  long mismatches = 0;
  auto check = [&](double x) {
    double expected = mpfr.pow10(x);
    double actual = correct_pow10(x);
    if (actual != expected && ++mismatches <= 5) {
      ADD_FAILURE() << std::hexfloat << "10^" << x << " gave " << actual << ", expected "
                    << expected;
    }
  };
  for (int millis = 0; millis <= 45000; ++millis) {
    check((-millis / 1000.0) * 0.05);
  }
  const uint64_t seed = run_seed();
  SCOPED_TRACE("TONEGEN_TEST_SEED=" + std::to_string(seed));
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> exponent(-2.25, 0.0);
  for (int i = 0; i < 100000; ++i) {
    check(exponent(random));
  }
  EXPECT_EQ(mismatches, 0);
}

#else

TEST(ExactMath, AgainstMpfr) {
  GTEST_SKIP() << "MPFR not found (Debian: libmpfr-dev): the comparison with it is skipped";
}

#endif

}  // namespace

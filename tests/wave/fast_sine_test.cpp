#include "wave/fast_sine.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "math/exact_math.hpp"
#include "math/hard_cases.hpp"
#include "wave/phase_lfo.hpp"

namespace {

// Where the bounds are tight: next to odd multiples of pi/2 (|r| at its largest, the sine near
// +-1), at the limits, and the hard-to-round list; every argument with both signs.
std::vector<double> tight_arguments(double limit) {
  std::vector<double> x;
  for (double q : {0.0, 1.0, 2.0, 7.0, 1000.0, 20860.0, 1e6, 1e9, 0x1p30, 1.4e12}) {
    double odd = (q + 0.5) * std::numbers::pi;
    for (double at : {odd, std::nextafter(odd, 0.0), std::nextafter(odd, 1e300)}) {
      x.push_back(at);
    }
  }
  x.push_back(limit);
  x.push_back(std::nextafter(limit, 0.0));
  for (double a : hard_sine_arguments()) {
    x.push_back(a);
  }
  std::vector<double> within;
  for (double a : x) {
    for (double signed_a : {a, -a}) {
      if (std::fabs(signed_a) <= limit) {
        within.push_back(signed_a);
      }
    }
  }
  return within;
}

// Runs check on every vector unit the processor has, plainest first, so the best is left in use.
template <typename Check>
void on_every_unit(Check check) {
  for (VectorUnit unit : {VectorUnit::kPlain, VectorUnit::kFma, VectorUnit::kAvx512}) {
    if (use_vector_unit(unit)) {
      SCOPED_TRACE(testing::Message() << "vector unit " << static_cast<int>(unit));
      check();
    }
  }
}

TEST(BlockSines, WithinTheirProvenBounds) {
  struct Case {
    const char* name;
    void (*sine)(const double*, double*, int);
    double limit;
    double bound;
  };
  const Case cases[] = {
      {"fast_sine", fast_sine, kFastSineLimit, kWideSineError},
      {"fast_sine_narrow", fast_sine_narrow, kNarrowSineLimit, kNarrowSineError},
      {"fast_sine_short", fast_sine_short, kNarrowSineLimit, kShortSineError},
  };
  on_every_unit([&] {
    for (const Case& c : cases) {
      std::vector<double> x = tight_arguments(c.limit);
      std::vector<double> y(x.size());
      c.sine(x.data(), y.data(), static_cast<int>(x.size()));
      int wrong = 0;
      for (std::size_t i = 0; i < x.size(); ++i) {
        // correct_sin is within 2^-54 of the sine itself.
        if (!(std::fabs(y[i] - correct_sin(x[i])) <= c.bound + 0x1p-54) && ++wrong <= 5) {
          ADD_FAILURE() << c.name << std::hexfloat << "(" << x[i] << ") = " << y[i]
                        << ", correctly rounded " << correct_sin(x[i]);
        }
      }
      EXPECT_GT(x.size(), 37000u) << c.name;
    }
  });
}

// The block form of the quick step decides what correct_sin decides, with the same bits: the
// hard-case list, both zeros, subnormals, the ends of the shortcuts and of the reduction's reach
// (beyond it nothing is decided), the doubles next to multiples of pi/2 and random arguments
// (their quadrants change from frame to frame), then a slow modulator's phases over two turns
// (each quadrant a long stretch, and blocks end within stretches).
TEST(RoundedSines, BitForBitWithCorrectSin) {
  std::vector<double> x = hard_sine_arguments();
  for (double a : {0.0, 0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp-27, 0x1p-26, 1.0, 8.0,
                   std::nextafter(8.0, 9.0), 0x1p42, std::numeric_limits<double>::quiet_NaN()}) {
    x.push_back(a);
    x.push_back(-a);
  }
  for (int k = 1; k <= 5; ++k) {
    double a = k * (std::numbers::pi / 2);
    for (int step = 0; step < 4; ++step, a = std::nextafter(a, 0.0)) {
      x.push_back(a);
      x.push_back(std::nextafter(2 * k * (std::numbers::pi / 2) - a, 9.0));
    }
  }
  const std::size_t random_from = x.size();
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> phases(-8.0, 8.0);
  for (int i = 0; i < 20000; ++i) {
    x.push_back(phases(random));
  }
  x.resize((x.size() + kMaxRoundedSines - 1) / kMaxRoundedSines * kMaxRoundedSines, 1.0);
  double phase = 0.0;
  for (int i = 0; i < 6000; ++i) {
    x.push_back(phase);
    phase = advance_phase(phase, TWO_PI / 2999);
  }
  auto room = std::make_unique<QuickSines>();
  on_every_unit([&] {
    int undecided_easy = 0;
    for (std::size_t first = 0; first < x.size(); first += kMaxRoundedSines) {
      int count = static_cast<int>(std::min<std::size_t>(kMaxRoundedSines, x.size() - first));
      std::vector<double> out(count);
      std::vector<uint64_t> undecided(count);
      rounded_sines(x.data() + first, out.data(), undecided.data(), count, *room);
      for (int i = 0; i < count; ++i) {
        double a = x[first + i];
        if (!(std::fabs(a) <= 8.0)) {
          EXPECT_EQ(undecided[i], 1u) << std::hexfloat << a;
        } else if (undecided[i] == 0) {
          EXPECT_EQ(std::bit_cast<uint64_t>(out[i]), std::bit_cast<uint64_t>(correct_sin(a)))
              << std::hexfloat << a;
        } else if (first + i >= random_from) {
          ++undecided_easy;
        }
      }
    }
    // About one argument in 700 is left to the next step.
    EXPECT_LT(undecided_easy, static_cast<int>(x.size() - random_from) / 100);
  });
}

}  // namespace

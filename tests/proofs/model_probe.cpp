// Runs the functions the proofs model on the arguments given, for proofs/models_as_code.py:
// each line of standard input is a function's name and its arguments as hexadecimal doubles,
// each line of output its results the same way (or "none" for a vector unit this processor
// lacks). The models are then held against these bit for bit.
#include <cstdio>
#include <cstring>

#include "math/double_double.hpp"
#include "math/exact_math.hpp"
#include "math/sine_steps.hpp"
#include "wave/fast_sine.hpp"
#include "wave/phase_lfo.hpp"
#include "wave/synth.hpp"

namespace {

void print(const DD& d) {
  std::printf("%a %a\n", d.hi, d.lo);
}

bool block_sine(const char* kind, int unit, double x) {
  if (!use_vector_unit(static_cast<VectorUnit>(unit))) {
    return false;
  }
  double y = 0.0;
  auto sine = std::strcmp(kind, "wide") == 0     ? fast_sine
              : std::strcmp(kind, "narrow") == 0 ? fast_sine_narrow
                                                 : fast_sine_short;
  sine(&x, &y, 1);
  std::printf("%a\n", y);
  return true;
}

// The 8-bit sample from the single-precision sine, or kDoubtfulSample; with a modulator sine, of
// the LFO's argument. A negative margin stands for the one the synthesis builds for this gain.
bool single_sample(int unit, double x, const double* modulator_sine, double range, double gain,
                   double margin) {
  if (!use_vector_unit(static_cast<VectorUnit>(unit))) {
    return false;
  }
  int32_t sample = 0;
  float m = margin < 0.0 ? single_sample_margin(gain, modulator_sine != nullptr)
                         : static_cast<float>(margin);
  fast_sine_single_samples(&x, modulator_sine, range, 1, gain, m, &sample);
  std::printf("%a\n", static_cast<double>(sample));
  return true;
}

}  // namespace

int main() {
  char name[32];
  char kind[32];
  int unit = 0;
  double a = 0.0;
  double b = 0.0;
  double c = 0.0;
  double d = 0.0;
  double more[3] = {};
  int n[4] = {};  // widths, parities, term counts
  while (std::scanf("%31s", name) == 1) {
    if (std::strcmp(name, "dd_mul") == 0 && std::scanf("%la %la %la %la", &a, &b, &c, &d) == 4) {
      print(dd_mul<false>({a, b}, {c, d}));
      print(dd_mul<true>({a, b}, {c, d}));
    } else if (std::strcmp(name, "dd_add") == 0 &&
               std::scanf("%la %la %la %la", &a, &b, &c, &d) == 4) {
      print(dd_add({a, b}, {c, d}));
    } else if (std::strcmp(name, "reduce") == 0 && std::scanf("%la", &a) == 1) {
      print(sine_steps::reduce_to_quadrant<false>(a).r);
    } else if (std::strcmp(name, "reduce_phase") == 0 && std::scanf("%la", &a) == 1) {
      print(sine_steps::reduce_to_quadrant<true>(a).r);
    } else if (std::strcmp(name, "block") == 0 && std::scanf("%31s %d %la", kind, &unit, &a) == 3) {
      if (!block_sine(kind, unit, a)) {
        std::printf("none\n");
      }
    } else if (std::strcmp(name, "single") == 0 &&
               std::scanf("%d %la %la %la", &unit, &a, &b, &c) == 4) {
      if (!single_sample(unit, a, nullptr, 0.0, b, c)) {
        std::printf("none\n");
      }
    } else if (std::strcmp(name, "single_lfo") == 0 &&
               std::scanf("%d %la %la %la %la %la", &unit, &a, &b, &c, &d, &more[0]) == 6) {
      // carrier phase a, modulator sine b, range c, gain d, margin more[0]
      if (!single_sample(unit, a, &b, c, d, more[0])) {
        std::printf("none\n");
      }
    } else if (std::strcmp(name, "pairing") == 0 &&
               std::scanf("%d %d %la", &unit, &n[0], &a) == 3) {
      // The sine, margin and reach the synthesis takes for a phase that grows (unit 1) or wraps
      // and samples of n[0] bytes; the sine evaluated at a without fused multiply-adds.
      BlockSine sine = block_sine(unit != 0, n[0]);
      use_vector_unit(VectorUnit::kPlain);
      sine.evaluate(&a, &b, 1);
      std::printf("%a\n%a\n%a\n", sine.sample_margin, sine.limit, b);
    } else if (std::strcmp(name, "margins") == 0 &&
               std::scanf("%d %d %la %la %la", &unit, &n[0], &a, &b, &c) == 5) {
      // The margins for gain a and range b, and the allowance at carrier phase c.
      CheckMargins m = check_margins(block_sine(unit != 0, n[0]), a, b);
      std::printf("%a\n%a\n%a\n", m.margin, m.lfo_margin, sample_allowance(m, c));
    } else if (std::strcmp(name, "check") == 0 &&
               std::scanf("%d %la %la %la %la %la %la %la", &unit, &a, &b, &c, &d, &more[0],
                          &more[1], &more[2]) == 8) {
      // unit 1: the check of frames without the LFO
      std::printf("%a\n", static_cast<double>(
                              check_frame(a, b, c, d, {more[0], more[1]}, more[2], unit != 0)));
    } else if (std::strcmp(name, "fast_reduce") == 0 && std::scanf("%31s %la", kind, &a) == 2) {
      // r and q of a block sine's reduction: narrow, wide, single (q rounded twice) or
      // single_fused
      bool single = std::strncmp(kind, "single", 6) == 0;
      FastReduction f = single ? single_sine_reduction(std::strcmp(kind, "single_fused") == 0, a)
                               : fast_sine_reduction(std::strcmp(kind, "wide") == 0, a);
      std::printf("%a\n%a\n", f.r, f.q);
    } else if (std::strcmp(name, "series") == 0 &&
               std::scanf("%d %d %d %d %d %la %la", &unit, &n[0], &n[1], &n[2], &n[3], &a, &b) ==
                   7) {
      // series_of_parity: unit 1 fused, n[0] 1 odd (the cosine), n[1] and n[2] the sine's and
      // the cosine's terms, n[3] those in double-double
      auto series =
          unit != 0 ? sine_steps::series_of_parity<true> : sine_steps::series_of_parity<false>;
      print(series({a, b}, n[0] != 0, n[3], n[1], n[2]));
    } else if (std::strcmp(name, "reduce_pow10") == 0 && std::scanf("%la", &a) == 1) {
      DD r = reduce_pow10(a, b);
      print(r);
      std::printf("%a\n", b);
    } else if (std::strcmp(name, "memo_radius") == 0 &&
               std::scanf("%la %la %d %la", &a, &b, &unit, &c) == 4) {
      std::printf("%a\n", memo_radius(a, b, unit, c));
    } else if (std::strcmp(name, "step_decides") == 0 &&
               std::scanf("%d %la %la", &unit, &a, &b) == 3) {
      bool decides = unit == 2 ? pow10_decides({a, b})
                               : step_decides({a, b}, unit != 0 ? Step::kAccurate : Step::kQuick);
      std::printf("%a\n", decides ? 1.0 : 0.0);
    } else if (std::strcmp(name, "decided") == 0 && std::scanf("%la %la %la", &a, &b, &c) == 3) {
      std::printf("%a\n", sine_steps::decided({a, b}, c) ? 1.0 : 0.0);
    } else if (std::strcmp(name, "single_margin") == 0 && std::scanf("%la", &a) == 1) {
      std::printf("%a\n%a\n", static_cast<double>(single_sample_margin(a, false)),
                  static_cast<double>(single_sample_margin(a, true)));
    } else if (std::strcmp(name, "modulator_recalled") == 0 && std::scanf("%la %la", &a, &b) == 2) {
      std::printf("%a\n", modulator_recalled(a, b) ? 1.0 : 0.0);
    } else if (std::strcmp(name, "lfo_product") == 0 &&
               std::scanf("%la %la %la", &a, &b, &c) == 3) {
      std::printf("%a\n", lfo_product(a, b, c));
    } else {
      std::fprintf(stderr, "model_probe: cannot read a call to %s\n", name);
      return 1;
    }
  }
  return 0;
}

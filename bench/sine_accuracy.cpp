// Measures how far the block sine strays from the true sine (long double sinl as the reference),
// over dense sweeps of the arguments the tone writer produces. The worst error, in units of
// 2^-53, must stay well below the bound the writer relies on (kFastSineErrorUnits).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "wave/fast_sine.hpp"

namespace {

struct Worst {
  double units = 0.0;
  double at = 0.0;
  long differs_from_std = 0;
  long count = 0;
};

void measure(const std::vector<double>& x, Worst& worst) {
  std::vector<double> fast(x.size());
  fast_sine(x.data(), fast.data(), static_cast<int>(x.size()));
  for (std::size_t i = 0; i < x.size(); ++i) {
    long double truth = sinl(static_cast<long double>(x[i]));
    double units = static_cast<double>(fabsl(fast[i] - truth) * 0x1p53L);
    if (units > worst.units) {
      worst.units = units;
      worst.at = x[i];
    }
    worst.differs_from_std += fast[i] != std::sin(x[i]);
    ++worst.count;
  }
}

void report(const char* name, const Worst& w) {
  std::printf("%-34s %11ld args  worst %.3f units (at %.17g)  differs from std::sin: %.2e\n", name,
              w.count, w.units, w.at, static_cast<double>(w.differs_from_std) / w.count);
}

}  // namespace

// Usage: sine_accuracy [SCALE]   SCALE multiplies the number of random arguments (default 1).
int main(int argc, char** argv) {
  const int scale = argc > 1 ? std::atoi(argv[1]) : 1;
  std::mt19937_64 random(42);
  const int kChunk = 1 << 20;
  std::vector<double> x(kChunk);

  struct Sweep {
    const char* name;
    double low, high;
    int chunks;
  };
  const Sweep sweeps[] = {
      {"carrier phases [0, 2pi)", 0.0, 6.283185307179586, 32},
      {"LFO products [-40, 40]", -40.0, 40.0, 16},
      {"growing phases [0, 65536]", 0.0, 65536.0, 8},
  };
  for (const Sweep& s : sweeps) {
    std::uniform_real_distribution<double> pick(s.low, s.high);
    Worst worst;
    for (int c = 0; c < s.chunks * scale; ++c) {
      for (double& v : x) {
        v = pick(random);
      }
      measure(x, worst);
    }
    report(s.name, worst);
  }

  // Real phase sequences: the accumulator as the writer runs it, for many frequencies.
  {
    Worst worst;
    std::uniform_real_distribution<double> frequency(1.0, 48000.0);
    const int rates[] = {8000, 44100, 48000, 96000};
    for (int c = 0; c < 16 * scale; ++c) {
      double increment = frequency(random) * (6.283185307179586 / rates[c % 4]);
      double phase = 0.0;
      for (double& v : x) {
        v = phase;
        phase += increment;
        if (phase >= 6.283185307179586) {
          phase -= 6.283185307179586;
        }
      }
      measure(x, worst);
    }
    report("accumulated carrier phases", worst);
  }

  // Neighbours of multiples of pi/2, where the reduction cancels the most.
  {
    Worst worst;
    for (int k = -26; k <= 26; ++k) {
      double centre = k * 1.5707963267948966;
      double below = centre;
      double above = centre;
      x.clear();
      for (int i = 0; i < 20000; ++i) {
        below = std::nextafter(below, -1e9);
        above = std::nextafter(above, 1e9);
        x.push_back(below);
        x.push_back(above);
      }
      measure(x, worst);
    }
    report("next to multiples of pi/2", worst);
  }
  return 0;
}

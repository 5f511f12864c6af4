#include "wave/phase_lfo.hpp"

#include <cmath>

double lfo_argument(GeneratorSettings& settings, double carrier_phase, double mod_increment) {
  double argument =
      lfo_product(carrier_phase, std::sin(settings.mod_phase), settings.mod_range_rad);
  settings.mod_phase = advance_phase(settings.mod_phase, mod_increment);
  return argument;
}

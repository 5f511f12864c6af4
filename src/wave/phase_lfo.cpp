#include "wave/phase_lfo.hpp"

#include <cmath>

double lfo_argument(GeneratorSettings& settings, double carrier_phase, double mod_increment) {
  // A product, not a sum: the carrier phase is scaled by the LFO term. The jumps this gives at
  // every carrier wrap are part of the tool's sound.
  double argument = carrier_phase * (std::sin(settings.mod_phase) * settings.mod_range_rad);
  settings.mod_phase = advance_phase(settings.mod_phase, mod_increment);
  return argument;
}

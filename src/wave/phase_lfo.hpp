#pragma once

#include "app/settings.hpp"

// The LFO's sine argument from the modulator's sine: a product, not a sum. The carrier phase is
// scaled by the LFO term, and the jumps this gives at every carrier wrap are part of the sound.
inline double lfo_product(double carrier_phase, double modulator_sine, double range_rad) {
  return carrier_phase * (modulator_sine * range_rad);
}

// One step of a phase accumulator: add, then a single subtraction of TWO_PI once it reaches it.
// Not a modulo: the output is defined by exactly this recurrence.
inline double advance_phase(double phase, double increment) {
  phase += increment;
  if (phase >= TWO_PI) {
    phase -= TWO_PI;
  }
  return phase;
}

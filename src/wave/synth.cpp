#include "wave/synth.hpp"

#include <cmath>

#include "wave/phase_lfo.hpp"

ToneParameters tone_parameters(const GeneratorSettings& settings) {
  ToneParameters tone;
  int bits = settings.bytes_per_sample * 8;
  int64_t peak = (int64_t{1} << (bits - 1)) - 1;
  tone.scaled_gain = static_cast<double>(peak) * settings.gain;
  double radians_per_frame = TWO_PI / settings.sample_rate;
  tone.carrier_increment = settings.frequency * radians_per_frame;
  tone.mod_increment = settings.mod_frequency * radians_per_frame;
  // Exact comparison: -0.0 counts as off too.
  tone.lfo_on = settings.mod_frequency != 0.0;
  tone.channels = settings.channels;
  tone.bytes_per_sample = settings.bytes_per_sample;
  return tone;
}

void synthesize_block(GeneratorSettings& settings, const ToneParameters& tone, int32_t* samples,
                      int count) {
  double phase = settings.carrier_phase;
  for (int i = 0; i < count; ++i) {
    double argument = tone.lfo_on ? lfo_argument(settings, phase, tone.mod_increment) : phase;
    // |sin| <= 1 and scaled_gain <= the largest sample, so the value always fits.
    samples[i] = static_cast<int32_t>(std::sin(argument) * tone.scaled_gain);
    phase = advance_phase(phase, tone.carrier_increment);
  }
  settings.carrier_phase = phase;
}

namespace {

template <int Width>
void pack_width(const int32_t* samples, int count, int channels, unsigned char* out) {
  for (int i = 0; i < count; ++i) {
    // 8-bit PCM is unsigned; wider samples are two's complement.
    uint32_t value =
        Width == 1 ? static_cast<uint32_t>(samples[i] + 128) : static_cast<uint32_t>(samples[i]);
    for (int c = 0; c < channels; ++c) {
      for (int k = 0; k < Width; ++k) {
        *out++ = static_cast<unsigned char>(value >> (8 * k));
      }
    }
  }
}

}  // namespace

void pack_frames(const int32_t* samples, int count, int channels, int bytes_per_sample,
                 unsigned char* out) {
  switch (bytes_per_sample) {
    case 1:
      pack_width<1>(samples, count, channels, out);
      break;
    case 2:
      pack_width<2>(samples, count, channels, out);
      break;
    case 3:
      pack_width<3>(samples, count, channels, out);
      break;
    case 4:
      pack_width<4>(samples, count, channels, out);
      break;
    default:
      break;
  }
}

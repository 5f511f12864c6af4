#include "wave/wave_writer.hpp"

#include "cli/console.hpp"
#include "wave/byte_stream.hpp"
#include "wave/synth.hpp"
#include "wave/wave_header.hpp"

namespace {

// The spinner turns whenever the countdown of remaining frames is a multiple of this.
constexpr int32_t kSpinnerPeriod = 100000;

void spinner_step(GeneratorSettings& settings) {
  settings.spinner = settings.spinner == '-' ? '|' : '-';
  print_formatted("%c%c", '\b', settings.spinner);
}

// Spinner steps for the countdown values high, high - 1, ..., low (low >= 0).
int32_t spinner_steps_between(int32_t low, int32_t high) {
  int32_t up_to_high = high / kSpinnerPeriod + 1;
  int32_t below_low = low > 0 ? (low - 1) / kSpinnerPeriod + 1 : 0;
  return up_to_high - below_low;
}

}  // namespace

int write_wave_file(GeneratorSettings& settings) {
  if (settings.file_name == nullptr) {
    return -1;
  }
  ByteStream stream;
  if (!open_stream(stream, settings.file_name)) {
    return -1;
  }
  int32_t frame_count = write_wave_header(stream, settings);
  ToneParameters tone = tone_parameters(settings);
  settings.carrier_phase = 0.0;
  settings.mod_phase = 0.0;

  int frame_bytes = settings.channels * settings.bytes_per_sample;
  int32_t samples[kBlockFrames];
  for (int32_t done = 0; done < frame_count && !stream.failed;) {
    int count = frame_count - done < kBlockFrames ? frame_count - done : kBlockFrames;
    synthesize_block(settings, tone, samples, count);
    std::size_t bytes = static_cast<std::size_t>(count) * frame_bytes;
    pack_frames(samples, count, settings.channels, settings.bytes_per_sample,
                reserve_bytes(stream, bytes));
    commit_bytes(stream, bytes);
    // The countdown runs from frame_count - 1 at the first frame to 0 at the last.
    int32_t steps = spinner_steps_between(frame_count - done - count, frame_count - 1 - done);
    for (int32_t s = 0; s < steps; ++s) {
      spinner_step(settings);
    }
    done += count;
  }
  return close_stream(stream);
}

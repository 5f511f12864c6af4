#include "wave/wave_writer.hpp"

#include <filesystem>
#include <system_error>

#include "app/signals.hpp"
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

// After a failed write or a stop between blocks, whatever reached a regular file is made an honest
// WAVE file: cut to the whole frames it holds, with both size fields saying so, so that no reader
// is promised data that is not there. Where that cannot be done the file is removed. Anything else
// (a FIFO, a device) is left alone: truncating or removing it is not ours to do.
void keep_whole_frames(const GeneratorSettings& settings) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path(settings.file_name);
  if (!fs::is_regular_file(path, error)) {
    return;
  }
  std::uintmax_t size = fs::file_size(path, error);
  if (!error) {
    GeneratorSettings kept = settings;
    const std::uintmax_t header = kWaveHeaderSize;
    std::uintmax_t block_align = describe_wave(settings).block_align;
    std::uintmax_t frames = size < header ? 0 : (size - header) / block_align;
    // An even count of odd-sized frames keeps the data chunk even, so it needs no pad byte.
    frames -= block_align % 2 * (frames % 2);
    kept.file_size_bytes = static_cast<int32_t>(frames * block_align);
    std::uintmax_t kept_size = header + frames * block_align;
    ByteStream stream;
    // Nothing here makes the file longer: a full disk or a size limit lets it shrink and its
    // first 44 bytes be written over.
    if (kept_size <= size && (fs::resize_file(path, kept_size, error), !error) &&
        open_stream(stream, settings.file_name, true)) {
      write_wave_header(stream, kept);
      if (close_stream(stream) == 0) {
        return;
      }
    }
  }
  fs::remove(path, error);
}

}  // namespace

int write_wave_file(GeneratorSettings& settings) {
  // Asked to stop before anything was written: the file is not touched.
  if (settings.file_name == nullptr || stop_signal() != 0) {
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
  int32_t done = 0;
  while (done < frame_count && !stream.failed && stop_signal() == 0) {
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
  // The buffer holds whole blocks only, so a stopped run hands the file whole frames.
  if (close_stream(stream) != 0 || done < frame_count) {
    keep_whole_frames(settings);
    return -1;
  }
  return 0;
}

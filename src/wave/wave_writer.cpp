#include "wave/wave_writer.hpp"

#include "wave/byte_stream.hpp"
#include "wave/synth.hpp"
#include "wave/wave_header.hpp"

namespace {

// The spinner turns whenever the countdown of remaining frames is a multiple of this.
constexpr int32_t kSpinnerPeriod = 100000;

void spinner_step(GeneratorSettings& settings, const WriteProgress& progress) {
  settings.spinner = settings.spinner == '-' ? '|' : '-';
  if (progress.show_spinner != nullptr) {
    progress.show_spinner(settings.spinner);
  }
}

bool stopped(const WriteProgress& progress) {
  return progress.stop_requested != nullptr && progress.stop_requested();
}

// Spinner steps for the countdown values high, high - 1, ..., low (low >= 0).
int32_t spinner_steps_between(int32_t low, int32_t high) {
  int32_t up_to_high = high / kSpinnerPeriod + 1;
  int32_t below_low = low > 0 ? (low - 1) / kSpinnerPeriod + 1 : 0;
  return up_to_high - below_low;
}

// After a failed write or a stop between blocks, what this run wrote to a regular file is made an
// honest WAVE file: cut to the whole frames it holds, with both size fields saying so, so that no
// reader is promised data that is not there. Where that cannot be done, what it wrote is taken
// back. All of it acts on the file written, through its descriptor, and only on this run's bytes:
// a link stays a link, and a pipe or a device is left alone, as cutting it is not ours to do.
void keep_whole_frames(ByteStream& stream, const GeneratorSettings& settings) {
  const int64_t header = kWaveHeaderSize;
  int64_t block_align = describe_wave(settings).block_align;
  int64_t frames = stream.written < header ? 0 : (stream.written - header) / block_align;
  // An even count of odd-sized frames keeps the data chunk even, so it needs no pad byte.
  frames -= block_align % 2 * (frames % 2);
  GeneratorSettings kept = settings;
  kept.file_size_bytes = static_cast<int32_t>(frames * block_align);
  // The header is made in memory, then written over the run's first bytes: nothing here makes
  // the file longer, so a full disk or a size limit lets it shrink and be mended.
  unsigned char head[kWaveHeaderSize];
  ByteStream memory;
  memory.buffer = head;
  memory.capacity = sizeof head;
  write_wave_header(memory, kept);
  if (stream.written < header ||
      !cut_written(stream, header + frames * block_align, head, sizeof head)) {
    take_back_written(stream, settings.file_name);
  }
}

}  // namespace

int write_wave_file(GeneratorSettings& settings, const WriteProgress& progress, int* error) {
  // Asked to stop before anything was written: the file is not touched.
  if (stopped(progress)) {
    return -1;
  }
  ByteStream stream;
  if (!open_stream(stream, settings.file_name)) {
    if (error != nullptr) {
      *error = stream.error;
    }
    return -1;
  }
  int32_t frame_count = write_wave_header(stream, settings);
  ToneParameters tone = tone_parameters(settings);
  settings.carrier_phase = 0.0;
  settings.mod_phase = 0.0;

  int frame_bytes = settings.channels * settings.bytes_per_sample;
  int32_t samples[kBlockFrames];
  ToneState state;
  start_tone(tone, state);
  int32_t done = 0;
  while (done < frame_count && !stream.failed && !stopped(progress)) {
    int count = frame_count - done < kBlockFrames ? frame_count - done : kBlockFrames;
    synthesize_block(settings.carrier_phase, settings.mod_phase, tone, state, samples, count);
    std::size_t bytes = static_cast<std::size_t>(count) * frame_bytes;
    pack_frames(samples, count, settings.channels, settings.bytes_per_sample,
                reserve_bytes(stream, bytes));
    commit_bytes(stream, bytes);
    // The countdown runs from frame_count - 1 at the first frame to 0 at the last.
    int32_t steps = spinner_steps_between(frame_count - done - count, frame_count - 1 - done);
    for (int32_t s = 0; s < steps; ++s) {
      spinner_step(settings, progress);
    }
    done += count;
  }
  // The buffer holds whole blocks only, so a stopped run hands the file whole frames.
  bool whole = flush_stream(stream) && done == frame_count;
  if (!whole) {
    keep_whole_frames(stream, settings);
  }
  int status = close_stream(stream) == 0 && whole ? 0 : -1;
  if (status != 0 && error != nullptr) {
    *error = stream.error;
  }
  return status;
}

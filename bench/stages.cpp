// Where a run's time goes, stage by stage, in nanoseconds per frame: the phase accumulator, the
// block sine (for pure 8-bit tones without a kept period, the single-precision samples), the whole
// synthesis of a block (phases, sines, the check and the exact frames) and the packing of bytes.
// What is left of a whole run is writing (bench.py times that). Below each workload, what each
// stage its plan chose saves of the synthesis against the next simpler one.
//
// Usage: tonegen_stages
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/settings.hpp"
#include "wave/fast_sine.hpp"
#include "wave/phase_run.hpp"
#include "wave/synth.hpp"

namespace {

struct Workload {
  const char* name;
  int32_t kb;
  int32_t bytes_per_sample;
  int32_t channels;
  int32_t sample_rate;
  double frequency;
  double mod_frequency;
};

template <typename Body>
double nanoseconds_per_frame(long frames, Body body) {
  auto start = std::chrono::steady_clock::now();
  body();
  std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / static_cast<double>(frames);
}

double synthesis(GeneratorSettings s, const ToneParameters& tone, long frames, int32_t* samples) {
  auto state = std::make_unique<ToneState>();
  start_tone(tone, *state);
  s.carrier_phase = 0.0;
  s.mod_phase = 0.0;
  return nanoseconds_per_frame(frames, [&] {
    for (long done = 0; done < frames; done += kBlockFrames) {
      synthesize_block(s.carrier_phase, s.mod_phase, tone, *state, samples, kBlockFrames);
    }
  });
}

// What each stage the plan chose saves: the synthesis with it switched off (the next simpler
// stage taking its frames), less the synthesis with it, over the former. The block sines are
// compared with the memo and the single pass off, where they make every frame.
void print_savings(const GeneratorSettings& s, const ToneParameters& tone, long frames,
                   int32_t* samples, double planned) {
  using Change = void (*)(ToneParameters&);
  struct Stage {
    const char* name;
    bool serves;
    Change with;  // nullptr: as planned
    Change without;
  };
  const Change sines_alone = [](ToneParameters& t) { t.memo_period = 0, t.single = false; };
  const PhaseRuns& runs = tone.carrier_runs;
  const Stage stages[] = {
      {"turn table", runs.turns.classes > 0, nullptr,
       [](ToneParameters& t) { t.carrier_runs.turns.classes = 0; }},
      {"binade table", runs.count > 0 && runs.turns.classes == 0, nullptr,
       [](ToneParameters& t) { t.carrier_runs.count = 0; }},
      {"falling runs", runs.falling, nullptr,
       [](ToneParameters& t) { t.carrier_runs.falling = false; }},
      {"memo", tone.memo_period > 0, nullptr, [](ToneParameters& t) { t.memo_period = 0; }},
      {"single pass", tone.single, nullptr, [](ToneParameters& t) { t.single = false; }},
      {"modulator memo", tone.mod_memo_period > 0, nullptr,
       [](ToneParameters& t) { t.mod_memo_period = 0; }},
      {"short sine", tone.sine.evaluate == fast_sine_short, sines_alone,
       [](ToneParameters& t) {
         t.memo_period = 0, t.single = false, t.sine = block_sine(false, 4);
       }},
      {"narrow reduction", !tone.growing,
       [](ToneParameters& t) {
         t.memo_period = 0, t.single = false, t.sine = block_sine(false, 4);
       },
       [](ToneParameters& t) {
         t.memo_period = 0, t.single = false, t.sine = block_sine(true, 4);
       }},
  };
  std::printf("%-20s saves:", "");
  for (const Stage& stage : stages) {
    if (stage.serves) {
      ToneParameters with = tone;
      ToneParameters without = tone;
      if (stage.with != nullptr) {
        stage.with(with);
      }
      stage.without(without);
      const double time_with = stage.with ? synthesis(s, with, frames, samples) : planned;
      const double time = synthesis(s, without, frames, samples);
      std::printf(" %s %.0f %%", stage.name, 100.0 * (time - time_with) / time);
    }
  }
  std::printf("\n");
}

}  // namespace

int main() {
  const Workload workloads[] = {
      {"16-bit stereo", 250000, 2, 2, 48000, 440.0, 0.0},
      {"8-bit mono", 250000, 1, 1, 48000, 440.0, 0.0},
      {"8-bit mono, 100 Hz", 250000, 1, 1, 48000, 100.0, 0.0},
      {"8-bit mono, 99.7 Hz", 250000, 1, 1, 48000, 99.7, 0.0},  // no period kept
      {"8-bit mono, 1 kHz", 250000, 1, 1, 48000, 1000.0, 0.0},
      {"8-bit mono, 997.3 Hz", 250000, 1, 1, 48000, 997.3, 0.0},  // no period kept
      {"16-bit mono, 997.3 Hz", 250000, 2, 1, 48000, 997.3, 0.0},
      {"8-bit mono, 20 kHz", 250000, 1, 1, 48000, 20000.0, 0.0},
      {"8-bit mono, 40 kHz", 250000, 1, 1, 48000, 40000.0, 0.0},
      {"8-bit mono, 47 kHz", 250000, 1, 1, 48000, 47000.0, 0.0},
      {"8-bit mono, 47.9 kHz", 250000, 1, 1, 48000, 47900.0, 0.0},  // a falling phase
      {"LFO, wrapping phase", 100000, 2, 2, 1000, 440.0, 1.0},
      {"8-bit mono, LFO 2 Hz", 250000, 1, 1, 48000, 440.0, 2.0},  // single pass, modulator memo
      {"LFO, growing phase", 100000, 2, 2, 1000, 48000.0, 1.0},
  };
  std::printf("%-20s %8s %8s %8s %8s   (ns per frame)\n", "workload", "phases", "sine", "synth",
              "pack");
  for (const Workload& w : workloads) {
    GeneratorSettings s;
    set_defaults(s);
    s.file_size_bytes = w.kb * 1024;
    s.bytes_per_sample = w.bytes_per_sample;
    s.channels = w.channels;
    s.sample_rate = w.sample_rate;
    s.frequency = w.frequency;
    s.mod_frequency = w.mod_frequency;
    const long frames = s.file_size_bytes / (w.bytes_per_sample * w.channels);
    ToneParameters tone = tone_parameters(s);
    std::vector<double> phases(kBlockFrames + kPhaseSlack);
    std::vector<double> sines(kBlockFrames);
    std::vector<int32_t> samples(kBlockFrames);
    std::vector<unsigned char> bytes(kBlockFrames * 24);
    double sink = 0.0;

    double phase = 0.0;
    TurnCursor cursor;
    double t_phases = nanoseconds_per_frame(frames, [&] {
      for (long done = 0; done < frames; done += kBlockFrames) {
        phase = fill_phases(tone.carrier_runs, cursor, phase, phases.data(), kBlockFrames);
      }
    });
    auto sine = tone.sine.evaluate;
    // 8-bit tones without a kept period take the single-precision sine, its check included.
    const bool single = w.bytes_per_sample == 1 && tone.memo_period == 0 && !tone.lfo_on &&
                        tone.carrier_increment <= TWO_PI;
    const float margin = 0x1p-14f;  // about the tool's at -3 dB
    double t_sine = nanoseconds_per_frame(frames, [&] {
      for (long done = 0; done < frames; done += kBlockFrames) {
        if (single) {
          fast_sine_single_samples(phases.data(), nullptr, 0.0, kBlockFrames, tone.scaled_gain,
                                   margin, samples.data());
          sink += samples[done % kBlockFrames];
        } else {
          sine(phases.data(), sines.data(), kBlockFrames);
          sink += sines[done % kBlockFrames];
        }
      }
    });
    double t_synth = synthesis(s, tone, frames, samples.data());
    double t_pack = nanoseconds_per_frame(frames, [&] {
      for (long done = 0; done < frames; done += kBlockFrames) {
        pack_frames(samples.data(), kBlockFrames, w.channels, w.bytes_per_sample, bytes.data());
        sink += bytes[done % 7];
      }
    });
    // The sink keeps the compiler from dropping the timed loops.
    std::printf("%-20s %8.3f %8.3f %8.3f %8.3f%s\n", w.name, t_phases, t_sine, t_synth, t_pack,
                sink == 12345.678 ? " " : "");
    print_savings(s, tone, frames, samples.data(), t_synth);
  }
  return 0;
}

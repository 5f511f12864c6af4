#!/usr/bin/env python3
"""Times tonegen against dd and general-purpose tools writing the same bytes, side by side.

Builds a Release binary, then times every configuration of width x channels x tone (440 Hz,
997.3 Hz, the LFO at 2 Hz over 50 %, 20 kHz) against dd writing the same bytes, and the LFO
against a pure tone that keeps no period, and prints them as the table the README shows (with
--readme, only that, written into README.md). Then for each workload runs tonegen, the peers that are installed
(ffmpeg, sox) and dd writing the same number of bytes, one after another in rounds, and prints
the median wall time of each and tonegen's ratio to each. Output files are removed and the file
system synced before every timed run, so each run starts from the same state. Ends with the
ratios the project aims at (to dd writing the same bytes, and of the phase LFO with a growing
carrier phase to the same LFO with a wrapping one), a sweep of carrier frequencies at three
rates against 440 Hz (CPU time, 8-bit mono to /dev/null) with the worst ratio, the peak resident
memory, and where the time goes (bench/stages.cpp: nanoseconds per frame for phases, sine, the
whole synthesis and the packing, at 440 Hz and at 1, 20, 40 and 47 kHz). Exits with 1, after printing everything, when a goal is missed.

    python3 bench/bench.py [--rounds N] [--dir FOLDER] [--megabytes N] [--readme]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")

# name, tonegen options, channels, bytes per sample, frames, rounds, and for a workload that
# the peers cannot make, the tonegen options it is held against instead
WORKLOADS = [
    ("16-bit stereo, 1,024,000,000 bytes", ["-kb", "1000000"], 2, 2, 256000000, 3, None),
    ("8-bit mono, 1,024,000,000 bytes", ["-kb", "1000000", "-res", "1", "-ch", "1"], 1, 1,
     1024000000, 3, None),
    ("default run, 5,120,000 bytes", [], 2, 2, 1280000, 9, None),
    # The phase grows past 10^10 when the frequency exceeds the sample rate.
    ("48 kHz at rate 1000, 204,800,000 bytes", ["-kb", "200000", "-frq", "48000", "-sr", "1000"],
     2, 2, 51200000, 5, ["-kb", "200000"]),
    # The phase LFO: a growing carrier phase against a wrapping one, per byte the same.
    ("LFO, growing phase, 102,400,000 bytes",
     ["-kb", "100000", "-frq", "48000", "-sr", "1000", "-mfrq", "1"], 2, 2, 25600000, 3,
     ["-kb", "100000", "-sr", "1000", "-mfrq", "1"]),
    ("LFO, growing phase, 1,024,000,000 bytes",
     ["-kb", "1000000", "-frq", "48000", "-sr", "1000", "-mfrq", "1"], 2, 2, 256000000, 3,
     ["-kb", "1000000", "-sr", "1000", "-mfrq", "1"]),
]

# The goals: tonegen's time over the peer's for these workloads, at most the number given.
GOALS = [
    ("16-bit stereo 1 GB / dd", "16-bit stereo, 1,024,000,000 bytes", "dd", 2.0),
    ("8-bit mono 1 GB / dd", "8-bit mono, 1,024,000,000 bytes", "dd", 4.0),
    ("LFO growing / wrapping, 100 MB", "LFO, growing phase, 102,400,000 bytes", "baseline", 1.5),
    ("LFO growing / wrapping, 1 GB", "LFO, growing phase, 1,024,000,000 bytes", "baseline", 1.5),
]

# Carrier frequencies by sample rate, each timed against 440 Hz at the same rate: 8-bit mono to
# /dev/null, where the synthesis is all the work. The worst ratio is the goal's. 997.3 Hz at 48 kHz
# comes back to its phase only after 480,000 frames, too long a period to keep its samples.
SWEEP = {
    48000: [997.3, 1000, 2000, 3000, 6000, 12000, 20000, 24000, 40000, 48000],
    8000: [1000, 3000, 4000, 7900],
    96000: [1000, 10000, 30000, 48000],
}
SWEEP_GOAL = 1.3

# Every configuration against dd writing the same bytes: width x channels x tone.
MATRIX_TONES = [("440 Hz", []), ("997.3 Hz", ["-frq", "997.3"]),
                ("LFO", ["-mfrq", "2", "-mran", "50"]), ("20 kHz", ["-frq", "20000"])]
MATRIX_GOAL = 2.5
# The LFO against a pure tone that keeps no period, 8-bit mono (CPU time, to /dev/null).
LFO_PAIR = (["-mfrq", "2", "-mran", "50"], ["-frq", "997.3"])
LFO_GOAL = 1.5
README_BEGIN = "<!-- bench.py --readme writes from here -->"
README_END = "<!-- to here -->"


def build():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DTONEGEN_TESTS=OFF", "-DTONEGEN_BENCH=ON"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "tonegen", "tonegen_stages"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(BUILD, "tonegen")


def commands(tonegen, folder, options, channels, width, frames, baseline):
    out = os.path.join(folder, "out.wav")
    seconds = "%.6f" % (frames / 48000.0)
    data_bytes = frames * channels * width
    peers = {"tonegen": [tonegen, "-file", out] + options}
    if baseline:
        peers["tonegen " + " ".join(baseline)] = [tonegen, "-file", out] + baseline
    elif shutil.which("ffmpeg"):
        codec = "pcm_u8" if width == 1 else "pcm_s16le"
        peers["ffmpeg"] = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                           "sine=frequency=440:sample_rate=48000:duration=" + seconds,
                           "-af", "volume=-3dB", "-ac", str(channels), "-c:a", codec, out]
    # sox takes over 10 s for the large files: only the default run is timed against it.
    if shutil.which("sox") and frames <= 10000000 and not baseline:
        peers["sox"] = ["sox", "-n", "-r", "48000", "-c", str(channels), "-b", str(8 * width),
                        out, "synth", seconds, "sine", "440", "vol", "-3dB"]
    block = 1024000
    peers["dd"] = ["dd", "if=/dev/zero", "of=" + out, "bs=%d" % block,
                   "count=%d" % (data_bytes // block)]
    return out, peers


def timed(command, out):
    if os.path.exists(out):
        os.remove(out)
    os.sync()
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def user_seconds(command):
    """CPU time of the command alone (user and system), which a busy neighbour moves less than
    the wall time."""
    before = os.times()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = os.times()
    return (after.children_user - before.children_user +
            after.children_system - before.children_system)


def frequency_sweep(tonegen, rounds):
    """Prints each frequency's time over 440 Hz's at its rate; returns the worst ratio."""
    print("%-22s  %10s  %10s" % ("8-bit mono, 200 MB", "median s", "/ 440 Hz"))
    worst = (0.0, None)
    for rate, frequencies in SWEEP.items():
        command = [tonegen, "-file", os.devnull, "-kb", "200000", "-res", "1", "-ch", "1",
                   "-sr", str(rate), "-frq"]
        times = {f: [] for f in [440] + frequencies}
        for _ in range(rounds):
            for frequency in times:  # interleaved, so that drift touches every one alike
                times[frequency].append(user_seconds(command + [str(frequency)]))
        base = statistics.median(times[440])
        for frequency, spent in times.items():
            ratio = statistics.median(spent) / base
            print("%-22s  %10.3f  %10.3f" % ("%g Hz at %d" % (frequency, rate),
                                             statistics.median(spent), ratio))
            worst = max(worst, (ratio, "%g Hz at %d" % (frequency, rate)))
    return worst


def matrix(tonegen, folder, megabytes, rounds):
    """Each configuration's median time over dd's writing the same bytes: {(width, channels,
    tone): ratio}."""
    out = os.path.join(folder, "out.wav")
    ratios = {}
    block = 1024000
    for width in (1, 2, 3, 4):
        for channels in (1, 2, 6):
            frame = width * channels
            kb = megabytes * 1000 // frame * frame  # whole frames in whole kB
            for tone, options in MATRIX_TONES:
                ours = [tonegen, "-file", out, "-kb", str(kb), "-res", str(width), "-ch",
                        str(channels)] + options
                dd = ["dd", "if=/dev/zero", "of=" + out, "bs=%d" % block,
                      "count=%d" % (kb * 1024 // block)]
                times = {"tonegen": [], "dd": []}
                for _ in range(rounds):
                    times["tonegen"].append(timed(ours, out))
                    times["dd"].append(timed(dd, out))
                ratios[(width, channels, tone)] = (statistics.median(times["tonegen"]) /
                                                   statistics.median(times["dd"]))
                print("%d-byte %d-ch %-9s %6.2f x dd" % (width, channels, tone,
                                                        ratios[(width, channels, tone)]),
                      flush=True)
    os.remove(out)
    return ratios


def lfo_ratio(tonegen, rounds):
    """The LFO's CPU time over a pure tone's without a kept period, 8-bit mono, 200 MB."""
    base = [tonegen, "-file", os.devnull, "-kb", "200000", "-res", "1", "-ch", "1"]
    lfo, pure = [], []
    for _ in range(rounds):
        lfo.append(user_seconds(base + LFO_PAIR[0]))
        pure.append(user_seconds(base + LFO_PAIR[1]))
    return statistics.median(lfo) / statistics.median(pure)


def report(ratios, lfo, megabytes):
    """The table the README shows: every configuration's time over dd's."""
    lines = ["Written with `python3 bench/bench.py --readme` on %s (%d MB a file, medians):" % (
        time.strftime("%Y-%m-%d"), megabytes), "",
             "| width, channels | " + " | ".join(t for t, _ in MATRIX_TONES) + " |",
             "|---|" + "---|" * len(MATRIX_TONES)]
    for width in (1, 2, 3, 4):
        for channels in (1, 2, 6):
            lines.append("| %d-bit, %d ch | " % (8 * width, channels) + " | ".join(
                "%.2f x dd" % ratios[(width, channels, t)] for t, _ in MATRIX_TONES) + " |")
    worst = max(ratios, key=ratios.get)
    lines += ["", "Worst: %d-bit, %d ch, %s: %.2f x dd (goal: at most %.1f x)." % (
        8 * worst[0], worst[1], worst[2], ratios[worst], MATRIX_GOAL),
              "`-mfrq 2 -mran 50` over `-frq 997.3`, 8-bit mono: %.2f x (goal: at most %.1f x)." % (
                  lfo, LFO_GOAL)]
    return "\n".join(lines) + "\n"


def write_readme(table):
    path = os.path.join(ROOT, "README.md")
    with open(path) as f:
        text = f.read()
    begin, end = text.index(README_BEGIN) + len(README_BEGIN), text.index(README_END)
    with open(path, "w") as f:
        f.write(text[:begin] + "\n" + table + text[end:])


def peak_rss_kib(command):
    # A child forked from Python starts out with Python's resident set, so its own rusage
    # overstates it; GNU time reports the program alone.
    if not os.path.exists("/usr/bin/time"):
        return None
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=0, help="rounds per workload")
    parser.add_argument("--dir", default=None, help="where the files are written")
    parser.add_argument("--megabytes", type=int, default=300,
                        help="size of each file of the width x channels x tone table")
    parser.add_argument("--readme", action="store_true",
                        help="only the table, written into README.md's Performance section")
    args = parser.parse_args()
    tonegen = build()
    folder = tempfile.mkdtemp(prefix="tonegen-bench-", dir=args.dir)
    try:
        ratios = matrix(tonegen, folder, args.megabytes, args.rounds or 3)
        lfo = lfo_ratio(tonegen, args.rounds or 5)
        table = report(ratios, lfo, args.megabytes)
        print()
        print(table)
        missed = ["%d-bit %d ch %s within %.1f x dd" % (w, c, t, MATRIX_GOAL)
                  for (w, c, t), ratio in ratios.items() if ratio > MATRIX_GOAL]
        if lfo > LFO_GOAL:
            missed.append("the LFO within %.1f x of 997.3 Hz" % LFO_GOAL)
        if args.readme:
            write_readme(table)
            return 0
        runs = [(name, rounds) + commands(tonegen, folder, options, channels, width, frames,
                                          baseline)
                for name, options, channels, width, frames, rounds, baseline in WORKLOADS]
        # Columns as wide as the longest name they hold, known before the first run.
        name_width = max(len(name) for name, *_ in runs)
        tool_width = max(len(tool) for *_, peers in runs for tool in peers)
        row = "%%-%ds  %%-%ds  %%10s  %%10s" % (name_width, tool_width)
        print(row % ("workload", "tool", "median s", "tonegen/x"))
        ratios = {}
        for name, rounds, out, peers in runs:
            times = {tool: [] for tool in peers}
            for _ in range(args.rounds or rounds):
                for tool, command in peers.items():  # interleaved: same conditions for all
                    times[tool].append(timed(command, out))
            ours = statistics.median(times["tonegen"])
            workload = name
            for tool in peers:
                median = statistics.median(times[tool])
                ratio = "" if tool == "tonegen" else "%.3f" % (ours / median)
                print(row % (name, tool, "%.3f" % median, ratio))
                name = ""
                if tool != "tonegen":
                    ratios[(workload, "baseline" if tool.startswith("tonegen ") else tool)] = \
                        ours / median
            os.remove(out)
        print()
        label_width = max(len(label) for label, *_ in GOALS)
        for label, workload, peer, goal in GOALS:
            ratio = ratios[(workload, peer)]
            verdict = "met" if ratio <= goal else "MISSED"
            print("%-*s  %6.2f x   (goal: at most %.1f x, %s)" % (label_width, label, ratio, goal,
                                                                 verdict))
            if ratio > goal:
                missed.append(label)
        print()
        ratio, where = frequency_sweep(tonegen, args.rounds or 3)
        verdict = "met" if ratio <= SWEEP_GOAL else "MISSED"
        print("worst frequency / 440 Hz: %.2f x (%s; goal: at most %.1f x, %s)" % (
            ratio, where, SWEEP_GOAL, verdict))
        if ratio > SWEEP_GOAL:
            missed.append("every frequency within %.1f x of 440 Hz" % SWEEP_GOAL)
        out = os.path.join(folder, "out.wav")
        for label, options in [("1 GB 16-bit stereo", ["-kb", "1000000"]),
                               ("100 MB, LFO with a growing phase",
                                ["-kb", "100000", "-frq", "48000", "-sr", "1000", "-mfrq", "1"])]:
            rss = peak_rss_kib([tonegen, "-file", out] + options)
            if rss is not None:
                print("peak resident memory, %s: %.1f MiB" % (label, rss / 1024))
        print()
        sys.stdout.flush()
        subprocess.run([os.path.join(BUILD, "tonegen_stages")], check=True)
    finally:
        shutil.rmtree(folder)
    if missed:
        print("goals missed: " + "; ".join(missed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Draws the README's pictures from files the tool itself writes.

Usage: /usr/bin/python3 docs/make_pictures.py PATH_TO_TONEGEN
Needs Debian's python3-numpy and python3-matplotlib; writes the PNG files beside this script.
"""
import os
import subprocess
import sys
import tempfile
import wave

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TWO_PI = 6.283185307179586
RATE = 48000


def tone(tonegen, folder, name, options):
    """Mono 16-bit samples of a file written by tonegen with these options."""
    path = os.path.join(folder, name)
    subprocess.run([tonegen, "-file", path, "-ch", "1", "-res", "2"] + options, check=True,
                   stdout=subprocess.DEVNULL)
    with wave.open(path, "rb") as w:
        return np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(float)


def save(figure, name):
    figure.tight_layout()
    figure.savefig(os.path.join(HERE, name), dpi=100)
    plt.close(figure)


def default_tone(samples):
    frames = int(0.003 * RATE)
    gain = 32767 * 10 ** (-3 * 0.05)
    t = np.arange(frames) / RATE
    fine = np.linspace(0, t[-1], 2000)
    figure, axes = plt.subplots(figsize=(8, 3))
    axes.plot(fine * 1000, gain * np.sin(TWO_PI * 440 * fine), color="0.55", linewidth=2.5,
              label="440 Hz sine at -3 dB")
    axes.plot(t * 1000, samples[:frames], ".", color="C0", markersize=3,
              label="samples (48 kHz, 16 bit)")
    axes.set_xlabel("time (ms)")
    axes.set_ylabel("sample value (16-bit units)")
    axes.set_title("The first 3 ms of the default tone")
    axes.legend(loc="lower left", fontsize=8)
    save(figure, "default_tone.png")


def lfo_wrap(samples, bare):
    start, end = int(0.105 * RATE), int(0.145 * RATE)
    t = np.arange(start, end) / RATE * 1000
    figure, axes = plt.subplots(figsize=(8, 3))
    axes.plot(t, bare[start:end], color="0.75", linewidth=1, label="carrier alone (100 Hz)")
    # Around 125 ms the LFO's sine is near 1, so the phase is multiplied by about 1 x pi.
    axes.plot(t, samples[start:end], color="C1", linewidth=1.2,
              label="with the phase LFO (2 Hz, 50 %): phase x about 3.1 here")
    for wrap_ms in (110, 120, 130, 140):  # the 100 Hz carrier's phase wraps every 10 ms
        axes.axvline(wrap_ms, color="0.4", linestyle=":", linewidth=1)
    axes.set_xlabel("time (ms); dotted: the carrier phase wraps")
    axes.set_ylabel("sample value (16-bit units)")
    axes.set_title("The phase times sin(LFO phase) x range (up to pi here): a faster wave\n"
                   "that steps back where the carrier phase wraps", fontsize=10)
    axes.legend(loc="lower left", fontsize=8)
    save(figure, "lfo_wrap.png")


def lfo_spectrogram(samples):
    scaled = samples / 32768
    # Above: the level over 1 ms, where the drops are plain to see. Below: short windows (about
    # 11 ms, a new one every 2.7 ms); both scaled so that a full-scale sine reads 0 dB.
    ms = RATE // 1000
    rms = np.sqrt((scaled[:len(scaled) // ms * ms].reshape(-1, ms) ** 2).mean(axis=1) * 2)
    size, hop = 512, 128
    window = np.hanning(size)
    starts = np.arange(0, len(scaled) - size, hop)
    frames = np.stack([scaled[s:s + size] * window for s in starts])
    level = 20 * np.log10(np.abs(np.fft.rfft(frames, axis=1)) * 2 / window.sum() + 1e-12)
    figure, (top, axes) = plt.subplots(2, 1, figsize=(8, 4.5), sharex=True,
                                       gridspec_kw={"height_ratios": [1, 3]})
    top.plot((np.arange(len(rms)) + 0.5) / 1000, 20 * np.log10(rms + 1e-12), color="C0",
             linewidth=0.8)
    top.set_ylim(-40, 0)
    top.set_ylabel("level (dB)")
    top.set_title("440 Hz at -3 dB with the phase LFO at 2 Hz over 50 % of a turn")
    image = axes.pcolormesh((starts + size / 2) / RATE, np.fft.rfftfreq(size, 1 / RATE), level.T,
                            cmap="magma", vmin=-80, vmax=0, shading="nearest")
    axes.set_ylim(0, 6000)
    axes.set_xlabel("time (s); every 0.25 s the LFO's sine passes 0: the level drops, "
                    "the tone falls to low frequencies")
    axes.set_ylabel("frequency (Hz)")
    figure.colorbar(image, ax=[top, axes], label="dB relative to a full-scale sine")
    figure.savefig(os.path.join(HERE, "lfo_spectrogram.png"), dpi=100)
    plt.close(figure)


def main():
    tonegen = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        default_tone(tone(tonegen, folder, "default.wav", ["-kb", "10"]))
        lfo_wrap(tone(tonegen, folder, "wrap.wav", ["-kb", "20", "-frq", "100", "-mfrq", "2",
                                                      "-mran", "50"]),
                 tone(tonegen, folder, "bare.wav", ["-kb", "20", "-frq", "100"]))
        lfo_spectrogram(tone(tonegen, folder, "lfo.wav", ["-kb", "375", "-mfrq", "2",
                                                          "-mran", "50"]))


if __name__ == "__main__":
    main()

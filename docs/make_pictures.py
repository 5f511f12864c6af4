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
    axes.plot(t, samples[start:end], color="C1", linewidth=1.2,
              label="with the phase LFO (2 Hz, 50 %)")
    for wrap_ms in (110, 120, 130, 140):  # the 100 Hz carrier's phase wraps every 10 ms
        axes.axvline(wrap_ms, color="0.4", linestyle=":", linewidth=1)
    axes.set_xlabel("time (ms); dotted: the carrier phase wraps")
    axes.set_ylabel("sample value (16-bit units)")
    axes.set_title("The LFO scales the carrier phase: the wave steps where that phase wraps")
    axes.legend(loc="lower left", fontsize=8)
    save(figure, "lfo_wrap.png")


def lfo_spectrogram(samples):
    figure, axes = plt.subplots(figsize=(8, 3.5))
    _, _, _, image = axes.specgram(samples / 32768, NFFT=2048, Fs=RATE, noverlap=1536,
                                   cmap="magma", vmin=-120, vmax=-20)
    axes.set_ylim(0, 6000)
    axes.set_xlabel("time (s)")
    axes.set_ylabel("frequency (Hz)")
    axes.set_title("440 Hz with the phase LFO at 2 Hz over 50 % of a turn")
    figure.colorbar(image, ax=axes, label="power (dB)")
    save(figure, "lfo_spectrogram.png")


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

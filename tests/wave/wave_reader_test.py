"""Generated files as Python's standard wave module reads them.

Usage: python3 wave_reader_test.py [EMULATOR ...] PATH_TO_TONEGEN
(a cross build names the emulator that runs its programs, qemu or wine, before the path)
"""
import decimal
import os
import subprocess
import sys
import tempfile
import unittest
import wave

TONEGEN = []  # the command that runs the tool
TWO_PI = 6.283185307179586


def rounded(compute):
    """compute() at 50 digits, then rounded once to the nearest double (float() of a Decimal
    rounds correctly): the tool's sine and power of ten are correctly rounded, and the C
    library's are not."""
    with decimal.localcontext() as context:
        context.prec = 50
        return float(compute())


def correct_sin(x):
    def series():
        x_exact = decimal.Decimal(x)  # a double converts exactly
        term = total = x_exact
        k = 1
        while abs(term) > decimal.Decimal("1e-60"):
            term = -term * x_exact * x_exact / ((2 * k) * (2 * k + 1))
            total += term
            k += 1
        return total
    return rounded(series)


def expected_samples(frames, rate, frequency, level_db, width):
    """The first frames by the tool's rules, in the same double arithmetic."""
    peak = (1 << (8 * width - 1)) - 1
    gain = peak * rounded(lambda: decimal.Decimal(10) ** decimal.Decimal(level_db * 0.05))
    increment = frequency * (TWO_PI / rate)
    phase = 0.0
    values = []
    for _ in range(frames):
        values.append(int(correct_sin(phase) * gain))  # int() truncates toward zero
        phase += increment
        if phase >= TWO_PI:
            phase -= TWO_PI
    return values


def decode(raw, width, channels):
    """Frames as lists of channel values; 8-bit data is unsigned, wider data signed."""
    frames = []
    step = width * channels
    for at in range(0, len(raw), step):
        frame = []
        for c in range(channels):
            chunk = raw[at + c * width:at + (c + 1) * width]
            if width == 1:
                frame.append(chunk[0] - 128)
            else:
                frame.append(int.from_bytes(chunk, "little", signed=True))
        frames.append(frame)
    return frames


class StandardWaveModule(unittest.TestCase):
    def test_widths_and_channels(self):
        with tempfile.TemporaryDirectory() as folder:
            for width in (1, 2, 3, 4):
                for channels in (1, 2, 6):
                    with self.subTest(width=width, channels=channels):
                        path = os.path.join(folder, "t%d_%d.wav" % (width, channels))
                        subprocess.run(TONEGEN + ["-file", path, "-kb", "2", "-res", str(width),
                                        "-ch", str(channels), "-sr", "22050", "-frq", "1000",
                                        "-db", "-1"], check=True, stdout=subprocess.DEVNULL)
                        with wave.open(path, "rb") as w:
                            self.assertEqual(w.getnchannels(), channels)
                            self.assertEqual(w.getsampwidth(), width)
                            self.assertEqual(w.getframerate(), 22050)
                            block = width * channels
                            self.assertEqual(w.getnframes(), (2048 + block - 1) // block)
                            frames = decode(w.readframes(64), width, channels)
                        expected = expected_samples(64, 22050, 1000.0, -1.0, width)
                        self.assertEqual(frames, [[v] * channels for v in expected])

    def test_cut_files_read_as_whole_frames(self):
        """A file-size limit (its signal at the default action, as a shell leaves it) and a
        termination part way both leave a file that reads as exactly the frames it holds."""
        if os.name != "posix" or len(TONEGEN) > 1:
            self.skipTest("limits and signals on the tool itself: POSIX, no emulator")
        import resource
        import signal
        import time

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (100003, 100003))

        def terminate(path):
            tool = subprocess.Popen(TONEGEN + ["-file", path, "-kb", "1000000", "-res", "3",
                                    "-ch", "1"], stdout=subprocess.DEVNULL)
            while tool.poll() is None and (not os.path.exists(path) or
                                            os.path.getsize(path) < 100003):
                time.sleep(0.001)
            tool.send_signal(signal.SIGTERM)
            return tool.wait()

        def limited(path):
            return subprocess.run(TONEGEN + ["-file", path, "-kb", "1000", "-res", "3", "-ch",
                                  "1"], stdout=subprocess.DEVNULL,
                                  preexec_fn=limit_file_size).returncode

        with tempfile.TemporaryDirectory() as folder:
            for end, status in ((limited, 255), (terminate, -signal.SIGTERM)):
                with self.subTest(end=end.__name__):
                    path = os.path.join(folder, end.__name__ + ".wav")
                    self.assertEqual(end(path), status)
                    with wave.open(path, "rb") as w:
                        frames = w.getnframes()
                        self.assertEqual(len(w.readframes(frames + 1)), frames * 3)
                    self.assertEqual(os.path.getsize(path), 44 + frames * 3)
                    self.assertEqual(frames % 2, 0)
                    self.assertGreater(frames, 30000)

if __name__ == "__main__":
    TONEGEN = sys.argv[1:-1] + [os.path.abspath(sys.argv[-1])]
    del sys.argv[1:]
    unittest.main()

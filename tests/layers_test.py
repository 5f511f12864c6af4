#!/usr/bin/env python3
"""Every #include of ours in src/ goes to its own layer or one below: the exact maths, then the
sample engine, then the WAVE file, then the command line, then the program, as the libraries
link in CMakeLists.txt. app/settings.hpp, the one record of a run's settings, may be read from
every layer above the maths. Exits 1 naming each include that goes up, or a file of no layer."""
import os
import re
import sys

SRC = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "src")
LAYERS = [
    ("maths", ("math/",)),
    ("engine", ("wave/fast_sine", "wave/phase_run", "wave/synth", "wave/phase_lfo",
                "wave/sine_polynomials", "wave/vector_clones")),
    ("WAVE file", ("wave/",)),
    ("command line", ("cli/",)),
    ("program", ("app/",)),
]
SHARED = "app/settings.hpp"


def layer(path):
    for index, (_, prefixes) in enumerate(LAYERS):
        if path.startswith(prefixes):
            return index
    return None


def problems(files):
    """files: (path below src, text) pairs."""
    found = []
    for path, text in files:
        own = layer(path)
        if own is None:
            found.append("%s belongs to no layer" % path)
            continue
        for target in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
            if target == SHARED and own > 0:
                continue
            other = layer(target)
            if other is None or other > own:
                found.append("%s (%s) includes %s (%s)" % (
                    path, LAYERS[own][0], target, "no layer" if other is None else LAYERS[other][0]))
    return found


def main():
    files = []
    for folder, _, names in os.walk(SRC):
        for name in sorted(names):
            full = os.path.join(folder, name)
            with open(full) as f:
                files.append((os.path.relpath(full, SRC).replace(os.sep, "/"), f.read()))
    found = problems(files)
    print("\n".join(found) or "every include goes down (%d files)" % len(files))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

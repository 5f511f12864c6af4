#!/usr/bin/env python3
"""Runs the proofs of the error bounds the code relies on, with the constants read from the code.

    python3 proofs/run_proofs.py [NAME ...]     (no name: all of them; --list names them)

Each Gappa script refers to the code's constants as @name@ (or @name[i]@ for an array's
element); they are read from the sources listed in SOURCES, so a changed coefficient or a lowered
bound is proven anew or fails. The Sollya script must print exactly the committed header. Sums
of proven bounds are checked here in exact rational arithmetic. Exits 0 when everything is
proven, 1 when anything is not, and 77 (a skip, for CTest) when gappa or sollya is missing.
"""
import fractions
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SOURCES = ["src/wave/fast_sine.hpp", "src/wave/fast_sine.cpp", "src/wave/sine_polynomials.hpp",
           "src/wave/synth.cpp"]
HEADER = "src/wave/sine_polynomials.hpp"
SKIP = 77


def read_constants():
    """Every `constexpr double NAME = LITERAL;` and `constexpr double NAME[] = {...};`."""
    constants = {}
    for source in SOURCES:
        with open(os.path.join(ROOT, source)) as f:
            text = f.read()
        for name, value in re.findall(r"constexpr double (\w+) = ([-+0-9a-fA-Fx.p]+);", text):
            constants[name] = value
        for name, body in re.findall(r"constexpr double (\w+)\[\] = \{([^}]*)\};", text):
            for i, value in enumerate(v.strip() for v in body.split(",") if v.strip()):
                constants["%s[%d]" % (name, i)] = value
    return constants


def value(constants, name):
    return fractions.Fraction(float.fromhex(constants[name]))


def substitute(text, constants):
    def one(match):
        name = match.group(1)
        if name not in constants:
            raise SystemExit("no constant %s in %s" % (name, ", ".join(SOURCES)))
        return constants[name]
    return re.sub(r"@([A-Za-z_]\w*(?:\[\d+\])?)@", one, text)


def gappa(script, **names):
    """A Gappa script, with some of its names standing for constants of the code (names)."""
    def run(constants):
        with open(os.path.join(HERE, script)) as f:
            text = substitute(f.read(), dict(constants, **{k: constants[v] for k, v in names.items()}))
        try:
            # A bound Gappa cannot reach can keep it searching: that is a failure too.
            result = subprocess.run(["gappa", "-Eprecision=200"], input=text, text=True,
                                    capture_output=True, timeout=100)
        except subprocess.TimeoutExpired:
            return "gappa found no proof within 100 s"
        errors = [line for line in result.stderr.splitlines() if not line.startswith("Warning")]
        if result.returncode != 0 or errors:
            return "\n".join(errors) or "gappa exited with %d" % result.returncode
        return None
    run.tools = ["gappa"]
    return run


def polynomials(constants):
    result = subprocess.run(["sollya", os.path.join(HERE, "block_sines.sollya")], text=True,
                            capture_output=True)
    with open(os.path.join(ROOT, HEADER)) as f:
        committed = f.read()
    if result.returncode != 0 or result.stdout != committed:
        return "%s is not what block_sines.sollya prints (rerun: sollya %s > %s)\n%s" % (
            HEADER, "proofs/block_sines.sollya", HEADER, result.stderr)
    return None


polynomials.tools = ["sollya"]


def sums(constants):
    """Each block sine's bound covers its reduction, evaluation and approximation errors."""
    parts = {
        "kWideSineError": ["kWideReductionError", "kLongEvaluationError",
                           "kLongApproximationError"],
        "kNarrowSineError": ["kNarrowReductionError", "kLongEvaluationError",
                             "kLongApproximationError"],
        "kShortSineError": ["kNarrowReductionError", "kShortEvaluationError",
                            "kShortApproximationError"],
    }
    wrong = []
    for total, terms in parts.items():
        needed = sum(value(constants, t) for t in terms)
        if value(constants, total) < needed:
            wrong.append("%s = %s is below %s = %r" % (total, constants[total], " + ".join(terms),
                                                        float(needed)))
    return "\n".join(wrong) or None


sums.tools = []

PROOFS = {
    "Polynomials": polynomials,
    "ReductionNarrow": gappa("reduction_narrow.gappa"),
    "ReductionWide": gappa("reduction_wide.gappa"),
    "EvaluationShort": gappa("evaluation_short.gappa"),
    "EvaluationLong": gappa("evaluation_long.gappa"),
    "SineTotals": sums,
    "SampleCheckShort": gappa("sample_check.gappa", SineError="kShortSineError",
                              SampleMargin="kShortSampleMargin"),
    "SampleCheckNarrow": gappa("sample_check.gappa", SineError="kNarrowSineError",
                               SampleMargin="kNarrowSampleMargin"),
    "SampleCheckWide": gappa("sample_check.gappa", SineError="kWideSineError",
                             SampleMargin="kWideSampleMargin"),
}


def main(names):
    if names == ["--list"]:
        print("\n".join(PROOFS))
        return 0
    constants = read_constants()
    failed = skipped = 0
    for name in names or list(PROOFS):
        proof = PROOFS[name]
        missing = [tool for tool in proof.tools if shutil.which(tool) is None]
        if missing:
            print("SKIPPED %s: %s not installed (Debian: apt-get install %s); this bound is NOT "
                  "proven here" % (name, " and ".join(missing), " ".join(missing)))
            skipped += 1
            continue
        problem = proof(constants)
        print("%s %s" % ("FAILED" if problem else "proven", name))
        if problem:
            print(problem)
            failed += 1
    if failed:
        return 1
    return SKIP if skipped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

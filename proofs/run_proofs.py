#!/usr/bin/env python3
"""Runs the proofs of the error bounds the code relies on, with the constants read from the code.

    python3 proofs/run_proofs.py [NAME ...]     (no name: all of them; --list names them)

Each Gappa and Sollya script refers to the code's constants as @name@ (or @name[i]@ for an
array's element); they are read from the sources listed in SOURCES, so a changed coefficient or
a lowered bound is proven anew or fails. block_sines.sollya must print exactly the committed
header. Where bounds combine (sums, products of relative errors, the rounding tests' own
margins), that is checked here in exact rational arithmetic. Exits 0 when everything is
proven, 1 when anything is not, and 77 (a skip, for CTest) when gappa or sollya is missing.
"""
import fractions
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SOURCES = ["src/math/double_double.hpp", "src/math/sine_steps.hpp", "src/math/exact_math.cpp",
           "src/wave/fast_sine.hpp", "src/wave/fast_sine.cpp", "src/wave/sine_polynomials.hpp",
           "src/wave/synth.cpp"]
HEADER = "src/wave/sine_polynomials.hpp"
SKIP = 77


def read_constants():
    """Every `constexpr double` or `int NAME = LITERAL;`, every element of a `constexpr double
    NAME[] = {...};` as NAME[i], and of a `constexpr DD NAME[]` as NAME[i].hi and NAME[i].lo."""
    constants = {}
    for source in SOURCES:
        with open(os.path.join(ROOT, source)) as f:
            text = f.read()
        for name, value in re.findall(r"constexpr (?:double|int) (\w+) = ([-+0-9a-fA-Fx.p]+);",
                                      text):
            constants[name] = value
        for name, body in re.findall(r"constexpr double (\w+)\[\] = \{([^}]*)\};", text):
            for i, value in enumerate(v.strip() for v in body.split(",") if v.strip()):
                constants["%s[%d]" % (name, i)] = value
        # Arrays of double-doubles: name[i].hi and name[i].lo.
        for name, body in re.findall(r"constexpr DD (\w+)\[\] = \{(.*?)\};", text, re.S):
            for i, (hi, lo) in enumerate(re.findall(r"\{([^,{}]+),\s*([^,{}]+)\}", body)):
                constants["%s[%d].hi" % (name, i)] = hi.strip()
                constants["%s[%d].lo" % (name, i)] = lo.strip()
    return constants


def value(constants, name):
    return fractions.Fraction(float.fromhex(constants[name]))


def substitute(text, constants):
    def one(match):
        name = match.group(1)
        if name not in constants:
            raise SystemExit("no constant %s in %s" % (name, ", ".join(SOURCES)))
        return constants[name]
    return re.sub(r"@([A-Za-z_]\w*(?:\[\d+\](?:\.hi|\.lo)?)?)@", one, text)


def gappa(script, variants=({},), **names):
    """A Gappa script, with some of its names standing for constants of the code (names), run
    once for each variant (a dict of names and the literal text they stand for)."""
    def run(constants):
        with open(os.path.join(HERE, script)) as f:
            template = f.read()
        for variant in variants:
            # The variant first: its text may name constants of the code in turn.
            kept = {k: "@%s@" % k for k in list(constants) + list(names)}
            text = substitute(template, dict(kept, **variant))
            problem = run_gappa(substitute(text, dict(
                constants, **{k: constants[v] for k, v in names.items()})))
            if problem:
                return "%s with %s:\n%s" % (script, variant, problem) if variant else problem
        return None
    run.tools = ["gappa"]
    return run


def run_gappa(text, keep_output=False):
    """None when Gappa proves every goal of text, else what it said; with keep_output, a pair of
    that and its whole output (where the intervals it proved for the goals with ? are)."""
    try:
        # A bound Gappa cannot reach can keep it searching: that is a failure too.
        result = subprocess.run(["gappa", "-Eprecision=250"], input=text, text=True,
                                capture_output=True, timeout=100)
        output = result.stdout + result.stderr
        # Gappa warns where a rewriting assumes a divisor is not zero: the scripts' hypotheses
        # keep every divisor away from zero. Anything unproven ends in an error and status 1.
        # A rewriting hint that is not an identity would make the proof unsound: refused too.
        failed = (result.returncode != 0 or "Error" in output
                  or "not trivially equal" in output)
        problem = (output.strip() or "gappa exited with %d" % result.returncode) if failed else None
    except subprocess.TimeoutExpired:
        problem, output = "gappa found no proof within 100 s", ""
    return (problem, output) if keep_output else problem


F = fractions.Fraction


def dyadic(x, up):
    """x rounded to a multiple of 2^-300, up or down, as Gappa reads it."""
    scaled = x * 2 ** 300
    n = -((-scaled.numerator) // scaled.denominator) if up else scaled.numerator // scaled.denominator
    return "%db-300" % n


def proven_bound(output, expression):
    """The larger magnitude of the interval Gappa proved for expression."""
    number = r"(-?\d+)(?:b(-?\d+))?(?: \{[^}]*\})?"
    match = re.search(re.escape(expression) + r" in \[" + number + ", " + number + r"\]", output)
    ends = [F(int(match.group(i))) * F(2) ** int(match.group(i + 1) or 0) for i in (1, 3)]
    return max(abs(e) for e in ends)


def horner_range(coefficients, low, high):
    """An enclosure of sum_j coefficients[j] X^j for X in [low, high], by interval Horner."""
    lo = hi = coefficients[-1]
    for c in reversed(coefficients[:-1]):
        products = [lo * low, lo * high, hi * low, hi * high]
        lo, hi = min(products) + c, max(products) + c
    return lo, hi


def chained_series(constants, coefficients, x_low, x_high, ez):
    """Runs series_step.gappa from the last term to the first (every term in double-double, the
    last one exact). Returns the proven bound on |q - P| and an enclosure of P, or a problem."""
    with open(os.path.join(HERE, "series_step.gappa")) as f:
        template = f.read()
    values = [F(float.fromhex(h)) + F(float.fromhex(l)) for h, l in coefficients]
    d = F(0)
    for k in range(len(coefficients) - 2, -1, -1):
        p_low, p_high = horner_range(values[k + 1:], x_low, x_high)
        text = substitute(template, dict(
            constants, Ch=coefficients[k][0], Cl=coefficients[k][1], XLo=dyadic(x_low, False),
            XHi=dyadic(x_high, True), PLo=dyadic(p_low, False), PHi=dyadic(p_high, True),
            D=dyadic(d, True), Ez=dyadic(ez, True)))
        problem, output = run_gappa(text, keep_output=True)
        if problem:
            return None, (None, None), "step %d: %s" % (k, problem)
        d = proven_bound(output, "Q0 - P0")
    return d, horner_range(values, x_low, x_high), None


def negated(literal):
    return literal[1:] if literal.startswith("-") else "-" + literal


def signed_coefficients(constants, first, count, stride, alternate):
    result = []
    for k in range(count):
        hi = constants["kInverseFactorial[%d].hi" % (first + stride * k)]
        lo = constants["kInverseFactorial[%d].lo" % (first + stride * k)]
        if alternate and k % 2:
            hi, lo = negated(hi), negated(lo)
        result.append((hi, lo))
    return result


def accurate_sine(constants):
    """The accurate step of the correctly rounded sine, both parities, every term in
    double-double: r within kReductionError, z = dd_mul(r, r), then the chain, then (for the
    sine) dd_mul(r, q). The relative errors combine exactly here."""
    er, em = value(constants, "kReductionError"), value(constants, "kDdMulError")
    ez = max((1 + er) ** 2 * (1 + em) - 1, 1 - (1 - er) ** 2 * (1 - em))
    x_high = F(7861, 10000) ** 2
    worst = F(0)
    for first, terms, name in ((1, "kSineTerms", "sine"), (0, "kCosineTerms", "cosine")):
        coefficients = signed_coefficients(constants, first, int(constants[terms]), 2, True)
        d, (p_low, _), problem = chained_series(constants, coefficients, F(0), x_high, ez)
        if problem:
            return "%s: %s" % (name, problem)
        relative = d / p_low
        if first == 1:  # y = dd_mul(r, q), r within er
            relative = max((1 + er) * (1 + em) * (1 + relative) - 1,
                           1 - (1 - er) * (1 - em) * (1 - relative))
        worst = max(worst, relative)
    claimed = value(constants, "kAccurateEvaluationError")
    if claimed < worst:
        return "kAccurateEvaluationError = %s is below the proven %r" % (
            constants["kAccurateEvaluationError"], float(worst))
    return None


accurate_sine.tools = ["gappa"]


def pi_fraction(bits):
    """pi within 2^-bits, as a fraction (Machin's formula in integers)."""
    scale = 1 << (bits + 16)

    def atan_inverse(n):  # each term truncates by under one unit of the scale
        total, term, k, sign = 0, scale // n, 1, 1
        while term:
            total += sign * (term // k)
            term //= n * n
            k += 2
            sign = -sign
        return total
    return fractions.Fraction(16 * atan_inverse(5) - 4 * atan_inverse(239), scale)


def smallest_reduced(constants):
    """No double 0.78 <= x <= 2^42 lies within kSmallestReduced of a non-zero multiple of pi/2.
    For x = m 2^e (2^52 <= m < 2^53), x - k pi/2 = (pi/2)(m a - k) with a = 2^e 2/pi, and
    ||m a|| >= ||q a|| for every m below the first continued-fraction denominator of a past q
    (best approximations), q the last one below 2^53. pi is known to 2^-600: that moves ||q a||
    by under 2^-500, taken off."""
    pi = pi_fraction(600)
    least = None
    for e in range(-53, -9):
        alpha = fractions.Fraction(2) ** e * 2 / pi
        x, p0, p1, q0, q1 = alpha, 0, 1, 1, 0
        best = None
        while True:
            a = x.numerator // x.denominator
            p0, p1, q0, q1 = p1, a * p1 + p0, q1, a * q1 + q0
            if q1 >= 2 ** 53:
                break
            best = abs(q1 * alpha - p1)
            if x == a:
                break
            x = 1 / (x - a)
        distance = (best - fractions.Fraction(1, 2 ** 500)) * pi / 2
        least = distance if least is None else min(least, distance)
    if value(constants, "kSmallestReduced") > least:
        return "kSmallestReduced = %s exceeds the least distance %r" % (
            constants["kSmallestReduced"], float(least))
    return None


smallest_reduced.tools = []


def pi_parts(constants):
    """The parts of pi/2 leave what the reduction proofs assume they leave (a hypothesis there:
    a wrong part would make it contradict the decimal pi/2 and the proof vacuous)."""
    rest = pi_fraction(600) / 2
    wrong = []
    for names, bound in ((["kHalfPi1", "kHalfPi2", "kHalfPi3", "kHalfPi4"], 217),
                         (["kPhaseHalfPi1", "kPhaseHalfPi2", "kPhaseHalfPi3"], 159)):
        left = rest - sum(value(constants, name) for name in names)
        if abs(left) >= F(1, 2 ** bound):
            wrong.append("%s leave %r, not under 2^-%d" % (" + ".join(names), float(left), bound))
    return "\n".join(wrong) or None


pi_parts.tools = []


def binades(low, high):
    """The variants that cover r in [2^low, 2^high], a binade at a time, and the same negated."""
    variants = []
    for e in range(low, high):
        variants.append({"Low": "1b%d" % e, "High": "1b%d" % (e + 1)})
        variants.append({"Low": "-1b%d" % (e + 1), "High": "-1b%d" % e})
    return variants


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

def series_errors(constants):
    """series_truncation.sollya's bounds, by name, or a problem."""
    with open(os.path.join(HERE, "series_truncation.sollya")) as f:
        text = substitute(f.read(), constants)
    result = subprocess.run(["sollya"], input=text, text=True, capture_output=True)
    bounds = dict(re.findall(r"^(\w+) (\S+)$", result.stdout, re.M))
    if result.returncode != 0 or len(bounds) != 5:
        return None, "sollya failed:\n" + result.stdout + result.stderr
    return {name: F(float.fromhex(bound)) for name, bound in bounds.items()}, None


def series(constants):
    bounds, problem = series_errors(constants)
    if problem:
        return problem
    wrong = []
    for constant, names in (("kSeriesError", ("sine", "cosine", "exponential")),
                            ("kBlockSeriesError", ("blocksine", "blockcosine"))):
        worst = max(bounds[name] for name in names)
        if value(constants, constant) < worst:
            wrong.append("%s = %s is below the proven %r" % (constant, constants[constant],
                                                            float(worst)))
    return "\n".join(wrong) or None


series.tools = ["sollya"]


def decides(bound, error):
    """Whether decided(y, bound) is sound for a y within the relative error of the exact value:
    it accepts y when y.hi + (y.lo -+ e), e = RN(|y.hi| bound), round alike, which puts every real
    within e less those two roundings (2^-106 |y| + 2^-53 e) on the same side; e itself is at
    least |y| bound (1 - 2^-52)."""
    reach = error / (1 - error) + F(1, 2 ** 106)
    return bound * (1 - F(1, 2 ** 52)) * (1 - F(1, 2 ** 53)) >= reach


def rounding_tests(constants):
    """The rounding tests' bounds cover the proven errors: the series' and the evaluation's."""
    wrong = []
    for bound, evaluation, series_error in (
            ("kQuickBound", "kQuickEvaluationError", "kSeriesError"),
            ("kBlockQuickBound", "kBlockQuickEvaluationError", "kBlockSeriesError"),
            ("kAccurateBound", "kAccurateEvaluationError", "kSeriesError")):
        error = (1 + value(constants, evaluation)) * (1 + value(constants, series_error)) - 1
        if not decides(value(constants, bound), error):
            wrong.append("%s = %s does not cover %s and %s" % (
                bound, constants[bound], evaluation, series_error))
    return "\n".join(wrong) or None


rounding_tests.tools = []

def pow10_binades():
    """x from 2^-56 to 22, both signs: below 2^-3, where k = 0 and the code's r is t itself, at
    once; above, a binade at a time."""
    small = ("k in [0, 0] /\\ r0 in [-0.35, 0.35] "
             "/\\ r0 - R0 in [-@kPow10ReductionError@, @kPow10ReductionError@]")
    large = ("rv in [-0.35, 0.35] /\\ s - (Th - ph) in [0, 0] "
             "/\\ rv - R in [-@kPow10ReductionError@, @kPow10ReductionError@]")
    ranges = [("1b-56", "1b-3", small)]
    ranges += [("1b%d" % e, "22" if e == 4 else "1b%d" % (e + 1), large) for e in range(-3, 5)]
    variants = []
    for low, high, goals in ranges:
        variants.append({"Low": low, "High": high, "Goals": goals})
        variants.append({"Low": "-" + high, "High": "-" + low, "Goals": goals})
    return variants


def pow10_series(constants):
    """The power of ten's series, every term in double-double at r (|r| <= 0.35), by the chain;
    with the series' own error and r's (reduction_pow10.gappa) it must fit kPow10Bound."""
    coefficients = signed_coefficients(constants, 0, int(constants["kExpTerms"]), 1, False)
    d, (p_low, _), problem = chained_series(constants, coefficients, F(-35, 100), F(35, 100), F(0))
    if problem:
        return problem
    bounds, problem = series_errors(constants)
    if problem:
        return problem
    delta = value(constants, "kPow10ReductionError")  # e^r = e^R e^(r - R)
    error = ((1 + d / p_low) * (1 + bounds["exponential"]) * (1 + 2 * delta)) - 1
    if not decides(value(constants, "kPow10Bound"), error):
        return "kPow10Bound = %s does not cover the proven %r" % (constants["kPow10Bound"],
                                                                   float(error))
    return None


pow10_series.tools = ["gappa", "sollya"]

def lfo_check(constants):
    """The check of a frame whose LFO argument came from a fast modulator sine. With s the block
    sine of af (within E of sin af), Sr = sin ar, c = RN(Sr), v = RN(s G), w = RN(c G):
      |v - w| <= |v - s G| + G |s - sin af| + G |sin af - Sr| + G |Sr - c| + |c G - w|
              <= G (E + 2^-54 + 2^-53 (2 + E)) + G phi Rg |Y| (+ 2^-1074 where a product is
                 subnormal),
    the sine being 1-Lipschitz and |Y| <= kLfoArgumentError (lfo_argument.gappa). The check
    allows RN(RN(G M) + RN(RN(RN(G K) Rg) |phi|)) >= G M (1 - u)^2 + G K Rg |phi| (1 - u)^4,
    u = 2^-53. So M (1 - u)^2 must cover the first part, with room for the subnormal term
    (G M >= 0.7 M), and K (1 - u)^4 the second."""
    u = F(1, 2 ** 53)
    wrong = []
    k = value(constants, "kLfoArgumentMargin")
    if k * (1 - u) ** 4 < value(constants, "kLfoArgumentError"):
        wrong.append("kLfoArgumentMargin does not cover kLfoArgumentError")
    for margin, sine in (("kShortSampleMargin", "kShortSineError"),
                         ("kNarrowSampleMargin", "kNarrowSineError")):
        e = value(constants, sine)
        need = e + F(1, 2 ** 54) + u * (2 + e) + F(1, 2 ** 1000)
        if value(constants, margin) * (1 - u) ** 2 < need:
            wrong.append("%s does not cover %s with the LFO's roundings" % (margin, sine))
    return "\n".join(wrong) or None


lfo_check.tools = []

PROOFS = {
    "DoubleDoubleProduct": gappa("dd_mul.gappa"),
    "DoubleDoubleSum": gappa("dd_add.gappa"),
    "SmallestReduced": smallest_reduced,
    "PiParts": pi_parts,
    "ReductionScalar": gappa("reduction_scalar.gappa", variants=binades(-61, 0)),
    "ReductionPhase": gappa("reduction_phase.gappa", variants=binades(-61, 0)),
    "SineQuickEven": gappa("series_sine_quick.gappa", variants=({"Low": "1b-61", "High": "0.7861"},)),
    "SineQuickOdd": gappa("series_cosine_quick.gappa", variants=({"Low": "0", "High": "0.7861"},)),
    "SineBlockQuickEven": gappa("series_sine_block.gappa",
                                variants=({"Low": "1b-61", "High": "0.7861", "Product": "rnd"},
                                          {"Low": "1b-61", "High": "0.7861", "Product": ""})),
    "SineBlockQuickOdd": gappa("series_cosine_block.gappa",
                               variants=({"Low": "0", "High": "0.7861", "Product": "rnd"},
                                         {"Low": "0", "High": "0.7861", "Product": ""})),
    "SineAccurate": accurate_sine,
    "SeriesTruncation": series,
    "SineRoundingTests": rounding_tests,
    "ReductionPow10": gappa("reduction_pow10.gappa", variants=pow10_binades()),
    "Pow10Series": pow10_series,
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
    "LfoArgument": gappa("lfo_argument.gappa"),
    "LfoCheck": lfo_check,
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

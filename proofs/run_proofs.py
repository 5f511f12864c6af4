#!/usr/bin/env python3
"""Runs the proofs of the error bounds the code relies on, with the constants read from the code.

    python3 proofs/run_proofs.py [NAME ...]     (no name: all of them; --list names them)
    python3 proofs/run_proofs.py --coq NAME ... (--list-coq names them)

Each Gappa and Sollya script refers to the code's constants as @name@ (or @name[i]@ for an
array's element); they are read from the sources listed in SOURCES, so a changed coefficient or
a lowered bound is proven anew or fails. block_sines.sollya must print exactly the committed
header. Where bounds combine (sums, products of relative errors, the rounding tests' own
margins), that is checked here in exact rational arithmetic. With --coq, Gappa's answer is not
taken on trust: each of its proofs is also written as a Coq certificate and checked by coqc with
the Gappa and Flocq libraries; and the proofs that are Coq's alone are checked too:
exact_transformations.v (the error-free transformations the scripts take as exact) and
phase_steps.v (the phase runs' facts). Exits 0 when everything is proven, 1 when anything is
not, and 77 (a skip, for CTest) when a tool is missing.
"""
import fractions
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # the proofs leave nothing behind in the source tree
import gappa_model  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SOURCES = ["src/math/double_double.hpp", "src/math/sine_steps.hpp", "src/math/exact_math.hpp",
           "src/math/exact_math.cpp", "src/math/multi_precision.cpp",
           "src/wave/fast_sine.hpp", "src/wave/fast_sine.cpp", "src/wave/sine_polynomials.hpp",
           "src/wave/synth.hpp", "src/wave/synth.cpp", "src/app/settings.hpp",
           "src/cli/option_ranges.hpp"]
HEADER = "src/wave/sine_polynomials.hpp"
SKIP = 77
PACKAGES = {"gappa": "gappa", "sollya": "sollya", "coqc": "coq libcoq-gappa libcoq-flocq"}
coq = False  # --coq: every Gappa proof is also checked by Coq
certificates = []  # --coq: those of the proof being run, checked together when it ends
proven = set()  # the statements proven so far (variants may coincide: two sines' bounds)


def read_constants():
    """Every `constexpr double`, `float` or `int NAME = LITERAL;`, every element of a `constexpr double
    NAME[] = {...};` as NAME[i], and of a `constexpr DD NAME[]` as NAME[i].hi and NAME[i].lo."""
    constants = {}
    for source in SOURCES:
        with open(os.path.join(ROOT, source)) as f:
            text = f.read()
        for name, value in re.findall(
                r"constexpr (?:double|float|int|int32_t|uint32_t) (\w+) = ([-+0-9a-fA-Fx.p]+?)f?;", text):
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


def literal(text):
    """A C++ floating literal's value: hexadecimal or decimal (22.0 is not 0x22)."""
    return float.fromhex(text) if "0x" in text.lower() else float(text)


def value(constants, name):
    return fractions.Fraction(literal(constants[name]))


def substitute(text, constants):
    def one(match):
        name = match.group(1)
        if name not in constants:
            raise SystemExit("no constant %s in %s" % (name, ", ".join(SOURCES)))
        return constants[name]
    return re.sub(r"@([A-Za-z_]\w*(?:\[\d+\](?:\.hi|\.lo)?)?)@", one, text)


def gappa(script, variants=({},)):
    """A Gappa script (a file here, or a function making its text from the constants), run once
    for each variant (a dict of names and the literal text they stand for; or a function making
    the list from the constants)."""
    def run(constants):
        if callable(script):
            template = script(constants)
        else:
            with open(os.path.join(HERE, script)) as f:
                template = f.read()
        for variant in variants(constants) if callable(variants) else variants:
            # The variant first: its text may name constants of the code in turn.
            text = substitute(template, dict({k: "@%s@" % k for k in constants}, **variant))
            problem = run_gappa(without_aliases(substitute(text, constants)))
            if problem:
                return "%s with %s:\n%s" % (script, variant, problem) if variant else problem
        return None
    run.tools = ["gappa"]
    return run


def quick_series(odd, terms, dd_terms, reduction_error, evaluation_error):
    """The script of a quick step (series() in src/math/sine_steps.hpp) of sine_of_quadrant,
    made from the code's term counts: sin r = r T(r^2) for an even quadrant (odd false), cos r =
    C(r^2) for an odd one, the first dd_terms terms in double-double and the rest in doubles.
    Proves the relative error against the same series taken exactly at the exact R, with r
    within reduction_error of R and each double-double step within its lemma's bound (m for
    dd_mul, a for dd_add: dd_mul.gappa and dd_add.gappa), and that no dd_add cancels (its
    operands' ratio within 1/2, the condition dd_add's proof assumes). The series' own error is
    series_truncation.sollya's. The terms in doubles are each rounded twice, or once where
    Product is empty (a fused multiply-add). Low and High bound R; every step is symmetric."""
    def template(constants):
        n, d = int(constants[terms]), int(constants[dd_terms])
        last = n - 1
        lines = ["@rnd = float<ieee_64, ne>;"]
        for k in range(n):
            for part, field in (("h", "hi"), ("l", "lo")):
                lines.append("c%d%s = %s@kInverseFactorial[%d].%s@;" % (
                    k, part, "-" if k % 2 else "", (0 if odd else 1) + 2 * k, field))
        lines += ["r = R * (1 + er);", "R2 = R * R;", "Z = (r * r) * (1 + ez);", "zh = rnd(Z);",
                  "P%d = c%dh + c%dl;" % (last, last, last)]
        lines += ["P%d = (c%dh + c%dl) + R2 * P%d;" % (k, k, k, k + 1)
                  for k in range(last - 1, -1, -1)]
        lines.append("t%d = c%dh;" % (last, last))
        lines += ["t%d = rnd(@Product@(t%d * zh) + c%dh);" % (k, k + 1, k)
                  for k in range(last - 1, d - 1, -1)]
        lines.append("Q%d = t%d;" % (d, d))
        lines += ["Q%d = (Q%d * Z * (1 + m%d) + (c%dh + c%dl)) * (1 + a%d);" % (
            k, k + 1, k, k, k, k) for k in range(d - 1, -1, -1)]
        lines += ["Y = Q0;", "Yexact = P0;"] if odd else ["Y = r * Q0 * (1 + my);",
                                                          "Yexact = R * P0;"]
        hypotheses = ["R in [@Low@, @High@]", "R in [0, @kQuadrantReach@]",
                      "er in [-@%s@, @%s@]" % (reduction_error, reduction_error),
                      "ez in [-@kDdMulError@, @kDdMulError@]"]
        for k in range(d - 1, -1, -1):
            hypotheses += ["m%d in [-@kDdMulError@, @kDdMulError@]" % k,
                           "a%d in [-@kDdAddError@, @kDdAddError@]" % k]
        if not odd:
            hypotheses.append("my in [-@kDdMulError@, @kDdMulError@]")
        goals = ["(Y - Yexact) / Yexact in [-@%s@, @%s@]" % (evaluation_error, evaluation_error)]
        goals += ["(Q%d * Z * (1 + m%d)) / (c%dh + c%dl) in [-0.5, 0.5]" % (k + 1, k, k, k)
                  for k in range(d - 1, -1, -1)]
        lines.append("{ %s\n  -> %s }" % ("\n  /\\ ".join(hypotheses), "\n  /\\ ".join(goals)))
        # Hints: each step's error as its own rounding plus the error it inherits, scaled.
        for k in range(d - 1, -1, -1):
            lines.append("Q%d - P%d -> a%d * (Q%d * Z * (1 + m%d) + (c%dh + c%dl)) + (Q%d - P%d) "
                         "* Z * (1 + m%d) + P%d * (Z * (1 + m%d) - R2);" % (
                             k, k, k, k + 1, k, k, k, k + 1, k + 1, k, k + 1, k))
            lines.append("Z * (1 + m%d) - R2 -> R2 * ((1 + er) * (1 + er) * (1 + ez) * (1 + m%d) "
                         "- 1);" % (k, k))
        lines.append("zh - R2 -> (zh - Z) + R2 * ((1 + er) * (1 + er) * (1 + ez) - 1);")
        lines += ["t%d - P%d -> (t%d - (t%d * zh + c%dh)) + (t%d - P%d) * zh + P%d * (zh - R2) - "
                  "c%dl;" % (k, k, k, k + 1, k, k + 1, k + 1, k + 1, k)
                  for k in range(last - 1, d - 1, -1)]
        lines.append("t%d - P%d -> -c%dl;" % (last, last, last))
        if not odd:
            lines.append("(Y - Yexact) / Yexact -> (1 + er) * (1 + my) * (1 + (Q0 - P0) / P0) - 1"
                         " { R <> 0, P0 <> 0 };")
        zero_lows = ["c%dl" % k for k in range(n) if literal(constants[
            "kInverseFactorial[%d].lo" % ((0 if odd else 1) + 2 * k)]) == 0]
        return without_aliases("\n".join(lines) + "\n", zero_lows)
    return template


def without_aliases(text, zeros=()):
    """text with each definition that only names another (a = b;), and each of zeros, put in
    place of its name: Gappa would merge the two and warn of a renaming."""
    for name in zeros:
        text = re.sub(r"^%s = .*\n" % name, "", text, flags=re.M)
        text = re.sub(r"\b%s\b" % name, "0", text)
    for alias, name in re.findall(r"^(\w+) = (\w+);$", text, flags=re.M):
        text = re.sub(r"^%s = %s;\n" % (alias, name), "", text, flags=re.M)
        text = re.sub(r"\b%s\b" % alias, name, text)
    return text


def run_gappa(text, keep_output=False):
    """None when Gappa proves every goal of text, else what it said; with keep_output, a pair of
    that and its whole output (where the intervals it proved for the goals with ? are).
    Before that, the hypotheses that hold of constants alone are checked in exact arithmetic,
    and the hypotheses must not contradict each other: Gappa would then prove anything. Where
    that is not settled in exact arithmetic, the script is also run as it is, its splits and
    options kept, with a false goal in place of its own, which must fail. (A single branch of a
    split may contradict the hypotheses and be sound: no input lies there, as R below 2^-60 for a
    phase below 8.)"""
    if text in proven and not keep_output:
        return None
    script = gappa_model.Script(text)
    problem, settled = exact_hypotheses(script)
    # The false goal in the run as it is, its splits and Gappa's own kept: a contradiction that
    # only splitting shows is found the way the proof would find it.
    if problem is None and not settled and gappa_answer(
            script.with_goal("1 in [2, 3]"), strict=False)[0] is None:
        problem = "the hypotheses contradict each other (a false goal is proven)"
    if problem:
        return (problem, "") if keep_output else problem
    problem, output = gappa_answer(text)
    if problem is None and coq:
        problem = certificate(text, output)
    if problem is None:
        proven.add(text)
    return (problem, output) if keep_output else problem


def certificate(text, output):
    """Writes Gappa's proof of text as a Coq certificate, to be checked with the proof's others;
    None, or what went wrong. A goal whose interval Gappa was asked for (`in ?`) is certified
    with the interval it proved, the one the runner goes on with."""
    def proven(match):
        found = re.search(re.escape(match.group(1).strip()) + r" in (\[[^]]*\])", output)
        return "%s in %s" % (match.group(1), re.sub(r" \{[^}]*\}", "", found.group(1)))
    text = re.sub(r"(?<=[>\\] )([^{}?>\\]*?) in \?", proven, text)
    result = subprocess.run(["gappa", "-Eprecision=250", "-Bcoq"], input=text, text=True,
                            capture_output=True, timeout=300)
    if result.returncode != 0 or "Error" in result.stderr:
        return "gappa wrote no certificate:\n" + result.stderr
    # Gappa names every subterm by a notation, which Coq expands into a tree that doubles with
    # each level of sharing (the reductions' chained lows take minutes, a local `Let` as long
    # when the section closes); a definition keeps it shared and means the same, so the kernel
    # checks the same statements.
    body = re.sub(r"^Notation (\w+) := (.*)\.$", r"Definition \1 := \2.", result.stdout,
                  flags=re.M)
    certificates.append(body.replace(GAPPA_LIBRARY, ""))
    return None


GAPPA_LIBRARY = "Require Import Gappa.Gappa_library.\n"


def check_certificates():
    """Checks the certificates written so far in one run of coqc (each in a module of its own:
    they reuse names), and forgets them."""
    source = GAPPA_LIBRARY + "".join("Module Certificate%d.\n%sEnd Certificate%d.\n" % (
        i, body, i) for i, body in enumerate(certificates))
    del certificates[:]
    return coq_check(source)


def coq_check(source):
    """None when coqc accepts source, which must prove everything it states."""
    if re.search(r"\b(Admitted|admit|Axiom|Parameter)\b", source):
        return "the Coq source leaves something unproven"
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "checked.v"), "w") as f:
            f.write(source)
        result = subprocess.run(["coqc", "-q", "checked.v"], cwd=folder, text=True,
                                capture_output=True)
    if result.returncode != 0:
        return "coqc rejected it:\n" + (result.stdout + result.stderr)[-3000:]
    return None


def gappa_answer(text, options=(), strict=True):
    try:
        # A bound Gappa cannot reach can keep it searching: that is a failure too.
        result = subprocess.run(["gappa", "-Eprecision=250", *options], input=text, text=True,
                                capture_output=True, timeout=100)
        output = result.stdout + result.stderr
        # Anything unproven ends in an error and status 1. Every warning is refused too: a hint
        # whose divisor is only assumed nonzero becomes a hypothesis of the certificate, so each
        # hint names its divisors ({ d <> 0 }) and Gappa proves them where it applies it; the
        # others (a hint not needed or not an identity, a split that finds nothing, a search cut
        # short) mean the script is not the proof it reads as. A false goal may warn freely.
        failed = (result.returncode != 0 or "Error" in output
                  or (strict and "Warning" in output))
        problem = (output.strip() or "gappa exited with %d" % result.returncode) if failed else None
    except subprocess.TimeoutExpired:
        problem, output = "gappa found no proof within 100 s", ""
    return problem, output


def exact_hypotheses(script):
    """Checks in exact arithmetic what it can of the hypotheses: those on constants and the
    named reals alone must hold of the true reals (known to 2^-590); those that bound a free
    variable, or its rounding rnd(v_), must leave it a range (holding a double, for a
    rounding). Returns what is wrong, or None, and whether every hypothesis was of those kinds:
    then the true reals and any point of the ranges satisfy them all at once, and they cannot
    contradict each other."""
    known = dict(REALS)
    defined = {name for name, _ in script.definitions}
    rounded = set()
    for name, node in script.definitions:
        if gappa_model.names_in(node) <= set(known):
            known[name] = gappa_model.evaluate(node, known)
        elif node[:2] == ("call", "rnd") and node[2][0] == "name" and node[2][1] not in defined:
            rounded.add(name)
    ranges, settled = {}, True
    for node, low, high, text in script.hypotheses:
        low, high = gappa_model.evaluate(low, {}), gappa_model.evaluate(high, {})
        if gappa_model.names_in(node) <= set(known):
            x = gappa_model.evaluate(node, known)
            margin = F(1, 2 ** 500)
            if not low + margin <= x <= high - margin:
                return "a hypothesis on constants is false: %s (it is %r)" % (text, float(x)), True
        elif node[0] == "name" and (node[1] in rounded or node[1] not in defined):
            before = ranges.get(node[1], (low, high))
            ranges[node[1]] = (max(before[0], low), min(before[1], high))
        else:
            settled = False
    for name, (low, high) in ranges.items():
        if name in rounded:
            least = float(low)
            low = F(least if least >= low else math.nextafter(least, math.inf))
        if low > high:
            return "the hypotheses leave %s no value" % name, True
    return None, settled


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
    values = [F(literal(h)) + F(literal(l)) for h, l in coefficients]
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
    x_high = value(constants, "kQuadrantReach") ** 2
    worst = F(0)
    for first, terms, name in ((1, "kSineTerms", "sine"), (0, "kCosineTerms", "cosine")):
        coefficients = signed_coefficients(constants, first, int(constants[terms]), 2, True)
        d, (p_low, _), problem = chained_series(constants, coefficients, F(0), x_high, ez)
        if problem:
            return "%s: %s" % (name, problem)
        if p_low <= 0:  # the relative error below needs the series away from 0
            return "%s: the series may reach 0 (down to %r)" % (name, float(p_low))
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


def atanh_inverse_fraction(n, bits):
    """atanh(1/n) within 2^-bits: the sum of 1 / ((2k + 1) n^(2k + 1)), each term truncated by
    under one unit of the scale, the tail below one unit too."""
    scale = 1 << (bits + 16)
    total, power, k = 0, scale // n, 1
    while power:
        total += power // k
        power //= n * n
        k += 2
    return fractions.Fraction(total, scale)


def reals(bits=600):
    """The reals the scripts name by a decimal interval, each within 2^-(bits - 4):
    ln 2 = 2 atanh(1/3), ln 10 = 3 ln 2 + ln(5/4) = 3 ln 2 + 2 atanh(1/9)."""
    pi = pi_fraction(bits)
    ln2 = 2 * atanh_inverse_fraction(3, bits)
    return {"Pi": pi, "P2": pi / 2, "LN2": ln2,
            "LN10": 3 * ln2 + 2 * atanh_inverse_fraction(9, bits)}


REALS = reals()


def smallest_reduced(constants):
    """No double 0.78 <= x <= 2^42 lies within kSmallestReduced of a non-zero multiple of pi/2.
    For x = m 2^e (2^52 <= m < 2^53), x - k pi/2 = (pi/2)(m a - k) with a = 2^e 2/pi, and
    ||m a|| >= ||q a|| for every m below the first continued-fraction denominator of a past q
    (best approximations), q the last one below 2^53. pi is known to 2^-600: that moves ||q a||
    by under 2^-500, taken off."""
    pi = REALS["Pi"]
    least = None
    for e in range(-53, exponent(constants, "kExactSineLimit") - 51):
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
    rest = REALS["P2"]
    wrong = []
    for names, bound in ((["kHalfPi1", "kHalfPi2", "kHalfPi3", "kHalfPi4"], 217),
                         (["kPhaseHalfPi1", "kPhaseHalfPi2", "kPhaseHalfPi3"], 159)):
        left = rest - sum(value(constants, name) for name in names)
        if abs(left) >= F(1, 2 ** bound):
            wrong.append("%s leave %r, not under 2^-%d" % (" + ".join(names), float(left), bound))
    return "\n".join(wrong) or None


pi_parts.tools = []


def exponent(constants, name):
    """The binade of a positive constant: e with 2^e <= it < 2^(e + 1)."""
    return math.frexp(literal(constants[name]))[1] - 1


def splits(constants, name, low):
    """Gappa's split points for a range of x from 2^low up to the constant, at every power of
    two: where the spacing of the doubles changes."""
    return ", ".join("0x1p%d" % e for e in range(low, exponent(constants, name) + 1)
                     if 2.0 ** e < literal(constants[name]))


def signed_splits(constants, name, low):
    """The same on both sides of 0, for a range of x from minus the constant up to it."""
    points = splits(constants, name, low).split(", ")
    return ", ".join(["-" + p for p in reversed(points)] + ["0"] + points)


def reach(script):
    """script's statement of r's reach alone, without the hypothesis on R's range: that no
    argument leaves |R| > 1, outside every range the script is run for."""
    def template(constants):
        with open(os.path.join(HERE, script)) as f:
            text = f.read()
        text = re.sub(r"#[^\n]*", "", text).replace("/\\ R in [@Low@, @High@]", "").replace(
            "(r - R) / R $ R in (@Points@);", "")
        return re.sub(r"->[^{}]*\}", "-> R in [-@kQuadrantReach@, @kQuadrantReach@] }", text,
                      count=1)
    return template


def least(constants):
    """Below the least reduced argument but those of k = 0 (which are at least 2^-26)."""
    return "1b%d" % exponent(constants, "kSmallestReduced")


def reduced_ranges(constants, **names):
    """Two variants, r from the least reduced argument (kSmallestReduced) to 1 and the same
    negated, each split at every power of two (Points, in increasing order: the relative error
    needs r away from 0), with names filled in as each variant's Splits."""
    extra = {key: splits(constants, *value) for key, value in names.items()}
    low = exponent(constants, "kSmallestReduced")
    points = ["1b%d" % e for e in range(low + 1, 0)]
    return [dict(Low="1b%d" % low, High="1", Points=", ".join(points), **extra),
            dict(Low="-1", High="-1b%d" % low, Points=", ".join("-" + p for p in reversed(points)),
                 **extra)]


def polynomials(constants):
    result = subprocess.run(["sollya", os.path.join(HERE, "block_sines.sollya")], text=True,
                            capture_output=True)
    with open(os.path.join(ROOT, HEADER)) as f:
        committed = f.read()
    if result.returncode != 0 or result.stdout != committed:
        return "%s is not what block_sines.sollya prints (rerun: sollya %s > %s)\n%s" % (
            HEADER, "proofs/block_sines.sollya", HEADER, result.stderr)
    # Every reduced argument lies within the polynomials' interval, R = pi/2 (1 + 2^-e).
    with open(os.path.join(HERE, "block_sines.sollya")) as f:
        e = int(re.search(r"^R = pi/2 \* \(1 \+ 2\^-(\d+)\);", f.read(), re.M).group(1))
    if value(constants, "kBlockReach") > REALS["P2"] * (1 + F(1, 2 ** e)):
        return "kBlockReach = %s lies beyond the polynomials' interval" % constants["kBlockReach"]
    return None


polynomials.tools = ["sollya"]


def sums(constants):
    """Each block sine's bound covers its reduction, evaluation and approximation errors (and a
    kept modulator sine's, the distance its phase may have moved: the sine is 1-Lipschitz)."""
    parts = {
        "kWideSineError": ["kWideReductionError", "kLongEvaluationError",
                           "kLongApproximationError"],
        "kNarrowSineError": ["kNarrowReductionError", "kLongEvaluationError",
                             "kLongApproximationError"],
        "kShortSineError": ["kNarrowReductionError", "kShortEvaluationError",
                            "kShortApproximationError"],
        "kSingleSineError": ["kSingleReductionError", "kSingleEvaluationError",
                             "kSingleApproximationError"],
        "kSingleLfoSineError": ["kSingleLfoReductionError", "kSingleEvaluationError",
                                "kSingleApproximationError"],
        # a kept modulator sine: the short sine's error and how far its phase may have moved
        "kKeptModulatorError": ["kShortSineError", "kModulatorRecallReach"],
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
        text = substitute(f.read(), dict(constants, LeastReduced=least(constants)))
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


# decided(y, bound) in src/math/sine_steps.hpp as decides() below reasons about it, operation for
# operation (m_ = |y.hi|): it accepts y where the two ends round alike. models_as_code.py holds
# the code to it.
DECIDED = """@rnd = float<ieee_64, ne>;
e = rnd(m_ * bound_);
down = rnd(yh_ + rnd(yl_ - e));
up = rnd(yh_ + rnd(yl_ + e));
"""


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

def pow10_binades(constants):
    """x from kPow10RoundsToOne to kExactPow10Limit, both signs: below 2^-3, where k = 0 and the
    code's r is t itself, at once; above, at once too, split at every binade."""
    small = ("k in [0, 0] /\\ r0 in [-@kPow10Reach@, @kPow10Reach@] "
             "/\\ r0 - R0 in [-@kPow10ReductionError@, @kPow10ReductionError@]")
    large = ("rv in [-@kPow10Reach@, @kPow10Reach@] /\\ s - (Th - ph) in [0, 0] "
             "/\\ rv - R in [-@kPow10ReductionError@, @kPow10ReductionError@]")
    limit = constants["kExactPow10Limit"]
    points = ["1b%d" % e for e in range(-2, exponent(constants, "kExactPow10Limit") + 1)]
    variants = []
    for sign, order in (("", points), ("-", list(reversed(points)))):
        split = "rv - R $ x in (%s);" % ", ".join(sign + p for p in order)
        for low, high, goals, splits in ((constants["kPow10RoundsToOne"], "1b-3", small, ""),
                                          ("1b-3", limit, large, split)):
            low, high = (low, high) if not sign else ("-" + high, "-" + low)
            variants.append({"Low": low, "High": high, "Goals": goals, "Split": splits})
    return variants


def pow10_series(constants):
    """The power of ten's series, every term in double-double at r (|r| <= kPow10Reach), by the chain;
    with the series' own error and r's (reduction_pow10.gappa) it must fit kPow10Bound."""
    coefficients = signed_coefficients(constants, 0, int(constants["kExpTerms"]), 1, False)
    d, (p_low, _), problem = chained_series(constants, coefficients, -value(constants, "kPow10Reach"),
                                               value(constants, "kPow10Reach"), F(0))
    if problem:
        return problem
    if p_low <= 0:
        return "the series may reach 0 (down to %r)" % float(p_low)
    bounds, problem = series_errors(constants)
    if problem:
        return problem
    # The last step ends only where 10^x is not a midpoint between doubles: for an integer
    # 0 <= x <= the limit, 10^x must be a double itself (5^x below 2^53). A midpoint is
    # dyadic, which 10^-n is not, and 10^x is irrational for every other x.
    if 5 ** int(value(constants, "kExactPow10Limit")) >= 2 ** 53:
        return "kExactPow10Limit reaches a power of ten that may be a midpoint"
    # Below kPow10RoundsToOne, |10^x - 1| < |x| ln 10 (1 + 2^-50) stays under 2^-54, half the
    # spacing of the doubles below 1: the code returns 1.
    if value(constants, "kPow10RoundsToOne") * REALS["LN10"] * (1 + F(1, 2 ** 50)) >= F(1, 2 ** 54):
        return "kPow10RoundsToOne is too large for 10^x to round to 1 below it"
    delta = value(constants, "kPow10ReductionError")  # e^r = e^R e^(r - R)
    error = ((1 + d / p_low) * (1 + bounds["exponential"]) * (1 + 2 * delta)) - 1
    if not decides(value(constants, "kPow10Bound"), error):
        return "kPow10Bound = %s does not cover the proven %r" % (constants["kPow10Bound"],
                                                                   float(error))
    return None


pow10_series.tools = ["gappa", "sollya"]

def last_step(constants):
    """The fixed-point last step's error bounds (src/math/multi_precision.cpp), derived again in
    exact arithmetic from the code's named constants: the limits, the guard words its constants
    are kept to, the range of rho and the errors it reports, 5 (N + extra) ulps for N terms. An ulp
    is 2^(-32 n) at n words; every bound below holds for n >= 1 unless it names n. A term is
    trunc(trunc(t z) / d) from the one before: with t within e of the true T and z within e_z,
    t z - T Z = (t - T) z + T (z - Z), so its error is (e z + T e_z + 1) / d + 1. The sums are
    exact; the series stops at the first term that truncates to zero, whose true value is then
    within its own error, and so the tail: alternating, or geometric with a ratio below rho."""
    first_words = int(constants["kFirstLastStepWords"])
    def words(table):
        return int(constants["k%sGuardWords" % table[1:]])
    def reported(function):
        return int(constants["k%sErrorExtraTerms" % {"sine_or_cosine": "Sine",
                                                      "exponential": "Exponential"}[function]])
    wrong = []
    def check(claim, holds):
        if not holds:
            wrong.append(claim)
    pi2 = REALS["P2"]
    # The sine. y = |x| 2/pi: 2/pi truncated after n + w words, times m < 2^53 with m 2^e below
    # 2^(E + 1), E the limit's binade; then the last truncation.
    top = exponent(constants, "kExactSineLimit") + 1
    y = 1 + F(2) ** (top - 32 * words("kTwoOverPi"))
    # The side of the nearest multiple of pi/2 is right when y's error is below the least
    # fraction f = |x - k pi/2| / (pi/2) of any double (the first precision tried decides it).
    check("y's error may put x on the wrong side of a multiple of pi/2",
          y * F(2) ** (-32 * first_words) < value(constants, "kSmallestReduced") / pi2)
    # theta = g pi/2, g = min(f, 1 - f) <= 1/2 + y ulps; pi/2 truncated (below 1 ulp).
    theta_max = (F(1, 2) + y * F(2) ** -32) * pi2
    theta = y * pi2 + (F(1, 2) + y * F(2) ** -32) + 1
    z = 2 * theta_max * theta + theta * theta * F(2) ** -32 + 1
    z_max = theta_max ** 2 + z * F(2) ** -32
    check("theta is not within 3.1 ulps", theta <= F(31, 10))
    check("z is not within 6 ulps", z <= 6)
    check("z may reach 0.62", z_max <= F(62, 100))
    # Sine: T <= theta, d >= 6, every error within 3.1; cosine: T_0 = 1 exact, e_1 with d = 2,
    # later T <= z / 2 and d >= 12, every error within 4.5.
    check("a sine term's error may exceed 3.1",
          (F(31, 10) * z_max + theta_max * z + 1) / 6 + 1 <= F(31, 10))
    check("the first cosine term's error may exceed 4.5", (z + 1) / 2 + 1 <= F(9, 2))
    check("a cosine term's error may exceed 4.5",
          (F(9, 2) * z_max + z_max / 2 * z + 1) / 12 + 1 <= F(9, 2))
    # N terms and the tail: (N + 1) x 4.5 against 5 (N + a) for every N >= 1.
    check("the sine's reported error is too small",
          2 * F(9, 2) <= 5 * (1 + reported("sine_or_cosine")))
    # The power of ten. t = |x| ln 10 the same way; k ln 2 with ln 2 truncated after n + w words
    # and k <= |x| log2(10) + 1/2, then truncated to n words; rho = |t - k ln 2|.
    top = exponent(constants, "kExactPow10Limit") + 1
    t_error = 1 + F(2) ** (top - 32 * words("kLn10"))
    k_max = math.floor(value(constants, "kExactPow10Limit") * F(3322, 1000) + F(1, 2)) + 1
    rho = t_error + 1 + k_max * F(2) ** (-32 * words("kLn2"))
    rho_max = F(int(constants["kRhoWordLimit"], 16), 2 ** 32)
    check("rho is not within 2.1 ulps", rho <= F(21, 10))
    check("the first exponential term's error may exceed 4.1", rho + 1 + 1 <= F(41, 10))
    check("an exponential term's error may exceed 4.1",
          (F(41, 10) * rho_max + rho_max * rho + 1) / 2 + 1 <= F(41, 10))
    # N terms within 4.1 and a tail within 4.1 / (1 - rho), against 5 (N + a), N >= 1.
    a = reported("exponential")
    check("the power of ten's reported error is too small",
          F(41, 10) + F(41, 10) / (1 - rho_max) <= 5 * (1 + a))
    return "\n".join(wrong) or None


last_step.tools = []

def option_ranges(constants):
    """What the options let a tone be lies within what the proofs take of it: the scaled gain
    from kLeastScaledGain to kLargestScaledGain (the sample checks), the LFO's range in radians at
    most TWO_PI (lfo_argument.gappa), and every sine argument within the exact sine's and the
    wide block sine's reach. Each derived from the option ranges the parser enforces, through
    the code's own operations (Python's floats are binary64, rounded to nearest)."""
    def c(name):
        return literal(constants[name])
    wrong = []
    # 10^y, correctly rounded by the code, lies within a relative 2^-40 of Python's 10 ** y.
    def gain(db):
        exponent = db * 0.05
        return F(1) if exponent == 0 else F(10 ** exponent)
    slack = F(1, 2 ** 40)
    peak = lambda width: 2 ** (8 * width - 1) - 1
    least = peak(int(c("kMinBytesPerSample"))) * gain(c("kMinLevelDb")) * (1 - slack)
    largest = peak(int(c("kMaxBytesPerSample"))) * gain(c("kMaxLevelDb"))
    largest *= 1 if c("kMaxLevelDb") == 0 else 1 + slack
    if least < value(constants, "kLeastScaledGain"):
        wrong.append("the lowest level gives scaled gains down to %r, below kLeastScaledGain" %
                     float(least))
    if largest > value(constants, "kLargestScaledGain"):
        wrong.append("the highest level gives scaled gains up to %r, above kLargestScaledGain" %
                     float(largest))
    two_pi = c("TWO_PI")
    range_rad = (c("kMaxModRangePercent") * 0.01) * two_pi  # percent_to_radians
    if range_rad > two_pi:
        wrong.append("-mran reaches %r radians, beyond TWO_PI (lfo_argument.gappa)" % range_rad)
    # The largest argument: a phase growing by at most the largest increment for every frame of
    # the largest file (one byte a frame), times the LFO factor, at most the range (|sin| <= 1).
    increment = c("kMaxFrequency") * (two_pi / c("kMinSampleRate"))
    frames = c("kMaxKb") * 1024
    argument = F(frames) * F(increment) * max(1, F(range_rad)) * (1 + slack)
    for limit in ("kExactSineLimit", "kFastSineLimit"):
        if argument > value(constants, limit):
            wrong.append("sine arguments may reach %r, beyond %s" % (float(argument), limit))
    return "\n".join(wrong) or None


option_ranges.tools = []


def shortcuts(constants):
    """reduce_to_quadrant's two shortcuts round as the series would. |x| < kTinySine: for x in a
    binade [2^e, 2^(e + 1)), 0 < x - sin x < x^3 / 6 < x kTinySine^2 / 6, and half the spacing
    below x is at least x 2^-54 (2^(e - 54) at x = 2^e, more above); below the normal range the
    spacing is 2^-1074, far above x^3. Odd quadrant, |r.hi| < kNextToOdd: r lies within a relative
    kReductionError or kPhaseReductionError of the true R (reduction_scalar.gappa,
    reduction_phase.gappa), and |r| <= |r.hi| (1 + 2^-52); 0 <= 1 - cos R < R^2 / 2 must
    stay under 2^-54, half the spacing below 1."""
    tiny, odd = value(constants, "kTinySine"), value(constants, "kNextToOdd")
    wrong = []
    if not tiny ** 2 / 6 < F(1, 2 ** 54):
        wrong.append("below kTinySine the sine may not round to x")
    error = max(value(constants, "kReductionError"), value(constants, "kPhaseReductionError"))
    reach = odd * (1 + F(1, 2 ** 52)) / (1 - error)
    if not reach ** 2 / 2 < F(1, 2 ** 54):
        wrong.append("below kNextToOdd the cosine may not round to 1")
    return "\n".join(wrong) or None


shortcuts.tools = []


def memo_cases(constants):
    """memo_radius.gappa's variants: the nearer end (the lower one for a sample from 1; the upper
    one, which for a sample of 0 is the end at 1), and the kept value (each block sine's, kept
    by its check, or the exact one). The far end's distance is at least the near one's: its hint
    adds 1 - 2 Distance, and the near end's hint takes it as is."""
    ends = {
        "lower": {"Distance": "(value - n)", "LeastSample": "1",
                  "Lower": "(w1 - n) / G", "LowerFar": "0",
                  "Upper": "((n + 1) - w1) / G", "UpperFar": "(1 - 2 * (value - n)) / G"},
        "upper": {"Distance": "((n + 1) - value)", "LeastSample": "0",
                  "Upper": "((n + 1) - w1) / G", "UpperFar": "0",
                  "Lower": "(w1 - n) / G", "LowerFar": "(1 - 2 * ((n + 1) - value)) / G"},
    }
    values = [{"Value": "rnd(s * G)", "Allowed": "rnd(G * @k%sSampleMargin@)" % sine,
               "SampleMargin": "@k%sSampleMargin@" % sine, "SineError": "@k%sSineError@" % sine}
              for sine in ("Short", "Narrow", "Wide")]
    values.append({"Value": "w0", "Allowed": "0", "SampleMargin": "0", "SineError": "0"})
    binades = {"GainSplits": gain_splits(constants, "kLargestScaledGain")}
    return [dict(end, **kept, **binades) for end in ends.values() for kept in values]


def lfo_small_cases(constants):
    """lfo_small.gappa's cases: what lfo_argument.gappa leaves out (a carrier phase or a range
    below 2^-60, a modulator sine below 2^-48), each with the wrapping tones' two block sines and
    the largest gain of the widths that take each (block_sine in src/wave/synth.cpp)."""
    full = {"PhiHigh": "@TWO_PI@", "RgHigh": "@TWO_PI@", "MHigh": "1"}
    cases = [dict(full, PhiHigh="1b-60"), dict(full, RgHigh="1b-60"), dict(full, MHigh="1b-48")]
    short_gain = "%d" % (2 ** (8 * int(constants["kShortSineWidest"]) - 1) - 1)
    sines = [{"SineError": "@kShortSineError@", "LargestGain": short_gain},
             {"SineError": "@kNarrowSineError@", "LargestGain": "@kLargestScaledGain@"}]
    return [dict(case, **sine) for case in cases for sine in sines]


def gain_splits(constants, largest="kSingleLargestGain"):
    """Split points at every power of two from 1 below the largest gain: the roundings are
    relative to their binade."""
    top = literal(constants[largest])
    return ", ".join(str(2 ** e) for e in range(0, 64) if 2 ** e < top)


# The single-precision pass's sine, its spread and its margin: a pure tone's, the LFO's.
SINGLE_SINES = [{"SineError": "@kSingleSineError@", "Spread": "0",
                 "SampleMargin": "@kSingleSampleMargin@"},
                {"SineError": "@kSingleLfoSineError@", "Spread": "@kLfoArgumentSpread@",
                 "SampleMargin": "@kSingleLfoSampleMargin@"}]

PROOFS = {
    "DoubleDoubleProduct": gappa("dd_mul.gappa"),
    "DoubleDoubleSum": gappa("dd_add.gappa"),
    "SmallestReduced": smallest_reduced,
    "PiParts": pi_parts,
    "ReductionScalar": gappa("reduction_scalar.gappa", variants=reduced_ranges),
    "ReductionScalarReach": gappa(reach("reduction_scalar.gappa")),
    "ReductionPhaseReach": gappa(reach("reduction_phase.gappa"), variants=lambda c: (
        {"Splits": splits(c, "kPhaseSineLimit", 0)},)),
    "ReductionPhase": gappa("reduction_phase.gappa", variants=lambda c: reduced_ranges(
        c, Splits=("kPhaseSineLimit", 0))),
    "SineQuickEven": gappa(quick_series(False, "kSineTerms", "kQuickDoubleDoubleTerms",
                                        "kReductionError", "kQuickEvaluationError"),
                           variants=lambda c: (
                               {"Low": least(c), "High": "@kQuadrantReach@", "Product": "rnd"},)),
    "SineQuickOdd": gappa(quick_series(True, "kCosineTerms", "kQuickDoubleDoubleTerms",
                                       "kReductionError", "kQuickEvaluationError"),
                          variants=({"Low": "0", "High": "@kQuadrantReach@", "Product": "rnd"},)),
    "SineBlockQuickEven": gappa(quick_series(False, "kBlockSineTerms",
                                             "kBlockQuickDoubleDoubleTerms",
                                             "kPhaseReductionError", "kBlockQuickEvaluationError"),
                                variants=lambda c: (
                                    {"Low": least(c), "High": "@kQuadrantReach@", "Product": "rnd"},
                                    {"Low": least(c), "High": "@kQuadrantReach@", "Product": ""})),
    "SineBlockQuickOdd": gappa(quick_series(True, "kBlockCosineTerms",
                                            "kBlockQuickDoubleDoubleTerms",
                                            "kPhaseReductionError", "kBlockQuickEvaluationError"),
                               variants=({"Low": "0", "High": "@kQuadrantReach@", "Product": "rnd"},
                                         {"Low": "0", "High": "@kQuadrantReach@", "Product": ""})),
    "SineAccurate": accurate_sine,
    "SeriesTruncation": series,
    "SineRoundingTests": rounding_tests,
    "ReductionPow10": gappa("reduction_pow10.gappa", variants=pow10_binades),
    "Pow10Series": pow10_series,
    "Polynomials": polynomials,
    "ReductionNarrow": gappa("reduction_narrow.gappa", variants=lambda c: (
        {"Splits": splits(c, "kNarrowSineLimit", -1)},)),
    "ReductionWide": gappa("reduction_wide.gappa", variants=lambda c: (
        {"Splits": splits(c, "kFastSineLimit", -1)},)),
    "EvaluationShort": gappa("evaluation_short.gappa"),
    "EvaluationLong": gappa("evaluation_long.gappa"),
    "ReductionSingle": gappa("reduction_single.gappa", variants=lambda c: [
        dict(reach, Product=product) for product in ("rnd32", "") for reach in (
            {"Low": "0", "Limit": "@kSingleSineLimit@", "ReductionError": "@kSingleReductionError@",
             "Splits": splits(c, "kSingleSineLimit", -1)},
            {"Low": "-@kSingleLfoLimit@", "Limit": "@kSingleLfoLimit@",
             "ReductionError": "@kSingleLfoReductionError@",
             "Splits": signed_splits(c, "kSingleLfoLimit", -1)})]),
    "EvaluationSingle": gappa("evaluation_single.gappa"),
    "SineTotals": sums,
    "SampleCheck": gappa("sample_check.gappa", variants=[
        {"SineError": "@k%sSineError@" % sine, "SampleMargin": "@k%sSampleMargin@" % sine}
        for sine in ("Short", "Narrow", "Wide")]),
    "SampleCheckSingle": gappa("sample_check_single.gappa", variants=lambda c: [
        dict(sine, Product=product, GainSplits=gain_splits(c)) for product in ("rnd32", "")
        for sine in SINGLE_SINES]),
    "LfoArgument": gappa("lfo_argument.gappa"),
    "LfoCheck": gappa("lfo_check.gappa", variants=[
        {"SineError": "@k%sSineError@" % sine, "SampleMargin": "@k%sSampleMargin@" % sine}
        for sine in ("Short", "Narrow")]),
    "LfoSmall": gappa("lfo_small.gappa", variants=lfo_small_cases),
    "ModulatorRecall": gappa("modulator_recall.gappa"),
    "LfoSpread": gappa("lfo_spread.gappa", variants=[{"ModulatorError": "@kKeptModulatorError@"}]),
    "OptionRanges": option_ranges,
    "Shortcuts": shortcuts,
    "MemoRadius": gappa("memo_radius.gappa", variants=memo_cases),
    "LastStep": last_step,
}


def coq_file(name):
    """A proof of ours in Coq, checked as it stands."""
    def check(constants):
        with open(os.path.join(HERE, name)) as f:
            return coq_check(f.read())
    check.tools = ["coqc"]
    return check


# What only Coq proves: the error-free transformations the Gappa scripts take as exact, the
# phase runs' facts, and the step from the sample checks' bounds to the same sample.
COQ_FILES = {"ExactTransformations": coq_file("exact_transformations.v"),
             "PhaseSteps": coq_file("phase_steps.v"),
             "CheckSoundness": coq_file("check_soundness.v")}
# What Coq checks (--coq), a CTest test each: those, and every Gappa proof.
COQ_PROOFS = list(COQ_FILES) + [name for name, proof in PROOFS.items() if "gappa" in proof.tools]


def main(arguments):
    global coq
    if arguments in (["--list"], ["--list-coq"]):
        print("\n".join(COQ_PROOFS if arguments == ["--list-coq"] else PROOFS))
        return 0
    coq = arguments[:1] == ["--coq"]
    names = arguments[1:] if coq else arguments
    if coq and not names:
        names = COQ_PROOFS
    constants = read_constants()
    failed = skipped = 0
    for name in names or list(PROOFS):
        proof = COQ_FILES[name] if name in COQ_FILES else PROOFS[name]
        tools = proof.tools + (["coqc"] if coq else [])
        missing = [tool for tool in tools if shutil.which(tool) is None]
        if missing:
            packages = " ".join(PACKAGES[tool] for tool in missing)
            print("SKIPPED %s: %s not installed (Debian: apt-get install %s); this bound is NOT "
                  "proven here" % (name, " and ".join(missing), packages))
            skipped += 1
            continue
        problem = proof(constants)
        if coq and problem is None and certificates:
            problem = check_certificates()
        print("%s %s" % ("FAILED" if problem else "proven", name))
        if problem:
            print(problem)
            failed += 1
    if failed:
        return 1
    return SKIP if skipped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

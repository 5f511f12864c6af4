#!/usr/bin/env python3
"""Runs each Gappa model as code and holds it against the C++ it models, bit for bit.

    python3 proofs/models_as_code.py MODEL_PROBE

A proof is only about the code if its model does what the code does, operation for operation.
Here every model's definitions are evaluated in exact arithmetic with binary64 rounding where
the script rounds (gappa_model.py), on seeded random arguments from its hypotheses' ranges, and
compared with what the code gives for the same arguments (tests/proofs/model_probe.cpp). A model
that rounds where the code does not, fuses where it does not, or the other way round, fails.
Exits 0 when all agree, 1 on the first difference (with its arguments).
"""
import fractions
import math
import os
import random
import re
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing left behind in the source tree
import gappa_model  # noqa: E402
import run_proofs  # noqa: E402
from run_proofs import value  # noqa: E402

F = fractions.Fraction
HERE = os.path.dirname(os.path.abspath(__file__))
COUNT = 600


def model(name, constants, **variant):
    """A script's definitions with the code's constants in, and the variant's names (a rounding
    the runner fills in per build); the other names the runner fills in per run (ranges, split
    points) play no part in them."""
    with open(os.path.join(HERE, name)) as f:
        text = f.read()
    text = re.sub(r"@(\w+(?:\[\d+\](?:\.hi|\.lo)?)?)@",
                  lambda m: variant.get(m.group(1), constants.get(m.group(1), "1")), text)
    return gappa_model.Script(text)


def spread(rng, low, high):
    """A double between low and high > 0, uniform in its logarithm: every binade in turn."""
    return min(max(2 ** rng.uniform(math.log2(low), math.log2(high)), low), high)


def near_multiples(step, limit, rng, count):
    """The doubles nearest to multiples of step (where the reductions cancel most) up to
    limit: step is the double nearest to pi or pi/2, so k step is next to k pi or k pi/2."""
    return [min(float(round(spread(rng, 1, limit / step)) * F(step)), limit)
            for _ in range(count)]


def cases(constants, rng):
    """(call, model results) pairs: the probe's input line and what the models say each of its
    output lines must be."""
    limit = run_proofs.literal  # of a limit's C++ literal
    dd_mul = model("dd_mul.gappa", constants)
    dd_add = model("dd_add.gappa", constants)
    scalar = model("reduction_scalar.gappa", constants)
    phase = model("reduction_phase.gappa", constants)
    narrow = model("reduction_narrow.gappa", constants)
    wide = model("reduction_wide.gappa", constants)
    long_ = model("evaluation_long.gappa", constants)
    short = model("evaluation_short.gappa", constants)
    lfo = model("lfo_argument.gappa", constants)
    single_reduction = model("reduction_single.gappa", constants, Product="rnd32")
    single_reduction_fused = model("reduction_single.gappa", constants, Product="")
    single_evaluation = model("evaluation_single.gappa", constants)
    half_pi = float(run_proofs.REALS["P2"])
    pi = float(run_proofs.REALS["Pi"])

    def low(high, ratio):
        return high * rng.uniform(-ratio, ratio)

    for _ in range(COUNT):
        ah, bh = rng.uniform(1, 2), rng.uniform(1, 2)
        al, bl = low(ah, 2 ** -53), low(bh, 2 ** -53)
        yield "dd_mul %s" % hexes(ah, al, bh, bl), dd_mul.run(
            {"ah_": F(ah), "al_": F(al), "bh_": F(bh), "bl_": F(bl)}, "V", "Vf")
        ah = low(bh, 0.5)
        al = low(ah, 2 ** -53)
        yield "dd_add %s" % hexes(ah, al, bh, bl), dd_add.run(
            {"ah_": F(ah), "ra": F(al) / F(ah), "bh_": F(bh), "bl_": F(bl)}, "V")

    top = limit(constants["kExactSineLimit"])
    for x in ([spread(rng, 0.78, top) for _ in range(COUNT)]
              + near_multiples(half_pi, top, rng, COUNT)):
        yield "reduce %s" % hexes(x), scalar.run({"x_": F(x)}, "r")
    for x in [rng.uniform(0.78, limit(constants["kPhaseSineLimit"])) for _ in range(COUNT)]:
        yield "reduce_phase %s" % hexes(x), phase.run({"x_": F(x)}, "r")

    for kind, reduction, evaluation, limit_name in (
            ("narrow", narrow, long_, "kNarrowSineLimit"),
            ("short", narrow, short, "kNarrowSineLimit"), ("wide", wide, long_, "kFastSineLimit")):
        top = limit(constants[limit_name])
        for x in ([spread(rng, 2 ** -8, top) for _ in range(COUNT)]
                  + near_multiples(pi, top, rng, COUNT // 2)):
            r, q = reduction.run({"x_": F(x)}, "r", "q")
            # The reduction on its own first: the evaluation rounds r at once, so a rounding
            # the model drops at its end would not show in the sine.
            if kind != "short":
                yield "fast_reduce %s %s" % (kind, hexes(x)), [r, q]
            s, sf = evaluation.run({"r_": r}, "s", "sf")
            plain, fused = (-s, -sf) if q % 2 else (s, sf)
            for unit, expected in ((0, plain), (1, fused), (2, fused)):
                yield "block %s %d %s" % (kind, unit, hexes(x)), [expected]

    yield from checks(constants, rng, {"short": (narrow, short), "narrow": (narrow, long_),
                                       "wide": (wide, long_)})

    # The single-precision sine's 8-bit samples: the sine's two models, then the sample as
    # sample_check_single.gappa models the check (the margin made as synth.cpp makes it).
    # Each tone's margin (pure, LFO), each rounded or fused product.
    (single_check, single_check_fused), lfo_checks = [
        [model("sample_check_single.gappa", constants, Product=product,
               SampleMargin=constants[margin]) for product in ("rnd32", "")]
        for margin in ("kSingleSampleMargin", "kSingleLfoSampleMargin")]
    top = limit(constants["kSingleSineLimit"])
    # The last cases land next to an integer (sin pi/2 = 1, sin pi/6 = 1/2): left to the caller;
    # before them, the two floats below 8 whose q a fused multiply-add rounds otherwise.
    cases = [(x, rng.uniform(0.7, 127)) for x in [rng.uniform(0, top) for _ in range(COUNT)]
             + near_multiples(pi, top, rng, COUNT // 2)
             + near_multiples(half_pi, top, rng, COUNT // 2) + [0.0, top]]
    cases += [(float.fromhex("0x1.2d97c8p+2"), 90.0), (float.fromhex("0x1.f6a7a4p+2"), 90.0)]
    for x, gain in cases + [(half_pi, 127.0), (pi / 6, 2.0), (5 * pi / 6, 2.0)]:
        r, q = single_reduction.run({"x_": F(x)}, "r", "q")
        s = single_evaluation.run({"r_": r}, "s")[0]
        rf, qf = single_reduction_fused.run({"x_": F(x)}, "r", "q")
        yield "fast_reduce single %s" % hexes(x), [r, q]
        yield "fast_reduce single_fused %s" % hexes(x), [rf, qf]
        sf = single_evaluation.run({"r_": rf}, "sf")[0]
        for unit, sine, quotient, check in ((0, s, q, single_check), (1, sf, qf, single_check_fused),
                                            (2, sf, qf, single_check_fused)):
            lo, hi, m = check.run({"G_": F(gain), "s_": -sine if quotient % 2 else sine},
                                  "lo", "hi", "m")
            sample = int(hi) if int(hi) == int(lo) else -2 ** 31
            # The margin the code builds (-1 asks for it), which must be the model's m.
            yield "single %d %s" % (unit, hexes(x, gain, -1)), [F(sample)]
            yield "single_margin %s" % hexes(gain), [
                m, lfo_checks[0].run({"G_": F(gain)}, "m")[0]]
            # Every bit of the sine itself: a gain of 2^30 and no margin make the sample the
            # sine times 2^30, exactly (a model check only: no tone has such a gain).
            signed = -sine if quotient % 2 else sine
            yield ("single %d %s" % (unit, hexes(x, 2.0 ** 30, 0.0)),
                   [F(int(gappa_model.round_single(signed * 2 ** 30)))])

    # With the LFO: the argument as lfo_argument.gappa makes it from a modulator sine, the sine
    # of it, and the check with the LFO's margin; carrier phases and ranges up to 2 pi.
    # Half the cases put the argument next to a midpoint of two floats, where its last bit in
    # double decides its float: every bit of the sine shows it (a gain of 2^30, no margin).
    for n in range(COUNT):
        phi, sine, rg = rng.uniform(0, 2 * pi), rng.uniform(-1, 1), rng.uniform(0, 2 * pi)
        if n % 2:
            near = float(gappa_model.round_single(F(rng.uniform(0.5, 39))))
            target = near + 2.0 ** (math.frexp(near)[1] - 25)  # half a float's spacing up
            phi = min(target / (sine * rg), 2 * pi) if sine > 0 else phi
        gain = rng.uniform(0.7, 127)
        x = lfo.run({"phi_": F(phi), "mf_": F(sine), "Rg_": F(rg)}, "af")[0]
        for unit, reduction, fused in ((0, single_reduction, 0), (1, single_reduction_fused, 1),
                                       (2, single_reduction_fused, 1)):
            r, q = reduction.run({"x_": x}, "r", "q")
            s = single_evaluation.run({"r_": r}, "sf" if fused else "s")[0]
            s = -s if q % 2 else s
            lo, hi = lfo_checks[fused].run({"G_": F(gain), "s_": s}, "lo", "hi")
            sample = int(hi) if int(hi) == int(lo) else -2 ** 31
            yield "single_lfo %d %s" % (unit, hexes(phi, sine, rg, gain, -1)), [F(sample)]
            yield ("single_lfo %d %s" % (unit, hexes(phi, sine, rg, 2.0 ** 30, 0.0)),
                   [F(int(gappa_model.round_single(s * 2 ** 30)))])

    # The modulator memo's recall: phases within a few recalls of each other, and next to it.
    recall = run_proofs.value(constants, "kModulatorRecall")
    recall_model = model("modulator_recall.gappa", constants)
    for _ in range(COUNT):
        psi = rng.uniform(0, 2 * pi)
        k = psi + rng.choice([rng.uniform(-4, 4), rng.choice([-1, 1])]) * float(recall)
        decided = abs(recall_model.run({"psi_": F(psi), "k_": F(k)}, "d")[0]) <= recall
        yield "modulator_recalled %s" % hexes(psi, k), [F(int(decided))]

    # The power of ten's reduction, over the levels' exponents and beyond, both signs.
    pow10 = model("reduction_pow10.gappa", constants)
    top = limit(constants["kExactPow10Limit"])
    for x in [rng.choice([1, -1]) * spread(rng, 2 ** -56, top) for _ in range(COUNT)]:
        rv, k = pow10.run({"x_": F(x)}, "rv", "k")
        yield "reduce_pow10 %s" % hexes(x), [rv, k]

    # The series of both parities, quick, block quick and accurate, fused and not.
    for _ in range(COUNT // 4):
        rh = rng.uniform(0, run_proofs.literal(constants["kQuadrantReach"]))
        r = (F(rh), F(rng.uniform(-1, 1) * math.ulp(rh) / 2))
        for dd_terms, sine_terms, cosine_terms in (
                ("kQuickDoubleDoubleTerms", "kSineTerms", "kCosineTerms"),
                ("kBlockQuickDoubleDoubleTerms", "kBlockSineTerms", "kBlockCosineTerms"),
                ("kSineTerms", "kSineTerms", "kCosineTerms")):
            n = [int(constants[name]) for name in (dd_terms, sine_terms, cosine_terms)]
            for fused in (0, 1):
                for odd in (0, 1):
                    yield "series %d %d %d %d %d %s" % (fused, odd, n[1], n[2], n[0], hexes(*r)), \
                        [sum(series(constants, r, odd, n[0], n[2] if odd else n[1], fused,
                                    dd_mul, dd_add))]

    # The memo's radius, for each end, sign and kind of kept value, and values next to an end.
    ends = {case["Distance"]: model("memo_radius.gappa", constants, **case)
            for case in run_proofs.memo_cases(constants) if case["Value"] == "w0"}
    lower, upper = ends["(value - n)"], ends["((n + 1) - value)"]
    for _ in range(COUNT):
        gain = spread(rng, 0.7, 2 ** 31 - 1)
        sample = rng.choice([0, 1, rng.randint(1, int(gain) + 1)]) * rng.choice([1, -1])
        value = abs(sample) + rng.choice([rng.uniform(0, 1), rng.uniform(0, 2 ** -30),
                                          1 - rng.uniform(0, 2 ** -30)])
        value = min(value, math.nextafter(abs(sample) + 1, 0))
        allowed = rng.choice([0.0] + [gain * run_proofs.literal(constants[margin]) for margin in
                                      ("kShortSampleMargin", "kNarrowSampleMargin")])
        # A negative sample mirrors a positive one: every operation of the radius is symmetric.
        radius = (lower if value - abs(sample) <= abs(sample) + 1 - value and abs(sample) >= 1
                  else upper).run({"value": F(value), "allowed": F(allowed), "G_": F(gain),
                                   "n": F(abs(sample))}, "radius")[0]
        signed = -value if sample < 0 else value
        yield "memo_radius %s %d %s" % (hexes(signed, allowed), sample, hexes(gain)), \
            [max(radius, F(0))]

    # The rounding test, with y.lo next to half a spacing of y.hi (where the test decides).
    decided = gappa_model.Script(run_proofs.DECIDED)
    for _ in range(COUNT):
        yh = rng.choice([1, -1]) * rng.uniform(0.5, 2)
        bound = run_proofs.literal(constants[rng.choice(
            ["kQuickBound", "kBlockQuickBound", "kAccurateBound"])])
        half = math.ulp(yh) / 2
        yl = rng.choice([1, -1]) * (half + rng.uniform(-4, 4) * abs(yh) * bound)
        down, up = decided.run({"m_": F(abs(yh)), "yh_": F(yh), "yl_": F(yl), "bound_": F(bound)},
                               "down", "up")
        yield "decided %s" % hexes(yh, yl, bound), [F(1 if down == up else 0)]

    # Each step of the correctly rounded sine and power of ten takes the test with the bound
    # proven for it.
    for step, name in enumerate(("kQuickBound", "kAccurateBound", "kPow10Bound")):
        bound = run_proofs.literal(constants[name])
        for _ in range(COUNT):
            yh = rng.choice([1, -1]) * rng.uniform(0.5, 2)
            yl = rng.choice([1, -1]) * (math.ulp(yh) / 2 + rng.uniform(-4, 4) * abs(yh) * bound)
            down, up = decided.run({"m_": F(abs(yh)), "yh_": F(yh), "yl_": F(yl),
                                    "bound_": F(bound)}, "down", "up")
            yield "step_decides %d %s" % (step, hexes(yh, yl)), [F(1 if down == up else 0)]

    for _ in range(COUNT):
        phi, rg = rng.uniform(2 ** -10, 6.2832), rng.uniform(2 ** -10, 6.2832)
        mf = rng.uniform(-1, 1)
        yield "lfo_product %s" % hexes(phi, mf, rg), lfo.run(
            {"phi_": F(phi), "Rg_": F(rg), "mf_": F(mf)}, "af")


# Which block sine the synthesis takes (a growing phase, the sample width) and the constants of
# its check: sample_check.gappa is proven for each sine with these.
SINE_FOR = {(True, b): "wide" for b in (1, 2, 3, 4)}
SINE_FOR.update({(False, b): "short" if b <= 2 else "narrow" for b in (1, 2, 3, 4)})
CHECK_CONSTANTS = {"short": ("kShortSampleMargin", "kNarrowSineLimit"),
                   "narrow": ("kNarrowSampleMargin", "kNarrowSineLimit"),
                   "wide": ("kWideSampleMargin", "kFastSineLimit")}
def decision(v, allowed, argument, limit, plain):
    """The check as sample_check.gappa states it: v's truncation is kept only where v lies
    farther than the allowance from every non-zero integer, within the sine's reach (and, with
    the LFO, an allowance below half a unit); else the frame is left to the exact path."""
    n = round(v)
    distance = abs(v - n) if n != 0 else 1 - abs(v)
    doubtful = distance <= allowed or abs(argument) > limit or (not plain and allowed >= F(1, 2))
    return F(-2 ** 31) if doubtful else F(int(v))


def checks(constants, rng, models):
    """The check as the code builds it: the sine and constants for each phase and width, the
    margins, the allowance and the decision, each against its model."""
    for (growing, width), kind in sorted(SINE_FOR.items()):
        margin, limit = CHECK_CONSTANTS[kind]
        reduction, evaluation = models[kind]
        x = rng.uniform(0, 6.28)
        r, q = reduction.run({"x_": F(x)}, "r", "q")
        s = evaluation.run({"r_": r}, "s")[0]
        yield "pairing %d %d %s" % (growing, width, hexes(x)), [
            value(constants, margin), value(constants, limit), -s if q % 2 else s]
        check = model("sample_check.gappa", constants, SampleMargin=constants[margin])
        # The allowance with the LFO's share as lfo_check.gappa has it (its own m is check's).
        allowance = model("lfo_check.gappa", constants, SampleMargin=constants[margin])
        for _ in range(COUNT // 8):
            gain, rg, phi = spread(rng, 0.7, 2 ** 31 - 1), rng.uniform(0, 6.2832), rng.uniform(0, 6.2832)
            m = check.run({"G_": F(gain)}, "m")[0]
            l, allowed = allowance.run({"G_": F(gain), "Rg_": F(rg), "phi_": F(phi)},
                                       "l", "allowed")
            yield "margins %d %d %s" % (growing, width, hexes(gain, rg, phi)), [m, l, allowed]
            # Values next to an integer, at about the allowance from it, or anywhere.
            n = rng.choice([0, 1, -1, rng.randint(-int(gain), int(gain))])
            offset = allowed * rng.choice([-1, 1]) * F(rng.choice([1, 1 - 2 ** -40, 1 + 2 ** -40,
                                                                  rng.uniform(0, 4)]))
            sine = float(min(max((n + offset) / F(gain), F(-1)), F(1)))
            argument = rng.choice([x, value(constants, limit) * rng.choice([1, 2])])
            v = check.run({"G_": F(gain), "s_": F(sine)}, "v")[0]
            for plain, lfo in ((True, F(0)), (False, F(0)), (False, l)):
                frame = allowance.run({"G_": F(gain), "Rg_": F(rg if lfo else 0), "phi_": F(phi)},
                                      "allowed")[0]
                if plain and frame >= F(1, 2):
                    continue  # the caller takes the other check there
                expected = decision(v, frame, F(argument), value(constants, limit), plain)
                yield "check %d %s" % (plain, hexes(sine, argument, phi, gain, m, lfo,
                                                    value(constants, limit))), [expected]
        # An allowance of exactly half a unit: the check gives up there, far from any integer.
        yield "check 0 %s" % hexes(0.1, 1, 1, 2, 0.5, 0, value(constants, limit)), [F(-2 ** 31)]


def step(script, a, b, name):
    """A double-double operation's model: the exact value it states, normalised as the code's
    fast_two_sum leaves it (exactly: exact_transformations.v)."""
    # (dd_add.gappa takes a's low part as its high part times a ratio: 0 where a is 0.)
    ratio = a[1] / a[0] if a[0] != 0 else F(0)
    v = script.run({"ah_": a[0], "al_": a[1], "ra": ratio, "bh_": b[0], "bl_": b[1]}, name)[0]
    hi = gappa_model.round_double(v)
    return hi, v - hi


def series(constants, r, odd, dd_terms, terms, fused, dd_mul, dd_add):
    """series_of_parity as the series proofs state it (quick_series in run_proofs.py): z = r^2
    by dd_mul; the last terms in doubles, t = RN(t zh + c.hi) (one rounding, fused); the first
    dd_terms by dd_add(dd_mul(q, z), c); the sine's times r by dd_mul."""
    product = "Vf" if fused else "V"
    z = step(dd_mul, r, r, product)
    c = [(F(run_proofs.literal(h)), F(run_proofs.literal(l))) for h, l in
         run_proofs.signed_coefficients(constants, 0 if odd else 1, terms, 2, True)]
    q = (F(0), F(0))
    for k in range(terms - 1, dd_terms - 1, -1):
        exact = q[0] * z[0] + c[k][0]
        q = (gappa_model.round_double(exact if fused else gappa_model.round_double(q[0] * z[0])
                                      + c[k][0]), F(0))
    for k in range(min(dd_terms, terms) - 1, -1, -1):
        q = step(dd_add, step(dd_mul, q, z, product), c[k], "V")
    return q if odd else step(dd_mul, r, q, product)


def hexes(*values):
    return " ".join(float(v).hex() for v in values)


def main(probe):
    rng = random.Random(20261209)
    constants = run_proofs.read_constants()
    calls, expected = [], []
    for call, results in cases(constants, rng):
        calls.append(call)
        expected.append(results)
    answer = subprocess.run([probe], input="\n".join(calls) + "\n", text=True,
                            capture_output=True)
    if answer.returncode != 0:
        print(answer.stderr)
        return 1
    lines = iter(answer.stdout.splitlines())
    checked = 0
    for call, results in zip(calls, expected):
        for result in results:
            line = next(lines)
            if line == "none":  # a vector unit this processor lacks
                continue
            code = sum(F(float.fromhex(v)) for v in line.split())
            if code != result:
                print("the model and the code differ at %s: the model gives %r (%s), the code %s"
                      % (call, float(result), float(result).hex(), line))
                return 1
            checked += 1
    print("%d results of the code agree with their models bit for bit" % checked)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

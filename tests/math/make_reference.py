#!/usr/bin/python3
"""Reference values for the exact maths, from MPFR (through gmpy2: Debian's python3-gmpy2).

  make_reference.py cases sin SOURCE > tests/data/sin_hard_cases.txt
  make_reference.py cases exp10 SOURCE > tests/data/exp10_hard_cases.txt
      SOURCE holds one hexadecimal float a line; each output line is the argument and its
      correctly rounded function value, both as hexadecimal floats.
  make_reference.py tables
      the fixed-point constants of src/math/multi_precision.cpp: 2/pi, pi/2, ln 10 and ln 2,
      truncated after 35 words of 32 bits.
"""
import sys

import gmpy2
from gmpy2 import mpfr


def cases(function, source):
    # 53 bits, round to nearest, and an exponent range wide enough for every binary64 value.
    context = gmpy2.ieee(64)
    context.round = gmpy2.RoundToNearest
    gmpy2.set_context(context)
    evaluate = {"sin": gmpy2.sin, "exp10": gmpy2.exp10}[function]
    with open(source) as lines:
        for line in lines:
            line = line.strip()
            if line:
                x = float.fromhex(line)
                print(x.hex(), float(evaluate(mpfr(x))).hex())


def tables():
    gmpy2.get_context().precision = 1400
    pi = gmpy2.const_pi()
    for name, value in [("kTwoOverPi", 2 / pi), ("kHalfPi", pi / 2), ("kLn10", gmpy2.log(10)),
                        ("kLn2", gmpy2.log(2))]:
        scaled = int(gmpy2.floor(value * mpfr(2) ** (32 * 35)))
        words = [(scaled >> (32 * (35 - i))) & 0xFFFFFFFF for i in range(36)]
        print(name, ", ".join("0x%08x" % w for w in words))


if __name__ == "__main__":
    if sys.argv[1:2] == ["cases"] and len(sys.argv) == 4:
        cases(sys.argv[2], sys.argv[3])
    elif sys.argv[1:] == ["tables"]:
        tables()
    else:
        sys.exit(__doc__)

"""The part of Gappa's language our scripts use, read and evaluated in exact arithmetic.

A script's definitions (`x = e;`, `x rnd= e;`) are a model of the code: rnd is binary64
rounding to nearest even, rnd32 the same in binary32, rint rounding to an integer, ties to even,
and an operation outside them is exact. run_proofs.py uses this to check the hypotheses that
hold of constants alone (the decimal pi, the parts of pi/2 left out) and to run each model as
code against the C++.
"""
import fractions
import re

F = fractions.Fraction
_TOKEN = re.compile(r"\s*(?:(0x[0-9a-fA-F.]+p[-+]?\d+|\d+(?:\.\d*)?(?:b-?\d+|e-?\d+)?)"
                    r"|([A-Za-z_]\w*)|(.))")


def number(text):
    if text.startswith("0x"):
        return F(float.fromhex(text))
    if "b" in text:
        mantissa, exponent = text.split("b")
        return F(mantissa) * F(2) ** int(exponent)
    return F(text)


def tokens(text):
    out = []
    for match in _TOKEN.finditer(text):
        if match.group(1):
            out.append(("num", number(match.group(1))))
        elif match.group(2):
            out.append(("name", match.group(2)))
        elif match.group(3) and not match.group(3).isspace():
            out.append(("op", match.group(3)))
    return out


class _Parser:
    """Recursive descent: sum of products of unary terms. Nodes are tuples:
    ("num", F), ("name", s), ("neg", a), ("+"|"-"|"*"|"/", a, b), ("call", f, a)."""

    def __init__(self, text):
        self.items = tokens(text)
        self.at = 0

    def peek(self):
        return self.items[self.at] if self.at < len(self.items) else (None, None)

    def take(self, op=None):
        item = self.peek()
        if op is not None and item != ("op", op):
            raise ValueError("expected %s at %r" % (op, item))
        self.at += 1
        return item

    def sum(self):
        node = self.product()
        while self.peek() in (("op", "+"), ("op", "-")):
            node = (self.take()[1], node, self.product())
        return node

    def product(self):
        node = self.unary()
        while self.peek() in (("op", "*"), ("op", "/")):
            node = (self.take()[1], node, self.unary())
        return node

    def unary(self):
        if self.peek() == ("op", "-"):
            self.take()
            return ("neg", self.unary())
        kind, value = self.take()
        if kind == "num":
            return ("num", value)
        if kind == "name":
            if self.peek() == ("op", "("):
                self.take("(")
                argument = self.sum()
                self.take(")")
                return ("call", value, argument)
            return ("name", value)
        if (kind, value) == ("op", "("):
            node = self.sum()
            self.take(")")
            return node
        raise ValueError("unexpected %r" % ((kind, value),))


def parse(text):
    parser = _Parser(text)
    node = parser.sum()
    if parser.at != len(parser.items):
        raise ValueError("trailing text in %r" % text)
    return node


def round_double(x):
    """x rounded to the nearest binary64, ties to even (Python's conversion is correctly
    rounded); subnormals and overflow as IEEE 754 has them."""
    return F(float(x))


def round_single(x):
    """x rounded to the nearest binary32, ties to even (subnormals from 2^-149; our models stay
    far from overflow)."""
    if x == 0:
        return F(0)
    exponent = max(abs(x).numerator.bit_length() - abs(x).denominator.bit_length(), -126)
    # 2^exponent <= |x| < 2^(exponent + 1) after at most one correction
    if F(2) ** exponent > abs(x):
        exponent -= 1
    spacing = F(2) ** (max(exponent, -126) - 23)
    return F(round(x / spacing)) * spacing  # a Fraction rounds half to even


def round_integer(x):
    return F(round(x))  # a Fraction rounds half to even



def rounded_everywhere(node):
    """`x rnd= e`: every operation of e rounded."""
    if node[0] in ("+", "-", "*", "/"):
        return ("call", "rnd", (node[0], rounded_everywhere(node[1]), rounded_everywhere(node[2])))
    if node[0] == "neg":
        return ("neg", rounded_everywhere(node[1]))
    return node


def evaluate(node, env):
    kind = node[0]
    if kind == "num":
        return node[1]
    if kind == "name":
        return env[node[1]]
    if kind == "neg":
        return -evaluate(node[1], env)
    if kind == "call":
        argument = evaluate(node[2], env)
        return {"rnd": round_double, "rnd32": round_single,
                "rint": round_integer}[node[1]](argument)
    a, b = evaluate(node[1], env), evaluate(node[2], env)
    if kind == "+":
        return a + b
    if kind == "-":
        return a - b
    return a * b if kind == "*" else a / b


def names_in(node):
    if node[0] == "name":
        return {node[1]}
    if node[0] == "num":
        return set()
    return set().union(*(names_in(n) for n in node[1:] if isinstance(n, tuple)))


class Script:
    """A script with its constants filled in: definitions in order, hypotheses, goal text (a
    model's definitions alone may have none)."""

    def __init__(self, text):
        body = re.sub(r"#[^\n]*", "", text)
        match = re.search(r"\{(.*?)->(.*?)\}", body, re.S)
        self.goal_span = match.span(2) if match else None
        self.text = body
        self.definitions = []
        for statement in (s.strip() for s in body[:match.start() if match else None].split(";")):
            if not statement or statement.startswith("@"):
                continue
            name, rounded, expression = re.match(r"(\w+)\s*(rnd)?=\s*(.*)$", statement,
                                                 re.S).groups()
            node = parse(expression)
            self.definitions.append((name, rounded_everywhere(node) if rounded else node))
        self.hypotheses = []
        for part in match.group(1).split("/\\") if match else []:
            expression, low, high = re.match(r"(.*) in \[(.*),(.*)\]$", part.strip(), re.S).groups()
            self.hypotheses.append((parse(expression), parse(low), parse(high),
                                    " ".join(part.split())))

    def with_goal(self, goal):
        """The same script with its goals replaced (the hints and splits kept)."""
        return self.text[:self.goal_span[0]] + " " + goal + " " + self.text[self.goal_span[1]:]

    def run(self, inputs, *wanted):
        """The values of the names wanted, from the free names' values in inputs (Fractions):
        only the definitions they need are evaluated (not the exact reals and error terms)."""
        nodes = dict(self.definitions)
        env = dict(inputs)

        def value(name):
            if name not in env:
                node = nodes[name]
                for needed in names_in(node):
                    value(needed)
                env[name] = evaluate(node, env)
            return env[name]
        return [value(name) for name in wanted]

#!/usr/bin/env python3
"""make_utf8_reference_cases.py OUTPUT.inc: byte strings with their lossy decoding by Python's
own decoder, as C++ initializers {input, expected UTF-8, expected UTF-16 and terminator, bytes
before the first ill-formed subpart}, one a line."""

import random
import sys

# Bytes and byte pairs at the edges of the well-formed ranges, and whole characters.
FRAGMENTS = [bytes.fromhex(h) for h in (
    "00 41 7f 80 8f 90 9f a0 bf c0 c1 c2 df e0 e0a0 e09f e1 ed ed9f eda0 ef f0 f090 f08f f1 f4 "
    "f48f f490 f5 f8 ff c3a9 e282ac efbfbd efbfbf f0908080 f09f9880 f48fbfbf").split()]


def cases():
    rng = random.Random(0x4C54460A)  # fixed, so that every build writes the same file
    yield from [b""] + [bytes([b]) for b in range(256)]
    # Every lead byte before each second byte from just below to just above 80..BF.
    for lead in range(0xC0, 0x100):
        for second in range(0x7F, 0xC1):
            yield bytes([lead, second])
            yield bytes([lead, second, 0x80, 0xBF])
    yield from (b"".join(rng.choices(FRAGMENTS, k=rng.randrange(1, 9))) for _ in range(3000))
    yield from (rng.randbytes(rng.randrange(1, 40)) for _ in range(300))


def literal(prefix, data, digits):
    """Every unit as a hex escape; each ends at the next backslash or the closing quote."""
    h = data.hex()
    return prefix + '"' + "".join("\\x" + h[i:i + digits] for i in range(0, len(h), digits)) + '"sv'


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as out:
        for data in dict.fromkeys(cases()):
            text = data.decode("utf-8", "replace")
            utf16 = (text + "\0").encode("utf-16-be")
            try:
                data.decode("utf-8")
                well_formed_start = len(data)
            except UnicodeDecodeError as error:
                well_formed_start = error.start
            out.write(f"{{{literal('', data, 2)}, {literal('', text.encode(), 2)}, "
                      f"{literal('u', utf16, 4)}, {well_formed_start}}},\n")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes byte strings and their lossy UTF-8 decoding, as done by Python's own decoder.

Usage: make_utf8_reference_cases.py OUTPUT.inc

Each line of the output is one initializer {input, expected UTF-8, expected UTF-16} of
string-view literals. The cases are fixed by the seed, so the file is the same on every build.
"""

import random
import sys

SEED = 0x4C54460A

# Bytes where the well-formed ranges begin and end, plus a few plain ones.
EDGE_BYTES = [0x00, 0x41, 0x7F, 0x80, 0x81, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
              0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF7,
              0xF8, 0xFE, 0xFF]

EDGE_CODE_POINTS = [0x00, 0x7F, 0x80, 0x7FF, 0x800, 0xFFF, 0x1000, 0xCFFF, 0xD000, 0xD7FF,
                    0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x3FFFF, 0x40000, 0xFFFFF, 0x100000,
                    0x10FFFF]

ADVERSARIAL = [
    b"\xC0\x80", b"\xC1\xBF", b"\xE0\x80\x80", b"\xE0\x9F\xBF", b"\xF0\x80\x80\x80",
    b"\xF0\x8F\xBF\xBF", b"\xED\xA0\x80", b"\xED\xBF\xBF", b"\xED\xA0\xBD\xED\xB8\x80",
    b"\xF4\x90\x80\x80", b"\xF5\x80\x80\x80", b"\xF8\x88\x80\x80\x80", b"\xFF\xFE",
    b"\x80", b"\xBF", b"\x80\x80\x80\x80\x80", b"\xE2\x82", b"\xF0\x9F\x98", b"\xF0\x9F",
    b"\xF0", b"\xC2", b"\xE1\x80\xC2",
]


def random_scalar(rng):
    """A random Unicode scalar value, weighted so that every sequence length appears."""
    width = rng.randrange(4)
    if width == 0:
        return rng.randrange(0x80)
    if width == 1:
        return rng.randrange(0x80, 0x800)
    if width == 2:
        while True:
            cp = rng.randrange(0x800, 0x10000)
            if not 0xD800 <= cp <= 0xDFFF:
                return cp
    return rng.randrange(0x10000, 0x110000)


def encode_lenient(cp):
    """UTF-8 encoding pattern of cp, surrogates included (Python refuses to encode those)."""
    if cp < 0x80:
        return bytes([cp])
    if cp < 0x800:
        return bytes([0xC0 | cp >> 6, 0x80 | cp & 0x3F])
    if cp < 0x10000:
        return bytes([0xE0 | cp >> 12, 0x80 | cp >> 6 & 0x3F, 0x80 | cp & 0x3F])
    return bytes([0xF0 | cp >> 18, 0x80 | cp >> 12 & 0x3F, 0x80 | cp >> 6 & 0x3F,
                  0x80 | cp & 0x3F])


def fragment(rng):
    """One piece of a test string: valid, truncated, forged or plain garbage."""
    kind = rng.randrange(9)
    if kind == 0:
        return bytes([rng.randrange(0x20, 0x7F)]) * rng.randrange(1, 4)
    if kind == 1:
        return chr(random_scalar(rng)).encode()
    if kind == 2:
        return chr(rng.choice(EDGE_CODE_POINTS)).encode()
    if kind == 3:  # a valid sequence cut short
        encoded = chr(random_scalar(rng)).encode()
        return encoded[:rng.randrange(1, len(encoded))] if len(encoded) > 1 else b"\x80"
    if kind == 4:  # surrogate, overlong or out-of-range code point in UTF-8 form
        cp = rng.choice([rng.randrange(0xD800, 0xE000), rng.randrange(0x80),
                         rng.randrange(0x800), rng.randrange(0x10000),
                         rng.randrange(0x110000, 0x200000)])
        encoded = encode_lenient(cp)
        if cp < 0x800 and len(encoded) < 4 and rng.randrange(2):
            # Overlong: the same value stretched to a longer form.
            width = rng.randrange(len(encoded) + 1, 5)
            encoded = encode_overlong(cp, width)
        return encoded
    if kind == 5:
        return bytes(rng.randrange(0x80, 0xC0) for _ in range(rng.randrange(1, 6)))
    if kind == 6:
        return bytes(rng.choice(EDGE_BYTES) for _ in range(rng.randrange(1, 4)))
    if kind == 7:
        return rng.choice(ADVERSARIAL)
    return bytes(rng.randrange(256) for _ in range(rng.randrange(1, 5)))


def encode_overlong(cp, width):
    lead = {2: 0xC0, 3: 0xE0, 4: 0xF0}[width]
    tail = [0x80 | (cp >> (6 * k)) & 0x3F for k in reversed(range(width - 1))]
    return bytes([lead | cp >> (6 * (width - 1))] + tail)


def cases():
    rng = random.Random(SEED)
    yield b""
    for b in range(256):
        yield bytes([b])
        yield b"a" + bytes([b]) + b"z"
    # Every lead byte from 0x80 with every edge byte after it, alone and followed by more.
    for lead in range(0x80, 0x100):
        for second in EDGE_BYTES:
            yield bytes([lead, second])
            yield bytes([lead, second, rng.choice(EDGE_BYTES), rng.choice(EDGE_BYTES)])
    # The multi-byte leads with every second byte, so each range edge is crossed exactly.
    for lead in (0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4):
        for second in range(0x70, 0xD0):
            yield bytes([lead, second, 0x80, 0xBF])
    for piece in ADVERSARIAL:
        yield piece
        yield b"x" + piece
        yield b"x" + piece + b"y"
    for _ in range(3000):
        yield b"".join(fragment(rng) for _ in range(rng.randrange(1, 9)))
    for _ in range(300):
        yield bytes(rng.randrange(256) for _ in range(rng.randrange(1, 40)))


def narrow_literal(data):
    """A C++ string literal for the bytes; 3-digit octal escapes cannot run into what follows."""
    out = []
    for b in data:
        c = chr(b)
        if c in '"\\':
            out.append("\\" + c)
        elif 0x20 <= b < 0x7F:
            out.append(c)
        else:
            out.append(f"\\{b:03o}")
    return '"' + "".join(out) + '"sv'


def utf16_literal(text):
    """A u"" literal; the compiler, not this script, turns code points into UTF-16 units."""
    out = []
    for c in text:
        cp = ord(c)
        if c in '"\\':
            out.append("\\" + c)
        elif 0x20 <= cp < 0x7F:
            out.append(c)
        elif cp < 0x80:
            out.append(f"\\{cp:03o}")
        elif cp < 0x10000:
            out.append(f"\\u{cp:04X}")
        else:
            out.append(f"\\U{cp:08X}")
    return 'u"' + "".join(out) + '"sv'


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    lines = ["// Generated by make_utf8_reference_cases.py; do not edit.\n"]
    seen = set()
    for data in cases():
        if data in seen:
            continue
        seen.add(data)
        text = data.decode("utf-8", "replace")
        lines.append(f"{{{narrow_literal(data)}, {narrow_literal(text.encode())}, "
                     f"{utf16_literal(text)}}},\n")
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes resources/Plop sound.aif: a short plop (a falling sine with a fast
decay), 16-bit mono at 22,050 Hz, about 0.12 s. Standard library only; the
output is the same on every run."""

import math
import struct
import sys
from pathlib import Path

RATE = 22050
DURATION = 0.12


def extended80(value):
    """An IEEE 754 80-bit extended float, as AIFF stores the sample rate."""
    exponent = 16383 + int(math.floor(math.log2(value)))
    mantissa = int(value * (1 << (63 - (exponent - 16383))))
    return struct.pack(">HQ", exponent, mantissa)


def samples():
    count = int(RATE * DURATION)
    phase = 0.0
    for i in range(count):
        t = i / RATE
        frequency = 900 * math.exp(-t * 18) + 180  # falls from about 1 kHz
        phase += 2 * math.pi * frequency / RATE
        envelope = min(1.0, t / 0.004) * math.exp(-t * 35)
        yield int(round(12000 * envelope * math.sin(phase)))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "Plop sound.aif"
    frames = list(samples())
    sound = struct.pack(">%dh" % len(frames), *frames)
    comm = struct.pack(">hIh", 1, len(frames), 16) + extended80(RATE)
    ssnd = struct.pack(">II", 0, 0) + sound
    chunks = b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    data = b"FORM" + struct.pack(">I", 4 + len(chunks)) + b"AIFF" + chunks
    out.write_bytes(data)


if __name__ == "__main__":
    main()

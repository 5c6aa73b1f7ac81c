#!/usr/bin/env python3
"""Writes the test clip that the checker plays while it records.

A RIFF WAVE file of 3844 bytes: an 18-byte fmt chunk (PCM, mono, 11025
samples per second, 8 bits), a fact chunk, and 3786 unsigned 8-bit samples
of three loud tone bursts that reach full scale. The output is the same on
every run.

Usage: make_clip.py OUTPUT
"""
import math
import struct
import sys

RATE = 11025
FRAMES = 3786


def samples():
    out = bytearray()
    third = FRAMES // 3
    tones = (660.0, 880.0, 1100.0)
    for i in range(FRAMES):
        burst = min(i // third, 2)
        t = i / RATE
        # Overdriven sine: flat at 0 and 255 at the peaks, so the clip is
        # as loud as 8 bits allow.
        value = 128 + 160 * math.sin(2 * math.pi * tones[burst] * t)
        out.append(max(0, min(255, int(round(value)))))
    return bytes(out)


def wave_file():
    data = samples()
    fmt = struct.pack("<HHIIHHH", 1, 1, RATE, RATE, 1, 8, 0)
    body = (b"WAVE"
            + b"fmt " + struct.pack("<I", len(fmt)) + fmt
            + b"fact" + struct.pack("<II", 4, FRAMES)
            + b"data" + struct.pack("<I", len(data)) + data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "wb") as f:
        f.write(wave_file())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

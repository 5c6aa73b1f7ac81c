#!/usr/bin/env python3
"""The embedded test clip: its layout field by field, and that the generator
in resources/ still makes exactly the committed file."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLIP = os.path.join(ROOT, "resources", "threewav.wav")


class ClipLayout(unittest.TestCase):
    def setUp(self):
        with open(CLIP, "rb") as f:
            self.data = f.read()

    def field(self, offset, size):
        return self.data[offset:offset + size]

    def number(self, offset, size):
        return int.from_bytes(self.field(offset, size), "little")

    def test_riff_header(self):
        self.assertEqual(3844, len(self.data))
        self.assertEqual(b"RIFF", self.field(0, 4))
        self.assertEqual(3836, self.number(4, 4))
        self.assertEqual(b"WAVE", self.field(8, 4))

    def test_format_chunk(self):
        self.assertEqual(b"fmt ", self.field(12, 4))
        self.assertEqual(
            (18, 1, 1, 11025, 11025, 1, 8, 0),
            struct.unpack("<IHHIIHHH", self.field(16, 22)))

    def test_fact_and_data_chunks(self):
        self.assertEqual(b"fact", self.field(38, 4))
        self.assertEqual((4, 3786), struct.unpack("<II", self.field(42, 8)))
        self.assertEqual(b"data", self.field(50, 4))
        self.assertEqual(3786, self.number(54, 4))
        self.assertEqual(58 + 3786, len(self.data))

    def test_samples_are_loud_and_reach_full_scale(self):
        samples = self.data[58:]
        self.assertEqual(0, min(samples))
        self.assertEqual(255, max(samples))
        mean_deviation = sum(abs(s - 128) for s in samples) / len(samples)
        self.assertGreater(mean_deviation, 64)

    def test_generator_reproduces_the_committed_clip(self):
        with tempfile.TemporaryDirectory() as directory:
            made = os.path.join(directory, "clip.wav")
            subprocess.run([sys.executable,
                            os.path.join(ROOT, "resources", "make_clip.py"), made],
                           check=True)
            with open(made, "rb") as f:
                self.assertEqual(self.data, f.read())


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Writes Kestrelon's demo sound: five seconds of a synthesised voice-like sound
(a glottal pulse train through moving vowel formants, with vibrato), a rising
chirp and some noise, as a 44.1 kHz 16-bit mono WAV file.

Usage: make_demo.py OUT.wav

Uses the Python standard library only; the output is the same on every run.
"""

import math
import random
import struct
import sys
import wave

RATE = 44100
SECONDS = 5.0

# Formant frequencies and bandwidths (Hz) of the vowels the voice glides through.
VOWELS = {
    "a": ((800, 80), (1200, 90), (2500, 120)),
    "i": ((300, 60), (2300, 100), (3000, 120)),
    "u": ((320, 60), (800, 80), (2300, 120)),
    "e": ((500, 70), (1900, 90), (2600, 120)),
    "o": ((500, 70), (850, 80), (2500, 120)),
}
# (start second, end second, vowel) of each syllable.
SYLLABLES = [
    (0.20, 0.80, "a"),
    (0.95, 1.55, "i"),
    (1.70, 2.30, "u"),
    (2.45, 3.05, "e"),
    (3.20, 4.00, "o"),
]


class Resonator:
    """Two-pole resonator whose centre frequency and bandwidth can move."""

    def __init__(self):
        self.y1 = 0.0
        self.y2 = 0.0

    def step(self, x, freq, bandwidth):
        r = math.exp(-math.pi * bandwidth / RATE)
        a1 = 2.0 * r * math.cos(2.0 * math.pi * freq / RATE)
        a2 = -r * r
        gain = 1.0 - r
        y = gain * x + a1 * self.y1 + a2 * self.y2
        self.y2 = self.y1
        self.y1 = y
        return y


def syllable_at(t):
    """Envelope (0..1) and formants of the voice at time t."""
    for start, end, vowel in SYLLABLES:
        if start <= t < end:
            attack = min(1.0, (t - start) / 0.05)
            release = min(1.0, (end - t) / 0.08)
            return min(attack, release), VOWELS[vowel]
    return 0.0, VOWELS["a"]


def synthesise():
    rng = random.Random(20261208)
    resonators = [Resonator() for _ in range(3)]
    count = int(RATE * SECONDS)
    samples = []
    phase = 0.0
    chirp_phase = 0.0
    formants = VOWELS["a"]
    dc_in = dc_out = 0.0  # DC blocker: the pulse train has a mean
    for n in range(count):
        t = n / RATE
        envelope, target = syllable_at(t)
        # Glide the formants towards the current vowel.
        formants = tuple(
            (f + 0.002 * (tf - f), b + 0.002 * (tb - b))
            for (f, b), (tf, tb) in zip(formants, target)
        )
        # Pitch: a falling intonation with a 5.5 Hz vibrato.
        f0 = 150.0 - 25.0 * t / SECONDS + 3.0 * math.sin(2.0 * math.pi * 5.5 * t)
        phase += f0 / RATE
        pulse = 0.0
        if phase >= 1.0:
            phase -= 1.0
            pulse = 1.0
        source = pulse + 0.02 * (rng.random() - 0.5)
        voice = 0.0
        for resonator, (freq, bandwidth) in zip(resonators, formants):
            voice += resonator.step(source, freq, bandwidth)
        dc_out = voice - dc_in + 0.995 * dc_out
        dc_in = voice
        voice = 6.0 * envelope * dc_out

        # Rising chirp from 300 Hz to 8 kHz between 0.5 s and 4.5 s.
        chirp = 0.0
        if 0.5 <= t < 4.5:
            u = (t - 0.5) / 4.0
            freq = 300.0 * (8000.0 / 300.0) ** u
            chirp_phase += 2.0 * math.pi * freq / RATE
            chirp = 0.12 * math.sin(chirp_phase) * math.sin(math.pi * u) ** 0.5

        # Background hiss, and a burst of noise near the end.
        noise = 0.01 * rng.gauss(0.0, 1.0)
        if 4.2 <= t < 4.6:
            noise += 0.08 * rng.gauss(0.0, 1.0) * math.sin(math.pi * (t - 4.2) / 0.4)

        samples.append(voice + chirp + noise)

    peak = max(abs(s) for s in samples) or 1.0
    scale = 0.8 * 32767.0 / peak
    return [max(-32768, min(32767, int(round(s * scale)))) for s in samples]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_demo.py OUT.wav\n")
        return 2
    data = synthesise()
    with wave.open(argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % len(data), *data))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

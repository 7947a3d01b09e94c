#!/usr/bin/env python3
"""Generates the program's two alert sounds, ts.wav and ts1.wav.

Both are short two-note chimes (16-bit mono PCM, 22,050 Hz) made from sine
waves with a soft attack and an exponential decay, so they are pleasant at any
volume. ts.wav rises (channels 0-3), ts1.wav falls (channels 4-7), so the two
groups of channels can be told apart by ear.
"""
import math
import struct
import sys
import wave

RATE = 22050


def note(freq, seconds, volume=0.45):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        attack = min(1.0, t / 0.01)
        decay = math.exp(-4.0 * t / seconds)
        s = math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(2 * math.pi * 2 * freq * t)
        out.append(volume * attack * decay * s / 1.3)
    return out


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32767)) for s in samples))


def main(folder):
    write(f"{folder}/ts.wav", note(880.0, 0.18) + note(1318.5, 0.35))
    write(f"{folder}/ts1.wav", note(1174.7, 0.18) + note(784.0, 0.35))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")

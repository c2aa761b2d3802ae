#!/usr/bin/env python3
# Writes data/default.wav, the program's fallback new-mail sound: two short rising tones with soft
# edges, 16-bit mono PCM at 22050 Hz, about 0.3 s long.
import math
import os
import struct
import wave

RATE = 22050
TONES = [(880.0, 0.13), (1318.5, 0.17)]  # frequency (Hz), length (s)
FADE = 0.012                              # fade in and out (s), avoids clicks
VOLUME = 0.45


def samples():
    for freq, length in TONES:
        count = int(RATE * length)
        fade = int(RATE * FADE)
        for i in range(count):
            edge = min(1.0, i / fade, (count - 1 - i) / fade)
            yield VOLUME * edge * math.sin(2 * math.pi * freq * i / RATE)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "default.wav")
    frames = b"".join(struct.pack("<h", int(round(s * 32767))) for s in samples())
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


if __name__ == "__main__":
    main()

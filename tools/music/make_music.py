#!/usr/bin/env python3
"""Synthesises Quillmere's background music and encodes it with lame.

An upbeat chiptune loop in A minor at 150 beats a minute: 40 bars, exactly 64 seconds, four voices
(a 25 % pulse lead, a 12.5 % pulse arpeggio, a triangle bass and noise drums). Note tails that run
past the last bar are folded back onto the first, so the end flows into the start. The output is
an MP3 of MPEG-1 Layer III frames at 48,000 Hz, two channels, variable bit rate with its Xing
information frame, behind an ID3v2 tag.

Usage: make_music.py OUT.mp3 [--seconds N]   (--seconds cuts a shorter loop, for test fixtures)
Needs Python 3 and Debian's lame. The PCM is deterministic; lame makes the same bytes each run.
"""

import argparse
import array
import math
import os
import subprocess
import sys
import tempfile
import wave

RATE = 48000
BPM = 150
STEP = RATE * 60 // BPM // 4  # one sixteenth note: 4,800 frames
STEPS_PER_BAR = 16

NOTE_INDEX = {"C": 0, "C#": 1, "D": 2, "D#": 3, "E": 4, "F": 5, "F#": 6, "G": 7, "G#": 8,
              "A": 9, "A#": 10, "B": 11}


def midi(name):
    """'A4' -> 69."""
    pitch, octave = name[:-1], int(name[-1])
    return 12 * (octave + 1) + NOTE_INDEX[pitch]


def frequency(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


# Chords by root and quality; the lead and the arpeggio take their tones from these.
CHORDS = {
    "Am": ("A3", (0, 3, 7)), "F": ("F3", (0, 4, 7)), "C": ("C3", (0, 4, 7)),
    "G": ("G3", (0, 4, 7)), "Dm": ("D3", (0, 3, 7)), "E": ("E3", (0, 4, 7)),
    "Em": ("E3", (0, 3, 7)),
}

SECTIONS = [
    ("theme", ["Am", "F", "C", "G", "Am", "F", "G", "E"]),
    ("answer", ["F", "G", "Em", "Am", "F", "G", "Am", "E"]),
    ("theme", ["Am", "F", "C", "G", "Am", "F", "G", "E"]),
    ("bridge", ["Dm", "Am", "Dm", "E", "F", "G", "Am", "E"]),
    ("theme_high", ["Am", "F", "C", "G", "Am", "F", "G", "E"]),
]

# Lead rhythms: (step, length in steps) within a bar.
RHYTHMS = [
    [(0, 3), (3, 3), (6, 2), (8, 4), (12, 2), (14, 2)],
    [(0, 2), (2, 2), (4, 4), (8, 2), (10, 2), (12, 4)],
    [(0, 4), (4, 2), (6, 2), (8, 3), (11, 3), (14, 2)],
    [(0, 6), (6, 2), (8, 8)],
]


class Lcg:
    """A small fixed generator, so that every run composes the same tune."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return self.state

    def pick(self, items):
        return items[self.next() % len(items)]


def chord_tones(chord, low, high):
    root, intervals = CHORDS[chord]
    base = midi(root)
    tones = []
    for octave in range(-2, 4):
        for interval in intervals:
            n = base + 12 * octave + interval
            if low <= n <= high:
                tones.append(n)
    return sorted(tones)


def compose_lead(chords, seed, low, high):
    """Notes (start step, length, midi) for one 8-bar section; stepwise over chord tones."""
    rng = Lcg(seed)
    notes = []
    previous = None
    for bar, chord in enumerate(chords):
        rhythm = RHYTHMS[(bar + seed) % len(RHYTHMS)] if bar % 4 != 3 else RHYTHMS[3]
        tones = chord_tones(chord, low, high)
        for step, length in rhythm:
            if previous is None:
                choice = tones[len(tones) // 2]
            else:
                near = sorted(tones, key=lambda t: (abs(t - previous), t))[:3]
                choice = rng.pick(near) if rng.next() % 4 else rng.pick(tones)
            previous = choice
            notes.append((bar * STEPS_PER_BAR + step, length, choice))
    return notes


def envelope(length, attack, release, sustain):
    env = array.array("d", [sustain]) * length
    for i in range(min(attack, length)):
        env[i] = i / attack
    for i in range(min(release, length)):
        env[length - 1 - i] *= i / release
    return env


_cache = {}


def pulse(note, frames, duty, volume):
    key = ("pulse", note, frames, duty, volume)
    if key not in _cache:
        period = RATE / frequency(note)
        env = envelope(frames, 96, 480, 1.0)
        out = array.array("d", bytes(8 * frames))
        for i in range(frames):
            decay = 1.0 - 0.35 * min(1.0, i / (RATE * 0.4))
            out[i] = (volume if (i % period) / period < duty else -volume) * env[i] * decay
        _cache[key] = out
    return _cache[key]


def triangle(note, frames, volume):
    key = ("triangle", note, frames, volume)
    if key not in _cache:
        period = RATE / frequency(note)
        env = envelope(frames, 48, 600, 1.0)
        out = array.array("d", bytes(8 * frames))
        for i in range(frames):
            phase = (i % period) / period
            value = 4.0 * phase - 1.0 if phase < 0.5 else 3.0 - 4.0 * phase
            out[i] = value * volume * env[i]
        _cache[key] = out
    return _cache[key]


def noise(frames, volume, decay, seed, tone=0.0):
    key = ("noise", frames, volume, decay, seed, tone)
    if key not in _cache:
        lfsr = seed
        out = array.array("d", bytes(8 * frames))
        for i in range(frames):
            bit = (lfsr ^ (lfsr >> 1)) & 1
            lfsr = (lfsr >> 1) | (bit << 14)
            value = 1.0 if lfsr & 1 else -1.0
            if tone:
                value = 0.5 * value + 0.5 * math.sin(2 * math.pi * tone * i / RATE)
            out[i] = value * volume * math.exp(-i / (RATE * decay))
        _cache[key] = out
    return _cache[key]


def kick(volume):
    key = ("kick", volume)
    if key not in _cache:
        frames = RATE // 6
        out = array.array("d", bytes(8 * frames))
        phase = 0.0
        for i in range(frames):
            f = 50.0 + 110.0 * math.exp(-i / (RATE * 0.03))
            phase += 2 * math.pi * f / RATE
            out[i] = math.sin(phase) * volume * math.exp(-i / (RATE * 0.07))
        _cache[key] = out
    return _cache[key]


class Mix:
    def __init__(self, frames):
        self.frames = frames
        self.left = array.array("d", bytes(8 * frames))
        self.right = array.array("d", bytes(8 * frames))

    def add(self, start, samples, pan):
        """pan 0 = left, 1 = right; a tail past the end wraps onto the start."""
        gain_l = math.cos(pan * math.pi / 2) * math.sqrt(2)
        gain_r = math.sin(pan * math.pi / 2) * math.sqrt(2)
        left, right, n = self.left, self.right, self.frames
        position = start % n
        for value in samples:
            left[position] += value * gain_l
            right[position] += value * gain_r
            position += 1
            if position == n:
                position = 0


def render(total_bars):
    mix = Mix(total_bars * STEPS_PER_BAR * STEP)
    bar_offset = 0
    leads = {
        "theme": compose_lead(SECTIONS[0][1], 7, midi("A4"), midi("E6")),
        "answer": compose_lead(SECTIONS[1][1], 11, midi("C5"), midi("G6")),
        "bridge": compose_lead(SECTIONS[3][1], 3, midi("A4"), midi("A5")),
    }
    leads["theme_high"] = [(s, l, n + 12) for s, l, n in leads["theme"]]
    for name, chords in SECTIONS:
        for step, length, note in leads[name]:
            at = (bar_offset * STEPS_PER_BAR + step) * STEP
            if at < mix.frames:
                mix.add(at, pulse(note, length * STEP - 240, 0.25, 0.16), 0.5)
        for bar, chord in enumerate(chords):
            first = (bar_offset + bar) * STEPS_PER_BAR * STEP
            if first >= mix.frames:
                break
            tones = chord_tones(chord, midi("A4"), midi("A5"))[:3]
            root = midi(CHORDS[chord][0]) - 12
            for step in range(STEPS_PER_BAR):
                at = first + step * STEP
                mix.add(at, pulse(tones[step % 3] + (12 if step % 6 == 5 else 0),
                                  STEP - 600, 0.125, 0.07), 0.7)
                if step % 2 == 0:
                    mix.add(at, triangle(root + (12 if step % 4 == 2 else 0), 2 * STEP - 300,
                                         0.30), 0.5)
                if step % 4 == 0:
                    mix.add(at, kick(0.45), 0.5)
                if step % 8 == 4:
                    mix.add(at, noise(RATE // 8, 0.20, 0.05, 0x4A5A, tone=190.0), 0.45)
                mix.add(at, noise(RATE // 30, 0.06 if step % 2 else 0.09, 0.008, 0x1F3D), 0.25)
        bar_offset += len(chords)
    return mix


def write_wave(path, mix):
    peak = max(max(map(abs, mix.left)), max(map(abs, mix.right)))
    scale = 0.89 * 32767 / peak
    pcm = array.array("h", bytes(4 * mix.frames))
    for i in range(mix.frames):
        pcm[2 * i] = int(round(mix.left[i] * scale))
        pcm[2 * i + 1] = int(round(mix.right[i] * scale))
    if sys.byteorder != "little":
        pcm.byteswap()
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(pcm.tobytes())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--seconds", type=float, default=None,
                        help="cut the loop to this many seconds (whole bars of 1.6 s)")
    args = parser.parse_args()
    bars = sum(len(chords) for _, chords in SECTIONS)
    if args.seconds is not None:
        bars = max(1, min(bars, int(args.seconds / 1.6)))
    mix = render(bars)
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "music.wav")
        write_wave(source, mix)
        subprocess.run(["lame", "--quiet", "-V", "4", "-m", "j", "--resample", "48",
                        "--add-id3v2", "--id3v2-only", "--pad-id3v2-size", "1024",
                        "--tt", "Quillmere Loop", "--ta", "Quillmere", "--tc",
                        "Synthesised by tools/music/make_music.py", source, args.output],
                       check=True)
    print(f"{args.output}: {mix.frames / RATE:.1f} s, {os.path.getsize(args.output)} bytes")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the small MP3 streams the decoder's tests cut into frames.

tone_mono.mp3 and tone_stereo.mp3: half a second of a 440 Hz tone at 48,000 Hz, constant bit rate
(32 and 64 kbit/s, so every frame is 96 or 192 bytes), no information frame, no tag, and no bit
reservoir, so that any frame decodes on its own and the streams can be cut and joined frame by
frame. Usage: make_test_frames.py FOLDER   (needs Debian's lame)
"""

import array
import math
import os
import subprocess
import sys
import tempfile
import wave

RATE = 48000


def tone(path, channels):
    frames = RATE // 2
    pcm = array.array("h")
    for i in range(frames):
        value = int(12000 * math.sin(2 * math.pi * 440 * i / RATE))
        pcm.extend([value] * channels if channels == 1 else [value, -value // 2])
    if sys.byteorder != "little":
        pcm.byteswap()
    with wave.open(path, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(pcm.tobytes())


def main():
    folder = sys.argv[1]
    with tempfile.TemporaryDirectory() as scratch:
        for name, channels, bitrate in (("tone_mono", 1, 32), ("tone_stereo", 2, 64)):
            source = os.path.join(scratch, name + ".wav")
            tone(source, channels)
            target = os.path.join(folder, name + ".mp3")
            subprocess.run(["lame", "--quiet", "--cbr", "-b", str(bitrate), "--resample", "48",
                            "--nores", "-t",
                            "-m", "m" if channels == 1 else "s", source, target], check=True)
            print(f"{target}: {os.path.getsize(target)} bytes")


if __name__ == "__main__":
    main()

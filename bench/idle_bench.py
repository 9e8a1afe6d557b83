#!/usr/bin/env python3
"""What the idle program costs the machine.

Starts the real Linux program on the X server named by DISPLAY, with the cabinet simulator as its
tool and no cabinet, and measures the processor time it takes (all its threads, and the tool runs
it has waited for) over a stretch of seconds with the window shown, then with it minimised. It
does so twice, with frame pacing as the program has it and with QUILLMERE_FRAME_PACING=off, and
prints the figures side by side. It asserts nothing.

Without a window manager the window is minimised as a window manager does it: it is unmapped.
Standard library only; needs xwininfo and xdotool.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def ticks_per_second():
    return os.sysconf(os.sysconf_names["SC_CLK_TCK"])


def cpu_seconds(pid):
    """User and system time of the process and of the children it has waited for."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # After the name: state is field 3; utime, stime, cutime, cstime are fields 14 to 17.
    utime, stime, cutime, cstime = (int(v) for v in fields[11:15])
    return (utime + stime + cutime + cstime) / ticks_per_second()


def find_window(title):
    out = subprocess.run(["xwininfo", "-root", "-children"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL).stdout.decode("utf-8", "replace")
    for line in out.splitlines():
        found = re.match(r'\s*(0x[0-9a-f]+) "(.*)":', line)
        if found and found.group(2) == title:
            return int(found.group(1), 16)
    return None


def wait_for(what, probe, seconds=30.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    raise SystemExit("idle_bench: %s did not happen within %.0f s" % (what, seconds))


def measure(program, seconds, paced):
    root = tempfile.mkdtemp(prefix="quillmere-idle-bench-")
    try:
        state = os.path.join(root, "cabinet")
        runtime = os.path.join(root, "runtime")
        temporary = os.path.join(root, "tmp")
        os.makedirs(state)
        os.makedirs(runtime, mode=0o700)
        os.makedirs(temporary)
        with open(os.path.join(state, "link"), "w") as f:
            f.write("none\n")
        env = dict(os.environ, CABINET_SIM_STATE=state, XDG_RUNTIME_DIR=runtime,
                   TMPDIR=temporary, SDL_AUDIODRIVER="dummy")
        if not paced:
            env["QUILLMERE_FRAME_PACING"] = "off"
        process = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            window = wait_for("the window", lambda: find_window("Quillmere"))
            time.sleep(2.0)  # start-up's own work (the music's decode) is over
            figures = []
            for minimise in (False, True):
                if minimise:
                    subprocess.run(["xdotool", "windowunmap", str(window)], check=True)
                    time.sleep(1.0)
                start_cpu, start = cpu_seconds(process.pid), time.monotonic()
                time.sleep(seconds)
                used = cpu_seconds(process.pid) - start_cpu
                figures.append(used / (time.monotonic() - start))
            return figures
        finally:
            process.kill()
            process.wait()
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", help="the Linux build's Quillmere")
    parser.add_argument("--seconds", type=float, default=20.0,
                        help="length of each measurement (default 20)")
    args = parser.parse_args()
    paced = measure(args.program, args.seconds, True)
    unpaced = measure(args.program, args.seconds, False)
    print("idle program, processor seconds per second over %.0f s each:" % args.seconds)
    print("  %-22s %12s %12s" % ("", "paced", "pacing off"))
    print("  %-22s %12.3f %12.3f" % ("window shown", paced[0], unpaced[0]))
    print("  %-22s %12.3f %12.3f" % ("window minimised", paced[1], unpaced[1]))
    if paced[0] > 0:
        print("  minimised / shown (paced): %.3f" % (paced[1] / paced[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main())

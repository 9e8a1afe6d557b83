#!/usr/bin/env python3
"""The user's journeys in the real window.

Starts the real program (the native build, or the Windows build under Wine) on the X server named
by DISPLAY, with the cabinet simulator it carries as its tool and a fresh simulated cabinet for
every session. It moves the real cursor, clicks and presses keys with xdotool, reads the screen
with ImageMagick's `import`, and checks what a person sees (pixels at the drawn controls, the
titles of the message boxes) and what the cabinet received (the simulator's log and the folders
it was sent).

Prints GoogleTest-style lines, so that scripts/test counts the sessions like any other suite.
Standard library only.
"""
import argparse
import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

WINDOW_SIZE = 626
# Window-local places of the drawn controls (origin top-left, y down), as the shader draws them.
PRIMARY = (92, WINDOW_SIZE - 68)  # centre; half extents 46 x 20
HELP = (268, WINDOW_SIZE - 68)  # centre; half extents 122 x 20
HALF_WIDTH = {PRIMARY: 46, HELP: 122}
SOUND_ICON = (49, 43)
CLOSE_ICON = (WINDOW_SIZE - 49, 43)
STATUS_BLOCK = (400, 525, 600, 590)  # left, top, right, bottom around the status lines
EMPTY_SPOT = (313, 100)  # the title's band: no control there
SCREEN_MIDDLE = (313, 300)  # on the animated screen
HELP_TITLE = "How To Enable USB Debugging"
INSTALL_TITLE = "Install complete"
OPENER = """#!/bin/sh
# Stands in for the desktop's opener: records what it was asked to open.
printf '%s\\n' "$*" >>"$OPENER_RECORD"
"""


class JourneyFailed(Exception):
    pass


def run(*command, check=True, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if check and result.returncode != 0:
        raise JourneyFailed("%s failed: %s" % (" ".join(command), result.stderr.decode().strip()))
    return result


def wait_until(what, probe, seconds=20.0, every=0.1):
    """Polls `probe` until it gives something true; fails naming `what` after the deadline."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise JourneyFailed("%s (waited %.0f s)" % (what, seconds))
        time.sleep(every)


# ---- the screen --------------------------------------------------------------------------------


class Shot:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def save(self, path):
        subprocess.run(["convert", "-size", "%dx%d" % (self.width, self.height), "-depth", "8",
                        "rgb:-", path], input=self.rgb, check=False)


def screen_size():
    out = run("xdotool", "getdisplaygeometry").stdout.split()
    return int(out[0]), int(out[1])


def screenshot():
    width, height = screen_size()
    rgb = run("import", "-window", "root", "-depth", "8", "rgb:-").stdout
    if len(rgb) != width * height * 3:
        raise JourneyFailed("the screenshot has %d bytes, not %d" % (len(rgb), width * height * 3))
    return Shot(width, height, rgb)


def top_windows():
    """The screen's top-level windows: id, name, x, y, width, height.

    Read with xwininfo, which also reads the UTF-8 names that SDL gives its boxes and that
    `xdotool search` does not match."""
    out = run("xwininfo", "-root", "-children").stdout.decode("utf-8", "replace")
    windows = []
    for line in out.splitlines():
        # 0x200006 "Quillmere": ("Quillmere" "Quillmere")  626x626+327+199  +327+199
        found = re.match(r'\s*(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', line)
        if found:
            ident, name, width, height, x, y = found.groups()
            windows.append((int(ident, 16), name, int(x), int(y), int(width), int(height)))
    return windows


def find_windows(title):
    return [w[0] for w in top_windows() if w[1] == title]


def window_geometry(window):
    for w in top_windows():
        if w[0] == window:
            return w[2:]
    raise JourneyFailed("the window 0x%x is gone" % window)


def window_origin(window):
    return tuple(window_geometry(window)[:2])


def window_size(window):
    return tuple(window_geometry(window)[2:])


def ask_to_close(window):
    """What a window manager sends when the user closes a window: WM_DELETE_WINDOW."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.c_void_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 16)]  # XEvent is 24 longs

    display = xlib.XOpenDisplay(None)
    if not display:
        raise JourneyFailed("the X display could not be opened")
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = window
    event.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.data[1] = 0  # CurrentTime
    xlib.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    xlib.XFlush(display)
    xlib.XCloseDisplay(display)


# ---- reading the drawn controls ----------------------------------------------------------------


def outline_colour(rgb):
    r, g, b = rgb
    if r > 200 and g > 170 and b < 120:
        return "gold"
    if b > 190 and r < 90 and g < 150:
        return "blue"
    return "none"


def button_outline(shot, origin, button):
    """The outline's colour at three places on the top edge and on the left edge of a button."""
    ox, oy = origin
    cx, cy = button
    top = cy - 20
    left = cx - HALF_WIDTH[button]
    places = [[(cx + dx, top + dy) for dy in (-2, -1, 0, 1)] for dx in (-20, 0, 20)]
    places.append([(left + dx, cy) for dx in (-2, -1, 0, 1)])
    found = set()
    for group in places:
        # The brightest pixel of each short cross-section is the outline's middle.
        best = max((shot.pixel(ox + x, oy + y) for x, y in group), key=sum)
        found.add(outline_colour(best))
    return found.pop() if len(found) == 1 else "mixed"


def label_extent(shot, origin):
    """Left and right columns of the primary button's light label pixels, or None."""
    ox, oy = origin
    columns = [x for x in range(PRIMARY[0] - 40, PRIMARY[0] + 40)
               if any(min(shot.pixel(ox + x, oy + y)) > 200
                      for y in range(PRIMARY[1] - 12, PRIMARY[1] + 12))]
    return (columns[0], columns[-1]) if columns else None


def status_ink(shot, origin):
    """How many pixels of the status block have the status lines' light grey."""
    ox, oy = origin
    left, top, right, bottom = STATUS_BLOCK
    count = 0
    for y in range(top, bottom):
        for x in range(left, right):
            r, g, b = shot.pixel(ox + x, oy + y)
            if min(r, g, b) > 140 and max(r, g, b) - min(r, g, b) < 30:
                count += 1
    return count


def region(shot, origin, centre, half_x, half_y):
    ox, oy = origin
    cx, cy = centre
    return [shot.pixel(ox + x, oy + y) for y in range(cy - half_y, cy + half_y)
            for x in range(cx - half_x, cx + half_x)]


def difference(a, b):
    return sum(abs(p - q) for pa, pb in zip(a, b) for p, q in zip(pa, pb)) / max(len(a), 1)


# ---- the platforms -----------------------------------------------------------------------------


class Linux:
    name = "linux"
    may_stay = None
    line_end = b"\n"
    own_group = True

    def __init__(self, build):
        self.program = os.path.join(build, "Quillmere")

    def command(self, executable):
        return [executable]

    def state_name(self, folder):
        return folder

    def local_path(self, logged):
        return logged

    def close_by_system(self, window):
        ask_to_close(window)
        return "WM_DELETE_WINDOW"

    def press_box_button(self, box, which):
        """SDL's X11 box: Return takes its Return default; other buttons are clicked."""
        if which == "default":
            focus_and_key(box, "Return")
            return
        shot = screenshot()
        buttons = sdl_box_buttons(shot, box)
        if len(buttons) != 2:
            shot.save(os.path.join(self.out, "box-buttons.png"))
            raise JourneyFailed("found %d buttons in the box, not 2" % len(buttons))
        x, y = buttons[0 if which == "first" else 1]
        run("xdotool", "mousemove", str(x), str(y), "click", "1")


class Windows:
    name = "windows"
    may_stay = ["adb.exe"]
    line_end = b"\r\n"
    own_group = False

    def __init__(self, build, prefix):
        self.program = os.path.join(build, "Quillmere.exe")
        self.prefix = prefix

    def command(self, executable):
        return ["wine", executable]

    def state_name(self, folder):
        return "Z:" + folder.replace("/", "\\")

    def local_path(self, logged):
        """A Windows path as the simulator logs it, in the host's file system."""
        drive, rest = logged[0].lower(), logged[2:].replace("\\", "/").strip("/")
        here = "/" if drive == "z" else os.path.join(self.prefix, "drive_%s" % drive)
        for part in [p for p in rest.split("/") if p]:
            names = {n.lower(): n for n in os.listdir(here)} if os.path.isdir(here) else {}
            here = os.path.join(here, names.get(part.lower(), part))
        return here

    def close_by_system(self, window):
        # The system close of a Windows window: Alt+F4, which the default handling turns into
        # the close command.
        focus_and_key(window, "alt+F4")
        return "Alt+F4"

    def press_box_button(self, box, which):
        # The system box: Return takes the default button, the buttons' letters the others.
        focus_and_key(box, {"default": "Return", "first": "y", "second": "n"}[which])


def focus_and_key(window, key):
    # There is no window manager: the window is given the keyboard as a click would give it.
    run("xdotool", "windowfocus", str(window), check=False)
    run("xdotool", "key", "--clearmodifiers", key)


def sdl_box_buttons(shot, box):
    """Centres of the buttons SDL draws in its X11 box: runs of its button fill colour."""
    bx, by = window_origin(box)
    width, height = window_size(box)
    fill = (105, 102, 99)
    rows = {}
    for y in range(by + height // 2, by + height):
        xs = [x for x in range(bx, bx + width) if shot.pixel(x, y) == fill]
        if xs:
            rows[y] = xs
    if not rows:
        return []
    # Above and below their labels the buttons' fill runs unbroken: the row with most of it.
    middle = max(sorted(rows), key=lambda y: len(rows[y]))
    xs = rows[middle]
    runs = []
    start = previous = xs[0]
    for x in xs[1:] + [None]:
        if x is None or x != previous + 1:
            if previous - start > 10:
                runs.append(((start + previous) // 2, middle))
            if x is not None:
                start = x
        if x is not None:
            previous = x
    return runs


# ---- one session with the program --------------------------------------------------------------


class Session:
    """The program started afresh beside its own disc folders, with its own simulated cabinet."""

    def __init__(self, platform, out, name, link="none", discs=None, mod_installed=False,
                 faults="", env=None, files=None):
        self.platform, self.out, self.name = platform, out, name
        self.discs = discs or {}
        self.root = tempfile.mkdtemp(prefix="journey-%s-" % name)
        self.state = os.path.join(self.root, "cabinet")
        os.makedirs(self.state)
        self.write("link", link + "\n")
        if mod_installed:
            os.makedirs(os.path.join(self.state, "packages"))
            self.write("packages/com.arcade", "data")
            self.write("packages/com.zezuz.oneupvantormd17", "data")
        if faults:
            self.write("faults", faults)
        for file_name, text in (files or {}).items():
            self.write(file_name, text)
        self.folder = os.path.join(self.root, "program")
        os.makedirs(self.folder)
        self.executable = os.path.join(self.folder, os.path.basename(platform.program))
        shutil.copy2(platform.program, self.executable)
        for disc, files in (discs or {}).items():
            for file_name, data in files.items():
                path = os.path.join(self.folder, "discs", disc, file_name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
        opener_dir = os.path.join(self.root, "opener")
        os.makedirs(opener_dir)
        opener = os.path.join(opener_dir, "xdg-open")
        with open(opener, "w") as f:
            f.write(OPENER)
        os.chmod(opener, 0o755)
        self.opened = os.path.join(self.root, "opened")
        self.temporary = os.path.join(self.root, "tmp")
        os.makedirs(self.temporary)
        # The session's own runtime folder, where the program keeps the lock of the only copy: a
        # copy started by another test run on this machine is no copy of this session's.
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.env = dict(os.environ)
        self.env.update(CABINET_SIM_STATE=platform.state_name(self.state), TMPDIR=self.temporary,
                        XDG_RUNTIME_DIR=self.runtime, OPENER_RECORD=self.opened,
                        PATH=opener_dir + os.pathsep + self.env["PATH"])
        self.env.update(env or {})
        self.output = open(os.path.join(self.root, "output.txt"), "wb")
        self.others = []
        self.process = self.start_copy()
        self.window = None
        self.shot = None

    def start_copy(self, **env):
        """Starts the program (once more) beside the same disc folders, in the same environment."""
        process = subprocess.Popen(self.platform.command(self.executable), cwd=self.folder,
                                   env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                                   stdout=self.output, stderr=subprocess.STDOUT,
                                   start_new_session=self.platform.own_group)
        if hasattr(self, "process"):
            self.others.append(process)
        return process

    # The simulated cabinet.
    def write(self, name, text):
        with open(os.path.join(self.state, name), "w") as f:
            f.write(text)

    # Each line: the simulator's folder, the ANDROID_SERIAL it got, then the arguments.
    def log(self):
        try:
            with open(os.path.join(self.state, "log"), encoding="utf-8") as f:
                return [line.rstrip("\n").split("\t") for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def commands(self):
        return [" ".join(entry[2:]) for entry in self.log()]

    def work_folder(self):
        entries = self.log()
        return self.platform.local_path(entries[0][0]) if entries else None

    # The window.
    def wait_for_window(self):
        def shown():
            if self.process.poll() is not None:
                raise JourneyFailed("the program ended with %s before its window showed"
                                    % self.process.returncode)
            windows = find_windows("Quillmere")
            return windows[0] if windows else None
        self.window = wait_until("the Quillmere window appears", shown, 30)
        # SDL makes a shaped window off the screen and puts it in its place once it has its
        # shape.
        width, height = screen_size()
        wait_until("the window is on the screen at its full size",
                   lambda: window_size(self.window) == (WINDOW_SIZE, WINDOW_SIZE) and all(
                       0 <= v <= limit - WINDOW_SIZE
                       for v, limit in zip(window_origin(self.window), (width, height))))

    def origin(self):
        return window_origin(self.window)

    def look(self):
        self.shot = screenshot()
        return self.shot

    def wait_for_look(self, what, probe, seconds=20.0):
        """Takes screenshots until `probe(shot, origin)` holds."""
        origin = self.origin()
        return wait_until(what, lambda: probe(self.look(), origin), seconds, every=0.2)

    def wait_for_frames(self, count):
        """Waits until the animated screen has changed `count` times: the main loop has gone
        round, handling the messages that came before, at least `count` - 1 times."""
        origin = self.origin()
        last = region(self.look(), origin, SCREEN_MIDDLE, 10, 10)
        for _ in range(count):
            def changed():
                nonlocal last
                now = region(self.look(), origin, SCREEN_MIDDLE, 10, 10)
                if now == last:
                    return False
                last = now
                return True
            wait_until("the program draws a new frame", changed, every=0.02)

    def point(self, place):
        ox, oy = self.origin()
        return ox + place[0], oy + place[1]

    def move_to(self, place):
        x, y = self.point(place)
        run("xdotool", "mousemove", str(x), str(y))

    def click(self, place):
        self.move_to(place)
        run("xdotool", "mousedown", "1")
        run("xdotool", "mouseup", "1")

    def wait_for_box(self, title, seconds=30.0):
        return wait_until('the "%s" box appears' % title,
                          lambda: (find_windows(title) or [None])[0], seconds)

    def wait_box_gone(self, title):
        wait_until('the "%s" box closes' % title, lambda: not find_windows(title))

    def still_running(self):
        if self.process.poll() is not None:
            raise JourneyFailed("the program ended (%s)" % self.process.returncode)

    def wait_exit(self, how):
        try:
            code = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise JourneyFailed("the program is still running 20 s after %s" % how)
        if code != 0:
            raise JourneyFailed("%s: the program ended with %d, not 0" % (how, code))
        folder = self.work_folder()
        if folder is None:
            raise JourneyFailed("the cabinet was never asked anything")
        left = os.listdir(folder) if os.path.exists(folder) else None
        # On Windows the tool of the adb server, which goes on running, cannot be deleted.
        if left is not None and left != self.platform.may_stay:
            raise JourneyFailed("%s: the work folder %s is left behind: %s"
                                % (how, folder, left))

    def finish(self, passed):
        # On Linux whatever the program started goes with it, so that nothing of this session (a
        # box that SDL shows from a process of its own) is left on the screen for the next. Under
        # Wine the boxes are the program's own, and its group may hold the Wine server and the
        # desktop that the next session needs.
        for process in [self.process] + self.others:
            try:
                if self.platform.own_group:
                    os.killpg(process.pid, 9)
                else:
                    process.kill()
            except ProcessLookupError:
                pass
            process.wait()
        self.output.close()
        if not passed:
            for name, path in (("output", os.path.join(self.root, "output.txt")),
                               ("cabinet-log", os.path.join(self.state, "log"))):
                if os.path.exists(path):
                    shutil.copy(path, os.path.join(self.out, "%s-%s.txt" % (self.name, name)))
        # The lingering simulator server notices its folder has gone and ends.
        shutil.rmtree(self.root, ignore_errors=True)


# ---- the journeys ------------------------------------------------------------------------------


class Steps:
    """Names the journey and step under way, for the failure message and the saved screen."""

    def __init__(self, session):
        self.session = session
        self.journey = None
        self.step = None

    def __call__(self, journey, step):
        self.journey, self.step = journey, step
        print("  journey %s: %s" % (journey, step), flush=True)


def primary_outline(shot, origin):
    return button_outline(shot, origin, PRIMARY)


def session_no_cabinet(s, step):
    step(1, "the window shows the help button and the status lines, and no primary button")
    s.wait_for_window()
    s.wait_for_look("the status lines are drawn", lambda shot, o: status_ink(shot, o) > 150)
    s.wait_for_look("the help button is drawn",
                    lambda shot, o: button_outline(shot, o, HELP) == "blue")
    wait_until("the cabinet is asked at least twice",
               lambda: s.commands().count("devices") >= 2)
    shot, origin = s.look(), s.origin()
    if primary_outline(shot, origin) != "none" or label_extent(shot, origin) is not None:
        raise JourneyFailed("a primary button is drawn with no cabinet (outline %s, label %s)"
                            % (primary_outline(shot, origin), label_extent(shot, origin)))
    # The test machines have no sound device: the program says so and runs on silently.
    s.output.flush()
    with open(os.path.join(s.root, "output.txt"), "rb") as f:
        said = f.read()
    # Windows' C library writes its line ends as CR LF.
    if b"Warning: Could not start MP3 playback" + s.platform.line_end not in said:
        raise JourneyFailed("without a sound device the program did not warn: %r" % said[-300:])
    s.still_running()

    step(9, "the sound icon's look flips on every click")
    s.move_to(EMPTY_SPOT)
    before = region(s.look(), s.origin(), SOUND_ICON, 16, 14)
    s.click(SOUND_ICON)
    s.wait_for_look("the sound icon changes after the first click",
                    lambda shot, o: difference(region(shot, o, SOUND_ICON, 16, 14), before) > 8)
    s.click(SOUND_ICON)
    s.wait_for_look("the sound icon looks as before after the second click",
                    lambda shot, o: difference(region(shot, o, SOUND_ICON, 16, 14), before) < 1)

    step(8, 'the help button opens "%s"; No opens nothing' % HELP_TITLE)
    s.click(HELP)
    box = s.wait_for_box(HELP_TITLE)
    s.platform.press_box_button(box, "default")  # No is the default
    s.wait_box_gone(HELP_TITLE)
    s.still_running()

    step(8, "Yes hands the help video's address to the system's opener")
    s.click(HELP)
    box = s.wait_for_box(HELP_TITLE)
    s.platform.press_box_button(box, "first")  # Yes
    s.wait_box_gone(HELP_TITLE)
    opened = wait_until("the opener is given the address",
                        lambda: os.path.exists(s.opened) and open(s.opened).read())
    if opened.splitlines() != [s.platform.help_url]:
        raise JourneyFailed("the opener was asked %r, not once for %s (so No opened something?)"
                            % (opened.splitlines(), s.platform.help_url))

    step(7, "dragging from an empty spot moves the window by the cursor's movement")
    # A hand's steps, each unlike the one before: the cursor then always moves over the window,
    # which has just followed the previous step.
    start = s.origin()
    x, y = s.point(EMPTY_SPOT)
    run("xdotool", "mousemove", str(x), str(y), "mousedown", "1")
    # The hand rests on the press until the program has handled it: it takes the drag's offset
    # from where the cursor is then, so a move before that would become part of the offset.
    s.wait_for_frames(2)
    moved = (0, 0)
    for i, (dx, dy) in enumerate([(-7, 4), (-12, 9), (-5, 3), (-14, 10), (-9, 5), (-16, 12)]):
        moved = (moved[0] + dx, moved[1] + dy)
        run("xdotool", "mousemove", str(x + moved[0]), str(y + moved[1]))
        expected = (start[0] + moved[0], start[1] + moved[1])
        try:
            wait_until("the window follows the cursor", lambda: s.origin() == expected, 10)
        except JourneyFailed as error:
            raise JourneyFailed("%s: after move %d it is at %s, not at %s (it started at %s)"
                                % (error, i + 1, s.origin(), expected, start))
    run("xdotool", "mouseup", "1")
    run("xdotool", "mousemove", str(x + moved[0] + 40), str(y + moved[1] + 30))
    wait_until("the window stays where it was dropped", lambda: s.origin() == expected)

    step(6, "the close icon ends the program with 0 and leaves no work folder")
    s.click(CLOSE_ICON)
    s.wait_exit("the close icon")


DISCS = {
    "Star Gunner": {"disc.cue": b"FILE \"disc.bin\" BINARY\n", "disc.bin": bytes(range(256)) * 64},
    "Pinball": {"track01.bin": b"\x00\xff" * 3000},
}


def expect_sequence(s, first, expected):
    """The cabinet's commands from `first` on, less the status poller's, as expected."""
    commands = s.commands()
    if first not in commands:
        raise JourneyFailed("the cabinet never received %r" % first)
    got = [c for c in commands[commands.index(first):]
           if c not in ("devices", "shell pm path com.arcade")]
    # The disc folders go in the order the folder listing gives them.
    pushes = [i for i, c in enumerate(got) if c.startswith("push ")]
    if pushes and pushes == list(range(pushes[0], pushes[-1] + 1)):
        got[pushes[0]:pushes[-1] + 1] = sorted(got[pushes[0]:pushes[-1] + 1])
    if got != expected:
        raise JourneyFailed("the cabinet received\n    %s\n  not\n    %s"
                            % ("\n    ".join(got), "\n    ".join(expected)))


def pushes_of(s):
    return [c for c in s.commands() if c.startswith("push ")]


def install_sequence(s):
    pushes = sorted(pushes_of(s))
    return (["start-server", "shell am force-stop com.arcade",
             "shell am force-stop com.zezuz.oneupvantormd17", "install -r Emulator.apk",
             "install -r Launcher.apk", "shell mkdir -p /sdcard/roms/system /sdcard/roms/saves"]
            + pushes + ["shell am start -n com.arcade/.activity.VantorHomeActivity"])


def check_installed(s):
    for package, payload in (("com.zezuz.oneupvantormd17", "Emulator.apk"),
                             ("com.arcade", "Launcher.apk")):
        with open(os.path.join(s.platform.standins, payload), "rb") as f:
            carried = f.read()
        with open(os.path.join(s.state, "installed", package + ".apk"), "rb") as f:
            received = f.read()
        if received != carried:
            raise JourneyFailed("%s on the cabinet is not the carried %s" % (package, payload))
    for disc, files in s.discs.items():
        for file_name, data in files.items():
            path = os.path.join(s.state, "sdcard", "roms", disc, file_name)
            if not os.path.exists(path):
                raise JourneyFailed("the cabinet has no /sdcard/roms/%s/%s" % (disc, file_name))
            with open(path, "rb") as f:
                if f.read() != data:
                    raise JourneyFailed("/sdcard/roms/%s/%s differs" % (disc, file_name))
    pushes = sorted(pushes_of(s))
    for push, disc in zip(pushes, sorted(s.discs)):
        source = push[len("push "):-len(" /sdcard/roms/")]
        if not source.replace("\\", "/").endswith("/discs/" + disc):
            raise JourneyFailed("%r does not push the disc folder %s" % (push, disc))
    if len(pushes) != len(s.discs):
        raise JourneyFailed("%d pushes for %d disc folders" % (len(pushes), len(s.discs)))


def close_install_box(s):
    box = s.wait_for_box(INSTALL_TITLE)
    s.platform.press_box_button(box, "default")
    s.wait_box_gone(INSTALL_TITLE)
    s.still_running()
    s.wait_for_look("the status lines are drawn after the box",
                    lambda shot, o: status_ink(shot, o) > 150)


def session_install(s, step):
    step(2, "the cabinet is plugged in: INSTALL appears")
    s.wait_for_window()
    s.move_to(EMPTY_SPOT)
    wait_until("the cabinet is asked", lambda: "devices" in s.commands())
    if primary_outline(s.look(), s.origin()) != "none":
        raise JourneyFailed("a primary button is drawn before the cabinet is plugged in")
    s.write("link", "ready\n")
    s.wait_for_look("the INSTALL button appears",
                    lambda shot, o: primary_outline(shot, o) == "blue" and label_extent(shot, o),
                    10)
    s.platform.install_label = label_extent(s.shot, s.origin())

    step(2, "the cursor over INSTALL lights its outline gold, away from it it dims again")
    s.move_to(PRIMARY)
    s.wait_for_look("the outline turns gold", lambda shot, o: primary_outline(shot, o) == "gold")
    s.move_to(EMPTY_SPOT)
    s.wait_for_look("the outline dims", lambda shot, o: primary_outline(shot, o) == "blue")

    step(3, "a click on INSTALL installs the packages and the disc folders")
    s.click(PRIMARY)
    close_install_box(s)
    expect_sequence(s, "start-server", install_sequence(s))
    check_installed(s)

    step(6, "Escape ends the program with 0 and leaves no work folder")
    s.move_to(EMPTY_SPOT)
    focus_and_key(s.window, "Escape")
    s.wait_exit("Escape")


RESTORE_SEQUENCE = ["start-server", "shell am force-stop com.arcade",
                    "shell am force-stop com.zezuz.oneupvantormd17",
                    "uninstall com.zezuz.oneupvantormd17", "uninstall com.arcade",
                    "shell am start -n com.arcade/.activity.VantorHomeActivity"]


def session_restore(s, step):
    step(4, "with the modification on the cabinet the button reads RESTORE")
    s.wait_for_window()
    s.move_to(EMPTY_SPOT)
    s.wait_for_look("the primary button appears",
                    lambda shot, o: primary_outline(shot, o) == "blue" and label_extent(shot, o),
                    10)
    wait_until("the cabinet is asked where the launcher lives",
               lambda: "shell pm path com.arcade" in s.commands())
    label = s.wait_for_look("the label is wider than INSTALL",
                            lambda shot, o: (lambda e: e and e[1] - e[0] > 50 and e)(
                                label_extent(shot, o)))
    install_label = getattr(s.platform, "install_label", None)
    if install_label is not None and label == install_label:
        raise JourneyFailed("the label is drawn exactly as INSTALL was")

    step(4, "a click on RESTORE takes the modification off")
    s.click(PRIMARY)
    wait_until("the restore ends by starting the home screen",
               lambda: RESTORE_SEQUENCE[-1] in s.commands())
    expect_sequence(s, "start-server", RESTORE_SEQUENCE)
    for package in ("com.arcade", "com.zezuz.oneupvantormd17"):
        with open(os.path.join(s.state, "packages", package)) as f:
            if f.read().split()[0] != "system":
                raise JourneyFailed("%s is not back to the cabinet's own copy" % package)
    if find_windows(INSTALL_TITLE):
        raise JourneyFailed("the restore showed the install box")
    s.still_running()

    step(6, "the system close ends the program with 0 and leaves no work folder")
    how = s.platform.close_by_system(s.window)
    s.wait_exit("the system close (%s)" % how)


def session_authorise(s, step):
    step(5, "an unauthorised cabinet is authorised during the wait; the install goes on")
    s.wait_for_window()
    s.move_to(EMPTY_SPOT)
    s.wait_for_look("the INSTALL button appears",
                    lambda shot, o: primary_outline(shot, o) == "blue", 10)
    status_before = region(s.look(), s.origin(), (500, 557), 100, 32)
    s.click(PRIMARY)
    # The server's start is held back (a fault) until the cabinet has turned unauthorised.
    wait_until("the operation starts the server", lambda: "start-server" in s.commands())
    s.write("link", "unauthorized\n")
    count = lambda: s.commands()[s.commands().index("start-server"):].count("devices")
    wait_until("the operation waits through two unauthorised answers", lambda: count() >= 2)
    if any(c.startswith("install") for c in s.commands()):
        raise JourneyFailed("the install went on while the cabinet was unauthorised")
    s.wait_for_look("the status lines change while waiting",
                    lambda shot, o: difference(region(shot, o, (500, 557), 100, 32),
                                               status_before) > 2)
    s.write("link", "ready\n")
    close_install_box(s)
    expect_sequence(s, "start-server", install_sequence(s))
    check_installed(s)

    step(6, "the close icon ends the program after an install")
    s.click(CLOSE_ICON)
    s.wait_exit("the close icon")


DISCS_IN_ANY_LANGUAGE = {
    "Αθήνα 2004": {"disc.bin": b"\x01" * 700},
    "ゲームの世界": {"track01.bin": b"\x02" * 900, "トラック.cue": b"FILE"},
    "🎮 Arcade ✨": {"disc.iso": b"\x03" * 500},
}


def session_names_in_any_language(s, step):
    step(3, "disc folders named in Greek, Japanese and with emoji reach the cabinet intact")
    s.wait_for_window()
    s.move_to(EMPTY_SPOT)
    s.wait_for_look("the INSTALL button appears",
                    lambda shot, o: primary_outline(shot, o) == "blue", 10)
    s.click(PRIMARY)
    close_install_box(s)
    expect_sequence(s, "start-server", install_sequence(s))
    check_installed(s)

    step(6, "the close icon ends the program")
    s.click(CLOSE_ICON)
    s.wait_exit("the close icon")


def wait_for_one_exit(processes, what):
    """Waits until one of the processes has ended; returns it."""
    return wait_until(what, lambda: next((p for p in processes if p.poll() is not None), None),
                      40)


def work_folders_used(s):
    return sorted(set(entry[0] for entry in s.log()))


def viewable(window):
    out = run("xwininfo", "-id", str(window), check=False).stdout.decode("utf-8", "replace")
    return "Map State: IsViewable" in out


def session_two_copies(s, step):
    step(10, "two copies started at once: the second ends with 0, one window, one work folder")
    second = s.start_copy()
    ended = wait_for_one_exit([s.process, second], "one of the two copies ends")
    if ended.returncode != 0:
        raise JourneyFailed("the second copy ended with %d, not 0" % ended.returncode)
    if ended is s.process:  # the copy started second won the race: it is the one that runs
        s.process, s.others = second, [ended]
    s.wait_for_window()
    wait_until("the cabinet is asked twice", lambda: s.commands().count("devices") >= 2)
    if len(find_windows("Quillmere")) != 1:
        raise JourneyFailed("%d windows are shown" % len(find_windows("Quillmere")))
    if len(work_folders_used(s)) != 1:
        raise JourneyFailed("the tool ran from %s" % work_folders_used(s))
    if s.platform.name == "linux":
        made = [n for n in os.listdir(s.temporary) if n.startswith("Quillmere_")]
        if len(made) != 1:
            raise JourneyFailed("the temporary folder holds %s" % made)
    s.still_running()

    if s.platform.name == "linux":
        step(10, "a copy started while the window is minimised brings it back and ends with 0")
        # Without a window manager the window is iconified as one would: it is unmapped.
        run("xdotool", "windowunmap", str(s.window))
        wait_until("the window is minimised", lambda: not viewable(s.window))
        third = s.start_copy()
        wait_for_one_exit([third], "the third copy ends")
        if third.returncode != 0:
            raise JourneyFailed("the third copy ended with %d, not 0" % third.returncode)
        wait_until("the window is shown again", lambda: viewable(s.window))
        s.wait_for_frames(2)

        step(10, 'where the window cannot be raised, "Quillmere is already running." is said')
        with OtherScreen() as other:
            fourth = s.start_copy(DISPLAY=other.display)
            box = wait_until("the box appears on the copy's screen",
                             lambda: (other.find_windows("Quillmere") or [None])[0], 30)
            other.press(box, "Return")
            wait_for_one_exit([fourth], "the copy with the box ends")
            if fourth.returncode != 0:
                raise JourneyFailed("the copy with the box ended with %d" % fourth.returncode)
        if len(work_folders_used(s)) != 1:
            raise JourneyFailed("the tool ran from %s" % work_folders_used(s))
    s.still_running()

    step(6, "the close icon ends the copy that ran")
    s.click(CLOSE_ICON)
    s.wait_exit("the close icon")


class OtherScreen:
    """A second virtual screen, on which a copy of the program cannot find the first's window."""

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise JourneyFailed("a second virtual screen could not be started")
        self.display = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        self.server.terminate()
        self.server.wait()

    def find_windows(self, title):
        out = run("xwininfo", "-display", self.display, "-root", "-children").stdout.decode(
            "utf-8", "replace")
        return [int(m.group(1), 16) for m in
                (re.match(r'\s*(0x[0-9a-f]+) "(.*)":', line) for line in out.splitlines())
                if m and m.group(2) == title]

    def press(self, window, key):
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["xdotool", "windowfocus", str(window)], env=env, check=False)
        subprocess.run(["xdotool", "key", "--clearmodifiers", key], env=env, check=True)


def session_old_opengl(s, step):
    step(11, 'OpenGL 3.0: "OpenGL Init Failed!" is the one box, and the program ends with 1')
    box = s.wait_for_box("Error")
    others = [t for t in ("Shader Compilation Error", "Shader Linking Error", "Font Error")
              if find_windows(t)]
    if others:
        raise JourneyFailed("boxes besides the one: %s" % others)
    s.platform.press_box_button(box, "default")
    try:
        code = s.process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise JourneyFailed("the program is still running 20 s after its box was closed")
    if code != 1:
        raise JourneyFailed("the program ended with %d, not 1" % code)
    if s.commands():
        raise JourneyFailed("the cabinet was asked %s" % s.commands())


# A disc folder of 6 MB, which the simulated cabinet takes in at 1 MB a second.
SLOW_DISCS = {"Arcade Archive": {"disc.bin": bytes(range(256)) * 24000}}
# The line under three status lines ("Copying discs...", the folder, "(this can take a while)"):
# its baseline lies 40 pixels above the window's bottom edge.
PROGRESS_BAND = (400, WINDOW_SIZE - 40 - 11, WINDOW_SIZE - 6, WINDOW_SIZE - 40 + 4)


def progress_band(shot, origin):
    left, top, right, bottom = PROGRESS_BAND
    return region(shot, origin, ((left + right) // 2, (top + bottom) // 2), (right - left) // 2,
                  (bottom - top) // 2)


def session_slow_copy(s, step):
    step(3, "a slow copy of a large disc folder shows its progress line moving")
    s.wait_for_window()
    s.move_to(EMPTY_SPOT)
    s.wait_for_look("the INSTALL button appears",
                    lambda shot, o: primary_outline(shot, o) == "blue", 10)
    s.click(PRIMARY)
    wait_until("the disc copy begins", lambda: bool(pushes_of(s)), 60)
    origin = s.origin()
    looks = []
    end = time.time() + 90
    while not find_windows(INSTALL_TITLE):
        if time.time() > end:
            raise JourneyFailed("the install did not end within 90 s")
        band = progress_band(screenshot(), origin)
        if not looks or difference(band, looks[-1]) > 0.5:
            looks.append(band)
        time.sleep(0.2)
    if len(looks) < 4:
        raise JourneyFailed("the progress line changed %d times before the box, not 3 or more"
                            % (len(looks) - 1))
    close_install_box(s)
    expect_sequence(s, "start-server", install_sequence(s))

    step(6, "the close icon ends the program after the slow install")
    s.click(CLOSE_ICON)
    s.wait_exit("the close icon")


SESSIONS = [
    ("NoCabinet", session_no_cabinet, dict()),
    ("PlugInAndInstall", session_install, dict(discs=DISCS)),
    ("RestoreTheModification", session_restore, dict(link="ready", mod_installed=True)),
    ("AuthoriseDuringTheWait", session_authorise,
     dict(link="ready", discs=DISCS, faults="start-server\t1\tdelay\t2500\n")),
    ("NamesInAnyLanguage", session_names_in_any_language,
     dict(link="ready", discs=DISCS_IN_ANY_LANGUAGE)),
    ("TwoCopiesAtOnce", session_two_copies, dict()),
    ("OldOpenGL", session_old_opengl, dict(env=dict(MESA_GL_VERSION_OVERRIDE="3.0"))),
    ("SlowCopyShowsItsProgress", session_slow_copy,
     dict(link="ready", discs=SLOW_DISCS, files={"transfer-rate": "1000000\n"})),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("platform", choices=["linux", "windows"])
    parser.add_argument("--build", help="the preset's build folder (default build/PLATFORM)")
    parser.add_argument("--wine-prefix", default=os.environ.get("WINEPREFIX"))
    parser.add_argument("--filter", default="", help="run only sessions whose name has this")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = os.path.abspath(args.build or os.path.join(root, "build", args.platform))
    if args.platform == "linux":
        platform = Linux(build)
    else:
        if not args.wine_prefix:
            parser.error("the Windows journeys need WINEPREFIX or --wine-prefix")
        platform = Windows(build, args.wine_prefix)
    platform.standins = os.path.join(build, "standins")
    platform.help_url = read_help_url(build)
    out = os.path.join(build, "journeys")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    platform.out = out

    chosen = [entry for entry in SESSIONS if args.filter in entry[0]]
    print("[==========] Running %d journey sessions (%s)." % (len(chosen), platform.name),
          flush=True)
    failed = []
    started = time.monotonic()
    for name, body, options in chosen:
        print("[ RUN      ] Journeys.%s" % name, flush=True)
        began = time.monotonic()
        session = Session(platform, out, name, **options)
        step = Steps(session)
        passed = False
        try:
            body(session, step)
            passed = True
        except Exception as error:  # every failure is reported the same way
            picture = os.path.join(out, "%s-journey%s.png" % (name, step.journey))
            try:
                screenshot().save(picture)
            except Exception:
                picture = "(no screenshot)"
            detail = str(error) if isinstance(error, JourneyFailed) else traceback.format_exc()
            print("journey %s, step \"%s\" failed: %s\n  screen: %s\n  cabinet log:\n    %s\n"
                  "  program output: %s" % (step.journey, step.step, detail, picture,
                                            "\n    ".join(session.commands()[-40:]),
                                            os.path.join(out, name + "-output.txt")),
                  flush=True)
        finally:
            session.finish(passed)
        ms = int((time.monotonic() - began) * 1000)
        if passed:
            print("[       OK ] Journeys.%s (%d ms)" % (name, ms), flush=True)
        else:
            print("[  FAILED  ] Journeys.%s (%d ms)" % (name, ms), flush=True)
            failed.append(name)
    print("[==========] %d journey sessions ran. (%d ms total)"
          % (len(chosen), int((time.monotonic() - started) * 1000)))
    print("[  PASSED  ] %d tests." % (len(chosen) - len(failed)))
    if failed:
        print("[  FAILED  ] %d test%s, listed below:" % (len(failed), "s" if len(failed) > 1 else ""))
        for name in failed:
            print("[  FAILED  ] Journeys.%s" % name)
    return 1 if failed else 0


def read_help_url(build):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("QUILLMERE_HELP_VIDEO_URL:"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("QUILLMERE_HELP_VIDEO_URL is not in %s/CMakeCache.txt" % build)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""An emulated arcade cabinet for the real adb server: it listens on a loopback port and, after
`adb connect 127.0.0.1:PORT`, plays an Android device over adb's wire protocol.

    emulated_cabinet.py --state DIR --host-key HOME/.android/adbkey.pub [--device phone]

--device phone plays an owner's phone instead of the cabinet: a phone's banner, neither of the
cabinet's packages (`pm path com.arcade` answers nothing, exit 1, as a phone without it does),
and a package installed on it is removed outright by an uninstall. Two instances (two ports, two
state folders) make two devices at once; each keeps what reached it in its own state folder.

The state folder is the test's window on the cabinet:
  port          written once the fixture listens (the port number and a line end)
  control.json  read again whenever it changes: {"mode": ..., "allow": ..., "features": [...],
                "storage_free": N, "drop_during_install": K, "sdcard_free": N,
                "drop_during_push": N, "drop_during_uninstall": K, "rate": N}
                mode: ready (the host's own key is let in), unauthorized (every signature
                gets a new token), authorizing (as unauthorized, until "allow" is set: then the
                host's public key is let in), offline (the host's CNXN is never answered),
                gone (nothing at the end of the cable; set by the fixture itself when it drops
                the link, see the drop_ fields; adb's server then shows it offline, and
                reconnects by itself, within about a second, once the mode is "ready" again);
                storage_free: installs of larger packages fail for want of room;
                drop_during_install: the link drops half-way through the K-th install's bytes;
                sdcard_free: bytes of pushed files /sdcard has room for; the file whose data
                goes past it fails as adbd's write does (FAIL "write failed: No space left on
                device" at once, the rest of its DATA read and dropped, the half-written file
                removed, the sync stream closed after its DONE);
                drop_during_push: the link drops once N bytes of pushed file data (DATA
                payloads, counted over every push since the fixture started) have arrived; the
                file being sent is not kept;
                drop_during_uninstall: the link drops once the K-th uninstall's service (`cmd
                package uninstall` or `pm uninstall`) is opened, before it answers;
                rate: bytes per second at which the fixture takes in push (sync) and install
                stream bytes; it does not read the link meanwhile, so the adb server and the
                sockets hold what the host has written beyond that
  root/         the cabinet's files: root/sdcard/roms/..., root/data/local/tmp/...
  packages.json where each package lives ("system" or "data"), written after every change
  received/     install-N.apk: the bytes of the N-th package install that reached the cabinet
  services.log  every service the host opened, one a line
  intake.log    one line per packet of push or install stream bytes taken in: wall-clock
                seconds and the bytes taken in so far (sync headers included), "T.ttt N"

Only the Python standard library is used.
"""

import argparse
import base64
import json
import os
import selectors
import shlex
import signal
import socket
import struct
import sys
import time

A_CNXN = 0x4E584E43
A_AUTH = 0x48545541
A_OPEN = 0x4E45504F
A_OKAY = 0x59414B4F
A_CLSE = 0x45534C43
A_WRTE = 0x45545257

AUTH_TOKEN = 1
AUTH_SIGNATURE = 2
AUTH_RSAPUBLICKEY = 3

DEVICE_VERSION = 0x01000001
DEVICE_MAXDATA = 256 * 1024
BEFORE_CNXN_MAXDATA = 4096

DEFAULT_FEATURES = ["shell_v2", "cmd", "fixed_push_mkdir"]

SHA1_DIGEST_INFO = bytes.fromhex("3021300906052b0e03021a05000414")

LAUNCHER = "com.arcade"
EMULATOR = "com.zezuz.oneupvantormd17"
SYSTEM_PATHS = {
    LAUNCHER: "/system/priv-app/ArcadeLauncher/ArcadeLauncher.apk",
    EMULATOR: "/system/app/" + EMULATOR + "/" + EMULATOR + ".apk",
}
DATA_PATHS = {
    LAUNCHER: "/data/app/~~xSy7YPp-Dl1DeQIUB8XJMA==/com.arcade-qbVqw-KmdgSqSB0HPsNr7g==/base.apk",
    EMULATOR: "/data/app/~~xSy7YPp-Dl1DeQIUB8XJMA==/" + EMULATOR + "-1/base.apk",
}

# What each kind of device says of itself in its banner, and the packages its system carries.
DEVICES = {
    "cabinet": ("ro.product.name=vantor;ro.product.model=Arcade Cabinet;ro.product.device=vantor",
                (LAUNCHER, EMULATOR)),
    "phone": ("ro.product.name=sunfish;ro.product.model=Pixel 4a;ro.product.device=sunfish", ()),
}

# A package's name, as its manifest would give it. The carried stand-ins begin with a line that
# names the file they stand for; that line is this cabinet's manifest.
STANDIN_NAMES = {
    b"Quillmere stand-in for Emulator.apk": EMULATOR,
    b"Quillmere stand-in for Launcher.apk": LAUNCHER,
}


def log(text):
    sys.stderr.write("emulated_cabinet: " + text + "\n")
    sys.stderr.flush()


# ---- The cabinet's state ---------------------------------------------------------------------


class Cabinet:
    def __init__(self, state_dir, host_key_path, device):
        self.dir = state_dir
        self.host_key_path = host_key_path
        self.root = os.path.join(state_dir, "root")
        self.received = os.path.join(state_dir, "received")
        for folder in (self.root, self.received, self.sdcard_path("/sdcard/roms"),
                       self.sdcard_path("/data/local/tmp")):
            os.makedirs(folder, exist_ok=True)
        self.properties, self.system_packages = DEVICES[device]
        self.packages = {package: "system" for package in self.system_packages}
        self.save_packages()
        self.installs = 0
        self.installs_started = 0
        self.uninstalls_started = 0
        self.pushed = 0  # bytes of pushed file data that arrived, over every push
        self.sdcard_used = 0  # bytes of pushed files kept below /sdcard
        self.taken_in = 0  # push and install stream bytes taken in
        self.control = {}
        self.control_stamp = None
        self.read_control()

    # The control file, read again when its time stamp or size changes.
    def read_control(self):
        path = os.path.join(self.dir, "control.json")
        try:
            info = os.stat(path)
            stamp = (info.st_mtime_ns, info.st_size, info.st_ino)
        except OSError:
            stamp = None
        if stamp == self.control_stamp:
            return False
        self.control_stamp = stamp
        try:
            with open(path, "r", encoding="utf-8") as f:
                self.control = json.load(f)
        except (OSError, ValueError):
            self.control = {}
        return True

    def mode(self):
        return self.control.get("mode", "ready")

    def set_mode(self, mode):
        self.control["mode"] = mode
        path = os.path.join(self.dir, "control.json")
        with open(path + ".new", "w", encoding="utf-8") as f:
            json.dump(self.control, f)
        os.replace(path + ".new", path)
        self.read_control()

    def features(self):
        return self.control.get("features", DEFAULT_FEATURES)

    def storage_free(self):
        return self.control.get("storage_free")

    def rate(self):
        return self.control.get("rate")

    # The cable comes out: the link is gone and stays gone until the test says otherwise.
    def pull_cable(self, link):
        self.set_mode("gone")
        link.drop()

    def note_intake(self, count):
        self.taken_in += count
        with open(os.path.join(self.dir, "intake.log"), "a", encoding="utf-8") as f:
            f.write("%.3f %d\n" % (time.time(), self.taken_in))

    def save_packages(self):
        path = os.path.join(self.dir, "packages.json")
        with open(path + ".new", "w", encoding="utf-8") as f:
            json.dump(self.packages, f)
        os.replace(path + ".new", path)

    def note_service(self, service):
        with open(os.path.join(self.dir, "services.log"), "a", encoding="utf-8") as f:
            f.write(service + "\n")

    # A device path inside the cabinet's root; None for paths outside the few the fixture has.
    def sdcard_path(self, device_path):
        if not device_path.startswith("/"):
            return None
        parts = [p for p in device_path.split("/") if p not in ("", ".")]
        if ".." in parts:
            return None
        if parts[:1] == ["sdcard"] or parts[:3] == ["data", "local", "tmp"]:
            return os.path.join(self.root, *parts)
        return None

    def host_public_key(self):
        try:
            with open(self.host_key_path, "rb") as f:
                return f.read().split(b" ")[0].strip()
        except OSError:
            return None

    # The package manager: one install of `data`, answered as `pm` and `cmd package` answer.
    def install(self, data):
        self.installs += 1
        with open(os.path.join(self.received, "install-%d.apk" % self.installs), "wb") as f:
            f.write(data)
        package = STANDIN_NAMES.get(data.split(b"\n", 1)[0].split(b":", 1)[0])
        if package is None:
            return "Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse " \
                   "/data/app/vmdl1234.tmp/base.apk]\n"
        free = self.storage_free()
        if free is not None and len(data) > free:
            return "Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]\n"
        self.packages[package] = "data"
        self.save_packages()
        return "Success\n"

    def uninstall(self, package):
        # Removing an update of a system app brings the system's copy back; any other app goes.
        if self.packages.get(package) != "data":
            return "Failure [DELETE_FAILED_INTERNAL_ERROR]\n", 1
        if package in self.system_packages:
            self.packages[package] = "system"
        else:
            del self.packages[package]
        self.save_packages()
        return "Success\n", 0

    # One shell command line: (output, exit code).
    def shell(self, line):
        try:
            words = shlex.split(line)
        except ValueError:
            return "/system/bin/sh: syntax error: unterminated quoted string\n", 1
        if not words:
            return "", 0
        cmd = words[0]
        if cmd == "pm" and len(words) >= 3 and words[1] == "path":
            where = self.packages.get(words[-1])
            if where == "system":
                return "package:" + SYSTEM_PATHS[words[-1]] + "\n", 0
            if where == "data":
                return "package:" + DATA_PATHS[words[-1]] + "\n", 0
            return "", 1
        if cmd == "am" and len(words) >= 3 and words[1] == "force-stop":
            return "", 0
        if cmd == "am" and len(words) >= 4 and words[1] == "start" and "-n" in words[2:-1]:
            component = words[words.index("-n", 2) + 1]
            return "Starting: Intent { cmp=" + component + " }\n", 0
        if cmd == "mkdir":
            # toybox's mkdir: without -p an existing folder is an error, and it goes on.
            parents = "-p" in words[1:]
            output, code = "", 0
            for word in words[1:]:
                if word.startswith("-"):
                    continue
                local = self.sdcard_path(word)
                if local is None:
                    output, code = output + "mkdir: '" + word + "': Permission denied\n", 1
                elif os.path.isdir(local) and not parents:
                    output, code = output + "mkdir: '" + word + "': File exists\n", 1
                else:
                    os.makedirs(local, exist_ok=True)
            return output, code
        if cmd == "rm":
            for word in words[1:]:
                local = None if word.startswith("-") else self.sdcard_path(word)
                if local is not None and os.path.isfile(local):
                    os.remove(local)
            return "", 0
        if (cmd == "cmd" and words[1:3] == ["package", "uninstall"]) or \
                (cmd == "pm" and words[1:2] == ["uninstall"]):
            return self.uninstall(words[-1])
        if cmd == "pm" and words[1:2] == ["install"]:
            local = self.sdcard_path(words[-1])
            if local is None or not os.path.isfile(local):
                return "Failure [INSTALL_FAILED_INVALID_URI]\n", 1
            with open(local, "rb") as f:
                answer = self.install(f.read())
            return answer, 0 if answer.startswith("Success") else 1
        return "/system/bin/sh: " + cmd + ": not found\n", 127


# ---- Services: each turns the host's bytes into bytes for the host ----------------------------


class Service:
    """One stream's far end. `feed` takes the host's bytes; the service answers through
    `stream.send` and ends with `stream.finish`."""

    def __init__(self, stream):
        self.stream = stream

    def feed(self, data):
        pass


class ShellService(Service):
    def __init__(self, stream, options, command, shell_v2):
        super().__init__(stream)
        self.v2 = shell_v2 and "v2" in options
        output, code = stream.link.cabinet.shell(command)
        data = output.encode("utf-8")
        if self.v2:
            if data:
                stream.send(struct.pack("<BI", 1, len(data)) + data)
            stream.send(struct.pack("<BIB", 3, 1, code & 0xFF))
        elif data:
            stream.send(data)
        stream.finish()


class InstallService(Service):
    """`exec:cmd package 'install' ... -S SIZE`: the package's bytes, then one answer line."""

    def __init__(self, stream, size):
        super().__init__(stream)
        self.size = size
        self.data = bytearray()
        link = stream.link
        link.cabinet.installs_started += 1
        self.drop = link.cabinet.control.get("drop_during_install") == \
            link.cabinet.installs_started
        if size == 0:
            self.answer()

    def feed(self, data):
        self.data += data
        if self.drop and len(self.data) >= self.size // 2:
            self.stream.link.cabinet.pull_cable(self.stream.link)
            return
        if len(self.data) >= self.size:
            self.answer()

    def answer(self):
        self.stream.send(self.stream.link.cabinet.install(bytes(self.data[:self.size]))
                         .encode("utf-8"))
        self.stream.finish()


class Upload:
    """One SEND in progress."""

    def __init__(self, local, on_sdcard):
        self.local = local
        self.on_sdcard = on_sdcard
        self.data = bytearray()
        self.failed = False  # the write failed: the rest of the DATA is read and dropped


class SyncService(Service):
    """`sync:`: STAT, LIST, SEND (DATA chunks, DONE) and QUIT, over a byte stream that does not
    follow the packets' boundaries."""

    def __init__(self, stream):
        super().__init__(stream)
        self.buffer = bytearray()
        self.sending = None  # the Upload during a SEND

    def feed(self, data):
        self.buffer += data
        while not self.stream.link.dropped and self.step():
            pass

    def take(self, count):
        if len(self.buffer) < count:
            return None
        piece = bytes(self.buffer[:count])
        del self.buffer[:count]
        return piece

    def step(self):
        if len(self.buffer) < 8:
            return False
        ident, length = struct.unpack("<4sI", self.buffer[:8])
        if self.sending is not None:
            if ident == b"DATA":
                if len(self.buffer) < 8 + length:
                    return False
                self.take(8)
                self.receive(self.take(length))
                return True
            if ident == b"DONE":
                self.take(8)
                if self.sending.failed:
                    self.sending = None
                    self.stream.finish()  # adbd ends the sync service after a failed write
                    return False
                self.finish_send(length)
                return True
            self.fail("invalid data message")
            return False
        if ident in (b"STAT", b"LIST", b"SEND", b"RECV"):
            if len(self.buffer) < 8 + length:
                return False
            self.take(8)
            path = self.take(length).decode("utf-8", "surrogateescape")
            if ident == b"STAT":
                self.stat(path)
            elif ident == b"LIST":
                self.list(path)
            elif ident == b"SEND":
                self.begin_send(path)
            else:
                self.fail("unsupported: RECV")
            return True
        if ident == b"QUIT":
            self.take(8)
            self.stream.finish()
            return False
        self.fail("unknown sync command")
        return False

    @staticmethod
    def stat_of(local):
        try:
            info = os.stat(local)
        except OSError:
            return 0, 0, 0
        return info.st_mode & 0xFFFFFFFF, info.st_size & 0xFFFFFFFF, int(info.st_mtime)

    def stat(self, path):
        local = self.stream.link.cabinet.sdcard_path(path)
        if local is None and path in ("/", "/data", "/data/local"):
            mode, size, mtime = 0o40755, 4096, 0
        else:
            mode, size, mtime = self.stat_of(local) if local else (0, 0, 0)
        self.stream.send(b"STAT" + struct.pack("<III", mode, size, mtime))

    def list(self, path):
        local = self.stream.link.cabinet.sdcard_path(path)
        out = bytearray()
        if local and os.path.isdir(local):
            for name in [".", ".."] + sorted(os.listdir(local)):
                mode, size, mtime = self.stat_of(os.path.join(local, name))
                raw = name.encode("utf-8", "surrogateescape")
                out += b"DENT" + struct.pack("<IIII", mode, size, mtime, len(raw)) + raw
        out += b"DONE" + struct.pack("<IIII", 0, 0, 0, 0)
        self.stream.send(bytes(out))

    def begin_send(self, spec):
        path, _, _mode = spec.rpartition(",")
        if not path:
            path = spec
        local = self.stream.link.cabinet.sdcard_path(path)
        on_sdcard = local is not None and \
            [p for p in path.split("/") if p not in ("", ".")][:1] == ["sdcard"]
        self.sending = Upload(local, on_sdcard)

    def receive(self, piece):
        link = self.stream.link
        cabinet = link.cabinet
        upload = self.sending
        cabinet.pushed += len(piece)
        limit = cabinet.control.get("drop_during_push")
        if limit is not None and cabinet.pushed >= limit:
            self.remove_target()
            cabinet.pull_cable(link)
            return
        if upload.failed:
            return
        upload.data.extend(piece)
        free = cabinet.control.get("sdcard_free")
        if upload.on_sdcard and free is not None and \
                cabinet.sdcard_used - self.kept_size(upload) + len(upload.data) > free:
            # adbd writes each DATA as it comes; the write that finds no room fails the file.
            upload.failed = True
            self.remove_target()
            self.send_fail("write failed: No space left on device")

    # adbd unlinks a regular file it is about to replace, and the new one when the send fails.
    def remove_target(self):
        upload = self.sending
        if upload.local is not None and os.path.isfile(upload.local):
            if upload.on_sdcard:
                self.stream.link.cabinet.sdcard_used -= os.path.getsize(upload.local)
            os.remove(upload.local)

    @staticmethod
    def kept_size(upload):
        if upload.local is not None and os.path.isfile(upload.local):
            return os.path.getsize(upload.local)
        return 0

    def finish_send(self, mtime):
        upload = self.sending
        self.sending = None
        local = upload.local
        if local is None:
            self.fail("couldn't create file: Read-only file system")
            return
        try:
            replaced = self.kept_size(upload)
            # Parent folders are made on the way, as fixed_push_mkdir promises.
            os.makedirs(os.path.dirname(local), exist_ok=True)
            with open(local, "wb") as f:
                f.write(upload.data)
            os.utime(local, (mtime, mtime))
        except OSError as e:
            self.fail("couldn't create file: " + (e.strerror or "I/O error"))
            return
        if upload.on_sdcard:
            self.stream.link.cabinet.sdcard_used += len(upload.data) - replaced
        self.stream.send(b"OKAY" + struct.pack("<I", 0))

    def send_fail(self, message):
        raw = message.encode("utf-8")
        self.stream.send(b"FAIL" + struct.pack("<I", len(raw)) + raw)

    def fail(self, message):
        self.send_fail(message)
        self.stream.finish()


# ---- The transport: messages, the handshake and the streams ----------------------------------


class Stream:
    def __init__(self, link, local_id, remote_id):
        self.link = link
        self.local_id = local_id
        self.remote_id = remote_id
        self.outgoing = bytearray()
        self.awaiting_okay = False
        self.finishing = False
        self.closed = False
        self.service = None

    def send(self, data):
        self.outgoing += data
        self.pump()

    def finish(self):
        self.finishing = True
        self.pump()

    # One WRTE in flight: the next leaves only after the host's OKAY.
    def pump(self):
        if self.closed or self.awaiting_okay:
            return
        if self.outgoing:
            piece = bytes(self.outgoing[:self.link.maxdata])
            del self.outgoing[:len(piece)]
            self.awaiting_okay = True
            self.link.write(A_WRTE, self.local_id, self.remote_id, piece)
        elif self.finishing:
            self.close()

    def close(self):
        if not self.closed:
            self.closed = True
            self.link.write(A_CLSE, self.local_id, self.remote_id)
            self.link.streams.pop(self.local_id, None)


class Link:
    """One TCP connection from the adb server."""

    def __init__(self, cabinet, sock, selector):
        self.cabinet = cabinet
        self.sock = sock
        self.selector = selector
        self.inbox = bytearray()
        self.outbox = bytearray()
        self.online = False
        self.host_connected = False
        self.maxdata = BEFORE_CNXN_MAXDATA
        self.host_maxdata = BEFORE_CNXN_MAXDATA
        self.token = None
        self.waiting_for_allow = None  # the host's public key while the dialog shows
        self.streams = {}
        self.next_id = 1
        self.dropped = False
        self.features = []  # the banner's, fixed for the life of the connection
        self.held = None  # (when, message): a paced packet not yet taken in
        self.paced_until = 0.0  # when the paced bytes so far will all have been taken in

    # ---- bytes in and out
    def write(self, command, arg0, arg1, data=b""):
        check = sum(data) & 0xFFFFFFFF
        self.outbox += struct.pack("<6I", command, arg0, arg1, len(data), check,
                                   command ^ 0xFFFFFFFF) + data
        self.flush()

    def flush(self):
        while self.outbox and not self.dropped:
            try:
                sent = self.sock.send(self.outbox)
            except BlockingIOError:
                break
            except OSError:
                self.drop()
                return
            del self.outbox[:sent]
        self.watch()

    # While a paced packet waits, the link is not read: the host's bytes stay in the sockets.
    def watch(self):
        if self.dropped:
            return
        events = (selectors.EVENT_READ if self.held is None else 0) | \
            (selectors.EVENT_WRITE if self.outbox else 0)
        try:
            key = self.selector.get_key(self.sock)
        except KeyError:
            key = None
        if events == 0:
            if key is not None:
                self.selector.unregister(self.sock)
        elif key is None:
            self.selector.register(self.sock, events, self)
        elif key.events != events:
            self.selector.modify(self.sock, events, self)

    def readable(self):
        try:
            data = self.sock.recv(1 << 20)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            self.drop()
            return
        self.inbox += data
        self.take_messages()

    def take_messages(self):
        while not self.dropped and self.held is None and len(self.inbox) >= 24:
            command, arg0, arg1, length, _check, magic = struct.unpack("<6I", self.inbox[:24])
            if magic != command ^ 0xFFFFFFFF or length > max(self.maxdata, 1 << 20):
                log("bad message header; dropping the link")
                self.drop()
                return
            if len(self.inbox) < 24 + length:
                return
            payload = bytes(self.inbox[24:24 + length])
            del self.inbox[:24 + length]
            when = self.paced(command, arg1, payload)
            if when is not None:
                self.held = (when, (command, arg0, arg1, payload))
                self.watch()
                return
            self.handle(command, arg0, arg1, payload)

    # A stream that carries file bytes: a push's sync stream or an install's.
    def carries_files(self, local_id):
        stream = self.streams.get(local_id)
        return stream is not None and isinstance(stream.service, (SyncService, InstallService))

    # When a file-carrying packet has been taken in at the control file's rate; None for now.
    def paced(self, command, local_id, payload):
        rate = self.cabinet.rate()
        if not rate or command != A_WRTE or not self.carries_files(local_id):
            return None
        now = time.monotonic()
        self.paced_until = max(now, self.paced_until) + len(payload) / float(rate)
        return self.paced_until if self.paced_until > now else None

    # The held packet's time has come: take it in and go on reading.
    def release(self, now):
        if self.held is None or self.held[0] > now:
            return
        message = self.held[1]
        self.held = None
        self.handle(*message)
        self.take_messages()
        self.watch()

    def drop(self):
        if self.dropped:
            return
        self.dropped = True
        self.held = None
        try:
            self.selector.unregister(self.sock)
        except (KeyError, ValueError):
            pass
        self.sock.close()

    # ---- the handshake
    def banner(self):
        return ("device::" + self.cabinet.properties + ";features=" +
                ",".join(self.features)).encode("utf-8")

    def send_token(self):
        self.token = os.urandom(20)
        self.write(A_AUTH, AUTH_TOKEN, 0, self.token)

    def accept(self):
        self.online = True
        self.waiting_for_allow = None
        self.maxdata = min(DEVICE_MAXDATA, self.host_maxdata)
        self.features = list(self.cabinet.features())
        self.write(A_CNXN, DEVICE_VERSION, DEVICE_MAXDATA, self.banner())

    def signature_valid(self, signature):
        key = self.cabinet.host_public_key()
        if key is None or self.token is None:
            return False
        try:
            raw = base64.b64decode(key, validate=True)
            words, _n0inv = struct.unpack("<II", raw[:8])
            if words != 64 or len(raw) < 8 + 4 * 64 * 2 + 4:
                return False
            modulus = int.from_bytes(raw[8:8 + 256], "little")
            exponent = struct.unpack("<I", raw[8 + 512:8 + 516])[0]
        except (ValueError, struct.error):
            return False
        if len(signature) != 256:
            return False
        message = pow(int.from_bytes(signature, "big"), exponent, modulus).to_bytes(256, "big")
        expected = b"\x00\x01" + b"\xff" * (256 - 3 - 35) + b"\x00" + SHA1_DIGEST_INFO + self.token
        return message == expected

    def handle(self, command, arg0, arg1, payload):
        mode = self.cabinet.mode()
        if command == A_CNXN:
            self.host_connected = True
            self.host_maxdata = arg1
            if mode == "offline":
                return  # the cabinet never answers: the host shows it offline
            self.send_token()
            return
        if command == A_AUTH:
            if not self.host_connected or mode == "offline":
                return
            if arg0 == AUTH_SIGNATURE:
                if mode == "ready" and self.signature_valid(payload):
                    self.accept()
                else:
                    self.send_token()  # rejected: the host tries its next key
            elif arg0 == AUTH_RSAPUBLICKEY:
                if mode == "authorizing":
                    self.waiting_for_allow = payload.split(b" ")[0].rstrip(b"\0").strip()
                    self.maybe_allow()
            return
        if not self.online:
            return
        if command == A_OPEN:
            self.open(arg0, payload.rstrip(b"\0").decode("utf-8", "surrogateescape"))
        elif command == A_OKAY:
            stream = self.streams.get(arg1)
            if stream is not None and stream.remote_id == arg0:
                stream.awaiting_okay = False
                stream.pump()
        elif command == A_WRTE:
            stream = self.streams.get(arg1)
            if stream is None:
                return
            if self.carries_files(arg1):
                self.cabinet.note_intake(len(payload))
            stream.service.feed(payload)
            if not self.dropped and not stream.closed:
                self.write(A_OKAY, stream.local_id, stream.remote_id)
        elif command == A_CLSE:
            stream = self.streams.pop(arg1, None)
            if stream is not None and not stream.closed:
                stream.closed = True
                self.write(A_CLSE, stream.local_id, stream.remote_id)

    # The owner taps "Allow" on the dialog: the key that asked must be the host's own.
    def maybe_allow(self):
        if self.waiting_for_allow is None or self.online:
            return
        if not (self.cabinet.control.get("allow") or self.cabinet.mode() == "ready"):
            return
        if self.waiting_for_allow == self.cabinet.host_public_key():
            self.accept()

    # ---- the streams
    def open(self, remote_id, service):
        self.cabinet.note_service(service)
        stream = Stream(self, self.next_id, remote_id)
        self.next_id += 1
        if is_uninstall(service):
            self.cabinet.uninstalls_started += 1
            if self.cabinet.control.get("drop_during_uninstall") == \
                    self.cabinet.uninstalls_started:
                # The service is open; the cable comes out before it answers.
                self.write(A_OKAY, stream.local_id, remote_id)
                self.cabinet.pull_cable(self)
                return
        features = self.features
        made = None
        if service.startswith("shell"):
            options, _, command = service[len("shell"):].partition(":")
            made = lambda s: ShellService(s, options.split(","), command, "shell_v2" in features)
        elif service == "sync:":
            made = SyncService
        elif service.startswith("exec:cmd package 'install'") and "cmd" in features:
            size = None
            words = shlex.split(service[len("exec:"):])
            if "-S" in words and words.index("-S") + 1 < len(words):
                size = int(words[words.index("-S") + 1])
            if size is not None:
                made = lambda s: InstallService(s, size)
        elif service.startswith("exec:cmd ") and "cmd" in features:
            command = service[len("exec:"):]
            made = lambda s: ExecService(s, command)
        if made is None:
            self.write(A_CLSE, 0, remote_id)  # refused
            return
        self.streams[stream.local_id] = stream
        self.write(A_OKAY, stream.local_id, remote_id)
        stream.service = made(stream)


# `shell...:cmd package uninstall PKG` or `pm uninstall PKG`, with or without shell protocol v2.
def is_uninstall(service):
    if not (service.startswith("shell") or service.startswith("exec:")):
        return False
    try:
        words = shlex.split(service.partition(":")[2])
    except ValueError:
        return False
    return words[:3] == ["cmd", "package", "uninstall"] or words[:2] == ["pm", "uninstall"]


class ExecService(Service):
    def __init__(self, stream, command):
        super().__init__(stream)
        output, _code = stream.link.cabinet.shell(command)
        stream.send(output.encode("utf-8"))
        stream.finish()


# ---- The loop ---------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--state", required=True)
    parser.add_argument("--host-key", required=True)
    parser.add_argument("--device", choices=sorted(DEVICES), default="cabinet")
    args = parser.parse_args()

    cabinet = Cabinet(args.state, args.host_key, args.device)
    selector = selectors.DefaultSelector()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    listener.setblocking(False)
    selector.register(listener, selectors.EVENT_READ, None)
    port_file = os.path.join(args.state, "port")
    with open(port_file + ".new", "w", encoding="utf-8") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.replace(port_file + ".new", port_file)

    running = [True]
    signal.signal(signal.SIGTERM, lambda *_: running.__setitem__(0, False))
    links = []
    while running[0]:
        timeout = 0.05
        for link in links:
            if link.held is not None:
                timeout = max(0.0, min(timeout, link.held[0] - time.monotonic()))
        for key, events in selector.select(timeout=timeout):
            if key.data is None:
                try:
                    sock, _ = listener.accept()
                except BlockingIOError:
                    continue
                if cabinet.mode() == "gone":
                    sock.close()  # nothing at the end of the cable
                    continue
                sock.setblocking(False)
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                link = Link(cabinet, sock, selector)
                selector.register(sock, selectors.EVENT_READ, link)
                links.append(link)
                continue
            link = key.data
            if events & selectors.EVENT_WRITE:
                link.flush()
            if events & selectors.EVENT_READ and not link.dropped:
                link.readable()
        now = time.monotonic()
        for link in links:
            link.release(now)
        links = [link for link in links if not link.dropped]
        if cabinet.read_control():
            for link in links:
                link.maybe_allow()
    for link in links:
        link.drop()
    listener.close()


if __name__ == "__main__":
    main()

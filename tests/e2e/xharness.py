# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the real touchdrill executable under a private Xvfb server.

Every run gets its own X server (found through -displayfd, so runs can go in parallel) and its
own copy of the executable in a fresh folder, because the program keeps its best times and its
window placement beside the executable. Keys are typed with xdotool through the XTEST extension;
the few things xdotool cannot do here (asking a window to close the way a window manager would,
reading the screen's pixels) go through a small X11 client written on the standard library.
"""

import argparse
import contextlib
import ctypes
import os
import pwd
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib

WINDOW_TITLE = "タッチタイプ練習"
SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768

# Tools without which nothing here can run; a machine lacking them skips the tests.
REQUIRED_TOOLS = ("Xvfb", "xdotool", "xwininfo")


class Skip(Exception):
    """The environment cannot run the tests at all."""


class Failure(AssertionError):
    pass


class Fatal(Failure):
    """A failure that no amount of waiting can mend (the program has exited)."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def missing_tools(*extra):
    """The required tools, and the extra ones named, that this machine lacks."""
    return [tool for tool in REQUIRED_TOOLS + extra if shutil.which(tool) is None]


def log(*parts):
    print(*parts, flush=True)


# ---------------------------------------------------------------------------------------------
# Child processes

# The read-only cases run the program as "nobody": permission bits do not bind root, and CI runs as root.
def unprivileged_ids():
    try:
        entry = pwd.getpwnam("nobody")
        return entry.pw_uid, entry.pw_gid
    except KeyError:
        return 65534, 65534


def _die_with_parent():
    # A test runner killed by a timeout must not leave an X server or the program behind.
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)
    except OSError:
        pass


def _stop_process(proc, grace=3.0):
    if proc is None or proc.poll() is not None:
        return
    with contextlib.suppress(ProcessLookupError):
        proc.terminate()
    try:
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        with contextlib.suppress(ProcessLookupError):
            proc.kill()
        proc.wait(timeout=10)


def wait_for(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value, which is returned.

    A predicate may raise Failure to say why it is not satisfied yet; the last reason is
    reported if the time runs out.
    """
    deadline = time.monotonic() + timeout
    reason = None
    while True:
        try:
            result = predicate()
            if result:
                return result
        except Fatal:
            raise
        except Failure as failure:
            reason = str(failure)
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.1f s waiting for %s%s"
                          % (timeout, what, ": " + reason if reason else ""))
        time.sleep(interval)


# ---------------------------------------------------------------------------------------------
# The X server

class Xvfb:
    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
        self.width = width
        self.height = height
        self.proc = None
        self.display = None
        self.log = None

    name = "Xvfb"

    def command(self, display_fd):
        return ["Xvfb", "-displayfd", str(display_fd), "-screen", "0",
                "%dx%dx24" % (self.width, self.height), "-nolisten", "tcp", "-noreset"]

    def start(self, timeout=20.0):
        read_fd, write_fd = os.pipe()
        self.log = tempfile.TemporaryFile()
        try:
            self.proc = subprocess.Popen(
                self.command(write_fd),
                pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=self.log,
                stderr=self.log, preexec_fn=_die_with_parent)
        finally:
            os.close(write_fd)
        # Xvfb writes its display number once it accepts connections.
        data = b""
        deadline = time.monotonic() + timeout
        try:
            while not data.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Failure("%s gave no display number within %.0f s" % (self.name, timeout))
                ready, _, _ = select.select([read_fd], [], [], min(left, 0.5))
                if ready:
                    chunk = os.read(read_fd, 64)
                    if not chunk:
                        break
                    data += chunk
                elif self.proc.poll() is not None:
                    break
        finally:
            os.close(read_fd)
        if not data.strip():
            raise Failure("%s did not start: %s" % (self.name, self.read_log()))
        self.display = ":" + data.decode().strip()
        return self

    def read_log(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")[-800:]

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_SESSION", "WAYLAND", "GTK_", "XMODIFIERS"))}
        env.update({"DISPLAY": self.display, "LC_ALL": "C.UTF-8", "LANG": "C.UTF-8",
                    "QT_QPA_PLATFORM": "xcb", "QT_ENABLE_HIGHDPI_SCALING": "0",
                    "QT_FONT_DPI": "96", "QT_IM_MODULE": "none",
                    # No session bus: where dbus-launch is installed, the toolkit would otherwise
                    # start one, which leaves .dbus/ in HOME (the program's folder) and a daemon behind.
                    "DBUS_SESSION_BUS_ADDRESS": "disabled:"})
        env.pop("XAUTHORITY", None)
        return env

    def stop(self):
        _stop_process(self.proc)
        if self.log is not None:
            self.log.close()
            self.log = None


class Xvnc(Xvfb):
    """A headless X server that, unlike Xvfb, takes a new keyboard map (setxkbmap).

    It serves no VNC clients here: no TCP port, no network listener."""

    name = "Xvnc"

    def command(self, display_fd):
        return ["Xvnc", "-displayfd", str(display_fd), "-geometry", "%dx%d" % (self.width, self.height),
                "-depth", "24", "-rfbport", "-1", "-SecurityTypes", "None", "-nolisten", "tcp",
                "-noreset"]


# ---------------------------------------------------------------------------------------------
# A minimal X11 protocol client: close requests and screen captures.

class XClient:
    """Speaks just enough X11 over the server's Unix socket for what xdotool lacks."""

    def __init__(self, display):
        number = display.lstrip(":").split(".")[0]
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(20)
        self.sock.connect("/tmp/.X11-unix/X" + number)
        self.sock.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        head = self._recv(8)
        status, _, _, _, extra = struct.unpack("<BBHHH", head)
        body = self._recv(extra * 4)
        if status != 1:
            raise Failure("X server refused the connection: %r" % body)
        vendor_len, _, _, n_formats = struct.unpack_from("<HHBB", body, 16)
        offset = 32 + ((vendor_len + 3) & ~3)
        self.formats = {}
        for i in range(n_formats):
            depth, bpp, pad = struct.unpack_from("<BBB", body, offset + 8 * i)
            self.formats[depth] = (bpp, pad)
        offset += 8 * n_formats
        self.root, = struct.unpack_from("<I", body, offset)
        self.root_depth = body[offset + 38]
        self.image_lsb_first = body[30] == 0
        self.sequence = 0
        self._atoms = {}

    def close(self):
        self.sock.close()

    def _recv(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise Failure("X server closed the connection")
            data += chunk
        return data

    def _request(self, data):
        self.sock.sendall(data)
        self.sequence = (self.sequence + 1) & 0xFFFF
        return self.sequence

    def _reply(self, sequence):
        while True:
            packet = self._recv(32)
            kind = packet[0]
            if kind == 0:
                code, seq = packet[1], struct.unpack_from("<H", packet, 2)[0]
                raise Failure("X error %d for request %d" % (code, seq))
            if kind == 1:
                length, = struct.unpack_from("<I", packet, 4)
                extra = self._recv(length * 4) if length else b""
                if struct.unpack_from("<H", packet, 2)[0] == sequence:
                    return packet + extra
            # Events are of no interest: this client selects none.

    def intern_atom(self, name):
        if name not in self._atoms:
            raw = name.encode()
            pad = (4 - len(raw) % 4) % 4
            seq = self._request(struct.pack("<BBHHxx", 16, 0, (8 + len(raw) + pad) // 4, len(raw))
                                + raw + b"\0" * pad)
            self._atoms[name] = struct.unpack_from("<I", self._reply(seq), 8)[0]
        return self._atoms[name]

    def sync(self):
        """A round trip: every request sent before has been carried out by the server."""
        self._reply(self._request(struct.pack("<BxH", 43, 1)))  # GetInputFocus

    def clear_selection(self, name):
        """Leaves the selection (CLIPBOARD, PRIMARY) without an owner, so it holds nothing."""
        atom = self.intern_atom(name)
        self._request(struct.pack("<BxHIII", 22, 4, 0, atom, 0))  # SetSelectionOwner None
        self.sync()

    def request_close(self, window):
        """Sends WM_DELETE_WINDOW, as a window manager does when the user closes the window."""
        protocols = self.intern_atom("WM_PROTOCOLS")
        delete = self.intern_atom("WM_DELETE_WINDOW")
        event = struct.pack("<BBHII5I", 33, 32, 0, window, protocols, delete, 0, 0, 0, 0)
        self._request(struct.pack("<BBHII", 25, 0, 11, window, 0) + event)
        self.sync()

    def capture(self, x=0, y=0, width=None, height=None):
        """The screen's pixels as an Image (the root window, so every window shows as mapped)."""
        width = SCREEN_WIDTH - x if width is None else width
        height = SCREEN_HEIGHT - y if height is None else height
        seq = self._request(struct.pack("<BBHIhhHHI", 73, 2, 5, self.root, x, y, width, height,
                                        0xFFFFFFFF))
        reply = self._reply(seq)
        depth = reply[1]
        bpp, pad = self.formats.get(depth, (32, 32))
        if bpp != 32 or depth < 24:
            raise Failure("unsupported screen format: depth %d, %d bits per pixel" % (depth, bpp))
        data = reply[32:32 + width * height * 4]
        # 32-bit pixels 0x00RRGGBB; byte order as the server stores its images.
        if self.image_lsb_first:
            rgb = bytearray(width * height * 3)
            rgb[0::3] = data[2::4]
            rgb[1::3] = data[1::4]
            rgb[2::3] = data[0::4]
        else:
            rgb = bytearray(width * height * 3)
            rgb[0::3] = data[1::4]
            rgb[1::3] = data[2::4]
            rgb[2::3] = data[3::4]
        return Image(width, height, bytes(rgb), x, y)


class Image:
    """RGB pixels of a screen region; coordinates are screen coordinates."""

    def __init__(self, width, height, rgb, origin_x=0, origin_y=0):
        self.width = width
        self.height = height
        self.rgb = rgb
        self.origin_x = origin_x
        self.origin_y = origin_y

    def pixel(self, x, y):
        x -= self.origin_x
        y -= self.origin_y
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError("pixel (%d, %d) outside the capture" % (x + self.origin_x, y + self.origin_y))
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i:i + 3])

    def row(self, y, x0, x1):
        return [self.pixel(x, y) for x in range(x0, x1)]

    def crop(self, x, y, width, height):
        out = bytearray()
        for yy in range(y, y + height):
            i = 3 * ((yy - self.origin_y) * self.width + (x - self.origin_x))
            out += self.rgb[i:i + 3 * width]
        return Image(width, height, bytes(out), x, y)

    def save_png(self, path):
        raw = b"".join(b"\0" + self.rgb[3 * self.width * y:3 * self.width * (y + 1)]
                       for y in range(self.height))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
            f.write(chunk(b"IEND", b""))


# ---------------------------------------------------------------------------------------------
# xdotool and xwininfo

class Desktop:
    """One X server with the tools that talk to it."""

    def __init__(self, xvfb):
        self.xvfb = xvfb
        self.env = xvfb.env()
        self.x = XClient(xvfb.display)

    def close(self):
        self.x.close()

    def run(self, *args, check_rc=True, timeout=30):
        proc = subprocess.run(list(args), env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=timeout, preexec_fn=_die_with_parent)
        if check_rc and proc.returncode != 0:
            raise Failure("%s failed (%d): %s" % (" ".join(args), proc.returncode, proc.stderr.strip()))
        return proc

    def xdotool(self, *args, check_rc=True):
        return self.run("xdotool", *args, check_rc=check_rc)

    def search(self, name, pid=None, both=False):
        """Viewable windows whose name matches the regular expression. Given a pid, xdotool takes
        the windows that match the name or belong to that process, unless both asks for both."""
        args = ["search", "--onlyvisible", "--name", name]
        if pid is not None:
            args[1:1] = ["--pid", str(pid)]
        if both:
            args[1:1] = ["--all"]
        out = self.xdotool(*args, check_rc=False).stdout
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """(left, top, width, height) of a window in screen coordinates."""
        out = self.run("xwininfo", "-id", str(window)).stdout
        values = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", str(window))

    def keys(self, *keys, delay=40):
        """Types key names (xdotool's syntax) into the focused window, in order."""
        if keys:
            self.xdotool("key", "--delay", str(delay), *keys)

    def type_text(self, text, delay=30):
        self.xdotool("type", "--delay", str(delay), text)

    def capture(self, *region):
        return self.x.capture(*region)

    def read_clipboard(self):
        """The CLIPBOARD selection as text, or None while nobody owns it."""
        proc = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"], env=self.env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=10,
                              preexec_fn=_die_with_parent)
        return proc.stdout.decode("utf-8", errors="replace") if proc.returncode == 0 else None


@contextlib.contextmanager
def desktop(*tools, server=Xvfb):
    """A Desktop on a fresh X server (an Xvfb unless server names another kind); tools names
    what the caller needs beyond REQUIRED_TOOLS."""
    missing = missing_tools(*tools)
    if missing:
        raise Skip("missing tools: " + ", ".join(missing))
    xvfb = server()
    desk = None
    try:
        xvfb.start()
        desk = Desktop(xvfb)
        yield desk
    finally:
        if desk is not None:
            desk.close()
        xvfb.stop()


# ---------------------------------------------------------------------------------------------
# The program

class Program:
    """One copy of touchdrill in its own folder, with its best-times and placement files.

    An executable that already is folder/name runs where it is (an unpacked archive, say). The
    program runs in its folder unless cwd names another working folder, and its output goes to
    program-output.txt there unless output names another file.
    """

    def __init__(self, executable, folder, name="touchdrill", cwd=None, output=None):
        self.folder = folder
        self.exe = os.path.join(folder, name)
        if not (os.path.exists(self.exe) and os.path.samefile(executable, self.exe)):
            shutil.copy2(executable, self.exe)
        base = os.path.splitext(self.exe)[0]
        self.bst = base + ".bst"
        self.ini = base + ".ini"
        self.proc = None
        self.window = None
        self.cwd = folder if cwd is None else cwd
        self.output = os.path.join(folder, "program-output.txt") if output is None else output
        # Made now, so that a test may take away the right to create files in the folder.
        open(self.output, "ab").close()
        self.run_as = None  # (uid, gid) to run as another user
        self.args = []  # arguments after the executable (only Qt's own, such as -stylesheet)
        self.extra_env = {}
        # Other programs' windows on the same server: the main window is found by its title and
        # this process both (which a command that runs the program as a child cannot use).
        self.shares_desktop = False

    def command(self):
        return [self.exe] + list(self.args)

    def start(self, desk, timeout=30.0):
        check(self.proc is None or self.proc.poll() is not None, "program already running")
        env = dict(desk.env)
        env["HOME"] = self.folder
        env["XDG_RUNTIME_DIR"] = self.folder
        env.update(self.extra_env)
        command = self.command()
        preexec = _die_with_parent
        if self.run_as is not None:
            uid, gid = self.run_as
            command = ["setpriv", "--reuid=%d" % uid, "--regid=%d" % gid, "--clear-groups",
                       "--pdeathsig", "KILL", "--"] + command
        out = open(self.output, "ab")
        try:
            self.proc = subprocess.Popen(command, cwd=self.cwd, env=env, stdin=subprocess.DEVNULL,
                                         stdout=out, stderr=subprocess.STDOUT, preexec_fn=preexec)
        finally:
            out.close()

        def find():
            self.ensure_running()
            found = desk.search("^%s$" % WINDOW_TITLE, pid=self.proc.pid, both=self.shares_desktop)
            return found
        windows = wait_for(find, timeout, "the main window to appear")
        check(len(windows) == 1, "expected one main window, found %d" % len(windows))
        self.window = windows[0]
        return self.window

    def read_output(self):
        try:
            with open(self.output, "rb") as f:
                return f.read().decode(errors="replace")[-2000:]
        except OSError:
            return ""

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def ensure_running(self):
        if not self.running():
            rc = self.proc.returncode if self.proc is not None else None
            how = ("killed by signal %d" % -rc) if rc is not None and rc < 0 else "exit status %s" % rc
            raise Fatal("the program is no longer running (%s); output:\n%s" % (how, self.read_output()))

    def close(self, desk, timeout=20.0):
        """Closes the main window as a window manager would, and waits for the program to end."""
        desk.x.request_close(self.window)
        try:
            rc = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %.0f s of closing its window" % timeout)
        self.window = None
        return rc

    def kill(self):
        _stop_process(self.proc, grace=2.0)

    def read_bst(self):
        with open(self.bst, "rb") as f:
            return f.read()


def decode_best_times(data):
    """{character: best average in ms} for the non-zero entries of a best-times file."""
    check(len(data) == 376, "the best-times file holds %d bytes, not 376" % len(data))
    values = struct.unpack("<94I", data)
    return {chr(33 + i): v for i, v in enumerate(values) if v}


def encode_best_times(best):
    values = [0] * 94
    for char, value in best.items():
        values[ord(char) - 33] = value
    return struct.pack("<94I", *values)


SCRATCH_PREFIX = "touchdrill-e2e-"


def _sweep_stale_folders():
    # A run killed outright (a test timeout) cannot clean up after itself; the next run does.
    root = tempfile.gettempdir()
    for name in os.listdir(root):
        if not name.startswith(SCRATCH_PREFIX):
            continue
        pid = name[len(SCRATCH_PREFIX):].split("-")[0]
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            os.kill(int(pid), 0)
            continue  # its run is still going
        except ProcessLookupError:
            pass
        except PermissionError:
            continue
        _remove_tree(os.path.join(root, name))


def _remove_tree(folder):
    # A folder made read-only by a test must still go.
    for root, dirs, _ in os.walk(folder):
        for d in dirs:
            with contextlib.suppress(OSError):
                os.chmod(os.path.join(root, d), 0o700)
    with contextlib.suppress(OSError):
        os.chmod(folder, 0o700)
    shutil.rmtree(folder, ignore_errors=True)


@contextlib.contextmanager
def scratch_folder():
    _sweep_stale_folders()
    folder = tempfile.mkdtemp(prefix="%s%d-" % (SCRATCH_PREFIX, os.getpid()))
    try:
        yield folder
    finally:
        _remove_tree(folder)


def case_parser(doc, cases, several=False):
    """The command line of a script of named cases: --exe, the program under test, and --case, the
    case to run; with `several`, --case may be given again, and none at all runs every case."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--exe", required=True)
    if several:
        parser.add_argument("--case", action="append", choices=sorted(cases))
    else:
        parser.add_argument("--case", required=True, choices=sorted(cases))
    return parser


def program_under_test(path):
    """`path` made absolute; None, said in the log, when it is no executable."""
    exe = os.path.abspath(path)
    if not os.access(exe, os.X_OK):
        log("FAILED: not an executable:", exe)
        return None
    return exe


def run_cases(cases, names=None):
    """Runs the named cases (every one when none is named) one after the other under main_guard."""
    def run_all():
        for name in names or list(cases):
            log("== %s" % name)
            cases[name]()
    return main_guard(run_all)


def main_guard(function):
    """Runs a scenario; 0 on success, 1 on failure, 77 when the machine cannot run it."""
    # ctest ends a test that runs too long with SIGTERM on some platforms: clean up then too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    start = time.monotonic()
    try:
        function()
    except Skip as skip:
        log("SKIPPED:", skip)
        return 77
    except Failure as failure:
        log("FAILED:", failure)
        return 1
    log("passed in %.1f s" % (time.monotonic() - start))
    return 0

"""Shared pieces of the packaging tests: arguments, icon decoding, desktop entry parsing, and a
private X server on which the real program runs.

Every test script exits 0 when it passed, 1 when it failed and 77 when this machine lacks what it
needs (Xvfb, xdotool, xprop), which ctest reports as skipped.
"""

import argparse
import contextlib
import ctypes
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import zlib

WINDOW_CAPTION = "タッチタイプ練習"


class Skip(Exception):
    pass


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(*parts):
    print(*parts, flush=True)


def arguments(*extra):
    """The options every packaging test gets from CMake, plus the named extra ones."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--staged", required=True, help="the shipped files, staged by the build")
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--xpm", required=True, help="the window icon")
    for name in extra:
        parser.add_argument(name)
    return parser.parse_args()


def run_cases(cases):
    """Runs every case, reports each, and exits with the ctest status."""
    failed = 0
    for case in cases:
        log("--", case.__name__)
        try:
            case()
        except Skip as skip:
            log("SKIP:", skip)
            sys.exit(77)
        except Exception:  # any error in a case is a failure of that case
            failed += 1
            log("FAIL:", case.__name__)
            traceback.print_exc(file=sys.stdout)
    log("%d of %d cases failed" % (failed, len(cases)) if failed else "all %d cases passed" % len(cases))
    sys.exit(1 if failed else 0)


which = shutil.which


def require_tools(*tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        raise Skip("not installed: " + ", ".join(missing))


@contextlib.contextmanager
def scratch():
    folder = tempfile.mkdtemp(prefix="touchdrill-pkg-")
    try:
        yield folder
    finally:
        for root, dirs, _ in os.walk(folder):
            for d in dirs:
                with contextlib.suppress(OSError):
                    os.chmod(os.path.join(root, d), 0o700)
        shutil.rmtree(folder, ignore_errors=True)


# ---------------------------------------------------------------------------------------------
# Icons: both decoded to rows of 0xAARRGGBB pixels.

def read_xpm(path):
    """(width, height, pixels) of an XPM file with one character per pixel and #RRGGBB colours."""
    with open(path, encoding="ascii") as f:
        strings = re.findall(r'"([^"]*)"', f.read())
    width, height, ncolors, cpp = (int(v) for v in strings[0].split()[:4])
    check(cpp == 1, "the XPM uses %d characters per pixel" % cpp)
    colours = {}
    for line in strings[1:1 + ncolors]:
        key = line[0]
        kind, value = line[1:].split()[:2]
        check(kind == "c", "XPM colour line %r is not a colour visual" % line)
        if value.lower() == "none":
            colours[key] = 0
        else:
            check(re.fullmatch(r"#[0-9A-Fa-f]{6}", value), "XPM colour %r is not #RRGGBB" % value)
            colours[key] = 0xFF000000 | int(value[1:], 16)
    rows = strings[1 + ncolors:1 + ncolors + height]
    check(len(rows) == height and all(len(r) == width for r in rows), "the XPM's rows are not %dx%d" % (width, height))
    return width, height, [colours[c] for row in rows for c in row]


def read_png(path):
    """(width, height, pixels) of an 8-bit RGB or RGBA, non-interlaced PNG file."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG file" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        check(zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "bad CRC in chunk %r" % kind)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    check(depth == 8 and colour_type in (2, 6) and interlace == 0,
          "unsupported PNG: depth %d, colour type %d, interlace %d" % (depth, colour_type, interlace))
    bpp = 4 if colour_type == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    previous = bytearray(stride)
    pixels = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        for x in range(width):
            px = line[x * bpp:(x + 1) * bpp]
            alpha = px[3] if bpp == 4 else 0xFF
            pixels.append(alpha << 24 | px[0] << 16 | px[1] << 8 | px[2])
        previous = line
    return width, height, pixels


def first_difference(a, b, width):
    for i, (p, q) in enumerate(zip(a, b)):
        if p != q:
            return "pixel (%d, %d) is %08X, expected %08X" % (i % width, i // width, p, q)
    return None


# ---------------------------------------------------------------------------------------------
# Desktop entries, read the way a launcher reads them.

def read_desktop_entry(path):
    """{key: raw value} of the [Desktop Entry] group; the first line must be that group."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    check(lines[0] == "[Desktop Entry]", "%s does not start with [Desktop Entry]" % path)
    entry = {}
    for line in lines[1:]:
        if line.startswith("["):
            break
        if line and not line.startswith("#"):
            key, sep, value = line.partition("=")
            check(sep, "line without '=': %r" % line)
            check(key not in entry, "key %s appears twice" % key)
            entry[key] = value
    return entry


def unescape_string(value):
    """A string value with its \\s \\n \\t \\r \\\\ escapes resolved."""
    out, i = [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1], "\\" + value[i + 1]))
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)


def split_exec(value):
    """The argument vector of an Exec value: string escapes first, then the quoting rules."""
    text = unescape_string(value)
    args, current, quoted, started, i = [], [], False, False, 0
    while i < len(text):
        ch = text[i]
        if quoted:
            if ch == "\\":
                check(i + 1 < len(text) and text[i + 1] in '"`$\\', "bad escape in quoted Exec argument: %r" % text)
                current.append(text[i + 1])
                i += 2
                continue
            if ch == '"':
                quoted = False
            else:
                current.append(ch)
        elif ch == '"':
            quoted = started = True
        elif ch == " ":
            if started:
                args.append("".join(current))
                current, started = [], False
        else:
            check(ch not in "\t\n\"'\\><~|&;$*?#()`", "reserved character %r outside quotes in %r" % (ch, text))
            current.append(ch)
            started = True
        i += 1
    check(not quoted, "unterminated quote in Exec %r" % text)
    if started:
        args.append("".join(current))
    # Field codes: %% is a literal percent sign; this entry takes no arguments, so no other codes.
    for arg in args:
        check(not re.search(r"%[^%]", arg.replace("%%", "")), "field code in Exec argument %r" % arg)
    return [arg.replace("%%", "%") for arg in args]


# ---------------------------------------------------------------------------------------------
# A private X server and the program on it

def _die_with_parent():
    # Killed by a ctest timeout, the test must not leave an X server or the program behind.
    with contextlib.suppress(OSError, AttributeError):
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def stop(proc, grace=3.0):
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
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class XServer:
    """An Xvfb of its own (display number from -displayfd), with the tools that talk to it."""

    def __init__(self, home):
        require_tools("Xvfb", "xdotool", "xprop")
        self.home = home
        self.proc = None
        self.display = None
        self.sock = None
        self.sequence = 0

    def __enter__(self):
        read_fd, write_fd = os.pipe()
        self.log = tempfile.TemporaryFile()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
                preexec_fn=_die_with_parent)
        finally:
            os.close(write_fd)
        try:
            data, deadline = b"", time.monotonic() + 20
            while not data.endswith(b"\n") and time.monotonic() < deadline:
                if select.select([read_fd], [], [], 0.5)[0]:
                    chunk = os.read(read_fd, 32)
                    if not chunk:
                        break
                    data += chunk
                elif self.proc.poll() is not None:
                    break
        finally:
            os.close(read_fd)
        if not data.strip():
            self.log.seek(0)
            message = self.log.read().decode(errors="replace")[-500:]
            self.__exit__()
            raise Failure("Xvfb did not start: " + message)
        self.display = ":" + data.decode().strip()
        self._connect()
        return self

    def __exit__(self, *_):
        if self.sock is not None:
            self.sock.close()
        stop(self.proc)
        self.log.close()

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "WAYLAND", "XDG_", "XAUTHORITY", "DBUS_"))}
        runtime = os.path.join(self.home, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env.update({"DISPLAY": self.display, "HOME": self.home, "XDG_RUNTIME_DIR": runtime,
                    "LC_ALL": "C.UTF-8", "QT_QPA_PLATFORM": "xcb"})
        return env

    def tool(self, *args):
        proc = subprocess.run(list(args), env=self.env(), capture_output=True, text=True, timeout=30,
                              stdin=subprocess.DEVNULL)
        check(proc.returncode == 0, "%s failed (%d): %s" % (" ".join(args), proc.returncode, proc.stderr.strip()))
        return proc.stdout

    def windows_of(self, pid):
        out = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", "."],
                             env=self.env(), capture_output=True, text=True, timeout=30).stdout
        return [int(w) for w in out.split()]

    def wm_class(self, window):
        """(instance, class) of a window, as xprop shows WM_CLASS."""
        out = self.tool("xprop", "-id", str(window), "WM_CLASS")
        found = re.fullmatch(r'WM_CLASS\(STRING\) = "(.*)", "(.*)"\s*', out)
        check(found, "unexpected WM_CLASS: %r" % out)
        return found.group(1), found.group(2)

    def net_wm_name(self, window):
        out = self.tool("xprop", "-id", str(window), "_NET_WM_NAME")
        found = re.fullmatch(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"\s*', out)
        check(found, "unexpected _NET_WM_NAME: %r" % out)
        return found.group(1)

    def net_wm_icon(self, window):
        """{(width, height): pixels} of the window's _NET_WM_ICON, read as plain cardinals."""
        out = self.tool("xprop", "-id", str(window), "-notype", "-f", "_NET_WM_ICON", "32c", "_NET_WM_ICON")
        name, sep, values = out.partition("=")
        check(sep and name.strip() == "_NET_WM_ICON", "the window has no _NET_WM_ICON: %r" % out.strip())
        numbers = [int(v) for v in values.replace(",", " ").split()]
        icons, i = {}, 0
        while i + 2 <= len(numbers):
            width, height = numbers[i], numbers[i + 1]
            check(width > 0 and height > 0 and i + 2 + width * height <= len(numbers),
                  "malformed _NET_WM_ICON at value %d" % i)
            icons[(width, height)] = numbers[i + 2:i + 2 + width * height]
            i += 2 + width * height
        check(i == len(numbers), "trailing values in _NET_WM_ICON")
        return icons

    # The close request xdotool cannot send: WM_DELETE_WINDOW, as a window manager sends it when the
    # user closes the window. Spoken over the server's socket with the bare X11 protocol.
    def _connect(self):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(20)
        self.sock.connect("/tmp/.X11-unix/X" + self.display[1:])
        self.sock.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        status, _, _, _, extra = struct.unpack("<BBHHH", self._recv(8))
        self._recv(extra * 4)
        check(status == 1, "the X server refused the connection")

    def _recv(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            check(chunk, "the X server closed the connection")
            data += chunk
        return data

    def _request(self, data, reply=False):
        self.sock.sendall(data)
        self.sequence = (self.sequence + 1) & 0xFFFF
        while reply:
            packet = self._recv(32)
            check(packet[0] != 0, "X error %d" % packet[1])
            if packet[0] == 1:
                length, = struct.unpack_from("<I", packet, 4)
                packet += self._recv(length * 4)
                if struct.unpack_from("<H", packet, 2)[0] == self.sequence:
                    return packet
        return None

    def _atom(self, name):
        raw = name.encode()
        pad = -len(raw) % 4
        reply = self._request(struct.pack("<BBHHxx", 16, 0, 2 + (len(raw) + pad) // 4, len(raw))
                              + raw + b"\0" * pad, reply=True)
        return struct.unpack_from("<I", reply, 8)[0]

    def request_close(self, window):
        protocols, delete = self._atom("WM_PROTOCOLS"), self._atom("WM_DELETE_WINDOW")
        event = struct.pack("<BBHII5I", 33, 32, 0, window, protocols, delete, 0, 0, 0, 0)
        self._request(struct.pack("<BBHII", 25, 0, 11, window, 0) + event)  # SendEvent
        self._request(struct.pack("<BxH", 43, 1), reply=True)  # GetInputFocus: a round trip


class Program:
    """The executable at a given path, run on an X server with its working folder elsewhere."""

    def __init__(self, x, exe, cwd):
        self.x, self.exe, self.cwd = x, exe, cwd
        self.output = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([exe], cwd=cwd, env=x.env(), stdin=subprocess.DEVNULL,
                                     stdout=self.output, stderr=subprocess.STDOUT,
                                     preexec_fn=_die_with_parent)
        self.window = None

    def read_output(self):
        self.output.seek(0)
        return self.output.read().decode(errors="replace")[-1500:]

    def wait_window(self, timeout=30):
        def shown():
            if self.proc.poll() is not None:
                raise Failure("%s exited with %d at start-up:\n%s"
                              % (self.exe, self.proc.returncode, self.read_output()))
            return self.x.windows_of(self.proc.pid)
        windows = wait_for(shown, timeout, "the window of " + self.exe)
        check(len(windows) == 1, "%s shows %d windows, expected 1" % (self.exe, len(windows)))
        self.window = windows[0]
        return self.window

    def close(self, timeout=20):
        """Closes the window as a window manager would; the exit status of the program."""
        self.x.request_close(self.window)
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("%s did not end within %d s of the close request" % (self.exe, timeout))

    def __enter__(self):
        return self

    def __exit__(self, *_):
        stop(self.proc)
        self.output.close()

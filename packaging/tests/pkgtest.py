# SPDX-License-Identifier: GPL-3.0-or-later
"""Shared pieces of the packaging tests: arguments, icon decoding, desktop entry parsing, and what
xprop shows of the real program's window.

The private X server and the program on it are the end-to-end tests' harness, tests/e2e/xharness.py,
which this module puts on the import path; the test scripts import it as xharness.

Every test script exits 0 when it passed, 1 when it failed and 77 when this machine lacks what it
needs (Xvfb, xdotool, xwininfo, xprop), which ctest reports as skipped.
"""

import argparse
import os
import re
import shutil
import struct
import sys
import traceback
import zlib

sys.path.insert(0, os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                 os.pardir, os.pardir, "tests", "e2e")))

from xharness import Skip, check, log  # noqa: E402


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
# The program's window as xprop shows it

def start(program, desk):
    """Starts an xharness.Program and waits for its main window, which must be the only window
    it shows."""
    window = program.start(desk)
    windows = desk.search(".", pid=program.proc.pid, both=True)
    check(windows == [window], "%s shows %d windows, expected 1" % (program.exe, len(windows)))
    return window


def wm_class(desk, window):
    """(instance, class) of a window, as xprop shows WM_CLASS."""
    out = desk.run("xprop", "-id", str(window), "WM_CLASS").stdout
    found = re.fullmatch(r'WM_CLASS\(STRING\) = "(.*)", "(.*)"\s*', out)
    check(found, "unexpected WM_CLASS: %r" % out)
    return found.group(1), found.group(2)


def net_wm_name(desk, window):
    out = desk.run("xprop", "-id", str(window), "_NET_WM_NAME").stdout
    found = re.fullmatch(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"\s*', out)
    check(found, "unexpected _NET_WM_NAME: %r" % out)
    return found.group(1)


def net_wm_icon(desk, window):
    """{(width, height): pixels} of the window's _NET_WM_ICON, read as plain cardinals."""
    out = desk.run("xprop", "-id", str(window), "-notype", "-f", "_NET_WM_ICON", "32c", "_NET_WM_ICON").stdout
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

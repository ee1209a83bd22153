# SPDX-License-Identifier: GPL-3.0-or-later
"""What the end-to-end tests know about touchdrill's window: where things are and how to drive it."""

import os
import sqlite3

import xharness as xh
from xharness import Failure, check

CYAN = (0, 255, 255)
WHITE = (255, 255, 255)
GREEN = (0, 128, 0)

PANEL_WIDTH = 257
GAUGE_HEIGHT = 40
ROW_HEIGHT = 16
DESIGNED_SIZE = (369, 422)
# The least client area a stored size may give the main window: the panel whole above the gauge.
MINIMUM_CLIENT = (PANEL_WIDTH, 156 + GAUGE_HEIGHT)

# The rows the check boxes add, in tab order from the list: numbers, upper, home, symbols, lower,
# capitals. The home row is three Tabs away from the list.
HOME_ROW = "asdfghjkl"
TABS_TO_HOME_ROW = 3


def is_yellowish(p):
    # The star's smoothed edge blends yellow into white or green: red and green well above blue.
    return p[0] >= 100 and p[1] >= 100 and p[2] + 60 <= min(p[0], p[1])


def is_dark(p):
    return sum(p) < 3 * 128


def tick_home_row(desk):
    """Ticks the home row by keyboard and puts the focus back on the results list."""
    desk.keys(*(["Tab"] * TABS_TO_HOME_ROW), "space", *(["shift+Tab"] * TABS_TO_HOME_ROW))


def drill_keys(cycles, row=HOME_ROW, strangers=""):
    """The row's keys in turn, `cycles` times, each round followed by keys from other rows.

    Whatever the target, each round passes it once, so every round answers at least one."""
    keys = []
    for _ in range(cycles):
        keys += list(row) + list(strangers)
    return keys


def run_drill(desk, keys, delay=30, prepare=("alt+r",)):
    """Prepares (by the given keys), starts with space, types the keys and ends with space.

    Everything goes out as one stream of keystrokes, as a quick typist would send it.
    """
    desk.keys(*prepare, "space", *keys, "space", delay=delay)


def wait_for_file_change(program, path, before, timeout=20.0):
    """Waits until the file at path is a different file (or has other contents) than `before`,
    the os.stat result taken earlier (None when the file did not exist)."""
    def changed():
        program.ensure_running()
        try:
            st = os.stat(path)
        except FileNotFoundError:
            return False
        if before is None:
            return True
        return (st.st_ino, st.st_mtime_ns, st.st_size) != (before.st_ino, before.st_mtime_ns, before.st_size)
    xh.wait_for(changed, timeout, "a new " + os.path.basename(path))


def read_history(path, writable=True):
    """[(id, started, ended, rows, {char: (hits, total, wrong, {typed char: count})})], oldest first:
    the one reader of the practice history's tables the end-to-end runs have.

    Writable (never created), it first passes the integrity check and rolls back a journal a kill
    left behind, as the program itself would at its next start; read-only, it changes nothing, for
    a history the running program may be writing."""
    con = sqlite3.connect("file:%s?mode=%s" % (path, "rw" if writable else "ro"), uri=True,
                          isolation_level=None)
    try:
        if writable:
            xh.check(con.execute("PRAGMA integrity_check").fetchone()[0] == "ok",
                     "%s fails the integrity check" % path)
        drills = []
        for drill_id, started, ended, rows in con.execute(
                "SELECT id, started_utc_ms, ended_utc_ms, rows FROM drill ORDER BY id"):
            keys = {}
            for code, hits, total, wrong in con.execute(
                    "SELECT code, hits, total_ms, wrong FROM drill_key WHERE drill_id = ? ORDER BY code", (drill_id,)):
                typed = dict((chr(t), n) for t, n in con.execute(
                    "SELECT typed, count FROM wrong_key WHERE drill_id = ? AND code = ?", (drill_id, code)))
                keys[chr(code)] = (hits, total, wrong, typed)
            drills.append((drill_id, started, ended, rows, keys))
        return drills
    finally:
        con.close()


def stat_or_none(path):
    try:
        return os.stat(path)
    except FileNotFoundError:
        return None


class WindowShot:
    """A capture of the main window, with its parts in window coordinates."""

    def __init__(self, image, geometry):
        self.image = image
        self.left, self.top, self.width, self.height = geometry

    def px(self, x, y):
        return self.image.pixel(self.left + x, self.top + y)

    def list_viewport(self):
        """(left, top, right, bottom) of the list's item area, found inside its frame."""
        mid_y = (self.height - GAUGE_HEIGHT) // 2
        left = PANEL_WIDTH
        while left < PANEL_WIDTH + 6 and self.px(left, mid_y) != WHITE:
            left += 1
        top = 0
        mid_x = (PANEL_WIDTH + self.width) // 2
        while top < 6 and self.px(mid_x, top) != WHITE:
            top += 1
        right = self.width
        while right > left and self.px(right - 1, mid_y) != WHITE:
            right -= 1
        bottom = self.height - GAUGE_HEIGHT
        while bottom > top and self.px(mid_x, bottom - 1) != WHITE:
            bottom -= 1
        check(left < PANEL_WIDTH + 6 and top < 6,
              "no white results list to the right of the panel (looked from x=%d)" % PANEL_WIDTH)
        return left, top, right, bottom

    def list_rows(self):
        """Per item row of the list: (green x-set per bar line, yellow pixel xs, dark label pixel?)."""
        left, top, right, bottom = self.list_viewport()
        rows = []
        for index in range((bottom - top) // ROW_HEIGHT):
            row_top = top + index * ROW_HEIGHT
            green = {}
            yellow = []
            dark_label = False
            for y in range(row_top, row_top + ROW_HEIGHT):
                xs = set()
                for x in range(left, right):
                    p = self.px(x, y)
                    if p == GREEN:
                        xs.add(x - left)
                    elif is_yellowish(p):
                        yellow.append(x - left)
                    elif x - left < 20 and is_dark(p):
                        dark_label = True
                green[y - row_top] = xs
            rows.append(Row(index, green, yellow, dark_label, right - left))
        return rows


class Row:
    def __init__(self, index, green, yellow, dark_label, width):
        self.index = index
        self.width = width  # of the list's item area: longer bars and far stars are cut off
        self.green = green  # {y within row: set of x within row}
        self.yellow = yellow
        self.dark_label = dark_label

    def bar_length(self):
        """The length of the green bar, which starts at x = 20 (0 when there is none)."""
        xs = set().union(*self.green.values())
        return (max(xs) - 19) if xs else 0

    def average_range(self):
        """The averages in ms that the bar can stand for (1 pixel per 10 ms, cut at the edge)."""
        length = self.bar_length()
        if 20 + length >= self.width:
            return 10 * length, float("inf")
        return 10 * length, 10 * length + 9

    def star_visible(self, x):
        return x + 2 < self.width

    def blank(self):
        return not self.dark_label and not self.yellow and not any(self.green.values())


def check_bar(row, char, length, star_free=True):
    """The row's bar fills x 20..20+length from y 3 to the row's bottom, and nothing else is green."""
    want = set(range(20, min(20 + length, row.width)))
    for y, xs in sorted(row.green.items()):
        expected = want if y >= 3 else set()
        if star_free:
            ok = xs == expected
        else:
            # A star drawn over the bar hides some of its pixels; nothing green may lie outside.
            ok = xs <= expected
        if not ok:
            extra = sorted(xs - expected)[:5]
            missing = sorted(expected - xs)[:5]
            raise Failure("row %d (%r): bar line y=%d is not green exactly over x=20..%d "
                          "(stray green at %s, missing at %s)" % (row.index, char, y, 19 + length, extra, missing))
    if length and not star_free and 20 + length < row.width:
        check(row.bar_length() == length,
              "row %d (%r): bar ends at %d px, expected %d" % (row.index, char, row.bar_length(), length))


def wait_for_window_geometry(desk, window, expected, timeout=10.0):
    def matches():
        got = desk.geometry(window)
        check(tuple(got) == tuple(expected), "window at %s, expected %s" % (got, expected))
        return True
    xh.wait_for(matches, timeout, "the window's geometry")


def shoot(desk, program):
    program.ensure_running()
    return WindowShot(desk.capture(), desk.geometry(program.window))


def wait_for_shot(desk, program, predicate, timeout, what):
    """Captures the window until predicate(shot) holds (it may raise Failure to say why not).

    When TOUCHDRILL_E2E_ARTIFACTS names a folder, the last capture is kept there on failure.
    """
    last = {}

    def attempt():
        last["shot"] = shoot(desk, program)
        return predicate(last["shot"])
    try:
        xh.wait_for(attempt, timeout, what, interval=0.1)
    except Failure:
        keep_capture(last.get("shot"), what)
        raise
    return last["shot"]


def keep_capture(shot, what):
    folder = os.environ.get("TOUCHDRILL_E2E_ARTIFACTS")
    if not folder or shot is None:
        return
    os.makedirs(folder, exist_ok=True)
    name = "".join(c if c.isalnum() else "-" for c in what)[:60] + ".png"
    path = os.path.join(folder, name)
    shot.image.crop(shot.left, shot.top, min(shot.width, xh.SCREEN_WIDTH - shot.left),
                    min(shot.height, xh.SCREEN_HEIGHT - shot.top)).save_png(path)
    xh.log("capture kept in", path)


def error_boxes(desk, title="touchdrill"):
    return desk.search("^%s$" % title)


def dismiss_error_box(desk, box, timeout=10.0):
    desk.focus(box)
    desk.keys("Return")
    xh.wait_for(lambda: box not in error_boxes(desk), timeout, "the error box to close")


def parse_ini(text):
    """{section: {key: value}} with the names as written."""
    sections = {}
    current = None
    for line in text.splitlines():
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            current = sections.setdefault(stripped[1:-1].strip(), {})
        elif "=" in stripped and current is not None and not stripped.startswith(";"):
            key, _, value = stripped.partition("=")
            current[key.strip()] = value.strip()
    return sections


# ---------------------------------------------------------------------------------------------
# The error box's text.
#
# On Linux the toolkit's message box neither copies itself on Ctrl+C nor lets its text be
# selected. Given this style sheet (through the toolkit's own -stylesheet argument, which the
# program leaves to it), the box's text becomes selectable by mouse and keyboard, so a test can
# click it, select it all and copy it. The program's own code runs exactly as without it.
ERROR_BOX_STYLE = "QMessageBox { messagebox-text-interaction-flags: 3; }\n"
ERROR_BOX_STYLE_FILE = "errorbox.qss"


def selectable_error_boxes(program):
    """Starts the program with error boxes whose text can be copied (see ERROR_BOX_STYLE)."""
    path = os.path.join(program.folder, ERROR_BOX_STYLE_FILE)
    with open(path, "w", encoding="ascii") as f:
        f.write(ERROR_BOX_STYLE)
    os.chmod(path, 0o644)
    program.args = ["-stylesheet", path]
    return path


def is_error_red(p):
    return p[0] >= 180 and p[1] <= 90 and p[2] <= 90


def read_error_box(desk, box):
    """(text, has the error icon) of an open error box."""
    left, top, width, height = desk.geometry(box)

    def painted():
        image = desk.capture(left, top, width, height)
        # The icon sits at the left; the text to its right, above the row of buttons.
        icon_red = sum(1 for y in range(0, min(height, 60)) for x in range(0, min(width, 60))
                       if is_error_red(image.pixel(left + x, top + y)))
        for y in range(4, max(5, height - 44)):
            for x in range(48, width - 4):
                if sum(image.pixel(left + x, top + y)) < 300:
                    return (x, y), icon_red
        raise Failure("no text in the error box (%dx%d) yet" % (width, height))
    spot, icon_red = xh.wait_for(painted, 10, "the error box's text to be painted", interval=0.1)
    desk.x.clear_selection("CLIPBOARD")
    desk.xdotool("mousemove", str(left + spot[0]), str(top + spot[1]), "click", "1")
    desk.keys("ctrl+a", "ctrl+c", delay=20)
    text = xh.wait_for(desk.read_clipboard, 10, "the error box's text on the clipboard")
    # Out of the way, so that no control is left under the pointer when the box goes.
    desk.xdotool("mousemove", str(xh.SCREEN_WIDTH - 1), str(xh.SCREEN_HEIGHT - 1))
    return text, icon_red >= 20


def expect_error_box(desk, program, text, what, timeout=20.0):
    """Waits for the one error box, checks its title, icon and exact text, and closes it.

    program: the program that must keep running meanwhile, or None while it shuts down (a box
    shown at the close ends the program once it is dismissed)."""
    def box():
        if program is not None:
            program.ensure_running()
        return error_boxes(desk)
    boxes = xh.wait_for(box, timeout, "the error box (%s)" % what)
    check(len(boxes) == 1, "%s: %d error boxes" % (what, len(boxes)))
    got, icon = read_error_box(desk, boxes[0])
    check(got == text, "%s: the error box says %r, expected %r" % (what, got, text))
    check(icon, "%s: the error box shows no error icon" % what)
    dismiss_error_box(desk, boxes[0])
    return got


def list_pixels(shot):
    """The raw pixels of the results list's item area, for comparing two moments."""
    left, top, right, bottom = shot.list_viewport()
    return shot.image.crop(shot.left + left, shot.top + top, right - left, bottom - top).rgb

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end cases on real platform parts: a window manager's frame, and the Japanese keymap.

Usage: run_wm_keymap.py --exe path/to/touchdrill --case wmframe|wmicewm|jpkeymap
  wmframe   under openbox: the stored outer bounds survive moves, resizes, restarts and a
            close while maximised without drifting by the frame; a stored size smaller than
            the frame opens a window whose controls show;
  wmicewm   under IceWM, which resizes a window before it marks it maximised: a close while
            maximised stores the bounds before; a size too large for the work area fits it;
  jpkeymap  on an Xvnc server with the jp106 keymap: the yen key and the ro key both answer a
            backslash target, and the symbol keys arrive as the JIS keyboard labels them.
Exit status 0 passed, 1 failed, 77 skipped (a tool missing on this machine).
"""

import contextlib
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xharness as xh  # noqa: E402
from xharness import Failure, check, log  # noqa: E402
from touchdrill_ui import (  # noqa: E402
    DESIGNED_SIZE, MINIMUM_CLIENT, parse_ini, stat_or_none, wait_for_file_change)

EXE = None


def private_folder(parent, name):
    path = os.path.join(parent, name)
    os.mkdir(path, 0o700)
    return path


# ---------------------------------------------------------------------------------------------
# Outer bounds under a window manager that draws a frame.

WINDOW_MANAGERS = {"openbox": ["openbox", "--sm-disable"], "icewm": ["icewm"]}


@contextlib.contextmanager
def window_manager(desk, folder, name="openbox"):
    """A window manager with its stock configuration, its own files kept in folder."""
    home = private_folder(folder, "wm")
    env = dict(desk.env, HOME=home, XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home, XDG_DATA_HOME=home)
    with open(os.path.join(home, name + "-output.txt"), "wb") as out:
        proc = subprocess.Popen(WINDOW_MANAGERS[name], env=env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT, preexec_fn=xh._die_with_parent)
    try:
        def managing():
            check(proc.poll() is None, "%s ended (status %s)" % (name, proc.returncode))
            return "window id" in desk.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout
        xh.wait_for(managing, 20, name + " to manage the screen")
        yield proc
    finally:
        xh._stop_process(proc)


def window_properties(desk, window):
    """{name: text after '='} of the window's frame extents and state, as xprop shows them."""
    out = desk.run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS", "_NET_WM_STATE").stdout
    props = {}
    for line in out.splitlines():
        name, sep, value = line.partition("=")
        if sep:
            props[name.split("(")[0].strip()] = value.strip()
    return props


def outer_bounds(desk, window):
    """(left, top, width, height) of the window with its frame, and whether it is maximised."""
    left, top, width, height = desk.geometry(window)
    props = window_properties(desk, window)
    extents = props.get("_NET_FRAME_EXTENTS")
    check(extents is not None, "the window manager has not framed the window yet")
    fl, fr, ft, fb = (int(v) for v in extents.split(","))
    maximised = "_NET_WM_STATE_MAXIMIZED_HORZ" in props.get("_NET_WM_STATE", "")
    return (left - fl, top - ft, width + fl + fr, height + ft + fb), maximised


def wait_for_outer(desk, program, expected, maximised=False, timeout=10.0):
    def matches():
        program.ensure_running()
        got, is_max = outer_bounds(desk, program.window)
        check(got == tuple(expected) and is_max == maximised,
              "outer bounds %s%s, expected %s%s" % (got, " maximised" if is_max else "", tuple(expected),
                                                    " maximised" if maximised else ""))
        return got
    return xh.wait_for(matches, timeout, "the window's outer bounds")


def drag(desk, x, y, dx, dy, steps=10):
    """Presses the first button at (x, y), moves by (dx, dy) in steps and lets go, as a hand would."""
    desk.xdotool("mousemove", str(x), str(y), "mousedown", "1")
    for i in range(1, steps + 1):
        desk.xdotool("mousemove", str(x + dx * i // steps), str(y + dy * i // steps))
    desk.xdotool("mouseup", "1")


def store_bounds(program, left, top, width, height):
    with open(program.ini, "w", encoding="utf-8") as f:
        f.write("[Form]\nTop=%d\nLeft=%d\nWidth=%d\nHeight=%d\n" % (top, left, width, height))


def maximise_by_title_bar(desk, program, outer):
    desk.xdotool("mousemove", str(outer[0] + 100), str(outer[1] + 10),
                 "click", "--repeat", "2", "--delay", "80", "1")
    xh.wait_for(lambda: outer_bounds(desk, program.window)[1], 10, "the window to be maximised")


def stored_bounds(program):
    with open(program.ini, encoding="utf-8") as f:
        form = parse_ini(f.read()).get("Form", {})
    try:
        return tuple(int(form[k]) for k in ("Left", "Top", "Width", "Height"))
    except (KeyError, ValueError):
        raise Failure("[Form] does not hold four decimal values: %s" % form)


def scenario_wmframe():
    with xh.desktop("openbox", "xprop") as desk, xh.scratch_folder() as folder, \
            window_manager(desk, folder):
        program = xh.Program(EXE, private_folder(folder, "app"))

        # No placement file: the frame's top-left at the work area's corner, the designed outer size.
        program.start(desk)
        designed = (0, 0) + DESIGNED_SIZE
        wait_for_outer(desk, program, designed)
        _, top, width, height = desk.geometry(program.window)
        check(top > 0 and (width, height) != DESIGNED_SIZE, "openbox drew no frame around the window")

        # Move by the title bar, then size by the bottom-right corner of the frame.
        drag(desk, 100, 8, 200, 150)
        wait_for_outer(desk, program, (200, 150) + DESIGNED_SIZE)
        left, top, width, height = (200, 150) + DESIGNED_SIZE
        drag(desk, left + width - 3, top + height - 2, 100, 50)
        placed = (200, 150, DESIGNED_SIZE[0] + 100, DESIGNED_SIZE[1] + 50)
        wait_for_outer(desk, program, placed)

        # Close and restart three times: the same outer bounds stored and shown each time.
        for cycle in range(1, 4):
            check(program.close(desk) == 0, "cycle %d: the program did not exit cleanly" % cycle)
            check(stored_bounds(program) == placed,
                  "cycle %d: stored Left/Top/Width/Height %s, expected %s" % (cycle, stored_bounds(program), placed))
            program.start(desk)
            try:
                wait_for_outer(desk, program, placed)
            except Failure as failure:
                raise Failure("cycle %d: %s" % (cycle, failure))
        log("moved and sized window kept", placed, "over three restarts")

        # Maximised by a double click on the title bar, then closed: the next start opens a
        # normal window where it was before maximising.
        maximised_close_reopens_normal(desk, program, placed)
        log("closed while maximised, reopened normal at", placed)

        # A stored size no larger than the frame once opened no window at all: the client area is
        # raised to the least at which the controls show, and the frame comes on top of it.
        store_bounds(program, placed[0], placed[1], 2, 20)
        program.start(desk)

        def controls_show():
            program.ensure_running()
            outer, _ = outer_bounds(desk, program.window)
            client = desk.geometry(program.window)[2:]
            check(outer[:2] == placed[:2] and client == MINIMUM_CLIENT,
                  "outer bounds %s, client size %s; expected the corner %s and the client %s"
                  % (outer, client, placed[:2], MINIMUM_CLIENT))
            return outer
        raised = xh.wait_for(controls_show, 10, "the window raised to its least size")
        check(program.close(desk) == 0, "the program did not exit cleanly")
        check(stored_bounds(program) == raised, "the raised window stored %s, expected %s"
              % (stored_bounds(program), raised))
        log("stored 2x20 opened at", raised, "with a client area of", MINIMUM_CLIENT)


def maximised_close_reopens_normal(desk, program, placed):
    """Maximises the window at `placed` by its title bar and closes it: the bounds stored, and those
    of the next start, are the ones it had before maximising."""
    maximise_by_title_bar(desk, program, placed)
    check(program.close(desk) == 0, "the program did not exit cleanly after a maximise")
    stored = stored_bounds(program)
    check(stored == placed, "closed while maximised: stored %s, expected the bounds before "
                            "maximising %s" % (stored, placed))
    program.start(desk)
    wait_for_outer(desk, program, placed, maximised=False)
    check(program.close(desk) == 0, "the program did not exit cleanly")
    check(stored_bounds(program) == placed, "the restored window stored %s" % (stored_bounds(program),))


def work_area(desk):
    """(left, top, width, height) of the desktop's work area, once a task bar has taken its share."""
    def reserved():
        out = desk.run("xprop", "-root", "_NET_WORKAREA").stdout
        _, sep, values = out.partition("=")
        area = tuple(int(v) for v in values.split(",")[:4]) if sep else None
        return area if area and area[3] < xh.SCREEN_HEIGHT else None
    return xh.wait_for(reserved, 20, "the task bar to reserve its part of the screen")


def scenario_wmicewm():
    with xh.desktop("icewm", "xprop") as desk, xh.scratch_folder() as folder, \
            window_manager(desk, folder, "icewm"):
        program = xh.Program(EXE, private_folder(folder, "app"))
        work = work_area(desk)

        # Larger than any screen (a size that once took gigabytes): the window fills the work area
        # it opens on, frame included, and all of it is on screen.
        store_bounds(program, 100, 100, 32000, 32000)
        program.start(desk)
        wait_for_outer(desk, program, work)
        check(program.close(desk) == 0, "the program did not exit cleanly")
        check(stored_bounds(program) == work, "the fitted window stored %s, expected the work area %s"
              % (stored_bounds(program), work))
        log("stored 32000x32000 opened at the work area", work)

        # IceWM resizes the window to the maximised size first and marks it maximised after: the
        # bounds before that resize are the ones stored.
        placed = (200, 150, DESIGNED_SIZE[0] + 100, DESIGNED_SIZE[1] + 50)
        store_bounds(program, *placed)
        program.start(desk)
        wait_for_outer(desk, program, placed)
        maximised_close_reopens_normal(desk, program, placed)
        log("closed while maximised under IceWM, reopened normal at", placed)


# ---------------------------------------------------------------------------------------------
# The Japanese keyboard, on a server that takes the jp106 keymap.

# The symbol keys of a JIS keyboard by keycode (shift+ for the upper character), as the jp106
# map lays them out. Typing by keycode, not by character, is what makes this a test of the map:
# under a US map the same keycodes give other characters.
JP_KEYS = {
    "!": "shift+10", '"': "shift+11", "#": "shift+12", "$": "shift+13", "%": "shift+14",
    "&": "shift+15", "'": "shift+16", "(": "shift+17", ")": "shift+18",
    "-": "20", "=": "shift+20", "^": "21", "~": "shift+21", "|": "shift+132",
    "@": "34", "`": "shift+34", "[": "35", "{": "shift+35",
    ";": "47", "+": "shift+47", ":": "48", "*": "shift+48", "]": "51", "}": "shift+51",
    ",": "59", "<": "shift+59", ".": "60", ">": "shift+60", "/": "61", "?": "shift+61",
    "_": "shift+97",
}
YEN_KEY, RO_KEY = "132", "97"  # both type a backslash, unshifted
MUST_ARRIVE = "^@[]:_"  # the keys where a JIS keyboard differs most from a US one
SYMBOLS_TABS = 4  # the symbols check box, counted in Tabs from the results list

# The panel's two displays in window coordinates (left, top, width, height): the target's left
# of x 196, the wrong key's to its right, both above the gauge.
TARGET_AREA = (2, 120, 192, 260)
WRONG_AREA = (198, 200, 58, 180)
PANEL_WIDTH, PANEL_HEIGHT = 256, 380
MAX_TARGETS = 600


class Panel:
    """Reads the two displays of the running drill's panel."""

    def __init__(self, desk, program):
        self.desk = desk
        self.program = program
        self.left, self.top, _, _ = desk.geometry(program.window)

    def read(self):
        """(target display's pixels, wrong-key display's pixels)."""
        image = self.desk.capture(self.left, self.top, PANEL_WIDTH, PANEL_HEIGHT)
        return tuple(image.crop(self.left + x, self.top + y, w, h).rgb
                     for x, y, w, h in (TARGET_AREA, WRONG_AREA))

    def settled(self, before):
        """The displays once they differ from before and two reads in a row agree."""
        last = {}

        def changed():
            self.program.ensure_running()
            now = self.read()
            stable = now == last.get("read")
            last["read"] = now
            return now if now != before and stable else None
        return xh.wait_for(changed, 10, "the panel to answer a key", interval=0.005)

    def press(self, key):
        """Types one key; True when it answered the target (the target changed)."""
        before = self.read()
        self.desk.xdotool("key", key)
        try:
            after = self.settled(before)
        except xh.Fatal:
            raise
        except Failure as failure:
            raise Failure("key %s changed neither display: it typed no character, or the same one as "
                          "the key before it (%s)" % (key, failure))
        return after[0] != before[0]


def scenario_jpkeymap():
    with xh.desktop("Xvnc", "setxkbmap", server=xh.Xvnc) as desk, xh.scratch_folder() as folder:
        desk.run("setxkbmap", "-model", "jp106", "-layout", "jp")
        program = xh.Program(EXE, folder)
        window = program.start(desk)
        desk.focus(window)
        desk.keys(*(["Tab"] * SYMBOLS_TABS), "space", *(["shift+Tab"] * SYMBOLS_TABS), "alt+r")
        panel = Panel(desk, program)
        before = panel.read()
        desk.keys("space")
        panel.settled(before)

        # Learn each target's picture from the key that answers it; later ones are answered at
        # once. Backslash targets go to the yen key and the ro key in turn.
        glyphs = {}  # target picture -> character
        answered = []  # (character, key)
        turn = [YEN_KEY, RO_KEY]

        def key_for(char):
            if char != "\\":
                return JP_KEYS[char]
            turn.append(turn.pop(0))
            return turn[-1]

        def done():
            keys = {key for char, key in answered if char == "\\"}
            return {YEN_KEY, RO_KEY} <= keys and set(MUST_ARRIVE) <= {c for c, _ in answered}

        targets = 0
        while not done():
            targets += 1
            check(targets <= MAX_TARGETS, "after %d targets still not answered: %s"
                  % (MAX_TARGETS, sorted(set(MUST_ARRIVE + "\\") - {c for c, _ in answered})))
            picture = panel.read()[0]
            if picture in glyphs:
                char = glyphs[picture]
                key = key_for(char)
                check(panel.press(key), "key %s did not answer %r, which it answered before" % (key, char))
            else:
                # Every symbol not learnt yet, one key each (one of the two backslash keys).
                candidates = [c for c in sorted(JP_KEYS) + ["\\"] if c not in glyphs.values()]
                for char in candidates:
                    key = key_for(char)
                    if panel.press(key):
                        glyphs[picture] = char
                        break
                else:
                    raise Failure("no symbol key answered the target (learnt so far: %s)"
                                  % "".join(sorted(glyphs.values())))
            answered.append((char, key))
        log("%d targets; answered %s" % (targets, "".join(sorted({c for c, _ in answered}))))

        before = stat_or_none(program.bst)
        desk.keys("space")
        wait_for_file_change(program, program.bst, before)
        best = xh.decode_best_times(program.read_bst())
        want = sorted({c for c, _ in answered})
        check(sorted(best) == want, "best times kept for %s, but the keys answered %s"
              % ("".join(sorted(best)), "".join(want)))
        check(program.close(desk) == 0, "the program did not exit cleanly")
        log("yen key and ro key answered backslash; %s arrived as typed" % MUST_ARRIVE)


CASES = {
    "wmframe": scenario_wmframe,
    "wmicewm": scenario_wmicewm,
    "jpkeymap": scenario_jpkeymap,
}


def main():
    global EXE
    args = xh.case_parser(__doc__, CASES).parse_args()
    EXE = xh.program_under_test(args.exe)
    return xh.run_cases(CASES, [args.case]) if EXE else 1


if __name__ == "__main__":
    sys.exit(main())

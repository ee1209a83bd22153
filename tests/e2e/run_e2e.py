#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end scenarios: the real touchdrill under a private Xvfb, typed at with xdotool.

Usage: run_e2e.py --exe path/to/touchdrill --case startup|drill|placement|faults
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool on this machine).
"""

import os
import shutil
import stat
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xharness as xh  # noqa: E402
from xharness import Failure, check, log  # noqa: E402
from touchdrill_ui import (  # noqa: E402
    CYAN, DESIGNED_SIZE, GAUGE_HEIGHT, HOME_ROW, MINIMUM_CLIENT, PANEL_WIDTH, WHITE, check_bar,
    dismiss_error_box, drill_keys, error_boxes, parse_ini, run_drill, tick_home_row, wait_for_file_change,
    wait_for_shot, wait_for_window_geometry)

EXE = None


# ---------------------------------------------------------------------------------------------
# Start-up: one window, its parts where the layout puts them, docking on resize.

def check_layout(shot, empty_target=False):
    """The cyan panel on the left, the white list to its right, the gauge along the bottom."""
    w, h = shot.width, shot.height
    panel_bottom = h - GAUGE_HEIGHT  # first line of the gauge
    # Below the row group the panel is bare across its width: cyan from its 1-pixel bevel on
    # the left to its bevel on the right, 257 pixels in all.
    for y in sorted({min(170, panel_bottom - 2), panel_bottom - 2}):
        row = [shot.px(x, y) for x in range(0, PANEL_WIDTH + 2)]
        cyan = [x for x, p in enumerate(row) if p == CYAN]
        check(cyan and cyan[0] <= 2 and cyan[-1] == PANEL_WIDTH - 2,
              "panel line y=%d: cyan spans x=%s..%s, expected 1..%d"
              % (y, cyan[0] if cyan else None, cyan[-1] if cyan else None, PANEL_WIDTH - 2))
        check(all(p == CYAN for p in row[2:PANEL_WIDTH - 2]), "panel line y=%d is not all cyan" % y)
    # Between the prepare button and the target label, left of the row group.
    for y in (50, 100):
        check(all(shot.px(x, y) == CYAN for x in range(2, 140)), "panel line y=%d is not all cyan" % y)
    # Down the panel's left margin (left of the target label) and right of the row group.
    for x in (4, PANEL_WIDTH - 6):
        column = [shot.px(x, y) for y in range(2, panel_bottom - 2)]
        check(all(p == CYAN for p in column), "panel column x=%d is not all cyan" % x)
    # The panel stops 40 pixels above the bottom, where the gauge begins.
    check(shot.px(100, panel_bottom - 2) == CYAN, "panel does not reach 40 px above the bottom")
    # The list: white inside its frame, from right of the panel to the window's right edge.
    left, top, right, bottom = shot.list_viewport()
    check(PANEL_WIDTH <= left <= PANEL_WIDTH + 3, "list starts at x=%d" % left)
    check(right >= w - 3 and top <= 3 and bottom >= panel_bottom - 3,
          "list area %s does not fill the right part of the window %dx%d" % ((left, top, right, bottom), w, h))
    for y in range(top, bottom):
        line = [shot.px(x, y) for x in range(left, right)]
        if any(p != WHITE for p in line):
            raise Failure("empty results list not white at line y=%d" % y)
    # The gauge: the bottom 40 lines across the whole width hold neither panel nor list.
    for y in range(panel_bottom + 1, h - 1):
        line = [shot.px(x, y) for x in range(1, w - 1)]
        bad = [p for p in line if p in (CYAN, WHITE)]
        check(not bad, "gauge line y=%d shows the panel's or the list's colour" % y)
    # Nothing is on show in the target label yet: no white block in the panel's lower half.
    if empty_target:
        check(shot.px(20, 200) == CYAN and shot.px(60, 300) == CYAN, "the target display is not empty at start")


def scenario_startup():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        window = program.start(desk)
        titled = desk.search("^" + xh.WINDOW_TITLE + "$")
        check(titled == [window], "windows titled %s: %s" % (xh.WINDOW_TITLE, titled))
        # No placement file yet: the designed size, at the work area's top-left corner.
        wait_for_window_geometry(desk, window, (0, 0) + DESIGNED_SIZE)
        wait_for_shot(desk, program, lambda s: check_layout(s, empty_target=True) is None, 10,
                      "the designed layout")
        log("start-up layout ok at 369x422")

        # Docking holds on a resize: only the list grows, the gauge stays at the bottom.
        for size in ((600, 500), (300, 200)):
            desk.xdotool("windowsize", str(window), *map(str, size))
            wait_for_window_geometry(desk, window, (0, 0) + size)
            wait_for_shot(desk, program, lambda s: check_layout(s) is None, 10,
                          "the layout docked to %dx%d" % size)
            log("layout ok at %dx%d" % size)
        check(program.close(desk) == 0, "the program did not exit cleanly")
        check(not os.path.exists(program.bst), "a best-times file appeared without a drill")


# ---------------------------------------------------------------------------------------------
# Drills typed at the keyboard, their best-times file and their chart.

def home_row_best(path, what):
    with open(path, "rb") as f:
        data = f.read()
    best = xh.decode_best_times(data)
    stray = sorted(c for c in best if c not in HOME_ROW)
    check(not stray, "%s: best times for characters outside the ticked row: %s" % (what, stray))
    check(best, "%s: no character was answered" % what)
    return best


def check_first_chart(shot, best):
    """One row per answered character in code order; each bar avg/10 pixels long; no stars."""
    rows = shot.list_rows()
    answered = sorted(best)
    check(len(rows) > len(answered), "list too short for %d rows" % len(answered))
    for row, char in zip(rows, answered):
        check(row.dark_label, "row %d (%r) shows no label" % (row.index, char))
        # First drill: the stored best is this drill's average (0 ms is stored as 1).
        check_bar(row, char, best[char] // 10)
        check(not row.yellow, "row %d (%r) shows a star on a first drill" % (row.index, char))
    for row in rows[len(answered):]:
        check(row.blank(), "row %d is not blank: the list holds more than %d rows" % (row.index, len(answered)))
    return True


def check_second_chart(shot, first, second):
    """The second drill's rows: stars at the first drill's bests, and the file keeps the lower."""
    rows = shot.list_rows()
    count = next(i for i, r in enumerate(rows + [None]) if r is None or r.blank())
    shown = rows[:count]
    check(shown, "the list is empty after the second drill")
    check(all(r.blank() for r in rows[count:]), "the list's rows do not run on from the top")
    for row in shown:
        check(row.dark_label, "row %d shows no label" % row.index)
        check_bar(row, "?", row.bar_length(), star_free=False)
    check(any(r.yellow for r in shown), "no yellow star after a second drill over the same row")

    def agrees(row, char):
        """Row and files agree that `char` was practised in the second drill with this bar."""
        b1, b2 = first.get(char, 0), second.get(char, 0)
        avg_low, avg_high = row.average_range()  # the averages the bar can stand for
        if b1 == 0:
            # No earlier best: no star, and this drill's average is the new best (0 ms kept as 1).
            return not row.yellow and max(avg_low, 1) <= b2 <= avg_high
        star_x = 20 + b1 // 10
        if not row.star_visible(star_x):
            if row.yellow:
                return False
        elif not row.yellow or not star_x <= min(row.yellow) <= star_x + 3:
            return False
        if b2 == b1:
            return avg_high >= b1  # slower or tied: the old best stays
        return max(avg_low, 1) <= b2 <= min(avg_high, b1 - 1)  # faster: the new best

    # The rows are the practised characters in code order; which ones were practised only the
    # files can tell. Look for an assignment under which every row agrees and every character
    # without a row kept its best.
    chars = sorted(set(HOME_ROW))

    def unchanged(cs):
        return all(second.get(c, 0) == first.get(c, 0) for c in cs)

    def assign(ri, ci):
        if ri == len(shown):
            return unchanged(chars[ci:])
        for cj in range(ci, len(chars)):
            if not unchanged(chars[ci:cj]):
                return False
            if agrees(shown[ri], chars[cj]) and assign(ri + 1, cj + 1):
                return True
        return False

    if not assign(0, 0):
        raise Failure("the second drill's rows (bars %s, stars at %s) do not match the best times "
                      "(before %s, after %s)" % ([r.bar_length() for r in shown],
                                                 [min(r.yellow) if r.yellow else None for r in shown],
                                                 first, second))
    for char, b1 in first.items():
        check(0 < second.get(char, 0) <= b1, "the best of %r went from %d to %s" % (char, b1, second.get(char)))
    return True


def scenario_drill():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        window = program.start(desk)
        desk.focus(window)

        # Tick the home row, prepare with Alt+R and type the row in turn, with keys of other rows
        # in between that must never count: the targets come from the ticked row only.
        tick_home_row(desk)
        run_drill(desk, drill_keys(10, strangers="qz1"), delay=30)
        wait_for_file_change(program, program.bst, None)
        check(os.path.getsize(program.bst) == 376, "best-times file is %d bytes" % os.path.getsize(program.bst))
        first = home_row_best(program.bst, "first drill")
        log("first drill answered", "".join(sorted(first)), first)
        wait_for_shot(desk, program, lambda s: check_first_chart(s, first), 10, "the first drill's chart")

        # Second drill, slower: prepared by a plain r with the focus on a check box, started from the
        # list again. The chart shows the first drill's bests as stars.
        before = os.stat(program.bst)
        desk.keys("Tab", "r", "shift+Tab", delay=30)
        run_drill(desk, drill_keys(8), delay=60, prepare=())
        wait_for_file_change(program, program.bst, before)
        second = home_row_best(program.bst, "second drill")
        log("second drill file", second)
        wait_for_shot(desk, program, lambda s: check_second_chart(s, first, second), 10,
                      "the second drill's chart")
        check(program.close(desk) == 0, "the program did not exit cleanly")
        check(os.path.getsize(program.bst) == 376 and home_row_best(program.bst, "after closing") == second,
              "closing the window changed the best-times file")


# ---------------------------------------------------------------------------------------------
# Window placement kept in the INI file beside the executable.

FORM_KEYS = ("Top", "Left", "Width", "Height")

HAND_WRITTEN = (
    "; window placement, edited by hand\n"
    "[Other]\n"
    "Top=999\n"
    "  Name = Some Value  \n"
    "\n"
    "[Form]\n"
    "Top=0x20\n"
    "Left=5000\n"
    "Colour=blue\n"
    "Width=$190\n"
    "Height=420\n"
    "[Tail]\n"
    "Left=7\n"
)

# (what, [Form] lines, expected left, top, width, height); the work area is the 1024x768 screen.
PLACEMENT_ROWS = [
    ("left off screen to the right, hex top and width", None, (0, 32, 400, 420)),
    ("left and top at the last allowed pixel",
     "Top=668\nLeft=924\nWidth=300\nHeight=200\n", (924, 668, 300, 200)),
    ("one pixel beyond the last allowed",
     "Top=669\nLeft=925\nWidth=0x12C\nHeight=X0C8\n", (0, 0, 300, 200)),
    ("negative top, signed hex left, sizes missing",
     "Top=-50\nLeft=-$10\n", (16, 0) + DESIGNED_SIZE),
    ("unreadable values fall back to the defaults",
     "Top=12abc\nLeft=2147483648\nWidth=300\nHeight=300 x\n", (0, 0, 300, DESIGNED_SIZE[1])),
    # Once left the process running with no window to close, start after start.
    ("zero width: raised to the least the controls need, the window shows",
     "Top=100\nLeft=100\nWidth=0\nHeight=300\n", (100, 100, MINIMUM_CLIENT[0], 300)),
]


def saved_form(path):
    with open(path, encoding="utf-8") as f:
        form = parse_ini(f.read()).get("Form")
    check(form is not None, "no [Form] section in %s" % path)
    try:
        return tuple(int(form[k]) for k in FORM_KEYS)
    except (KeyError, ValueError):
        raise Failure("[Form] does not hold four decimal values: %s" % form)


def scenario_placement():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)

        # Move and size the window, close it, and it reopens just there.
        window = program.start(desk)
        wait_for_window_geometry(desk, window, (0, 0) + DESIGNED_SIZE)
        desk.xdotool("windowmove", str(window), "300", "200")
        desk.xdotool("windowsize", str(window), "500", "450")
        wait_for_window_geometry(desk, window, (300, 200, 500, 450))
        check(program.close(desk) == 0, "the program did not exit cleanly")
        top, left, width, height = saved_form(program.ini)
        check((left, top, width, height) == (300, 200, 500, 450),
              "saved Top/Left/Width/Height %s, expected 200/300/500/450" % ((top, left, width, height),))
        window = program.start(desk)
        wait_for_window_geometry(desk, window, (300, 200, 500, 450))
        check(program.close(desk) == 0, "the program did not exit cleanly")
        log("moved and sized window reopens at 300,200 500x450")

        # Hand-written files: each opens the window where the rules put it, and closing writes
        # those bounds back.
        for what, form_lines, expected in PLACEMENT_ROWS:
            text = HAND_WRITTEN if form_lines is None else "[Form]\n" + form_lines
            with open(program.ini, "w", encoding="utf-8") as f:
                f.write(text)
            window = program.start(desk)
            try:
                wait_for_window_geometry(desk, window, expected)
            except Failure as failure:
                raise Failure("%s: %s" % (what, failure))
            check(program.close(desk) == 0, "%s: the program did not exit cleanly" % what)
            top, left, width, height = saved_form(program.ini)
            check((left, top, width, height) == expected,
                  "%s: saved %s, expected %s" % (what, (left, top, width, height), expected))
            if form_lines is None:
                # Only the four values changed; every other line is as it was, byte for byte.
                left, top, width, height = expected
                want = (HAND_WRITTEN.replace("Top=0x20\n", "Top=%d\n" % top)
                        .replace("Left=5000\n", "Left=%d\n" % left)
                        .replace("Width=$190\n", "Width=%d\n" % width)
                        .replace("Height=420\n", "Height=%d\n" % height))
                with open(program.ini, "rb") as f:
                    got = f.read().decode("utf-8")
                check(got == want, "%s: the rewritten file differs:\n--- expected\n%s--- got\n%s"
                      % (what, want, got))
            log("placement ok:", what, expected)


# ---------------------------------------------------------------------------------------------
# Failures of the best-times file: the error box, and the file left as it was.

def seeded_bytes():
    return xh.encode_best_times({"a": 321, "q": 1234, "~": 77})


def short_file(program):
    with open(program.bst, "wb") as f:
        f.write(bytes(range(100)))


def read_only_file(program):
    with open(program.bst, "wb") as f:
        f.write(seeded_bytes())
    os.chmod(program.bst, 0o444)


def unreadable_file(program):
    with open(program.bst, "wb") as f:
        f.write(seeded_bytes())
    os.chmod(program.bst, 0o200)


# (what, set-up, needs a user whom permissions bind, list filled despite the error)
# A folder that takes no new file beside a writable file is no fault: run_reliability.py shows
# both files rewritten in place.
FAULT_ROWS = [
    ("short best-times file", short_file, False, True),
    ("read-only best-times file", read_only_file, True, True),
    ("best-times file without read permission", unreadable_file, True, True),
]


def files_in(folder):
    # The practice history is made at the first drill's end, whatever became of the best times.
    return sorted(n for n in os.listdir(folder) if n not in ("program-output.txt", "touchdrill.sqlite"))


def run_fault(desk, what, setup, unprivileged, list_filled):
    with xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        if unprivileged and os.geteuid() == 0:
            # Permission bits do not bind root: run the program as an ordinary user.
            if shutil.which("setpriv") is None:
                log("NOT RUN:", what, "(running as root and setpriv is missing)")
                return False
            uid, gid = xh.unprivileged_ids()
            os.chown(folder, uid, gid)
            os.chmod(program.exe, 0o755)
            program.run_as = (uid, gid)
        setup(program)
        if program.run_as is not None:
            # The user's own files, with the modes the set-up gave them.
            for name in os.listdir(folder):
                os.chown(os.path.join(folder, name), *program.run_as)
        before_bytes = program.read_bst()
        before_mode = stat.S_IMODE(os.stat(program.bst).st_mode)
        before_files = files_in(folder)

        window = program.start(desk)
        desk.focus(window)
        tick_home_row(desk)
        run_drill(desk, drill_keys(4), delay=30)
        boxes = xh.wait_for(lambda: program.ensure_running() or error_boxes(desk), 20,
                            "the error box (%s)" % what)
        check(len(boxes) == 1, "%s: %d error boxes" % (what, len(boxes)))
        check(program.running(), "%s: the program ended" % what)
        check(program.read_bst() == before_bytes, "%s: the best-times file changed" % what)
        dismiss_error_box(desk, boxes[0])

        check(program.read_bst() == before_bytes, "%s: the best-times file changed" % what)
        check(stat.S_IMODE(os.stat(program.bst).st_mode) == before_mode, "%s: the file's mode changed" % what)
        check(files_in(folder) == before_files,
              "%s: files beside the program %s, before %s" % (what, files_in(folder), before_files))

        def list_state(shot):
            rows = shot.list_rows()
            filled = [r for r in rows if not r.blank()]
            if list_filled:
                check(filled and all(r.dark_label for r in filled), "%s: the list shows no results" % what)
            else:
                check(not filled, "%s: the list was filled although the file could not be read" % what)
            return True
        wait_for_shot(desk, program, list_state, 10, "the list after the error")
        check(desk.search("^" + xh.WINDOW_TITLE + "$") == [window], "%s: the main window is gone" % what)
        os.chmod(folder, 0o755)  # the placement file goes beside the program on close
        check(program.close(desk) == 0, "%s: the program did not exit cleanly" % what)
        log("fault ok:", what)
        return True


def scenario_faults():
    with xh.desktop() as desk:
        ran = [run_fault(desk, *row) for row in FAULT_ROWS]
        check(any(ran), "no fault case could run")

        # After a failed rewrite the program carries on: a long file is read for its first 376
        # bytes, cut to 376 by the next drill, and keeps the bests of characters not practised.
        with xh.scratch_folder() as folder:
            program = xh.Program(EXE, folder)
            seeded = {"a": 1, "q": 1234, "s": 99999}
            with open(program.bst, "wb") as f:
                f.write(xh.encode_best_times(seeded) + b"\xff" * 24)
            window = program.start(desk)
            desk.focus(window)
            tick_home_row(desk)
            before = os.stat(program.bst)
            run_drill(desk, drill_keys(6), delay=30)
            wait_for_file_change(program, program.bst, before)
            check(not error_boxes(desk), "an error box after a drill over a long file")
            data = program.read_bst()
            check(len(data) == 376, "long file not cut to 376 bytes: %d" % len(data))
            best = xh.decode_best_times(data)
            check(best.get("q") == 1234, "the best of q, not practised, changed to %s" % best.get("q"))
            check(best.get("a") == 1, "the unbeatable best of a changed to %s" % best.get("a"))
            stray = sorted(c for c in best if c not in HOME_ROW + "q")
            check(not stray, "bests appeared for %s" % stray)
            check(best.get("s", 0) <= 99999 and best.get("s", 0) != 0, "the best of s is %s" % best.get("s"))
            check(program.close(desk) == 0, "the program did not exit cleanly")
            log("long file cut to 376 bytes, other bests kept:", best)


CASES = {
    "startup": scenario_startup,
    "drill": scenario_drill,
    "placement": scenario_placement,
    "faults": scenario_faults,
}


def main():
    global EXE
    args = xh.case_parser(__doc__, CASES).parse_args()
    EXE = xh.program_under_test(args.exe)
    return xh.run_cases(CASES, [args.case]) if EXE else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The 「練習の記録」 window on the real program: three drills, F2 shows them, and the weak-key
button prepares a drill whose targets all come from the weak keys.

Usage: run_progress.py --exe path/to/touchdrill
       run_progress.py --exe path/to/touchdrill --fingers
       run_progress.py --exe path/to/touchdrill --week --demo-history path/to/make_demo_history
       run_progress.py --exe path/to/touchdrill --screenshot docs/progress.png \
           --demo-history path/to/make_demo_history
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool on this machine).
"""

import argparse
import os
import sqlite3
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of caches

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xharness as xh  # noqa: E402
from xharness import Failure, check, log  # noqa: E402
from touchdrill_ui import (  # noqa: E402
    HOME_ROW, drill_keys, parse_ini, read_history, run_drill, stat_or_none, tick_home_row, wait_for_file_change)

EXE = None
PROGRESS_TITLE = "練習の記録"
AVERAGE_COLOUR = (40, 90, 200)  # the chart's average line and its points
MIN_ANSWERS = 20  # the answers a key needs before it can be chosen, as the window's note states
# The right index finger's characters on the JIS keyboard, Shift characters included: written here
# apart from the program's map.
RIGHT_INDEX = set("67yuhjnm&'YUHJNM")


def answers_per_key(drills):
    """{character: hits + wrong keys} over the given drills."""
    answers = {}
    for *_, keys in drills:
        for char, (hits, _, wrong, _) in keys.items():
            answers[char] = answers.get(char, 0) + hits + wrong
    return answers


def find_progress(desk, program):
    def found():
        program.ensure_running()
        return desk.search("^%s$" % PROGRESS_TITLE)
    windows = xh.wait_for(found, 15, "the 練習の記録 window")
    check(len(windows) == 1, "%d windows titled %s" % (len(windows), PROGRESS_TITLE))
    return windows[0]


def shows_data(desk, window):
    """The chart has its points and the keyboard its coloured keys."""
    left, top, width, height = desk.geometry(window)
    image = desk.capture(left, top, min(width, xh.SCREEN_WIDTH - left), min(height, xh.SCREEN_HEIGHT - top))
    w, h = image.width, image.height
    chart_points = sum(1 for y in range(0, h // 2) for x in range(0, w, 2)
                       if image.pixel(left + x, top + y) == AVERAGE_COLOUR)
    # Keys coloured from pale yellow through orange to dark red: warm colours, red the strongest
    # channel, never grey or blue.
    heat = 0
    for y in range(h // 2, h - 40, 2):
        for x in range(0, int(w * 0.6), 2):
            r, g, b = image.pixel(left + x, top + y)
            if r == max(r, g, b) and r - min(g, b) > 60:
                heat += 1
    check(chart_points >= 3, "the chart shows no points of the average line (%d pixels)" % chart_points)
    check(heat >= 200, "the keyboard shows no coloured keys (%d pixels)" % heat)
    return True


def scenario():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        history = os.path.splitext(program.exe)[0] + ".sqlite"
        window = program.start(desk)
        desk.focus(window)
        tick_home_row(desk)
        # Ten rounds a drill: each target takes about nine answers (its hit and the row's other
        # keys), so over three drills some keys pass the answers a weak key needs.
        for delay in (40, 30, 50):
            before = stat_or_none(program.bst)
            run_drill(desk, drill_keys(10), delay=delay)
            wait_for_file_change(program, program.bst, before)
        xh.wait_for(lambda: os.path.exists(history) and len(read_history(history, writable=False)) == 3, 10,
                    "three drills in the history")
        # Three drills are fewer than the recent ones the window ranks by, so all of them count.
        answers = answers_per_key(read_history(history, writable=False))
        log("answers", dict(sorted(answers.items())))
        check(set(answers) <= set(HOME_ROW), "characters outside the home row were recorded: %s" % sorted(answers))

        # F2 opens the window; it shows the three drills.
        desk.focus(window)
        desk.keys("F2")
        progress = find_progress(desk, program)
        xh.wait_for(lambda: shows_data(desk, progress), 15, "the chart and the keyboard to show the drills")
        # F2 again raises the same window, never a second one.
        desk.focus(window)
        desk.keys("F2")
        check(find_progress(desk, program) == progress, "F2 made another window")

        # Esc closes it; the results list's menu opens it again, from the Menu key and from Shift+F10.
        for menu_key in ("Menu", "shift+F10"):
            desk.focus(progress)
            desk.keys("Escape")
            xh.wait_for(lambda: not desk.search("^%s$" % PROGRESS_TITLE), 10,
                        "the window to close on Esc")
            desk.focus(window)
            desk.keys(menu_key, "h", delay=150)
            progress = find_progress(desk, program)

        # 苦手なキーを練習 (Alt+W) prepares the main window and brings it forward; the space bar
        # starts a drill of the weak keys only. The whole home row is typed, round after round:
        # every target is answered, and every other key is a wrong key.
        desk.focus(progress)
        desk.keys("alt+w")
        xh.wait_for(lambda: desk.xdotool("getwindowfocus").stdout.strip() == str(window), 10,
                    "the main window to come forward")
        before = stat_or_none(program.bst)
        desk.keys("space", *drill_keys(6), "space", delay=30)
        wait_for_file_change(program, program.bst, before)
        xh.wait_for(lambda: len(read_history(history, writable=False)) == 4, 10, "the fourth drill in the history")
        *_, rows, keys = read_history(history, writable=False)[-1]
        answered = {c for c, (hits, *_) in keys.items() if hits}
        targets = set(keys)
        log("weak-key drill: rows", rows, "targets", "".join(sorted(targets)),
            "answered", "".join(sorted(answered)))
        check(rows == "weak", "the weak-key drill is recorded with rows %r" % rows)
        # Which keys are the weakest is the ranking's own test; what shows here is that the drill
        # took some of the row's keys, not all of them, and only keys answered often enough to judge.
        check(answered, "no target of the weak-key drill was answered")
        check(targets < set(HOME_ROW), "targets %s are not a part of the home row" % sorted(targets))
        too_few = {c: answers.get(c, 0) for c in targets if answers.get(c, 0) < MIN_ANSWERS}
        check(not too_few, "targets with fewer than %d answers before: %s" % (MIN_ANSWERS, too_few))

        check(program.close(desk) == 0, "the program did not exit cleanly")
        with open(program.ini, encoding="utf-8") as f:
            sections = parse_ini(f.read())
        check(set(sections.get("Progress", {})) == {"Top", "Left", "Width", "Height"},
              "the window's bounds are not kept in [Progress]: %s" % sections)
        check("Form" in sections, "the main window's bounds are missing: %s" % sections)


def fingers():
    """Two home-row drills keep their answers; in the window the keyboard's finger colouring (Alt+F)
    and the j key choose the right index finger, 「この指を練習」 (Alt+G) prepares its drill, and the
    drill is recorded as that finger's kind with targets of that finger alone."""
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        history = os.path.splitext(program.exe)[0] + ".sqlite"
        window = program.start(desk)
        desk.focus(window)
        tick_home_row(desk)
        for delay in (40, 30):
            before = stat_or_none(program.bst)
            run_drill(desk, drill_keys(6), delay=delay)
            wait_for_file_change(program, program.bst, before)
        xh.wait_for(lambda: os.path.exists(history) and len(read_history(history, writable=False)) == 2, 10,
                    "two drills in the history")
        db = sqlite3.connect("file:%s?mode=ro" % history, uri=True)
        try:
            kept = db.execute("SELECT count(*) FROM drill_answers").fetchone()[0]
        finally:
            db.close()
        check(kept == 2, "%d of the two drills kept their answers" % kept)

        desk.focus(window)
        desk.keys("F2")
        progress = find_progress(desk, program)
        desk.focus(progress)
        desk.keys("alt+f", "alt+k", "j", "alt+g", delay=200)
        xh.wait_for(lambda: desk.xdotool("getwindowfocus").stdout.strip() == str(window), 10,
                    "the main window to come forward")
        before = stat_or_none(program.bst)
        # Every character of the finger in each round, its Shift characters too: whatever the
        # target, each round answers it, and a drill without a right key would not be stored.
        finger_round = list("yuhjnm67YUHJNM") + ["ampersand", "apostrophe"]
        desk.keys("space", *(finger_round * 3), "space", delay=30)
        wait_for_file_change(program, program.bst, before)
        xh.wait_for(lambda: len(read_history(history, writable=False)) == 3, 10, "the finger drill in the history")
        *_, rows, keys = read_history(history, writable=False)[-1]
        targets = set(keys)
        answered = {c for c, (hits, *_) in keys.items() if hits}
        log("finger drill: rows", rows, "targets", "".join(sorted(targets)), "answered", "".join(sorted(answered)))
        check(rows == "finger:right-index", "the finger drill is recorded with rows %r" % rows)
        check(answered, "no target of the finger drill was answered")
        check(targets <= RIGHT_INDEX, "targets outside the right index finger: %s" % sorted(targets - RIGHT_INDEX))
        check(program.close(desk) == 0, "the program did not exit cleanly")


def average_line(desk, window):
    """The chart's average line as (x, y) pixels in the window, left to right; the y axis and the
    legend, drawn in the same colour at the chart's left and top edges, left out."""
    left, top, width, height = desk.geometry(window)
    image = desk.capture(left, top, width, height)
    found = [(x, y) for y in range(70, height // 2) for x in range(int(width * 0.12), width)
             if image.pixel(left + x, top + y) == AVERAGE_COLOUR]
    return sorted(found)


def goes_down(line):
    """Whether every pixel of the line's last third lies below (is slower on screen than) none of
    its first third: the later drills all faster than the earlier ones."""
    if len(line) < 30:
        return False
    first, last = line[0][0], line[-1][0]
    third = (last - first) / 3
    early = [y for x, y in line if x <= first + third]
    late = [y for x, y in line if x >= last - third]
    log("the line's first third spans y %d..%d, its last %d..%d" % (min(early), max(early), min(late), max(late)))
    return min(late) > max(early)


def week(out, maker):
    """A made-up week (make_demo_history): the window opens on the kind practised most, the home
    row, whose line goes down; with every kind, the slower three-row drills of the last days lift
    it again. With `out`, the picture of the window over that week is written there instead."""
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        subprocess.run([maker, folder], check=True)
        program = xh.Program(EXE, folder)
        # The size of the README's picture, wide enough for every column of the table.
        with open(program.ini, "a", encoding="utf-8") as f:
            f.write("\n[Progress]\nTop=0\nLeft=0\nWidth=%d\nHeight=%d\n" % (xh.SCREEN_WIDTH, xh.SCREEN_HEIGHT))
        window = program.start(desk)
        desk.focus(window)
        desk.keys("F2")
        progress = find_progress(desk, program)
        xh.wait_for(lambda: shows_data(desk, progress), 15, "the window to show the drills")
        desk.xdotool("mousemove", str(xh.SCREEN_WIDTH - 1), str(xh.SCREEN_HEIGHT - 1))
        time.sleep(0.5)
        if out:
            left, top, width, height = desk.geometry(progress)
            image = desk.capture()
            image.crop(left, top, min(width, xh.SCREEN_WIDTH - left), min(height, xh.SCREEN_HEIGHT - top)).save_png(out)
            log("wrote", out)
        else:
            check(goes_down(average_line(desk, progress)), "the home row's line does not go down over the week")
            # 「すべて」 heads the kind list: Alt+S and Home choose it.
            desk.keys("alt+s", "Home", delay=150)
            xh.wait_for(lambda: not goes_down(average_line(desk, progress)), 10,
                        "every kind's line to rise with the three-row drills")
        try:
            program.close(desk)
        except Failure:
            program.kill()


def main():
    global EXE
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--fingers", action="store_true", help="the finger drill prepared from the window")
    parser.add_argument("--week", action="store_true", help="the window over a made-up week of practice")
    parser.add_argument("--screenshot", metavar="PNG", help="only write the README's picture of the window over that week")
    parser.add_argument("--demo-history", metavar="EXE", help="make_demo_history, for --week and --screenshot")
    args = parser.parse_args()
    EXE = xh.program_under_test(args.exe)
    if not EXE:
        return 1
    if args.week or args.screenshot:
        out = os.path.abspath(args.screenshot) if args.screenshot else None
        return xh.main_guard(lambda: week(out, os.path.abspath(args.demo_history)))
    if args.fingers:
        return xh.main_guard(fingers)
    return xh.main_guard(scenario)


if __name__ == "__main__":
    sys.exit(main())

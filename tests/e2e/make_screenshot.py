#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the README's screenshot: touchdrill in the middle of a drill, with earlier results listed.

Usage: make_screenshot.py [--exe build/touchdrill] [--out docs/screenshot.png]
Runs the program under a private Xvfb like the end-to-end tests; not part of the test suite.
"""

import argparse
import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of caches

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import xharness as xh  # noqa: E402
from touchdrill_ui import drill_keys, run_drill, shoot, stat_or_none, tick_home_row, wait_for_file_change  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))


def make(exe, out):
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(exe, folder)
        window = program.start(desk)
        desk.focus(window)
        tick_home_row(desk)
        # Two finished drills give the list bars and the stars of earlier bests.
        for delay in (45, 35):
            before = stat_or_none(program.bst)
            run_drill(desk, drill_keys(6), delay=delay)
            wait_for_file_change(program, program.bst, before)
        # A third drill, caught with a target on show, a wrong key beside it and the gauge filling.
        desk.keys("alt+r", "space", *drill_keys(2), "q", delay=40)
        time.sleep(0.45)
        shot = shoot(desk, program)
        try:
            program.close(desk)
        except xh.Failure:
            program.kill()
        os.makedirs(os.path.dirname(out), exist_ok=True)
        shot.image.crop(shot.left, shot.top, shot.width, shot.height).save_png(out)
        xh.log("wrote", out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", default=os.path.join(REPO, "build", "touchdrill"))
    parser.add_argument("--out", default=os.path.join(REPO, "docs", "screenshot.png"))
    args = parser.parse_args()
    try:
        make(os.path.abspath(args.exe), os.path.abspath(args.out))
    except (xh.Skip, xh.Failure) as problem:
        xh.log("no screenshot:", problem)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real window under a private Xvfb: the application title, which X11 shows as the class in
WM_CLASS, and the window icon in _NET_WM_ICON.

The title is the executable's name up to its first '.', the first character as it is and the
rest in lower case, so copies of the program under other names show other titles.
"""

import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pkgtest import (arguments, check, first_difference, log, net_wm_icon, net_wm_name,  # noqa: E402
                     read_xpm, run_cases, start, wm_class)
from xharness import WINDOW_TITLE, Program, desktop, scratch_folder  # noqa: E402  (on the path through pkgtest)

ARGS = arguments("--exe")

# Executable name -> the application title it must show.
NAMES = {
    "touchdrill": "touchdrill",
    "TouchDrill.x86": "Touchdrill",
    "DRILL.Backup.2.bin": "Drill",
}


def test_title_and_icon():
    xpm_width, xpm_height, xpm_pixels = read_xpm(ARGS.xpm)
    check((xpm_width, xpm_height) == (32, 32), "the window icon is %dx%d" % (xpm_width, xpm_height))
    with scratch_folder() as folder:
        programs_folder = os.path.join(folder, "programs")
        os.makedirs(programs_folder)
        with desktop("xprop") as desk:
            programs = {}
            try:
                # Every copy runs at once, on one server: each finds its own window by its pid.
                for name in NAMES:
                    programs[name] = Program(ARGS.exe, programs_folder, name,
                                             output=os.path.join(folder, name + ".output"))
                    programs[name].shares_desktop = True
                    start(programs[name], desk)
                for name, title in NAMES.items():
                    window = programs[name].window
                    instance, klass = wm_class(desk, window)
                    log("%-20s WM_CLASS %r, %r" % (name, instance, klass))
                    check(klass == title, "%s: the application title is %r, expected %r" % (name, klass, title))
                    check(net_wm_name(desk, window) == WINDOW_TITLE, "%s: the caption is not %s" % (name, WINDOW_TITLE))

                    icons = net_wm_icon(desk, window)
                    log("%-20s _NET_WM_ICON sizes %s" % (name, sorted(icons)))
                    check((32, 32) in icons, "%s: no 32x32 icon among %s" % (name, sorted(icons)))
                    difference = first_difference(icons[(32, 32)], xpm_pixels, 32)
                    check(difference is None, "%s: the 32x32 window icon is not the XPM: %s" % (name, difference))
                for name, program in programs.items():
                    rc = program.close(desk)
                    check(rc == 0, "%s exited with %d after its window was closed:\n%s"
                          % (name, rc, program.read_output()))
            finally:
                for program in programs.values():
                    program.kill()


if __name__ == "__main__":
    run_cases([test_title_and_icon])

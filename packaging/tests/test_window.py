#!/usr/bin/env python3
"""The real window under a private Xvfb: the application title, which X11 shows as the class in
WM_CLASS, and the window icon in _NET_WM_ICON.

The title is the executable's name up to its first '.', the first character as it is and the
rest in lower case, so copies of the program under other names show other titles.
"""

import os
import shutil
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pkgtest import (WINDOW_CAPTION, Program, XServer, arguments, check, first_difference,  # noqa: E402
                     log, read_xpm, run_cases, scratch)

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
    with scratch() as folder:
        programs_folder = os.path.join(folder, "programs")
        os.makedirs(programs_folder)
        with XServer(folder) as x:
            programs = {}
            try:
                # Every copy runs at once, on one server: each finds its own window by its pid.
                for name in NAMES:
                    exe = os.path.join(programs_folder, name)
                    shutil.copy2(ARGS.exe, exe)
                    programs[name] = Program(x, exe, programs_folder)
                for name, title in NAMES.items():
                    program = programs[name]
                    window = program.wait_window()
                    instance, klass = x.wm_class(window)
                    log("%-20s WM_CLASS %r, %r" % (name, instance, klass))
                    check(klass == title, "%s: the application title is %r, expected %r" % (name, klass, title))
                    check(x.net_wm_name(window) == WINDOW_CAPTION, "%s: the caption is not %s" % (name, WINDOW_CAPTION))

                    icons = x.net_wm_icon(window)
                    log("%-20s _NET_WM_ICON sizes %s" % (name, sorted(icons)))
                    check((32, 32) in icons, "%s: no 32x32 icon among %s" % (name, sorted(icons)))
                    difference = first_difference(icons[(32, 32)], xpm_pixels, 32)
                    check(difference is None, "%s: the 32x32 window icon is not the XPM: %s" % (name, difference))
                for name, program in programs.items():
                    rc = program.close()
                    check(rc == 0, "%s exited with %d after its window was closed:\n%s"
                          % (name, rc, program.read_output()))
            finally:
                for program in programs.values():
                    program.__exit__()


if __name__ == "__main__":
    run_cases([test_title_and_icon])

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Windows program under Wine and a private Xvfb, driven by the same harness as the Linux one.

In a folder with a Japanese name: tick the home row, Alt+R, a drill typed through the window, F2
(the practice history) and Esc, close by the window manager's request. Then the best-times file
is 376 bytes, the INI file holds the placement with Windows line ends, the history holds the drill,
and `touchdrill.exe --export-history -` prints it.

Usage: run_wine.py --exe build-windows/touchdrill.exe [--timing]
Exit status 0 passed, 1 failed, 77 skipped (no Wine, Xvfb or xdotool here).
"""

import argparse
import os
import shutil
import sqlite3
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of caches
E2E = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e")
sys.path.insert(0, E2E)

import xharness as xh  # noqa: E402
from xharness import check, log  # noqa: E402
from touchdrill_ui import (  # noqa: E402
    drill_keys, error_boxes, run_drill, stat_or_none, tick_home_row, wait_for_file_change)

WINE = shutil.which("wine")
FOLDER = "練習 フォルダ"
ROUNDS = 3


def wine_environment():
    """Wine's own Windows for this test, kept in the cache: the harness points HOME at the scratch
    folder, where Wine would otherwise make a new one for every run. Not the unit tests' one: the
    processes of a Windows share one wineserver and its desktop, which the first of them ties to
    its display, and the unit tests that may be running meanwhile have none."""
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return {
        "WINEPREFIX": os.path.join(cache, "touchdrill", "wine-e2e"),
        "WINEDEBUG": os.environ.get("WINEDEBUG", "-all"),
        "WINEDLLOVERRIDES": os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml="),
    }


class WineProgram(xh.Program):
    """touchdrill.exe, started as `wine touchdrill.exe`: Wine's process keeps the pid of the
    command, so the harness finds the window by its title and pid as it does on Linux."""

    def __init__(self, executable, folder):
        super().__init__(executable, folder, name="touchdrill.exe")
        self.extra_env = wine_environment()
        self.history = os.path.splitext(self.exe)[0] + ".sqlite"

    def command(self):
        return [WINE, self.exe] + list(self.args)

    def export(self, target="-"):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.update(self.extra_env)
        proc = subprocess.run([WINE, self.exe, "--export-history", target], cwd=self.folder, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        return proc.returncode, proc.stdout, proc.stderr


def drills_in(path):
    """[(id, rows, hits, wrong keys)] of every drill."""
    con = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        return con.execute("SELECT id, rows, (SELECT SUM(hits) FROM drill_key WHERE drill_id = drill.id), "
                           "(SELECT SUM(wrong) FROM drill_key WHERE drill_id = drill.id) "
                           "FROM drill ORDER BY id").fetchall()
    finally:
        con.close()


def run(exe, timing):
    with xh.desktop() as desk, xh.scratch_folder() as scratch:
        folder = os.path.join(scratch, FOLDER)
        os.mkdir(folder)
        program = WineProgram(exe, folder)
        started = time.monotonic()
        window = program.start(desk, timeout=90.0)
        log("window after %.2f s" % (time.monotonic() - started))
        if timing:
            check(program.close(desk) == 0, "the program did not exit cleanly")
            return
        desk.focus(window)
        tick_home_row(desk)
        before = stat_or_none(program.bst)
        keys = drill_keys(ROUNDS)
        run_drill(desk, keys, delay=30)
        wait_for_file_change(program, program.bst, before, timeout=40.0)
        check(not error_boxes(desk), "an error box after the drill")

        desk.focus(program.window)
        desk.keys("F2")
        progress = xh.wait_for(lambda: desk.search("^練習の記録$"), 30.0, "the practice history window")
        desk.focus(progress[0])
        desk.keys("Escape")
        xh.wait_for(lambda: not desk.search("^練習の記録$"), 30.0, "the practice history window to close")

        check(program.close(desk, timeout=40.0) == 0, "the program did not exit cleanly")

        check(len(program.read_bst()) == 376, "the best-times file holds %d bytes" % len(program.read_bst()))
        with open(program.ini, "rb") as f:
            ini = f.read()
        check(b"[Form]\r\n" in ini and b"Left=" in ini and b"Width=" in ini,
              "the INI file has no placement: %r" % ini)
        check(ini.count(b"\n") == ini.count(b"\r\n"), "the INI file has lines that end in LF alone: %r" % ini)
        drills = drills_in(program.history)
        # Each round passes every target once, so each answers one at least; no key is lost.
        check(len(drills) == 1 and drills[0][1] == "h" and drills[0][2] >= ROUNDS
              and drills[0][2] + drills[0][3] == len(keys),
              "the history holds %r, not the one home-row drill of %d keys" % (drills, len(keys)))

        status, out, err = program.export()
        check(status == 0, "--export-history -: status %d, %r" % (status, err))
        lines = out.decode("utf-8").split("\r\n")
        check(lines[0].startswith("started_utc,character,") and lines[-1] == "",
              "--export-history - printed %r" % out[:200])
        rows = [line.split(",") for line in lines[1:-1]]
        check(rows and all(r[7] == str(drills[0][0]) and r[8] == "h" for r in rows)
              and sum(int(r[2]) for r in rows) == drills[0][2],
              "the export's rows %r do not hold the drill %r" % (rows, drills[0]))
        # A file name in Japanese on the command line, which the ANSI code page cannot hold.
        status, _, err = program.export("記録.csv")
        check(status == 0, "--export-history 記録.csv: status %d, %r" % (status, err))
        with open(os.path.join(folder, "記録.csv"), "rb") as f:
            check(f.read() == out, "記録.csv differs from what --export-history - printed")
        log("drill recorded: %d characters exported, INI %d bytes with CRLF, %s" % (len(rows), len(ini), FOLDER))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--timing", action="store_true", help="start and close only; print the start-up time")
    args = parser.parse_args()
    if WINE is None:
        log("SKIPPED: wine is missing")
        return 77
    exe = os.path.abspath(args.exe)
    if not os.path.isfile(exe):
        log("FAILED: no such program:", exe)
        return 1
    return xh.main_guard(lambda: run(exe, args.timing))


if __name__ == "__main__":
    sys.exit(main())

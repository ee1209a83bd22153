#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""install-desktop.sh, the installer of the desktop menu entry, run as a user runs it from the
unpacked folder: where its files go, the entry's Exec for paths with every awkward character,
moving the folder, uninstalling, and what it refuses.

The program itself is a stub here that records the path it was started as, so a real launcher
(GLib's gio, when installed) can show that the entry starts the right file."""

import filecmp
import os
import shutil
import stat
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pkgtest import (arguments, check, log, read_desktop_entry, run_cases, split_exec,  # noqa: E402
                     unescape_string, which)
from xharness import scratch_folder  # noqa: E402  (on the path through pkgtest)

ARGS = arguments()
ID = ARGS.app_id
SHIPPED = ("install-desktop.sh", "touchdrill.png", "touchdrill.svg", ID + ".desktop")

# Every character the desktop entry rules treat specially but %, and Japanese.
AWKWARD = "a b\tc$HOME\"d'e`f\\g~j&k;l#m*n?o(p)q<r>s|t=練習"

STUB = """#!/bin/sh
printf '%s' "$0" >"$TOUCHDRILL_STUB_LOG"
"""


def unpack(parent, name="touchdrill"):
    """A folder like the unpacked archive, with the stub as its touchdrill."""
    folder = os.path.join(parent, name)
    os.makedirs(folder)
    for f in SHIPPED:
        shutil.copy2(os.path.join(ARGS.staged, f), folder)
    exe = os.path.join(folder, "touchdrill")
    with open(exe, "w") as f:
        f.write(STUB)
    os.chmod(exe, 0o755)
    return folder


def run_installer(folder, *args, home, data_home=None, cwd=None):
    os.makedirs(home, exist_ok=True)
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env["HOME"] = home
    if data_home is not None:
        env["XDG_DATA_HOME"] = data_home
    return subprocess.run([os.path.join(folder, "install-desktop.sh"), *args], env=env, cwd=cwd or home,
                          capture_output=True, encoding="utf-8", errors="replace", timeout=30)


def installed(data_home):
    return {
        "entry": os.path.join(data_home, "applications", ID + ".desktop"),
        "png": os.path.join(data_home, "icons/hicolor/32x32/apps", ID + ".png"),
        "svg": os.path.join(data_home, "icons/hicolor/scalable/apps", ID + ".svg"),
    }


def check_installed(data_home, folder, exe):
    """The three files are in place, whole, readable by all, and the entry runs exe."""
    files = installed(data_home)
    for path in files.values():
        check(os.path.isfile(path), "not installed: " + path)
        check(stat.S_IMODE(os.stat(path).st_mode) == 0o644, "%s has mode %o" % (path, os.stat(path).st_mode))
    check(filecmp.cmp(files["png"], os.path.join(folder, "touchdrill.png"), shallow=False), "the PNG icon differs")
    check(filecmp.cmp(files["svg"], os.path.join(folder, "touchdrill.svg"), shallow=False), "the SVG icon differs")
    for parent in {os.path.dirname(p) for p in files.values()}:
        leftovers = [f for f in os.listdir(parent) if f.startswith(".")]
        check(not leftovers, "partial files left in %s: %s" % (parent, leftovers))

    entry = read_desktop_entry(files["entry"])
    check(split_exec(entry["Exec"]) == [exe], "Exec=%s runs %r, not %r" % (entry["Exec"], split_exec(entry["Exec"]), exe))
    check(unescape_string(entry["TryExec"]) == exe, "TryExec=%s is not %r" % (entry["TryExec"], exe))
    # Everything else is the shipped entry, line for line.
    with open(os.path.join(folder, ID + ".desktop"), encoding="utf-8") as f:
        shipped = [line for line in f if not line.startswith(("Exec=", "TryExec="))]
    with open(files["entry"], encoding="utf-8") as f:
        written = [line for line in f if not line.startswith(("Exec=", "TryExec="))]
    check(written == shipped, "the installed entry changed more than Exec and TryExec")
    if which("desktop-file-validate"):
        proc = subprocess.run(["desktop-file-validate", files["entry"]], capture_output=True, text=True)
        check(proc.returncode == 0, "desktop-file-validate: " + proc.stdout + proc.stderr)
    return files


def test_awkward_path_round_trip():
    with scratch_folder() as root:
        home = os.path.join(root, "home")
        data_home = os.path.join(root, "data")
        folder = unpack(os.path.join(root, AWKWARD))
        exe = os.path.join(folder, "touchdrill")
        proc = run_installer(folder, home=home, data_home=data_home)
        check(proc.returncode == 0, "install-desktop.sh failed (%d): %s" % (proc.returncode, proc.stderr))
        check(exe in proc.stdout, "the installer does not say what it runs: " + proc.stdout)
        files = check_installed(data_home, folder, exe)

        # What a real launcher makes of the entry: GLib parses Exec, checks TryExec, starts it.
        if not which("gio"):
            log("gio not installed: no launcher starts the entry")
            return
        started = os.path.join(root, "started-as")
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update({"HOME": home, "TOUCHDRILL_STUB_LOG": started})
        proc = subprocess.run(["gio", "launch", files["entry"]], env=env, capture_output=True, text=True, timeout=30)
        check(proc.returncode == 0, "gio launch failed: " + proc.stderr)
        with open(started, encoding="utf-8") as f:
            check(f.read() == exe, "gio started another path")


def test_xdg_data_home():
    with scratch_folder() as root:
        home = os.path.join(root, "home")
        folder = unpack(root)
        exe = os.path.join(folder, "touchdrill")
        default = os.path.join(home, ".local", "share")
        # Unset, and relative (which the XDG rules call invalid): both mean ~/.local/share.
        for data_home in (None, "relative/share"):
            proc = run_installer(folder, home=home, data_home=data_home)
            check(proc.returncode == 0, "install-desktop.sh failed: " + proc.stderr)
            check_installed(default, folder, exe)
            check(not os.path.exists(os.path.join(home, "relative")), "a relative XDG_DATA_HOME was used")
            shutil.rmtree(default)
        custom = os.path.join(root, "xdg data")
        proc = run_installer(folder, home=home, data_home=custom)
        check(proc.returncode == 0, "install-desktop.sh failed: " + proc.stderr)
        check_installed(custom, folder, exe)
        check(not os.path.exists(default), "installed under ~/.local/share although XDG_DATA_HOME is set")


def test_exe_option_move_and_uninstall():
    with scratch_folder() as root:
        home = os.path.join(root, "home")
        data_home = os.path.join(root, "data")
        first = unpack(os.path.join(root, "first"))
        # --exe relative to the working folder, as `make install-desktop` passes build/touchdrill.
        program_folder = os.path.join(root, "build dir")
        os.makedirs(program_folder)
        program = os.path.join(program_folder, "touchdrill")
        shutil.copy2(os.path.join(first, "touchdrill"), program)
        proc = run_installer(first, "--exe", os.path.join("build dir", "touchdrill"), home=home,
                             data_home=data_home, cwd=root)
        check(proc.returncode == 0, "install-desktop.sh --exe failed: " + proc.stderr)
        check_installed(data_home, first, program)

        # The folder moved: installing from the new place takes the entry over.
        second = os.path.join(root, "moved")
        shutil.move(first, second)
        proc = run_installer(second, home=home, data_home=data_home)
        check(proc.returncode == 0, "install-desktop.sh failed after the move: " + proc.stderr)
        check_installed(data_home, second, os.path.join(second, "touchdrill"))

        # Uninstalling takes exactly its three files and leaves what else is there.
        others = [os.path.join(data_home, "applications", "other.desktop"),
                  os.path.join(data_home, "icons/hicolor/32x32/apps", "other.png")]
        for path in others:
            with open(path, "w") as f:
                f.write("not ours\n")
        for attempt in (1, 2):  # the second finds nothing to do, and that is no error
            proc = run_installer(second, "--uninstall", home=home, data_home=data_home)
            check(proc.returncode == 0, "uninstall %d failed: %s" % (attempt, proc.stderr))
            for path in installed(data_home).values():
                check(not os.path.exists(path), "still there after uninstall: " + path)
            for path in others:
                check(os.path.exists(path), "uninstall removed a file not its own: " + path)


def test_refusals_write_nothing():
    with scratch_folder() as root:
        home = os.path.join(root, "home")
        data_home = os.path.join(root, "data")
        folder = unpack(root)
        line_break = unpack(root, "line\nbreak")
        percent = unpack(root, "100%")
        cases = {
            "missing executable": ["--exe", os.path.join(root, "no-such-program")],
            "unknown option": ["--everything"],
            "executable folder with a line break": ["--exe", os.path.join(line_break, "touchdrill")],
            "executable folder with a %": ["--exe", os.path.join(percent, "touchdrill")],
        }
        not_utf8 = os.path.join(root.encode(), b"latin1-\xe9").decode(errors="surrogateescape")
        os.makedirs(not_utf8)
        shutil.copy2(os.path.join(folder, "touchdrill"), not_utf8)
        cases["path not in UTF-8"] = ["--exe", os.path.join(not_utf8, "touchdrill")]
        for what, args in cases.items():
            proc = run_installer(folder, *args, home=home, data_home=data_home)
            check(proc.returncode != 0, "%s: the installer succeeded" % what)
            check(proc.stderr.strip(), "%s: the installer failed without saying why" % what)
            check(not os.path.exists(data_home), "%s: the installer wrote files" % what)
            log("%s: %s" % (what, proc.stderr.strip().splitlines()[-1]))

        # Without its shipped files beside it, it says so instead of writing a broken entry.
        os.remove(os.path.join(folder, "touchdrill.png"))
        proc = run_installer(folder, home=home, data_home=data_home)
        check(proc.returncode != 0 and "touchdrill.png" in proc.stderr, "a missing icon went unnoticed")
        check(not os.path.exists(data_home), "the installer wrote files although its icon is missing")


if __name__ == "__main__":
    run_cases([test_awkward_path_round_trip, test_xdg_data_home, test_exe_option_move_and_uninstall,
               test_refusals_write_nothing])

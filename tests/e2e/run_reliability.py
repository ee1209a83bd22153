#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reliability of the real touchdrill under a private Xvfb: damaged and unwritable best-times
files, a full disk, damaged placement files, kills in the middle of drills and of a history's
update, and key floods.

Usage: run_reliability.py --exe build/touchdrill [--shim build/tests/e2e/faultshim.so]
                          [--case NAME]... [--full] [--seed N]
Without --case every case runs. The short runs are what ctest runs; --full runs the long ones
(100 kills, 10,000 keys, 200 drill cycles). At the end a table of what was checked and measured
is printed. Exit status 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or xclip here).
"""

import contextlib
import ctypes
import os
import random
import select
import shutil
import signal
import sqlite3
import stat
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree free of caches

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xharness as xh  # noqa: E402
from xharness import Failure, check, log  # noqa: E402
from touchdrill_ui import (  # noqa: E402
    DESIGNED_SIZE, ERROR_BOX_STYLE_FILE, HOME_ROW, drill_keys, error_boxes, expect_error_box, list_pixels,
    run_drill, selectable_error_boxes, stat_or_none, tick_home_row, wait_for_file_change, wait_for_shot,
    wait_for_window_geometry)

EXE = None
SHIM = None
FULL = False
RNG = random.Random()
SUMMARY = []  # (what was tried, what was checked, what was measured)

READ_PAST_END = "ファイルの末尾以降を読み込みました."
ACCESS_DENIED = "ファイルへのアクセスが拒否されました."
DISK_FULL_101 = "ディスクがいっぱいです."
NO_SPACE = "I/O エラー (112)"  # ENOSPC: a code outside the table, so no full stop

ENOSPC, EIO, EXDEV = 28, 5, 18


def report(tried, checked, measured):
    SUMMARY.append((tried, checked, measured))
    log("measured:", tried, "--", measured)


# ---------------------------------------------------------------------------------------------
# Best-times values

CODES = [chr(c) for c in range(33, 127)]


def values_of(data):
    check(len(data) == 376, "the best-times file holds %d bytes, not 376" % len(data))
    return dict(zip(CODES, struct.unpack("<94I", data)))


def bytes_of(values):
    return struct.pack("<94I", *(values.get(c, 0) for c in CODES))


def check_update(before, after, what, practised=HOME_ROW):
    """`after` is what a run of completed drills over `practised` can make of `before`: other
    characters unchanged, practised ones unchanged or lowered to a new best, never back to 0."""
    old, new = values_of(before), values_of(after)
    for c in CODES:
        if c not in practised:
            check(new[c] == old[c], "%s: the best of %r, never practised, went from %d to %d"
                  % (what, c, old[c], new[c]))
        elif old[c] == 0:
            continue  # no best yet: any first average may come
        else:
            check(0 < new[c] <= old[c], "%s: the best of %r went from %d to %d" % (what, c, old[c], new[c]))
    return {c for c in CODES if new[c] != old[c]}


def seeded_values():
    """Bests that a quick typist beats for some keys (their stars stay in view) and cannot
    beat for one (1 ms), plus bests of characters the tests never practise."""
    best = {c: 150 for c in HOME_ROW}
    best["a"] = 1
    best.update({"q": 1234, "~": 77, "!": 4000000000})
    return best


# ---------------------------------------------------------------------------------------------
# Running the program

def new_program(folder, unprivileged=False):
    program = xh.Program(EXE, folder)
    selectable_error_boxes(program)
    if unprivileged and os.geteuid() == 0:
        # Permission bits do not bind root: the program runs as an ordinary user.
        if shutil.which("setpriv") is None:
            raise xh.Skip("running as root and setpriv is missing")
        program.run_as = xh.unprivileged_ids()
        os.chown(folder, *program.run_as)
        os.chmod(program.exe, 0o755)
    return program


def give_files_to_user(program):
    if program.run_as is None:
        return
    for root, dirs, files in os.walk(program.folder):
        for name in dirs + files:
            os.chown(os.path.join(root, name), *program.run_as)


def start_ready(desk, program):
    """Starts the program, ticks the home row and leaves the focus on the results list."""
    window = program.start(desk)
    desk.focus(window)
    tick_home_row(desk)
    return window


def drill(desk, program, rounds=3, delay=20):
    desk.focus(program.window)
    run_drill(desk, drill_keys(rounds), delay=delay)


def drill_and_wait(desk, program, what, rounds=3, delay=20):
    """A drill whose end must rewrite the best-times file without an error box."""
    before = stat_or_none(program.bst)
    drill(desk, program, rounds, delay)
    wait_for_file_change(program, program.bst, before)
    check(not error_boxes(desk), "%s: an error box after a drill that should have succeeded" % what)


def other_files(folder):
    """Everything beside the program that a test did not put there itself.

    The practice history's journal exists while a drill is recorded, right after the best-times
    file is written: it is a stray only if it stays."""
    mine = {"program-output.txt", ERROR_BOX_STYLE_FILE, "touchdrill", "touchdrill.bst", "touchdrill.ini",
            "touchdrill.sqlite"}
    deadline = time.monotonic() + 5
    while True:
        names = sorted(n for n in os.listdir(folder) if n not in mine)
        if "touchdrill.sqlite-journal" not in names or time.monotonic() > deadline:
            return names
        time.sleep(0.05)


def vm_rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failure("no VmRSS for process %d" % pid)


def open_fds(pid):
    """Open descriptors: the fewest of a few looks, so that the practice history's journal and
    folder, open only while a drill is recorded, do not count."""
    counts = []
    for _ in range(5):
        counts.append(len(os.listdir("/proc/%d/fd" % pid)))
        time.sleep(0.05)
    return min(counts)


def close_cleanly(desk, program, what):
    check(program.close(desk) == 0, "%s: the program did not exit cleanly" % what)


def list_rows_shown(shot):
    rows = shot.list_rows()
    count = next((i for i, r in enumerate(rows) if r.blank()), len(rows))
    check(all(r.blank() for r in rows[count:]), "the list's rows do not run on from the top")
    return rows[:count]


# ---------------------------------------------------------------------------------------------
# Best-times file faults: each shows its error box with the exact text, keeps the file as it was,
# leaves no stray file, and the program goes on (the next drill behaves as it should).

def make_short(size):
    def setup(program, good):
        with open(program.bst, "wb") as f:
            f.write(good[:size])
    return setup


def make_read_only(program, good):
    os.chmod(program.bst, 0o444)


def make_write_only(program, good):
    os.chmod(program.bst, 0o200)


def undo_read_only(program, good):
    os.chmod(program.bst, 0o644)


def make_directory(program, good):
    os.unlink(program.bst)
    os.mkdir(program.bst)
    with open(os.path.join(program.bst, "keep.txt"), "wb") as f:
        f.write(b"left alone\n")
    give_files_to_user(program)


def undo_directory(program, good):
    shutil.rmtree(program.bst)


def restore_good(program, good):
    with open(program.bst, "wb") as f:
        f.write(good)


# (what, as an ordinary user, set-up, expected text, list after the error, repair or None)
# The list shows the new rows with the stars of the bests this run knows ("new"), whether or not
# the file could be read. Without a repair the program is shown to go on by a second drill that
# fails the same way.
BST_FAULT_ROWS = [
    ("empty best-times file", False, make_short(0), READ_PAST_END, "new", restore_good),
    ("1-byte best-times file", False, make_short(1), READ_PAST_END, "new", restore_good),
    ("375-byte best-times file", False, make_short(375), READ_PAST_END, "new", None),
    ("best-times file without read permission", True, make_write_only, ACCESS_DENIED, "new", undo_read_only),
    ("read-only best-times file", True, make_read_only, ACCESS_DENIED, "new", undo_read_only),
    ("directory named touchdrill.bst", False, make_directory, ACCESS_DENIED, "new", undo_directory),
]


def snapshot(path):
    """What must not change: a file's bytes and mode, or a directory's listing and contents."""
    st = os.lstat(path)
    if stat.S_ISDIR(st.st_mode):
        return ("dir", stat.S_IMODE(st.st_mode),
                sorted((n, open(os.path.join(path, n), "rb").read()) for n in os.listdir(path)))
    with open(path, "rb") as f:
        return ("file", stat.S_IMODE(st.st_mode), f.read())


def check_list_after_error(desk, program, expectation, before_pixels, what):
    def ok(shot):
        check(expectation == "new", "unknown expectation %r" % expectation)
        check(before_pixels is None or list_pixels(shot) != before_pixels, "%s: the list kept its rows" % what)
        shown = list_rows_shown(shot)
        check(shown and all(r.dark_label for r in shown), "%s: the list shows no new rows" % what)
        check(len(shown) <= len(HOME_ROW), "%s: %d rows for a %d-key row" % (what, len(shown), len(HOME_ROW)))
        stars = [r for r in shown if r.yellow]
        check(stars, "%s: no stars although this run knows bests" % what)
        return True
    wait_for_shot(desk, program, ok, 10, "the list after the error (%s)" % what)


def run_bst_fault(desk, what, unprivileged, setup, text, expectation, repair):
    with xh.scratch_folder() as folder:
        program = new_program(folder, unprivileged)
        with open(program.bst, "wb") as f:
            f.write(bytes_of(seeded_values()))
        give_files_to_user(program)
        start_ready(desk, program)

        drill_and_wait(desk, program, what)
        good = program.read_bst()
        check_update(bytes_of(seeded_values()), good, what + ", first drill")
        pixels = list_pixels(wait_for_shot(desk, program, lambda s: list_rows_shown(s), 10, "the first chart"))

        setup(program, good)
        kept = snapshot(program.bst)
        strays = other_files(folder)
        tries = 1 if repair else 2
        for _ in range(tries):
            drill(desk, program)
            expect_error_box(desk, program, text, what)
            check(snapshot(program.bst) == kept, "%s: the best-times file changed" % what)
            check(other_files(folder) == strays, "%s: files left beside the program: %s"
                  % (what, other_files(folder)))
            check_list_after_error(desk, program, expectation, pixels, what)

        if repair:
            repair(program, good)
            drill_and_wait(desk, program, what + ", after the repair")
            # The bests of the whole run come back, those of characters not practised included.
            after = program.read_bst()
            check_update(good, after, what + ", after the repair")
            going_on = "repaired, the next drill rewrote the file with the run's bests (376 bytes)"
        else:
            going_on = "a second drill failed the same way"
        close_cleanly(desk, program, what)
        report(what + (" (as nobody)" if program.run_as else ""),
               "box text, file and folder unchanged, list " + expectation + ", program goes on",
               "「%s」; file byte for byte as before; no stray file; %s" % (text, going_on))


def run_locked_folder(desk):
    """A folder that takes no new file, beside writable files: both are rewritten in place."""
    what = "folder that takes no new file"
    with xh.scratch_folder() as folder:
        program = new_program(folder, unprivileged=True)
        with open(program.bst, "wb") as f:
            f.write(bytes_of(seeded_values()))
        # No practice history either: its new file could not be created in that folder.
        with open(program.ini, "wb") as f:
            f.write(b"[History]\nRecord=0\n[Form]\nTop=0\nLeft=0\nWidth=369\nHeight=422\n; the user's note\n")
        give_files_to_user(program)
        os.chmod(program.ini, 0o640)
        before = {p: os.stat(p) for p in (program.bst, program.ini)}
        start_ready(desk, program)
        os.chmod(folder, 0o555)
        strays = other_files(folder)
        drill_and_wait(desk, program, what)
        check_update(bytes_of(seeded_values()), program.read_bst(), what)
        check_list_after_error(desk, program, "new", None, what)
        close_cleanly(desk, program, what)
        with open(program.ini, "rb") as f:
            ini = f.read()
        check(ini.startswith(b"[History]\nRecord=0\n[Form]\nTop=") and ini.endswith(b"; the user's note\n"),
              "%s: the placement file holds %r" % (what, ini))
        for path, old in before.items():
            now = os.stat(path)
            check((now.st_ino, now.st_uid, now.st_mode) == (old.st_ino, old.st_uid, old.st_mode),
                  "%s: %s was replaced or changed owner or mode" % (what, os.path.basename(path)))
            check(now.st_mtime_ns != old.st_mtime_ns, "%s: %s was not rewritten" % (what, os.path.basename(path)))
        check(other_files(folder) == strays, "%s: files left beside the program: %s" % (what, other_files(folder)))
        os.chmod(folder, 0o755)
        report(what + " (as nobody)", "no error box, both files rewritten in place, owner and mode kept",
               "drill end and close without an error box; touchdrill.bst and touchdrill.ini rewritten in "
               "place (same inode, owner, mode); exit 0")


def run_oversized(desk, what, make, all_beaten):
    """Files that read without error: the drill rewrites them, the chart paints their values.

    all_beaten: every practised character's old best is beyond any average (so each one gets a
    new best, and the rows are exactly the changed characters)."""
    with xh.scratch_folder() as folder:
        program = new_program(folder)
        original = make()
        with open(program.bst, "wb") as f:
            f.write(original)
        start_ready(desk, program)
        drill_and_wait(desk, program, what)
        after = program.read_bst()
        check(len(after) == 376, "%s: the rewritten file holds %d bytes" % (what, len(after)))
        changed = check_update(original[:376], after, what)
        old, new = values_of(original[:376]), values_of(after)

        def chart(shot):
            shown = list_rows_shown(shot)
            check(shown and all(r.dark_label for r in shown), "%s: no rows in the list" % what)
            check(len(shown) >= len(changed), "%s: %d rows for %d new bests" % (what, len(shown), len(changed)))
            if all_beaten:
                check(len(shown) == len(changed), "%s: %d rows for %d new bests" % (what, len(shown), len(changed)))
                # Every practised character got a new best, so the rows are they, in code order,
                # each bar its new best in tens of ms.
                for row, c in zip(shown, sorted(changed)):
                    want = new[c] // 10
                    got = row.bar_length()
                    check(got == min(want, row.width - 20), "%s: the bar of %r is %d px, its average %d ms"
                          % (what, c, got, new[c]))
            return True
        wait_for_shot(desk, program, chart, 10, "the chart (%s)" % what)
        # A paint that failed would report itself in an error box right after the paint.
        time.sleep(0.5)
        check(not error_boxes(desk), "%s: an error box after painting the list" % what)
        close_cleanly(desk, program, what)
        kept = [c for c in CODES if c not in HOME_ROW and new[c] == old[c]]
        report(what, "no error, cut to 376 bytes, each best the better of old and new, chart painted",
               "%d → 376 bytes; %d new bests, %d other bests kept; %d rows painted, no error box"
               % (len(original), len(changed), len(kept), len(changed)))


def garbage_file():
    data = bytearray(RNG.randbytes(376))
    for c in HOME_ROW:
        i = 4 * (ord(c) - 33)
        data[i + 3] |= 0x80  # beyond any average a drill can give
    return bytes(data)


def long_file():
    best = {c: 0x7FFFFFFF for c in HOME_ROW}
    best.update({"a": 1, "q": 1234, "~": 77})
    return bytes_of(best) + RNG.randbytes(1000 - 376)


def case_bstfaults():
    with xh.desktop() as desk:
        for row in BST_FAULT_ROWS:
            run_bst_fault(desk, *row)
        run_locked_folder(desk)
        run_oversized(desk, "garbage best-times file (376 random bytes, huge bests)", garbage_file, True)
        run_oversized(desk, "long best-times file (1000 bytes)", long_file, False)


# ---------------------------------------------------------------------------------------------
# A full disk: a small file system filled to the last block, where one can be mounted (a private
# mount namespace, so nothing outlives the program); and the same failure and its cousins made by
# the fault shim at the file layer.

def tmpfs_possible(folder):
    probe = os.path.join(folder, "probe")
    os.mkdir(probe)
    try:
        proc = subprocess.run(["unshare", "--mount", "--propagation", "private", "--",
                               "mount", "-t", "tmpfs", "-o", "size=64k", "none", probe],
                              capture_output=True, timeout=20)
        return proc.returncode == 0, proc.stderr.decode(errors="replace").strip()
    except (OSError, subprocess.TimeoutExpired) as error:
        return False, str(error)
    finally:
        os.rmdir(probe)


FULL_DISK_SCRIPT = r'''
set -e
mount -t tmpfs -o "size=$SIZE,mode=0755" touchdrill-full "$MOUNT"
cp "$EXE" "$MOUNT/touchdrill"
cp "$SEED" "$MOUNT/touchdrill.bst"
cat /dev/zero > "$MOUNT/filler" 2>/dev/null || true
exec "$MOUNT/touchdrill" -stylesheet "$STYLE"
'''


def fill(path):
    """Writes zeros to path until the file system is full; returns the bytes written."""
    written = 0
    with open(path, "ab", buffering=0) as f:
        block = bytes(4096)
        while True:
            try:
                written += f.write(block)
            except OSError as error:
                check(error.errno == ENOSPC, "filling the disk failed with %s" % error)
                return written


def run_full_tmpfs(desk):
    what = "full disk (a filled tmpfs)"
    with xh.scratch_folder() as folder:
        possible, why = tmpfs_possible(folder)
        if not possible:
            log("NOT RUN:", what, "-- no tmpfs can be mounted here (%s); the fault shim stands in" % why)
            report(what, "-", "not run: no tmpfs mount allowed here (%s)" % why)
            return False
        mount = os.path.join(folder, "fs")
        os.mkdir(mount)
        seed = os.path.join(folder, "seed.bst")
        with open(seed, "wb") as f:
            f.write(bytes_of(seeded_values()))
        program = xh.Program(EXE, folder)
        style = selectable_error_boxes(program)
        size = (os.path.getsize(EXE) // 4096 + 16) * 4096
        program.extra_env = {"SIZE": str(size), "MOUNT": mount, "EXE": EXE, "SEED": seed, "STYLE": style}
        program.command = lambda: ["unshare", "--mount", "--propagation", "private", "--",
                                   "sh", "-c", FULL_DISK_SCRIPT]
        window = program.start(desk)
        # The program's view of the folder: the mount lives only in its namespace.
        inside = "/proc/%d/root%s" % (program.proc.pid, mount)
        program.bst = os.path.join(inside, "touchdrill.bst")
        listing = sorted(os.listdir(inside))
        check(listing == ["filler", "touchdrill", "touchdrill.bst"], "tmpfs holds %s" % listing)
        free = os.statvfs(inside)
        check(free.f_bavail == 0, "the tmpfs still has %d free blocks" % free.f_bavail)
        seeded = program.read_bst()

        desk.focus(window)
        tick_home_row(desk)
        drill(desk, program)
        expect_error_box(desk, program, NO_SPACE, what)
        # Then the practice history's own box, once in the run; it leaves no file on the full disk.
        expect_error_box(desk, program, "練習の記録を %s/touchdrill.sqlite に書き込めません（ディスクがいっぱいです）."
                         % mount, what + ", the history")
        check(program.read_bst() == seeded, "%s: the best-times file changed" % what)
        check(sorted(os.listdir(inside)) == listing, "%s: the tmpfs now holds %s" % (what, sorted(os.listdir(inside))))
        check_list_after_error(desk, program, "new", None, what)
        second = expect_again(desk, program, NO_SPACE, what)
        check(program.read_bst() == seeded, "%s: the best-times file changed" % what)

        # Space again: the next drill stores its bests.
        os.truncate(os.path.join(inside, "filler"), 0)
        drill_and_wait(desk, program, what + ", space freed")
        check_update(seeded, program.read_bst(), what + ", space freed")

        # Full once more at the close: the placement file cannot be written either.
        fill(os.path.join(inside, "filler"))
        desk.x.request_close(window)
        expect_error_box(desk, None, mount + "/touchdrill.ini に書き込めません.",
                         what + ", at the close")
        rc = program.proc.wait(timeout=20)
        check(rc == 0, "%s: exit status %d after the close" % (what, rc))
        report(what, "box text, old file whole, no stray file, program goes on",
               "「%s」 twice; 376-byte file byte for byte as before; no temporary file left; "
               "after freeing space the next drill stored its bests; at the close "
               "「…touchdrill.ini に書き込めません.」, exit 0" % NO_SPACE)
        del second
        return True


def expect_again(desk, program, text, what):
    drill(desk, program)
    return expect_error_box(desk, program, text, what + ", second drill")


# (what, call, errno (0: a write that stores nothing), expected text)
SHIM_ROWS = [
    ("write fails with ENOSPC (disk full)", "write", ENOSPC, NO_SPACE),
    ("write stores nothing", "write", 0, DISK_FULL_101),
    ("fsync fails with EIO", "fsync", EIO, "I/O エラー (1117)"),
    ("rename fails with EXDEV", "rename", EXDEV, "I/O エラー (18)"),
]


def run_shim_row(desk, what, call, errno_value, text):
    with xh.scratch_folder() as folder, xh.scratch_folder() as controls:
        program = new_program(folder)
        with open(program.bst, "wb") as f:
            f.write(bytes_of(seeded_values()))
        armed = os.path.join(controls, "armed")
        open(armed, "w").close()
        shim_log = os.path.join(controls, "shim.log")
        # The temporary file has no name while it is written and flushed, where the file system allows.
        program.extra_env = {"LD_PRELOAD": SHIM, "FAULTSHIM_MATCH": "touchdrill.bst.tmp", "FAULTSHIM_CALL": call,
                             "FAULTSHIM_UNNAMED": "1",
                             "FAULTSHIM_ERRNO": str(errno_value), "FAULTSHIM_ARMED": armed,
                             "FAULTSHIM_LOG": shim_log}
        start_ready(desk, program)
        seeded = program.read_bst()
        strays = other_files(folder)
        drill(desk, program)
        expect_error_box(desk, program, text, what)
        with open(shim_log) as f:
            injected = [line for line in f if line.startswith(call + " ")]
        check(injected, "%s: the shim injected no fault" % what)
        check(program.read_bst() == seeded, "%s: the best-times file changed" % what)
        check(other_files(folder) == strays, "%s: files left beside the program: %s" % (what, other_files(folder)))
        check_list_after_error(desk, program, "new", None, what)

        os.unlink(armed)
        drill_and_wait(desk, program, what + ", fault taken away")
        check_update(seeded, program.read_bst(), what + ", fault taken away")
        check(other_files(folder) == strays, "%s: files left beside the program: %s" % (what, other_files(folder)))
        close_cleanly(desk, program, what)
        report("%s (fault shim, LD_PRELOAD)" % what, "box text, old file whole, no stray file, program goes on",
               "「%s」; file byte for byte as before; temporary file removed; next drill stored its bests"
               % text)


def case_diskfull():
    if SHIM is None or not os.path.exists(SHIM):
        raise xh.Skip("the fault shim was not built (--shim)")
    with xh.desktop() as desk:
        run_full_tmpfs(desk)
        for row in SHIM_ROWS:
            run_shim_row(desk, *row)


# ---------------------------------------------------------------------------------------------
# Damaged placement files: the window opens where the rules put it, nothing crashes, and the close
# rewrites the four values only, every other byte as it was.

FORM_VALUES = ("Top", "Left", "Width", "Height")


def binary_garbage():
    data = bytearray(RNG.randbytes(8192))
    # Keep it from holding a section of that name by chance.
    return bytes(data).replace(b"[", b"(")


def expected_rewrite(original, values, bounds):
    """The original with the values of the [Form] keys replaced (given as the exact texts)."""
    left, top, width, height = bounds
    out = original
    for key, number in zip(FORM_VALUES, (top, left, width, height)):
        old = key.encode() + b"=" + values[key] + b"\n"
        check(out.count(old) == 1, "test set-up: %s= occurs %d times" % (key, out.count(old)))
        out = out.replace(old, key.encode() + b"=" + str(number).encode() + b"\n")
    return out


def garbage_only(_):
    return binary_garbage(), None, (0, 0) + DESIGNED_SIZE


def garbage_around_form(_):
    values = {"Top": b"40", "Left": b"30", "Width": b"500", "Height": b"300"}
    text = (binary_garbage() + b"\n[Form]\n" + b"".join(k.encode() + b"=" + values[k] + b"\n" for k in FORM_VALUES)
            + b"\x00\xff\xfe garbage\r\n\x01\x02=\x03\n" + binary_garbage())
    return text, values, (30, 40, 500, 300)


def long_line(_):
    values = {"Top": b"100", "Left": b"120", "Width": b"3" * 100000, "Height": b"300"}
    text = (b"; " + b"x" * 100000 + b"\n[Form]\n" + b"".join(k.encode() + b"=" + values[k] + b"\n" for k in FORM_VALUES)
            + b"[Other]\nNote=" + b"y" * 100000 + b"\n")
    # A width of 100,000 digits is out of range: the designed width stays.
    return text, values, (120, 100, DESIGNED_SIZE[0], 300)


def value_of_5000_lines(_):
    values = {"Top": b'"10', "Left": b"60", "Width": b"400", "Height": b"350"}
    lines = b"".join(b"line %d of a quoted value that never closes\n" % i for i in range(5000))
    text = (b"[Form]\nTop=" + values["Top"] + b"\n" + lines + b'"\nLeft=60\nWidth=400\nHeight=350\n')
    # The value is its first line only, an unclosed quote: not a number, so the top of the work area.
    return text, values, (60, 0, 400, 350)


# (what, maker of (file contents, exact value texts of the four keys or None, expected bounds))
INI_ROWS = [
    ("binary garbage (8 KB), no [Form]", garbage_only),
    ("binary garbage around a [Form] section", garbage_around_form),
    ("100 KB lines, one of them a value", long_line),
    ("a [Form] value running over 5000 lines", value_of_5000_lines),
]


def check_appended_form(original, rewritten, bounds, what):
    """A file without the section keeps all its bytes; the section follows at its end."""
    check(rewritten[:len(original)] == original, "%s: the original bytes were changed" % what)
    tail = rewritten[len(original):]
    left, top, width, height = bounds
    for eol in (b"\n", b"\r\n"):
        body = (b"[Form]" + eol + b"Top=%d" % top + eol + b"Left=%d" % left + eol + b"Width=%d" % width + eol
                + b"Height=%d" % height + eol)
        if tail in (body, eol + body, b"\n" + body):
            return
    raise Failure("%s: after the original bytes the file goes on with %r" % (what, tail[:200]))


def case_inifaults():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = new_program(folder)
        for what, make in INI_ROWS:
            original, values, bounds = make(program)
            with open(program.ini, "wb") as f:
                f.write(original)
            started = time.monotonic()
            window = program.start(desk)
            try:
                wait_for_window_geometry(desk, window, bounds)
            except Failure as failure:
                raise Failure("%s: %s" % (what, failure))
            opened = time.monotonic() - started
            check(not error_boxes(desk), "%s: an error box at start-up" % what)
            close_cleanly(desk, program, what)
            with open(program.ini, "rb") as f:
                rewritten = f.read()
            if values is None:
                check_appended_form(original, rewritten, bounds, what)
            else:
                want = expected_rewrite(original, values, bounds)
                check(rewritten == want, "%s: the rewritten file differs from the original beyond the four values "
                      "(%d bytes, expected %d)" % (what, len(rewritten), len(want)))
            report("placement file: " + what,
                   "window on screen at the expected bounds, no crash, only the four values rewritten",
                   "%d bytes; window at %s in %.2f s; exit 0; other bytes unchanged"
                   % (len(original), bounds, opened))


# ---------------------------------------------------------------------------------------------
# SIGKILL in the middle of drills, again and again: the best-times file is always whole.

class Inotify:
    IN_MODIFY = 0x2
    IN_CREATE = 0x100
    IN_MOVED_TO = 0x80

    def __init__(self, folder):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise xh.Skip("inotify is not available")
        if self.libc.inotify_add_watch(self.fd, folder.encode(), self.IN_CREATE | self.IN_MOVED_TO | self.IN_MODIFY) < 0:
            raise Failure("inotify_add_watch failed: errno %d" % ctypes.get_errno())

        self.pending = []

    def drain(self):
        self.pending = []
        with contextlib.suppress(BlockingIOError):
            while os.read(self.fd, 65536):
                pass

    def wait(self, wanted, timeout):
        """Waits for an event for which wanted(mask, name) says yes; True if one came in time."""
        deadline = time.monotonic() + timeout
        while True:
            while self.pending:
                if wanted(*self.pending.pop(0)):
                    return True
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                continue
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                continue
            offset = 0
            while offset + 16 <= len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b"\0").decode(errors="replace")
                offset += 16 + length
                self.pending.append((mask, name))

    def close(self):
        os.close(self.fd)


def kill_now(program):
    """SIGKILL; fails if the program had already ended by itself."""
    program.ensure_running()
    with contextlib.suppress(ProcessLookupError):
        os.kill(program.proc.pid, signal.SIGKILL)
    rc = program.proc.wait(timeout=10)
    check(rc == -signal.SIGKILL, "the program ended with status %d, not by the kill" % rc)


def type_in_background(desk, keys, delay=15):
    return subprocess.Popen(["xdotool", "key", "--delay", str(delay)] + keys, env=desk.env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            preexec_fn=xh._die_with_parent)


def temp_files(folder):
    return sorted(n for n in os.listdir(folder) if n.startswith("touchdrill.bst.tmp"))


KILL_MODES = ("mid-drill", "at the ending space", "when the temporary file gets its name", "at the rename",
              "when the history's journal appears")


def history_after_kill(folder, acknowledged, kills, what):
    """After a kill the practice history passes the integrity check and holds every drill whose end
    was acknowledged on screen, and at most one more per kill. A copy is checked, so that a journal
    the kill left behind is rolled back by the program itself at its next drill. Returns (drills,
    whether a journal was left)."""
    path = os.path.join(folder, "touchdrill.sqlite")
    journal = path + "-journal"
    if not os.path.exists(path):
        check(acknowledged == 0, "%s: no history after %d acknowledged drills" % (what, acknowledged))
        return 0, False
    with xh.scratch_folder() as copy:
        shutil.copy(path, copy)
        left = os.path.exists(journal)
        if left:
            shutil.copy(journal, copy)
        con = sqlite3.connect(os.path.join(copy, "touchdrill.sqlite"), isolation_level=None)
        try:
            verdict = con.execute("PRAGMA integrity_check").fetchone()[0]
            has_table = con.execute("SELECT count(*) FROM sqlite_schema WHERE name = 'drill'").fetchone()[0]
            drills = con.execute("SELECT count(*) FROM drill").fetchone()[0] if has_table else 0
        finally:
            con.close()
    check(verdict == "ok", "%s: the history's integrity check says %r" % (what, verdict))
    check(acknowledged <= drills <= acknowledged + kills,
          "%s: %d drills in the history, %d acknowledged, %d kills" % (what, drills, acknowledged, kills))
    return drills, left


def case_kills():
    kills = 100 if FULL else 15
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        watch = Inotify(folder)
        # Per moment of the kill: kills, kills inside a rewrite (the temporary file was left behind:
        # between its naming and the rename; before that it has no name where the file system allows
        # it), kills after the killed drill's rewrite was complete.
        modes = {m: [0, 0, 0] for m in KILL_MODES}
        completed = 0
        previous = None
        journals = 0  # kills that left the history's journal behind
        try:
            for n in range(kills):
                mode = KILL_MODES[n % len(KILL_MODES)]
                modes[mode][0] += 1
                start_ready(desk, program)
                before = program.read_bst() if os.path.exists(program.bst) else bytes(376)
                # A few drills run to the end first, as a user would.
                for _ in range(RNG.randrange(0, 3)):
                    drill_and_wait(desk, program, "kill loop %d" % n, rounds=2, delay=15)
                    completed += 1
                keys = ["alt+r", "space"] + drill_keys(RNG.randrange(1, 4)) + ["space"]
                watch.drain()
                stamp = stat_or_none(program.bst)
                ready = program.read_bst() if stamp is not None else None
                if mode == "mid-drill":
                    typing = type_in_background(desk, keys)
                    time.sleep(RNG.uniform(0, 15e-3 * len(keys)))
                    kill_now(program)
                    typing.wait(timeout=30)
                elif mode == "at the ending space":
                    # The drill's end rewrites the file within about a millisecond of the space,
                    # so the kill follows the space by a random fraction of that.
                    desk.keys(*keys[:-1], delay=15)
                    desk.xdotool("key", "--delay", "0", "space")
                    pause = time.monotonic() + RNG.uniform(0, 0.0015)
                    while time.monotonic() < pause:
                        pass
                    kill_now(program)
                else:
                    typing = type_in_background(desk, keys)
                    if mode == "when the temporary file gets its name":
                        def wanted(mask, name):
                            return mask & Inotify.IN_CREATE and name.startswith("touchdrill.bst.tmp")
                    elif mode == "when the history's journal appears":
                        # A kill just after the journal's creation leaves it empty, which is no
                        # journal to roll back: the next commit writes into that file rather than
                        # creating one, so its first write counts as well.
                        def wanted(mask, name):
                            return mask & (Inotify.IN_CREATE | Inotify.IN_MODIFY) and name == "touchdrill.sqlite-journal"
                    else:
                        def wanted(mask, name):
                            return mask & Inotify.IN_MOVED_TO and name == "touchdrill.bst"
                    seen = watch.wait(wanted, 20)
                    kill_now(program)
                    typing.wait(timeout=30)
                    check(seen, "kill loop %d: the drill's end never rewrote the file" % n)
                strays = temp_files(folder)
                if strays:
                    # Killed between the new file's creation and the rename: the old file stands.
                    check(program.read_bst() == ready if ready is not None else not os.path.exists(program.bst),
                          "kill %d (%s): killed inside the rewrite, yet the file is not the one before" % (n, mode))
                    modes[mode][1] += 1
                    for name in strays:
                        check(os.path.getsize(os.path.join(folder, name)) <= 376, "a temporary file over 376 bytes")
                        os.unlink(os.path.join(folder, name))
                if stat_or_none(program.bst) is not None:
                    after = program.read_bst()
                    check(len(after) == 376, "kill %d (%s): the best-times file holds %d bytes" % (n, mode, len(after)))
                    check_update(before, after, "kill %d (%s)" % (n, mode))
                    if stamp is None or (os.stat(program.bst).st_ino != stamp.st_ino):
                        modes[mode][2] += 1
                    previous = after
                else:
                    check(previous is None, "kill %d (%s): the best-times file is gone" % (n, mode))
                recorded, left = history_after_kill(folder, completed, n + 1, "kill %d (%s)" % (n, mode))
                journals += left
            # The program rolls back what the last kill left and records on.
            start_ready(desk, program)
            drill_and_wait(desk, program, "after the kills", rounds=2, delay=15)
            completed += 1
            close_cleanly(desk, program, "after the kills")
            recorded, left = history_after_kill(folder, completed, kills, "after the kills")
            check(not left, "a journal is left beside the history after a clean run")
        finally:
            watch.close()
            if program.running():
                program.kill()
        check(previous is not None and xh.decode_best_times(previous), "no drill ever stored a best")
        inside = sum(m[1] for m in modes.values())
        after = sum(m[2] for m in modes.values())
        report("SIGKILL in the middle of drills (%d kills)" % kills,
               "after every kill: file exactly 376 bytes, each best kept or lowered by a completed drill, "
               "none lost; killed inside a rewrite: the file exactly as before that drill",
               "%d/%d kills left a whole 376-byte file; %d kills landed inside a rewrite (temporary file "
               "left behind, old file intact), %d just after the rewrite; %d more drills completed between "
               "kills; by moment (kills/inside/after): %s"
               % (kills, kills, inside, after, completed,
                  ", ".join("%s %d/%d/%d" % ((m,) + tuple(v)) for m, v in modes.items())))
        report("SIGKILL in the middle of drills: the practice history",
               "after every kill: integrity_check ok, every drill acknowledged on screen recorded; then the "
               "program rolls back a left journal itself and records on",
               "%d/%d kills: integrity ok; %d acknowledged drills, %d in the history at the end; %d kills left "
               "a journal" % (kills, kills, completed, recorded, journals))


# ---------------------------------------------------------------------------------------------
# Kills while the program brings a history of the version before answers up to date.

# The schema that version wrote: its first three tables, and the three its update step added and
# filled from them (the same statements).
SCHEMA_TWO = """
PRAGMA application_id=1413763656;
CREATE TABLE drill (id INTEGER PRIMARY KEY, started_utc_ms INTEGER NOT NULL,
  ended_utc_ms INTEGER NOT NULL, rows TEXT NOT NULL);
CREATE TABLE drill_key (drill_id INTEGER NOT NULL REFERENCES drill(id), code INTEGER NOT NULL,
  hits INTEGER NOT NULL, total_ms INTEGER NOT NULL, wrong INTEGER NOT NULL,
  PRIMARY KEY (drill_id, code)) WITHOUT ROWID;
CREATE TABLE wrong_key (drill_id INTEGER NOT NULL REFERENCES drill(id), code INTEGER NOT NULL,
  typed INTEGER NOT NULL, count INTEGER NOT NULL, PRIMARY KEY (drill_id, code, typed)) WITHOUT ROWID;
"""
SCHEMA_TWO_STEP = """
ALTER TABLE drill ADD COLUMN hits INTEGER NOT NULL DEFAULT 0;
ALTER TABLE drill ADD COLUMN total_ms INTEGER NOT NULL DEFAULT 0;
ALTER TABLE drill ADD COLUMN wrong INTEGER NOT NULL DEFAULT 0;
UPDATE drill SET (hits, total_ms, wrong) = (SELECT coalesce(sum(hits), 0), coalesce(sum(total_ms), 0),
  coalesce(sum(wrong), 0) FROM drill_key WHERE drill_id = drill.id);
CREATE TABLE key_total (code INTEGER PRIMARY KEY, drills INTEGER NOT NULL);
INSERT INTO key_total (code, drills)
  SELECT code, count(*) FROM drill_key WHERE (hits > 0 OR wrong > 0) GROUP BY code;
CREATE TABLE key_latest (code INTEGER NOT NULL, slot INTEGER NOT NULL, drill_id INTEGER NOT NULL,
  hits INTEGER NOT NULL, total_ms INTEGER NOT NULL, wrong INTEGER NOT NULL,
  PRIMARY KEY (code, slot)) WITHOUT ROWID;
INSERT INTO key_latest (code, slot, drill_id, hits, total_ms, wrong)
  SELECT code, (n - 1) % 10, drill_id, hits, total_ms, wrong FROM (
    SELECT code, drill_id, hits, total_ms, wrong,
    row_number() OVER (PARTITION BY code ORDER BY drill_id) AS n, count(*) OVER (PARTITION BY code) AS drills
    FROM drill_key WHERE (hits > 0 OR wrong > 0))
  WHERE n > drills - 10;
CREATE TABLE confusion (code INTEGER NOT NULL, typed INTEGER NOT NULL, count INTEGER NOT NULL,
  PRIMARY KEY (code, typed)) WITHOUT ROWID;
INSERT INTO confusion (code, typed, count)
  SELECT w.code, w.typed, sum(w.count) FROM wrong_key w
  JOIN drill_key k ON k.drill_id = w.drill_id AND k.code = w.code
  WHERE (k.hits > 0 OR k.wrong > 0) GROUP BY w.code, w.typed;
PRAGMA user_version=2;
"""


def schema_two_history(path, drills):
    """`drills` home-row drills as the version before answers stored them, in one transaction."""
    rng = random.Random(drills)
    con = sqlite3.connect(path, isolation_level=None)
    try:
        con.executescript(SCHEMA_TWO)
        con.execute("BEGIN")
        started = 1_796_083_200_000
        for drill_id in range(1, drills + 1):
            started += rng.randrange(60_000, 86_400_000)
            con.execute("INSERT INTO drill VALUES (?, ?, ?, 'h')", (drill_id, started, started + 60_000))
            keys = []
            wrongs = []
            for c in HOME_ROW:
                hits = rng.randrange(3, 9)
                wrong = rng.randrange(0, 3)
                keys.append((drill_id, ord(c), hits, hits * rng.randrange(250, 900), wrong))
                if wrong:
                    wrongs.append((drill_id, ord(c), ord(rng.choice("qwerty")), wrong))
            con.executemany("INSERT INTO drill_key VALUES (?, ?, ?, ?, ?)", keys)
            con.executemany("INSERT INTO wrong_key VALUES (?, ?, ?, ?)", wrongs)
        con.execute("COMMIT")
        con.executescript(SCHEMA_TWO_STEP)
    finally:
        con.close()


def user_version(path):
    """The schema version in the file's header, read as bytes: no lock, no rollback."""
    with open(path, "rb") as f:
        header = f.read(64)
    return struct.unpack(">i", header[60:64])[0] if len(header) == 64 else None


def migrated_history(folder, drills, what, newer=1):
    """After a kill the history, read from a copy (a journal left behind rolled back there), is whole:
    version 2 with every drill as it was, or version 3 with every drill and at most `newer` more (the
    killed one). Returns (version, drills in it)."""
    path = os.path.join(folder, "touchdrill.sqlite")
    with xh.scratch_folder() as copy:
        shutil.copy(path, copy)
        if os.path.exists(path + "-journal"):
            shutil.copy(path + "-journal", copy)
        con = sqlite3.connect(os.path.join(copy, "touchdrill.sqlite"), isolation_level=None)
        try:
            verdict = con.execute("PRAGMA integrity_check").fetchone()[0]
            version = con.execute("PRAGMA user_version").fetchone()[0]
            count = con.execute("SELECT count(*) FROM drill").fetchone()[0]
            kept = con.execute("SELECT count(*) FROM drill WHERE id <= ? AND rows = 'h'", (drills,)).fetchone()[0]
            answers = (con.execute("SELECT count(*) FROM drill_answers").fetchone()[0] if version == 3 else 0)
            added = con.execute("SELECT count(*) FROM sqlite_schema WHERE name IN ('drill_answers', 'drill_started')"
                                " OR sql LIKE '%pool_size%'").fetchone()[0]
        finally:
            con.close()
    check(verdict == "ok", "%s: the history's integrity check says %r" % (what, verdict))
    check(version in (2, 3), "%s: the history is of version %r" % (what, version))
    check(added == (3 if version == 3 else 0), "%s: version %d with %d of the update's changes" % (what, version, added))
    check(kept == drills, "%s: %d of the %d older drills are left" % (what, kept, drills))
    check(count <= drills + (newer if version == 3 else 0),
          "%s: %d drills in a history of %d at version %d" % (what, count, drills, version))
    check(answers == count - drills, "%s: %d drills with answers, %d new" % (what, answers, count - drills))
    return version, count


def case_migrationkills():
    kills = 20 if FULL else 6
    older = 20000  # about 8 MB: its check and update take a moment
    with xh.desktop() as desk, xh.scratch_folder() as folder, xh.scratch_folder() as made:
        pristine = os.path.join(made, "touchdrill.sqlite")
        started = time.monotonic()
        schema_two_history(pristine, older)
        made_in = time.monotonic() - started
        program = xh.Program(EXE, folder)
        path = os.path.join(folder, "touchdrill.sqlite")
        watch = Inotify(folder)
        try:
            # How long the update takes at a drill's end, from the ending space to the version 3
            # in the file's header.
            shutil.copy(pristine, path)
            start_ready(desk, program)
            desk.keys("alt+r", "space", *HOME_ROW, delay=15)
            started = time.monotonic()
            desk.keys("space")
            while user_version(path) != 3:
                program.ensure_running()
                check(time.monotonic() - started < 60, "the history was not brought up to date")
                time.sleep(0.002)
            took = time.monotonic() - started
            close_cleanly(desk, program, "the update without a kill")
            migrated_history(folder, older, "the update without a kill")

            versions = {2: 0, 3: 0}
            journals = 0
            for n in range(kills):
                # The older file afresh, without the journal the last kill may have left: that
                # journal belongs to the file the kill left, not to this one.
                with contextlib.suppress(FileNotFoundError):
                    os.unlink(path + "-journal")
                shutil.copy(pristine, path)
                start_ready(desk, program)
                desk.keys("alt+r", "space", *HOME_ROW, delay=15)
                watch.drain()
                what = "kill %d" % n
                if n % 2 == 0:
                    # Anywhere from the space through the check of every page and the update.
                    desk.keys("space")
                    time.sleep(RNG.uniform(0, 1.2 * took))
                else:
                    # While the update writes: its journal has just appeared.
                    desk.keys("space")
                    check(watch.wait(lambda mask, name: mask & Inotify.IN_CREATE
                                     and name == "touchdrill.sqlite-journal", 60),
                          "%s: the update never wrote" % what)
                    time.sleep(RNG.uniform(0, 0.005))
                kill_now(program)
                journals += os.path.exists(path + "-journal")
                version, left = migrated_history(folder, older, what)
                versions[version] += 1
            # The program takes the file the last kill left and records on.
            start_ready(desk, program)
            drill_and_wait(desk, program, "after the kills", rounds=2, delay=15)
            close_cleanly(desk, program, "after the kills")
            # The last kill may have come after its drill was stored: that one, and the next.
            version, count = migrated_history(folder, older, "after the kills", newer=left - older + 1)
            check(version == 3, "the history is still of version %d after a drill" % version)
            check(count == left + 1, "the drill after the kills was not recorded")
            con = sqlite3.connect(path, isolation_level=None)
            try:
                pool = con.execute("SELECT pool_size FROM drill ORDER BY id DESC LIMIT 1").fetchone()[0]
            finally:
                con.close()
            check(pool == len(set(HOME_ROW)), "the last drill's pool size is %r" % pool)
        finally:
            watch.close()
            if program.running():
                program.kill()
        report("SIGKILL while a history of the version before answers is brought up to date (%d kills)" % kills,
               "after every kill: integrity_check ok, version 2 with every drill or version 3 with every drill "
               "and none lost; then the program updates what is left and records with answers",
               "%d older drills (made in %.1f s); the update took %.0f ms from the drill's end; kills left "
               "version 2 %d times, version 3 %d times, a journal %d times"
               % (older, made_in, 1000 * took, versions[2], versions[3], journals))


# ---------------------------------------------------------------------------------------------
# Floods: keys as fast as xdotool sends them, and many drills one after another.

def case_flood():
    count = 10000
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        start_ready(desk, program)
        pid = program.proc.pid
        rss_before = vm_rss_kb(pid)
        # The home row in turn with a key of another row after every third: answers and wrong keys.
        pattern = ["a", "s", "d", "q", "f", "g", "h", "z", "j", "k", "l", "1"]
        keys = [pattern[i % len(pattern)] for i in range(count)]
        desk.keys("alt+r", "space", delay=20)
        started = time.monotonic()
        desk.xdotool("key", "--delay", "0", *keys)
        sent = time.monotonic() - started
        sent_end = time.monotonic()
        desk.xdotool("key", "--delay", "0", "space")
        wait_for_file_change(program, program.bst, None, timeout=60)
        backlog = time.monotonic() - sent_end
        rss_after = vm_rss_kb(pid)
        check(not error_boxes(desk), "an error box after the flood")
        best = xh.decode_best_times(program.read_bst())
        check(best and set(best) <= set(HOME_ROW), "bests after the flood: %s" % best)
        duration_ms = (sent_end - started) * 1000 + 1000
        check(all(v <= duration_ms for v in best.values()),
              "an average longer than the whole flood (%d ms): %s" % (duration_ms, best))

        practised = sorted(set(HOME_ROW))  # all answered; one averaging 0 ms has a row but no best

        def chart(shot):
            shown = list_rows_shown(shot)
            check(len(shown) == len(practised), "%d rows for %d characters" % (len(shown), len(practised)))
            for row, c in zip(shown, practised):
                check(row.dark_label and not row.yellow, "row %r: no label or a star on a first drill" % c)
                check(row.bar_length() == min(best.get(c, 0) // 10, row.width - 20),
                      "row %r: bar %d px for a best of %d ms" % (c, row.bar_length(), best.get(c, 0)))
            return True
        wait_for_shot(desk, program, chart, 10, "the chart after the flood")

        # Still answering: an ordinary drill right after.
        first = program.read_bst()
        drill_and_wait(desk, program, "drill after the flood")
        check_update(first, program.read_bst(), "drill after the flood")
        close_cleanly(desk, program, "flood")
        report("%d keys with xdotool --delay 0 into one drill" % count,
               "no crash, no error box, every key handled before the ending space (file written), "
               "chart agrees with the file, averages within the flood's duration, next drill works",
               "sent in %.1f s (%.0f keys/s); file written %.0f ms after the ending space was sent; %d characters "
               "answered, averages %d–%d ms; RSS %d → %d kB"
               % (sent, count / sent, 1000 * backlog, len(best), min(best.values()), max(best.values()),
                  rss_before, rss_after))


def case_cycles():
    cycles = 200 if FULL else 40
    warm_up = 20 if FULL else 10
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        start_ready(desk, program)
        pid = program.proc.pid
        fds_start = None
        rss = []
        previous = bytes(376)
        started = time.monotonic()
        for n in range(cycles):
            before = stat_or_none(program.bst)
            desk.keys("alt+r", "space", *HOME_ROW, "space", delay=8)
            wait_for_file_change(program, program.bst, before)
            current = program.read_bst()
            check_update(previous, current, "cycle %d" % n)
            check(xh.decode_best_times(current), "cycle %d: no best stored" % n)
            previous = current
            rss.append(vm_rss_kb(pid))
            if n == 1:
                # The practice history stays open from the first drill's end, which is over once
                # the second drill has been handled.
                fds_start = open_fds(pid)
            if n % 20 == 19:
                check(not error_boxes(desk), "cycle %d: an error box" % n)
                wait_for_shot(desk, program, lambda s: 1 <= len(list_rows_shown(s)) <= len(HOME_ROW), 10,
                              "the chart of cycle %d" % n)
        elapsed = time.monotonic() - started
        fds_end = open_fds(pid)
        close_cleanly(desk, program, "cycles")
        settled = rss[warm_up - 1]
        tail = sorted(rss[-10:])[len(rss[-10:]) // 2]
        growth = tail - settled
        check(fds_end == fds_start, "open descriptors went from %d to %d" % (fds_start, fds_end))
        check(growth <= 300, "memory grew by %d kB after cycle %d (%d → %d kB)" % (growth, warm_up, settled, tail))
        report("%d prepare-start-stop cycles (Alt+R, space, the home row, space)" % cycles,
               "no crash or error box, every cycle's file valid, chart shown, RSS flat after "
               "cycle %d (≤ 300 kB), no descriptor leak" % warm_up,
               "%.1f s (%.0f ms a cycle); RSS first %d kB, after cycle %d %d kB, last %d kB, max %d kB "
               "(growth after warm-up %+d kB); open descriptors %d → %d"
               % (elapsed, 1000 * elapsed / cycles, rss[0], warm_up, settled, rss[-1], max(rss), growth,
                  fds_start, fds_end))


CASES = {
    "bstfaults": case_bstfaults,
    "diskfull": case_diskfull,
    "inifaults": case_inifaults,
    "kills": case_kills,
    "migrationkills": case_migrationkills,
    "flood": case_flood,
    "cycles": case_cycles,
}


def print_summary():
    if not SUMMARY:
        return
    log("\n| Fault or flood | Checked | Measured |\n|---|---|---|")
    for row in SUMMARY:
        log("| %s | %s | %s |" % row)


def main():
    global EXE, SHIM, FULL
    parser = xh.case_parser(__doc__, CASES, several=True)
    parser.add_argument("--shim", help="the fault shim (faultshim.so of the build)")
    parser.add_argument("--full", action="store_true", help="the long runs")
    parser.add_argument("--seed", type=int, help="seed of the random choices (default: the time)")
    args = parser.parse_args()
    SHIM = os.path.abspath(args.shim) if args.shim else None
    FULL = args.full
    seed = args.seed if args.seed is not None else int(time.time())
    RNG.seed(seed)
    log("random seed", seed)
    EXE = xh.program_under_test(args.exe)
    if not EXE:
        return 1
    if shutil.which("xclip") is None:
        log("SKIPPED: xclip is missing (it reads the error box's text)")
        return 77
    try:
        return xh.run_cases(CASES, args.case)
    finally:
        print_summary()


if __name__ == "__main__":
    sys.exit(main())

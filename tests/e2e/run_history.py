#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The practice history of the real touchdrill under a private Xvfb: what drills record, the CSV
export, the opt-out, and the faults (another copy holding the database, a file that is not one).

Usage: run_history.py --exe build/touchdrill --case record|faults
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or xclip here).
A folder that takes no new file and a full disk are cases of run_reliability.py.
"""

import csv
import datetime
import io
import os
import shutil
import sqlite3
import subprocess
import sys
import threading
import time
import zoneinfo

sys.dont_write_bytecode = True  # keep the source tree free of caches

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xharness as xh  # noqa: E402
from xharness import check, log  # noqa: E402
from touchdrill_ui import (  # noqa: E402
    HOME_ROW, drill_keys, error_boxes, expect_error_box, read_history, run_drill, stat_or_none, wait_for_file_change)
import run_reliability as rel  # noqa: E402

EXE = None
HEADER = ["started_utc", "character", "hits", "total_ms", "average_ms", "wrong_keys", "most_wrong_key",
          "drill_id", "rows", "started_local"]
# The export's time zone: an offset behind UTC and not a whole number of hours.
EXPORT_ZONE = "America/St_Johns"
STRANGER = "q"  # typed once a round into home-row drills: always a wrong key


def history_of(program):
    return os.path.splitext(program.exe)[0] + ".sqlite"


def export(program, target, stdout=None):
    """Runs `touchdrill --export-history target` with no display, its standard output captured or
    to the file `stdout`; (status, stdout, stderr)."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY" and not k.startswith("WAYLAND")}
    env["HOME"] = program.folder
    env["TZ"] = EXPORT_ZONE
    with open(stdout or os.devnull, "wb") as sink:
        proc = subprocess.run([program.exe, "--export-history", target], cwd=program.folder, env=env,
                              stdin=subprocess.DEVNULL, stdout=sink if stdout else subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=30)
    return proc.returncode, (proc.stdout or b"").decode("utf-8"), proc.stderr.decode("utf-8")


def expected_csv(drills):
    """The rows the export must give for these drills, worked out here from the database."""
    rows = [HEADER]
    for drill_id, started, _, drill_rows, keys in drills:
        when = datetime.datetime.fromtimestamp(started // 1000, datetime.timezone.utc).replace(
            microsecond=started % 1000 * 1000)
        stamp = when.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (started % 1000)
        local = when.astimezone(zoneinfo.ZoneInfo(EXPORT_ZONE)).isoformat(timespec="milliseconds")
        for char in sorted(keys):
            hits, total, wrong, typed = keys[char]
            most = min(typed, key=lambda t: (-typed[t], t)) if typed else ""
            rows.append([stamp, char, str(hits), str(total), str(total // hits) if hits else "", str(wrong), most,
                         str(drill_id), drill_rows, local])
    return rows


def best_after(drills):
    """The best averages the results step keeps, by its rule, after these drills from no file."""
    best = {}
    for _, _, _, _, keys in drills:
        for char, (hits, total, _, _) in keys.items():
            if hits:
                average = total // hits
                if best.get(char, 0) == 0 or average < best[char]:
                    best[char] = average
    return best


def drill_recorded(desk, program, rounds, what):
    """A home-row drill with one stranger a round, ended normally (best-times file rewritten)."""
    before = stat_or_none(program.bst)
    desk.focus(program.window)
    run_drill(desk, drill_keys(rounds, strangers=STRANGER), delay=20)
    wait_for_file_change(program, program.bst, before)
    check(not error_boxes(desk), "%s: an error box after the drill" % what)


# ---------------------------------------------------------------------------------------------

def case_record():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        path = history_of(program)
        # Before any drill there is no history: the export gives the header alone.
        status, out, err = export(program, "-")
        check((status, out, err) == (0, ",".join(HEADER) + "\r\n", ""),
              "export of no history: status %d, out %r, err %r" % (status, out, err))
        check(not os.path.exists(path), "the export created the history")

        t0 = int(time.time() * 1000)
        rel.start_ready(desk, program)
        check(not os.path.exists(path), "the history exists before the first drill's end")
        rounds = (3, 2)
        for n, r in enumerate(rounds):
            drill_recorded(desk, program, r, "drill %d" % n)
        # A drill with no answer at all is not recorded.
        before = stat_or_none(program.bst)
        run_drill(desk, [STRANGER, STRANGER])
        wait_for_file_change(program, program.bst, before)
        rel.close_cleanly(desk, program, "record")
        t1 = int(time.time() * 1000)

        drills = read_history(path)
        check(len(drills) == len(rounds), "%d drills recorded, %d with answers ended" % (len(drills), len(rounds)))
        last_end = 0
        for (_, started, ended, rows, keys), r in zip(drills, rounds):
            check(rows == "h", "rows %r for the home row" % rows)
            check(t0 <= started <= ended <= t1 and started >= last_end,
                  "drill times %d..%d outside the run %d..%d" % (started, ended, t0, t1))
            last_end = ended
            check(set(keys) <= set(HOME_ROW), "characters outside the home row: %s" % sorted(keys))
            typed = (len(HOME_ROW) + 1) * r
            answered = sum(k[0] for k in keys.values())
            wrong = sum(k[2] for k in keys.values())
            check(answered + wrong == typed, "%d hits and %d wrong keys for %d keys typed" % (answered, wrong, typed))
            strangers = sum(k[3].get(STRANGER, 0) for k in keys.values())
            check(strangers == r, "%r counted %d times as a wrong key, typed %d times" % (STRANGER, strangers, r))
            for char, (hits, total, wrong_here, by_key) in keys.items():
                check(sum(by_key.values()) == wrong_here, "%r: wrong keys %d, by key %s" % (char, wrong_here, by_key))
        # The history and the best-times file tell the same story.
        best = xh.decode_best_times(program.read_bst())
        check(best == best_after(drills), "best-times file %s, from the history %s" % (best, best_after(drills)))

        # The export, to standard output and to a file, read back by a CSV reader.
        status, out, err = export(program, "-")
        check(status == 0 and err == "", "export: status %d, stderr %r" % (status, err))
        check(out.endswith("\r\n") and "\n" not in out.replace("\r\n", ""), "export lines do not end in CRLF")
        got = list(csv.reader(io.StringIO(out, newline="")))
        want = expected_csv(drills)
        check(got == want, "export rows %s, expected %s" % (got, want))
        target = os.path.join(folder, "history.csv")
        check(export(program, target)[0] == 0, "export to a file failed")
        with open(target, "rb") as f:
            check(f.read().decode("utf-8") == out, "the exported file differs from standard output")
        # Standard output that takes nothing: a failure, never a success.
        status, _, err = export(program, "-", stdout="/dev/full")
        check(status == 1 and err == "標準出力に書き込めません.\n",
              "export to a full standard output: status %d, stderr %r" % (status, err))
        rel.report("drills recorded and exported", "hits + wrong = keys typed, strangers counted, times, rows, "
                   "bests agree, CSV parses to the database's figures, no-answer drill skipped",
                   "%d drills, %d CSV rows; export of no history: header only, status 0" % (len(drills), len(got) - 1))

    # Record=0: nothing recorded, the file never created, the key kept.
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        with open(program.ini, "w") as f:
            f.write("[History]\nRecord=0\n")
        rel.start_ready(desk, program)
        drill_recorded(desk, program, 2, "opted out")
        drill_recorded(desk, program, 2, "opted out, second drill")
        rel.close_cleanly(desk, program, "opted out")
        check(not os.path.exists(history_of(program)), "Record=0, yet the history was created")
        with open(program.ini) as f:
            ini = f.read()
        check(ini.startswith("[History]\nRecord=0\n") and "[Form]" in ini, "the INI file holds %r" % ini)
        check(export(program, "-")[:2] == (0, ",".join(HEADER) + "\r\n"), "export with no history")
        rel.report("[History] Record=0", "no database file, INI key kept", "two drills, no touchdrill.sqlite")


def hold_database(path):
    """Another copy in the middle of a write: an exclusive lock on the database."""
    con = sqlite3.connect(path, isolation_level=None, timeout=0, check_same_thread=False)
    con.execute("BEGIN EXCLUSIVE")
    return con


def no_box_for(desk, program, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        program.ensure_running()
        check(not error_boxes(desk), "%s: an error box" % what)
        time.sleep(0.1)


def box_once(desk, program, text, what, stored, quiet=1.0):
    """A drill whose history fails shows the box with `text`, and the results and the best times as
    ever (from `stored`, the best-times file's bytes before); the next drill, failing the same way,
    shows no box, and its results are kept all the same."""
    rel.drill(desk, program)
    expect_error_box(desk, program, text, what)
    rel.check_update(stored, program.read_bst(), what)
    rel.check_list_after_error(desk, program, "new", None, what)
    stored = program.read_bst()
    drill_recorded(desk, program, 2, what + ", second drill")
    no_box_for(desk, program, quiet, what + ", second drill")
    rel.check_update(stored, program.read_bst(), what + ", second drill")


def run_locked(desk):
    what = "another copy holds the history"
    with xh.scratch_folder() as folder:
        program = rel.new_program(folder)
        path = history_of(program)
        rel.start_ready(desk, program)
        drill_recorded(desk, program, 2, what + ", first drill")
        check(len(read_history(path)) == 1, "%s: the first drill was not recorded" % what)

        # Held at a drill's end: the drill waits, nothing is said, and it goes in a few seconds after
        # the history is free; held still at the close, which waits for it a moment.
        for n, release_at_close in ((2, False), (3, True)):
            other = hold_database(path)
            drill_recorded(desk, program, 2, what + ", held")
            no_box_for(desk, program, 1.0, what + ", held")
            threading.Timer(1.0 if release_at_close else 0, other.close).start()  # rolls back
            if release_at_close:
                rel.close_cleanly(desk, program, what)
            xh.wait_for(lambda: len(read_history(path)) == n, 10, "%s: drill %d not recorded" % (what, n))
        rel.report(what, "no box; a waiting drill goes in once the history is free", "3 of 3 drills recorded")


def text_file(path):
    with open(path, "wb") as f:
        f.write(b"[History]\nRecord=1\nnot a database, \"quoted\"\n")


def damaged_database(path):
    with open(path, "wb") as f:
        f.write(b"SQLite format 3\0" + bytes(range(256)) * 31)


def run_not_history(desk, what, make):
    with xh.scratch_folder() as folder:
        program = rel.new_program(folder)
        path = history_of(program)
        make(path)
        with open(path, "rb") as f:
            original = f.read()
        seeded = rel.bytes_of(rel.seeded_values())
        with open(program.bst, "wb") as f:
            f.write(seeded)
        rel.start_ready(desk, program)
        text = path + " は練習の記録ではないか、壊れています。ファイルはそのままにし、記録を止めます."
        box_once(desk, program, text, what, seeded)
        rel.close_cleanly(desk, program, what)
        with open(path, "rb") as f:
            check(f.read() == original, "%s: the file was changed" % what)
        check(rel.other_files(folder) == [], "%s: files beside the program: %s" % (what, rel.other_files(folder)))
        status, out, err = export(program, "-")
        export_text = path + " は練習の記録ではないか、壊れています。書き出せません.\n"
        check(status == 1 and out == "" and err == export_text,
              "%s: export gave status %d, out %r, err %r" % (what, status, out, err))
        with open(path, "rb") as f:
            check(f.read() == original, "%s: the export changed the file" % what)
        rel.report(what, "box once per run, file byte for byte, results and best times as ever, export fails",
                   "「…壊れています。…」 once in two drills; %d bytes unchanged; export status %d, 「…書き出せません.」 "
                   "on standard error" % (len(original), status))


def run_locked_folder(desk):
    """A folder that takes no new file: the history cannot be made; results and best times as ever."""
    what = "folder that takes no new file"
    with xh.scratch_folder() as folder:
        program = rel.new_program(folder, unprivileged=True)
        path = history_of(program)
        seeded = rel.bytes_of(rel.seeded_values())
        with open(program.bst, "wb") as f:
            f.write(seeded)
        rel.give_files_to_user(program)
        rel.start_ready(desk, program)
        os.chmod(folder, 0o555)
        try:
            box_once(desk, program, "練習の記録を %s に書き込めません." % path, what, seeded)
            check(rel.other_files(folder) == [] and not os.path.exists(path),
                  "%s: files beside the program: %s" % (what, rel.other_files(folder)))
        finally:
            os.chmod(folder, 0o755)  # the placement file is made beside the program at the close
        rel.close_cleanly(desk, program, what)
        rel.report(what + " (as nobody)", "box once per run, best times rewritten in place, no file made",
                   "「練習の記録を …/touchdrill.sqlite に書き込めません.」 once in two drills; no stray file")


def run_results_failed(desk):
    """The results step fails (a read-only best-times file): the drill is recorded all the same."""
    what = "read-only best-times file"
    with xh.scratch_folder() as folder:
        program = rel.new_program(folder, unprivileged=True)
        with open(program.bst, "wb") as f:
            f.write(rel.bytes_of(rel.seeded_values()))
        os.chmod(program.bst, 0o444)
        rel.give_files_to_user(program)
        rel.start_ready(desk, program)
        rel.drill(desk, program)
        expect_error_box(desk, program, rel.ACCESS_DENIED, what)
        no_box_for(desk, program, 1.0, what)
        drills = read_history(history_of(program))
        check(len(drills) == 1 and drills[0][4], "%s: %d drills recorded" % (what, len(drills)))
        rel.close_cleanly(desk, program, what)
        rel.report(what + " (as nobody)", "the results' box alone, the drill recorded",
                   "「%s」; 1 drill in the history" % rel.ACCESS_DENIED)


def case_faults():
    with xh.desktop() as desk:
        run_locked(desk)
        run_locked_folder(desk)
        run_not_history(desk, "a text file named touchdrill.sqlite", text_file)
        run_not_history(desk, "a damaged database", damaged_database)
        run_results_failed(desk)


CASES = {"record": case_record, "faults": case_faults}


def main():
    global EXE
    args = xh.case_parser(__doc__, CASES, several=True).parse_args()
    EXE = rel.EXE = xh.program_under_test(args.exe)
    if not EXE:
        return 1
    if shutil.which("xclip") is None:
        log("SKIPPED: xclip is missing (it reads the error box's text)")
        return 77
    try:
        return xh.run_cases(CASES, args.case)
    finally:
        rel.print_summary()


if __name__ == "__main__":
    sys.exit(main())

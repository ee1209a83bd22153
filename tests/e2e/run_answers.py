#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every answer of the real touchdrill under a private Xvfb: drills typed, then --export-answers read
back with Python's csv and held against the history's own totals per drill and character; then the
history merged into a second copy's with --import-history, once and again.

Usage: run_answers.py --exe build/touchdrill
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool here).
"""

import argparse
import collections
import csv
import io
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xharness as xh  # noqa: E402
from xharness import check  # noqa: E402
from touchdrill_ui import HOME_ROW, run_drill  # noqa: E402
import run_history as hist  # noqa: E402
import run_reliability as rel  # noqa: E402

EXE = None
HEADER = ["drill_id", "started_local", "rows", "pool_size", "answer", "previous", "target", "ms", "wrong_keys"]


def run(program, *argv):
    """The program with these arguments and no display: (status, stdout, stderr) as text."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY" and not k.startswith("WAYLAND")}
    env["HOME"] = program.folder
    env["TZ"] = hist.EXPORT_ZONE
    proc = subprocess.run([program.exe] + list(argv), cwd=program.folder, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60)
    return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")


def totals_of(rows):
    """{drill id: {target: (hits, total ms, wrong keys, {typed: count})}} from the answers' rows, as
    the history keeps its characters (the drills type letters only: each key is itself)."""
    drills = collections.defaultdict(dict)
    for row in rows:
        hits, total, wrong, by_key = drills[int(row["drill_id"])].get(row["target"], (0, 0, 0, {}))
        if row["ms"] != "":
            hits, total = hits + 1, total + int(row["ms"])
        for key in [item.rpartition("@")[0] for item in row["wrong_keys"].split(" ") if item]:
            by_key[key] = by_key.get(key, 0) + 1
            wrong += 1
        drills[int(row["drill_id"])][row["target"]] = (hits, total, wrong, by_key)
    # A target shown last with neither a right nor a wrong key is no drill of its character.
    return {drill_id: {t: k for t, k in keys.items() if k[0] or k[2]} for drill_id, keys in drills.items()}


def case_answers():
    with xh.desktop() as desk, xh.scratch_folder() as folder:
        program = xh.Program(EXE, folder)
        path = hist.history_of(program)
        rel.start_ready(desk, program)
        rounds = (3, 2, 4)
        for n, r in enumerate(rounds):
            hist.drill_recorded(desk, program, r, "drill %d" % n)
        rel.close_cleanly(desk, program, "answers")
        stored = hist.read_history(path)
        check(len(stored) == len(rounds), "%d drills recorded, %d ended" % (len(stored), len(rounds)))

        status, out, err = run(program, "--export-answers", "-")
        check(status == 0 and err == "", "--export-answers -: status %d, stderr %r" % (status, err))
        check(out.endswith("\r\n") and "\n" not in out.replace("\r\n", ""), "export lines do not end in CRLF")
        reader = csv.DictReader(io.StringIO(out, newline=""))
        check(reader.fieldnames == HEADER, "header %r" % reader.fieldnames)
        rows = list(reader)
        # The history's own figures, drill by drill and character by character.
        got = totals_of(rows)
        for drill_id, _, _, drill_rows, keys in stored:
            mine = [r for r in rows if int(r["drill_id"]) == drill_id]
            check(mine and all(r["rows"] == drill_rows and r["pool_size"] == str(len(HOME_ROW)) for r in mine),
                  "drill %d: rows or pool size %r" % (drill_id, {(r["rows"], r["pool_size"]) for r in mine}))
            check(got[drill_id] == keys, "drill %d: from its answers %r, in the history %r"
                  % (drill_id, got[drill_id], keys))
            check(all(r["ms"] != "" for r in mine[:-1]), "drill %d: an answer before the last has no time" % drill_id)
        rel.report("every answer exported", "each drill's hits, ms and wrong keys per character as the history "
                   "holds them", "%d drills, %d answers" % (len(stored), len(rows)))

        # Merged into a second copy's history, which it makes; again, nothing more; a text file refused.
        os.mkdir(os.path.join(folder, "second"))
        second = xh.Program(EXE, os.path.join(folder, "second"))
        status, text, err = run(second, "--import-history", path)
        check((status, text, err) == (0, "%d 回の練習を取り込み、すでにあった 0 回を飛ばしました\n" % len(stored), ""),
              "first import: status %d, out %r, err %r" % (status, text, err))
        status, text, err = run(second, "--import-history", path)
        check((status, text, err) == (0, "0 回の練習を取り込み、すでにあった %d 回を飛ばしました\n" % len(stored), ""),
              "second import: status %d, out %r, err %r" % (status, text, err))
        check(run(second, "--export-answers", "-")[1] == out, "the merged history exports other answers")
        not_history = os.path.join(folder, "notes.sqlite")
        with open(not_history, "w") as f:
            f.write("not a history\n")
        status, text, err = run(second, "--import-history", not_history)
        check((status, text, err) == (1, "", not_history + " は練習の記録ではないか、壊れています。取り込めません.\n"),
              "import of a text file: status %d, out %r, err %r" % (status, text, err))
        rel.report("history merged", "drills added once, then all skipped; the same answers exported; a text "
                   "file refused with one line", "%d drills" % len(stored))


CASES = {"answers": case_answers}


def main():
    global EXE
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    args = parser.parse_args()
    EXE = hist.EXE = rel.EXE = xh.program_under_test(args.exe)
    if not EXE:
        return 1
    try:
        return xh.run_cases(CASES)
    finally:
        rel.print_summary()


if __name__ == "__main__":
    sys.exit(main())

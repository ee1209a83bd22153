#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The command line of the real touchdrill, run with no display at all: what it answers before the
toolkit starts (a toolkit started without a display would abort instead).

Usage: run_commandline.py --exe build/touchdrill --version 0.1.0
Exit status 0 passed, 1 failed.
"""

import argparse
import os
import subprocess
import sys
import tempfile

USAGE = ["使い方: touchdrill [Qt のオプション]",
         "        touchdrill --export-history FILE",
         "        touchdrill --export-answers FILE",
         "        touchdrill --import-history OTHER.sqlite",
         "        touchdrill --help | --version"]

# (what the row checks, arguments, exit status, standard output's lines, standard error's lines);
# None: the output starts with the usage and goes on with the options.
HELP = None


def refused(complaint):
    return ["touchdrill: " + complaint] + USAGE


def rows(version):
    return [
        ("--help", ["--help"], 0, HELP, []),
        ("-h", ["-h"], 0, HELP, []),
        ("--version", ["--version"], 0, ["touchdrill " + version], []),
        ("Qt's options and their values are passed over, a dashed value too",
         ["-platform", "offscreen", "-stylesheet", "--x.qss", "-reverse", "--version"],
         0, ["touchdrill " + version], []),
        ("Qt's two-dash and joined forms", ["--platform", "offscreen", "-style=fusion", "--help"], 0, HELP, []),
        ("an unknown option", ["--bogus"], 2, [], refused("不明なオプションです: --bogus")),
        ("the first word decides", ["--bogus", "--help"], 2, [], refused("不明なオプションです: --bogus")),
        ("a joined value that Qt does not take", ["--platform=offscreen"], 2, [],
         refused("不明なオプションです: --platform=offscreen")),
        ("a Qt option without its value", ["-style"], 2, [], refused("-style の後に値がありません")),
        ("a stray argument", ["drill.txt"], 2, [], refused("余分な引数です: drill.txt")),
        ("--export-history after another option", ["-platform", "offscreen", "--export-history", "x.csv"], 2, [],
         refused("--export-history は最初の引数に、FILE と二つだけで書いてください")),
        ("--export-answers after another option", ["-reverse", "--export-answers", "-"], 2, [],
         refused("--export-answers は最初の引数に、FILE と二つだけで書いてください")),
        ("--import-history after another option", ["--version", "--import-history", "x.sqlite"], 0,
         ["touchdrill " + version], []),
        ("--import-history after a Qt option", ["-reverse", "--import-history", "x.sqlite"], 2, [],
         refused("--import-history は最初の引数に、FILE と二つだけで書いてください")),
        ("--import-history without its file", ["--import-history"], 2, [],
         ["使い方: touchdrill --import-history OTHER.sqlite"]),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    failures = 0
    with tempfile.TemporaryDirectory(prefix="touchdrill-cli-") as home:
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LC_ALL": "C.UTF-8"}
        for name, argv, status, out, err in rows(args.version):
            proc = subprocess.run([args.exe] + argv, cwd=home, env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=30)
            got_out = proc.stdout.decode("utf-8").splitlines()
            got_err = proc.stderr.decode("utf-8").splitlines()
            problems = []
            if proc.returncode != status:
                problems.append("exit status %d, not %d" % (proc.returncode, status))
            if out is HELP:
                if got_out[:len(USAGE)] != USAGE or not any(line.lstrip().startswith("--export-history FILE")
                                                   for line in got_out[len(USAGE):]):
                    problems.append("standard output is not the help: %r" % got_out)
            elif got_out != out:
                problems.append("standard output %r, not %r" % (got_out, out))
            if got_err != err:
                problems.append("standard error %r, not %r" % (got_err, err))
            for problem in problems:
                print("FAIL %s (%s): %s" % (name, " ".join(argv), problem))
            failures += bool(problems)
    print("%d of %d rows passed" % (len(rows(args.version)) - failures, len(rows(args.version))))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

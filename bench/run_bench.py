#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs touchdrill's benchmarks and prints them as one table.

1. Start-up: exec to the first painted frame, under a private Xvfb, for touchdrill, for the floor
   program (bench/floor: the same controls on a bare Qt Widgets window) and for Debian's tipp10
   when it is installed, in rounds (touchdrill, floor, tipp10, touchdrill, ...) so that each ratio
   is taken pair by pair within a round.
2. Resident memory 2 s after the first frame, in the first rounds of the same runs.
3. CPU of touchdrill during a drill, over 10 s with the gauge rising and 10 s with it full.
4. Key-to-screen latency: a key sent through XTEST until the target display's pixels change.
5. In-process micro-benchmarks (bench_micro and bench_fingers, Google Benchmark).

Every program starts from a fresh folder of its own (a copy of the executable, an empty HOME), so
touchdrill finds no placement file and no best times. The measuring is done by bench/xprobe; see
its opening comment. Only the standard library is used here.
"""

import argparse
import datetime
import json
import math
import os
import platform
import re
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SCREEN = "1024x768x24"


def log(*parts):
    print(*parts, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------------------------
# Figures

def median(values):
    return statistics.median(values) if values else float("nan")


def percentile(values, p):
    """The p-th percentile by the nearest-rank method: a value that was actually measured."""
    if not values:
        return float("nan")
    ordered = sorted(values)
    rank = max(1, math.ceil(p / 100 * len(ordered)))
    return ordered[rank - 1]


class Figure:
    def __init__(self, label, values, unit="", goal=None, limit=None, value=None, note=""):
        self.label = label
        self.values = list(values)
        self.unit = unit
        self.goal = goal  # text shown, e.g. "<= 1.15"
        self.limit = limit  # the number the figure must not exceed
        self.value = median(self.values) if value is None else value
        self.note = note

    def verdict(self):
        if self.limit is None:
            return ""
        if not self.values or math.isnan(self.value):
            return "not measured"
        return "met" if self.value <= self.limit else "NOT MET"


def fmt(x, digits):
    if x is None or (isinstance(x, float) and math.isnan(x)):
        return "-"
    return "%.*f" % (digits, x)


def print_table(title, groups, out=sys.stdout):
    width = 52
    head = "%-*s %9s %9s %9s %5s  %-9s %s" % (width, "", "median", "min", "max", "n", "goal", "")
    lines = [title, "=" * len(head), head]
    for name, figures in groups:
        lines.append(name)
        for f in figures:
            digits = 3 if f.unit in ("ratio", "%") else (2 if f.unit in ("ms", "us") else 1)
            lo = min(f.values) if f.values else None
            hi = max(f.values) if f.values else None
            label = "  " + f.label + (" (%s)" % f.unit if f.unit and f.unit != "ratio" else "")
            lines.append("%-*s %9s %9s %9s %5s  %-9s %s" % (
                width, label[:width], fmt(f.value, digits), fmt(lo, digits), fmt(hi, digits),
                len(f.values) if f.values else "-", f.goal or "", f.verdict()))
            if f.note:
                lines.append("      " + f.note)
    print("\n".join(lines), file=out, flush=True)


# ---------------------------------------------------------------------------------------------
# The X server

class Xvfb:
    def __init__(self):
        self.proc = None
        self.display = None

    def __enter__(self):
        read_fd, write_fd = os.pipe()
        # -br: a black root window, so a window that has not drawn yet shows one flat colour.
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN, "-br",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        data = b""
        deadline = time.monotonic() + 20
        while not data.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_fd], [], [], 0.5)
            if ready:
                chunk = os.read(read_fd, 64)
                if not chunk:
                    break
                data += chunk
        os.close(read_fd)
        if not data.strip():
            self.__exit__()
            raise SystemExit("bench: Xvfb did not start")
        self.display = ":" + data.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


# ---------------------------------------------------------------------------------------------
# Programs under test

class Runner:
    def __init__(self, args, display, scratch):
        self.args = args
        self.display = display
        self.scratch = scratch
        self.xprobe = args.build / "bench" / "xprobe"
        self.runtime = scratch / "runtime"
        self.runtime.mkdir(mode=0o700)
        self.tipp10_home = None

    def env(self, home):
        return {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": str(home),
            "DISPLAY": self.display,
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "XDG_RUNTIME_DIR": str(self.runtime),
            # No session bus under Xvfb: every program finds none at once, rather than each
            # trying to start one.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=%s/no-bus" % self.runtime,
        }

    def probe(self, program, extra=(), home_from=None, timeout=60):
        """Runs the program under xprobe in a fresh folder; returns xprobe's figures as a dict."""
        folder = Path(tempfile.mkdtemp(prefix="run-", dir=self.scratch))
        try:
            home = folder / "home"
            if home_from:
                shutil.copytree(home_from, home, symlinks=True)
            else:
                home.mkdir()
            if program.is_relative_to(self.args.build):
                exe = folder / program.name
                shutil.copy2(program, exe)
            else:
                exe = program
            command = [str(self.xprobe), "--log", str(folder / "program.log"), *extra, "--", str(exe)]
            proc = subprocess.run(command, cwd=folder, env=self.env(home), capture_output=True,
                                  text=True, timeout=timeout)
            if proc.returncode != 0:
                tail = (folder / "program.log").read_text(errors="replace")[-400:]
                raise RuntimeError("%s: %s%s" % (program.name, proc.stderr.strip(),
                                                  "\n  program said: " + tail if tail else ""))
            figures = {}
            for line in proc.stdout.splitlines():
                name, _, value = line.partition(" ")
                figures[name] = value
            return figures
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def prepare_tipp10(self, tipp10):
        """A HOME in which tipp10 has run once: its database made, its welcome window turned off.

        Its first start builds a database of lessons, which is no warm start; every measured run
        gets a copy of this HOME instead, as a returning user's."""
        home = self.scratch / "tipp10-home"
        home.mkdir()
        # The first frame of the first start is the welcome window, shown once the database is made.
        command = [str(self.xprobe), "--timeout", "300", "--", str(tipp10)]
        proc = subprocess.run(command, cwd=home, env=self.env(home), capture_output=True, text=True,
                              timeout=330)
        if proc.returncode != 0:
            raise RuntimeError("tipp10's first start failed: " + proc.stderr.strip())
        conf = home / ".config" / "TIPP10" / "TIPP10.conf"
        conf.parent.mkdir(parents=True, exist_ok=True)
        text = conf.read_text() if conf.exists() else "[main]\n"
        if "check_illustration=" not in text:
            text = text.replace("[main]\n", "[main]\ncheck_illustration=false\n", 1)
        conf.write_text(text)
        self.tipp10_home = home


def mb(kb):
    return int(kb) / 1024.0


def startup_and_memory(runner, programs, args):
    """Rounds of one run of each program; memory is read in the first rounds only."""
    names = list(programs)
    startup = {n: [] for n in names}
    rss = {n: [] for n in names}
    sizes = {}
    for r in range(args.warmup + args.runs):
        measured = r >= args.warmup
        with_rss = measured and r - args.warmup < args.rss_runs
        for name in names:
            extra = ["--rss-after", str(args.rss_after)] if with_rss else []
            home = runner.tipp10_home if name == "tipp10" else None
            f = runner.probe(programs[name], extra, home_from=home)
            sizes[name] = f.get("size", "")
            if measured:
                startup[name].append(int(f["startup_us"]) / 1000.0)
                if with_rss:
                    rss[name].append(mb(f["rss_kb"]))
        if measured:
            log("  round %d: %s" % (r - args.warmup + 1, "  ".join(
                "%s %.1f ms" % (n, startup[n][-1]) for n in names)))
    return startup, rss, sizes


def pair_ratios(a, b):
    n = min(len(a), len(b))
    return [a[i] / b[i] for i in range(n) if b[i] > 0]


def drill_runs(runner, touchdrill, args):
    latencies, rising, full, rising_draws, full_draws, notes = [], [], [], [], [], []
    rising_sched, full_sched = [], []
    per_run = math.ceil(args.keys / args.drill_runs)
    for i in range(args.drill_runs):
        f = runner.probe(touchdrill, ["--drill", "--keys", str(per_run),
                                      "--cpu-seconds", str(args.cpu_seconds)],
                         timeout=120 + 4 * args.cpu_seconds + per_run)
        samples = [int(v) / 1000.0 for v in f.get("latency_us", "").split()]
        latencies += samples
        rising.append(float(f["cpu_rising_pct"]))
        full.append(float(f["cpu_full_pct"]))
        rising_sched.append(float(f["cpu_rising_sched_pct"]))
        full_sched.append(float(f["cpu_full_sched_pct"]))
        rising_draws.append(float(f["rising_draws_per_s"]))
        full_draws.append(int(f["full_draws"]))
        notes.append("wrong keys while learning %s, misses %s" % (f["wrong_keys"], f["misses"]))
        log("  drill %d: %d keys, median %.2f ms; CPU rising %.2f %%, full %.2f %%" % (
            i + 1, len(samples), median(samples), rising[-1], full[-1]))
    return latencies, rising, full, rising_sched, full_sched, rising_draws, full_draws, notes


def micro_benchmarks(micro, args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8",
               QT_ENABLE_HIGHDPI_SCALING="0", QT_FONT_DPI="96")
    out = subprocess.run([str(micro), "--benchmark_format=json",
                          "--benchmark_repetitions=%d" % args.micro_repetitions,
                          "--benchmark_min_time=%s" % args.micro_min_time],
                         env=env, capture_output=True, text=True, timeout=600)
    if out.returncode != 0:
        raise RuntimeError("%s failed: %s" % (micro.name, out.stderr[-400:]))
    data = json.loads(out.stdout)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        if b.get("error_occurred"):
            raise RuntimeError("%s: %s" % (b["name"], b.get("error_message")))
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
        # Wall time where the benchmark asks for it (file I/O waits on the disk), else CPU time.
        t = b["real_time"] if b["run_name"].endswith(("/real_time", "/manual_time")) else b["cpu_time"]
        runs.setdefault(b["run_name"], []).append(t * scale)
        # Figures a benchmark works out itself (a median of its iterations, a size), by name.
        for counter in ("median_ms", "bytes_per_drill", "bytes_per_home_row_drill"):
            if counter in b:
                runs.setdefault(b["run_name"] + ":" + counter, []).append(b[counter])
    return runs


def machine_line(tipp10):
    cpu = ""
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass

    def version(package):
        try:
            return subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                                  capture_output=True, text=True).stdout.strip()
        except OSError:
            return ""
    parts = ["%s, %d cores" % (cpu or platform.machine(), os.cpu_count() or 0),
             "Linux " + platform.release(), "Qt " + (version("libqt6core6") or "?"),
             "Xvfb " + SCREEN]
    if tipp10:
        parts.append("tipp10 " + (version("tipp10") or "?"))
    return "; ".join(parts)


# ---------------------------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default="build", help="the build folder (default: build)")
    ap.add_argument("--runs", type=int, default=15, help="start-up rounds (default 15)")
    ap.add_argument("--warmup", type=int, default=2, help="rounds run first and not counted")
    ap.add_argument("--rss-runs", type=int, default=5, help="rounds that also read the memory")
    ap.add_argument("--rss-after", type=float, default=2.0, help="seconds after the first frame")
    ap.add_argument("--drill-runs", type=int, default=3, help="drills, each a fresh touchdrill")
    ap.add_argument("--keys", type=int, default=210, help="latency samples over all drills")
    ap.add_argument("--cpu-seconds", type=float, default=10.0, help="each CPU window")
    ap.add_argument("--micro-repetitions", type=int, default=7)
    ap.add_argument("--micro-min-time", default="0.2")
    ap.add_argument("--no-tipp10", action="store_true", help="leave tipp10 out even if installed")
    ap.add_argument("--only", default="1,2,3,4,5", help="groups to run, e.g. 1,2 or 5")
    ap.add_argument("--tmp", help="folder for the runs' scratch folders (default: /dev/shm "
                    "when there is one, else the system's temporary folder)")
    ap.add_argument("--json", help="also write every measured value to this file")
    args = ap.parse_args()
    args.build = Path(args.build).resolve()
    only = {int(g) for g in args.only.split(",") if g.strip()}

    touchdrill = args.build / "touchdrill"
    floor = args.build / "bench" / "bench_floor"
    xprobe = args.build / "bench" / "xprobe"
    micro = args.build / "bench" / "bench_micro"
    fingers = args.build / "bench" / "bench_fingers"
    tipp10 = None if args.no_tipp10 else shutil.which("tipp10")
    tipp10 = Path(tipp10) if tipp10 else None

    missing = [str(p) for p in (touchdrill, floor) if not p.exists()]
    if missing:
        raise SystemExit("bench: not built: " + ", ".join(missing))
    skipped = []
    if not xprobe.exists():
        skipped.append("groups 1-4 (no bench/xprobe: the X11, XTest and Damage headers are missing)")
        only -= {1, 2, 3, 4}
    if not shutil.which("Xvfb"):
        skipped.append("groups 1-4 (no Xvfb)")
        only -= {1, 2, 3, 4}
    if 5 in only and not micro.exists():
        skipped.append("group 5 (no bench/bench_micro: Google Benchmark is missing)")
        only.discard(5)
    if not tipp10 and {1, 2} & only:
        skipped.append("tipp10 columns (tipp10 is not installed)")

    tmp_root = args.tmp or ("/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    groups = []
    raw = {"machine": machine_line(tipp10), "when": datetime.datetime.now().isoformat(timespec="seconds")}
    scratch = Path(tempfile.mkdtemp(prefix="touchdrill-bench-", dir=tmp_root))
    try:
        if {1, 2, 3, 4} & only:
            with Xvfb() as x:
                runner = Runner(args, x.display, scratch)
                if {1, 2} & only:
                    programs = {"touchdrill": touchdrill, "floor": floor}
                    if tipp10:
                        log("bench: preparing tipp10's HOME (its first start builds its database)")
                        runner.prepare_tipp10(tipp10)
                        programs["tipp10"] = tipp10
                    log("bench: start-up and memory, %d rounds after %d warm-up rounds"
                        % (args.runs, args.warmup))
                    startup, rss, sizes = startup_and_memory(runner, programs, args)
                    raw.update(startup_ms=startup, rss_mb=rss, window_sizes=sizes)
                    g1 = [Figure("touchdrill", startup["touchdrill"], "ms"),
                          Figure("floor: bare Qt window, same controls", startup["floor"], "ms")]
                    g2 = [Figure("touchdrill", rss["touchdrill"], "MB"),
                          Figure("floor", rss["floor"], "MB")]
                    if tipp10:
                        g1.append(Figure("tipp10 (window %s)" % sizes.get("tipp10", "?").replace(" ", "x"),
                                         startup["tipp10"], "ms"))
                        g2.append(Figure("tipp10", rss["tipp10"], "MB"))
                    g1.append(Figure("touchdrill / floor, pair by pair",
                                     pair_ratios(startup["touchdrill"], startup["floor"]), "ratio",
                                     "<= 1.15", 1.15))
                    g2.append(Figure("touchdrill / floor, pair by pair",
                                     pair_ratios(rss["touchdrill"], rss["floor"]), "ratio", "<= 1.10", 1.10))
                    if tipp10:
                        g1.append(Figure("touchdrill / tipp10, pair by pair",
                                         pair_ratios(startup["touchdrill"], startup["tipp10"]), "ratio",
                                         "<= 0.65", 0.65))
                        g2.append(Figure("touchdrill / tipp10, pair by pair",
                                         pair_ratios(rss["touchdrill"], rss["tipp10"]), "ratio"))
                    if 1 in only:
                        groups.append(("1. Start-up: exec to first painted frame, warm, Xvfb", g1))
                    if 2 in only:
                        groups.append(("2. Resident memory (VmRSS) %g s after the window is up" % args.rss_after, g2))
                if {3, 4} & only:
                    log("bench: %d drills: %d keys for the latency, then %g s of CPU with the gauge "
                        "rising and %g s with it full" % (args.drill_runs, args.keys, args.cpu_seconds,
                                                           args.cpu_seconds))
                    lat, rising, full, rsched, fsched, rdraws, fdraws, notes = drill_runs(runner, touchdrill, args)
                    raw.update(latency_ms=lat, cpu_rising_pct=rising, cpu_full_pct=full,
                               cpu_rising_sched_pct=rsched, cpu_full_sched_pct=fsched,
                               rising_draws_per_s=rdraws, full_draws=fdraws)
                    if 3 in only:
                        groups.append(("3. CPU of touchdrill during a drill, %g s windows (%% of one core)"
                                       % args.cpu_seconds, [
                            Figure("gauge rising: a correct key every 0.5 s", rising, "%", "<= 2", 2.0),
                            Figure("gauge full: no key for %g s" % args.cpu_seconds, full, "%", "<= 0.5", 0.5),
                            Figure("gauge rising, scheduler's ns count", rsched, "%"),
                            Figure("gauge full, scheduler's ns count", fsched, "%"),
                            Figure("screen updates per second, gauge rising", rdraws, "1/s"),
                            Figure("screen updates in the window, gauge full", fdraws, "count")]))
                    if 4 in only:
                        groups.append(("4. Key-to-screen latency: XTEST key to changed target display", [
                            Figure("median", lat, "ms", "<= 16.7", 16.7),
                            Figure("95th percentile", lat, "ms", "<= 25", 25.0, value=percentile(lat, 95),
                                   note="; ".join(notes))]))
        if 5 in only:
            log("bench: micro-benchmarks, %d repetitions" % args.micro_repetitions)
            runs = micro_benchmarks(micro, args)
            if fingers.exists():
                runs.update(micro_benchmarks(fingers, args))
            else:
                skipped.append("the finger figures (no bench/bench_fingers)")
            raw["micro_ns"] = runs
            us = lambda name: [v / 1000.0 for v in runs.get(name, [])]
            groups.append(("5. In-process micro-benchmarks (Google Benchmark; min/max over repetitions)", [
                Figure("one key: FormKeyPress + NextChar, home row", runs.get("BM_KeyPress/0", []), "ns",
                       "< 1000", 1000.0),
                Figure("one key: FormKeyPress + NextChar, all rows", runs.get("BM_KeyPress/1", []), "ns",
                       "< 1000", 1000.0),
                Figure("one key in drills of 600 answers, home row", runs.get("BM_KeyPress/2", []), "ns",
                       "< 1000", 1000.0),
                Figure("one key in drills of 600 answers, all rows", runs.get("BM_KeyPress/3", []), "ns",
                       "< 1000", 1000.0),
                Figure("one key through the window's labels, no paint", us("BM_KeyPressWindow"), "us"),
                Figure("one result line painted", us("BM_PaintResultLine"), "us"),
                Figure("full list painted: 94 lines", [v / 1e6 for v in runs.get("BM_PaintFullList", [])],
                       "ms", "< 2", 2.0),
                Figure("full list via the list widget and delegate",
                       [v / 1e6 for v in runs.get("BM_PaintListWidget", [])], "ms"),
                Figure("ShowResults, its file written and read (wall)",
                       us("BM_ShowResults/real_time"), "us"),
                Figure("recording a drill (10,000 stored), tmpfs",
                       runs.get("BM_RecordDrill/0/iterations:200/manual_time:median_ms", []), "ms", "<= 1", 1.0),
                Figure("recording a drill (10,000 stored), disk",
                       runs.get("BM_RecordDrill/1/iterations:200/manual_time:median_ms", []), "ms", "<= 2", 2.0),
                Figure("run's first recording (opens), tmpfs",
                       [v / 1e6 for v in runs.get("BM_RecordFirstDrill/0/iterations:30/real_time", [])], "ms"),
                Figure("run's first recording (opens), disk",
                       [v / 1e6 for v in runs.get("BM_RecordFirstDrill/1/iterations:30/real_time", [])], "ms"),
                Figure("history per drill: all rows, 600 answers kept",
                       runs.get("BM_RecordDrill/0/iterations:200/manual_time:bytes_per_drill", []), "B"),
                Figure("history per drill: home row, 60 answers kept",
                       runs.get("BM_RecordDrill/0/iterations:200/manual_time:bytes_per_home_row_drill", []),
                       "B"),
                Figure("F2 window, 10,000 home-row drills",
                       runs.get("BM_OpenProgress/0/iterations:15/manual_time:median_ms", []), "ms", "< 150", 150.0),
                Figure("F2 window, 10,000 all-row drills",
                       runs.get("BM_OpenProgress/1/iterations:15/manual_time:median_ms", []), "ms", "< 150", 150.0),
                Figure("F2 window, 100,000 all-row drills",
                       runs.get("BM_OpenProgressLargeHistory/iterations:5/manual_time:median_ms", []), "ms",
                       "< 300", 300.0),
                Figure("F2 window, a character chosen, home row",
                       runs.get("BM_ChooseCharacterInProgress/0/iterations:15/manual_time:median_ms", []), "ms"),
                Figure("F2 window, a character chosen, all rows",
                       runs.get("BM_ChooseCharacterInProgress/1/iterations:15/manual_time:median_ms", []), "ms",
                       "< 100", 100.0),
                Figure("drill end, F2 window open, home row",
                       runs.get("BM_DrillEndWithProgressOpen/0/iterations:30/manual_time:median_ms", []), "ms",
                       "< 20", 20.0),
                Figure("drill end, F2 window open, all rows",
                       runs.get("BM_DrillEndWithProgressOpen/1/iterations:30/manual_time:median_ms", []), "ms",
                       "< 20", 20.0),
                Figure("figures of 94 characters, 10,000 all-row drills of 600 answers",
                       [v / 1e6 for v in runs.get("BM_KeyFigures/real_time", [])], "ms", "< 50", 50.0),
                Figure("finger figures, latest 100,000 answers of 10,000 all-row drills",
                       [v / 1e6 for v in runs.get("BM_FingerFigures/10000/1", [])], "ms", "< 50", 50.0),
                Figure("finger view first shown, 10,000 home-row drills",
                       runs.get("BM_ShowFingersInProgress/0/iterations:15/manual_time:median_ms", []), "ms",
                       "< 50", 50.0),
                Figure("finger view first shown, 10,000 all-row drills",
                       runs.get("BM_ShowFingersInProgress/1/iterations:15/manual_time:median_ms", []), "ms",
                       "< 50", 50.0)]))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    print()
    print_table("touchdrill benchmarks, %s\n%s" % (raw["when"], raw["machine"]), groups)
    for s in skipped:
        print("skipped: " + s)
    if args.json:
        Path(args.json).write_text(json.dumps(raw, indent=1))
    failed = [f.label for _, fs in groups for f in fs if f.verdict() == "NOT MET"]
    if failed:
        print("goals not met: %d (see the table)" % len(failed))


if __name__ == "__main__":
    main()

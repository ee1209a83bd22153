#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The portable archive as a user gets it: packed by cpack into a folder of its own (never the
one `make dist` fills), unpacked somewhere else, started from another working folder under a
private Xvfb, closed, and its placement file found beside the executable.

TOUCHDRILL_ARCHIVE=path checks that archive instead of packing one (make dist-check)."""

import configparser
import os
import stat
import subprocess
import sys
import tarfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pkgtest import arguments, check, log, read_desktop_entry, run_cases, split_exec, start, which  # noqa: E402
from xharness import Program, desktop, scratch_folder  # noqa: E402  (on the path through pkgtest)

ARGS = arguments("--cpack", "--version", "--archive-name")
ID = ARGS.app_id
FOLDER = "touchdrill-%s" % ARGS.version
CONTENTS = {"touchdrill", "touchdrill.png", "touchdrill.svg", "install-desktop.sh", "README.txt",
            ID + ".desktop", ID + ".metainfo.xml"}
EXECUTABLES = {"touchdrill", "install-desktop.sh"}


def pack(folder):
    given = os.environ.get("TOUCHDRILL_ARCHIVE")
    if given:
        log("checking", given)
        return given
    proc = subprocess.run([ARGS.cpack, "--config", os.path.join(ARGS.build_dir, "CPackConfig.cmake"), "-B", folder],
                          cwd=folder, capture_output=True, text=True, timeout=120)
    check(proc.returncode == 0, "cpack failed:\n" + proc.stdout + proc.stderr)
    archive = os.path.join(folder, ARGS.archive_name)
    check(os.path.isfile(archive), "cpack made no %s: %s" % (ARGS.archive_name, os.listdir(folder)))
    return archive


def check_members(archive):
    """One folder, touchdrill-<version>/, holding exactly the shipped files."""
    with tarfile.open(archive) as tar:
        members = tar.getmembers()
    names = {m.name.rstrip("/") for m in members}
    outside = sorted(n for n in names if n != FOLDER and not n.startswith(FOLDER + "/"))
    check(not outside, "members outside %s/: %s" % (FOLDER, outside))
    files = {m.name[len(FOLDER) + 1:]: m for m in members if m.isfile()}
    check(set(files) == CONTENTS, "unexpected %s, missing %s"
          % (sorted(set(files) - CONTENTS), sorted(CONTENTS - set(files))))
    for name, member in files.items():
        executable = bool(member.mode & stat.S_IXUSR)
        check(executable == (name in EXECUTABLES), "%s is%s executable" % (name, "" if executable else " not"))
    check(not [m for m in members if m.issym() or m.islnk()], "the archive holds links")


def check_self_contained(exe):
    """The executable finds its libraries on the system, never in a build folder, and carries no
    debugging sections."""
    if not which("readelf"):
        log("readelf not installed: the executable's search paths are not checked")
        return
    dynamic = subprocess.run(["readelf", "-d", exe], capture_output=True, text=True, check=True).stdout
    paths = [line.strip() for line in dynamic.splitlines() if "RPATH" in line or "RUNPATH" in line]
    check(not paths, "the executable has its own library search path: %s" % paths)
    sections = subprocess.run(["readelf", "-S", exe], capture_output=True, text=True, check=True).stdout
    check(".debug_info" not in sections, "the executable in the archive is not stripped")


def test_unpacked_archive_runs_and_keeps_its_files_beside_itself():
    with scratch_folder() as root:
        packing = os.path.join(root, "packing")
        os.makedirs(packing)
        archive = pack(packing)
        check(os.path.basename(archive) == ARGS.archive_name,
              "the archive is %s, expected %s" % (os.path.basename(archive), ARGS.archive_name))
        check_members(archive)

        # Somewhere else entirely, under a name with a blank and Japanese in it.
        target = os.path.join(root, "ユーザー", "my programs")
        os.makedirs(target)
        proc = subprocess.run(["tar", "-xzf", archive, "-C", target], capture_output=True, text=True, timeout=60)
        check(proc.returncode == 0, "tar could not unpack the archive: " + proc.stderr)
        folder = os.path.join(target, FOLDER)
        exe = os.path.join(folder, "touchdrill")
        check_self_contained(exe)
        workdir = os.path.join(root, "working folder")
        os.makedirs(workdir)

        # The program runs where it was unpacked, from another working folder, with a home of its own.
        home = os.path.join(root, "home")
        runtime = os.path.join(home, "runtime")
        os.makedirs(runtime, mode=0o700)
        program = Program(exe, folder, cwd=workdir, output=os.path.join(root, "program-output.txt"))
        program.extra_env = {"HOME": home, "XDG_RUNTIME_DIR": runtime}
        with desktop() as desk:
            try:
                start(program, desk)
                rc = program.close(desk)
                check(rc == 0, "the program exited with %d:\n%s" % (rc, program.read_output()))
            finally:
                program.kill()

        ini = os.path.join(folder, "touchdrill.ini")
        check(os.path.isfile(ini), "no touchdrill.ini beside the executable; the folder holds %s" % os.listdir(folder))
        parser = configparser.ConfigParser()
        parser.optionxform = str
        parser.read(ini, encoding="utf-8")
        check(parser.has_section("Form"), "touchdrill.ini has no [Form] section")
        placement = {key: parser.get("Form", key, fallback=None) for key in ("Top", "Left", "Width", "Height")}
        log("touchdrill.ini [Form]", placement)
        check(all(v is not None and v.lstrip("-").isdigit() for v in placement.values()),
              "touchdrill.ini [Form] does not hold the four integers: %s" % placement)
        check(int(placement["Width"]) > 0 and int(placement["Height"]) > 0, "a window of no size was saved")
        check(os.listdir(workdir) == [], "files written into the working folder: %s" % os.listdir(workdir))

        # The unpacked folder offers the menu entry for itself.
        data_home = os.path.join(root, "data")
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update({"HOME": os.path.join(root, "home"), "XDG_DATA_HOME": data_home})
        proc = subprocess.run([os.path.join(folder, "install-desktop.sh")], env=env, cwd=workdir,
                              capture_output=True, text=True, timeout=30)
        check(proc.returncode == 0, "the unpacked install-desktop.sh failed: " + proc.stderr)
        entry = read_desktop_entry(os.path.join(data_home, "applications", ID + ".desktop"))
        check(split_exec(entry["Exec"]) == [exe], "the menu entry runs %s" % split_exec(entry["Exec"]))


if __name__ == "__main__":
    run_cases([test_unpacked_archive_runs_and_keeps_its_files_beside_itself])

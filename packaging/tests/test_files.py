#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The shipped files themselves: the PNG icon against the window's XPM, the names that tie the
desktop entry, the metainfo and the icons together, and the two install layouts."""

import os
import stat
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pkgtest import (arguments, check, first_difference, log, read_desktop_entry, read_png,  # noqa: E402
                     read_xpm, run_cases, split_exec, unescape_string, which)
from xharness import WINDOW_TITLE, scratch_folder  # noqa: E402  (on the path through pkgtest)

ARGS = arguments("--cmake")
ID = ARGS.app_id
PORTABLE_FILES = {"touchdrill", "touchdrill.png", "touchdrill.svg", "install-desktop.sh", "README.txt",
                  ID + ".desktop", ID + ".metainfo.xml"}


def staged(name):
    return os.path.join(ARGS.staged, name)


def test_png_is_the_window_icon():
    width, height, pixels = read_png(staged("touchdrill.png"))
    check((width, height) == (32, 32), "the PNG icon is %dx%d, the hicolor/32x32 folder needs 32x32" % (width, height))
    xpm_width, xpm_height, xpm_pixels = read_xpm(ARGS.xpm)
    check((xpm_width, xpm_height) == (width, height), "the XPM is %dx%d" % (xpm_width, xpm_height))
    difference = first_difference(pixels, xpm_pixels, width)
    check(difference is None, "the PNG icon differs from the window icon: %s" % difference)


def test_names_agree():
    entry = read_desktop_entry(staged(ID + ".desktop"))
    # A menu finds the icon by the entry's Icon name; a software centre finds the entry by the
    # metainfo's launchable; a dock matches the window to the entry by its WM_CLASS class.
    check(entry.get("Icon") == ID, "Icon=%s, expected the application id %s" % (entry.get("Icon"), ID))
    check(unescape_string(entry.get("Name[ja]", "")) == WINDOW_TITLE, "Name[ja] is not the window caption")
    check(entry.get("StartupWMClass") == "touchdrill",
          "StartupWMClass=%s, but the window of touchdrill has the class touchdrill" % entry.get("StartupWMClass"))
    check(split_exec(entry["Exec"]) == ["touchdrill"] and entry.get("TryExec") == "touchdrill",
          "the shipped entry should run touchdrill through PATH, as the fhs layout installs it")
    check("Education" in entry.get("Categories", "").split(";"), "not in the Education category")

    root = ET.parse(staged(ID + ".metainfo.xml")).getroot()
    check(root.findtext("id") == ID, "metainfo id %r" % root.findtext("id"))
    launchable = root.find("launchable[@type='desktop-id']")
    check(launchable is not None and launchable.text == ID + ".desktop", "metainfo does not launch %s.desktop" % ID)
    check(root.findtext("provides/binary") == "touchdrill", "metainfo does not provide the binary touchdrill")
    names = {n.get("{http://www.w3.org/XML/1998/namespace}lang"): n.text for n in root.findall("name")}
    check(names.get(None) == entry["Name"] and names.get("ja") == WINDOW_TITLE,
          "metainfo names %s differ from the desktop entry's" % names)


def install(prefix, *component):
    proc = subprocess.run([ARGS.cmake, "--install", ARGS.build_dir, "--prefix", prefix, *component],
                          capture_output=True, text=True, timeout=60)
    check(proc.returncode == 0, "cmake --install failed:\n%s%s" % (proc.stdout, proc.stderr))


def files_under(folder):
    return {os.path.relpath(os.path.join(root, f), folder) for root, _, files in os.walk(folder) for f in files}


def test_default_install_is_the_portable_folder():
    with scratch_folder() as folder:
        prefix = os.path.join(folder, "my touchdrill")
        install(prefix)
        found = files_under(prefix)
        check(PORTABLE_FILES <= found, "missing from the portable folder: %s" % sorted(PORTABLE_FILES - found))
        check(not {"bin", "share"} & set(os.listdir(prefix)), "the default install spills into bin/ or share/")
        for name in ("touchdrill", "install-desktop.sh"):
            check(os.stat(os.path.join(prefix, name)).st_mode & stat.S_IXUSR, "%s is not executable" % name)


def test_fhs_install():
    with scratch_folder() as folder:
        prefix = os.path.join(folder, "usr")
        install(prefix, "--component", "fhs")
        expected = {
            "bin/touchdrill",
            "share/applications/%s.desktop" % ID,
            "share/metainfo/%s.metainfo.xml" % ID,
            "share/icons/hicolor/32x32/apps/%s.png" % ID,
            "share/icons/hicolor/scalable/apps/%s.svg" % ID,
            "share/man/man1/touchdrill.1.gz",
            "share/man/ja/man1/touchdrill.1.gz",
            "share/doc/touchdrill/copyright",
            "share/doc/touchdrill/changelog.gz",
            "share/touchdrill/installed-mode",
        }
        found = files_under(prefix)
        check(found == expected, "fhs install: unexpected %s, missing %s"
              % (sorted(found - expected), sorted(expected - found)))
        check(os.stat(os.path.join(prefix, "bin/touchdrill")).st_mode & stat.S_IXUSR, "bin/touchdrill is not executable")
        if which("appstreamcli"):
            # Checks the metainfo in place, and that the desktop entry it launches is installed.
            proc = subprocess.run(["appstreamcli", "validate-tree", "--no-net", "--strict", folder],
                                  capture_output=True, text=True, timeout=60)
            log(proc.stdout.strip())
            check(proc.returncode == 0, "appstreamcli validate-tree failed:\n" + proc.stdout + proc.stderr)
        else:
            log("appstreamcli not installed: the installed tree is not validated")


if __name__ == "__main__":
    run_cases([test_png_is_the_window_icon, test_names_agree, test_default_install_is_the_portable_folder,
               test_fhs_install])

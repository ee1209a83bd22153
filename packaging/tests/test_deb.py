#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Debian package as a user gets it: packed by cpack into a folder of its own (never the build
folder that `make deb` fills), its control fields, its files, what lintian says of it, and the
unpacked /usr/bin/touchdrill run by an ordinary user, whose files must land in their own XDG
folders. The package is unpacked with dpkg-deb -x into a scratch folder, never installed.

TOUCHDRILL_DEB=path checks that package instead of packing one (make deb-check)."""

import csv
import gzip
import io
import os
import re
import stat
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pkgtest import Skip, arguments, check, log, run_cases, which  # noqa: E402
import xharness as xh  # noqa: E402  (on the path through pkgtest)
from touchdrill_ui import (ERROR_BOX_STYLE, ERROR_BOX_STYLE_FILE, drill_keys, expect_error_box, parse_ini,  # noqa: E402
                           run_drill, tick_home_row, wait_for_file_change)

ARGS = arguments("--cpack", "--version")
ID = ARGS.app_id

# Every file of the package, with its mode. Folders are all 0755 and everything belongs to root.
FILES = {
    "usr/bin/touchdrill": 0o755,
    "usr/share/applications/%s.desktop" % ID: 0o644,
    "usr/share/metainfo/%s.metainfo.xml" % ID: 0o644,
    "usr/share/icons/hicolor/32x32/apps/%s.png" % ID: 0o644,
    "usr/share/icons/hicolor/scalable/apps/%s.svg" % ID: 0o644,
    "usr/share/man/man1/touchdrill.1.gz": 0o644,
    "usr/share/man/ja/man1/touchdrill.1.gz": 0o644,
    "usr/share/doc/touchdrill/copyright": 0o644,
    "usr/share/doc/touchdrill/changelog.gz": 0o644,
    "usr/share/touchdrill/installed-mode": 0o644,
}

# Warnings lintian may still give, each with the reason it stays. Any other warning, and any
# error, fails the test.
ACCEPTED_WARNINGS = {
}

# What both manual pages must explain, besides the language of their prose.
MAN_TERMS = ("--export-history", "--export-answers", "--import-history", "--help", "--version", "touchdrill.bst", "touchdrill.ini",
             "touchdrill.sqlite", "XDG_DATA_HOME", "XDG_CONFIG_HOME", ".local/share", ".config", "0700")


def tool(name):
    if not which(name):
        raise Skip("%s is not installed" % name)
    return name


def run(*args, **kwargs):
    proc = subprocess.run(list(args), capture_output=True, text=True, timeout=kwargs.pop("timeout", 120), **kwargs)
    check(proc.returncode == 0, "%s failed (%d):\n%s%s" % (" ".join(args), proc.returncode, proc.stdout, proc.stderr))
    return proc.stdout


STATE = {}


def package():
    """The package's path: the one named by TOUCHDRILL_DEB, else one packed for this run."""
    if "deb" not in STATE:
        tool("dpkg-deb")
        given = os.environ.get("TOUCHDRILL_DEB")
        if given:
            log("checking", given)
            STATE["deb"] = given
        else:
            tool("dpkg-shlibdeps")
            folder = os.path.join(STATE["scratch"], "packing")
            os.makedirs(folder)
            run(ARGS.cpack, "--config", os.path.join(ARGS.build_dir, "CPackConfig.cmake"), "-G", "DEB",
                "-B", folder, cwd=folder, timeout=300)
            debs = [n for n in os.listdir(folder) if n.endswith(".deb")]
            check(len(debs) == 1, "cpack made %s" % debs)
            STATE["deb"] = os.path.join(folder, debs[0])
    return STATE["deb"]


def field(name):
    return run("dpkg-deb", "--field", package(), name).strip()


def unpacked():
    """The package's files unpacked under a root that an ordinary user can reach."""
    if "root" not in STATE:
        root = os.path.join(STATE["scratch"], "root")
        os.makedirs(root)
        run("dpkg-deb", "-x", package(), root)
        STATE["root"] = root
    return STATE["root"]


def test_name_and_control_fields():
    architecture = run(tool("dpkg"), "--print-architecture").strip()
    expected = "touchdrill_%s_%s.deb" % (ARGS.version, architecture)
    check(os.path.basename(package()) == expected, "the package is %s, expected %s" % (os.path.basename(package()), expected))
    for name, value in (("Package", "touchdrill"), ("Version", ARGS.version), ("Architecture", architecture),
                        ("Section", "education"), ("Priority", "optional")):
        check(field(name) == value, "%s: %r, expected %r" % (name, field(name), value))
    description = field("Description").split("\n")
    check(len(description) > 2 and description[0].startswith("touch typing trainer"),
          "the description is %r" % description)


def depends():
    """{package name} of the Depends field, alternatives and versions dropped."""
    names = set()
    for relation in field("Depends").split(","):
        for alternative in relation.split("|"):
            names.add(re.split(r"[\s(:]", alternative.strip(), maxsplit=1)[0])
    return names


def test_depends_cover_every_linked_library_and_the_font():
    exe = os.path.join(unpacked(), "usr/bin/touchdrill")
    dynamic = run(tool("readelf"), "-d", exe)
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
    check("libQt6Widgets.so.6" in needed, "the executable does not link Qt Widgets: %s" % needed)
    wanted = depends()
    log("Depends:", field("Depends"))
    check("fonts-ipafont-gothic" in wanted, "the Japanese font is not a dependency")
    # Each linked library's package, as dpkg knows it on this machine, must be depended on.
    ldd = run(tool("ldd"), exe)
    for soname in needed:
        found = re.search(r"^\s*%s => (\S+)" % re.escape(soname), ldd, re.M)
        check(found, "ldd does not resolve %s" % soname)
        path = os.path.realpath(found.group(1))
        owners = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
        if owners.returncode != 0:  # usr-merge: dpkg may know the file under /lib
            owners = subprocess.run(["dpkg", "-S", re.sub(r"^/usr/lib/", "/lib/", path)],
                                    capture_output=True, text=True)
        check(owners.returncode == 0, "no package owns %s" % path)
        owner = owners.stdout.split(":")[0]
        check(owner in wanted, "%s comes from %s, which is not in Depends" % (soname, owner))


def test_contents():
    listing = run("dpkg-deb", "--contents", package())
    files, folders = {}, set()
    for line in listing.splitlines():
        parts = line.split(None, 5)
        mode, owner, name = parts[0], parts[1], parts[5]
        check(owner == "root/root", "%s belongs to %s" % (name, owner))
        name = name[2:] if name.startswith("./") else name
        check(mode[0] in "d-", "%s is not a plain file or folder: %s" % (name, mode))
        bits = sum(1 << (8 - i) for i, c in enumerate(mode[1:10]) if c != "-")
        if mode[0] == "d":
            folders.add(name.rstrip("/"))
            check(bits == 0o755, "folder %s has mode %o" % (name, bits))
        else:
            files[name] = bits
    check(set(files) == set(FILES), "unexpected %s, missing %s"
          % (sorted(set(files) - set(FILES)), sorted(set(FILES) - set(files))))
    for name, bits in files.items():
        check(bits == FILES[name], "%s has mode %o, expected %o" % (name, bits, FILES[name]))
    root = unpacked()
    sections = run("readelf", "-S", os.path.join(root, "usr/bin/touchdrill"))
    check(".debug_info" not in sections, "the packaged executable is not stripped")
    check(not [f for f in os.listdir(os.path.join(root, "usr/bin")) if f != "touchdrill"],
          "files beside the packaged executable")


def read_gz(path):
    with open(path, "rb") as f:
        data = f.read()
    # gzip -n: no name and no time stamp, so the same page gives the same bytes.
    check(data[3] & 0x08 == 0 and data[4:8] == b"\0\0\0\0", "%s carries a name or a time" % path)
    return gzip.decompress(data).decode("utf-8")


def test_manual_pages_copyright_and_changelog():
    root = unpacked()
    pages = {"en": read_gz(os.path.join(root, "usr/share/man/man1/touchdrill.1.gz")),
             "ja": read_gz(os.path.join(root, "usr/share/man/ja/man1/touchdrill.1.gz"))}
    for language, text in pages.items():
        check(re.search(r'^\.TH TOUCHDRILL 1 "\d{4}-\d\d-\d\d" "touchdrill %s"' % re.escape(ARGS.version), text, re.M),
              "%s page: no .TH line for version %s" % (language, ARGS.version))
        missing = [t for t in MAN_TERMS if t not in text.replace("\\-", "-")]
        check(not missing, "%s page does not mention %s" % (language, missing))
    check(re.search(r"[\u3040-\u30ff]", pages["ja"]), "the Japanese page has no Japanese in it")
    # Rendered on one very wide line per paragraph, so that every place where the source breaks a line
    # shows: Japanese puts no space between two of its characters.
    rendered = run(tool("groff"), "-k", "-Tutf8", "-mandoc", "-rLL=1000n", "-P-cbou",
                   input=pages["ja"])
    spaced = re.findall(r"\S{0,6}[^\x00-\x7f] +[^\x00-\x7f]\S{0,6}", rendered)
    check(not spaced, "the Japanese page has spaces between Japanese characters: %s" % spaced)
    check(not re.search(r"[\u3040-\u30ff]", pages["en"]), "the English page has Japanese in it")

    with open(os.path.join(root, "usr/share/doc/touchdrill/copyright"), encoding="utf-8") as f:
        copyright_text = f.read()
    check(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"),
          "the copyright file is not in the machine-readable format")
    paragraphs = [p for p in copyright_text.split("\n\n") if p.strip()]
    files_paragraphs = [p for p in paragraphs if p.startswith("Files:")]
    check(files_paragraphs and all(re.search(r"^License: GPL-3.0-or-later$", p, re.M) for p in files_paragraphs),
          "a Files paragraph is not under GPL-3.0-or-later")
    check(any(p.startswith("License: GPL-3.0-or-later\n") and "/usr/share/common-licenses/GPL-3" in p
              for p in paragraphs), "no stand-alone GPL-3.0-or-later paragraph pointing at common-licenses")

    changelog = read_gz(os.path.join(root, "usr/share/doc/touchdrill/changelog.gz"))
    top = re.match(r"touchdrill \(([^)]+)\) \S+; urgency=\w+\n", changelog)
    check(top and top.group(1) == field("Version"),
          "the changelog's newest entry is %r, the package is %s" % (top and top.group(1), field("Version")))
    trailer = re.search(r"^ -- (.+>)  ", changelog, re.M)
    check(trailer and trailer.group(1) == field("Maintainer"), "the changelog's maintainer is not the package's")


def test_lintian():
    proc = subprocess.run([tool("lintian"), "--tag-display-limit", "0", "--display-level", ">=info",
                           package()], capture_output=True, text=True, timeout=600)
    out = proc.stdout + proc.stderr
    log(out.strip() or "lintian: nothing to say")
    # Shown as information only, but the program is built with Debian's hardening flags.
    unhardened = sorted(set(re.findall(r"^\w: touchdrill(?: \w+)?: (hardening-no-\S+)", out, re.M)))
    check(not unhardened, "the executable lacks hardening: %s" % unhardened)
    tags = re.findall(r"^([EW]): touchdrill(?: \w+)?: (\S+)", out, re.M)
    errors = sorted({tag for level, tag in tags if level == "E"})
    warnings = sorted({tag for level, tag in tags if level == "W"})
    check(not errors, "lintian errors: %s" % errors)
    unexpected = [tag for tag in warnings if tag not in ACCEPTED_WARNINGS]
    check(not unexpected, "lintian warnings without a reason to stay: %s" % unexpected)
    check(proc.returncode == 0 or tags, "lintian failed without a tag:\n" + out)


def test_installed_copy_keeps_files_per_user():
    """/usr/bin/touchdrill from the package, run by an ordinary user from a folder they cannot
    write: the drill's best times and the window's placement go to that user's XDG folders, made
    private, and nothing is written beside the executable or in the working folder. A placement
    file beside the executable that the user may not write (left there by root) changes nothing."""
    root = unpacked()
    bin_folder = os.path.join(root, "usr", "bin")
    exe = os.path.join(bin_folder, "touchdrill")
    scratch = STATE["scratch"]
    left_by_root = os.path.join(bin_folder, "touchdrill.ini")
    left_text = "[Form]\nTop=5000\nLeft=5000\n"
    with open(left_by_root, "w", encoding="ascii") as f:
        f.write(left_text)
    os.chmod(left_by_root, 0o444)
    if os.geteuid() == 0:
        # Permission bits do not bind root: the program runs as an ordinary user, to whom the
        # unpacked tree, root's own, is read-only as it would be in /usr.
        tool("setpriv")
        user = xh.unprivileged_ids()
        for folder in (scratch, os.path.dirname(scratch)):
            if stat.S_IMODE(os.stat(folder).st_mode) & 0o005 != 0o005:
                os.chmod(folder, 0o755)
    else:
        # The unpacked tree is this user's own: take away the right to write into it.
        user = None
        for path, dirs, _ in os.walk(root):
            os.chmod(path, 0o555)
    check(not os.access(bin_folder, os.W_OK) or user is not None, "the unpacked bin folder is writable")

    work = os.path.join(scratch, "working folder")
    os.makedirs(work)
    os.chmod(work, 0o555)
    home = os.path.join(scratch, "home")
    os.makedirs(home)
    output = os.path.join(home, "program-output.txt")
    if user is not None:
        os.chown(home, *user)
    data_home = os.path.join(home, "data", "nested")
    config_home = os.path.join(home, "config")

    def program(extra_env):
        p = xh.Program(exe, bin_folder, cwd=work, output=output)
        p.run_as = user
        p.extra_env = dict(extra_env, HOME=home, XDG_RUNTIME_DIR=home)
        return p

    def owned_private(folder):
        st = os.stat(folder)
        check(stat.S_IMODE(st.st_mode) == 0o700, "%s has mode %o, expected 0700" % (folder, stat.S_IMODE(st.st_mode)))
        check(user is None or (st.st_uid, st.st_gid) == user, "%s does not belong to the user" % folder)

    with xh.desktop() as desk:
        # Given XDG folders, not there yet.
        first = program({"XDG_DATA_HOME": data_home, "XDG_CONFIG_HOME": config_home})
        bst = os.path.join(data_home, "touchdrill", "touchdrill.bst")
        ini = os.path.join(config_home, "touchdrill", "touchdrill.ini")
        try:
            window = first.start(desk)
            desk.focus(window)
            tick_home_row(desk)
            run_drill(desk, drill_keys(6), delay=30)
            wait_for_file_change(first, bst, None)
            check(os.path.getsize(bst) == 376, "the best-times file holds %d bytes" % os.path.getsize(bst))
            best = xh.decode_best_times(open(bst, "rb").read())
            check(best and set(best) <= set("asdfghjkl"), "the best times are %s" % best)
            log("best times in", bst, best)
            check(not os.path.exists(ini), "the placement file was written before the close")
            check(first.close(desk) == 0, "the program did not exit cleanly:\n" + first.read_output())
        finally:
            first.kill()
        check(os.path.isfile(ini), "no %s after the close" % ini)
        with open(ini, encoding="utf-8") as f:
            form = parse_ini(f.read()).get("Form", {})
        check(all(form.get(k, "").lstrip("-").isdigit() for k in ("Top", "Left", "Width", "Height")),
              "the placement file's [Form] is %s" % form)
        for folder in (os.path.dirname(bst), os.path.dirname(ini), os.path.join(home, "data"), data_home):
            owned_private(folder)
        # The practice history, when the program records one, lies beside the best times.
        data_files = set(os.listdir(os.path.dirname(bst)))
        history = {"touchdrill.sqlite", "touchdrill.sqlite-wal", "touchdrill.sqlite-shm", "touchdrill.sqlite-journal"}
        check(data_files - history == {"touchdrill.bst"}, "the data folder holds %s" % sorted(data_files))
        check(os.listdir(os.path.dirname(ini)) == ["touchdrill.ini"],
              "the config folder holds %s" % os.listdir(os.path.dirname(ini)))
        log("data folder:", sorted(data_files))

        # The history export of the installed copy reads the same data folder: its rows give the
        # drill's averages, which on a first drill are the bests just stored.
        command = [exe, "--export-history", "-"]
        if user is not None:
            command = ["setpriv", "--reuid=%d" % user[0], "--regid=%d" % user[1], "--clear-groups", "--"] + command
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LC_ALL": "C.UTF-8",
               "XDG_DATA_HOME": data_home, "XDG_CONFIG_HOME": config_home}
        exported = subprocess.run(command, cwd=work, env=env, capture_output=True, timeout=30)
        check(exported.returncode == 0, "--export-history exited with %d: %s"
              % (exported.returncode, exported.stderr.decode(errors="replace")))
        rows = list(csv.reader(io.StringIO(exported.stdout.decode("utf-8"), newline="")))
        check(rows and rows[0][:5] == ["started_utc", "character", "hits", "total_ms", "average_ms"],
              "the export's header is %s" % (rows[:1],))
        averages = {row[1]: int(row[4]) for row in rows[1:] if row[4]}
        check(averages == best, "the export gives averages %s, the best-times file %s" % (averages, best))

        # No XDG variables: the defaults under HOME.
        second = program({})
        try:
            second.start(desk)
            check(second.close(desk) == 0, "the program did not exit cleanly:\n" + second.read_output())
        finally:
            second.kill()
        default_ini = os.path.join(home, ".config", "touchdrill", "touchdrill.ini")
        check(os.path.isfile(default_ini), "no %s after the close" % default_ini)
        owned_private(os.path.join(home, ".local", "share", "touchdrill"))

        # A data folder that cannot be made (a file stands in the way): the drill's end shows the
        # usual error box, and the program goes on. The practice history, which would report the
        # same folder in a box of its own, is turned off for this run.
        with open(default_ini, "a", encoding="utf-8") as f:
            f.write("[History]\nRecord=0\n")
        blocked = os.path.join(home, "blocked")
        with open(blocked, "w") as f:
            f.write("not a folder")
        third = program({"XDG_DATA_HOME": blocked})
        third.args = ["-stylesheet", os.path.join(home, ERROR_BOX_STYLE_FILE)]
        with open(third.args[1], "w", encoding="ascii") as f:
            f.write(ERROR_BOX_STYLE)
        try:
            window = third.start(desk)
            desk.focus(window)
            tick_home_row(desk)
            run_drill(desk, drill_keys(4), delay=30)
            expect_error_box(desk, third, "不正なファイル名です.", "a data folder under a file")
            check(third.close(desk) == 0, "the program did not exit cleanly:\n" + third.read_output())
        finally:
            third.kill()
        with open(blocked) as f:
            check(f.read() == "not a folder", "the file in the data folder's way was changed")

    check(sorted(os.listdir(bin_folder)) == ["touchdrill", "touchdrill.ini"],
          "written beside the executable: %s" % os.listdir(bin_folder))
    with open(left_by_root, encoding="ascii") as f:
        check(f.read() == left_text, "the placement file left beside the executable was changed")
    check(os.listdir(work) == [], "written into the working folder: %s" % os.listdir(work))


def test_installed_copy_stays_installed_in_a_writable_folder():
    """Root can write /usr/bin: the packaged program, run by root (or by the owner of a writable
    unpacked tree), still keeps its files in that user's XDG folders and none beside itself, so
    that removing the package leaves no user data in a package manager's folder."""
    root = os.path.join(STATE["scratch"], "writable-root")
    os.makedirs(root)
    run("dpkg-deb", "-x", package(), root)
    bin_folder = os.path.join(root, "usr", "bin")
    check(os.access(bin_folder, os.W_OK), "the unpacked bin folder is not writable")
    home = os.path.join(STATE["scratch"], "writer-home")
    os.makedirs(home)
    p = xh.Program(os.path.join(bin_folder, "touchdrill"), bin_folder, cwd=home,
                   output=os.path.join(STATE["scratch"], "writer-output.txt"))
    p.extra_env = {"HOME": home, "XDG_RUNTIME_DIR": home}
    with xh.desktop() as desk:
        try:
            p.start(desk)
            check(p.close(desk) == 0, "the program did not exit cleanly:\n" + p.read_output())
        finally:
            p.kill()
    check(os.path.isfile(os.path.join(home, ".config", "touchdrill", "touchdrill.ini")),
          "no placement file in the user's config folder")
    check(os.path.isdir(os.path.join(home, ".local", "share", "touchdrill")), "no data folder made")
    check(os.listdir(bin_folder) == ["touchdrill"], "written beside the executable: %s" % os.listdir(bin_folder))


if __name__ == "__main__":
    with xh.scratch_folder() as scratch:
        STATE["scratch"] = scratch
        run_cases([test_name_and_control_fields, test_contents, test_depends_cover_every_linked_library_and_the_font,
                   test_manual_pages_copyright_and_changelog, test_installed_copy_keeps_files_per_user, test_installed_copy_stays_installed_in_a_writable_folder,
                   test_lintian])

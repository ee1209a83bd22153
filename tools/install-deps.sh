#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and testing touchdrill need,
# skipping those already there. Uses sudo only when not run as root.
set -eu

# What building and running the program needs (make run).
program_packages="
build-essential
cmake
pkg-config
qt6-base-dev
libgl-dev
libsqlite3-dev
fonts-ipafont-gothic
"
# What the tests need besides (make test).
test_packages="
libgtest-dev
libgmock-dev
xvfb
xdotool
x11-utils
xclip
openbox
icewm
tigervnc-standalone-server
x11-xkb-utils
desktop-file-utils
appstream
libglib2.0-bin
imagemagick
dpkg-dev
lintian
python3
clang
libclang-rt-14-dev
"
# What cross-building, packaging and testing the Windows program needs (make windows,
# make windows-dist, make windows-test): the MinGW-w64 compilers, Wine to run the tests, NSIS for
# the installer, the icon's tools, zip; and Debian's source packages of Qt and SQLite are built
# with the host's Qt tools and tclsh.
windows_packages="
g++-mingw-w64-x86-64-posix
gcc-mingw-w64-x86-64-posix
binutils-mingw-w64-x86-64
wine
wine64
nsis
zip
librsvg2-bin
imagemagick
xz-utils
dpkg-dev
tcl
qt6-base-dev-tools
ninja-build
xvfb
xdotool
x11-utils
python3
fonts-ipafont-gothic
"
packages="$program_packages $test_packages"
if [ "${1:-}" = "--run" ]; then
    packages="$program_packages"
fi
if [ "${1:-}" = "--windows" ]; then
    packages="cmake $windows_packages"
fi
if [ "${1:-}" = "--bench" ]; then
    packages="$packages libbenchmark-dev libx11-dev libxtst-dev libxdamage-dev tipp10"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "Installing Debian packages:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
else
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing

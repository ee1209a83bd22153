#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for 64-bit Windows (qtbase: Core, Gui, Widgets, Test; the windows, offscreen and
# minimal platform plugins), static and with the MinGW runtime linked in, from Debian's own source
# package qt6-base with Debian's patches applied, cross-compiled with the MinGW-w64 compilers and
# the host's Qt tools. Installs into PREFIX (default ~/.cache/touchdrill/qt6-win). It is made once
# and kept: 984 build steps, about 22 minutes on two idle cores.
#
#   tools/build-qt-windows.sh [PREFIX]
#   TOUCHDRILL_WINDOWS_WORK   where the source and the build go (default ~/.cache/touchdrill/src)
#   JOBS                      parallel build jobs (default: the number of cores)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/windows/debian-source.sh"

prefix=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/touchdrill/qt6-win}
work=${TOUCHDRILL_WINDOWS_WORK:-${XDG_CACHE_HOME:-$HOME/.cache}/touchdrill/src}
jobs=${JOBS:-$(nproc)}
step() { echo "build-qt-windows: $(date +%H:%M:%S) $*"; }

"$root/tools/install-deps.sh" --windows

step "1/4 Debian's source of qt6-base, with Debian's patches (apt-get source)"
rm -rf "$work/qt6-base"
debian_source qt6-base "$work/qt6-base"
src=$(find "$work/qt6-base" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[ -n "$src" ] || { echo "build-qt-windows: no source folder in $work/qt6-base" >&2; exit 1; }
# apt-get source has applied every patch of debian/patches/series, the security fixes among them.
step "patches applied: $(grep -cv '^#' "$src/debian/patches/series" 2>/dev/null || echo 0)"

step "2/4 configure for win32-g++ (static, static runtime)"
build="$work/qt6-base/build"
rm -rf "$build"
mkdir -p "$build"
# Debian's tarball has no src/3rdparty/wintab: no tablet events. Without Direct2D, Qt 6.4.2 leaves
# out the DirectWrite font database that its Windows plugin still calls, so DirectWrite 3 goes
# too. The offscreen plugin (window tests) needs the bundled freetype.
(cd "$build" && "$src/configure" -prefix "$prefix" -xplatform win32-g++ -qt-host-path /usr \
    -release -static -static-runtime -nomake tests -nomake examples \
    -no-opengl -no-dbus -qt-freetype -no-fontconfig -no-icu \
    -qt-zlib -qt-libpng -no-libjpeg -qt-pcre -qt-harfbuzz -qt-doubleconversion \
    -no-feature-sql -no-feature-network -no-feature-xml -no-feature-concurrent \
    -no-feature-printsupport -no-feature-vulkan -no-feature-tabletevent \
    -no-feature-direct2d -no-feature-directwrite3 \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/windows/mingw-w64-x86_64.cmake" \
       -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >"$build/configure.log" 2>&1 \
    || { tail -n 40 "$build/configure.log" >&2; exit 1; }

step "3/4 build ($jobs jobs; Ninja prints each step)"
cmake --build "$build" --parallel "$jobs"

step "4/4 install into $prefix"
cmake --install "$build" >/dev/null
# What a release that links this Qt must ship: the licences of Qt and of the code it bundles.
mkdir -p "$prefix/licenses"
cp "$src/debian/copyright" "$prefix/licenses/qt6-base.copyright"
for f in "$src"/LICENSES/*; do [ -f "$f" ] && cp "$f" "$prefix/licenses/"; done
step "done: $prefix"

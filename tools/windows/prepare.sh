#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Finds (or makes) what the Windows build links: Qt for Windows and SQLite for Windows, and prints
# the CMAKE_PREFIX_PATH that names both. Qt is looked for, in this order:
#   1. the folder in TOUCHDRILL_QT_WINDOWS;
#   2. the cache folder, ${XDG_CACHE_HOME:-~/.cache}/touchdrill/qt6-win;
#   3. a prebuilt copy at ../shared/windows/ (beside the checkout), unpacked into the cache;
#   4. else it is built once into the cache from Debian's sources (tools/build-qt-windows.sh,
#      35 to 60 minutes on two cores).
# SQLite is built into the cache from Debian's sources when it is not there (about a minute).
#
#   prepare.sh          as above; progress on standard error, the prefix path on standard output
#   prepare.sh --check  prints the Qt folder and exits 0 when one is at hand (1, printing nothing,
#                       otherwise); makes nothing, only unpacks a prebuilt copy
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/touchdrill
shared=${TOUCHDRILL_WINDOWS_SHARED:-$root/../shared/windows}

is_qt() {
    [ -f "$1/lib/cmake/Qt6/Qt6Config.cmake" ] && [ -f "$1/lib/libQt6Widgets.a" ]
}

find_qt() {
    if [ -n "${TOUCHDRILL_QT_WINDOWS:-}" ]; then
        is_qt "$TOUCHDRILL_QT_WINDOWS" && { echo "$TOUCHDRILL_QT_WINDOWS"; return 0; }
        echo "TOUCHDRILL_QT_WINDOWS=$TOUCHDRILL_QT_WINDOWS holds no static Qt 6 for Windows" >&2
        return 1
    fi
    is_qt "$cache/qt6-win" && { echo "$cache/qt6-win"; return 0; }
    tarball=$(ls "$shared"/qt-*-x86_64-w64-mingw32-static.tar.xz 2>/dev/null | head -n 1 || true)
    if [ -n "$tarball" ]; then
        echo "Qt for Windows: unpacking $tarball into $cache" >&2
        if [ -f "$tarball.sha256" ]; then
            (cd "$(dirname "$tarball")" && sha256sum --quiet -c "$(basename "$tarball").sha256") >&2
        fi
        mkdir -p "$cache"
        rm -rf "$cache/qt6-win.unpacking"
        mkdir "$cache/qt6-win.unpacking"
        tar -xJf "$tarball" -C "$cache/qt6-win.unpacking"
        rm -rf "$cache/qt6-win"
        mv "$cache/qt6-win.unpacking/qt6-win" "$cache/qt6-win"
        rm -rf "$cache/qt6-win.unpacking"
        is_qt "$cache/qt6-win" && { echo "$cache/qt6-win"; return 0; }
    fi
    return 1
}

if [ "${1:-}" = "--check" ]; then
    find_qt 2>/dev/null || exit 1
    exit 0
fi

if ! qt=$(find_qt); then
    [ -z "${TOUCHDRILL_QT_WINDOWS:-}" ] || exit 1
    echo "Qt for Windows: none at hand; building it once from Debian's sources into $cache/qt6-win" >&2
    "$root/tools/build-qt-windows.sh" "$cache/qt6-win" >&2
    qt="$cache/qt6-win"
fi
"$root/tools/build-sqlite-windows.sh" "$cache/sqlite3-win" >&2
echo "$qt;$cache/sqlite3-win"

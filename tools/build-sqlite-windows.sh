#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds SQLite for 64-bit Windows (a static libsqlite3.a and its header) from Debian's sources,
# with the MinGW-w64 cross compiler, into PREFIX (default ~/.cache/touchdrill/sqlite3-win). The
# amalgamation is made on the host (tclsh), then compiled once for Windows. About a minute.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/windows/debian-source.sh"

prefix=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/touchdrill/sqlite3-win}
work=${TOUCHDRILL_WINDOWS_WORK:-${XDG_CACHE_HOME:-$HOME/.cache}/touchdrill/src}
cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar

if [ -f "$prefix/lib/libsqlite3.a" ] && [ -f "$prefix/include/sqlite3.h" ]; then
    echo "SQLite for Windows: $prefix (already built)"
    exit 0
fi
echo "SQLite for Windows: fetching Debian's source of sqlite3"
rm -rf "$work/sqlite3"
debian_source sqlite3 "$work/sqlite3"
src=$(find "$work/sqlite3" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
[ -n "$src" ] || { echo "build-sqlite-windows: no source folder in $work/sqlite3" >&2; exit 1; }

echo "SQLite for Windows: making the amalgamation (host tools)"
mkdir -p "$work/sqlite3/host"
(cd "$work/sqlite3/host" && "$src/configure" --disable-tcl >configure.log 2>&1 && make -s sqlite3.c sqlite3.h >make.log 2>&1) \
    || { tail -n 30 "$work/sqlite3/host/"*.log >&2; exit 1; }

echo "SQLite for Windows: compiling with $cc"
mkdir -p "$prefix/lib" "$prefix/include"
# Thread-safe as Debian's library is; nothing that loads code at run time.
$cc -O2 -c "$work/sqlite3/host/sqlite3.c" -o "$work/sqlite3/sqlite3.o" \
    -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_MAX_SCHEMA_RETRY=25
rm -f "$prefix/lib/libsqlite3.a"
$ar rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3/sqlite3.o"
cp "$work/sqlite3/host/sqlite3.h" "$work/sqlite3/host/sqlite3ext.h" "$prefix/include/"
cp "$src/debian/copyright" "$prefix/copyright" 2>/dev/null || true
echo "SQLite for Windows: $prefix"

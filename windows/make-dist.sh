#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# make-dist.sh EXE README SOURCE OUT NAME INSTALLER VERSION: the zip OUT/NAME.zip (one folder NAME/),
# its .sha256, and the installer OUT/INSTALLER with its .sha256.
set -eu
exe=$1 readme=$2 source=$3 out=$4 name=$5 installer=$6 version=$7
stage="$out/dist-windows"
rm -rf "$stage"
mkdir -p "$stage/$name/licenses"
cp "$exe" "$stage/$name/touchdrill.exe"
cp "$readme" "$stage/$name/README.txt"
lic="$stage/$name/licenses"
cp "$source/LICENSE" "$lic/touchdrill-GPL-3.0.txt"
cp /usr/share/common-licenses/LGPL-3 "$lic/Qt-LGPL-3.0.txt"
cp /usr/share/common-licenses/GPL-3 "$lic/Qt-GPL-3.0.txt"
cp /usr/share/doc/libqt6core6/copyright "$lic/Qt-qtbase-and-bundled-code.txt"
cp /usr/share/doc/libsqlite3-0/copyright "$lic/SQLite.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$lic/MinGW-w64-GCC-runtime.txt" 2>/dev/null || true
cp /usr/share/doc/mingw-w64-common/copyright "$lic/MinGW-w64-runtime.txt" 2>/dev/null || true

# The same bytes for the same inputs: fixed times and order in the archive.
find "$stage/$name" -exec touch -h -d "@${SOURCE_DATE_EPOCH:-0}" {} +
rm -f "$out/$name.zip"
(cd "$stage" && find "$name" -print | LC_ALL=C sort | zip -q -X -9 -@ "$out/$name.zip")
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")

rm -f "$out/$installer"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage/$name" -DOUTFILE="$out/$installer" \
    "$source/windows/installer.nsi"
(cd "$out" && sha256sum "$installer" >"$installer.sha256")
echo "make windows-dist: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
echo "make windows-dist: $out/$installer ($(stat -c %s "$out/$installer") bytes)"

#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# make-icon.sh ICON.svg ICON.ico: the program's icon for Windows, drawn from its SVG at each size
# Windows asks for (rsvg-convert), gathered into one .ico (ImageMagick).
set -eu
svg=$1
ico=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pngs=""
for size in 256 64 48 32 24 16; do
    rsvg-convert -w "$size" -h "$size" "$svg" -o "$work/$size.png"
    pngs="$pngs $work/$size.png"
done
# shellcheck disable=SC2086
convert $pngs "$ico"

#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that build touchdrill's Windows dependencies from Debian's own sources.
# debian_source PACKAGE FOLDER: unpacks Debian's source package into FOLDER (apt-get source, which
# applies Debian's patches), adding a deb-src line for the suites the machine already uses when
# there is none. Needs root or sudo only for that line.

debian_source() {
    package=$1
    into=$2
    if ! apt-get source --print-uris "$package" >/dev/null 2>&1; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        list=/etc/apt/sources.list.d/touchdrill-deb-src.sources
        echo "Adding the deb-src line $list"
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$list" >/dev/null
        else
            grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
                | $sudo tee /etc/apt/sources.list.d/touchdrill-deb-src.list >/dev/null
        fi
        $sudo apt-get update -qq
    fi
    mkdir -p "$into"
    (cd "$into" && apt-get source -qq "$package")
}

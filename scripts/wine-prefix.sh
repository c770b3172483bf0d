#!/usr/bin/env bash
# Makes a new, safe Wine prefix for tests and samples: scripts/wine-prefix.sh DIR
# Drive Z: (the machine's root) is unmapped, and the user's shell folders are
# plain folders inside the prefix, not links into this machine's home.
set -euo pipefail
prefix=$1
case "$prefix" in /*) ;; *) prefix=$PWD/$prefix ;; esac
if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
fi
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i >/dev/null 2>&1
# Stop the first start's server (its services stay up otherwise); that also
# writes the new registry to disk.
wineserver -k 2>/dev/null || true
rm -f "$prefix/dosdevices/z:"
# Wine links Desktop, Documents and the like to the Unix home; cut those links.
find "$prefix/drive_c/users" -mindepth 2 -maxdepth 2 -type l | while read -r link; do
    rm -f "$link"
    mkdir -p "$link"
done
touch "$prefix/.uninstall-test-prefix"

#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick: resources/make-pictures.sh
# MainIcon.ico: a box with an arrow leaving it, 16 and 32 pixels.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 32; do
    s=$((size - 1))
    convert -size ${size}x${size} xc:none \
        -fill '#2f6fb0' -stroke '#1d4a78' -draw "roundrectangle 1,$((size / 3)) $((s - 1)),$((s - 1)) 2,2" \
        -fill white -stroke none \
        -draw "polygon $((size / 2)),1 $((size / 4)),$((size * 2 / 5)) $((size * 3 / 4)),$((size * 2 / 5))" \
        -draw "rectangle $((size * 2 / 5)),$((size * 2 / 5)) $((size * 3 / 5)),$((size * 2 / 3))" \
        "$tmp/icon$size.png"
done
convert "$tmp/icon16.png" "$tmp/icon32.png" MainIcon.ico

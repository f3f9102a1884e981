#!/usr/bin/env bash
# Draws the program icon (a blue shield with a white tick) at the sizes
# Windows asks for and writes RuntimeCheck.ico beside this script.
set -euo pipefail
cd "$(dirname "$0")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
for s in 16 32 48; do
    convert -size 256x256 xc:none \
        -fill '#2f6fb3' -stroke '#1d4a7a' -strokewidth 8 \
        -draw "path 'M128,16 L224,52 L224,128 Q224,208 128,244 Q32,208 32,128 L32,52 Z'" \
        -fill none -stroke white -strokewidth 26 \
        -draw "polyline 78,132 114,170 182,92" \
        -resize ${s}x${s} "PNG32:$tmp/$s.png"
done
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" RuntimeCheck.ico

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Renders the application emblem resources/icons/vorq.svg to the PNG sizes of the hicolor icon
# theme, under packaging/icons/<N>x<N>/com.orvane.VeltraDeviceFinder.png, and checks their sizes.
# The SVG itself is installed as the scalable icon. The PNGs are committed; the build does not
# render them.
#
# Needs rsvg-convert (Debian package librsvg2-bin). Usage: packaging/render-app-icons.sh
set -euo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source_svg="$top/resources/icons/vorq.svg"
icon_name=com.orvane.VeltraDeviceFinder
sizes=(16 22 24 32 48 64 128 256)

command -v rsvg-convert >/dev/null 2>&1 ||
    { echo "render-app-icons: rsvg-convert is missing: apt-get install librsvg2-bin" >&2 && exit 1; }

for size in "${sizes[@]}"; do
    dir="$top/packaging/icons/${size}x${size}"
    mkdir -p "$dir"
    png="$dir/$icon_name.png"
    rsvg-convert --format=png --width="$size" --height="$size" --output="$png" "$source_svg"
    # Width and height from the IHDR chunk (bytes 16 to 23, big-endian).
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    if [[ "$width" != "$size" || "$height" != "$size" ]]; then
        echo "render-app-icons: $png is ${width}x${height}, expected ${size}x${size}" >&2
        exit 1
    fi
    echo "render-app-icons: ${size}x${size}/$icon_name.png"
done

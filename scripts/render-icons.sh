#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Renders the icon sources resources/icons/<name>.svg to <name>.png at the size written in the SVG
# (its width and height) and to <name>@2x.png at twice that size, for high-density screens. Then
# checks every PNG: the expected width and height, 8-bit RGBA, and at least one visible pixel.
#
# Needs rsvg-convert (Debian package librsvg2-bin), installed with apt-get when missing; uses sudo
# when not run as root. Usage: scripts/render-icons.sh [name...]   (default: every SVG)
set -euo pipefail

icons_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../resources/icons" && pwd)"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null 2>&1 || {
            echo "render-icons: rsvg-convert missing; as root run: apt-get install librsvg2-bin" >&2
            exit 1
        }
        sudo=(sudo)
    fi
    echo "render-icons: installing librsvg2-bin for rsvg-convert"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends librsvg2-bin
fi

if [[ $# -gt 0 ]]; then
    names=("$@")
else
    names=()
    for svg in "$icons_dir"/*.svg; do
        names+=("$(basename "$svg" .svg)")
    done
fi

# Size attribute of the root <svg> element, in pixels.
svg_size() { # file attribute
    sed -n "s/.*<svg[^>]* $2=\"\([0-9][0-9]*\)\".*/\1/p" "$1" | head -n 1
}

checks=()
for name in "${names[@]}"; do
    svg="$icons_dir/$name.svg"
    [[ -f "$svg" ]] || {
        echo "render-icons: no such source: $svg" >&2
        exit 1
    }
    width=$(svg_size "$svg" width)
    height=$(svg_size "$svg" height)
    [[ -n "$width" && -n "$height" ]] || {
        echo "render-icons: $svg: no width and height in pixels on the <svg> element" >&2
        exit 1
    }
    for scale in 1 2; do
        suffix=""
        [[ $scale -eq 1 ]] || suffix="@${scale}x"
        png="$icons_dir/$name$suffix.png"
        w=$((width * scale))
        h=$((height * scale))
        echo "render-icons: $name.svg -> $name$suffix.png (${w}x${h})"
        rsvg-convert --format=png --width="$w" --height="$h" --output="$png" "$svg"
        checks+=("$png:$w:$h")
    done
done

# Reads the PNG header (IHDR) and the image data; only the standard library is needed.
python3 - "${checks[@]}" <<'EOF'
import struct, sys, zlib

failed = False
for arg in sys.argv[1:]:
    path, want_w, want_h = arg.rsplit(":", 2)
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        problems.append("not a PNG file")
    else:
        w, h, depth, colour = struct.unpack(">IIBB", data[16:26])
        if (w, h) != (int(want_w), int(want_h)):
            problems.append(f"size {w}x{h}, expected {want_w}x{want_h}")
        if (depth, colour) != (8, 6):
            problems.append(f"bit depth {depth}, colour type {colour}; expected 8-bit RGBA (6)")
        else:
            # Concatenate the IDAT chunks, inflate, and look for a non-zero alpha byte (each row
            # starts with one filter byte; a zero alpha stays zero under every PNG filter only
            # when the whole image is transparent, so reconstruct the rows properly).
            pos, idat = 8, b""
            while pos < len(data):
                length, kind = struct.unpack(">I4s", data[pos:pos + 8])
                if kind == b"IDAT":
                    idat += data[pos + 8:pos + 8 + length]
                pos += 12 + length
            raw = zlib.decompress(idat)
            stride = w * 4
            prev = bytearray(stride)
            visible = 0
            for y in range(h):
                ftype = raw[y * (stride + 1)]
                line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
                for i in range(stride):
                    a = line[i - 4] if i >= 4 else 0
                    b = prev[i]
                    c = prev[i - 4] if i >= 4 else 0
                    if ftype == 1:
                        line[i] = (line[i] + a) & 0xFF
                    elif ftype == 2:
                        line[i] = (line[i] + b) & 0xFF
                    elif ftype == 3:
                        line[i] = (line[i] + (a + b) // 2) & 0xFF
                    elif ftype == 4:
                        p = a + b - c
                        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                        pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                        line[i] = (line[i] + pred) & 0xFF
                visible += sum(1 for i in range(3, stride, 4) if line[i])
                prev = line
            if visible == 0:
                problems.append("fully transparent")
            elif visible == w * h:
                problems.append("no transparent pixel: background not transparent")
    name = path.rsplit("/", 1)[-1]
    if problems:
        failed = True
        print(f"render-icons: FAIL {name}: {'; '.join(problems)}")
    else:
        print(f"render-icons: ok   {name}: {want_w}x{want_h} RGBA")
sys.exit(1 if failed else 0)
EOF

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Takes the pictures of docs/: the main window after a scan of the demo's devices
# (docs/main-window.png), the network settings dialog of one of them (docs/settings-dialog.png) and
# its login dialog (docs/login-dialog.png). The real window is rendered offscreen by
# veltra-screenshot while veltra-devsim plays the devices of docs/demo-devices.json, both inside the
# network lab (tests/lab/netlab), so nothing is sent outside it.
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build; the Makefile's `make screenshots`
#        builds first)
set -euo pipefail

me=screenshots
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(realpath "${1:-$top/build}")"
tool="$build_dir/tools/veltra-screenshot"
devsim="$build_dir/src/devsim/veltra-devsim"
devices="$top/docs/demo-devices.json"
# Every listed device answers but the silent one.
expected_rows=11

for program in "$tool" "$devsim"; do
    [[ -x "$program" ]] || { echo "$me: $program is missing: build first (make screenshots)" >&2 && exit 2; }
done

out_dir="$(mktemp -d "${TMPDIR:-/tmp}/veltra-screenshots.XXXXXX")"
trap 'rm -rf "$out_dir"' EXIT
# The lab's root user writes the pictures; they are copied out with the caller's ownership.
chmod 0777 "$out_dir"
mkdir -m 0700 "$out_dir/runtime"

# Offscreen rendering with a fixed style and font scale, so that the pictures differ only where
# the program does; a data folder of its own keeps the demo's devices out of the device history.
export XDG_DATA_HOME="$out_dir/data"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 QT_FONT_DPI=96 XDG_RUNTIME_DIR="$out_dir/runtime" \
    "$top/tests/lab/netlab" --devsim-bin "$devsim" --devsim --devices "$devices" --random-start 1 -- \
    "$tool" "$out_dir" "$expected_rows"
# The window on a dark desktop, and in German.
for variant in --dark "--locale de_DE"; do
    # shellcheck disable=SC2086 # the variant is an option with its value
    QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 QT_FONT_DPI=96 XDG_RUNTIME_DIR="$out_dir/runtime" \
        "$top/tests/lab/netlab" --devsim-bin "$devsim" --devsim --devices "$devices" --random-start 1 -- \
        "$tool" "$out_dir" "$expected_rows" $variant
done

for picture in main-window settings-dialog login-dialog main-window-dark main-window-de; do
    cp "$out_dir/$picture.png" "$top/docs/$picture.png"
    echo "$me: docs/$picture.png"
done

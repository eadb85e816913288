#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the desktop program over the AT-SPI accessibility bus, as a screen reader uses it
# (scripts/atspi-check.py): on an Xvfb display and a D-Bus session of their own, inside the network
# lab with the simulated devices of docs/demo-devices.json, so that its scan reaches only them.
# docs/accessibility.md shows a run's output.
#
# Usage: scripts/check-accessibility.sh [BUILD_DIR]   (default: build)
# Needs: Xvfb, dbus-run-session, xdotool, at-spi2-core and python3-pyatspi (scripts/install-deps.sh
# accessibility installs them), and what the lab needs (root, or unprivileged user namespaces).
set -euo pipefail

me=check-accessibility
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(realpath "${1:-$top/build}")"
app="$build_dir/src/app/veltra-device-finder"
devsim="$build_dir/src/devsim/veltra-devsim"
# Every device of the list answers but the silent one.
expected_rows=11

for program in "$app" "$devsim"; do
    [[ -x "$program" ]] || { echo "$me: $program is missing: build first" >&2 && exit 2; }
done
for tool in Xvfb dbus-run-session xdotool; do
    command -v "$tool" >/dev/null ||
        { echo "$me: $tool is missing: scripts/install-deps.sh accessibility" >&2 && exit 2; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "$me: python3-pyatspi is missing: scripts/install-deps.sh accessibility" >&2 && exit 2; }

# Runs in the lab's host namespace: a display, a session bus and the check, all in there.
inner()
{
    local app="$1" expected_rows="$2" check="$3" work display xvfb status=0
    work="$(mktemp -d "${TMPDIR:-/tmp}/veltra-a11y.XXXXXX")"
    mkdir -m 0700 "$work/runtime" "$work/config" "$work/data"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    for ((i = 0; i < 100; i++)); do
        [[ -s "$work/display" ]] && break
        sleep 0.1
    done
    display=":$(cat "$work/display")"
    # Ready once a client gets through.
    for ((i = 0; i < 100; i++)); do
        DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1; then
        echo "check-accessibility: no Xvfb display to connect to ($display)" >&2
        cat "$work/xvfb.log" >&2
        return 1
    fi
    # A runtime folder of its own keeps the program from handing over to another instance; settings
    # and data folders of its own keep the user's stored credentials and device history out.
    DISPLAY="$display" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" \
        XDG_DATA_HOME="$work/data" \
        dbus-run-session -- /usr/bin/python3 "$check" "$app" "$expected_rows" || status=$?
    # The accessibility bus's helpers end with the session bus; the display goes after them.
    sleep 1
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
    return "$status"
}

"$top/tests/lab/netlab" --devsim-bin "$devsim" --devsim --devices "$top/docs/demo-devices.json" --random-start 1 -- \
    bash -c "$(declare -f inner); inner \"\$@\"" inner "$app" "$expected_rows" "$top/scripts/atspi-check.py"

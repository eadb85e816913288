#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The demo: a dozen simulated Orvane devices (docs/demo-devices.json) in a network lab of their own,
# and the desktop program on your display, inside the same lab, so that Scan / Refresh (F5) shows
# them at once and nothing the demo sends ever leaves the lab. Close the window to end the demo;
# the lab goes away with it.
#
# Usage: sudo scripts/demo.sh [BUILD_DIR]   (default: build; `sudo make demo` builds first)
#
# Root makes the lab (two network namespaces joined by a virtual Ethernet pair, tests/lab/netlab).
# Started through sudo, the program itself runs as the user who called sudo, on that user's display,
# with a settings folder, a data folder and a runtime folder of its own for the demo: it neither sees
# the user's stored credentials, nor puts the demo's devices into the user's device history, nor
# hands over to a Veltra Device Finder already running.
#
# The devices of protocol version 4 take a change only with credentials: user name "admin",
# password "orvane-demo".
set -euo pipefail

me=demo
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(realpath "${1:-$top/build}")"
app="$build_dir/src/app/veltra-device-finder"
devsim="$build_dir/src/devsim/veltra-devsim"
devices="$top/docs/demo-devices.json"

if ((EUID != 0)); then
    echo "$me: the demo's network lab needs root: run 'sudo make demo' (or 'sudo scripts/demo.sh')" >&2
    exit 1
fi
for program in "$app" "$devsim"; do
    [[ -x "$program" ]] || { echo "$me: $program is missing: build first, or run 'sudo make demo'" >&2 && exit 2; }
done
if [[ -z "${DISPLAY:-}" ]]; then
    echo "$me: no display: DISPLAY is not set (under sudo, keep it with 'sudo --preserve-env=DISPLAY,XAUTHORITY')" >&2
    exit 2
fi

# Who sits at the display: the user who called sudo, else root.
user=root
if [[ -n "${SUDO_USER:-}" && "${SUDO_USER}" != root ]]; then
    user="$SUDO_USER"
fi
uid="$(id -u "$user")"
home="$(getent passwd "$user" | cut -d: -f6)"

work="$(mktemp -d "${TMPDIR:-/tmp}/veltra-demo.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -m 0700 "$work/runtime" "$work/config" "$work/data"
chown -R "$user:" "$work"
chmod 0755 "$work"

# The display's key: the caller's, else the usual file in the user's home.
xauthority="${XAUTHORITY:-}"
if [[ -z "$xauthority" && -r "$home/.Xauthority" ]]; then
    xauthority="$home/.Xauthority"
fi
# The user's session bus, for the accessibility bridge of a screen reader already running.
session_bus="${DBUS_SESSION_BUS_ADDRESS:-}"
if [[ -z "$session_bus" && -S "/run/user/$uid/bus" ]]; then
    session_bus="unix:path=/run/user/$uid/bus"
fi

environment=(
    "DISPLAY=$DISPLAY"
    "HOME=$home"
    "XDG_RUNTIME_DIR=$work/runtime"
    "XDG_CONFIG_HOME=$work/config"
    "XDG_DATA_HOME=$work/data"
    "QT_QPA_PLATFORM=xcb"
)
[[ -n "$xauthority" ]] && environment+=("XAUTHORITY=$xauthority")
[[ -n "$session_bus" ]] && environment+=("DBUS_SESSION_BUS_ADDRESS=$session_bus")
for name in LANG LC_ALL QT_SCALE_FACTOR QT_FONT_DPI QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON; do
    [[ -n "${!name:-}" ]] && environment+=("$name=${!name}")
done

run_as=()
[[ "$user" == root ]] || run_as=(runuser -u "$user" --)

cat >&2 <<EOF
$me: Veltra Device Finder with 12 simulated devices in a network lab of their own.
$me: Press F5 (Scan / Refresh) in the window: 11 devices answer, one stays silent. Among them are
$me: DHCP and static devices, an IP address conflict (192.168.77.40), a host-name conflict
$me: (lobby-cam / Lobby-Cam) and a device whose information stays incomplete.
$me: Devices of protocol version 4 ask for credentials: user name admin, password orvane-demo.
$me: Close the window to end the demo.
EOF

"$top/tests/lab/netlab" --devsim-bin "$devsim" --devsim --devices "$devices" -- \
    "${run_as[@]}" env -i "${environment[@]}" PATH=/usr/local/bin:/usr/bin:/bin "$app"

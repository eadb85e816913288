#!/usr/bin/env bash
# Installs the Debian packages of the project's extra tasks, when any is missing; the build and
# the test suite need only scripts/install-deps.sh. Uses sudo when not run as root.
#
# Usage: scripts/install-tools.sh GROUP...   (the demo and the screenshots need nothing beyond
#        scripts/install-deps.sh)
#   packaging      make package and its checks: dpkg-shlibdeps (dpkg-dev), file, desktop-file-validate
#                  (desktop-file-utils), appstreamcli (appstream), groff and man (groff-base, man-db),
#                  the bash completion framework (bash-completion)
#   accessibility  scripts/check-accessibility.sh: Xvfb, a D-Bus session, the AT-SPI bus, pyatspi, xdotool
set -euo pipefail

me=install-tools
packages=()
for group in "$@"; do
    case "$group" in
    packaging) packages+=(dpkg-dev file desktop-file-utils appstream groff-base man-db bash-completion) ;;
    accessibility) packages+=(xvfb dbus-daemon at-spi2-core python3-pyatspi xdotool) ;;
    *)
        echo "$me: unknown group '$group' (packaging, accessibility)" >&2
        exit 2
        ;;
    esac
done
((${#packages[@]})) || { echo "usage: $me GROUP... (packaging, accessibility)" >&2 && exit 2; }

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

command -v apt-get >/dev/null 2>&1 ||
    { echo "$me: missing packages (${missing[*]}) and no apt-get to install them" >&2 && exit 1; }
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null 2>&1 ||
        { echo "$me: please install as root: apt-get install ${missing[*]}" >&2 && exit 1; }
    sudo=(sudo)
fi
echo "$me: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

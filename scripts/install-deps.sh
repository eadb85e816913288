#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages that building, running and testing need, when any is missing, and
# those of the project's extra tasks when their group is named. Works on Debian 12 and Ubuntu 22.04
# or later; uses sudo when not run as root.
#
# Usage: scripts/install-deps.sh [GROUP...]   (no group: what make run and make test need; nft of
#                                              nftables sets up the firewall of the diagnosis's lab test;
#                                              lupdate and lrelease of qt6-l10n-tools, their CMake
#                                              functions of qt6-tools-dev, Qt's own translations of
#                                              qt6-translations-l10n)
#   hardening      make sanitize and make fuzz: clang 14 with its sanitizer and libFuzzer runtimes,
#                  llvm-symbolizer for readable stack traces
#   packaging      make package and its checks: dpkg-shlibdeps (dpkg-dev), file, lintian,
#                  desktop-file-validate (desktop-file-utils), appstreamcli (appstream), groff and man
#                  (groff-base, man-db), the bash completion framework (bash-completion)
#   accessibility  scripts/check-accessibility.sh: Xvfb, a D-Bus session, the AT-SPI bus, pyatspi, xdotool
# The demo and the screenshots need nothing beyond the default.
set -euo pipefail

me=install-deps
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6sql6-sqlite libgl-dev zlib1g-dev
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    iproute2 util-linux procps nftables
)
for group in "$@"; do
    case "$group" in
    hardening) packages+=(clang-14 libclang-rt-14-dev llvm-14) ;;
    packaging) packages+=(dpkg-dev file lintian desktop-file-utils appstream groff-base man-db bash-completion) ;;
    accessibility) packages+=(xvfb dbus-daemon at-spi2-core python3-pyatspi xdotool) ;;
    *)
        echo "$me: unknown group '$group' (hardening, packaging, accessibility)" >&2
        exit 2
        ;;
    esac
done

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

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian package that `make package` built, checks the installed files and removes the
# package again (unless it was installed before the check).
#
# Usage: scripts/check-package.sh BUILD_DIR   (as root, or with sudo at hand)
#
# Checks: lintian finds no error in the .deb (its warnings are printed); the three programs are on
# the PATH and find all their libraries; `veltra-find --version` and `veltra-devsim --help` run from
# the installed files (both exit before any socket is opened); the desktop program starts
# (offscreen, in a network namespace of its own, so that it cannot send); the desktop entry passes
# desktop-file-validate and the metainfo `appstreamcli validate --strict` (not even a warning or an
# info); the icon is there at every size; the manual pages are found by man and format without a
# groff warning; the bash completion completes the commands of veltra-find; the firewalld service
# and the ufw application profile open UDP port 28244, the profile as a conffile. Needs
# scripts/install-deps.sh packaging.
set -euo pipefail

me=check-package
package=veltra-device-finder
app_id=com.orvane.VeltraDeviceFinder

(($# == 1)) || { echo "usage: $me BUILD_DIR" >&2 && exit 2; }
build_dir="$(realpath "$1")"
shopt -s nullglob
debs=("$build_dir"/${package}_*.deb)
((${#debs[@]} == 1)) || { echo "$me: expected one $package_*.deb in $build_dir (make package)" >&2 && exit 2; }
deb="${debs[0]}"

sudo=()
((EUID == 0)) || sudo=(sudo)

failures=0
check()
{
    local what="$1"
    shift
    if "$@"; then
        echo "$me: ok   $what"
    else
        echo "$me: FAIL $what" >&2
        failures=$((failures + 1))
    fi
}

# The package as Debian's policy checker sees it: errors fail the check, warnings are only printed
# (docs/packaging.md says why each remaining one stays).
lints()
{
    local output status=0
    output="$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1)" || status=$?
    output="$(grep -v '^running with root privileges is not recommended!$' <<<"$output" || true)"
    [[ -z "$output" ]] || sed "s/^/$me: lintian: /" <<<"$output"
    return "$status"
}
check "lintian finds no error" lints

was_installed=false
if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" == "install ok installed" ]]; then
    was_installed=true
fi
remove()
{
    if [[ "$was_installed" == false ]]; then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q "$package" >/dev/null
        echo "$me: removed $package again"
    fi
}
trap remove EXIT

echo "$me: installing $(basename "$deb")"
dpkg-deb --field "$deb" Depends | sed "s/^/$me: Depends: /"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >/dev/null

# The programs, from the installed files.
for program in veltra-device-finder veltra-find veltra-devsim; do
    check "$program is /usr/bin/$program" test "$(command -v "$program")" = "/usr/bin/$program"
    check "$program finds its libraries" bash -c "! ldd /usr/bin/$program | grep -q 'not found'"
done
version="$(dpkg-query -W -f='${Version}' "$package")"
echo "$me: \$ veltra-find --version"
find_version="$(/usr/bin/veltra-find --version)"
echo "$find_version"
check "veltra-find --version prints $version" test "$find_version" = "veltra-find $version"
echo "$me: \$ veltra-devsim --help | head -n 3"
devsim_help="$(/usr/bin/veltra-devsim --help)"
head -n 3 <<<"$devsim_help"
check "veltra-devsim --help prints its usage" grep -q -- '--devices' <<<"$devsim_help"

# The desktop program starts and keeps running until stopped: offscreen, in a network namespace of
# its own, with runtime, settings and data folders of its own.
starts()
{
    local work status=0
    work="$(mktemp -d)"
    mkdir -m 0700 "$work/runtime"
    unshare --net env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work" \
        XDG_DATA_HOME="$work" \
        timeout 3 /usr/bin/veltra-device-finder >/dev/null 2>&1 || status=$?
    rm -rf "$work"
    [[ $status -eq 124 ]] # still running when the time was up
}
if unshare --net true 2>/dev/null; then
    check "veltra-device-finder starts" starts
else
    echo "$me: skip veltra-device-finder start: no network namespace can be made here"
fi

# Desktop integration.
desktop_file=/usr/share/applications/$app_id.desktop
metainfo=/usr/share/metainfo/$app_id.metainfo.xml
check "desktop-file-validate $desktop_file" desktop-file-validate "$desktop_file"
check "appstreamcli validate $metainfo" appstreamcli validate --no-net --strict "$metainfo"
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop_file")"
check "the desktop entry's Exec ($exec_name) is installed" test -x "/usr/bin/$exec_name"
for size in 16 22 24 32 48 64 128 256; do
    check "icon ${size}x${size}" test -s "/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
check "icon scalable" test -s "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"

# The firewall definitions that open the devices' reply port.
firewalld_service=/usr/lib/firewalld/services/veltra-device-finder.xml
ufw_profile=/etc/ufw/applications.d/veltra-device-finder
check "firewalld service $firewalld_service" grep -q '<port protocol="udp" port="28244"/>' "$firewalld_service"
check "ufw profile $ufw_profile" grep -qx 'ports=28244/udp' "$ufw_profile"
is_conffile()
{
    dpkg-query -W -f='${Conffiles}\n' "$package" | grep -qF " $1 "
}
check "ufw profile is a conffile" is_conffile "$ufw_profile"

# Manual pages: found by man, formatted without warnings.
for page in veltra-device-finder veltra-find veltra-devsim; do
    check "man -w $page" man -w "$page"
    check "$page(1) formats without warnings" \
        bash -c "zcat '$(man -w "$page")' | groff -man -Tutf8 -ww -z 2>&1 | { ! grep .; }"
done

# Bash completion: the commands, and the options of one.
completes()
{
    local line="$1" expected="$2"
    bash -c '
        source /usr/share/bash-completion/bash_completion
        source /usr/share/bash-completion/completions/veltra-find
        read -r -a COMP_WORDS <<<"$1"
        [[ "$1" == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="$1"
        COMP_POINT=${#COMP_LINE}
        _veltra_find veltra-find "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        printf "%s\n" "${COMPREPLY[*]}"' bash "$line" | grep -qx -- "$expected"
}
if [[ -r /usr/share/bash-completion/bash_completion ]]; then
    check "completion of 'veltra-find s'" completes "veltra-find s" "scan show set"
    check "completion of 'veltra-find scan --f'" completes "veltra-find scan --f" "--format"
    check "completion of 'veltra-find scan --format '" completes "veltra-find scan --format " "table json csv"
else
    check "bash completion parses" bash -n /usr/share/bash-completion/completions/veltra-find
fi

if ((failures)); then
    echo "$me: $failures check(s) failed" >&2
    exit 1
fi
echo "$me: all checks passed"

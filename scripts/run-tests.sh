#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the whole test suite with ctest inside a network namespace of its own, so that even a test
# that sends by mistake reaches nothing: the namespace has only a loopback interface. The lab
# tests (label "lab") make their own network lab inside it (tests/lab/netlab).
#
# Usage: scripts/run-tests.sh BUILD_DIR [CTEST ARGS...]
#
# As root the namespace comes from `unshare --net`; a normal user gets one from an unprivileged
# user namespace (`unshare --user --map-root-user --net`) where the system allows it. Where no
# namespace can be made at all, only the tests without the label "lab" run, on this machine's own
# network (each test that would send checks for a real interface first and skips itself); with
# CI=true that is a failure, since the lab tests could not run.
#
# Exit status: ctest's.
set -euo pipefail

me="$(basename "$0")"

if (($# < 1)) || [[ "$1" == -h || "$1" == --help ]]; then
    sed -n '/^# Usage:/,/^# Exit status/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
fi
build_dir="$1"
shift
[[ -f "$build_dir/CTestTestfile.cmake" ]] ||
    { echo "$me: '$build_dir' is no configured build directory (no CTestTestfile.cmake)" >&2 && exit 2; }
build_dir="$(realpath "$build_dir")"
command -v ctest >/dev/null || { echo "$me: ctest is not installed" >&2 && exit 2; }

# Unit tests run two at a time; the lab tests are RUN_SERIAL and so run alone.
ctest_args=(--test-dir "$build_dir" --output-on-failure -j2 "$@")

# The command run inside the fresh namespace: loopback up, then ctest.
inner='ip link set lo up && exec ctest "$@"'

if ((EUID == 0)); then
    if unshare --net true 2>/dev/null; then
        echo "$me: running the suite in a network namespace of its own" >&2
        exec unshare --net -- bash -c "$inner" bash "${ctest_args[@]}"
    fi
    echo "$me: running as root, but 'unshare --net' fails here" >&2
elif unshare --user --map-root-user --net true 2>/dev/null; then
    echo "$me: running the suite in a network namespace of its own (unprivileged user namespace)" >&2
    exec unshare --user --map-root-user --net -- bash -c "$inner" bash "${ctest_args[@]}"
else
    echo "$me: not root, and this system allows no unprivileged user namespaces" >&2
fi

# No namespace: the lab tests cannot run; the unit tests guard their sends themselves.
echo "$me: no network namespace can be made here: running only the tests without the label 'lab'," >&2
echo "$me: on this machine's own network (tests that would send skip themselves)" >&2
status=0
ctest "${ctest_args[@]}" -LE lab || status=$?
if [[ "${CI:-}" == true ]]; then
    echo "$me: CI=true: the lab tests could not run, failing" >&2
    exit 1
fi
exit "$status"

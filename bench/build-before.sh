#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the programs of an older commit for `bench/run-bench.sh BUILD_DIR --before BEFORE_DIR`,
# which measures them beside this checkout's in the same run.
#
# Usage: bench/build-before.sh COMMIT BEFORE_DIR [SOURCE_DIR]
#   COMMIT      the commit whose programs are measured as "before"
#   BEFORE_DIR  the build folder to make or update
#   SOURCE_DIR  where COMMIT is checked out, as a git worktree (default: BEFORE_DIR-src); made
#               when missing; when present, must be a detached checkout of COMMIT with no changes
#               outside bench/, which this script replaces
#
# The scan probe and the receiver benchmark are made of the program's own libraries (the window,
# the transceiver), so "before" needs its own of each, built from COMMIT's src/. They are built
# from this checkout's bench/, copied over COMMIT's, so that both builds are measured by the same
# code and print the same figures; the benchmarks use nothing of the program but what both have
# (the main window and its model, PacketTransceiver's constructor, bindSocket() and
# replyReceived). The rest of the tools (simulator, watch, preloaded limit, wrappers) run-bench.sh
# takes from the newer build for both.
#
# Environment: JOBS (default 2) parallel compile jobs; ccache is used when installed.
set -euo pipefail

me="$(basename "$0")"
if (($# < 2 || $# > 3)); then
    sed -n '/^# Usage:/,/^#               outside bench/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
commit="$1"
before_dir="$(realpath -m "$2")"
source_dir="$(realpath -m "${3:-${before_dir%/}-src}")"
root="$(cd "$(dirname "$0")/.." && pwd)"

wanted="$(git -C "$root" rev-parse --verify "$commit^{commit}")"
if [[ -e "$source_dir" ]]; then
    found="$(git -C "$source_dir" rev-parse HEAD 2>/dev/null || true)"
    [[ "$found" == "$wanted" ]] || {
        echo "$me: $source_dir exists and is not a checkout of $commit" >&2
        exit 1
    }
    # Its bench/ is replaced below: only a detached checkout with nothing changed elsewhere will do,
    # never a checkout someone works on.
    if git -C "$source_dir" symbolic-ref -q HEAD >/dev/null ||
        [[ -n "$(git -C "$source_dir" status --porcelain -- . ':!bench')" ]]; then
        echo "$me: $source_dir is on a branch or has changes outside bench/; give a folder of its own" >&2
        exit 1
    fi
else
    git -C "$root" worktree add --detach "$source_dir" "$wanted"
fi

# This checkout's benchmarks over the older ones.
rm -rf "$source_dir/bench"
cp -a "$root/bench" "$source_dir/bench"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
(cd "$source_dir" && cmake --preset bench -B "$before_dir" "${launcher[@]}")
cmake --build "$before_dir" -j "${JOBS:-2}" --target veltra-bench-scan veltra-bench-receiver veltra-find

echo "$me: built $(git -C "$source_dir" rev-parse --short HEAD) in $before_dir; measure it with:"
echo "  bench/run-bench.sh BUILD_DIR --before $before_dir"

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Applies a plan to simulated devices with veltra-find and prints a Markdown table: for each number
# of devices changed at a time, the time the whole plan took, the outcomes, and the processor time
# and peak memory of veltra-find.
#
# Usage: bench/plan-apply.sh BUILD_DIR [--devices N] [--parallel "P1 P2 ..."]
#   --devices N    simulated devices, half of protocol version 4 (default 200)
#   --parallel ... the numbers of devices at a time to measure, each in a fresh lab (default "1 4 16")
#
# Each run makes its own network lab (tests/lab/netlab) with veltra-devsim in its lan namespace, makes
# the plan with `veltra-find plan --all` (static addresses from 10.20.0.1/16, names dev-{nnn}) and
# times `veltra-find apply` of it with the simulator's credentials.
set -euo pipefail

usage()
{
    sed -n '/^# Usage:/,/^#   --parallel/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

(($# >= 1)) || usage
build_dir="$(realpath "$1")"
shift
devices=200
parallel_list="1 4 16"
while (($#)); do
    case "$1" in
    --devices)
        (($# >= 2)) || usage
        devices="$2"
        shift
        ;;
    --parallel)
        (($# >= 2)) || usage
        parallel_list="$2"
        shift
        ;;
    *) usage ;;
    esac
    shift
done

root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$build_dir/src/cli/veltra-find"
devsim="$build_dir/src/devsim/veltra-devsim"
[[ -x "$cli" && -x "$devsim" ]] || {
    echo "plan-apply.sh: build veltra-find and veltra-devsim in $build_dir first" >&2
    exit 1
}
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

echo "| devices at a time | devices | time for the plan, s | per device, s | applied | other outcomes | processor time, s | peak memory, MiB |"
echo "|---:|---:|---:|---:|---:|---|---:|---:|"
status=0
for parallel in $parallel_list; do
    # shellcheck disable=SC2016 # expanded by the inner shell
    if ! "$root/tests/lab/netlab" --devsim-bin "$devsim" --devsim-log "$tmp/devsim.err" --devsim --count "$devices" -- \
        bash -c '
            cli="$1" dir="$2" parallel="$3"
            export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"
            "$cli" plan --all --first-ip 10.20.0.1 --mask 255.255.0.0 --hostname "dev-{nnn}" --repeat 2 \
                -o "$dir/plan.csv" >/dev/null
            VELTRA_PASSWORD=admin /usr/bin/time -f "TIME elapsed=%e user=%U sys=%S rss_kib=%M" -o "$dir/time.txt" \
                "$cli" apply "$dir/plan.csv" --user admin --parallel "$parallel" --format csv >"$dir/out.csv" \
                2>"$dir/apply.err" || true' bash "$cli" "$tmp" "$parallel" >"$tmp/lab.out" 2>&1; then
        echo "plan-apply.sh: the lab run with $parallel at a time failed:" >&2
        tail -5 "$tmp/lab.out" >&2
        status=1
        continue
    fi
    line="$(cat "$tmp/time.txt")"
    value() { echo "$line" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
    planned=$(($(wc -l <"$tmp/plan.csv") - 1))
    applied=$(grep -c ',applied,' "$tmp/out.csv" || true)
    others=$(tail -n +2 "$tmp/out.csv" | cut -d, -f2 | grep -v '^applied$' | sort | uniq -c |
        awk '{ n = $1; $1 = ""; printf "%s%d%s", (NR > 1 ? ", " : ""), n, $0 }' || true)
    elapsed=$(value elapsed)
    echo "| $parallel | $planned | $elapsed | $(awk -v t="$elapsed" -v n="$planned" 'BEGIN { printf "%.2f", n ? t * 1 / n : 0 }') | $applied | ${others:-none} | $(awk -v u="$(value user)" -v s="$(value sys)" 'BEGIN { printf "%.2f", u + s }') | $(awk -v k="$(value rss_kib)" 'BEGIN { printf "%.1f", k / 1024 }') |"
done
exit "$status"

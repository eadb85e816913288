#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets of fuzz/ with clang in a build folder of their own (AddressSanitizer,
# UndefinedBehaviorSanitizer and coverage instrumentation on every library they link) and runs each
# for SECONDS, two at a time, inside a network namespace of its own. Prints one line per target
# with the executions run and the outcome; a crash, a failed check, a hang or an allocation
# beyond the limits below leaves its input under BUILD_DIR/artifacts/<target>/.
#
# Usage: scripts/run-fuzzers.sh SECONDS [TARGET...]    (default: every target of fuzz/)
#   FUZZ_BUILD_DIR   the build folder (default build-fuzz)
#   FUZZ_JOBS        targets run at once (default 2)
#
# Each target starts from its starting inputs in fuzz/corpus/<target>/ and from what earlier runs in the
# same build folder found (BUILD_DIR/corpus/<target>/); the inputs in the repository are never
# changed.
#
# Exit status: 0 when every target ran its time without a finding, 1 otherwise, 2 on bad usage.
set -euo pipefail
cd "$(dirname "$0")/.."

me="$(basename "$0")"
if (($# < 1)) || ! [[ "$1" =~ ^[0-9]+$ ]] || (($1 < 1)); then
    sed -n '/^# Usage:/,/^# Exit status/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
fi
seconds="$1"
shift
build_dir="${FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${FUZZ_JOBS:-2}"

# Per target: the longest input. The readers get every datagram size UDP allows; the targets that
# read a sequence of datagrams get room for several; a stored credential is never long.
declare -A max_len=(
    [fuzz_messageheader]=65507
    [fuzz_networkconfigreply]=65507
    [fuzz_deviceinforeply]=65507
    [fuzz_connectiondialog]=65508
    [fuzz_devicemodel]=131072
    [fuzz_devsim]=131072
    [fuzz_credentialdecode]=16384
)
targets=("$@")
((${#targets[@]})) || targets=("${!max_len[@]}")
mapfile -t targets < <(printf '%s\n' "${targets[@]}" | sort)
for target in "${targets[@]}"; do
    [[ -n "${max_len[$target]:-}" ]] || { echo "$me: unknown target '$target'" >&2 && exit 2; }
done

scripts/install-deps.sh hardening

cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target "${targets[@]}"

# A namespace with nothing but a loopback interface: whatever a target did, it would reach nothing.
isolate=()
if ((EUID == 0)) && unshare --net true 2>/dev/null; then
    isolate=(unshare --net)
elif unshare --user --map-root-user --net true 2>/dev/null; then
    isolate=(unshare --user --map-root-user --net)
else
    echo "$me: no network namespace can be made here; the fuzzers run without one (they send nothing)" >&2
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$(realpath scripts/lsan.supp):print_suppressions=0"
symbolizer="$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)"
[[ -n "$symbolizer" ]] && export ASAN_SYMBOLIZER_PATH="$symbolizer"

run_one()
{
    local target="$1"
    local corpus="$build_dir/corpus/$target" artifacts="$build_dir/artifacts/$target/"
    local log="$build_dir/logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    # -timeout: one input taking 10 s counts as a hang; -malloc_limit_mb: one allocation of more
    # than 256 MiB counts as unbounded; -rss_limit_mb: so does a process of more than 2 GiB.
    local status=0
    "${isolate[@]}" "$build_dir/fuzz/$target" "$corpus" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1 \
        -artifact_prefix="$artifacts" >"$log" 2>&1 || status=$?
    echo "$status" >"$log.status"
}

summary()
{
    local target="$1" status="$2" log="$build_dir/logs/$1.log"
    local runs corpus outcome
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    corpus="$(find "$build_dir/corpus/$target" -type f | wc -l)"
    if ((status == 0)); then
        outcome="ok"
    else
        outcome="FAILED (status $status): $(grep -m 1 -E '^==[0-9]+==ERROR|check failed|^SUMMARY|ERROR: libFuzzer' "$log" || echo "see $log")"
    fi
    printf '%-26s %8s s %12s executions %6s corpus files  %s\n' "$target" "$seconds" "${runs:-?}" "$corpus" "$outcome"
}

echo "$me: running ${#targets[@]} fuzzers for $seconds s each, $jobs at a time" >&2
for target in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= jobs)); do
        wait -n || true
    done
    run_one "$target" &
done
wait
declare -A status_of=()
failed=0
for target in "${targets[@]}"; do
    status_of[$target]="$(cat "$build_dir/logs/$target.log.status" 2>/dev/null || echo 1)"
    ((${status_of[$target]} == 0)) || failed=1
done
for target in "${targets[@]}"; do
    summary "$target" "${status_of[$target]}"
done
if ((failed)); then
    echo "$me: findings above; logs in $build_dir/logs/, inputs in $build_dir/artifacts/" >&2
    for target in "${targets[@]}"; do
        ((${status_of[$target]} == 0)) || tail -n 60 "$build_dir/logs/$target.log" >&2
    done
fi
exit "$failed"

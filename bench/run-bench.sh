#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the eight benchmarks of bench/ and prints their figures as Markdown tables; with
# --update-doc (as `make bench` runs it) also writes them into docs/performance.md, between its
# "figures" markers.
#
# Usage: bench/run-bench.sh BUILD_DIR [--update-doc] [--quick] [--before BEFORE_DIR]
#   --update-doc  replace the figures in docs/performance.md with these
#   --quick       fewer sizes and runs, to try the machinery (never written to the document)
#   --before BEFORE_DIR
#                 also measure the programs of an older build (see bench/build-before.sh) in
#                 benchmarks 2, 4 and 6, its runs taking turns with this build's, so that before
#                 and after meet the same load
#
#   1. reply handling: DeviceModel with a table view against the straightforward baseline
#   2. scan completeness: the main window scans simulated devices in the network lab, at 5,000
#      devices with this host's receive buffer limit and with the common default of 212,992 bytes,
#      each on an idle machine and beside one busy process
#   3. start-up: the desktop program against a bare Qt program showing an empty QMainWindow
#   4. veltra-find scan of 5,000 simulated devices in the same four conditions as benchmark 2
#   5. memory of both programs while 20,000 made-up devices send replies of 65,507 bytes
#   6. the receiver's ceiling: datagrams per second into the transceiver against a plain loop
#   7. veltra-find apply of a plan to 200 simulated devices, 1, 4 and 16 at a time (bench/plan-apply.sh)
#   8. device history: recording a scan of 5,000 devices into a fresh file, then the same scan changed
#   9. the window's filter: the table showing the matching rows of 5,000 devices once a text is typed
#
# Benchmarks 2, 4, 5, 6 and 7 send: they run only inside the network lab (tests/lab/netlab), whose
# namespaces reach no real interface. Benchmarks 1, 3 and 8 send nothing, and run inside a network
# namespace with only a loopback interface all the same. As root this works directly; a normal
# user needs unprivileged user namespaces, as for `make test`.
#
# The lab cannot change the host's net.core.rmem_max, which its namespaces inherit: the smaller
# limit is played by preloading bench/rmemlimit.cpp (libveltra_rmem_limit.so) into the program
# measured, which cuts its SO_RCVBUF requests as such a host's kernel would. The busy process is a
# shell loop that spins in the lab's host namespace from just before the program starts until it
# has ended. The requests a program sent are counted where the devices are, by veltra-bench-watch
# (bench/labwatch.cpp): the datagrams for the device port that arrive in the lab's lan namespace
# carrying a request.
#
# Exit status: 0 when every benchmark ran (whether or not its goal was met), 1 otherwise.
set -euo pipefail

me="$(basename "$0")"
usage()
{
    sed -n '/^# Usage:/,/^#                 and after meet/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

(($# >= 1)) || usage
build_dir="$1"
shift
update_doc=false
quick=false
before_dir=""
while (($#)); do
    case "$1" in
    --update-doc) update_doc=true ;;
    --quick) quick=true ;;
    --before)
        (($# >= 2)) || usage
        before_dir="$2"
        shift
        ;;
    *) usage ;;
    esac
    shift
done

root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="$(realpath "$build_dir")"
bench="$build_dir/bench"
netlab="$root/tests/lab/netlab"
devsim="$build_dir/src/devsim/veltra-devsim"
app="$build_dir/src/app/veltra-device-finder"
cli="$build_dir/src/cli/veltra-find"
watch="$bench/veltra-bench-watch"
rmem_limit="$bench/libveltra_rmem_limit.so"
measure="$bench/veltra-bench-measure"
fake="$bench/veltra-bench-fake-devices"
doc="$root/docs/performance.md"

for program in "$bench/veltra-bench-replies" "$bench/veltra-bench-scan" "$bench/veltra-bench-startup" \
    "$bench/veltra-bench-bare-window" "$bench/veltra-bench-widgets-window" "$measure" \
    "$bench/libveltra_startup_probe.so" "$fake" "$bench/veltra-bench-receiver" "$watch" "$rmem_limit" "$devsim" \
    "$bench/veltra-bench-history" "$bench/veltra-bench-filter" \
    "$app"; do
    [[ -e "$program" ]] || { echo "$me: $program is missing; build the target veltra-benchmarks" >&2 && exit 1; }
done

# The builds measured in benchmarks 2, 4 and 6, in the order their runs take turns. The simulator,
# the watch, the preloaded limit and the wrappers are this build's for both: only the programs
# differ. The scan probe and the receiver benchmark are each build's own, since they are made of
# the program's libraries.
builds=(after)
declare -A build_label probe_of cli_of receiver_of
source_label()
{
    local source="$1" commit
    commit="$(git -C "$source" rev-parse --short HEAD 2>/dev/null || echo '?')"
    git -C "$source" diff --quiet HEAD -- src 2>/dev/null || commit+=" with uncommitted changes"
    echo "$commit"
}
build_label[after]="after ($(source_label "$root"))"
probe_of[after]="$bench/veltra-bench-scan"
cli_of[after]="$cli"
receiver_of[after]="$bench/veltra-bench-receiver"
if [[ -n "$before_dir" ]]; then
    before_dir="$(realpath "$before_dir")"
    for program in "$before_dir/bench/veltra-bench-scan" "$before_dir/src/cli/veltra-find"; do
        [[ -x "$program" ]] || { echo "$me: $program is missing; see bench/build-before.sh" >&2 && exit 1; }
    done
    before_source="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$before_dir/CMakeCache.txt" 2>/dev/null || true)"
    builds=(before after)
    build_label[before]="before ($(source_label "${before_source:-$before_dir}"))"
    probe_of[before]="$before_dir/bench/veltra-bench-scan"
    cli_of[before]="$before_dir/src/cli/veltra-find"
    receiver_of[before]=""
    [[ -x "$before_dir/bench/veltra-bench-receiver" ]] && receiver_of[before]="$before_dir/bench/veltra-bench-receiver"
fi
# The first column of the tables of benchmarks 2, 4 and 6: which build, when there are two.
build_cell()
{
    [[ -z "$before_dir" ]] || echo -n "| ${build_label[$1]} "
}
build_head()
{
    [[ -z "$before_dir" ]] || echo -n "| build "
}

if [[ "$quick" == true ]]; then
    reply_args=(--counts "100,1000" --runs 2 --baseline-runs 1)
    scan_counts=(250)
    scan_runs=1
    matrix_count=1000
    matrix_runs=1
    startup_runs=5
    receiver_rounds=1
    receiver_window_ms=1000
else
    reply_args=(--counts "100,1000,5000" --runs 5 --baseline-runs 3)
    scan_counts=(250 1000)
    scan_runs=5
    matrix_count=5000
    matrix_runs=5
    startup_runs=15
    receiver_rounds=3
    receiver_window_ms=3000
fi
# What many desktop systems allow a receive buffer (net.core.rmem_max), played by the preload.
small_rmem_max=212992
host_rmem_max="$(cat /proc/sys/net/core/rmem_max)"
# The conditions of benchmarks 2 and 4: receive buffer limit, then load of the machine.
limits=("$small_rmem_max" host)
loads=(idle busy)
# The longest the window's event loop may stall at the matrix size, median of the runs (ms).
stall_goal=50
# Benchmark 6: the ratio of the transceiver's rate to the plain loop's that is the goal.
receiver_goal=0.8

tmp="$(mktemp -d "${TMPDIR:-/tmp}/veltra-bench.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
# veltra-find records each scan in the device history: the benchmarks' devices go into one of their own.
export XDG_DATA_HOME="$tmp/data"
figures="$tmp/figures.md"
failed=false

say()
{
    echo "$me: $*" >&2
}

# Runs a command in a network namespace of its own with only loopback up.
isolated()
{
    local inner='ip link set lo up && exec "$@"'
    if ((EUID == 0)); then
        unshare --net -- bash -c "$inner" bash "$@"
    else
        unshare --user --map-root-user --net -- bash -c "$inner" bash "$@"
    fi
}

median()
{
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The value of KEY in a "WORD key=value ..." line.
field()
{
    tr ' ' '\n' | sed -n "s/^$1=//p"
}

# 212992 -> 212,992
thousands()
{
    echo "$1" | sed ':a; s/\B[0-9]\{3\}\>/,&/; ta'
}

limit_label()
{
    if [[ "$1" == host ]]; then
        echo "this host's, $(thousands "$host_rmem_max")"
    else
        echo "$(thousands "$1") (preloaded)"
    fi
}

load_label()
{
    if [[ "$1" == busy ]]; then echo "one busy process"; else echo "idle"; fi
}

# One run in a fresh lab with COUNT simulated devices (random start value START): COMMAND runs in the
# lab's host namespace under veltra-bench-watch, with the receive buffer limit LIMIT ("host", or
# bytes played by the preload) and, for LOAD "busy", a spinning shell beside it. Its standard
# output and error go to OUT and ERR.
#   lab_run COUNT START LIMIT LOAD OUT ERR COMMAND [ARGS...]
lab_run()
{
    local count="$1" start="$2" limit="$3" load="$4" out="$5" err="$6"
    shift 6
    local command=("$watch")
    [[ "$limit" == host ]] || command+=(env "LD_PRELOAD=$rmem_limit" "VELTRA_BENCH_RMEM_MAX=$limit")
    command+=("$@")
    # shellcheck disable=SC2016 # expanded by the inner shell
    "$netlab" --devsim-bin "$devsim" --devsim-log "$tmp/devsim.err" --devsim --count "$count" --random-start "$start" -- \
        bash -c 'if [[ "$0" == busy ]]; then
                     bash -c "while :; do :; done" &
                     spinner=$!
                     sleep 0.2
                 fi
                 status=0
                 "$@" || status=$?
                 [[ -z "${spinner:-}" ]] || kill "$spinner"
                 exit "$status"' "$load" "${command[@]}" >"$out" 2>"$err"
}

{
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')$(
        git -C "$root" diff --quiet HEAD -- src 2>/dev/null || echo ' (with uncommitted changes)')."
    echo
    echo "| machine | |"
    echo "|---|---|"
    echo "| CPU | $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) cores available |"
    echo "| memory | $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) |"
    echo "| system | $(sed -n 's/^PRETTY_NAME="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' /etc/os-release 2>/dev/null), Linux $(uname -r) |"
    echo "| load average at the start | $(cut -d' ' -f1-3 /proc/loadavg) |"
    echo "| net.core.rmem_max of the host (the lab inherits it) | $(cat /proc/sys/net/core/rmem_max) bytes |"
    echo
} >"$figures"

# ---------------------------------------------------------------------------------------------
say "1/9 reply handling (a few minutes: the baseline is slow by design)"
if isolated "$bench/veltra-bench-replies" "${reply_args[@]}" >"$tmp/replies.out" 2>"$tmp/replies.err"; then
    qt="$(sed -n 's/^# Qt \([^ ]*\) .*/\1/p' "$tmp/replies.out")"
    {
        echo "### 1. Reply handling"
        echo
        echo "Qt $qt, platform offscreen. Time per reply, median of the runs; ratio to the smallest N. The"
        echo "baseline's figures are estimated from samples (the whole feed only at the smallest N)."
        grep -v -e '^#' -e '^RESULT' "$tmp/replies.out"
        echo
        grep '^RESULT' "$tmp/replies.out" | sed 's/^/    /'
        echo
    } >>"$figures"
else
    failed=true
    say "reply benchmark failed:"
    cat "$tmp/replies.out" "$tmp/replies.err" >&2
fi

# ---------------------------------------------------------------------------------------------
# One scan of the window of BUILD in a fresh lab: prints the probe's SCAN line with the watch's
# figures, or a line of a run that did not get as far as the count check.
scan_once()
{
    local build="$1" count="$2" start="$3" limit="$4" load="$5" scan watched
    lab_run "$count" "$start" "$limit" "$load" "$tmp/scan.out" "$tmp/scan.run.err" \
        "${probe_of[$build]}" --expect "$count" || true
    cat "$tmp/scan.run.err" >>"$tmp/scan.err"
    scan="$(grep '^SCAN' "$tmp/scan.out" || true)"
    watched="$(grep '^WATCH' "$tmp/scan.run.err" | sed 's/^WATCH //' || true)"
    if [[ -z "$scan" ]]; then
        say "a scan of $count devices ($build, limit $limit, $load) ended before its count check:"
        grep -v '^WATCH' "$tmp/scan.run.err" | tail -5 >&2 || true
        scan="SCAN expected=$count failed=yes complete=0"
    fi
    echo "$scan $watched"
}

# One table row of benchmark 2, from the lines of its runs in a file.
scan_rows()
{
    local build="$1" limit="$2" load="$3" count="$4" file="$5"
    local runs all_complete complete_min last_median last_max queue_median drops stall requests requests_max broadcasts
    local buffer
    runs=$(grep -c . "$file" || true)
    all_complete=$(awk -v n="$count" '{ for (i = 1; i <= NF; i++) if ($i == "complete=" n) c++ } END { print c + 0 }' "$file")
    complete_min=$(field complete <"$file" | sort -n | head -1)
    last_median=$(field last_filled_ms <"$file" | median)
    last_max=$(field last_filled_ms <"$file" | sort -n | tail -1)
    queue_median=$(field peak_queue <"$file" | median | awk '{ printf "%.2f", $1 / 1048576 }')
    drops=$(field drops <"$file" | awk '{ s += $1 } END { print s + 0 }')
    stall=$(field longest_stall_ms <"$file" | median)
    requests=$(field requests <"$file" | median)
    requests_max=$(field requests <"$file" | sort -n | tail -1)
    broadcasts=$(field broadcasts <"$file" | sort -n | tail -1)
    buffer=$(field rcvbuf <"$file" | sort -u | tr '\n' ' ' | sed 's/ $//')
    echo "$(build_cell "$build")| $(limit_label "$limit") | $(load_label "$load") | $count | $all_complete of $runs | $complete_min | $last_median (${last_max:--}) | $queue_median | $drops | $stall | $requests (${requests_max:--}) | ${broadcasts:--} | $buffer |"
}

# Whether every run of a row's file had all N complete.
all_runs_complete()
{
    local count="$1" file="$2"
    [[ -s "$file" ]] && awk -v n="$count" '{ ok = 0; for (i = 1; i <= NF; i++) if ($i == "complete=" n) ok = 1; if (!ok) bad = 1 } END { exit bad }' "$file"
}

say "2/9 scan completeness in the network lab"
: >"$tmp/scan.err"
{
    echo "### 2. Scan completeness"
    echo
    echo "veltra-devsim with its default jitter (5 ms) in the lab's lan namespace, one scan of the main window"
    echo "(offscreen) per run, each run in a fresh lab. \"Complete\" counts the rows with text in all six columns"
    echo "when the count check runs. Times are after the first broadcast; the receive queue is what waited in"
    echo "the kernel for the program, sampled every millisecond; the stall is the longest the event loop went"
    echo "without a turn after the second broadcast; the requests are the datagrams with a request that reached"
    echo "the devices' side of the lab during the run; the buffer is SO_RCVBUF as getsockopt reports it (twice"
    echo "the granted size, on Linux) after the program asked for 8 MiB. The limit of $(thousands "$small_rmem_max") bytes is"
    echo "played by a preloaded library that cuts the program's request as such a host's kernel does; the busy"
    echo "process is a shell loop spinning beside the program for the whole run. Goal: all N complete in every"
    echo "run of every row, and at $(thousands "$matrix_count") devices a longest stall of at most $stall_goal ms (median) in every row."
    if [[ -n "$before_dir" ]]; then
        echo "The two builds' runs take turns, with the same simulator and the same random start in each pair."
    fi
    echo
    echo "$(build_head)| limit, bytes | machine | N devices | runs with all N complete | fewest complete rows | last row filled, ms, median (max) | peak receive queue, MiB, median | replies dropped by the kernel, all runs | longest stall, ms, median | requests sent per scan, median (max) | broadcasts among them, max | receive buffer, bytes |"
    echo "$([[ -z "$before_dir" ]] || echo -n '|---')|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
} >>"$figures"
# The rows: the smaller sizes on this host idle, then the four conditions at the matrix size.
scan_cases=()
for count in "${scan_counts[@]}"; do
    scan_cases+=("host idle $count $scan_runs")
done
for limit in "${limits[@]}"; do
    for load in "${loads[@]}"; do
        scan_cases+=("$limit $load $matrix_count $matrix_runs")
    done
done
declare -A scan_complete scan_worst_stall
for build in "${builds[@]}"; do
    scan_complete[$build]=yes
    scan_worst_stall[$build]=0
done
for case_ in "${scan_cases[@]}"; do
    read -r limit load count runs <<<"$case_"
    say "  window: $count devices, limit $limit, $load, $runs run(s) of each build"
    for build in "${builds[@]}"; do
        : >"$tmp/scan-$build.txt"
    done
    for ((run = 1; run <= runs; run++)); do
        for build in "${builds[@]}"; do
            scan_once "$build" "$count" "$run" "$limit" "$load" >>"$tmp/scan-$build.txt"
        done
    done
    for build in "${builds[@]}"; do
        scan_rows "$build" "$limit" "$load" "$count" "$tmp/scan-$build.txt" >>"$figures"
        all_runs_complete "$count" "$tmp/scan-$build.txt" || scan_complete[$build]=no
        if ((count == matrix_count)); then
            stall=$(field longest_stall_ms <"$tmp/scan-$build.txt" | median)
            [[ "$stall" == - ]] && stall=999999
            scan_worst_stall[$build]=$(awk -v a="${scan_worst_stall[$build]}" -v b="$stall" 'BEGIN { print (b > a) ? b : a }')
        fi
        if ! grep -q 'rows=' "$tmp/scan-$build.txt"; then
            failed=true
            say "scan benchmark produced nothing ($build):"
            tail -20 "$tmp/scan.err" >&2
        fi
    done
done
{
    echo
    for build in "${builds[@]}"; do
        stall_met=$(awk -v s="${scan_worst_stall[$build]}" -v g="$stall_goal" 'BEGIN { print (s <= g) ? "yes" : "no" }')
        met=no
        [[ "${scan_complete[$build]}" == yes && "$stall_met" == yes ]] && met=yes
        echo "    RESULT scan$([[ -z "$before_dir" ]] || echo " build=$build") all-complete-in-every-run=${scan_complete[$build]} longest-stall-ms-at-$matrix_count=${scan_worst_stall[$build]} stall-goal=$stall_goal met=$met"
    done
    echo
} >>"$figures"

# ---------------------------------------------------------------------------------------------
say "3/9 start-up"
if isolated "$bench/veltra-bench-startup" --probe "$bench/libveltra_startup_probe.so" --runs "$startup_runs" \
    "$app" "$bench/veltra-bench-bare-window" "$bench/veltra-bench-widgets-window" \
    >"$tmp/startup.out" 2>"$tmp/startup.err"; then
    {
        echo "### 3. Start-up"
        echo
        echo "From starting the program to its first window exposed and painted (offscreen), the three programs"
        echo "started in turn; medians. veltra-bench-widgets-window shows the same kinds of widgets as the main"
        echo "window without any of the program (see below)."
        echo
        grep '^|' "$tmp/startup.out"
        echo
        grep '^RESULT' "$tmp/startup.out" | sed 's/^/    /'
        echo
    } >>"$figures"
else
    failed=true
    say "start-up benchmark failed:"
    cat "$tmp/startup.out" "$tmp/startup.err" >&2
fi

# ---------------------------------------------------------------------------------------------
say "4/9 veltra-find scan"
# One scan of veltra-find of BUILD in a fresh lab: prints the wrapper's and the watch's figures and
# the complete rows of its output.
cli_once()
{
    local build="$1" count="$2" start="$3" limit="$4" load="$5" rows
    lab_run "$count" "$start" "$limit" "$load" "$tmp/cli.csv" "$tmp/cli.err" \
        "$measure" "${cli_of[$build]}" scan --format csv || true
    rows=$(tr -d '\r' <"$tmp/cli.csv" | grep -c ',true$' || true) # RFC 4180 lines end in CR LF
    if ! grep -q '^MEASURE' "$tmp/cli.err"; then
        say "veltra-find ($build, limit $limit, $load) did not run:"
        tail -5 "$tmp/cli.err" >&2
    fi
    echo "$(grep '^MEASURE' "$tmp/cli.err" || echo MEASURE) $(grep '^WATCH' "$tmp/cli.err" | sed 's/^WATCH //') complete_rows=$rows"
}

cli_rows()
{
    local build="$1" limit="$2" load="$3" count="$4" file="$5"
    local runs all_complete rows_min drops wall peak requests requests_max broadcasts
    runs=$(grep -c . "$file" || true)
    all_complete=$(field complete_rows <"$file" | awk -v n="$count" '$1 == n { c++ } END { print c + 0 }')
    rows_min=$(field complete_rows <"$file" | sort -n | head -1)
    drops=$(field kernel_drops <"$file" | awk '{ s += $1 } END { print s + 0 }')
    wall=$(field wall_ms <"$file" | median)
    peak=$(field peak_kib <"$file" | median | awk '$1 != "-" { printf "%.1f", $1 / 1024 } $1 == "-" { print "-" }')
    requests=$(field requests <"$file" | median)
    requests_max=$(field requests <"$file" | sort -n | tail -1)
    broadcasts=$(field broadcasts <"$file" | sort -n | tail -1)
    echo "$(build_cell "$build")| $(limit_label "$limit") | $(load_label "$load") | $count | $all_complete of $runs | $rows_min | $drops | $wall | $peak | $requests (${requests_max:--}) | ${broadcasts:--} |"
}

{
    echo "### 4. veltra-find scan"
    echo
} >>"$figures"
if [[ -x "$cli" ]]; then
    {
        echo "\`veltra-find scan --format csv\` (its default wait of 3000 ms) in the lab with veltra-devsim's default"
        echo "jitter, the simulator started anew for each run; the same conditions as in benchmark 2. Complete rows"
        echo "are counted in its output; the kernel's drops on the device port are sampled every 10 ms while it runs;"
        echo "the requests are counted where the devices are. Goal: all N complete in every run of every row."
        echo
        echo "$(build_head)| limit, bytes | machine | N devices | runs with all N complete | fewest complete rows | replies dropped by the kernel, all runs | wall time, ms, median | peak resident memory, MiB, median | requests sent per scan, median (max) | broadcasts among them, max |"
        echo "$([[ -z "$before_dir" ]] || echo -n '|---')|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"
    } >>"$figures"
    declare -A cli_complete
    for build in "${builds[@]}"; do
        cli_complete[$build]=yes
    done
    for limit in "${limits[@]}"; do
        for load in "${loads[@]}"; do
            say "  veltra-find: $matrix_count devices, limit $limit, $load, $matrix_runs run(s) of each build"
            for build in "${builds[@]}"; do
                : >"$tmp/cli-$build.txt"
            done
            for ((run = 1; run <= matrix_runs; run++)); do
                for build in "${builds[@]}"; do
                    cli_once "$build" "$matrix_count" "$run" "$limit" "$load" >>"$tmp/cli-$build.txt"
                done
            done
            for build in "${builds[@]}"; do
                cli_rows "$build" "$limit" "$load" "$matrix_count" "$tmp/cli-$build.txt" >>"$figures"
                field complete_rows <"$tmp/cli-$build.txt" | awk -v n="$matrix_count" '$1 != n { bad = 1 } END { exit bad }' ||
                    cli_complete[$build]=no
                if [[ -z "$(field wall_ms <"$tmp/cli-$build.txt")" ]]; then
                    failed=true
                    say "veltra-find benchmark failed ($build):"
                    cat "$tmp/cli.err" >&2
                fi
            done
        done
    done
    {
        echo
        for build in "${builds[@]}"; do
            echo "    RESULT cli$([[ -z "$before_dir" ]] || echo " build=$build") all-complete-in-every-run=${cli_complete[$build]}"
        done
        echo
    } >>"$figures"
else
    echo "veltra-find was not built; nothing measured." >>"$figures"
    echo >>"$figures"
fi

# ---------------------------------------------------------------------------------------------
say "5/9 memory under made-up devices"
if [[ "$quick" == true ]]; then
    fake_count=2000
else
    fake_count=20000
fi
# The sender plays the devices from lan while the program listens in host; both in one fresh lab.
with_fake_devices()
{
    local delay="$1"
    shift
    # shellcheck disable=SC2016 # expanded by the inner shell
    "$netlab" -- bash -c '$NETLAB_LAN_EXEC "$0" --count "$1" --delay-ms "$2" --duration-ms 8000 >"$3" 2>&1 &
        sender=$!; "${@:4}"; status=$?; wait "$sender"; exit "$status"' \
        "$fake" "$fake_count" "$delay" "$tmp/fake.out" "$@"
}
{
    echo "### 5. Memory under made-up devices"
    echo
    echo "A sender in the lab's lan namespace plays $fake_count made-up devices, each answering with a device"
    echo "information reply and a configuration reply of 65,507 bytes, unasked, round after round for 8 s."
    echo
    echo "| program | rows listed | peak resident memory, MiB | datagrams sent |"
    echo "|---|---:|---:|---:|"
} >>"$figures"
if with_fake_devices 1500 "$bench/veltra-bench-measure" "$bench/veltra-bench-scan" --expect "$fake_count" \
    --after-ms 8000 --timeout-ms 30000 >"$tmp/fake-window.out" 2>"$tmp/fake-window.err"; then
    rows=$(grep '^SCAN' "$tmp/fake-window.out" | field complete_later)
    peak=$(grep '^MEASURE' "$tmp/fake-window.err" | field peak_kib | awk '{ printf "%.1f", $1 / 1024 }')
    echo "| the window (offscreen, one scan) | $rows | $peak | $(field sent <"$tmp/fake.out") |" >>"$figures"
else
    failed=true
    say "window under made-up devices failed:"
    cat "$tmp/fake-window.err" "$tmp/fake.out" >&2
fi
if [[ -x "$cli" ]]; then
    if with_fake_devices 500 "$bench/veltra-bench-measure" "$cli" scan --wait 12000 --format csv \
        >"$tmp/fake-cli.csv" 2>"$tmp/fake-cli.err"; then
        rows=$(($(tr -d '\r' <"$tmp/fake-cli.csv" | grep -c . || true) - 1))
        peak=$(grep '^MEASURE' "$tmp/fake-cli.err" | field peak_kib | awk '{ printf "%.1f", $1 / 1024 }')
        echo "| \`veltra-find scan --wait 12000\` | $rows | $peak | $(field sent <"$tmp/fake.out") |" >>"$figures"
    else
        failed=true
        say "veltra-find under made-up devices failed:"
        cat "$tmp/fake-cli.err" "$tmp/fake.out" >&2
    fi
fi
echo >>"$figures"

# ---------------------------------------------------------------------------------------------
say "6/9 the receiver's ceiling"
# One lab: the sender floods from lan for the whole benchmark while the receivers take turns in
# host, each measuring one side once; the order of the turns rotates every round.
receiver_steps=()
for ((round = 1; round <= receiver_rounds; round++)); do
    steps=("after:transceiver:${receiver_of[after]}" "after:loop:${receiver_of[after]}")
    [[ -z "${receiver_of[before]:-}" ]] || steps+=("before:transceiver:${receiver_of[before]}")
    shift_by=$(((round - 1) % ${#steps[@]}))
    receiver_steps+=("${steps[@]:shift_by}" "${steps[@]:0:shift_by}")
done
: >"$tmp/receiver.txt"
# shellcheck disable=SC2016 # expanded by the inner shell
if "$netlab" -- bash -c '
        fake="$1" window_ms="$2" out="$3" flood_out="$4"
        shift 4
        mac="$(tr a-f A-F <"/sys/class/net/$NETLAB_HOST_IF/address")"
        $NETLAB_LAN_EXEC "$fake" --flood --segments 64 --count 1024 --size 329 --delay-ms 0 --duration-ms 900000 \
            --dest-mac "$mac" --to "$NETLAB_HOST_IP" >"$flood_out" 2>&1 &
        sender=$!
        sleep 0.5
        status=0
        for step in "$@"; do
            build="${step%%:*}" rest="${step#*:}"
            "${rest#*:}" --rounds 1 --side "${rest%%:*}" --window-ms "$window_ms" --warmup-ms 500 >"$out.step" ||
                status=1
            sed -n "s/^RECEIVER /RECEIVER build=$build /p" "$out.step" >>"$out"
        done
        kill -TERM "$sender"
        wait "$sender" || true
        exit "$status"' bash "$fake" "$receiver_window_ms" "$tmp/receiver.txt" "$tmp/flood.out" "${receiver_steps[@]}" \
    2>"$tmp/receiver.err"; then
    {
        echo "### 6. The receiver's ceiling"
        echo
        echo "A sender in the lab's lan namespace sends 329-byte configuration replies addressed to the host's MAC"
        echo "as fast as it can, $(field sent_per_s <"$tmp/flood.out") a second over the whole benchmark (64 to a datagram that the host's"
        echo "kernel splits into one datagram each, so that the sender outpaces the receivers: on two cores a"
        echo "sender of single datagrams, which does the kernel's work for both ends of the link, does not). In"
        echo "the host namespace a PacketTransceiver (its replyReceived signals counted on the main thread, event"
        echo "loop running) and a plain loop of recvmmsg (64 a call, same socket options) take turns, each on a"
        echo "socket of its own for $receiver_window_ms ms after a warm-up of 500 ms. Medians of the turns; \"offered\" is"
        echo "what was taken in and what the kernel dropped for want of room in the socket's buffer. The processor"
        echo "time is the receiving process's, all threads. Goal: the transceiver takes in at least $receiver_goal times what"
        echo "the plain loop does."
        echo
        echo "$(build_head)| receiver | turns | taken in, datagrams per second | offered, per second | dropped by the kernel, all turns | processor time per datagram, µs | ratio to the plain loop |"
        echo "$([[ -z "$before_dir" ]] || echo -n '|---')|---|---:|---:|---:|---:|---:|---:|"
    } >>"$figures"
    loop_rate=$(grep -F 'build=after side=loop ' "$tmp/receiver.txt" | field per_s | median)
    receiver_results=()
    for build in "${builds[@]}"; do
        for side in transceiver loop; do
            [[ "$side" == loop && "$build" != after ]] && continue
            grep -F "build=$build side=$side " "$tmp/receiver.txt" >"$tmp/receiver-side.txt" || true
            [[ -s "$tmp/receiver-side.txt" ]] || continue
            turns=$(grep -c . "$tmp/receiver-side.txt")
            rate=$(field per_s <"$tmp/receiver-side.txt" | median)
            offered=$(field offered_per_s <"$tmp/receiver-side.txt" | median)
            drops=$(field dropped <"$tmp/receiver-side.txt" | awk '{ s += $1 } END { print s + 0 }')
            cpu=$(awk '{ t = ""; c = ""; for (i = 1; i <= NF; i++) { if ($i ~ /^taken=/) t = substr($i, 7); if ($i ~ /^cpu_ms=/) c = substr($i, 8) } if (t > 0) print c * 1000 / t }' \
                "$tmp/receiver-side.txt" | median | awk '$1 != "-" { printf "%.2f", $1 } $1 == "-" { print "-" }')
            ratio=$(awk -v a="$rate" -v b="$loop_rate" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
            name="PacketTransceiver"
            [[ "$side" == loop ]] && name="recvmmsg loop"
            echo "$(build_cell "$build")| $name | $turns | $(printf '%.0f' "$rate") | $(printf '%.0f' "$offered") | $drops | $cpu | $ratio |" >>"$figures"
            if [[ "$side" == transceiver ]]; then
                met=$(awk -v r="$ratio" -v g="$receiver_goal" 'BEGIN { print (r != "-" && r >= g) ? "yes" : "no" }')
                receiver_results+=("    RESULT receiver$([[ -z "$before_dir" ]] || echo " build=$build") transceiver-per-s=$(printf '%.0f' "$rate") loop-per-s=$(printf '%.0f' "$loop_rate") ratio=$ratio goal=$receiver_goal met=$met")
            fi
        done
    done
    if [[ -n "$before_dir" && -z "${receiver_of[before]}" ]]; then
        echo >>"$figures"
        echo "The build before has no veltra-bench-receiver: its transceiver was not measured." >>"$figures"
    fi
    {
        echo
        printf '%s\n' "${receiver_results[@]}"
        echo
    } >>"$figures"
else
    failed=true
    say "receiver benchmark failed:"
    cat "$tmp/receiver.err" "$tmp/receiver.txt" "$tmp/flood.out" >&2
fi

# ---------------------------------------------------------------------------------------------
say "7/9 applying a plan (about 25 minutes: one device at a time takes over 5 s each)"
plan_devices=200
plan_parallel="1 4 16"
if [[ "$quick" == true ]]; then
    plan_devices=20
    plan_parallel="4"
fi
if "$root/bench/plan-apply.sh" "$build_dir" --devices "$plan_devices" --parallel "$plan_parallel" \
    >"$tmp/plan.md" 2>"$tmp/plan.err"; then
    {
        echo "### 7. Applying a plan"
        echo
        echo "veltra-devsim with $plan_devices generated devices (protocol versions 3 and 4 alternating, restart time"
        echo "2000 ms) in the lab's lan namespace; \`veltra-find plan --all\` makes a plan of static addresses and"
        echo "host names, and \`veltra-find apply\` applies it with the devices' credentials, each number of devices"
        echo "at a time in a fresh lab. The time is apply's whole run, its scan of 3000 ms included."
        echo
        cat "$tmp/plan.md"
        echo
    } >>"$figures"
else
    failed=true
    say "plan benchmark failed:"
    cat "$tmp/plan.md" "$tmp/plan.err" >&2
fi

# ---------------------------------------------------------------------------------------------
say "8/9 device history"
if isolated "$bench/veltra-bench-history" >"$tmp/history.md" 2>"$tmp/history.err"; then
    {
        echo "### 8. Device history"
        echo
        echo "HistoryStore::recordScan() of 5,000 devices with all their values into a new SQLite file in a"
        echo "temporary folder, then the same devices again with every hundredth one's IP address changed; five"
        echo "runs, each into a new file."
        echo
        cat "$tmp/history.md"
        echo
    } >>"$figures"
else
    failed=true
    say "history benchmark failed:"
    cat "$tmp/history.md" "$tmp/history.err" >&2
fi

# ---------------------------------------------------------------------------------------------
say "9/9 the window's filter"
if isolated env QT_QPA_PLATFORM=offscreen "$bench/veltra-bench-filter" >"$tmp/filter.md" 2>"$tmp/filter.err"; then
    {
        echo "### 9. The window's filter"
        echo
        echo "The device table of 5,000 devices behind the window's filter, offscreen: the time from setting"
        echo "the filter text to the table painted with the matching rows; seven runs each."
        echo
        cat "$tmp/filter.md"
        echo
    } >>"$figures"
else
    failed=true
    say "filter benchmark failed:"
    cat "$tmp/filter.md" "$tmp/filter.err" >&2
fi

cat "$figures"

if [[ "$update_doc" == true && "$quick" == false && "$failed" == false ]]; then
    begin='<!-- figures:begin -->'
    end='<!-- figures:end -->'
    if grep -qF "$begin" "$doc" && grep -qF "$end" "$doc"; then
        awk -v begin="$begin" -v end="$end" -v file="$figures" '
            $0 == begin { print; while ((getline line < file) > 0) print line; skip = 1; next }
            $0 == end { skip = 0 }
            !skip { print }' "$doc" >"$tmp/doc.md"
        cp "$tmp/doc.md" "$doc"
        say "figures written to ${doc#"$root"/}"
    else
        say "${doc#"$root"/} has no figure markers; not written"
    fi
fi

[[ "$failed" == false ]]

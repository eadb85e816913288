#!/usr/bin/env bash
# Runs the five benchmarks of bench/ and prints their figures as Markdown tables; with
# --update-doc (as `make bench` runs it) also writes them into docs/performance.md, between its
# "figures" markers.
#
# Usage: bench/run-bench.sh BUILD_DIR [--update-doc] [--quick]
#   --update-doc  replace the figures in docs/performance.md with these
#   --quick       fewer sizes and runs, to try the machinery (never written to the document)
#
#   1. reply handling: DeviceModel with a table view against the straightforward baseline
#   2. scan completeness: the main window scans simulated devices in the network lab
#   3. start-up: the desktop program against a bare Qt program showing an empty QMainWindow
#   4. veltra-find scan of 5,000 simulated devices: wall time and peak memory
#   5. memory of both programs while 20,000 made-up devices send replies of 65,507 bytes
#
# Benchmarks 2 and 4 broadcast: they run only inside the network lab (tests/lab/netlab), whose
# namespaces reach no real interface. Benchmarks 1 and 3 send nothing, and run inside a network
# namespace with only a loopback interface all the same. As root this works directly; a normal
# user needs unprivileged user namespaces, as for `make test`.
#
# Exit status: 0 when every benchmark ran (whether or not its goal was met), 1 otherwise.
set -euo pipefail

me="$(basename "$0")"
usage()
{
    sed -n '/^# Usage:/,/^#   --quick/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

(($# >= 1)) || usage
build_dir="$1"
shift
update_doc=false
quick=false
while (($#)); do
    case "$1" in
    --update-doc) update_doc=true ;;
    --quick) quick=true ;;
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
doc="$root/docs/performance.md"

for program in "$bench/veltra-bench-replies" "$bench/veltra-bench-scan" "$bench/veltra-bench-startup" \
    "$bench/veltra-bench-bare-window" "$bench/veltra-bench-widgets-window" "$bench/veltra-bench-measure" \
    "$bench/libveltra_startup_probe.so" "$bench/veltra-bench-fake-devices" "$devsim" "$app"; do
    [[ -e "$program" ]] || { echo "$me: $program is missing; build the target veltra-benchmarks" >&2 && exit 1; }
done

if [[ "$quick" == true ]]; then
    reply_args=(--counts "100,1000" --runs 2 --baseline-runs 1)
    scan_counts=(250 1000)
    scan_runs=2
    small_buffer_runs=0
    startup_runs=5
    cli_count=1000
    cli_runs=1
else
    reply_args=(--counts "100,1000,5000" --runs 5 --baseline-runs 3)
    scan_counts=(250 1000 5000)
    scan_runs=5
    small_buffer_runs=3
    startup_runs=15
    cli_count=5000
    cli_runs=3
fi
# What many desktop systems allow a receive buffer (net.core.rmem_max): measured in the lab by
# setting the program's buffer to it, since the lab cannot change the host's limit.
small_rmem_max=212992

tmp="$(mktemp -d "${TMPDIR:-/tmp}/veltra-bench.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
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
say "1/5 reply handling (a few minutes: the baseline is slow by design)"
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
# One scan in a fresh lab: prints the probe's SCAN line, or nothing.
scan_once()
{
    local count="$1" random_start="$2"
    shift 2
    "$netlab" --devsim-bin "$devsim" --devsim-log "$tmp/devsim.err" --devsim --count "$count" --random-start "$random_start" -- \
        "$bench/veltra-bench-scan" --expect "$count" "$@" 2>>"$tmp/scan.err" | grep '^SCAN' || true
}

# Table rows for the scans of one N, from their SCAN lines in a file.
scan_rows()
{
    local count="$1" file="$2" label="$3"
    local runs all_complete complete_min last_median last_max queue_median drops stall buffer
    runs=$(grep -c . "$file" || true)
    all_complete=$(awk -v n="$count" '{ for (i = 1; i <= NF; i++) if ($i == "complete=" n) c++ } END { print c + 0 }' "$file")
    complete_min=$(field complete <"$file" | sort -n | head -1)
    last_median=$(field last_filled_ms <"$file" | median)
    last_max=$(field last_filled_ms <"$file" | sort -n | tail -1)
    queue_median=$(field peak_queue <"$file" | median | awk '{ printf "%.2f", $1 / 1048576 }')
    drops=$(field drops <"$file" | awk '{ s += $1 } END { print s + 0 }')
    stall=$(field longest_stall_ms <"$file" | median)
    buffer=$(field rcvbuf <"$file" | sort -u | tr '\n' ' ' | sed 's/ $//')
    echo "| $label | $count | $all_complete of $runs | $complete_min | $last_median ($last_max) | $queue_median | $drops | $stall | $buffer |"
}

say "2/5 scan completeness in the network lab"
: >"$tmp/scan.err"
{
    echo "### 2. Scan completeness"
    echo
    echo "veltra-devsim with its default jitter (5 ms) in the lab's lan namespace, one scan of the main window"
    echo "(offscreen) per run, each run in a fresh lab. \"Complete\" counts the rows with text in all six columns"
    echo "when the count check runs. Times are after the first broadcast; the receive queue is what waited in"
    echo "the kernel for the program, sampled every millisecond; the stall is the longest the event loop went"
    echo "without a turn after the second broadcast; the buffer is SO_RCVBUF as getsockopt reports it (twice"
    echo "the granted size, on Linux) after the program asked for 8 MiB."
    echo
    echo "| host limit | N devices | runs with all N complete | fewest complete rows | last row filled, ms, median (max) | peak receive queue, MiB, median | replies dropped by the kernel, all runs | longest stall, ms, median | receive buffer, bytes |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
} >>"$figures"
scan_goal=true
for count in "${scan_counts[@]}"; do
    : >"$tmp/scan-$count.txt"
    for ((run = 1; run <= scan_runs; run++)); do
        scan_once "$count" "$run" >>"$tmp/scan-$count.txt"
    done
    row="$(scan_rows "$count" "$tmp/scan-$count.txt" "this host's")"
    echo "$row" >>"$figures"
    [[ "$row" == *"| $scan_runs of $scan_runs |"* ]] || scan_goal=false
done
if ((small_buffer_runs > 0)); then
    : >"$tmp/scan-small.txt"
    for ((run = 1; run <= small_buffer_runs; run++)); do
        scan_once 1000 "$run" --rmem-max "$small_rmem_max" >>"$tmp/scan-small.txt"
    done
    scan_rows 1000 "$tmp/scan-small.txt" "$small_rmem_max bytes (set by the probe; outside the goal)" >>"$figures"
fi
if [[ ! -s "$tmp/scan-${scan_counts[0]}.txt" ]]; then
    failed=true
    say "scan benchmark produced nothing:"
    tail -20 "$tmp/scan.err" >&2
fi
{
    echo
    echo "    RESULT scan all-complete-in-every-run=$([[ "$scan_goal" == true ]] && echo yes || echo no)"
    echo
} >>"$figures"

# ---------------------------------------------------------------------------------------------
say "3/5 start-up"
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
say "4/5 veltra-find scan"
{
    echo "### 4. veltra-find scan"
    echo
} >>"$figures"
if [[ -x "$cli" ]]; then
    : >"$tmp/cli.txt"
    for ((run = 1; run <= cli_runs; run++)); do
        "$netlab" --devsim-bin "$devsim" --devsim --count "$cli_count" --random-start "$run" -- \
            "$bench/veltra-bench-measure" "$cli" scan --format csv >"$tmp/cli.csv" 2>"$tmp/cli.err" || true
        rows=$(tr -d '\r' <"$tmp/cli.csv" | grep -c ',true$' || true) # RFC 4180 lines end in CR LF
        echo "$(grep '^MEASURE' "$tmp/cli.err" || echo MEASURE) complete_rows=$rows" >>"$tmp/cli.txt"
    done
    wall=$(field wall_ms <"$tmp/cli.txt" | median)
    peak=$(field peak_kib <"$tmp/cli.txt" | median | awk '{ printf "%.1f", $1 / 1024 }')
    rows=$(field complete_rows <"$tmp/cli.txt" | sort -n | head -1)
    if [[ -z "$wall" || "$wall" == "-" ]]; then
        failed=true
        say "veltra-find benchmark failed:"
        cat "$tmp/cli.err" >&2
    fi
    {
        echo "\`veltra-find scan --format csv\` (its default wait of 3000 ms) in the lab with veltra-devsim's"
        echo "default jitter; medians of $cli_runs run(s), the simulator started anew for each."
        echo
        echo "| N devices | runs | wall time, ms | peak resident memory, MiB | complete rows (fewest) |"
        echo "|---:|---:|---:|---:|---:|"
        echo "| $cli_count | $cli_runs | $wall | $peak | $rows |"
        echo
    } >>"$figures"
else
    echo "veltra-find was not built; nothing measured." >>"$figures"
    echo >>"$figures"
fi

# ---------------------------------------------------------------------------------------------
say "5/5 memory under made-up devices"
if [[ "$quick" == true ]]; then
    fake_count=2000
else
    fake_count=20000
fi
fake="$bench/veltra-bench-fake-devices"
# The sender plays the devices from lan while the program listens in host; both in one fresh lab.
with_fake_devices()
{
    local delay="$1"
    shift
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

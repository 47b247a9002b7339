#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# tessal-cli against the simulated device, run by hand:
#  a) start-to-exit time of `tessal-cli version` against the baseline
#     tessal-minimal-version (the same request with nothing around it), each
#     run 200 times in turn, as medians and their ratio;
#  b) 1000 calls with a mix of commands, the simulated device restarted
#     with a fault for every tenth call: every exit status against the
#     documented one, no call over 5 s, no tessal-cli left running.
# Builds nothing: usage `bench/cli_bench.sh [BUILD_DIR]` (default build),
# after building tessal-cli, tessal-devsim and tessal-minimal-version there.
# Prints one figure a line as `name value`; exits 1 when a check fails.
set -u

build=${1:-build}
case $build in
/*) ;;
*) build=$(pwd)/$build ;;
esac
cli=$build/cli/tessal-cli
devsim=$build/devsim/tessal-devsim
minimal=$build/bench/tessal-minimal-version
for program in "$cli" "$devsim" "$minimal"; do
    if [ ! -x "$program" ]; then
        echo "cli_bench: $program is missing; build tessal-cli tessal-devsim" \
            "tessal-minimal-version in $build first" >&2
        exit 2
    fi
done

pairs=200      # runs of each program in part a
calls=1000     # calls in part b
limit_ms=5000  # the longest a call in part b may take
target=1.5     # the ratio cli/minimal aimed at

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal-cli-bench.XXXXXX") || exit 2
tty=$work/tty
settings=$work/rvt_ini.txt
sim_pid=

stop_device() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
        sim_pid=
    fi
    rm -f "$tty"
}

# Starts the simulated device with the options given and waits until its
# link is there.
start_device() {
    stop_device
    "$devsim" "$tty" "$@" >/dev/null 2>&1 &
    sim_pid=$!
    tries=0
    while [ ! -e "$tty" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 500 ] || ! kill -0 "$sim_pid" 2>/dev/null; then
            echo "cli_bench: the simulated device did not start" >&2
            exit 2
        fi
        sleep 0.01
    done
}

trap 'stop_device; rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

printf '[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=1\r\nBOUD=38400\r\nCOM1=%s\r\n' \
    "$tty" >"$settings"

now_ns() { date +%s%N; }

# The median of the microseconds in a file, one a line, in milliseconds.
median_ms() {
    sort -n "$1" | awk '{ v[NR] = $1 }
        END { if (NR == 0) print "nan";
              else if (NR % 2) printf "%.3f\n", v[(NR + 1) / 2] / 1000;
              else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2000 }'
}

failed=0

# --- a) start-to-exit time --------------------------------------------------
start_device
cli_times=$work/cli_us
minimal_times=$work/minimal_us
: >"$cli_times"
: >"$minimal_times"
got=$("$cli" --settings "$settings" version 2>&1)
want=$("$minimal" "$tty" 2>&1)
if [ "$got" != "$want" ]; then
    echo "cli_bench: tessal-cli read '$got', the baseline '$want'" >&2
    exit 2
fi

if command -v hyperfine >/dev/null 2>&1; then
    # One hyperfine call a pair keeps the runs in turn (ABAB...); its own
    # start is not in the times, and -N leaves the shell out.
    echo "timer hyperfine"
    csv=$work/pair.csv
    i=0
    while [ "$i" -lt $((pairs + 3)) ]; do
        if ! hyperfine -N --runs 1 --style none --export-csv "$csv" \
            "'$cli' --settings '$settings' version" "'$minimal' '$tty'" >/dev/null 2>&1; then
            echo "cli_bench: a timed run failed" >&2
            exit 2
        fi
        # The first three pairs warm the caches and are not counted.  The
        # mean (of one run) is the sixth field from the end.
        if [ "$i" -ge 3 ]; then
            awk -F, 'NR == 2 { printf "%d\n", $(NF - 6) * 1e6 }' "$csv" >>"$cli_times"
            awk -F, 'NR == 3 { printf "%d\n", $(NF - 6) * 1e6 }' "$csv" >>"$minimal_times"
        fi
        i=$((i + 1))
    done
else
    # Without hyperfine: the clock read before and after each run.  Reading
    # it takes a process of its own; the median of two reads in a row is
    # printed and taken off both medians.
    echo "timer date"
    overhead=$work/overhead_us
    : >"$overhead"
    i=0
    while [ "$i" -lt $((pairs + 3)) ]; do
        t0=$(now_ns)
        "$cli" --settings "$settings" version >/dev/null 2>&1 || exit 2
        t1=$(now_ns)
        "$minimal" "$tty" >/dev/null 2>&1 || exit 2
        t2=$(now_ns)
        t3=$(now_ns)
        if [ "$i" -ge 3 ]; then
            echo $(((t1 - t0) / 1000)) >>"$cli_times"
            echo $(((t2 - t1) / 1000)) >>"$minimal_times"
            echo $(((t3 - t2) / 1000)) >>"$overhead"
        fi
        i=$((i + 1))
    done
    clock_ms=$(median_ms "$overhead")
    echo "clock_overhead_ms $clock_ms"
fi
cli_ms=$(median_ms "$cli_times")
minimal_ms=$(median_ms "$minimal_times")
if [ -n "${clock_ms:-}" ]; then
    cli_ms=$(awk -v a="$cli_ms" -v b="$clock_ms" 'BEGIN { printf "%.3f\n", a - b }')
    minimal_ms=$(awk -v a="$minimal_ms" -v b="$clock_ms" 'BEGIN { printf "%.3f\n", a - b }')
fi
ratio=$(awk -v a="$cli_ms" -v b="$minimal_ms" 'BEGIN { printf "%.2f\n", a / b }')
echo "runs_each $pairs"
echo "cli_median_ms $cli_ms"
echo "minimal_median_ms $minimal_ms"
echo "ratio $ratio"
echo "ratio_target $target"
if awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r <= t) }'; then
    echo "ratio_met yes"
else
    echo "ratio_met no"
    failed=1
fi

# --- b) a mix of commands and faults ------------------------------------------
# The command of index 0 to 9.
command_words() {
    case $1 in
    0) echo "version" ;;
    1) echo "imei" ;;
    2) echo "signal" ;;
    3) echo "restart" ;;
    4) echo "test" ;;
    5) echo "sim id" ;;
    6) echo "ftp get" ;;
    7) echo "jad get CASH_TYPE" ;;
    8) echo "clock" ;;
    9) echo "at AT+CSQ" ;;
    esac
}

statuses=$work/statuses
: >"$statuses"
unexpected=0
slow=0
longest=0
set -f # the command words are split, never globbed
start_device
loop_start=$(now_ns)
i=1
while [ "$i" -le "$calls" ]; do
    fault=plain
    options=
    want=0
    if [ $((i % 10)) -eq 0 ]; then
        # The k-th fault: the four kinds in turn, and each kind meets every
        # command over forty faults.
        k=$((i / 10 - 1))
        index=$(((k / 4) % 10))
        words=$(command_words "$index")
        case $((k % 4)) in
        0)
            fault=silent
            start_device --silent
            options="--timeout 300"
            want=4
            ;;
        1)
            fault=nak
            start_device --nak
            want=5
            ;;
        2)
            fault=bad-checksum
            start_device --bad-checksum
            # restart and test are answered by a lone ACK, which has no
            # checksum to break.
            case $words in
            restart | test) want=0 ;;
            *) want=5 ;;
            esac
            ;;
        3)
            fault=no-device
            stop_device
            want=3
            ;;
        esac
    else
        index=$((i % 10))
        words=$(command_words "$index")
    fi
    t0=$(now_ns)
    # shellcheck disable=SC2086 # options and words are split on purpose
    timeout 10 "$cli" --settings "$settings" $options $words >/dev/null 2>&1
    status=$?
    t1=$(now_ns)
    took=$(((t1 - t0) / 1000000))
    echo "$status" >>"$statuses"
    [ "$took" -gt "$longest" ] && longest=$took
    if [ "$took" -gt "$limit_ms" ]; then
        slow=$((slow + 1))
        echo "slow_call $i: $words ($fault) took $took ms"
    fi
    if [ "$status" -ne "$want" ]; then
        unexpected=$((unexpected + 1))
        echo "unexpected_status $i: $words ($fault) exit $status, documented $want"
    fi
    if [ "$fault" != plain ]; then
        start_device
    fi
    i=$((i + 1))
done
loop_end=$(now_ns)
set +f
stop_device

echo "calls $calls"
sort -n "$statuses" | uniq -c | awk '{ print "exit_" $2, $1 }'
echo "unexpected $unexpected"
echo "over_${limit_ms}ms $slow"
echo "longest_call_ms $longest"
echo "loop_total_s $(awk -v ns=$((loop_end - loop_start)) 'BEGIN { printf "%.1f\n", ns / 1e9 }')"

# Any tessal-cli of this build still running is one this loop left behind.
pattern=$(printf '%s\n' "$cli" | sed 's/[].[^$*+?(){}|\\]/\\&/g')
leftover=$(pgrep -f "^$pattern( |\$)" | wc -l)
echo "leftover_processes $leftover"

[ "$unexpected" -eq 0 ] && [ "$slow" -eq 0 ] && [ "$leftover" -eq 0 ] || failed=1
exit "$failed"

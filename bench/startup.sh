#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The console's start-up, run by hand: the time from starting the program to
# its first window being mapped, under a virtual display of its own, against
#  a) a bare Qt window of the same size with nothing in it, and
#  b) the same bare window with one caption in the console's font,
# each pair run alternately in one run of tessal-startup-bench (two warm-up
# rounds, then RUNS measured ones).  A window that shows any text pays for
# the font system's first load, which an empty one never does; b) shows the
# console's cost beyond that.
# Builds nothing: usage `bench/startup.sh [BUILD_DIR] [RUNS]` (default build,
# 40), after building tessal, tessal-startup-bench, tessal-bare-window and
# tessal-bare-text-window there.  Needs Xvfb.
# Prints one figure a line as `name value`; exits 1 when the ratio to the
# empty window is over the target.
set -u

build=${1:-build}
runs=${2:-40}
target=1.2 # the ratio console/empty window aimed at
case $build in
/*) ;;
*) build=$(pwd)/$build ;;
esac
console=$build/app/tessal
bench=$build/bench/tessal-startup-bench
empty=$build/bench/tessal-bare-window
caption=$build/bench/tessal-bare-text-window
for program in "$console" "$bench" "$empty" "$caption"; do
    if [ ! -x "$program" ]; then
        echo "startup: $program is missing; build tessal tessal-startup-bench" \
            "tessal-bare-window tessal-bare-text-window in $build first" >&2
        exit 2
    fi
done
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "startup: Xvfb is missing (apt-get install xvfb)" >&2
    exit 2
fi

# A display nobody else uses: the first free number from 90 on.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT INT TERM
tries=0
until [ -e "/tmp/.X11-unix/X$display" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "startup: Xvfb did not start on :$display" >&2
        exit 2
    fi
    sleep 0.05
done

# The programs' own chatter (a missing runtime folder, say) is not wanted.
runtime=$(mktemp -d "${TMPDIR:-/tmp}/tessal-startup.XXXXXX") || exit 2
chmod 700 "$runtime"
measure() {
    DISPLAY=":$display" XDG_RUNTIME_DIR=$runtime "$bench" "$console" "$1" "$runs" 2>/dev/null
}
empty_out=$(measure "$empty") || { echo "startup: the empty-window run failed" >&2; exit 2; }
caption_out=$(measure "$caption") || { echo "startup: the caption run failed" >&2; exit 2; }
rm -rf "$runtime"

figure() { printf '%s\n' "$1" | awk -v key="$2" '$1 == key { print $2 }'; }
ratio=$(figure "$empty_out" ratio)
echo "runs $runs"
echo "console_ms $(figure "$empty_out" console_first_window_ms)"
echo "empty_window_ms $(figure "$empty_out" bare_window_ms)"
echo "ratio_to_empty_window $ratio"
echo "console_ms_with_caption_run $(figure "$caption_out" console_first_window_ms)"
echo "caption_window_ms $(figure "$caption_out" bare_window_ms)"
echo "ratio_to_caption_window $(figure "$caption_out" ratio)"
echo "target_ratio_to_empty_window $target"
awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r <= t) }'

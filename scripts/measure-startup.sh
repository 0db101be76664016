#!/usr/bin/env bash
# Start-up time (launch to window mapped) and resident memory of Qelvara next
# to a bare Qt window with the same fonts, measured alternately in one run on
# a private Xvfb display.
#   scripts/measure-startup.sh BUILD_DIR [RUNS]
set -euo pipefail

dir=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-15}
qelvara=$dir/app/qelvara
bare=$dir/bench/bare_window
for f in "$qelvara" "$bare"; do
    [ -x "$f" ] || { echo "missing $f (build with QELVARA_UI and QELVARA_BENCH on)" >&2; exit 2; }
done

# The window's title comes from the build, so a new version needs no edit here.
# shellcheck source=/dev/null
. "$dir/identity.sh"
# shellcheck source=lib/xvfb.sh
. "$(dirname "$0")/lib/xvfb.sh"

tmp=$(mktemp -d)
cleanup() {
    xvfb_stop
    rm -rf "$tmp"
}
trap cleanup EXIT

xvfb_start
export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
unset QT_IM_MODULE

readonly window_timeout_ms=20000

# Prints "milliseconds rss_kib" for one launch of $1 whose window is titled $2.
measure() {
    local program=$1 title=$2 start end pid rss
    start=$(date +%s%N)
    "$program" >>"$tmp/log" 2>&1 &
    pid=$!
    # Polled briefly rather than with xdotool --sync, which looks only every
    # half second and would swamp the figure.
    until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null || { echo "$program exited early:" >&2; cat "$tmp/log" >&2; exit 1; }
        if [ $((($(date +%s%N) - start) / 1000000)) -gt "$window_timeout_ms" ]; then
            echo "no window titled '$title' from $program within ${window_timeout_ms} ms" >&2
            kill "$pid"
            exit 1
        fi
        sleep 0.01
    done
    end=$(date +%s%N)
    sleep 0.5 # let the first paint and font loading settle before reading memory
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "$(((end - start) / 1000000)) $rss"
}

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

measure "$bare" "Bare Qt window" >/dev/null # warm the font cache and the page cache
for _ in $(seq "$runs"); do
    measure "$qelvara" "$qelvara_title" >>"$tmp/qelvara"
    measure "$bare" "Bare Qt window" >>"$tmp/bare"
done

q_ms=$(cut -d' ' -f1 "$tmp/qelvara" | median)
b_ms=$(cut -d' ' -f1 "$tmp/bare" | median)
q_rss=$(cut -d' ' -f2 "$tmp/qelvara" | median)
b_rss=$(cut -d' ' -f2 "$tmp/bare" | median)
printf 'median of %d launches       Qelvara   bare Qt   ratio\n' "$runs"
printf 'launch to window shown (ms)  %7d   %7d   %.2f\n' "$q_ms" "$b_ms" "$(awk -v a="$q_ms" -v b="$b_ms" 'BEGIN {print a / b}')"
printf 'resident memory (KiB)        %7d   %7d   %.2f\n' "$q_rss" "$b_rss" "$(awk -v a="$q_rss" -v b="$b_rss" 'BEGIN {print a / b}')"

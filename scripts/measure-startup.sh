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

tmp=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n1 "$tmp/display")
export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
unset QT_IM_MODULE

# Prints "milliseconds rss_kib" for one launch of $1 whose window is titled $2.
measure() {
    local program=$1 title=$2 start end pid rss
    start=$(date +%s%N)
    "$program" >>"$tmp/log" 2>&1 &
    pid=$!
    until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null || { echo "$program exited early:" >&2; cat "$tmp/log" >&2; exit 1; }
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
    measure "$qelvara" "Qelvara v1.0" >>"$tmp/qelvara"
    measure "$bare" "Bare Qt window" >>"$tmp/bare"
done

q_ms=$(cut -d' ' -f1 "$tmp/qelvara" | median)
b_ms=$(cut -d' ' -f1 "$tmp/bare" | median)
q_rss=$(cut -d' ' -f2 "$tmp/qelvara" | median)
b_rss=$(cut -d' ' -f2 "$tmp/bare" | median)
printf 'median of %d launches       Qelvara   bare Qt   ratio\n' "$runs"
printf 'launch to window shown (ms)  %7d   %7d   %.2f\n' "$q_ms" "$b_ms" "$(awk -v a="$q_ms" -v b="$b_ms" 'BEGIN {print a / b}')"
printf 'resident memory (KiB)        %7d   %7d   %.2f\n' "$q_rss" "$b_rss" "$(awk -v a="$q_rss" -v b="$b_rss" 'BEGIN {print a / b}')"

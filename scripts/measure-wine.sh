#!/usr/bin/env bash
# The Windows program's figures under Wine, on a private Xvfb and a fresh
# prefix: start to first paint of qelvara's window next to a bare Win32
# window with the same fonts, launched alternately in one run (medians), and
# keystroke to sheet repaint (percentiles).
#   scripts/measure-wine.sh BUILD_DIR [RUNS]    (BUILD_DIR: the windows-bench preset's)
set -euo pipefail

dir=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-15}
startup=$dir/bench/win/startup_bench.exe
keystroke=$dir/bench/win/keystroke_bench.exe
for f in "$startup" "$keystroke"; do
    [ -f "$f" ] || { echo "missing $f (cmake --build --preset windows-bench)" >&2; exit 2; }
done
command -v wine >/dev/null || { echo "wine is missing (scripts/setup.sh test)" >&2; exit 2; }

# shellcheck source=lib/xvfb.sh
. "$(dirname "$0")/lib/xvfb.sh"
tmp=$(mktemp -d)
cleanup() {
    WINEPREFIX=$tmp/prefix wineserver --kill 2>/dev/null || true
    xvfb_stop
    rm -rf "$tmp"
}
trap cleanup EXIT
xvfb_start
export WINEPREFIX=$tmp/prefix
"$(dirname "$0")/e2e/wine.sh" --boot >/dev/null 2>&1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
# The last line of a run is its figure; wine prints its own notes before.
figure() { wine "$@" 2>/dev/null | tr -d '\r' | tail -n 1; }

figure "$startup" bare >/dev/null # the prefix's first start, and the font cache
for _ in $(seq "$runs"); do
    figure "$startup" form >>"$tmp/form"
    figure "$startup" bare >>"$tmp/bare"
done
f=$(median <"$tmp/form")
b=$(median <"$tmp/bare")
printf 'median of %d launches under Wine      qelvara   bare Win32   ratio\n' "$runs"
printf 'start to first paint (ms)          %9s   %10s   %.2f\n' "$f" "$b" \
    "$(awk -v a="$f" -v b="$b" 'BEGIN {print a / b}')"
wine "$keystroke" 2>/dev/null | tr -d '\r'

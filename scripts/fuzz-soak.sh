#!/usr/bin/env bash
# A long fuzz run outside CI, as users build the program (optimised, no
# sanitizers): COUNT sequences of 40 steps from seed FIRST, in chunks of 500,
# JOBS at a time; a chunk that crashes or stops at five failures goes on after
# the seed it stopped at, so every seed runs once. Then the given seeds alone.
#   scripts/fuzz-soak.sh FIRST COUNT [JOBS] [SEED...]
# Prints one line per failing or crashing seed and a summary; exits non-zero
# when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."
first=$1 count=$2 jobs=${3:-2}
shift $(($# < 3 ? $# : 3))

build=build/fuzz-soak
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQELVARA_BENCH=OFF >/dev/null
cmake --build "$build" --target ui_fuzz >/dev/null
work=$(mktemp -d)
cp "$build/tests/ui/ui_fuzz" "$work/" # later builds leave this run alone

chunk() { # FIRST COUNT: one line per run or crash into $work/FIRST.log
    local start=$1 end=$(($1 + $2)) out err
    while ((start < end)); do
        out=$(QT_QPA_PLATFORM=offscreen QELVARA_FUZZ_SEQUENCES=$((end - start)) \
            QELVARA_FUZZ_SEED=$start QELVARA_FUZZ_TRACE=1 "$work/ui_fuzz" \
            --gtest_filter='Fuzz.Random*' 2>"$work/$1.err") || true
        grep -E '^seed [0-9]+ step [0-9]+ \(' <<<"$out" | sed 's/^/FAIL /' >>"$work/$1.log" || true
        if grep -q '^fuzz:' <<<"$out"; then
            grep '^fuzz:' <<<"$out" >>"$work/$1.log"
            grep -q ' [0-4] failing$' <<<"$out" && break
            start=$(($(grep -E '^seed [0-9]+ step' <<<"$out" | tail -1 | cut -d' ' -f2) + 1))
        else # crashed: the trace names the last seed that started
            err=$(grep -E '^seed [0-9]+ step' "$work/$1.err" | tail -1 | cut -d' ' -f2)
            echo "CRASH seed ${err:-?}" >>"$work/$1.log"
            [ -n "$err" ] || break
            start=$((err + 1))
        fi
    done
}
export -f chunk
export work

t=$SECONDS
seq "$first" 500 $((first + count - 1)) |
    xargs -P "$jobs" -I{} bash -c "chunk {} \$(( $first + $count - {} < 500 ? $first + $count - {} : 500 ))"
for seed in "$@"; do chunk "$seed" 1; done
cat "$work"/*.log | grep -E '^(FAIL|CRASH)' || true
runs=$(cat "$work"/*.log | grep -cE '^fuzz:' || true)
bad=$(cat "$work"/*.log | grep -cE '^(FAIL|CRASH)' || true)
echo "fuzz-soak: seeds $first..$((first + count - 1)) and $*; $runs runs; $bad failing; $((SECONDS - t)) s"
rm -rf "$work"
[ "$bad" -eq 0 ]

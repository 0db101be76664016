#!/usr/bin/env bash
# Runs every benchmark executable under the given build directory and prints
# its figures. Usage: scripts/run-benchmarks.sh BUILD_DIR
set -euo pipefail

dir=${1:?usage: $0 BUILD_DIR}
mapfile -t benches < <(find "$dir" -type f -executable -name '*_bench' | sort)
if [ ${#benches[@]} -eq 0 ]; then
    echo "no benchmark executables under $dir" >&2
    exit 1
fi
for b in "${benches[@]}"; do
    echo "== $(basename "$b")"
    case $b in
    *engine_bench) "$b" --benchmark_counters_tabular=true ;;
    *) "$b" ;;
    esac
done

# Start-up time and memory next to a bare Qt window (needs the window build).
if [ -x "$dir/bench/bare_window" ] && [ -x "$dir/app/qelvara" ]; then
    echo "== start-up"
    "$(dirname "$0")/measure-startup.sh" "$dir"
fi

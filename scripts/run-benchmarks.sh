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
    "$b" --benchmark_counters_tabular=true
done

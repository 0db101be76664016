#!/usr/bin/env bash
# Builds the committed tree's Windows programs, installers and zips twice
# from nothing (make windows), with other build paths, time zones, locales,
# umasks, environments and homes, and compares them byte for byte: reprotest
# does the builds, diffoscope shows any difference (make check-windows).
#
#   scripts/windows-repro.sh
#
# Both builds' SHA256SUMS are printed; the builds and reprotest's log go to
# build/windows/reprotest/ and reprotest.log beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
say() { printf 'windows-repro: %s\n' "$*"; }

[ -z "$(git status --porcelain)" ] ||
    { say "the tree has uncommitted changes; commit or stash them first (git status)" >&2; exit 1; }
out=$PWD/build/windows/reprotest
log=$out.log
rm -rf "$out"
mkdir -p "$(dirname "$out")"
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
git archive HEAD | tar -x -C "$src"
# The commit's time, as make windows takes it in a checkout.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

reprotest --store-dir="$out" --min-cpus="$(nproc)" \
    --vary=-all,+build_path,+timezone,+locales,+umask,+environment,+home,+exec_path \
    -c 'make windows' "$src" 'build/windows/dist/*' -- null >"$log" 2>&1 || {
    tail -n 40 "$log"
    say "FAILED: the two builds differ (diffoscope: $out/experiment-1.diffoscope.out)"
    exit 1
}
for build in control experiment-1; do
    say "$build build:"
    cat "$out/$build/source-root/build/windows/dist/SHA256SUMS"
done
say "two builds from nothing are the same bytes"

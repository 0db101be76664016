#!/usr/bin/env bash
# The whole suite (make test) on the committed tree in a throwaway root of
# another Debian release, so that a machine of one release proves the other's
# Qt, compiler, compositors and input methods too:
#
#   scripts/suite-in-root.sh [RELEASE]   (default: trixie)
#
# autopkgtest runs it in a testbed made from the release's build root
# (scripts/lib/debian-roots.sh: this machine's apt mirror and proxy), as root
# there: make test installs the test lab into it first. Logs go to
# build/suite/RELEASE/.
set -euo pipefail
cd "$(dirname "$0")/.."
export HOME=${HOME:-$(getent passwd "$(id -un)" | cut -d: -f6)}
# shellcheck source=scripts/lib/debian-roots.sh
. scripts/lib/debian-roots.sh

rel=${1:-trixie}
say() { printf 'suite: %s\n' "$*"; }
case $rel in bookworm | trixie | unstable) ;; *) say "no root for '$rel': bookworm, trixie or unstable" >&2 && exit 2 ;; esac
roots_init || exit 1
tar=$HOME/.cache/qelvara/$rel-$(dpkg --print-architecture).tar.zst
root_tarball "$rel" buildd "$tar" || exit 1

dir=$PWD/build/suite/$rel
rm -rf "$dir"
mkdir -p "$dir"
tree=$(mktemp -d) control=$(mktemp)
trap 'rm -rf "$tree" "$control"' EXIT
git archive HEAD | tar -x -C "$tree"
cat >"$control" <<'EOF'
Test-Command: make test
Depends: ca-certificates, make
Restrictions: allow-stderr, needs-internet, needs-root
Features: test-name=make-test
EOF
t=$SECONDS
# -B: the tree's tests need no package built from it; -U: the root comes
# without package lists.
if autopkgtest -B -U --override-control="$control" -o "$dir/autopkgtest" "$tree/" \
    -- unshare -r "$rel" -t "$tar" >"$dir/autopkgtest.log" 2>&1; then
    say "$rel: make test passed in $((SECONDS - t)) s ($(grep -o '[0-9]*% tests passed.*' "$dir/autopkgtest.log" | tail -n 1))"
else
    grep -E '^[0-9]+% tests passed|The following tests|\*\*\*|Failed|\(Failed\)' "$dir/autopkgtest.log" | tail -n 30
    say "$rel: make test FAILED after $((SECONDS - t)) s (log: $dir/autopkgtest.log)"
    exit 1
fi

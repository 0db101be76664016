#!/usr/bin/env bash
# Builds the Debian package from the committed tree the way Debian does, in
# a clean root for each release named, and checks it with Debian's tools:
#
#   scripts/package.sh [--check] [RELEASE...]   (default: this machine's release)
#
# Without --check: dpkg-source, then sbuild in a throwaway root (the build runs
# the engine and window tests), with lintian -I -E --pedantic inside it.
# --check adds blhc, autopkgtest in a throwaway testbed of the same release
# (the whole suite too, where this machine's make test has not run it), and,
# for this machine's release, two builds here compared byte for byte
# (reprotest), which needs the build dependencies (setup.sh package).
# Nothing is installed on this machine but the packaging tools; the package
# never is. Results go to build/debian/RELEASE/, the roots to
# ~/.cache/sbuild/RELEASE-amd64.tar.zst (made once, refreshed after a week).
set -euo pipefail
cd "$(dirname "$0")/.."
# sbuild, autopkgtest and the roots' cache go by the home directory.
export HOME=${HOME:-$(getent passwd "$(id -un)" | cut -d: -f6)}

check=''
[ "${1:-}" != --check ] || { check=1; shift; }
[ $# -gt 0 ] || set -- "$(. /etc/os-release && echo "$VERSION_CODENAME")"

say() { printf 'package: %s\n' "$*"; }
die() {
    say "$*" >&2
    exit 1
}

# What is built is what is committed.
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || die "not a git checkout"
[ -z "$(git status --porcelain)" ] ||
    die "the tree has uncommitted changes; commit or stash them first (git status)"
# dpkg-parsechangelog only warns about a broken entry, and goes on.
problems=$(dpkg-parsechangelog -l debian/changelog 2>&1 >/dev/null || echo failed)
[ -z "$problems" ] || die "debian/changelog is broken; fix it (dch helps):
$problems"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
arch=$(dpkg --print-architecture)
host=$(. /etc/os-release && echo "$VERSION_CODENAME")

# sbuild and autopkgtest map ids through /etc/subuid even for root.
user=$(id -un)
grep -q "^$user:" /etc/subuid && grep -q "^$user:" /etc/subgid ||
    die "$user has no range in /etc/subuid and /etc/subgid; as root: usermod --add-subuids 100000-165535 --add-subgids 100000-165535 $user"

out=$PWD/build/debian
mkdir -p "$out"
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
git archive --prefix="qelvara-$version/" HEAD | tar -x -C "$src"
(cd "$src" && dpkg-source -b "qelvara-$version" >/dev/null) || die "dpkg-source failed"
dsc=$src/qelvara_$version.dsc

root() { # RELEASE: sets tar, a buildd root from the archive, refreshed weekly
    tar=$HOME/.cache/sbuild/$1-$arch.tar.zst
    mkdir -p "$(dirname "$tar")"
    if [ -z "$(find -L "$tar" -mtime -7 2>/dev/null)" ]; then
        say "$1: making the build root"
        # mmdebstrap picks the format from the name's ending.
        mmdebstrap --variant=buildd --mode=unshare --quiet "$1" "${tar%.tar.zst}.new.tar.zst" \
            "deb http://deb.debian.org/debian $1 main" \
            "deb http://deb.debian.org/debian $1-updates main" \
            "deb http://deb.debian.org/debian-security $1-security main" ||
            die "$1: mmdebstrap failed (no network to the archive?)"
        mv "${tar%.tar.zst}.new.tar.zst" "$tar"
    fi
}

status=0
for rel in "$@"; do
    dir=$out/$rel
    rm -rf "$dir"
    mkdir -p "$dir"
    root "$rel"
    t=$SECONDS
    # The changelog says unstable; -d keeps lintian's distribution check quiet.
    if ! (cd "$dir" && sbuild --chroot-mode=unshare -c "$rel-$arch" -d unstable \
        --source --no-apt-upgrade --no-apt-distupgrade \
        --run-lintian --lintian-opts="-I -E --pedantic --fail-on=error,warning" \
        --no-run-autopkgtest --build-dir="$dir" "$dsc" >"$dir/sbuild.log" 2>&1); then
        tail -n 40 "$dir/sbuild.log"
        say "$rel: build or lintian FAILED after $((SECONDS - t)) s (log: $dir/sbuild.log)"
        status=1
        continue
    fi
    build_log=$dir/qelvara_${version}_$arch.build
    # lintian's tags, then sbuild's verdict: pass, or info for info tags
    # alone, each explained in debian/.
    sed -n '/^Running lintian/,/Lintian run/p' "$build_log" | grep -v '^running with root' | sed "s/^/$rel: /"
    if ! grep -q -E '^Lintian: (pass|info)$' "$build_log"; then
        say "$rel: lintian FAILED (log: $build_log)"
        status=1
        continue
    fi
    say "$rel: built, tested and linted clean in $((SECONDS - t)) s"
    [ -n "$check" ] || continue

    # CMake 3.31's automoc asks the compiler for its predefined macros
    # (-dM -E, nothing compiled), a line blhc takes for a compile.
    blhc --all --debian --ignore-line '.* -dM -E -c \S*/CMakeCXXCompilerABI\.cpp .*' "$build_log" &&
        say "$rel: blhc clean" || { say "$rel: blhc FAILED"; status=1; }

    t=$SECONDS
    # The whole suite only where make test on this machine has not run it.
    skip=()
    [ "$rel" != "$host" ] || skip=(--skip-test=suite)
    # -U: mmdebstrap's roots come without package lists.
    autopkgtest -U -o "$dir/autopkgtest" "$dir/qelvara_${version}_$arch.changes" \
        "${skip[@]}" -- unshare -r "$rel" -t "$tar" >"$dir/autopkgtest.log" 2>&1 &&
        say "$rel: autopkgtest passed in $((SECONDS - t)) s" ||
        { tail -n 30 "$dir/autopkgtest.log"; say "$rel: autopkgtest FAILED"; status=1; }

    # Two builds on this machine, of its own release, compared byte for byte.
    [ "$rel" = "$host" ] || continue
    t=$SECONDS
    DEB_BUILD_OPTIONS=nocheck reprotest --store-dir="$dir/reprotest" \
        --vary=-all,+build_path,+timezone,+locales,+umask,+environment,+home,+exec_path \
        "$dsc" -- null >"$dir/reprotest.log" 2>&1 &&
        say "$rel: reproducible: two builds with other paths, time zones, locales and umasks are identical ($((SECONDS - t)) s)" ||
        { tail -n 30 "$dir/reprotest.log"; say "$rel: reprotest FAILED (diffoscope: $dir/reprotest)"; status=1; }
done
exit "$status"

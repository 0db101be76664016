#!/usr/bin/env bash
# Builds the Debian package from the committed tree the way Debian does, in a
# clean root of each release named, and checks it with Debian's tools:
#
#   scripts/package.sh [--check] [--release] [--binnmu N] [RELEASE...]
#
# RELEASE: bookworm, trixie or unstable (sid); by default this machine's.
#
# What is built: when the committed tree is the release that
# debian/changelog names (1.0.0-1), that release, from the upstream tarball
# `git archive` makes of its tag, v1.0.0, or without the tag of the first
# commit whose changelog released it. Otherwise a snapshot of the committed
# tree, 1.0.0+gitYYYYMMDD.HASH-1 (~git before 1.0.0 is released): its
# tarball from HEAD and a changelog entry added. --release builds the
# release whatever the tree is. Each release's .debs carry its own version,
# 1.0.0-1~deb12u1 and ~deb13u1 (unstable's none), so that one apt repository
# holds them all; --binnmu N makes Debian's binary rebuild, 1.0.0-1+bN, as
# the archive makes it (each suite's, so without those endings).
#
# sbuild builds it (with the engine and window tests), then lintian -I -E
# --pedantic of that release judges it in the build root. --check adds blhc,
# autopkgtest in a testbed of the release, piuparts (install, purge, and
# upgrade from the last release's package) and, for this machine's release
# or else the first named, reprotest: two builds with time, file order, CPU
# count, locales, user, path and umask varied, compared byte for byte.
# Nothing is installed on this machine; everything runs in throwaway roots
# (scripts/lib/debian-roots.sh) from this machine's apt mirror and proxy.
# Results go to build/debian/RELEASE/.
set -euo pipefail
cd "$(dirname "$0")/.."
# sbuild, autopkgtest and the roots' cache go by the home directory.
export HOME=${HOME:-$(getent passwd "$(id -un)" | cut -d: -f6)}
# shellcheck source=scripts/lib/debian-roots.sh
. scripts/lib/debian-roots.sh

check='' release='' binnmu=''
while [ $# -gt 0 ]; do
    case $1 in
    --check) check=1 ;;
    --release) release=1 ;;
    --binnmu) binnmu=${2:-} && shift ;;
    -*) sed -n 5p "$0" >&2 && exit 2 ;;
    *) break ;;
    esac
    shift
done
[[ $binnmu =~ ^[0-9]*$ ]] || { sed -n 5p "$0" >&2 && exit 2; }

say() { printf 'package: %s\n' "$*"; }
die() {
    say "$*" >&2
    exit 1
}

host=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ $# -gt 0 ] || set -- "$host"
rels=()
for rel; do
    [ "$rel" != sid ] || rel=unstable
    case $rel in
    bookworm | trixie | unstable) rels+=("$rel") ;;
    *) die "the package is built for bookworm, trixie and unstable, and '$rel' is none of them ($(. /etc/os-release && echo "$PRETTY_NAME") here): name them, as in scripts/package.sh trixie or make package RELEASES=trixie" ;;
    esac
done

git rev-parse --is-inside-work-tree >/dev/null 2>&1 || die "not a git checkout"
[ -z "$(git status --porcelain)" ] ||
    die "the tree has uncommitted changes; commit or stash them first (git status)"
# dpkg-parsechangelog only warns about a broken entry, and goes on.
problems=$(dpkg-parsechangelog -l debian/changelog 2>&1 >/dev/null || echo failed)
[ -z "$problems" ] || die "debian/changelog is broken; fix it (dch helps):
$problems"
roots_init || exit 1
arch=$(dpkg --print-architecture)
maintainer=$(sed -n 's/^Maintainer: //p' debian/control)

# Release UPSTREAM's commit: its tag, or the first commit whose changelog
# released an entry of it (tags may be lost on the way; commits are not).
release_commit() {
    git rev-parse -q --verify "refs/tags/v$1^{commit}" ||
        git log --reverse --format=%H -G"^qelvara \\(${1//./\\.}-[^)]*\\) [a-z]" -- debian/changelog | head -n 1
}
cmake_version() { # COMMIT
    git show "$1:CMakeLists.txt" | sed -n 's/^project(Qelvara VERSION \([^ ]*\) .*/\1/p'
}
changelog_version() { # COMMIT [ENTRY]: the version of that entry (0: the newest)
    git show "$1:debian/changelog" | dpkg-parsechangelog -l- -o "${2:-0}" -c 1 -S Version
}

# The release of UPSTREAM at its commit: sets commit and version, after the
# release check that a Debian rebuild must never meet: the tag, CMake's
# version and the changelog agree.
use_release() {
    commit=$(release_commit "$1")
    version=$(changelog_version "$commit")
    [ "$(cmake_version "$commit")" = "$1" ] && [ "${version%-*}" = "$1" ] ||
        die "release $1 ($(git rev-parse --short "$commit")) disagrees with itself: CMakeLists.txt says $(cmake_version "$commit"), debian/changelog $version"
    git rev-parse -q --verify "refs/tags/v$1" >/dev/null ||
        say "no tag v$1 here: release $1 is commit $(git rev-parse --short "$commit"), the first to release it in debian/changelog (to tag it: git tag v$1 $(git rev-parse --short "$commit"))"
}

src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
# The source package of COMMIT as VERSION, in its own directory under $src;
# SNAPSHOT (a commit time) adds a changelog entry for it. Prints the .dsc.
source_package() { # COMMIT VERSION [SNAPSHOT]
    local upstream=${2%-*} dir=$src/$2
    mkdir -p "$dir"
    # Upstream's tarball is the tree without its packaging, which comes apart.
    git archive --format=tar.gz --prefix="qelvara-$upstream/" -o "$dir/qelvara_$upstream.orig.tar.gz" \
        "$1" -- . ':!debian'
    tar -xzf "$dir/qelvara_$upstream.orig.tar.gz" -C "$dir"
    git archive --prefix="qelvara-$upstream/" "$1" debian | tar -x -C "$dir"
    if [ -n "${3:-}" ]; then
        { printf 'qelvara (%s) unstable; urgency=medium\n\n  * Snapshot of %s, not a release.\n\n' \
            "$2" "$(git rev-parse --short=7 "$1")"
          printf ' -- %s  %s\n\n' "$maintainer" "$(date -u -R -d "@$3")"
          cat "$dir/qelvara-$upstream/debian/changelog"; } >"$dir/changelog"
        mv "$dir/changelog" "$dir/qelvara-$upstream/debian/changelog"
    fi
    (cd "$dir" && dpkg-source -b "qelvara-$upstream" >/dev/null) || die "dpkg-source failed"
    echo "$dir/qelvara_$2.dsc"
}

# What to build.
upstream=$(changelog_version HEAD | sed 's/-[^-]*$//')
if [ -n "$(release_commit "$upstream")" ] &&
    { [ -n "$release" ] || git diff --quiet "$(release_commit "$upstream")" HEAD; }; then
    use_release "$upstream"
    say "building release $version from $(git rev-parse --short "$commit")"
    dsc=$(source_package "$commit" "$version")
else
    [ -z "$release" ] || die "debian/changelog's $upstream has no release: no tag v$upstream, and no commit releases it"
    base=$(cmake_version HEAD)
    dpkg --compare-versions "$base" ge "$upstream" ||
        die "CMakeLists.txt's version $base is older than debian/changelog's $upstream"
    # After its release a snapshot sorts above it (+git), before it below (~git).
    [ -n "$(release_commit "$base")" ] && sep=+ || sep='~'
    time=$(git log -1 --format=%ct HEAD)
    version=$base${sep}git$(date -u -d "@$time" +%Y%m%d).$(git rev-parse --short=7 HEAD)-1
    say "building snapshot $version of the committed tree (a release builds from its tag: --release)"
    dsc=$(source_package HEAD "$version" "$time")
fi
built=$version

# The last release before what is built, for piuparts' upgrade: the newest
# changelog entry older than it whose upstream version has a release.
last=''
if [ -n "$check" ]; then
    for ((i = 0; ; i++)); do
        v=$(changelog_version HEAD "$i")
        [ -n "$v" ] || break
        if dpkg --compare-versions "$v" lt "$built" && [ -n "$(release_commit "${v%-*}")" ]; then
            use_release "${v%-*}"
            last=$version
            last_dsc=$(source_package "$commit" "$version")
            break
        fi
    done
fi

out=$PWD/build/debian
# sbuild's roots live apart from any the user keeps in ~/.cache/sbuild.
# Trixie's sbuild makes and refreshes them itself, weekly, told here which
# mirror and proxy to make them from; older ones take those made here.
cache=$HOME/.cache/qelvara
mkdir -p "$cache/sbuild"
sbuild() { XDG_CACHE_HOME=$cache command sbuild "$@"; }
sbuild_config=''
if dpkg --compare-versions "$(dpkg-query -W -f='${Version}' sbuild)" ge 0.87; then
    perl_string() { local s=${1//\\/\\\\}; printf "'%s', " "${s//\'/\\\'}"; }
    sbuild_config=$src/sbuild.conf
    {
        echo '$unshare_mmdebstrap_keep_tarball = 1;'
        echo '$unshare_mmdebstrap_extra_args = ['
        for rel in "${rels[@]}"; do
            printf "    '%s' => [" "$rel-$arch"
            for arg in "${aptopts[@]}"; do perl_string "$arg"; done
            while read -r line; do perl_string "$line"; done < <(root_sources "$rel")
            echo '],'
        done
        echo '];'
    } >"$sbuild_config"
    export SBUILD_CONFIG=$sbuild_config
fi
# Runs sbuild on DSC for rel into DIR; with nocheck, only the .debs (no
# tests, no lintian). Sets changes and build_log.
build() { # DSC DIR [nocheck]
    local v opts=(--chroot-mode=unshare -c "$rel-$arch" -d "$rel" --no-apt-upgrade --no-apt-distupgrade
        --no-run-autopkgtest --build-dir="$2")
    v=$(basename "$1" .dsc)
    v=${v#qelvara_}$suffix${binnmu:++b$binnmu}
    changes=$2/qelvara_${v}_$arch.changes build_log=$2/qelvara_${v}_$arch.build
    if [ -n "${3:-}" ]; then
        opts+=(--no-run-lintian --profiles=nocheck)
    else
        opts+=(--run-lintian --lintian-opts="$lintian_opts")
    fi
    # Binary-only with a version of their own; sbuild has lintian check the
    # source from the .dsc then, and Debian 12's lintian takes the .debs of
    # such a .changes for another source's and leaves them out: named here.
    if [ -n "$suffix$binnmu" ]; then
        [ -n "${3:-}" ] || opts+=(--lintian-opt="qelvara_${v}_$arch.deb" --lintian-opt="qelvara-dbgsym_${v}_$arch.deb")
    else
        opts+=(--source)
    fi
    [ -z "$suffix" ] || opts+=(--append-to-version="$suffix" --maintainer="$maintainer")
    [ -z "$binnmu" ] || opts+=(--binNMU="$binnmu" --make-binNMU="Rebuild on $rel." --maintainer="$maintainer")
    mkdir -p "$2"
    (cd "$2" && DEB_BUILD_OPTIONS=${3:-} sbuild "${opts[@]}" "$1" >"$2/sbuild.log" 2>&1)
}

# piuparts in a minimal root of rel: CHANGES's .debs install and purge
# cleanly, and upgrade from the last release's package, built here too and
# offered to the root as an archive of its own.
piuparts_check() { # CHANGES
    local base=$cache/$rel-$arch-minbase.tar.gz repo=$dir/last-release lines=()
    local opts=(--basetgz="$base" --distribution="$rel" --log-file="$dir/piuparts.log") piuparts=(piuparts)
    # Debian 13's debconf leaves its own directory for apt's extracted
    # templates behind, which Debian 12's piuparts does not know yet.
    opts+=(--ignore=/var/cache/debconf/tmp.ci/)
    root_tarball "$rel" minbase "$base" || return 1
    mapfile -t lines < <(root_sources "$rel")
    opts+=(--mirror="$mirror main")
    for line in "${lines[@]:1}"; do opts+=(--extra-repo="$line"); done
    if [ -n "$last" ]; then
        if ! build "$last_dsc" "$repo" nocheck; then
            say "$rel: the last release, $last, did not build (log: $repo/sbuild.log)"
            return 1
        fi
        (cd "$repo" && dpkg-scanpackages . >Packages 2>/dev/null)
        opts+=(--bindmount="$repo" --extra-repo="deb [trusted=yes] file://$repo ./")
    else
        say "$rel: piuparts: no earlier release to upgrade from"
    fi
    # Before 1.5 (Debian 12) piuparts runs only as root.
    if [ "$(id -u)" -ne 0 ] && dpkg --compare-versions "$(dpkg-query -W -f='${Version}' piuparts)" lt 1.5; then
        piuparts=(sudo piuparts)
    fi
    if ! "${piuparts[@]}" "${opts[@]}" "$1" >/dev/null 2>&1; then
        tail -n 30 "$dir/piuparts.log"
        say "$rel: piuparts FAILED (log: $dir/piuparts.log)"
        return 1
    fi
    say "$rel: piuparts passed: install, purge${last:+, upgrade from $last$suffix} ($((SECONDS - t)) s)"
}

# reprotest in a throwaway root of rel with the build dependencies and
# reprotest's recommends: DSC built twice, the second time with another time
# (faketime), file order (disorderfs), CPU count, locale, user, build path,
# umask, time zone, environment and home, and the .debs compared byte for
# byte (diffoscope shows any difference).
reprotest_check() { # DSC
    local lines=() mode=(mmdebstrap --mode=unshare) in=/srv/$(basename "$(dirname "$1")")
    mapfile -t lines < <(root_sources "$rel")
    # disorderfs mounts through /dev/fuse as the second user, and the
    # machine's may be root's alone: root gives the root a node of its own
    # that the user may open, in a mount namespace of its own, which keeps
    # the root's mounts from the machine; another user's root borrows the
    # machine's node.
    [ "$(id -u)" -ne 0 ] || mode=(unshare --mount --propagation private mmdebstrap --mode=root)
    cat >"$src/reprotest.sh" <<EOS
cd $in && DEB_BUILD_OPTIONS=nocheck reprotest --store-dir=/srv/reprotest/out \\
    --vary=-all,+time,+fileordering,+num_cpus,+locales,+user_group,+build_path,+umask \\
    --vary=+timezone,+environment,+home,+exec_path,+kernel,+aslr \\
    --vary=user_group.available+=builder:builder $(basename "$1") -- null
EOS
    rm -rf "$dir/reprotest"
    mkdir -p "$dir/reprotest"
    "${mode[@]}" --variant=buildd --quiet "${aptopts[@]}" \
        --include=reprotest,faketime,disorderfs,locales-all,sudo,diffoscope-minimal \
        --customize-hook="copy-in $(dirname "$1") $src/reprotest.sh /srv" \
        --customize-hook="chroot \"\$1\" apt-get build-dep -q -y --no-install-recommends $in/$(basename "$1") >/dev/null" \
        --customize-hook='chroot "$1" useradd --create-home builder' \
        --customize-hook='echo "127.0.1.1 $(uname -n)" >>"$1/etc/hosts"' \
        --customize-hook='ln -sf ../proc/self/mounts "$1/etc/mtab"' \
        --customize-hook='mknod -m 666 "$1/dev/fuse" c 10 229 2>/dev/null || { touch "$1/dev/fuse" && mount --bind /dev/fuse "$1/dev/fuse"; }' \
        --customize-hook='mkdir -p "$1/srv/reprotest" && { chroot "$1" sh /srv/reprotest.sh >"$1/srv/reprotest/log" 2>&1; echo $? >"$1/srv/reprotest/status"; }' \
        --customize-hook='umount "$1/dev/fuse" 2>/dev/null || true' \
        --customize-hook="sync-out /srv/reprotest $dir/reprotest" \
        "$rel" /dev/null "${lines[@]}" >"$dir/reprotest.log" 2>&1 || true
    if [ "$(cat "$dir/reprotest/status" 2>/dev/null)" != 0 ]; then
        tail -n 30 "$dir/reprotest/log" "$dir/reprotest.log" 2>/dev/null
        say "$rel: reprotest FAILED (log: $dir/reprotest/log; diffoscope: $dir/reprotest/out)"
        return 1
    fi
    say "$rel: reproducible: two builds with other times, file orders, CPU counts, locales, users, paths and umasks are identical ($((SECONDS - t)) s)"
}

# Everything for one release; its status.
for_release() {
    rel=$1
    local status=0
    dir=$out/$rel
    rm -rf "$dir"
    mkdir -p "$dir"
    made=$cache/sbuild/$rel-$arch.made
    if [ -n "$sbuild_config" ]; then
        tar=$cache/sbuild/$rel-$arch.tar
        # sbuild's root from another mirror or proxy is made again.
        [ "$(cat "$made" 2>/dev/null)" = "$(root_made "$rel" buildd)" ] || rm -f "$tar"
    else
        tar=$cache/$rel-$arch.tar.zst
        root_tarball "$rel" buildd "$tar" || return 1
        ln -sf "$tar" "$cache/sbuild/"
    fi
    case $rel$binnmu in
    bookworm) suffix='~deb12u1' ;;
    trixie) suffix='~deb13u1' ;;
    *) suffix='' ;;
    esac
    lintian_opts="-I -E --pedantic --fail-on=error,warning"
    # A release's lintian knows only the policy of its day. Debian 12's
    # counts a warning it shows overridden as one that fails the run, so the
    # overrides show from Debian 13 on.
    case $rel in
    bookworm) lintian_opts+=" --suppress-tags=newer-standards-version" ;;
    trixie) lintian_opts+=" --suppress-tags=newer-standards-version --show-overrides" ;;
    *) lintian_opts+=" --show-overrides" ;;
    esac

    t=$SECONDS
    if ! build "$dsc" "$dir"; then
        tail -n 40 "$dir/sbuild.log"
        say "$rel: build or lintian FAILED after $((SECONDS - t)) s (log: $dir/sbuild.log)"
        return 1
    fi
    [ -z "$sbuild_config" ] || root_made "$rel" buildd >"$made"
    # lintian's tags, then sbuild's verdict: pass, or info for info tags
    # alone, each explained in debian/README.source.
    sed -n '/^Running lintian/,/Lintian run/p' "$build_log" | grep -v '^running with root' | sed "s/^/$rel: /"
    if ! grep -q -E '^Lintian: (pass|info)$' "$build_log"; then
        say "$rel: lintian FAILED (log: $build_log)"
        return 1
    fi
    say "$rel: $(basename "$changes" "_$arch.changes" | sed 's/qelvara_//') built, tested and linted clean in $((SECONDS - t)) s"
    [ -n "$check" ] || return 0
    local built_changes=$changes

    # CMake 3.31's automoc asks the compiler for its predefined macros
    # (-dM -E, nothing compiled), a line blhc takes for a compile.
    blhc --all --debian --ignore-line '.* -dM -E -c \S*/CMakeCXXCompilerABI\.cpp .*' "$build_log" &&
        say "$rel: blhc clean" || { say "$rel: blhc FAILED"; status=1; }

    t=$SECONDS
    # -U: mmdebstrap's roots come without package lists.
    autopkgtest -U -o "$dir/autopkgtest" "$built_changes" -- unshare -r "$rel" -t "$tar" \
        >"$dir/autopkgtest.log" 2>&1 &&
        say "$rel: autopkgtest passed in $((SECONDS - t)) s" ||
        { tail -n 30 "$dir/autopkgtest.log"; say "$rel: autopkgtest FAILED"; status=1; }

    t=$SECONDS
    piuparts_check "$built_changes" || status=1

    if [ "$rel" = "$reprotest_rel" ]; then
        t=$SECONDS
        reprotest_check "$dsc" || status=1
    fi
    return "$status"
}

# reprotest once: in trixie, or else the first release named. Debian 12's
# reprotest (0.7.23) runs the other user's build through sudo -h localhost,
# which its sudo refuses.
reprotest_rel=${rels[0]}
[[ " ${rels[*]} " != *" trixie "* ]] || reprotest_rel=trixie
mkdir -p "$out"
if [ ${#rels[@]} -eq 1 ]; then
    for_release "${rels[0]}"
    exit
fi
# Releases side by side: one's downloads and installs beside another's
# compiling. Each one's report when it is done.
say "${rels[*]} side by side; their reports follow in turn (whole logs: build/debian/RELEASE.log)"
declare -A pids=()
for rel in "${rels[@]}"; do
    for_release "$rel" >"$out/$rel.log" 2>&1 &
    pids[$rel]=$!
done
status=0
for rel in "${rels[@]}"; do
    wait "${pids[$rel]}" || status=1
    cat "$out/$rel.log"
done
exit "$status"

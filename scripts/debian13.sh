#!/usr/bin/env bash
# Runs make targets on a fresh clone of this repository's committed HEAD
# inside a Debian 13 (trixie) root, beside the Debian 12 host.
#
#   scripts/debian13.sh [TARGET...]   make TARGET... in the root (default: test)
#   scripts/debian13.sh --shell       an interactive shell in the root, in the clone
#   scripts/debian13.sh --discard     remove the working root (keeps the pristine base)
#   scripts/debian13.sh --discard-all remove the working root and the base
#
# The roots live outside the repository, in $QELVARA_DEB13_CACHE
# (default /var/cache/qelvara):
#   trixie-base/  debootstrap --variant=minbase, made once, never changed
#   trixie/       a copy of the base with make and git, and whatever the
#                 project's scripts/setup.sh installs, so later runs are quick
#   trixie.lock   one run at a time per cache
# The Debian archive is the one apt uses on this host (QELVARA_DEB13_MIRROR
# overrides it).
#
# Everything mounted for a run (proc, /dev, /dev/pts, /sys, tmpfs on /dev/shm
# and /tmp) lives in a private mount namespace, so the host never sees it and
# it is gone when the run ends, however it ends. Nothing is ever removed while
# anything is mounted under a root or a process still runs inside it: rm -rf
# through a bound /dev would delete the host's device nodes.
set -euo pipefail

readonly suite=trixie
path_env=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

say() { printf 'debian13: %s\n' "$*" >&2; }
die() {
    say "$*"
    exit 1
}

# --- inside the private namespaces (pid 1 there): mount, run, unmount ---------
if [ "${1:-}" = --inside ]; then
    root=$2
    shift 2
    mounted=()
    unmount_all() {
        local i
        for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
            umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" ||
                say "could not unmount ${mounted[i]}"
        done
        mounted=()
    }
    trap unmount_all EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    mnt() { # mount ARGS... TARGET, remembered for unmounting
        mount "$@"
        mounted+=("${*: -1}")
    }
    # Private: nothing mounted here propagates back to the host.
    mount --make-rprivate /
    mnt -t proc proc "$root/proc"
    mnt --bind /sys "$root/sys"
    mount -o remount,bind,ro "$root/sys"
    # Without --rbind: the host's own /dev/pts and /dev/shm stay out.
    mnt --bind /dev "$root/dev"
    mnt --bind /dev/pts "$root/dev/pts"
    mnt -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
    mnt -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"
    status=0
    chroot "$root" /usr/bin/env -i HOME=/root PATH="$path_env" LANG=C.UTF-8 \
        TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive "$@" || status=$?
    exit "$status"
fi

# --- on the host -------------------------------------------------------------
[ "$(id -u)" -eq 0 ] || die "must run as root (it debootstraps, mounts and chroots); try: sudo $0 $*"
# A fresh host lacks debootstrap: setup installs it as it installs the rest.
command -v debootstrap >/dev/null || "$(dirname "$0")/setup.sh" debootstrap ||
    die "could not install debootstrap"
for tool in debootstrap unshare chroot flock git; do
    command -v "$tool" >/dev/null || die "$tool is missing (apt-get install debootstrap util-linux coreutils git)"
done

self=$(readlink -f "$0")
repo=$(git -C "$(dirname "$self")" rev-parse --show-toplevel)
cache=${QELVARA_DEB13_CACHE:-/var/cache/qelvara}
mkdir -p "$cache"
cache=$(readlink -f "$cache")
case $cache in
/ | "" | *[[:space:]]*) die "QELVARA_DEB13_CACHE must be a directory other than / without blanks: '$cache'" ;;
esac
base=$cache/$suite-base
root=$cache/$suite
clone_dir=/src/qelvara

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.0f s", b - a }'; }
start_all=$(now)

# Is anything mounted at or below $1 in any mount namespace, or does any
# process have its root or working directory there?
busy() {
    local dir=$1 f
    # /proc/PID/mounts of every process covers every namespace.
    for f in /proc/self/mounts /proc/[0-9]*/mounts; do
        awk -v d="$dir" '$2 == d || index($2, d "/") == 1 { found = 1 } END { exit !found }' \
            "$f" 2>/dev/null && return 0
    done
    for f in /proc/[0-9]*/root /proc/[0-9]*/cwd; do
        case $(readlink "$f" 2>/dev/null) in
        "$dir" | "$dir"/*) return 0 ;;
        esac
    done
    return 1
}

# The one way anything under the cache is removed.
safe_rm() {
    local dir
    [ -e "$1" ] || return 0
    dir=$(readlink -f "$1")
    case $dir in
    "$cache"/?*) ;;
    *) die "refusing to remove $dir: not inside $cache" ;;
    esac
    if busy "$dir"; then
        die "refusing to remove $dir: something is mounted in it or runs in it (see /proc/*/mounts)"
    fi
    # --one-file-system as well: never cross into another file system.
    rm -rf --one-file-system "$dir"
}

# The archive apt uses here: the URI of the source that serves the host's own
# suite, and of the one that serves its -security suite (deb822 or one-line).
host_archive() { # SUFFIX ("" or -security)
    local want deb822=() oneline=()
    want=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")$1
    shopt -s nullglob
    deb822=(/etc/apt/sources.list.d/*.sources)
    oneline=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list)
    shopt -u nullglob
    [ ${#deb822[@]} -eq 0 ] || awk -v want="$want" '
        FNR == 1 || /^[[:space:]]*$/ { uri = ""; hit = 0 }
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == want) hit = 1 }
        uri != "" && hit { print uri; exit }' "${deb822[@]}"
    local f
    for f in "${oneline[@]}"; do
        [ -f "$f" ] || continue
        awk -v want="$want" '$1 == "deb" {
            i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
            if ($(i + 1) == want) { print $i; exit } }' "$f"
    done
}

mirror=${QELVARA_DEB13_MIRROR:-$(host_archive "" | sed -n 1p)}
mirror=${mirror:-http://deb.debian.org/debian}
security=$(host_archive -security | sed -n 1p)
security=${security:-${mirror%/debian}/debian-security}

# A root made by debootstrap that finished: it removes its own work directory
# at the end.
complete_root() { [ -x "$1/usr/bin/apt-get" ] && [ ! -e "$1/debootstrap" ]; }

# The host's name servers. A symlink there would point into the host's own
# /run: replace it, never write through it.
copy_resolv_conf() {
    rm -f "$1/etc/resolv.conf"
    cp -L /etc/resolv.conf "$1/etc/resolv.conf"
}

in_root() { # DIR CMD... in private mount and pid namespaces
    local dir=$1
    shift
    copy_resolv_conf "$dir"
    # --kill-child: when unshare dies, the namespace dies, and every process
    # and mount in it with it. unshare ignores INT and TERM, so an interrupted
    # or killed-by-CI run passes KILL on; a package install cut short that way
    # is finished by the dpkg --configure -a each run starts with.
    local ns st
    unshare --mount --pid --fork --kill-child --propagation private -- \
        "$self" --inside "$dir" "$@" <&0 &
    ns=$!
    trap 'kill -KILL "$ns" 2>/dev/null' INT TERM HUP
    while :; do
        wait "$ns" && st=0 || st=$?
        kill -0 "$ns" 2>/dev/null || break
    done
    trap - INT TERM HUP
    return "$st"
}

# --- one run at a time ------------------------------------------------------
exec 9>"$cache/$suite.lock"
if ! flock -n 9; then
    say "another run holds $cache/$suite.lock; waiting"
    flock 9
fi

case ${1:-} in
--discard | --discard-all)
    safe_rm "$root"
    safe_rm "$root.new"
    say "removed $root"
    if [ "$1" = --discard-all ]; then
        safe_rm "$base"
        safe_rm "$base.new"
        say "removed $base"
    fi
    exit 0
    ;;
-*) [ "$1" = --shell ] || die "unknown option $1 (see the top of $0)" ;;
esac

# --- the pristine base ------------------------------------------------------
t=$(now)
if ! complete_root "$base"; then
    [ -e "$base" ] && say "$base is incomplete; making it again"
    safe_rm "$base"
    safe_rm "$base.new"
    say "debootstrap --variant=minbase $suite from $mirror"
    debootstrap --variant=minbase "$suite" "$base.new" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        {
            tail -n 20 "$cache/debootstrap.log" >&2
            die "debootstrap failed (log: $cache/debootstrap.log)"
        }
    mv "$base.new" "$base"
    say "base ready in $(elapsed "$t")"
fi

# --- the working root: the base plus make and git ----------------------------
t=$(now)
if ! [ -e "$root/.qelvara-ready" ]; then
    safe_rm "$root.new"
    safe_rm "$root"
    cp -a "$base" "$root.new"
    # The same archive as the host, with the suite's updates and security.
    rm -f "$root.new/etc/apt/sources.list"
    cat >"$root.new/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $suite-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    # Packages do not start services in the root.
    printf '#!/bin/sh\nexit 101\n' >"$root.new/usr/sbin/policy-rc.d"
    chmod 755 "$root.new/usr/sbin/policy-rc.d"
    # dbus-daemon wants a machine id.
    [ -s "$root.new/etc/machine-id" ] ||
        tr -d '-' </proc/sys/kernel/random/uuid >"$root.new/etc/machine-id"
    in_root "$root.new" sh -c 'apt-get update -q && apt-get install -y -q --no-install-recommends make git' ||
        die "could not install make and git in $root.new"
    touch "$root.new/.qelvara-ready"
    mv "$root.new" "$root"
    say "root ready in $(elapsed "$t")"
fi

# --- a fresh clone of the committed HEAD, like CI ---------------------------
t=$(now)
head=$(git -C "$repo" rev-parse HEAD)
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
    say "note: uncommitted changes in $repo are not part of this run"
safe_rm "$root$clone_dir"
mkdir -p "$(dirname "$root$clone_dir")"
git clone -q --no-checkout --no-hardlinks "$repo" "$root$clone_dir"
git -C "$root$clone_dir" checkout -q --detach "$head" 2>/dev/null || {
    git -C "$root$clone_dir" fetch -q "$repo" "$head"
    git -C "$root$clone_dir" checkout -q --detach "$head"
}
say "cloned $(git -C "$repo" log -1 --format='%h %s' "$head") in $(elapsed "$t")"

# --- the run ----------------------------------------------------------------
t=$(now)
status=0
if [ "${1:-}" = --shell ]; then
    what=shell
    # In the foreground, so the shell has the terminal and its own Ctrl-C.
    copy_resolv_conf "$root"
    unshare --mount --pid --fork --kill-child --propagation private -- \
        "$self" --inside "$root" sh -c "cd $clone_dir && exec bash -i" || status=$?
else
    [ $# -gt 0 ] || set -- test
    what="make $*"
    say "$what in $root ($suite)"
    in_root "$root" sh -c 'dpkg --configure -a && exec make -C "$0" "$@"' "$clone_dir" "$@" || status=$?
fi
say "$what: status $status after $(elapsed "$t"); whole run $(elapsed "$start_all")"
exit "$status"

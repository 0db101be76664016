#!/usr/bin/env bash
# The 32-bit Windows program under Wine's 32-bit half (make check-windows):
#
#   scripts/windows-x86-check.sh [DIST]   (default build/windows/dist, from make windows)
#
# wine32 comes from the i386 architecture, which this script never adds to the
# machine: the check runs in a throwaway root of this machine's release with
# amd64 and i386 (mmdebstrap), made once and kept in
# ~/.cache/qelvara/RELEASE-wine32.tar.zst for a week, unpacked afresh and
# removed on every run. There tests/installer/check.sh installs the 32-bit
# installer silently, starts the program from its Start menu entry until its
# window shows, and uninstalls it: in a 32-bit prefix (a 32-bit Windows) and in
# a 64-bit one (WoW64). Needs a range in /etc/subuid and /etc/subgid, as the
# package checks do.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
dist=$(realpath "${1:-$src/build/windows/dist}")
export HOME=${HOME:-$(getent passwd "$(id -un)" | cut -d: -f6)}
rel=$(. /etc/os-release && echo "$VERSION_CODENAME")
say() { printf 'windows-x86-check: %s\n' "$*"; }
die() {
    say "$*" >&2
    exit 1
}

# shellcheck source=scripts/identity.sh.in
. "$src/build/windows-x86/identity.sh" 2>/dev/null || die "no 32-bit build; run make windows first"
setup=qelvara-$qelvara_version-x86-setup.exe
[ -f "$dist/$setup" ] || die "no $dist/$setup; run make windows first"

root=$HOME/.cache/qelvara/$rel-wine32.tar.zst
if [ -z "$(find -L "$root" -mtime -7 2>/dev/null)" ]; then
    say "$rel: making the root with wine32 (a few minutes, once a week)"
    mkdir -p "$(dirname "$root")"
    mmdebstrap --mode=unshare --variant=apt --architectures=amd64,i386 --quiet \
        --include=wine,wine64,wine32:i386,xvfb,xauth,xdotool,dbus-daemon,libglib2.0-bin,procps,python3 \
        "$rel" "${root%.tar.zst}.new.tar.zst" \
        "deb http://deb.debian.org/debian $rel main" \
        "deb http://deb.debian.org/debian $rel-updates main" \
        "deb http://deb.debian.org/debian-security $rel-security main" ||
        die "mmdebstrap failed (no network to the archive, or no range in /etc/subuid?)"
    mv "${root%.tar.zst}.new.tar.zst" "$root"
fi

# The root's own device nodes are left out: a user namespace cannot make them,
# and mmdebstrap mounts the machine's.
check="/qelvara/scripts/e2e/session.sh /qelvara/tests/installer/check.sh /qelvara/$setup"
check+=" '$qelvara_title' $qelvara_version"
mmdebstrap --mode=unshare --variant=custom --skip=update --quiet \
    --setup-hook="zstd -dc '$root' | tar -C \"\$1\" -x --exclude='./dev/*'" \
    --customize-hook='mkdir -p "$1/qelvara/tests"' \
    --customize-hook="copy-in $src/scripts $dist/$setup /qelvara" \
    --customize-hook="copy-in $src/tests/installer /qelvara/tests" \
    --customize-hook="chroot \"\$1\" env WINEARCH=win32 $check" \
    --customize-hook="chroot \"\$1\" env WINEARCH=win64 $check" \
    "$rel" /dev/null || die "FAILED: the 32-bit installer or program under Wine (see above)"
say "the 32-bit program installed, started and uninstalled in 32-bit and 64-bit Wine prefixes"

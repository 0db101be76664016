# Throwaway Debian roots for the package scripts (package.sh, suite-in-root.sh),
# made by mmdebstrap without root privileges, from this machine's own apt
# mirror and through its proxy. Source it, then:
#
#   roots_init            checks the machine (ids, user namespaces) and reads
#                         apt's mirror and proxy: sets mirror, security,
#                         proxy and aptopts (mmdebstrap --aptopt options)
#   root_sources REL      the root's apt lines, one per line; fails for a
#                         release it does not know
#   root_tarball REL VARIANT TAR [MMDEBSTRAP-OPTION...]
#                         makes TAR, a root of REL, unless it is younger
#                         than a week and made from the same mirror and proxy
#   root_made REL VARIANT [MMDEBSTRAP-OPTION...]
#                         how such a root is made, as root_tarball notes it
#                         beside TAR (TAR less its .tar ending, plus .made)
#
# The mirror is the Debian archive apt already uses (an apt-cacher-ng address
# too), else deb.debian.org; DEBIAN_MIRROR and DEBIAN_SECURITY_MIRROR name
# others. The proxy is apt's (Acquire::http::Proxy, or what its
# Proxy-Auto-Detect command answers), else http_proxy. The roots keep both,
# so sbuild, autopkgtest and piuparts inside them use them too.
# shellcheck shell=bash

roots_say() { printf 'roots: %s\n' "$*" >&2; }

roots_init() {
    local user uri label detect='' apt_proxy='' apt_https_proxy='' valid=''
    user=$(id -un)
    # sbuild, mmdebstrap and autopkgtest map ids through these, root's too.
    if ! grep -q "^$user:" /etc/subuid || ! grep -q "^$user:" /etc/subgid; then
        roots_say "$user has no range in /etc/subuid and /etc/subgid; as root:"
        roots_say "  usermod --add-subuids 100000-165535 --add-subgids 100000-165535 $user"
        return 1
    fi
    if ! unshare --user --map-root-user --mount true 2>/dev/null; then
        if [ "$(cat /proc/sys/kernel/apparmor_restrict_unprivileged_userns 2>/dev/null)" = 1 ]; then
            roots_say "AppArmor keeps programs out of user namespaces here"
            roots_say "(kernel.apparmor_restrict_unprivileged_userns=1, as on Ubuntu from 23.10),"
            roots_say "and sbuild, mmdebstrap and autopkgtest build in them. Until the next boot:"
            roots_say "  sudo sysctl kernel.apparmor_restrict_unprivileged_userns=0"
            roots_say "or for good:"
            roots_say "  echo kernel.apparmor_restrict_unprivileged_userns=0 | sudo tee /etc/sysctl.d/60-userns.conf"
        else
            roots_say "user namespaces are not available (unshare --user --map-root-user --mount"
            roots_say "failed): inside a chroot or container, run this on the machine itself"
        fi
        return 1
    fi

    mirror=${DEBIAN_MIRROR:-} security=${DEBIAN_SECURITY_MIRROR:-}
    while read -r uri label; do
        case $label in
        Debian) mirror=${mirror:-${uri%/}} ;;
        Debian-Security) security=${security:-${uri%/}} ;;
        esac
    done < <(apt-get indextargets --format '$(REPO_URI) $(LABEL)' 2>/dev/null | sort -u)
    mirror=${mirror:-http://deb.debian.org/debian}
    security=${security:-http://deb.debian.org/debian-security}

    eval "$(apt-config shell apt_proxy Acquire::http::Proxy apt_https_proxy Acquire::https::Proxy \
        detect Acquire::http::Proxy-Auto-Detect valid Acquire::Check-Valid-Until)"
    if [ -z "$apt_proxy" ] && [ -n "$detect" ] && [ -x "$detect" ]; then
        apt_proxy=$("$detect" "$mirror" 2>/dev/null || true)
    fi
    [ "$apt_proxy" != DIRECT ] || apt_proxy=''
    proxy=${apt_proxy:-${http_proxy:-}}
    aptopts=()
    [ -z "$proxy" ] || aptopts=(--aptopt="Acquire::http::Proxy \"$proxy\"")
    proxy_https=${apt_https_proxy:-${https_proxy:-}}
    [ -z "$proxy_https" ] || aptopts+=(--aptopt="Acquire::https::Proxy \"$proxy_https\"")
    # A mirror that apt here reads past its Release files' expiry (a frozen
    # or snapshot mirror) is read so in the roots too.
    [ "$valid" != false ] || aptopts+=(--aptopt='Acquire::Check-Valid-Until "false"')
    roots_say "mirror $mirror, security $security, proxy ${proxy:-none}"
}

root_sources() {
    case $1 in
    bookworm | trixie)
        echo "deb $mirror $1 main"
        echo "deb $mirror $1-updates main"
        echo "deb $security $1-security main"
        ;;
    unstable) echo "deb $mirror unstable main" ;;
    *) return 1 ;;
    esac
}

root_made() {
    local rel=$1 variant=$2 lines=()
    shift 2
    mapfile -t lines < <(root_sources "$rel")
    echo "$variant ${lines[*]} ${aptopts[*]} $*"
}

# A subshell, so that the lock goes with it: two scripts wanting the same
# root at once make it once.
root_tarball() (
    local rel=$1 variant=$2 tar=$3 made new lock
    shift 3
    local lines=()
    mapfile -t lines < <(root_sources "$rel")
    made=$(root_made "$rel" "$variant" "$@")
    mkdir -p "$(dirname "$tar")"
    exec {lock}>"${tar%.tar*}.lock"
    flock "$lock"
    if [ -s "$tar" ] && [ -n "$(find "$tar" -mtime -7)" ] && [ "$(cat "${tar%.tar*}.made" 2>/dev/null)" = "$made" ]; then
        return 0
    fi
    roots_say "$rel: making the $variant root $tar"
    # mmdebstrap takes the format from the name's ending.
    new=${tar%.tar*}.new.tar${tar##*.tar}
    if ! mmdebstrap --mode=unshare --variant="$variant" --quiet "${aptopts[@]}" "$@" \
        "$rel" "$new" "${lines[@]}"; then
        rm -f "$new"
        roots_say "$rel: mmdebstrap failed: see above (the mirror $mirror or the proxy ${proxy:-none} not answering?)"
        return 1
    fi
    mv "$new" "$tar"
    echo "$made" >"${tar%.tar*}.made"
)

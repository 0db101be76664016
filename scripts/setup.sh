#!/usr/bin/env bash
# Installs the Debian packages that one job needs, and only those that are
# missing, without recommends; with nothing missing it takes a tenth of a second.
#
#   scripts/setup.sh run       build and run the program (make run)
#   scripts/setup.sh test      the test lab as well (make test)
#   scripts/setup.sh package   Debian's packaging tools (make package, make check-package)
#   scripts/setup.sh windows   the cross tools and nsis for the Windows program (make windows)
#   scripts/setup.sh windows-check   reprotest and mmdebstrap (make check-windows)
#   scripts/setup.sh --dry-run JOB   only say what would be installed
#
# It never changes how the user types. An input method is installed only where
# the machine has no input-method framework at all (for make run, with what
# starts it at login and its settings window); a user's fcitx5 gets only
# the part Qt 6 programs need to reach it; a second framework is never added
# beside the one the user has, because im-config picks among the installed
# frameworks at every login and would switch some desktops to it. The test
# lab's routes for a framework left out skip themselves.
set -euo pipefail

dry_run=''
[ "${1:-}" != --dry-run ] || { dry_run=1; shift; }
job=${1:-}
case $job in run | test | package | windows | windows-check) ;; *)
    sed -n 5,10p "$0" >&2
    exit 2
    ;;
esac

declare -A installed=()
while read -r state name; do
    [ "$state" != installed ] || installed[$name]=1
done <<<"$(dpkg-query -W -f='${db:Status-Status} ${Package}\n' 2>/dev/null || true)"
have() { [ -n "${installed[$1]:-}" ]; }

# What to install, group by group: why, and which packages.
reasons=() lists=()
# Set for make run alone, on a machine without an input method.
fcitx5_profile=''
group() {
    reasons+=("$1")
    shift
    lists+=("$*")
}

if [ "$job" = windows ]; then
    group "build tools" make cmake ninja-build
    group "MinGW-w64, the cross compilers for 64-bit and 32-bit Windows" \
        g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    group "the installers and the portable zips" nsis zip
fi
if [ "$job" = windows-check ]; then
    group "two builds compared, and a throwaway root with wine32 (i386)" \
        reprotest diffoscope-minimal mmdebstrap uidmap zstd
fi
if [ "$job" = run ] || [ "$job" = test ]; then
    # The rest of what building needs is debian/control's (below).
    group "build tools: the compiler, and Ninja for the presets" g++ make ninja-build
    group "Qt's own words in Chinese, for the typing box's menu" qt6-translations-l10n
    group "a Traditional Chinese font" fonts-noto-cjk

    # The input-method frameworks the machine has; none: not one of them.
    fcitx5='' ibus='' other='' none=''
    have fcitx5 && fcitx5=1
    have ibus && ibus=1
    for p in fcitx-bin uim scim hime gcin; do
        have "$p" && other+="$p "
    done
    [ -n "$fcitx5$ibus$other" ] || none=1
    if [ -n "$fcitx5" ]; then
        group "your fcitx5, for Qt 6 programs" fcitx5-frontend-qt6
    elif [ -n "$none" ]; then
        # Cangjie from Rime: fcitx5's own table hides it on Debian 13, and on
        # Debian 12 pulls in Qt 5 WebEngine.
        group "fcitx5 with Zhuyin and Cangjie, as the machine has no input method" \
            fcitx5 fcitx5-frontend-qt6 fcitx5-chewing fcitx5-rime rime-data-cangjie5
        # fcitx5 ships no autostart entry: Debian starts it at login through
        # im-config (one of its recommends), and fcitx5-config-qt is its
        # settings window. im-config is safe only here, with no framework to
        # switch away from; make test adds ibus beside fcitx5, between which
        # im-config would pick anew at every login, so it stays out there.
        if [ "$job" = run ]; then
            group "what starts fcitx5 at login, and its settings window" im-config fcitx5-config-qt
            # fcitx5 offers a user without a profile of their own the keyboard
            # alone (Zhuyin too under zh_TW, nothing Chinese elsewhere). A
            # system-wide one adds Zhuyin (chewing) and Cangjie (Rime) after the
            # machine's layout. fcitx5 reads it only where ~/.config/fcitx5/profile
            # is missing, and saves its own copy there: it never overrides a
            # user's choice, and an existing one is left alone.
            fcitx5_profile=/etc/xdg/fcitx5/profile
            [ ! -e "$fcitx5_profile" ] || fcitx5_profile=''
            # shellcheck source=/dev/null # the machine's keyboard, as Debian sets it
            layout=$(. /etc/default/keyboard 2>/dev/null; l=${XKBLAYOUT:-} v=${XKBVARIANT:-}; l=${l%%,*} v=${v%%,*}; echo "${l:-us}${v:+-$v}")
        fi
    fi
    [ -z "$ibus" ] || [ -n "$fcitx5" ] || echo "setup: ibus found; Qt 6 reaches it without anything more" >&2
    [ -z "$other" ] || echo "setup: found ${other% }; left as it is (Qt 6 reaches fcitx5 and ibus)" >&2
fi

if [ "$job" = test ]; then
    group "tests" libbenchmark-dev fonts-arphic-uming
    group "headless displays, keys, pointer and screenshots" \
        xvfb xauth xdotool dbus x11-utils imagemagick libglib2.0-bin libglib2.0-dev libxkbcommon-dev
    group "what a screen reader reads of the program (the fault box's test)" \
        at-spi2-core python3-pyatspi
    group "Wayland: weston, GNOME's mutter and KDE's KWin, headless" \
        qt6-wayland weston mutter gsettings-desktop-schemas xwayland \
        kwin-wayland kwin-style-breeze plasma-wayland-protocols
    # Both frameworks only on a machine that had none; else the user's own.
    if [ -n "$fcitx5$none" ]; then
        group "fcitx5 with Zhuyin, Cangjie and Rime" \
            fcitx5 fcitx5-chewing fcitx5-table fcitx5-frontend-qt6 fcitx5-rime
    fi
    if [ -n "$ibus$none" ]; then
        group "ibus with Zhuyin, Cangjie and Rime" ibus ibus-chewing ibus-table ibus-table-cangjie5 ibus-rime
    fi
    group "Rime's Zhuyin and Cangjie schemas" rime-data-bopomofo rime-data-cangjie5
    # 64-bit only: Wine's 32-bit half needs a foreign architecture, which a
    # test run never adds to the machine.
    group "the Windows program's tests and installer: the 64-bit cross compiler, nsis, Wine, a zh_TW locale" \
        g++-mingw-w64-x86-64-posix nsis zip wine wine64 locales
fi
if [ "$job" = package ]; then
    # Everything else runs inside their throwaway roots.
    group "Debian's packaging tools: build in a clean root, lint, test the package" \
        dpkg-dev sbuild mmdebstrap uidmap autopkgtest blhc piuparts git zstd
fi

missing=()
for i in "${!reasons[@]}"; do
    new=()
    for p in ${lists[i]}; do
        have "$p" || [[ " ${missing[*]} " == *" $p "* ]] || new+=("$p")
    done
    [ ${#new[@]} -eq 0 ] || echo "setup: ${reasons[i]}: ${new[*]}"
    missing+=("${new[@]}")
done
[ -z "$fcitx5_profile" ] ||
    echo "setup: fcitx5's input methods for users who have not chosen their own: $fcitx5_profile (keyboard-$layout, chewing, rime)"
# What building needs has one list, debian/control's Build-Depends, less
# what only the Debian package's build uses (debhelper, appstream); make run
# also leaves out the tests' (the nocheck build profile). apt reads the
# relations, versions and profiles, itself (apt-get satisfy).
profile=()
[ "$job" != run ] || profile=(-P nocheck)
if [ "$job" = run ] || [ "$job" = test ]; then
    new=()
    while read -r dep; do
        case $dep in '' | debhelper* | appstream*) continue ;; esac
        [ "$job" != run ] || [[ $dep != *'<!nocheck>'* ]] || continue
        have "${dep%% *}" || new+=("$dep")
    done <<<"$(sed -n '/^Build-Depends:/,/^[^ ]/s/^ \(.*\),$/\1/p' debian/control)"
    [ ${#new[@]} -eq 0 ] || echo "setup: what building needs (debian/control): ${new[*]%% *}"
    missing+=("${new[@]}")
fi
[ ${#missing[@]} -gt 0 ] || exit 0
[ -z "$dry_run" ] || exit 0

fail() {
    echo "setup: $*; nothing was installed" >&2
    exit 1
}
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    hint="as root: apt-get satisfy --no-install-recommends ${profile[*]} '$(IFS=,; echo "${missing[*]}")'"
    command -v sudo >/dev/null || fail "installing needs root and sudo is missing; $hint"
    sudo -v || fail "sudo refused; $hint"
    sudo=(sudo)
fi
# Another apt run holding the lock gets two minutes. sudo drops the proxy.
apt_get=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive ${http_proxy:+"http_proxy=$http_proxy"}
    ${https_proxy:+"https_proxy=$https_proxy"} apt-get -q -o DPkg::Lock::Timeout=120)
# Package lists older than a day are read again.
[ -n "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -1440 -print -quit)" ] ||
    "${apt_get[@]}" update || fail "apt-get update failed (no network to the archive, or apt is locked)"
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: $("${apt_get[@]}" satisfy -s --no-install-recommends "${profile[@]}" "${missing[@]}" | grep -c '^Inst ') packages in all, with what they need"
    # Everything is fetched before anything is unpacked, so a missing archive
    # or network leaves the machine as it was.
    "${apt_get[@]}" satisfy -y --download-only --no-install-recommends "${profile[@]}" "${missing[@]}" ||
        fail "apt could not fetch them (no network to the archive, or apt is locked)"
    "${apt_get[@]}" satisfy -y --no-install-recommends "${profile[@]}" "${missing[@]}" ||
        { echo "setup: apt-get satisfy failed (see above)" >&2; exit 1; }
fi
if [ -n "$fcitx5_profile" ]; then
    "${sudo[@]}" mkdir -p "${fcitx5_profile%/*}"
    printf '%s\n' '[Groups/0]' Name=Default "Default Layout=$layout" DefaultIM=chewing '' \
        '[Groups/0/Items/0]' "Name=keyboard-$layout" '' '[Groups/0/Items/1]' Name=chewing '' \
        '[Groups/0/Items/2]' Name=rime '' '[GroupOrder]' 0=Default |
        "${sudo[@]}" tee "$fcitx5_profile" >/dev/null
fi

#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# but only those that are missing, so a second run costs a few milliseconds.
#   scripts/setup.sh [PACKAGE...]   (default: the list below)
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins
    # the window's xdg_toplevel on Wayland: Qt's native interface (a QPA
    # header) and libwayland-client, to withdraw maximize requests
    qt6-base-private-dev libwayland-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # Traditional Chinese fonts (Ming-style serif and sans) and input methods
    fonts-noto-cjk
    # the package's alternative Ming face; the font tests run with it alone
    fonts-arphic-uming
    fcitx5 fcitx5-chewing fcitx5-frontend-qt6
    # table engines (Cangjie) and a real ibus daemon, for the end-to-end tests
    fcitx5-table ibus ibus-chewing ibus-table ibus-table-cangjie5
    # Rime on fcitx5 and on ibus, with its Cangjie and Zhuyin schemas
    fcitx5-rime ibus-rime rime-data-cangjie5 rime-data-bopomofo
    # headless tests and screenshots; the end-to-end tests' key and pointer
    # tool for mutter speaks D-Bus with GIO and names keys with xkbcommon
    xvfb xdotool dbus x11-utils imagemagick libglib2.0-bin libglib2.0-dev libxkbcommon-dev
    # Wayland: Qt's Wayland platform, two headless compositors (weston for
    # screenshots, mutter for keys through its remote desktop, which needs the
    # desktop schemas, and Xwayland for ibus-chewing, an X program) and a real
    # ibus with Cangjie to type with there
    qt6-wayland weston mutter gsettings-desktop-schemas xwayland ibus ibus-table-cangjie5
    # KWin, with Breeze to draw its title bar, and the description of its
    # fake-input protocol for the end-to-end tests' key and pointer tool
    kwin-wayland kwin-style-breeze plasma-wayland-protocols
    # desktop entry, AppStream and Debian package checks
    desktop-file-utils appstream lintian
    # icon rendering (scripts/render-icons.sh) and the .deb dependency scan
    # (CPack's shlibdeps needs file, which a minimal Debian lacks)
    librsvg2-bin dpkg-dev file
)

# Named packages instead of the list, for scripts that need one tool more.
[ $# -eq 0 ] || packages=("$@")

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Wait for another apt run to finish rather than fail at once.
apt_get=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600)
# A fresh machine has no package lists yet; refresh them once, not on every run.
if ! "${apt_get[@]}" install -y "${missing[@]}"; then
    "${apt_get[@]}" update
    "${apt_get[@]}" install -y "${missing[@]}"
fi

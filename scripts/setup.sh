#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# but only those that are missing, so a second run costs a few milliseconds.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins
    libgtest-dev libgmock-dev libbenchmark-dev
    # Traditional Chinese fonts (Ming-style serif and sans) and input methods
    fonts-noto-cjk
    fcitx5 fcitx5-chewing fcitx5-frontend-qt6
    # table engines (Cangjie) and a real ibus daemon, for the end-to-end tests
    fcitx5-table ibus ibus-chewing ibus-table ibus-table-cangjie5
    # headless tests and screenshots
    xvfb xdotool dbus x11-utils imagemagick libglib2.0-bin
    # desktop entry and AppStream checks
    desktop-file-utils appstream
    # icon rendering (scripts/render-icons.sh) and the .deb dependency scan
    librsvg2-bin dpkg-dev
)

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
# A fresh machine has no package lists yet; refresh them once, not on every run.
if ! "${sudo[@]}" apt-get install -y "${missing[@]}"; then
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y "${missing[@]}"
fi

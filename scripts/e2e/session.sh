#!/usr/bin/env bash
# Runs a command in a private desktop session, then stops every process it
# started and removes its temporary home:
#
#   session.sh [--im fcitx|ibus|ibus-daemon] [--compositor weston|mutter] CMD [ARG...]
#
# The display is a private Xvfb, or with --compositor a headless Wayland
# compositor: weston with --debug, so that weston-screenshooter works, or
# mutter, whose remote-desktop D-Bus interface presses keys.
# --im fcitx: fcitx5 through its Qt plugin; ibus: Qt's ibus plugin against
#   fcitx5's ibus frontend; ibus-daemon: Qt's ibus plugin against a real
#   ibus-daemon. Each offers chewing and a Cangjie table (fcitx5's cangjie,
#   ibus-table's table:cangjie5). QELVARA_E2E_IM and QELVARA_E2E_COMPOSITOR
#   tell the command the route.
# Many may run at once: Xvfb picks a free display, sockets live in the run's
# own directory.
set -euo pipefail

im='' compositor=''
while [ $# -gt 0 ]; do
    case $1 in
    --im) im=$2; shift 2 ;;
    --compositor) compositor=$2; shift 2 ;;
    *) break ;;
    esac
done
if ! [[ $im =~ ^(|fcitx|ibus|ibus-daemon)$ && $compositor =~ ^(|weston|mutter)$ && $# -gt 0 ]]; then
    sed -n 5p "$0" >&2
    exit 2
fi

tools=(dbus-daemon gdbus "${compositor:-Xvfb}")
case $im in
fcitx | ibus) tools+=(fcitx5 fcitx5-remote) ;;
ibus-daemon) tools+=(ibus-daemon ibus) ;;
esac
lib=$(dirname "$0")/../lib
# shellcheck source=scripts/lib/session.sh
. "$lib/session.sh"
# shellcheck source=scripts/lib/xvfb.sh
. "$lib/xvfb.sh"
require_tools session "${tools[@]}"

readonly timeout=20 # seconds for each daemon to come up
# Short: the bus sockets live inside, and unix socket paths are limited.
tmp=$(mktemp -d /tmp/qses.XXXXXX)
pids=()

# In reverse order of start, each by its own pid, children (ibus engines)
# before their parent.
stop() {
    local i pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        for pid in $(pgrep -P "${pids[i]}" || true) "${pids[i]}"; do
            stop_pid "$pid"
        done
    done
    xvfb_stop
    rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

logs() {
    local log
    for log in "$tmp"/*.log; do
        [ -s "$log" ] && { echo "--- ${log##*/} ($1) ---"; tail -n 30 "$log"; } >&2
    done
    return 0
}
fail() {
    echo "session: $*" >&2
    logs "$*"
    exit 1
}
# Waits until CMD succeeds while the last daemon started still runs.
wait_for() {
    local what=$1 deadline=$((SECONDS + timeout))
    shift
    until "$@" >/dev/null 2>&1; do
        if ! kill -0 "${pids[-1]}" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then fail "$what"; fi
        sleep 0.05
    done
}
started() { pids+=("$!"); }

session_home "$tmp"
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET XDG_SESSION_TYPE XDG_CURRENT_DESKTOP
export GSETTINGS_BACKEND=memory # mutter and ibus: no dconf database read or written
session_bus "$tmp" "$timeout" || fail "dbus-daemon did not start"
pids+=("$session_bus_pid")

case $compositor in
'')
    XVFB_TIMEOUT=$timeout xvfb_start 1024x768x24 || fail "Xvfb did not start"
    export QT_QPA_PLATFORM=xcb XDG_SESSION_TYPE=x11
    ;;
weston)
    # --idle-time=0: no screen lock in the middle of a test.
    weston --backend=headless-backend.so --width=1280 --height=800 --use-pixman --debug \
        --idle-time=0 --socket=wl-qelvara >"$tmp/weston.log" 2>&1 &
    started
    ;;
mutter)
    export XDG_CURRENT_DESKTOP=GNOME
    # ibus-chewing is an X program: ibus engines get mutter's Xwayland.
    x11=--no-x11
    [ "$im" != ibus-daemon ] || x11=
    mutter --headless --wayland $x11 --virtual-monitor 1280x800 \
        --wayland-display=wl-qelvara >"$tmp/mutter.log" 2>&1 &
    started
    wait_for "mutter offered no remote desktop" gdbus wait --timeout 1 --session org.gnome.Mutter.RemoteDesktop
    if [ -z "$x11" ]; then
        wait_for "mutter started no Xwayland" grep -q "Using public X11 display" "$tmp/mutter.log"
        DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$tmp/mutter.log")
        XAUTHORITY=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" | head -n 1)
        export DISPLAY XAUTHORITY
    fi
    ;;
esac
if [ -n "$compositor" ]; then
    wait_for "$compositor opened no socket" test -S "$XDG_RUNTIME_DIR/wl-qelvara"
    export WAYLAND_DISPLAY=wl-qelvara QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland
fi

if [[ $im == fcitx || $im == ibus ]]; then
    # One group: keyboard-us, chewing (the default) and Cangjie.
    mkdir -p "$XDG_CONFIG_HOME/fcitx5/conf"
    printf '%s\n' '[Groups/0]' Name=Default 'Default Layout=us' DefaultIM=chewing \
        '[Groups/0/Items/0]' Name=keyboard-us '[Groups/0/Items/1]' Name=chewing \
        '[Groups/0/Items/2]' Name=cangjie '[GroupOrder]' 0=Default >"$XDG_CONFIG_HOME/fcitx5/profile"
    # Every input context starts active: no trigger key.
    printf '%s\n' '[Behavior]' ActiveByDefault=True ShareInputState=No \
        PreeditEnabledByDefault=True ShowInputMethodInformation=False \
        showInputMethodInformationWhenFocusIn=False >"$XDG_CONFIG_HOME/fcitx5/config"
    # Pinned, so that a changed default cannot change what keys compose.
    printf '%s\n' SelectionKey=1234567890 PageSize=10 CandidateLayout=Horizontal \
        UseKeypadAsSelection=False AddPhraseForward=True ChoiceBackward=True \
        AutoShiftCursor=False EasySymbolInput=False SpaceAsSelection=True \
        'Layout=Default Keyboard' >"$XDG_CONFIG_HOME/fcitx5/conf/chewing.conf"
    # fcitx5 5.1 ships its Cangjie table switched off; a user's copy switches it on.
    mkdir -p "$XDG_DATA_HOME/fcitx5/inputmethod"
    sed 's/^Enable=False/Enable=True/' /usr/share/fcitx5/inputmethod/cangjie.conf \
        >"$XDG_DATA_HOME/fcitx5/inputmethod/cangjie.conf"
    # Addons that own hotkeys could swallow keys; the rest are useless headless.
    fcitx5 -D --disable=wayland,waylandim,kimpanel,notificationitem,notifications,clipboard,unicode,quickphrase,emoji,spell,fcitx4frontend,xim,imselector \
        >"$tmp/fcitx5.log" 2>&1 &
    started
    wait_for "fcitx5 did not take its bus name" gdbus wait --timeout 1 --session org.fcitx.Fcitx5
fi
engines() { [[ $(ibus list-engine) == *table:cangjie5* && $(ibus list-engine) == *chewing* ]]; }
case $im in
fcitx) export QT_IM_MODULE=fcitx ;;
ibus)
    # Qt's ibus plugin loads only with an ibus-daemon on PATH, which it never
    # runs: fcitx5's ibus frontend answers in its place.
    mkdir -p "$tmp/bin"
    printf '#!/bin/sh\n' >"$tmp/bin/ibus-daemon"
    chmod 755 "$tmp/bin/ibus-daemon"
    export PATH=$tmp/bin:$PATH
    ;;
ibus-daemon)
    ibus-daemon --panel=disable --emoji-extension=disable --replace >"$tmp/ibus.log" 2>&1 &
    started
    wait_for "ibus-daemon did not list chewing and table:cangjie5" engines
    ;;
esac
if [[ $im == ibus* ]]; then
    # Qt finds the ibus bus through this file (a fresh home: it is ours).
    wait_for "no ibus address file" compgen -G "$XDG_CONFIG_HOME/ibus/bus/*"
    export QT_IM_MODULE=ibus
fi
export QELVARA_E2E_IM=$im QELVARA_E2E_COMPOSITOR=$compositor

# Not exec'd: the traps must outlive it to stop the daemons.
status=0
"$@" || status=$?
[ "$status" -eq 0 ] || logs "command exited with $status"
exit "$status"

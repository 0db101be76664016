#!/usr/bin/env bash
# Runs a command on a private X display with an input method on a private
# session bus, the way a Zhuyin or Cangjie user's desktop is set up, then
# stops every process it started and removes its temporary home.
#
#   with-im-session.sh [--im fcitx|ibus|ibus-daemon] [--screen WxHxD] CMD [ARG...]
#
# --im fcitx (default): Qt talks to fcitx5 through the fcitx5 Qt plugin.
# --im ibus: Qt's own ibus plugin talks to fcitx5's ibus frontend.
# --im ibus-daemon: Qt's own ibus plugin talks to a real ibus-daemon.
# fcitx5 offers chewing (the default) and its Cangjie table; ibus-daemon
# offers chewing (the engine at start) and ibus-table's Cangjie 5.
# QELVARA_E2E_IM tells the command which one runs.
#
# Every run gets a fresh HOME: chewing learns the user's choices into
# $HOME/.chewing, so a reused home would change what later keys compose.
# Safe to run many times in parallel: Xvfb picks a free display itself.
set -euo pipefail

im=fcitx
screen=1024x768x24
while [ $# -gt 0 ]; do
    case $1 in
    --im) im=$2; shift 2 ;;
    --screen) screen=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "with-im-session: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
case $im in fcitx | ibus | ibus-daemon) ;; *) echo "with-im-session: --im fcitx|ibus|ibus-daemon" >&2; exit 2 ;; esac
[ $# -ge 1 ] || { echo "usage: $0 [--im fcitx|ibus|ibus-daemon] CMD [ARG...]" >&2; exit 2; }

tools=(Xvfb dbus-daemon gdbus)
if [ "$im" = ibus-daemon ]; then tools+=(ibus-daemon ibus); else tools+=(fcitx5 fcitx5-remote); fi
# shellcheck source=scripts/lib/session.sh
. "$(dirname "$0")/../lib/session.sh"
require_tools with-im-session "${tools[@]}"

readonly startup_timeout=15 # seconds for each daemon to come up

# Short base path: the bus socket lives inside and unix socket paths are limited.
tmp=$(mktemp -d /tmp/qim.XXXXXX)
fcitx_pid= ibus_pid=
# shellcheck source=scripts/lib/xvfb.sh
. "$(dirname "$0")/../lib/xvfb.sh"

stop() {
    local pid children=
    # ibus-daemon's engines and config process are its children.
    [ -z "$ibus_pid" ] || children=$(pgrep -P "$ibus_pid" | tr '\n' ' ' || true)
    # Reverse order of start; each by its own pid.
    for pid in $children "$ibus_pid" "$fcitx_pid" "$session_bus_pid"; do
        stop_pid "$pid"
    done
    xvfb_stop
    rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

im_log() {
    local log
    for log in "$tmp/fcitx5.log" "$tmp/ibus.log"; do
        [ -s "$log" ] || continue
        echo "--- ${log##*/} ($*) ---" >&2
        tail -n 40 "$log" >&2
    done
}

fail() {
    echo "with-im-session: $*" >&2
    im_log "$*"
    exit 1
}

# --- a fresh home -------------------------------------------------------------
session_home "$tmp"
mkdir -p "$XDG_CONFIG_HOME/fcitx5/conf"
unset WAYLAND_DISPLAY

# One group, keyboard-us, chewing and Cangjie, chewing the default.
cat >"$XDG_CONFIG_HOME/fcitx5/profile" <<'EOF'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=chewing

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=chewing
Layout=

[Groups/0/Items/2]
Name=cangjie
Layout=

[GroupOrder]
0=Default
EOF

# fcitx5 5.1 ships its Cangjie table switched off; a user's copy switches it on.
cangjie=/usr/share/fcitx5/inputmethod/cangjie.conf
if grep -q '^Enable=False' "$cangjie" 2>/dev/null; then
    mkdir -p "$XDG_DATA_HOME/fcitx5/inputmethod"
    sed 's/^Enable=False/Enable=True/' "$cangjie" >"$XDG_DATA_HOME/fcitx5/inputmethod/cangjie.conf"
fi

# Every new input context starts active: no trigger key needed.
cat >"$XDG_CONFIG_HOME/fcitx5/config" <<'EOF'
[Behavior]
ActiveByDefault=True
ShareInputState=No
PreeditEnabledByDefault=True
ShowInputMethodInformation=False
showInputMethodInformationWhenFocusIn=False
EOF

# Pinned, so a changed default cannot change what the keys compose.
cat >"$XDG_CONFIG_HOME/fcitx5/conf/chewing.conf" <<'EOF'
SelectionKey=1234567890
PageSize=10
CandidateLayout=Horizontal
UseKeypadAsSelection=False
AddPhraseForward=True
ChoiceBackward=True
AutoShiftCursor=False
EasySymbolInput=False
SpaceAsSelection=True
Layout=Default Keyboard
EOF

# --- X server -----------------------------------------------------------------
XVFB_TIMEOUT=$startup_timeout xvfb_start "$screen" || fail "Xvfb did not start"
display=${DISPLAY#:}

# --- session bus --------------------------------------------------------------
session_bus "$tmp" "$startup_timeout" || fail "dbus-daemon did not start"

# --- input method -------------------------------------------------------------
start_fcitx5() {
    # Addons that own hotkeys could swallow keys; the rest are useless headless.
    fcitx5 -D --disable=wayland,waylandim,kimpanel,notificationitem,notifications,clipboard,unicode,quickphrase,emoji,spell,fcitx4frontend,xim,imselector \
        >"$tmp/fcitx5.log" 2>&1 &
    fcitx_pid=$!
    gdbus wait --session --timeout "$startup_timeout" org.fcitx.Fcitx5 >/dev/null 2>&1 ||
        fail "fcitx5 did not take its bus name"
    kill -0 "$fcitx_pid" 2>/dev/null || fail "fcitx5 exited"
}

start_ibus_daemon() {
    # Settings in memory: nothing read from or left in a dconf database.
    export GSETTINGS_BACKEND=memory
    ibus-daemon --panel=disable --emoji-extension=disable --replace >"$tmp/ibus.log" 2>&1 &
    ibus_pid=$!
    # Ready once it answers and knows both engines; then chewing, for every
    # input context (the engine is global by default).
    local deadline=$((SECONDS + startup_timeout)) engines
    until engines=$(ibus list-engine 2>/dev/null) && [[ $engines == *table:cangjie5* ]] &&
        [[ $engines == *chewing* ]]; do
        kill -0 "$ibus_pid" 2>/dev/null || fail "ibus-daemon exited"
        [ "$SECONDS" -lt "$deadline" ] || fail "ibus-daemon did not list chewing and table:cangjie5"
        sleep 0.02
    done
    ibus engine chewing || fail "ibus-daemon did not take chewing"
}

# Qt finds an ibus bus through this file (machine id, host, display number).
wait_for_ibus_address() {
    local deadline=$((SECONDS + startup_timeout))
    until compgen -G "$XDG_CONFIG_HOME/ibus/bus/*-unix-$display" >/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "no ibus address file"
        sleep 0.01
    done
}

case $im in
fcitx)
    start_fcitx5
    export QT_IM_MODULE=fcitx
    ;;
ibus)
    start_fcitx5
    # Qt's ibus plugin refuses to load unless ibus-daemon is on PATH; it never
    # runs it, and fcitx5's ibus frontend answers in its place.
    mkdir -p "$tmp/bin"
    printf '#!/bin/sh\nexit 0\n' >"$tmp/bin/ibus-daemon"
    chmod 755 "$tmp/bin/ibus-daemon"
    export PATH=$tmp/bin:$PATH
    gdbus wait --session --timeout "$startup_timeout" org.freedesktop.IBus >/dev/null 2>&1 ||
        fail "fcitx5's ibus frontend did not take its bus name"
    wait_for_ibus_address
    export QT_IM_MODULE=ibus
    ;;
ibus-daemon)
    start_ibus_daemon
    wait_for_ibus_address
    export QT_IM_MODULE=ibus
    ;;
esac
export QELVARA_E2E_IM=$im QT_QPA_PLATFORM=xcb

# --- the command --------------------------------------------------------------
# Not exec'd: the traps must outlive it to stop the daemons.
status=0
"$@" || status=$?
[ "$status" -eq 0 ] || im_log "command exited with $status"
exit "$status"

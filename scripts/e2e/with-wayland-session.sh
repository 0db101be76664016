#!/usr/bin/env bash
# Runs a command as a Wayland client of a private headless compositor on a
# private session bus, with a fresh home, then stops every process it started
# and removes its temporary home.
#
#   with-wayland-session.sh [--compositor weston|mutter] [--ibus] [--size WxH] CMD [ARG...]
#
# --compositor weston (default): weston's headless backend, started with
#   --debug so weston-screenshooter can take pictures of the output.
# --compositor mutter: GNOME's compositor, headless, with its remote-desktop
#   D-Bus interface, through which a test can press keys
#   (org.gnome.Mutter.RemoteDesktop on the session bus).
# --ibus: a real ibus-daemon with ibus-table's Cangjie 5 on the same bus and
#   display, its settings in memory; the command runs with QT_IM_MODULE=ibus.
#
# The command sees QT_QPA_PLATFORM=wayland, WAYLAND_DISPLAY and
# QELVARA_COMPOSITOR (weston or mutter). Safe to run many times in parallel:
# every socket lives in the run's own XDG_RUNTIME_DIR.
set -euo pipefail

compositor=weston
ibus=no
size=1280x800
while [ $# -gt 0 ]; do
    case $1 in
    --compositor) compositor=$2; shift 2 ;;
    --ibus) ibus=yes; shift ;;
    --size) size=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "with-wayland-session: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
case $compositor in weston | mutter) ;; *) echo "with-wayland-session: --compositor weston|mutter" >&2; exit 2 ;; esac
[ $# -ge 1 ] || { echo "usage: $0 [--compositor weston|mutter] [--ibus] CMD [ARG...]" >&2; exit 2; }

tools=(dbus-daemon gdbus "$compositor")
[ "$ibus" = no ] || tools+=(ibus-daemon ibus)
# shellcheck source=scripts/lib/session.sh
. "$(dirname "$0")/../lib/session.sh"
require_tools with-wayland-session "${tools[@]}"

readonly startup_timeout=20 # seconds for each daemon to come up

tmp=$(mktemp -d /tmp/qwl.XXXXXX)
comp_pid= ibus_pid=

stop() {
    local pid
    for pid in "$ibus_pid" "$comp_pid" "$session_bus_pid"; do
        stop_pid "$pid"
    done
    rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "with-wayland-session: $*" >&2
    for log in "$tmp"/*.log; do
        [ -s "$log" ] || continue
        echo "--- $(basename "$log") ---" >&2
        tail -n 30 "$log" >&2
    done
    exit 1
}

# --- a fresh home -------------------------------------------------------------
session_home "$tmp"
unset DISPLAY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP WAYLAND_SOCKET
# mutter and ibus read GSettings; keep them away from any dconf database.
export GSETTINGS_BACKEND=memory

# --- session bus --------------------------------------------------------------
session_bus "$tmp" "$startup_timeout" || fail "dbus-daemon did not start"

# --- compositor ---------------------------------------------------------------
socket=wl-qelvara
width=${size%x*} height=${size#*x}
if [ "$compositor" = weston ]; then
    # --idle-time=0: no screen lock in the middle of a test.
    weston --backend=headless-backend.so --width="$width" --height="$height" \
        --socket="$socket" --use-pixman --debug --idle-time=0 >"$tmp/weston.log" 2>&1 &
else
    mutter --headless --wayland --no-x11 --virtual-monitor "$size" \
        --wayland-display="$socket" >"$tmp/mutter.log" 2>&1 &
fi
comp_pid=$!
deadline=$((SECONDS + startup_timeout))
until [ -S "$XDG_RUNTIME_DIR/$socket" ]; do
    kill -0 "$comp_pid" 2>/dev/null || fail "$compositor exited"
    [ "$SECONDS" -lt "$deadline" ] || fail "$compositor opened no socket"
    sleep 0.02
done
if [ "$compositor" = mutter ]; then
    gdbus wait --session --timeout "$startup_timeout" org.gnome.Mutter.RemoteDesktop \
        >/dev/null 2>&1 || fail "mutter did not offer remote desktop"
fi
export WAYLAND_DISPLAY=$socket
export QT_QPA_PLATFORM=wayland
export QELVARA_COMPOSITOR=$compositor

# --- input method -------------------------------------------------------------
if [ "$ibus" = yes ]; then
    ibus-daemon --panel=disable --replace --xim=false --verbose >"$tmp/ibus.log" 2>&1 &
    ibus_pid=$!
    deadline=$((SECONDS + startup_timeout))
    until ibus list-engine 2>/dev/null | grep -q 'table:cangjie5'; do
        kill -0 "$ibus_pid" 2>/dev/null || fail "ibus-daemon exited"
        [ "$SECONDS" -lt "$deadline" ] || fail "ibus-daemon did not list table:cangjie5"
        sleep 0.1
    done
    # It also runs setxkbmap, which fails without an X display, and so exits
    # non-zero although the engine is set: check what it reports instead.
    ibus engine table:cangjie5 >/dev/null 2>&1 || true
    [ "$(ibus engine 2>/dev/null)" = table:cangjie5 ] || fail "ibus could not select table:cangjie5"
    export QT_IM_MODULE=ibus
fi

# --- the command --------------------------------------------------------------
# Not exec'd: the traps must outlive it to stop the daemons.
status=0
"$@" || status=$?
if [ "$status" -ne 0 ]; then
    for log in "$tmp"/*.log; do
        [ -s "$log" ] || continue
        echo "--- $(basename "$log") (command exited with $status) ---" >&2
        tail -n 30 "$log" >&2
    done
fi
exit "$status"

#!/usr/bin/env bash
# Runs a command on a private X display with a private session bus and the
# accessibility bus (at-spi-bus-launcher, which starts the registry), the way
# a desktop with an on-screen keyboard or a screen reader is set up, then
# stops every process it started and removes its temporary home.
#
#   with-a11y-session.sh [--screen WxHxD] CMD [ARG...]
#
# Qt programs run under it register with the accessibility registry, so CMD
# can reach their widgets over AT-SPI. Safe to run many times in parallel.
set -euo pipefail

screen=1024x768x24
while [ $# -gt 0 ]; do
    case $1 in
    --screen) screen=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "with-a11y-session: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--screen WxHxD] CMD [ARG...]" >&2; exit 2; }

launcher=/usr/libexec/at-spi-bus-launcher
registry=/usr/libexec/at-spi2-registryd
# shellcheck source=../lib/session.sh
. "$(dirname "$0")/../lib/session.sh"
require_tools with-a11y-session Xvfb dbus-daemon gdbus "$launcher" "$registry"

readonly startup_timeout=15 # seconds for each daemon to come up

# shellcheck source=../lib/xvfb.sh
. "$(dirname "$0")/../lib/xvfb.sh"

# Short base path: the bus sockets live inside and unix socket paths are limited.
tmp=$(mktemp -d /tmp/qa11y.XXXXXX)
launcher_pid= registry_pid=

# A process that is not this shell's child: waits until its parent reaped it.
stop_child() {
    [ -n "$1" ] || return 0
    kill -TERM "$1" 2>/dev/null || return 0
    for _ in $(seq 40); do
        [ -d "/proc/$1" ] || return 0
        sleep 0.05
    done
}

stop() {
    local pid
    # Reverse order of start; each by its own pid. The accessibility bus is
    # the launcher's child: stopped first, so the launcher reaps it.
    stop_pid "$registry_pid"
    if [ -n "$launcher_pid" ]; then
        for pid in $(pgrep -P "$launcher_pid" || true); do
            stop_child "$pid"
        done
        stop_pid "$launcher_pid"
    fi
    stop_pid "$session_bus_pid"
    xvfb_stop
    rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "with-a11y-session: $*" >&2
    exit 1
}

# --- a fresh home -------------------------------------------------------------
session_home "$tmp"
unset WAYLAND_DISPLAY

# --- X server -----------------------------------------------------------------
xvfb_start "$screen" || fail "Xvfb did not start"

# --- session bus --------------------------------------------------------------
session_bus "$tmp" "$startup_timeout" || fail "dbus-daemon did not start"

# --- accessibility bus --------------------------------------------------------
# Both started here rather than activated by a bus (which would detach them),
# so they are ours to stop.
"$launcher" --launch-immediately --a11y=1 >"$tmp/a11y.log" 2>&1 &
launcher_pid=$!
gdbus wait --session --timeout "$startup_timeout" org.a11y.Bus >/dev/null 2>&1 ||
    { cat "$tmp/a11y.log" >&2; fail "at-spi-bus-launcher did not take its bus name"; }
a11y_address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.a11y.Bus.GetAddress | sed -n "s/^('\(.*\)',)$/\1/p")
[ -n "$a11y_address" ] || fail "the accessibility bus has no address"
"$registry" >"$tmp/registry.log" 2>&1 &
registry_pid=$!
gdbus wait --address "$a11y_address" --timeout "$startup_timeout" org.a11y.atspi.Registry \
    >/dev/null 2>&1 || { cat "$tmp/registry.log" >&2; fail "at-spi2-registryd did not start"; }

# Qt's bridge registers whether or not an assistive tool asked for it.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_QPA_PLATFORM=xcb

# --- the command --------------------------------------------------------------
# Not exec'd: the traps must outlive it to stop the daemons.
status=0
"$@" || status=$?
exit "$status"

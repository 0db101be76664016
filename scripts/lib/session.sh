# A private desktop session, for scripts/e2e/session.sh. Source it, then:
#
#   session_home DIR      a fresh HOME and XDG directories under DIR, C.UTF-8,
#                         and none of the caller's input-method settings
#   session_bus DIR T     a private session bus (socket in DIR), exported as
#                         DBUS_SESSION_BUS_ADDRESS, up within T seconds; its
#                         pid in session_bus_pid
#   stop_pid PID          TERM, a moment to exit cleanly, then KILL
#   require_tools WHO T…  exits with status 77 (a skip) naming the first tool
#                         missing: make test never adds a second input-method
#                         framework, so a route through one the machine lacks skips
#
# A fresh home every run: input methods learn the user's choices into it, so a
# reused one would change what later keys compose.
# shellcheck shell=bash

session_bus_pid=

session_home() {
    export HOME=$1/home
    export XDG_CONFIG_HOME=$HOME/.config
    export XDG_DATA_HOME=$HOME/.local/share
    export XDG_CACHE_HOME=$HOME/.cache
    export XDG_STATE_HOME=$HOME/.local/state
    export XDG_RUNTIME_DIR=$1/run
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" \
        "$XDG_RUNTIME_DIR"
    chmod 700 "$1" "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" \
        "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
    export LANG=C.UTF-8
    unset LC_ALL LANGUAGE XMODIFIERS GTK_IM_MODULE QT_IM_MODULE QT_IM_MODULES IBUS_ADDRESS \
        SESSION_MANAGER AT_SPI_BUS_ADDRESS
}

session_bus() {
    local address=
    mkfifo "$1/busaddr"
    # The address arrives on fd 4 once the bus accepts connections.
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$XDG_RUNTIME_DIR/bus" \
        --print-address=4 4>"$1/busaddr" >"$1/dbus.log" 2>&1 &
    session_bus_pid=$!
    read -r -t "$2" address <"$1/busaddr" || true
    if [ -z "$address" ]; then
        cat "$1/dbus.log" >&2
        return 1
    fi
    export DBUS_SESSION_BUS_ADDRESS=$address
}

stop_pid() {
    [ -n "$1" ] || return 0
    kill -TERM "$1" 2>/dev/null || return 0
    for _ in $(seq 40); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

require_tools() {
    local who=$1 tool
    shift
    for tool; do
        command -v "$tool" >/dev/null ||
            { echo "$who: $tool is missing; skipped (scripts/setup.sh test)" >&2; exit 77; }
    done
}

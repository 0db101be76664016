# A private X server for scripts. Source it, then:
#
#   xvfb_start [WxHxD]   start Xvfb on the first free display and export DISPLAY
#   xvfb_stop            stop it again (call it from the script's exit trap)
#
# Xvfb picks the display itself (-displayfd) and writes its number once it
# accepts connections, so there is no lock-file scan to race with other
# servers and no polling: many scripts may run this at once.
# shellcheck shell=bash

xvfb_pid=
xvfb_dir=

xvfb_start() {
    local screen=${1:-1024x768x24} display=
    xvfb_dir=$(mktemp -d /tmp/xvfb.XXXXXX)
    mkfifo "$xvfb_dir/displayfd"
    # -noreset: the server outlives its last client, for scripts that start
    # one program after another. -r: no autorepeat, which on a loaded machine
    # turns a synthetic key held a moment too long into two.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset -r \
        3>"$xvfb_dir/displayfd" >"$xvfb_dir/log" 2>&1 &
    xvfb_pid=$!
    # Returns at readiness, or at end of file if Xvfb dies first.
    read -r -t "${XVFB_TIMEOUT:-15}" display <"$xvfb_dir/displayfd" || true
    if [ -z "$display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$xvfb_dir/log" >&2
        xvfb_stop
        return 1
    fi
    export DISPLAY=:$display
}

xvfb_stop() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    [ -z "$xvfb_dir" ] || rm -rf "$xvfb_dir"
    xvfb_pid= xvfb_dir=
}

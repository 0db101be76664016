#!/usr/bin/env bash
# Runs a command in a private desktop session, then stops every process it
# started and removes its temporary home:
#
#   session.sh [--im fcitx|ibus|ibus-daemon|fcitx-rime|ibus-rime|kwin-fcitx|fcitx-xim] [--compositor weston|mutter|kwin] CMD [ARG...]
#
# The display is a private Xvfb, or with --compositor a headless Wayland
# compositor: weston with --debug, so that weston-screenshooter works, or
# mutter, whose remote-desktop D-Bus interface presses keys, or KWin, whose
# fake-input protocol does (scripts/e2e/kwin-input.c) and which puts every
# window's frame at the top left corner of the screen.
# --im fcitx: fcitx5 through its Qt plugin; ibus: Qt's ibus plugin against
#   fcitx5's ibus frontend; ibus-daemon: Qt's ibus plugin against a real
#   ibus-daemon. Each offers chewing and a Cangjie table (fcitx5's cangjie,
#   ibus-table's table:cangjie5). fcitx-rime, ibus-rime: Rime alone, through
#   fcitx5 or a real ibus-daemon, its preedit inline, with the schemas
#   bopomofo (Zhuyin, the first) and cangjie5, deployed before CMD starts.
#   kwin-fcitx (with --compositor kwin): fcitx5 as KWin's input method, set
#   up as for fcitx, QT_IM_MODULE unset: Qt's text-input protocol carries it.
#   fcitx-xim: fcitx5 as for fcitx, reached over XIM (XMODIFIERS) on the
#   spot, as Wine programs reach it, in a zh_TW.UTF-8 locale.
#   QELVARA_E2E_IM and QELVARA_E2E_COMPOSITOR tell the command the route;
#   QELVARA_E2E_SCREEN sets Xvfb's screen (1024x768x24).
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
if ! [[ $im =~ ^(|fcitx|ibus|ibus-daemon|fcitx-rime|ibus-rime|kwin-fcitx|fcitx-xim)$ && $compositor =~ ^(|weston|mutter|kwin)$ &&
    $# -gt 0 && ($im != kwin-fcitx || $compositor == kwin) ]]; then
    sed -n 5p "$0" >&2
    exit 2
fi

tools=(dbus-daemon gdbus "${compositor:-Xvfb}")
[ "$compositor" != kwin ] || tools[2]=kwin_wayland
case $im in
fcitx | ibus | fcitx-rime | kwin-fcitx) tools+=(fcitx5 fcitx5-remote) ;;
fcitx-xim) tools+=(fcitx5 fcitx5-remote localedef) ;;
ibus-daemon | ibus-rime) tools+=(ibus-daemon ibus) ;;
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
    XVFB_TIMEOUT=$timeout xvfb_start "${QELVARA_E2E_SCREEN:-1024x768x24}" || fail "Xvfb did not start"
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
kwin)
    export XDG_CURRENT_DESKTOP=KDE
    # Debian's kwin_wayland carries a file capability, and exec fails where the
    # capability bounding set lacks it (containers, chroots); a copy has none.
    cp "$(command -v kwin_wayland)" "$tmp/kwin_wayland"
    # Breeze draws the title bar. Every window's frame at the top left corner
    # (a forced position), so that a test knows where it is on the screen.
    printf '%s\n' '[org.kde.kdecoration2]' library=org.kde.breeze >"$XDG_CONFIG_HOME/kwinrc"
    printf '%s\n' '[General]' count=1 rules=1 '[1]' 'Description=top left corner' \
        position=0,0 positionrule=2 >"$XDG_CONFIG_HOME/kwinrulesrc"
    kwin=(--virtual --no-lockscreen --no-global-shortcuts --no-kactivities --width 1280
        --height 800 --socket wl-qelvara)
    if [ "$im" = ibus-daemon ]; then
        # ibus-chewing is an X program: ibus engines get KWin's Xwayland.
        # KWin 6 wants the sockets' directory there already, which a fresh
        # /tmp (a container's, a chroot's) lacks.
        kwin+=(--xwayland)
        [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix
    fi
    mkdir -p "$tmp/bin"
    if [ "$im" = kwin-fcitx ]; then
        # KWin starts its input method at once, before fcitx5's settings are
        # written below: fcitx5 waits for the list of addons to leave out.
        printf '%s\n' '#!/bin/sh' "until [ -e $tmp/fcitx5-disable ]; do sleep 0.05; done" \
            "exec fcitx5 --disable=\"\$(cat $tmp/fcitx5-disable)\" >$tmp/fcitx5.log 2>&1" \
            >"$tmp/bin/kwin-fcitx5"
        chmod 755 "$tmp/bin/kwin-fcitx5"
        kwin+=(--inputmethod "$tmp/bin/kwin-fcitx5")
    fi
    # KWin runs the programs named after its options once it is ready (with
    # Xwayland: once that is up, with DISPLAY and XAUTHORITY set).
    printf '%s\n' '#!/bin/sh' "printf '%s\\n' \"\$DISPLAY\" \"\$XAUTHORITY\" >$tmp/kwin-ready.new" \
        "mv $tmp/kwin-ready.new $tmp/kwin-ready" >"$tmp/bin/kwin-ready"
    chmod 755 "$tmp/bin/kwin-ready"
    # Its fake-input protocol and screenshots for any client, not just
    # KDE's own programs.
    KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
        "$tmp/kwin_wayland" "${kwin[@]}" "$tmp/bin/kwin-ready" >"$tmp/kwin.log" 2>&1 &
    started
    wait_for "KWin did not start" test -e "$tmp/kwin-ready"
    if [ "$im" = ibus-daemon ]; then
        # KWin 6 starts Xwayland when the first X client comes, with no
        # XAUTHORITY.
        { read -r display && read -r xauthority; } <"$tmp/kwin-ready"
        [ -n "$display" ] || fail "KWin started no Xwayland"
        export DISPLAY=$display
        [ -z "$xauthority" ] || export XAUTHORITY=$xauthority
    fi
    ;;
esac
if [ -n "$compositor" ]; then
    wait_for "$compositor opened no socket" test -S "$XDG_RUNTIME_DIR/wl-qelvara"
    export WAYLAND_DISPLAY=wl-qelvara QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland
fi

# Rime rebuilds its schemas into a fresh user folder when its frontend starts,
# which takes seconds; until it ends, keys reach the program as plain letters.
# It writes the time of the build into user.yaml last. Its log (glog,
# unbuffered, in the run's directory; under fcitx5-rime 5.1 on fcitx5's
# standard error) must show no failed task.
rime_user_folder() {
    rime=$1
    mkdir -p "$rime" "$tmp/rime"
    printf '%s\n' 'patch:' '  schema_list:' '    - schema: bopomofo' '    - schema: cangjie5' \
        >"$rime/default.custom.yaml"
    export GLOG_log_dir=$tmp/rime GLOG_logbuflevel=-1
}
readonly deploy_timeout=90 # seconds: a busy machine stretches a deploy
rime_deployed() {
    local deadline=$((SECONDS + deploy_timeout))
    until grep -qs last_build_time "$rime/user.yaml"; do
        if ! kill -0 "${pids[-1]}" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
            fail "Rime did not finish deploying"
        fi
        sleep 0.1
    done
    ! grep -rqs 'tasks ran: .* [1-9][0-9]* failure' "$tmp/rime" "$tmp"/*.log ||
        fail "Rime failed to deploy: $(grep -rh 'tasks ran:' "$tmp/rime" "$tmp"/*.log | head -n 1)"
}

if [[ $im == fcitx || $im == ibus || $im == fcitx-rime || $im == kwin-fcitx || $im == fcitx-xim ]]; then
    # One group: keyboard-us, chewing (the default) and Cangjie; or
    # keyboard-us and Rime.
    mkdir -p "$XDG_CONFIG_HOME/fcitx5/conf"
    default=chewing items=('[Groups/0/Items/1]' Name=chewing '[Groups/0/Items/2]' Name=cangjie)
    [ "$im" != fcitx-rime ] || default=rime items=('[Groups/0/Items/1]' Name=rime)
    printf '%s\n' '[Groups/0]' Name=Default 'Default Layout=us' "DefaultIM=$default" \
        '[Groups/0/Items/0]' Name=keyboard-us "${items[@]}" '[GroupOrder]' 0=Default \
        >"$XDG_CONFIG_HOME/fcitx5/profile"
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
    # Over XIM, the composition in the program's own window (on the spot),
    # as a Windows input method shows it, not in fcitx5's.
    if [ "$im" = fcitx-xim ]; then
        printf '%s\n' UseOnTheSpot=True >"$XDG_CONFIG_HOME/fcitx5/conf/xim.conf"
        # Wine asks XIM for the composition only in a Chinese, Japanese or
        # Korean locale: a private zh_TW.UTF-8, as a Taiwanese desktop has.
        mkdir -p "$tmp/locale"
        # It warns, and exits 1, over things that do not matter here.
        localedef -i zh_TW -f UTF-8 "$tmp/locale/zh_TW.UTF-8" >/dev/null 2>&1 || true
        [ -e "$tmp/locale/zh_TW.UTF-8/LC_CTYPE" ] || fail "localedef made no zh_TW.UTF-8 (locales)"
        export LOCPATH=$tmp/locale LANG=zh_TW.UTF-8
    fi
    verbose=()
    if [ "$im" = fcitx-rime ]; then
        # The preedit inline (the keys, then their radicals), its cursor at the
        # start, and a switch of input method commits the candidate: pinned.
        printf '%s\n' PreeditInApplication=True PreeditCursorPositionAtBeginning=True \
            'Commit when deactivate=True' >"$XDG_CONFIG_HOME/fcitx5/conf/rime.conf"
        rime_user_folder "$XDG_DATA_HOME/fcitx5/rime"
        # fcitx5-rime 5.1 lets librime log only at its own debug level.
        verbose=(--verbose=rime=5)
    fi
    # Addons that own hotkeys could swallow keys; the rest are useless headless,
    # but for the Wayland ones of KWin's input method.
    off=kimpanel,notificationitem,notifications,clipboard,unicode,quickphrase,emoji,spell,fcitx4frontend,imselector
    [ "$im" = fcitx-xim ] || off+=,xim
    if [ "$im" = kwin-fcitx ]; then
        # KWin started it: it waits for this list.
        echo "$off" >"$tmp/fcitx5-disable.new"
        mv "$tmp/fcitx5-disable.new" "$tmp/fcitx5-disable"
    else
        fcitx5 -D "${verbose[@]}" --disable="wayland,waylandim,$off" >"$tmp/fcitx5.log" 2>&1 &
        started
    fi
    wait_for "fcitx5 did not take its bus name" gdbus wait --timeout 1 --session org.fcitx.Fcitx5
    if [ "$im" = fcitx-rime ]; then
        # fcitx5 loads Rime only once something needs it; asking for its
        # settings does, and Rime deploys as it loads.
        wait_for "fcitx5 did not load Rime" gdbus call --session --dest org.fcitx.Fcitx5 \
            --object-path /controller --method org.fcitx.Fcitx.Controller1.GetConfig \
            fcitx://config/addon/rime
        rime_deployed
    fi
fi
engines() { [[ $(ibus list-engine) == *table:cangjie5* && $(ibus list-engine) == *chewing* ]]; }
rime_engine() { [[ $(ibus list-engine) == *rime* ]]; }
rime_selected() { [ "$(ibus engine)" = rime ]; }
case $im in
fcitx | fcitx-rime) export QT_IM_MODULE=fcitx ;;
fcitx-xim) export XMODIFIERS=@im=fcitx ;;
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
ibus-rime)
    rime_user_folder "$XDG_CONFIG_HOME/ibus/rime"
    # The preedit inline (the keys, then their radicals), its cursor at the
    # caret after the keys: pinned.
    printf '%s\n' 'patch:' '  style/inline_preedit: true' '  style/preedit_style: composition' \
        '  style/cursor_type: insert' >"$XDG_CONFIG_HOME/ibus/rime/ibus_rime.custom.yaml"
    # ibus-rime announces a deploy through desktop notifications and waits for
    # them. Where the only notification service installed is one that waits
    # for a name (Plasma's), that holds the deploy up for most of a minute:
    # on this bus, starting a notification service fails at once.
    mkdir -p "$XDG_DATA_HOME/dbus-1/services"
    printf '%s\n' '[D-BUS Service]' Name=org.freedesktop.Notifications Exec=/bin/false \
        >"$XDG_DATA_HOME/dbus-1/services/org.freedesktop.Notifications.service"
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.ReloadConfig >/dev/null
    ibus-daemon --panel=disable --emoji-extension=disable --replace >"$tmp/ibus.log" 2>&1 &
    started
    wait_for "ibus-daemon did not list rime" rime_engine
    # Selecting the engine starts ibus-rime, which deploys. `ibus engine rime`
    # reports a failure here even as it selects the engine: ask afterwards.
    ibus engine rime >/dev/null 2>&1 || true
    wait_for "ibus did not select rime" rime_selected
    rime_deployed
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

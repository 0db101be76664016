#!/usr/bin/env bash
# Makes the README's pictures of the program as users run it, under KDE
# Plasma's compositor KWin, which draws the title bar (Breeze), with fcitx5 as
# KWin's input method:
#   docs/screenshot-intro.png  the window as it opens, before Start;
#   docs/screenshot-kde.png    a test started and Zhuyin (chewing) typed: two
#                              characters committed, then 你好 still being
#                              composed with its candidate list open.
#
#   scripts/readme-screenshot.sh               the release build, into docs/
#   scripts/readme-screenshot.sh --check DIR   the test build, into DIR, on the
#                                              first sheet (CTest's readme-screenshot)
#
# In a private headless session (scripts/e2e/session.sh), keys from the
# end-to-end tests' KWin tool, the screen cropped to what differs from the
# empty one. The sheet is random: the program starts again until its sheet
# (read over AT-SPI) holds two common characters with known keys, so that the
# two typed leave blank cells behind. KWin 6 (Debian 13) takes no screenshots
# without a GPU device (/dev/dri): there it skips (status 77).
set -euo pipefail
self=$(realpath "$0")
# --check: the test build, which the suite has just built, and any sheet.
check='' build=build/release
if [ "${1:-}" = --check ] && [ $# -eq 2 ]; then
    check=$(realpath -m "$2") build=build/test
elif [ $# -gt 0 ] && [ "$1" != --in-session ]; then
    sed -n 10,12p "$self" >&2
    exit 2
fi
cd "$(dirname "$self")/.."
tools=build/test/tests/e2e/input
# shellcheck source=scripts/lib/session.sh
. scripts/lib/session.sh

# KWin's ScreenShot2 writes raw pixels into a pipe and keeps its end open:
# read exactly stride x height bytes, then write them as BGRA rows.
kwin_shot_py='
import dbus, os, sys
bus = dbus.SessionBus()
shot = dbus.Interface(bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                      "org.kde.KWin.ScreenShot2")
r, w = os.pipe()
meta = shot.CaptureActiveScreen({"include-cursor": False, "native-resolution": True},
                                dbus.types.UnixFd(w))
os.close(w)
width, height, stride = int(meta["width"]), int(meta["height"]), int(meta["stride"])
# QImage formats 4-6 (RGB32, ARGB32, premultiplied) are BGRA in memory here.
if int(meta["format"]) not in (4, 5, 6):
    sys.exit("unexpected image format %d" % meta["format"])
data = bytearray()
while len(data) < stride * height:
    chunk = os.read(r, stride * height - len(data))
    if not chunk:
        sys.exit("short image")
    data += chunk
with open(sys.argv[1], "wb") as out:
    for y in range(height):
        out.write(data[y * stride:y * stride + width * 4])
print("%dx%d" % (width, height))
'

# The screen as a PNG in $1.
shot() {
    local size
    size=$(/usr/bin/python3 -c "$kwin_shot_py" "$1.bgra")
    convert -size "$size" -depth 8 "bgra:$1.bgra" -alpha off "$1"
    rm -f "$1.bgra"
}

# The sheet's cells over AT-SPI, one a line; a typed one reads （已打）.
sheet_py='
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
def cells(node):
    if node.get_role() == Atspi.Role.TABLE_CELL:
        yield node.get_name()
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from cells(child)
desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    if app is not None and app.get_name() == "qelvara":
        print("\n".join(cells(app)))
'

# Common characters and their keys on the standard Zhuyin layout (_ is Space,
# the first tone), each chewing's first choice for its syllable in a fresh
# home (not so: 是 ㄕˋ gives 市, 時 ㄕˊ 十, 他 ㄊㄚ 它). A sheet is random, and
# one with two of these on it shows them typed and gone.
common=(的=2k7 我=ji3 不=1j4 人=bp6 大=284 有=u.3 在=y94 中=5j/_ 上=g\;4 個=ek4
    要=ul4 會=cjo4 就=ru.4 一=u_ 了=xk7 這=5k4 來=x96 們=ap7 說=gji_ 國=eji6 到=2l4
    年=su06 生=g/_ 出=tj_ '也=u,3' 以=u3 子=y3 得=2k6 多=2ji_ 可=dk3
    下=vu84 小=vul3 看=d04 心=vup_ 去=fm4)

# Inside the session: the program, keys, the pictures (bare.png, the empty
# screen; intro.png; typing.png) in $1.
in_session() {
    local dir=$1 bare=$1/bare.png answer sheet picked=() entry tries
    pids=() app_pid=
    # shellcheck disable=SC2317 # called by the trap
    stop() {
        local i
        stop_pid "$app_pid"
        for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_pid "${pids[i]}"; done
    }
    trap stop EXIT
    # Installed as a user would have it: KWin finds the title bar's icon
    # through the desktop entry named after the program's app id.
    mkdir -p "$XDG_DATA_HOME/applications" "$XDG_DATA_HOME/icons"
    cp "$build"/data/*.desktop "$XDG_DATA_HOME/applications/"
    cp -r data/icons/hicolor "$XDG_DATA_HOME/icons/"
    # The accessibility bus up before the program, which then joins it.
    gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
        --method org.a11y.Bus.GetAddress >/dev/null
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    shot "$bare"
    coproc input { "$tools/kwin-input" 2>"$dir/input.log"; }
    pids+=("$input_PID")
    send() {
        echo "$*" >&"${input[1]}"
        read -r answer <&"${input[0]}"
        [ "$answer" = ok ] || { echo "readme-screenshot: $*: $answer" >&2; exit 1; }
    }
    # Keys with _ for Space.
    keys() {
        local rest=$1
        while [ -n "$rest" ]; do
            if [ "${rest:0:1}" = _ ]; then
                send key space
                rest=${rest:1}
            else
                send type "${rest%%_*}"
                rest=${rest#"${rest%%_*}"}
            fi
        done
    }
    # Until the screen is (1) or is not (0) the bare one.
    screen_bare() {
        for _ in $(seq 100); do
            shot "$dir/screen.png"
            if compare -metric AE "$dir/screen.png" "$bare" null: 2>/dev/null; then
                [ "$1" = 1 ] && return
            else
                [ "$1" = 0 ] && return
            fi
            sleep 0.1
        done
        echo "readme-screenshot: the window did not come or go" >&2
        exit 1
    }
    # A new sheet until it holds two of the common characters (one will do
    # after a while; any, for a check).
    for tries in $(seq 40); do
        if [ -n "$app_pid" ]; then
            stop_pid "$app_pid"
            screen_bare 1
        fi
        "$build/app/qelvara" >"$dir/qelvara.log" 2>&1 &
        app_pid=$!
        screen_bare 0
        # The window as it opens, its small box focused.
        [ -e "$dir/intro.png" ] || { sleep 0.5; shot "$dir/intro.png"; }
        # A compositor drops the first keys of a virtual keyboard and any
        # before a new window has the keyboard: Escape, which the start
        # screen ignores.
        for _ in 1 2 3 4 5; do send key Escape; sleep 0.2; done
        # Start (確定); then the typing box has the keyboard and fcitx5 a
        # focused input context (fcitx5-remote answers 2).
        send key Tab space
        for _ in $(seq 50); do
            [ "$(fcitx5-remote 2>/dev/null)" = 2 ] && break
            sleep 0.1
        done
        sheet=$(/usr/bin/python3 -c "$sheet_py")
        picked=()
        for entry in "${common[@]}"; do
            [[ $sheet == *"${entry%%=*}"* ]] && picked+=("$entry")
        done
        [[ -n $check || ${#picked[@]} -ge 2 || (${#picked[@]} -ge 1 && $tries -ge 15) ]] && break
    done
    picked+=(的=2k7 我=ji3)
    sleep 0.5
    # Two committed, then 你好 (ㄋㄧˇ ㄏㄠˇ) composed with its candidates open.
    for entry in "${picked[@]:0:2}"; do
        keys "${entry#*=}"
        send key Return
        echo "typed ${entry%%=*}" >&2
    done
    send type su3cl3
    sleep 0.3
    send key Down
    sleep 1
    shot "$dir/typing.png"
    # Typed characters leave the sheet.
    sheet=$(/usr/bin/python3 -c "$sheet_py")
    echo "typed and gone: $(grep -c '（已打）' <<<"$sheet" || true), sheets tried: $tries" >&2
}

if [ "${1:-}" = --in-session ]; then
    build=$3 check=$4
    in_session "$2"
    exit
fi

# The screenshots need a GPU device under KWin 6.
if [ ! -e /dev/dri ] && [[ $(kwin_wayland --version 2>/dev/null) =~ \ ([6-9])\. ]]; then
    echo "readme-screenshot: KWin ${BASH_REMATCH[1]} takes no screenshots without /dev/dri" >&2
    exit 77
fi
if [ -z "$check" ]; then
    # The pictures show the program as it is now: a release build, up to date.
    flock /tmp/qelvara-build.lock make build-release
    [ -d build/test ] || flock /tmp/qelvara-build.lock cmake --preset test
    flock /tmp/qelvara-build.lock cmake --build build/test --target kwin-input
fi

work=$(mktemp -d /tmp/readme-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT
scripts/e2e/session.sh --compositor kwin --im kwin-fcitx "$self" --in-session "$work" "$build" "$check"
out=${check:-docs}
mkdir -p "$out"
# Each cropped to what differs from the empty screen: the window and its popup.
for picture in intro:screenshot-intro typing:screenshot-kde; do
    crop=$(convert "$work/bare.png" "$work/${picture%:*}.png" -compose difference -composite \
        -fuzz 2% -format %@ info:)
    convert "$work/${picture%:*}.png" -crop "$crop" +repage "$out/${picture#*:}.png"
    echo "wrote $out/${picture#*:}.png"
done

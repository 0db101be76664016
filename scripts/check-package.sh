#!/usr/bin/env bash
# Checks the Debian package built by `make package`: its control fields, that
# apt can resolve its dependencies on this system, its contents, and that the
# program unpacked from it starts and shows its window under Xvfb.
#
#   scripts/check-package.sh [--build] [DEB] [SCREENSHOT]
#
# --build runs `make package` first. DEB defaults to build/package/qelvara_*.deb,
# SCREENSHOT to /tmp/pkg.png.
set -euo pipefail

cd "$(dirname "$0")/.."
if [ "${1:-}" = --build ]; then
    shift
    make package
fi
deb=${1:-$(ls -t build/package/qelvara_*.deb 2>/dev/null | head -n1)}
shot=${2:-/tmp/pkg.png}
[ -n "$deb" ] && [ -f "$deb" ] || { echo "no package; run make package (or pass --build)"; exit 1; }
deb=$(realpath "$deb")
id=org.qelvara.Qelvara

fails=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

scratch=$(mktemp -d)
xvfb_pid='' app_pid=''
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "== $deb"
dpkg-deb -f "$deb"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project(Qelvara VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(field Package)" = qelvara ] && ok "Package: qelvara" || fail "Package: $(field Package)"
case $(field Version) in
    "$version" | "$version"-*) ok "Version: $(field Version)" ;;
    *) fail "Version $(field Version) does not match the project's $version" ;;
esac
[ "$(field Section)" = education ] && ok "Section: education" || fail "Section: $(field Section)"
depends=$(field Depends)
for want in qt6-qpa-plugins libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 fonts-noto-cjk; do
    grep -q "\b$want\b" <<<"$depends" && ok "Depends names $want" || fail "Depends lacks $want"
done
grep -q 'fcitx5-frontend-qt6' <<<"$(field Recommends)" && ok "Recommends names fcitx5-frontend-qt6" ||
    fail "Recommends lacks fcitx5-frontend-qt6"

# Every dependency resolvable by apt (simulated install; nothing changes).
if apt-get -s -q install "$deb" >"$scratch/apt.log" 2>&1; then
    ok "apt-get -s install resolves the dependencies"
else
    fail "apt-get -s install failed:"; sed 's/^/    /' "$scratch/apt.log"
fi

# Contents.
root=$scratch/root
dpkg -x "$deb" "$root"
for f in usr/bin/qelvara usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/{16x16,32x32,48x48}/apps/$id.png \
    usr/share/doc/qelvara/copyright; do
    [ -e "$root/$f" ] && ok "/$f" || fail "/$f missing"
done
desktop-file-validate "$root/usr/share/applications/$id.desktop" && ok "desktop entry validates" ||
    fail "desktop entry does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >"$scratch/as.log" 2>&1 &&
    ok "metainfo validates" || { fail "metainfo does not validate"; cat "$scratch/as.log"; }

bin=$root/usr/bin/qelvara
[ -x "$bin" ] || { echo "$fails failure(s); no program to run"; exit 1; }
file -b "$bin" | grep -q 'stripped' && ! file -b "$bin" | grep -q 'not stripped' &&
    ok "program is stripped ($(stat -c %s "$bin") bytes)" || fail "program is not stripped"
missing=$(ldd "$bin" | grep 'not found' || true)
[ -z "$missing" ] && ok "ldd finds every library" || fail "ldd: $missing"

# Run the unpacked program on a private X display and look at it.
display=97
while [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do xdpyinfo -display :$display >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=:$display QT_QPA_PLATFORM=xcb "$bin" >"$scratch/app.log" 2>&1 &
app_pid=$!
win=''
for _ in $(seq 100); do
    win=$(DISPLAY=:$display xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -n "$win" ]; then
    sleep 1 # let the first paint land
    title=$(DISPLAY=:$display xdotool getwindowname "$win")
    ok "window up: '$title'"
    wmclass=$(DISPLAY=:$display xprop -id "$win" WM_CLASS | sed 's/.*= //')
    echo "   WM_CLASS $wmclass (the entry's StartupWMClass is $(sed -n 's/^StartupWMClass=//p' \
        "$root/usr/share/applications/$id.desktop"))"
    DISPLAY=:$display import -window root "$shot"
    ok "screenshot $shot"
else
    fail "no window from the unpacked program"; sed 's/^/    /' "$scratch/app.log"
fi
if kill -0 "$app_pid" 2>/dev/null; then
    ok "program still running after start-up"
else
    wait "$app_pid" && rc=0 || rc=$?
    fail "program exited early with status $rc"
fi

[ "$fails" -eq 0 ] && echo "package OK" || { echo "$fails failure(s)"; exit 1; }

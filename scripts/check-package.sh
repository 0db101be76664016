#!/usr/bin/env bash
# Checks the Debian package that `make package` built, the way a user gets it:
# lintian finds nothing, apt installs it with its dependencies and nothing
# else, its desktop entry and metainfo validate and lead to the installed
# program and icons, /usr/bin/qelvara maps its window on a private Xvfb, and
# apt removes it again.
# Whatever the install pulled in is purged too, so the machine is left as found.
#
#   scripts/check-package.sh [BUILD_DIR]     (default build/package; `make check-package`)
#
# Needs root or sudo for apt. Refuses to run while qelvara is installed, since
# removing it afterwards would take away the user's copy.
set -euo pipefail

cd "$(dirname "$0")/.."
build=${1:-build/package}
deb=$(ls -t "$build"/qelvara_*.deb 2>/dev/null | head -n1 || true)
[ -n "$deb" ] || { echo "no package in $build; run make package" >&2; exit 2; }
deb=$(realpath "$deb")
shot=$(realpath "$build")/installed.png
# Version, title and application id, as the build wrote them.
# shellcheck source=/dev/null
. "$build/identity.sh"
# shellcheck source=lib/xvfb.sh
. scripts/lib/xvfb.sh

readonly window_timeout=30 # seconds for the installed program to map its window

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt_get() {
    # Other apt runs on the machine hold the lock for a while: wait for them.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=600 "$@"
}
# Those of the named packages that are installed.
installed() {
    [ $# -gt 0 ] || return 0
    { dpkg-query -W -f='${db:Status-Status} ${Package}\n' "$@" 2>/dev/null || true; } |
        awk '$1 == "installed" { print $2 }'
}

if [ -n "$(installed qelvara)" ]; then
    echo "qelvara is installed already; remove it first (apt-get purge qelvara)" >&2
    exit 2
fi

fails=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

scratch=$(mktemp -d)
app_pid='' did_install=''
# Purges the package and whatever its install pulled in. Only apt's own plan
# names those: other programs may install packages meanwhile on a shared machine.
remove_package() {
    did_install=''
    apt_get purge qelvara >"$scratch/purge.log" 2>&1 || { cat "$scratch/purge.log"; return 1; }
    local added
    mapfile -t added < <(grep -v -x qelvara "$scratch/pulled")
    [ ${#added[@]} -gt 0 ] || return 0
    echo "purging what the install pulled in: ${added[*]}"
    apt_get purge "${added[@]}" >"$scratch/purge-deps.log" 2>&1 || { cat "$scratch/purge-deps.log"; return 1; }
}
cleanup() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    xvfb_stop
    [ -z "$did_install" ] || remove_package || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "== $deb"
dpkg-deb -f "$deb" Package Version Depends Recommends

# --- lintian: nothing at all to say -------------------------------------------
# As root it warns about being root; that is about how it runs, not the package.
lintian "$deb" 2>&1 | grep -v -x 'running with root privileges is not recommended!' \
    >"$scratch/lintian.log" || true
if [ -s "$scratch/lintian.log" ]; then
    fail "lintian $(lintian --version):"
    sed 's/^/    /' "$scratch/lintian.log"
else
    ok "lintian $(lintian --version | sed 's/^Lintian v//'): no tags"
fi
version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "$qelvara_version" ] && ok "Version: $version" ||
    fail "package version $version, the build's is $qelvara_version"
# What no library scan finds: Qt's platform plugin and a Traditional Chinese font.
depends=$(dpkg-deb -f "$deb" Depends)
for want in qt6-qpa-plugins fonts-noto-cjk libqt6widgets6; do
    grep -q "\b$want\b" <<<"$depends" && ok "Depends names $want" || fail "Depends lacks $want"
done

# --- install with apt ------------------------------------------------------------
# What the install will add: the package and any dependency still missing.
"${sudo[@]}" apt-get -s -q install "$deb" 2>&1 | sed -n 's/^Inst \([^ ]*\) .*/\1/p' >"$scratch/pulled"
did_install=1 # from here on, cleanup removes whatever arrived
if apt_get install "$deb" >"$scratch/install.log" 2>&1; then
    ok "apt-get install $(basename "$deb")"
else
    fail "apt-get install failed:"
    sed 's/^/    /' "$scratch/install.log"
    exit 1
fi

id=$qelvara_app_id
dpkg -L qelvara >"$scratch/files"
for f in /usr/bin/qelvara /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/$id.svg /usr/share/icons/hicolor/{16x16,32x32,48x48}/apps/$id.png \
    /usr/share/man/man1/qelvara.1.gz /usr/share/doc/qelvara/{copyright,changelog.gz}; do
    [ -e "$f" ] && grep -qxF "$f" "$scratch/files" && ok "$f" || fail "$f is not installed by the package"
done
# Nothing but the program and its data.
unexpected=$(while read -r f; do [ -d "$f" ] || echo "$f"; done <"$scratch/files" |
    grep -v -E '^/usr/(bin/qelvara|share/(applications|metainfo|icons/hicolor|doc/qelvara|man/man1|lintian/overrides)/)' || true)
[ -z "$unexpected" ] && ok "nothing else installed" || fail "unexpected installed files: $unexpected"
for png in /usr/share/icons/hicolor/*x*/apps/"$id".png; do
    size=$(identify -format '%wx%h' "$png")
    [[ $png == */${size}/apps/* ]] && ok "$png is $size" || fail "$png is $size"
done

entry=/usr/share/applications/$id.desktop meta=/usr/share/metainfo/$id.metainfo.xml
desktop-file-validate "$entry" && ok "desktop entry validates" || fail "desktop entry does not validate"
# AppStream 1.0 and later fail a component with no homepage, which the project
# lacks, unless told that is only a note; older versions know neither.
as_args=(validate --no-net)
[ "$(appstreamcli --version | grep -o '[0-9][0-9]*\.[0-9.]*' | head -n1 | cut -d. -f1)" -lt 1 ] ||
    as_args+=(--override=url-homepage-missing=info)
appstreamcli "${as_args[@]}" "$meta" >"$scratch/as.log" 2>&1 && ok "metainfo validates" ||
    { fail "metainfo does not validate"; cat "$scratch/as.log"; }
# The entry and the metainfo lead to what was installed.
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ "$(command -v "$exec_cmd")" = /usr/bin/qelvara ] && ok "Exec=$exec_cmd" || fail "Exec=$exec_cmd is not /usr/bin/qelvara"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] && ok "Icon=$icon" ||
    fail "Icon=$icon has no installed icon"
tag() { sed -n "s:.*<$1[^>]*>\(.*\)</$1>.*:\1:p" "$meta" | head -n1; }
[ -f "/usr/share/applications/$(tag launchable)" ] && [ "$(tag binary)" = "$exec_cmd" ] &&
    ok "metainfo launches the entry and provides $exec_cmd" ||
    fail "metainfo launchable $(tag launchable), binary $(tag binary)"

# --- start the installed program, as a user would -------------------------------
xvfb_start
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/run LANG=C.UTF-8 QT_QPA_PLATFORM=xcb
unset QT_IM_MODULE XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$HOME" "$XDG_RUNTIME_DIR"
started=$(date +%s%N)
/usr/bin/qelvara >"$scratch/app.log" 2>&1 &
app_pid=$!
# --onlyvisible: Qt's hidden client-leader window carries the same title.
win=$(timeout "$window_timeout" xdotool search --sync --onlyvisible --name "^$qelvara_title\$" || true)
win=${win%%$'\n'*}
if [ -n "$win" ]; then
    ok "window '$(xdotool getwindowname "$win")' mapped after $((($(date +%s%N) - started) / 1000000)) ms"
    sleep 1 # let the first paint land
    import -window root "$shot"
    ok "screenshot $shot"
else
    fail "no window titled '$qelvara_title' within ${window_timeout} s"
    sed 's/^/    /' "$scratch/app.log"
fi
if kill -0 "$app_pid" 2>/dev/null; then
    kill -TERM "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=''
    ok "program ran until stopped"
else
    wait "$app_pid" && rc=0 || rc=$?
    app_pid=''
    fail "program exited by itself with status $rc"
    sed 's/^/    /' "$scratch/app.log"
fi
xvfb_stop

# --- remove it again, leaving the machine as found --------------------------------
remove_package && ok "apt-get purge" || fail "purge failed"
mapfile -t pulled <"$scratch/pulled"
left=$(installed qelvara "${pulled[@]}")
[ -z "$left" ] && ok "left as found: ${#pulled[@]} package(s) installed and purged again" ||
    fail "still installed: $left"

echo "took ${SECONDS} s"
[ "$fails" -eq 0 ] && echo "package OK" || { echo "$fails failure(s)"; exit 1; }

#!/usr/bin/env bash
# The installer as a user meets it, under Wine in a session.sh session:
#
#   check.sh SETUP.EXE "WINDOW TITLE" VERSION
#
# A silent install into a fresh prefix, the program started from the Start
# menu entry's target until its window shows, then the quiet uninstall that
# the entry in Settings > Apps names: afterwards the user's files are as they
# were before the install, and the entry is gone. Exits 77 without Wine.
set -euo pipefail
setup=$1 title=$2 version=$3
for tool in wine wineserver xdotool python3; do
    command -v $tool >/dev/null || { echo "check.sh: $tool is missing; skipped" >&2; exit 77; }
done
[ -f "$setup" ] || { echo "check.sh: no $setup (installer.build makes it); skipped" >&2; exit 77; }
fail() {
    echo "check.sh: $*" >&2
    exit 1
}

tmp=$(mktemp -d)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
# No Mono or Gecko, and no menu entries on this machine's own desktop.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$tmp"' EXIT
wineboot --init && wineserver --wait
profile=$WINEPREFIX/drive_c/users/$(id -un)
# Not Temp (Wine 8 keeps it in the profile, Wine 9 on, as Windows, in
# AppData\Local): the uninstaller runs from a copy there, whose folder goes at
# the next restart.
files() { (cd "$profile" && find . \( -path ./Temp -o -path ./AppData/Local/Temp \) -prune -o -print | sort); }
files >"$tmp/before"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Qelvara'
value() { wine reg query "$key" /v "$1" | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }

wine "$setup" /S && wineserver --wait
[ "$(value DisplayVersion)" = "$version" ] || fail "Settings > Apps shows version '$(value DisplayVersion)', not $version"

# The Start menu entry's target: the local path in the link's LinkInfo.
lnk="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Qelvara.lnk"
[ -f "$lnk" ] || fail "no Start menu entry"
target=$(python3 - "$lnk" <<'EOF'
import sys
d = open(sys.argv[1], "rb").read()
flags = int.from_bytes(d[20:24], "little")
info = 76 + (2 + int.from_bytes(d[76:78], "little") if flags & 1 else 0)
path = info + int.from_bytes(d[info + 16:info + 20], "little")
print(d[path:d.index(b"\0", path)].decode("latin-1"))
EOF
)
wine "$target" &
timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" >/dev/null ||
    fail "starting $target showed no window \"$title\""
wineserver -k && wineserver --wait

quiet=$(value QuietUninstallString)
uninstaller=${quiet#\"} && uninstaller=${uninstaller%%\"*}
# shellcheck disable=SC2086 # the arguments after the quoted path
wine "$uninstaller" ${quiet##*\"} && wineserver --wait
! wine reg query "$key" >/dev/null 2>&1 || fail "the entry in Settings > Apps is still there"
files | diff "$tmp/before" - || fail "the uninstall left these files behind (>)"
echo "check.sh: installed, started from $target, uninstalled without a trace"

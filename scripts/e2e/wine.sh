#!/usr/bin/env bash
# The Windows program's tests under Wine, for CTest (tests/win/CMakeLists.txt):
#
#   wine.sh --build PRESET   cross-build a MinGW-w64 preset of this tree
#   wine.sh --boot           make the Wine prefix $WINEPREFIX anew (once a run)
#   wine.sh PROGRAM [ARG...] run a built program there; its status is wine's
#
# Exits 77 (a skip) when MinGW-w64 or Wine is missing: make test installs
# both (64-bit only: Wine's 32-bit half would need a foreign architecture).
set -euo pipefail

skip() {
    echo "wine.sh: $1 is missing; skipped (scripts/setup.sh test)" >&2
    exit 77
}
command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "g++-mingw-w64-x86-64-posix"

if [ "$1" = --build ]; then
    cd "$(dirname "$0")/../.."
    cmake --preset "$2" >/dev/null
    exec cmake --build --preset "$2" -j "$(nproc)"
fi

command -v wine >/dev/null || skip wine
: "${WINEPREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and their installers would ask.
# No menu builder: the prefix is the tests', not an entry in the desktop menu.
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
if [ "$1" = --boot ]; then
    rm -rf "$WINEPREFIX"
    env -u DISPLAY wineboot --init
    # The sessions have no window manager: Wine manages its windows itself,
    # rather than waiting two seconds on each closing one for a manager's word.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    exec wineserver --wait
fi
[ -f "$1" ] || { echo "wine.sh: no $1 (the win.build test builds it)" >&2; exit 1; }
status=0
wine "$@" || status=$?
# Whatever the program left running in the prefix ends with the test.
wineserver --kill 2>/dev/null || true
exit "$status"

#!/usr/bin/env bash
# Installs the build tree into a scratch DESTDIR and checks that the desktop
# integration holds together there: the entry's Exec and Icon resolve to
# installed files, the metainfo points at the entry and the binary, and
# nothing else (headers, static libraries) slips into the install.
# Usage: check-install.sh BUILD_DIR EXPECT_BINARY(0|1)
set -euo pipefail

build=$1 expect_binary=$2
# shellcheck source=/dev/null
. "$build/identity.sh"
id=$qelvara_app_id version=$qelvara_version
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr

# Desktop entry: installed, still valid, and pointing at things that exist.
desktop=$root/share/applications/$id.desktop
[ -f "$desktop" ] || { echo "FAIL: $desktop missing"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "installed desktop entry does not validate"
fi
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ "$icon" = "$id" ] || fail "Icon=$icon, expected $id"
if [ "$expect_binary" = 1 ]; then
    [ -x "$root/bin/$exec_cmd" ] || fail "Exec=$exec_cmd but no executable $root/bin/$exec_cmd"
fi

# Icons: the scalable one and bitmaps whose pixel size matches their folder.
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "scalable icon missing"
for size in 16 32 48; do
    [ -f "$root/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] ||
        fail "${size}x${size} icon missing"
done
for png in "$root"/share/icons/hicolor/*x*/apps/"$icon".png; do
    folder=$(basename "$(dirname "$(dirname "$png")")")
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "${w}x${h}" = "$folder" ] || fail "$png is ${w}x${h}, folder says $folder"
done

# Metainfo: named after its id, launching the installed entry, providing the
# installed binary, and releasing the version the build carries.
meta=$root/share/metainfo/$id.metainfo.xml
[ -f "$meta" ] || { echo "FAIL: $meta missing"; exit 1; }
tag() { sed -n "s:.*<$1[^>]*>\(.*\)</$1>.*:\1:p" "$meta" | head -n1; }
[ "$(tag id)" = "$id" ] || fail "metainfo id is '$(tag id)'"
launchable=$(tag launchable)
[ -f "$root/share/applications/$launchable" ] || fail "launchable $launchable not installed"
binary=$(tag binary)
[ "$binary" = "$exec_cmd" ] || fail "metainfo provides '$binary' but the entry runs '$exec_cmd'"
grep -q "<release version=\"$version\"" "$meta" || fail "no <release> for version $version"

for doc in copyright changelog.gz; do
    [ -f "$root/share/doc/qelvara/$doc" ] || fail "/usr/share/doc/qelvara/$doc missing"
done
[ -f "$root/share/man/man1/qelvara.1.gz" ] || fail "manual page missing"

# Nothing but the program and its data.
unexpected=$(cd "$dest" && find . -type f |
    grep -v -E '^\./usr/(bin/qelvara|share/(applications|metainfo|icons/hicolor|doc/qelvara|man/man1|lintian/overrides)/)' || true)
[ -z "$unexpected" ] || fail "unexpected installed files: $unexpected"

[ "$fails" -eq 0 ] || exit 1
echo "install layout OK ($(cd "$dest" && find . -type f | wc -l) files)"

#!/usr/bin/env bash
# Packs built Windows programs as Windows users get them (make windows):
#
#   scripts/windows-dist.sh [--out DIR] BUILD_DIR...
#
# For each build directory of a MinGW-w64 preset (build/windows-x64,
# build/windows-x86): the program, its installer (installer/qelvara.nsi,
# made with makensis) and a portable zip, all in DIR (build/windows/dist),
# with their SHA-256 in DIR/SHA256SUMS:
#
#   qelvara-VERSION-ARCH.exe  qelvara-VERSION-ARCH-setup.exe  qelvara-VERSION-ARCH.zip
#
# Two runs over one commit give the same bytes: file times are
# SOURCE_DATE_EPOCH (by default the last commit's time), and no PE header
# carries a time stamp.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)

out=$src/build/windows/dist
[ "${1:-}" != --out ] || { out=$(realpath -m "$2"); shift 2; }
[ $# -gt 0 ] || { sed -n 4p "$0" >&2; exit 2; }
die() {
    echo "windows-dist: $*" >&2
    exit 1
}
for tool in makensis zip; do
    command -v $tool >/dev/null || die "$tool is missing (scripts/setup.sh windows installs it)"
done

# A git archive's files carry the commit's time already.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null) ||
        SOURCE_DATE_EPOCH=$(stat -c %Y "$src/CMakeLists.txt")
fi
export SOURCE_DATE_EPOCH

# The PE header: its offset, its Machine field.
pe_header() { od -An -tu4 -j60 -N4 "$1" | tr -d ' '; }
pe_machine() { od -An -tu2 -j$(($(pe_header "$1") + 4)) -N2 "$1" | tr -d ' '; }
# The linker leaves the program's TimeDateStamp at zero; makensis keeps the
# one of its stub, and the uninstaller it writes copies the installer's.
zero_pe_time() {
    printf '\0\0\0\0' | dd of="$1" bs=1 seek=$(($(pe_header "$1") + 8)) conv=notrunc status=none
}

mkdir -p "$out"
made=()
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for build in "$@"; do
    [ -f "$build/identity.sh" ] && [ -f "$build/win/qelvara.exe" ] ||
        die "$build holds no built qelvara.exe (cmake --build --preset windows-x64)"
    # shellcheck source=scripts/identity.sh.in
    . "$build/identity.sh"
    case $(pe_machine "$build/win/qelvara.exe") in
    34404) arch=x64 ;; # IMAGE_FILE_MACHINE_AMD64
    332) arch=x86 ;;   # IMAGE_FILE_MACHINE_I386
    *) die "$build/win/qelvara.exe is no Windows program for x64 or x86" ;;
    esac
    name=qelvara-$qelvara_version-$arch

    # Fixed modes and times, so the umask and the build's moment don't show.
    dir=$stage/$arch
    mkdir "$dir"
    install -m 0755 "$build/win/qelvara.exe" "$dir/qelvara.exe"
    sed 's/$/\r/' "$src/LICENSE" >"$dir/LICENSE.txt"
    chmod 0644 "$dir/LICENSE.txt"
    touch -d "@$SOURCE_DATE_EPOCH" "$dir"/*

    cp -p "$dir/qelvara.exe" "$out/$name.exe"
    makensis -NOCD -V2 -INPUTCHARSET UTF8 -DVERSION="$qelvara_version" -DARCH=$arch \
        -DSTAGE="$dir" -DICON="$src/data/icons/$qelvara_app_id.ico" \
        -DOUTFILE="$out/$name-setup.exe" "$src/installer/qelvara.nsi" ||
        die "makensis failed for $arch"
    zero_pe_time "$out/$name-setup.exe"
    # zip writes local times: in UTC they are the epoch's. -X: no owner or
    # extra time fields; the names in this order, with no folder entry.
    rm -f "$out/$name.zip"
    (cd "$dir" && TZ=UTC0 zip -q -X -D "$out/$name.zip" qelvara.exe LICENSE.txt)
    made+=("$name.exe" "$name-setup.exe" "$name.zip")
done
(cd "$out" && sha256sum -- "${made[@]}" | tee SHA256SUMS)

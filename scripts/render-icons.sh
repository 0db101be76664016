#!/usr/bin/env bash
# Renders the bitmap icons from the scalable one, and the Windows icon from
# them (icotool, from icoutils). Run it after editing the SVG and commit the
# PNGs and the .ico with it: the windows embed them, and the build needs
# neither librsvg nor icoutils.
set -euo pipefail

cd "$(dirname "$0")/.."
icons=data/icons/hicolor
# Named by the application id, like every rendered size.
svg=$(ls "$icons"/scalable/apps/*.svg)
id=$(basename "$svg" .svg)

render() { # size out
    if command -v rsvg-convert >/dev/null 2>&1; then
        rsvg-convert -w "$1" -h "$1" "$svg" -o "$2"
    else
        # ImageMagick hands SVG to its rsvg delegate when one is present.
        convert -background none -density 384 "$svg" -resize "$1x$1" "PNG32:$2"
    fi
}

for size in 16 32 48 64 128 256; do
    out=$icons/${size}x${size}/apps/$id.png
    mkdir -p "$(dirname "$out")"
    render "$size" "$out.tmp"
    mv "$out.tmp" "$out"
    echo "$out"
done

# The Windows program's icon: the sizes the shell and the title bar ask for.
ico=data/icons/$id.ico
icotool -c -o "$ico.tmp" $(for size in 16 32 48; do echo "$icons/${size}x${size}/apps/$id.png"; done) \
    -r "$icons/256x256/apps/$id.png" # kept as PNG, as Windows reads the large size
mv "$ico.tmp" "$ico"
echo "$ico"

#!/usr/bin/env bash
# Renders the bitmap icons from the scalable one. Run it after editing the SVG
# and commit the PNGs with it: the window embeds the small ones, and the build
# does not need librsvg.
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

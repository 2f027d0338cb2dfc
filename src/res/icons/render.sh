#!/bin/sh
# Renders the icon's pictures from its scalable source: qelpupd-<size>.png beside this script.
# The PNGs are committed: run this after editing qelpupd.svg. Uses rsvg-convert (librsvg2-bin),
# or ImageMagick's convert when that is missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_svg="$here/qelpupd.svg"
for size in 16 32 48 256; do
    out="$here/qelpupd-$size.png"
    if command -v rsvg-convert >/dev/null 2>&1; then
        rsvg-convert --width "$size" --height "$size" --output "$out" "$source_svg"
    elif command -v convert >/dev/null 2>&1; then
        convert -background none -density 384 "$source_svg" -resize "${size}x${size}" \
            -strip "PNG32:$out"
    else
        echo "render.sh: needs rsvg-convert (librsvg2-bin) or convert (imagemagick)" >&2
        exit 1
    fi
    echo "$out"
done

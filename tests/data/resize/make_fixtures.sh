#!/bin/sh
# Remakes the scale-engine reference pictures with ImageMagick 6 (Debian's imagemagick package).
# source.rgb: 24 x 16 pixels, 8-bit red, green, blue, top row first. Each <filter>_<w>x<h>.rgb is
# that picture resized by ImageMagick's filter of the same name to exactly w x h.
set -eu
cd "$(dirname "$0")"
convert -size 24x16 gradient:'#ff2000-#0040ff' -rotate 90 -resize 24x16! \
    -fill white -draw 'rectangle 4,3 10,9' -fill black -draw 'rectangle 15,2 16,13' \
    -fill '#30c040' -draw 'rectangle 18,10 22,14' -depth 8 rgb:source.rgb
for filter in Box Triangle Mitchell Catrom Lanczos Spline; do
    for size in 10x7 32x32; do
        convert -size 24x16 -depth 8 rgb:source.rgb -filter "$filter" -resize "$size!" -depth 8 \
            "rgb:$(echo "$filter" | tr 'A-Z' 'a-z')_$size.rgb"
    done
done

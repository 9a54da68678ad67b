#!/usr/bin/env bash
# Draws the pictures that the picture-file effects read from beside the program, with
# ImageMagick 6 (fixed seeds, so a rerun gives the same pictures):
# - ../Frames/Shape/Border/grainy.jpg: a light grey grain that darkens a picture a little here and
#   there (the old-photo grain).
# - canvas.jpg: a canvas weave around mid grey, tiled over a picture as a texture.
# - oval.jpg: a white oval with a soft edge on black, a frame mask.
# - vignette.png: black with an alpha that grows from clear in the middle to dark at the edges, an
#   overlay.
# The pictures are committed; run this after changing it:
#   resources/Masks/make-masks.sh
set -euo pipefail
OUT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "${OUT}/../Frames/Shape/Border"

convert -seed 7 -size 128x128 xc:'gray(215)' -attenuate 2 +noise Gaussian -blur 0x0.5 \
  -colorspace Gray -quality 80 "${OUT}/../Frames/Shape/Border/grainy.jpg"

convert -seed 11 -size 64x64 pattern:hs_cross -negate -fill 'gray(128)' -colorize 75% \
  -attenuate 0.3 +noise Gaussian -blur 0x0.6 -colorspace Gray -quality 80 "${OUT}/canvas.jpg"

convert -size 160x120 xc:black -fill white -draw 'ellipse 80,60 64,46 0,360' -blur 0x6 \
  -colorspace Gray -quality 85 "${OUT}/oval.jpg"

convert -size 160x120 radial-gradient:'gray(0)-gray(230)' -gravity center -crop 160x120+0+0 +repage \
  \( -size 160x120 xc:black \) +swap -alpha off -compose CopyOpacity -composite \
  -define png:color-type=6 "${OUT}/vignette.png"

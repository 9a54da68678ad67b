#!/usr/bin/env bash
# Draws the 16 x 16 flag pictures of the language window with ImageMagick into resources/Flags:
# one per language file code (<code>.bmp) and unknown.bmp for codes without a flag of their own.
# 24-bit Windows bitmaps (BMP3), loaded from file by the language window. The pictures are
# committed; run this after changing it:
#   resources/Flags/make-flags.sh
set -euo pipefail
OUT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

bmp() {
  local name=$1; shift
  convert -size 16x16 "$@" -type TrueColor -depth 8 "BMP3:${OUT}/${name}.bmp"
}

# en-us: seven red and white stripes (the last row pair red) with a blue canton and two stars.
bmp en-us xc:white \
  -fill '#B22234' \
  -draw 'rectangle 0,0 15,1' -draw 'rectangle 0,4 15,5' -draw 'rectangle 0,8 15,9' -draw 'rectangle 0,12 15,13' \
  -fill '#3C3B6E' -draw 'rectangle 0,0 7,7' \
  -fill white -draw 'point 2,2' -draw 'point 5,2' -draw 'point 2,5' -draw 'point 5,5' -draw 'point 3,3' -draw 'point 4,4'

# de-de: black, red and gold bands.
bmp de-de xc:black \
  -fill '#DD0000' -draw 'rectangle 0,5 15,10' \
  -fill '#FFCE00' -draw 'rectangle 0,11 15,15'

# unknown: a grey field with a darker frame and a white question mark.
bmp unknown xc:'#C8C8C8' \
  -fill none -stroke '#707070' -draw 'rectangle 0,0 15,15' -stroke none \
  -fill white \
  -draw 'rectangle 5,3 10,4' -draw 'rectangle 10,5 11,7' -draw 'rectangle 7,7 9,8' \
  -draw 'rectangle 7,9 8,10' -draw 'rectangle 7,12 8,13'

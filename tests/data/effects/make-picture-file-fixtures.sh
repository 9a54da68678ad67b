#!/usr/bin/env bash
# Remakes the small mask and texture pictures of the picture-file effect tests with ImageMagick 6,
# as Windows bitmaps that the tests read with the system's LoadImageW:
# - half-black-16x4.bmp: 24 bpp, columns 0..7 black, 8..15 white (a grain texture and a frame mask).
# - white-5x3.bmp: 24 bpp, all white (a frame mask and an overlay without alpha).
# - grey128-1x1.bmp: one pixel of grey 128 in a grey palette picture (a mid-grey texture).
# - texture-3x2.bmp: 24 bpp, blue 0, 64, 200 in the top row and 128, 255, 30 in the bottom row,
#   green 77 and red 255 - blue (only the blue byte counts as the texture's value).
# - overlay-16x4.bmp: 32 bpp with alpha, columns 0..7 opaque red, 8..15 fully transparent green.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

convert -size 16x4 xc:black -fill white -draw 'rectangle 8,0 15,3' -type TrueColor BMP3:half-black-16x4.bmp
convert -size 5x3 xc:white -type TrueColor BMP3:white-5x3.bmp
convert -size 1x1 xc:'gray(128)' -type Grayscale -depth 8 -colors 256 BMP3:grey128-1x1.bmp
convert -size 3x2 xc:black \
  -fill 'rgb(255,77,0)' -draw 'point 0,0' -fill 'rgb(191,77,64)' -draw 'point 1,0' \
  -fill 'rgb(55,77,200)' -draw 'point 2,0' -fill 'rgb(127,77,128)' -draw 'point 0,1' \
  -fill 'rgb(0,77,255)' -draw 'point 1,1' -fill 'rgb(225,77,30)' -draw 'point 2,1' \
  -type TrueColor BMP3:texture-3x2.bmp
convert -size 16x4 xc:'rgba(0,255,0,0)' -fill 'rgba(255,0,0,1)' -draw 'rectangle 0,0 7,3' \
  -define bmp:format=bmp4 -type TrueColorAlpha BMP:overlay-16x4.bmp

#!/usr/bin/env bash
# Draws the program's icon, its symbol bitmaps and the result list's type icons with ImageMagick.
# Symbol bitmaps are 64 x 64, 24-bit, on the key colour #C0C0C0 with a white card (both keys are
# turned into the window colour by the code that draws them). The files are committed; run this
# after changing it:   resources/app/make-app-pictures.sh
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ICONS=$(cd "$HERE/.." && pwd)/Icons
mkdir -p "$ICONS"
ACCENT='#2D7DD2'; GREY='#6B7785'

bmp() {  # bmp NAME DRAW...
  local name=$1; shift
  convert -size 64x64 xc:'#C0C0C0' -fill white -stroke "$GREY" -draw "roundrectangle 8,8 55,55 6,6" \
    "$@" -type TrueColor -define bmp:format=bmp3 "BMP3:$HERE/$name.bmp"
}
bmp SymbolPicture -fill "$ACCENT" -stroke none -draw "polygon 14,48 28,26 38,40 44,32 50,48" \
  -fill '#F2B33D' -draw "circle 44,20 48,20"
bmp SymbolAudio -fill "$ACCENT" -stroke none -draw "rectangle 36,16 39,42" -draw "circle 31,43 37,43" \
  -draw "polygon 39,16 50,22 50,27 39,21"
bmp SymbolVideo -fill "$ACCENT" -stroke none -draw "rectangle 14,22 42,44" -draw "polygon 42,30 52,24 52,42 42,36"

# ico NAME OUT SIZES DRAW...: one picture per size, drawn at 48 and scaled.
ico() {
  local out=$1; shift
  local draw=("$@")
  local tmp; tmp=$(mktemp -d)
  convert -size 48x48 xc:none "${draw[@]}" -depth 8 "PNG32:$tmp/48.png"
  convert "$tmp/48.png" -resize 16x16 "PNG32:$tmp/16.png"
  convert "$tmp/16.png" "$tmp/48.png" "$out"
  rm -rf "$tmp"
}
ico "$HERE/App.ico" -fill "$ACCENT" -draw "roundrectangle 2,6 45,41 6,6" -fill white \
  -draw "polygon 8,36 20,18 28,30 33,24 40,36" -fill '#F2B33D' -draw "circle 35,14 38,14"
ico "$ICONS/Image.ico" -fill white -stroke "$GREY" -strokewidth 2 -draw "rectangle 4,8 43,39" -stroke none \
  -fill "$ACCENT" -draw "polygon 8,36 20,18 28,30 33,24 40,36"
ico "$ICONS/Sound.ico" -fill "$ACCENT" -draw "rectangle 26,6 31,34" -draw "circle 21,36 30,36" \
  -draw "polygon 31,6 42,12 42,18 31,12"
ico "$ICONS/Video.ico" -fill "$ACCENT" -draw "rectangle 4,12 32,36" -draw "polygon 32,20 44,12 44,36 32,28"

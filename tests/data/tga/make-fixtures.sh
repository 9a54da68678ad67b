#!/bin/sh
# Rebuilds the TGA fixtures of this folder with ImageMagick 6 (convert), all from one 23 x 17 crop
# of the built-in rose picture, and their references: each file as ImageMagick decodes it, turned
# upright by the file's origin bits (-auto-orient: ImageMagick keeps the stored row order and only
# notes the origin), 8 bits a channel, top row first.
set -eu
cd "$(dirname "$0")"
convert rose: -crop 23x17+20+10 +repage -strip small.png

convert small.png -type TrueColor rgb24.tga                    # type 2, bottom-left origin
convert small.png -type TrueColor -compress RLE rgb24-rle.tga  # type 10
convert small.png -orient TopLeft rgb24-top.tga                # descriptor bit 5: top row first
convert small.png -orient BottomRight rgb24-right.tga          # descriptor bit 4: right to left
convert small.png -type Palette mapped.tga                     # type 1, 163 colours, 24-bit map
convert small.png -type Palette -compress RLE mapped-rle.tga   # type 9
convert small.png -colorspace gray grey.tga                    # type 3
convert small.png -colorspace gray -compress RLE grey-rle.tga  # type 11
convert small.png -depth 5 rgb16.tga                           # 16 bits, 5-5-5
convert small.png -alpha set -channel A -fx "i/w" +channel rgba.tga   # 32 bits, 8 alpha bits
convert small.png -alpha set -channel A -fx "i/w" +channel -compress RLE rgba-rle.tga
rm small.png

for f in *.tga; do
  case $f in
    rgba*) convert "$f" -auto-orient -depth 8 "rgba:${f%.tga}.rgba" ;;
    *) convert "$f" -auto-orient -depth 8 "rgb:${f%.tga}.rgb" ;;
  esac
done

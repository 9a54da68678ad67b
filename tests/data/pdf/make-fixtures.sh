#!/bin/sh
# Rebuilds the PDF fixtures of this folder with ImageMagick 6 (convert; it makes the pictures,
# its policy does not let it write PDF) and img2pdf 0.4.4, which embeds JPEG files as they are
# (DCTDecode) and PNG files as Flate data with the PNG predictor, and writes linearized files
# (a first "%%EOF" right after the first page's cross-reference section).
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 48x32 gradient:red-blue -quality 92 -strip red-blue.jpg
convert -size 40x24 xc:"rgb(20,200,90)" -quality 95 -strip "$tmp/green.jpg"
convert -size 32x20 gradient:yellow-navy -strip png24:"$tmp/rgb.png"
convert -size 30x20 gradient:white-black -colorspace Gray -depth 8 -strip "$tmp/grey.png"
convert -size 16x8 xc:red xc:lime +append -type Palette -strip png8:"$tmp/palette.png"

img2pdf red-blue.jpg -o jpeg1.pdf
img2pdf red-blue.jpg "$tmp/green.jpg" "$tmp/rgb.png" "$tmp/grey.png" -o mixed4.pdf
img2pdf "$tmp/palette.png" -o palette.pdf

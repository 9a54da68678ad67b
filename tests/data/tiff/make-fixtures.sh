#!/bin/sh
# Rebuilds the TIFF fixtures of this folder with ImageMagick 6 (convert) and libtiff's tiffcp.
set -eu
cd "$(dirname "$0")"
IM="convert -define tiff:rows-per-strip=4"

# 24 x 16 colour gradient, red at the top, blue at the bottom, in several encodings.
$IM -size 24x16 gradient:red-blue -depth 8 -compress none -endian LSB rgb-le.tif
$IM -size 24x16 gradient:red-blue -depth 8 -compress LZW -endian MSB rgb-be-lzw.tif
$IM -size 24x16 gradient:red-blue -depth 8 -compress Zip -define tiff:predictor=2 rgb-zip-predictor.tif
$IM -size 24x16 gradient:red-blue -depth 8 -compress RLE rgb-packbits.tif
convert -size 32x16 xc:"rgb(200,40,30)" -depth 8 -compress JPEG -quality 95 rgb-jpeg.tif
# Left half red at half opacity, right half opaque blue.
convert -size 12x8 xc:"rgba(255,0,0,0.5)" -size 12x8 xc:blue +append -depth 8 -compress Zip rgba.tif
convert -size 12x8 xc:"cmyk(0,255,255,0)" -colorspace CMYK -depth 8 -compress none cmyk.tif
convert -size 12x8 xc:"rgb(0,128,255)" -colorspace Lab -depth 8 -compress none lab.tif

# Grey: 8 and 16 bits, and grey with alpha (two samples per pixel).
$IM -size 16x256 gradient:white-black -rotate 90 -colorspace Gray -depth 8 -compress Zip grey8.tif
$IM -size 16x256 gradient:white-black -rotate 90 -colorspace Gray -depth 16 -compress none grey16.tif
convert -size 16x8 xc:"graya(60%,0.5)" -type GrayscaleAlpha -depth 8 -compress none grey-alpha.tif

# Palettes (ImageMagick writes 16-bit colour maps): 64 colours (8 bits), 10 (4 bits), 4 (2 bits).
$IM -size 4x64 gradient:red-blue -rotate 90 -colors 64 -type Palette palette8.tif
$IM -size 4x10 gradient:red-blue -rotate 90 -colors 10 -type Palette palette4.tif
$IM -size 4x16 gradient:red-blue -rotate 90 -colors 4 -type Palette palette2.tif

# Bilevel: fax pages (CCITT Group 4) at low and fine vertical resolution, and a tiled page
# whose width (40) is not a multiple of the tile width (16).
convert -size 40x20 pattern:checkerboard -threshold 50% -type bilevel -compress Group4 -units PixelsPerInch -density 204x98 fax-204x98.tif
convert -size 40x20 pattern:checkerboard -threshold 50% -type bilevel -compress Group4 -units PixelsPerInch -density 204x196 fax-204x196.tif
convert -size 40x20 pattern:checkerboard -threshold 50% -type bilevel -depth 1 -compress none bw-strips.tmp.tif
tiffcp -t -w 16 -l 16 bw-strips.tmp.tif tiled-bw.tif
rm -f bw-strips.tmp.tif

# Ten pages of 8 x 8 flat grey, page k at level 20 k.
set --
for k in 0 1 2 3 4 5 6 7 8 9; do set -- "$@" -size 8x8 "xc:gray($((k * 20)))"; done
convert "$@" -colorspace Gray -depth 8 -compress none pages10.tif

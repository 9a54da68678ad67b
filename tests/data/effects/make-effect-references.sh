#!/usr/bin/env bash
# Remakes the reference pictures of the effect tests with ImageMagick 6. Raw files hold 8-bit
# blue, green, red pixels, rows top-down; their sizes are in the names.
# - blur-*, unsharp-*, negate-grey: what ImageMagick makes of ../imaging/pixel-input.bgr (24 x 16).
# - grey-ramp: a 64 x 40 grey picture, each value 40..200 equally often but for a few, with its
#   ImageMagick -level and -equalize results.
# - photo-*: a drawing (160 x 120), the same halved and saved as a JPEG of quality 40, and a
#   photograph, for the fingerprint tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
in="-size 24x16 -depth 8 bgr:../imaging/pixel-input.bgr"
out() { local name=$1; shift; convert "$@" -depth 8 "bgr:$name.bgr"; }

# Stack blur of radius r is a triangular kernel of variance ((r + 1)^2 - 1) / 6 along each axis.
out blur-r2 $in -blur 0x1.1547
out blur-r4 $in -blur 0x2.0
# Unsharp masking against the 5 x 5 mean: own + d * 0.5 where |d| = |own - mean| >= 3 levels.
out unsharp-a05-t3 $in \( +clone -define convolve:scale='!' -morphology Correlate '5x5: 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1' \) \
  -fx 'd = u - v; abs(d) >= 3/255 ? u + d * 0.5 : u'
out negate-grey $in -negate -grayscale Rec601Luma -type TrueColor

python3 - <<'PY'
out = bytearray()
w, h = 64, 40
for i in range(w * h):
    v = 40 + (i * 5) % 161          # every value of 40..200, 15 or 16 times
    out += bytes((v, v, v))
open("grey-ramp.bgr", "wb").write(out)
PY
ramp="-size 64x40 -depth 8 bgr:grey-ramp.bgr"
# -level takes quantum values unless given in percent: 41 and 199 of 255.
out grey-ramp-level $ramp -level 16.0784314%,78.0392157%
out grey-ramp-equalize $ramp -equalize

# ImageMagick's built-in wizard drawing and rose photograph.
out photo-a-160x120 wizard: -resize '160x120!'
convert -size 160x120 -depth 8 bgr:photo-a-160x120.bgr -resize 50% -quality 40 jpg:photo-a-small.jpg
out photo-a-small-80x60 photo-a-small.jpg
rm -f photo-a-small.jpg
out photo-b-160x120 rose: -resize '160x120!'

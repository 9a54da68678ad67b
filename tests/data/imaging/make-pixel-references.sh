#!/usr/bin/env bash
# Remakes the reference pictures of the pixel-operation tests with ImageMagick 6.
# pixel-input.bgr: a 24 x 16 pattern, 8-bit blue, green, red, rows top-down. Each output holds
# what ImageMagick makes of it, in the same layout.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
python3 - <<'PY'
import math
w, h = 24, 16
out = bytearray()
for y in range(h):
    for x in range(w):
        r = int(127.5 + 120 * math.sin(x * 0.7 + y * 0.3))
        g = int(127.5 + 120 * math.cos(x * 0.25 - y * 0.9))
        b = (x * 37 + y * 91 + (x * y) % 7 * 13) % 256
        out += bytes((b, g, r))
open("pixel-input.bgr", "wb").write(out)
PY
in="-size 24x16 -depth 8 bgr:pixel-input.bgr"
ref() { local name=$1; shift; convert $in "$@" -depth 8 "bgr:pixel-$name.bgr"; }
ref mean3 -define convolve:scale='!' -morphology Correlate '3x3: 1,1,1 1,1,1 1,1,1'
ref mean5 -define convolve:scale='!' -morphology Correlate '5x5: 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1'
ref soften -define convolve:scale='!' -morphology Correlate '3x3: 0,1,0 1,4,1 0,1,0'
ref sharpen -define convolve:scale='!' -morphology Correlate '3x3: 0,-1,0 -1,9,-1 0,-1,0'
ref edges -define convolve:bias=50.196% -morphology Correlate '3x3: -1,-1,-1 -1,8,-1 -1,-1,-1'
# Kernels in screen order: the filters' "row -1" is the row below on screen.
ref emboss7 -define convolve:bias=75.294% -morphology Correlate '3x3: 0,0,-1 0,0,0 1,0,0'
ref emboss9 -define convolve:bias=75.294% -morphology Correlate '3x3: -1,0,0 0,0,0 0,0,1'
ref dilate -morphology Dilate Square:1
ref erode -morphology Erode Square:1
ref outline -morphology EdgeOut Square:1
ref negate -negate
ref gamma -gamma 2.2
ref contrast -function Polynomial 2.25,-0.625
ref hue -modulate 100,100,150
ref red -channel R -separate

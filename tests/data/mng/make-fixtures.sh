#!/usr/bin/env bash
# Rebuilds the MNG and JNG fixtures of this folder with ImageMagick 6 (/usr/bin/convert) and
# Python 3. See README.md.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
IM=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sources: three 24 x 16 frames of flat blocks (the later ones change parts of the first), a
# 20 x 12 picture with a graded alpha channel, and a 16 x 10 grey ramp.
python3 - "$work" <<'PY'
import sys, os
out = sys.argv[1]
W, H = 24, 16
def frame(k):
    p = []
    for y in range(H):
        for x in range(W):
            c = [(x // 8) * 100, (y // 8) * 120, 60]
            if k >= 1 and 8 <= x < 16 and 0 <= y < 8:
                c = [250, 30, 30]
            if k == 2 and 16 <= x < 24 and 8 <= y < 16:
                c = [30, 60, 240]
            p += c
    return p
for k in range(3):
    with open(os.path.join(out, "frame%d.ppm" % k), "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (W, H) + bytes(frame(k)))
# RGBA as a PAM file: opaque red left half, half-transparent green right half, clear bottom rows.
w, h = 20, 12
px = []
for y in range(h):
    for x in range(w):
        a = 0 if y >= 10 else (255 if x < 10 else 128)
        px += ([240, 20, 20] if x < 10 else [20, 200, 20]) + [a]
with open(os.path.join(out, "alpha.pam"), "wb") as f:
    f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (w, h) + bytes(px))
w, h = 16, 10
with open(os.path.join(out, "grey.pgm"), "wb") as f:
    f.write(b"P5\n%d %d\n255\n" % (w, h) + bytes((x * 16 + y * 2) % 256 for y in range(h) for x in range(w)))
PY

# Still pictures.
$IM "$work/frame0.ppm" -strip single.mng
$IM "$work/frame0.ppm" -strip -quality 95 colour.jng
$IM "$work/alpha.pam" -strip -quality 95 alpha.jng
$IM "$work/grey.pgm" -strip -quality 95 grey.jng
# An animation of three frames of 20/100 s, repeated for ever.
$IM -delay 20 "$work/frame0.ppm" "$work/frame1.ppm" "$work/frame2.ppm" -loop 0 -strip anim3.mng

# Carved candidates: each file followed by bytes that belong to no picture.
for f in single.mng anim3.mng colour.jng alpha.jng; do
  { cat "$f"; printf 'TRAILING-GARBAGE-%.0s' 1 2 3 4; } > "carved-${f%.*}.${f##*.}.bin"
done

# Reference dumps (ImageMagick's decode of the sources: red, green, blue, top row first).
cat "$work/frame0.ppm" | tail -c $((24 * 16 * 3)) > frame0.rgb
cat "$work/frame1.ppm" | tail -c $((24 * 16 * 3)) > frame1.rgb
cat "$work/frame2.ppm" | tail -c $((24 * 16 * 3)) > frame2.rgb

#!/usr/bin/env bash
# Rebuilds the PNG and animated-PNG fixtures of this folder with ImageMagick 6 (/usr/bin/convert),
# apngasm 2.91 (Debian package apngasm) and Python 3. See README.md.
# Every *.png here has a reference dump made by ImageMagick from the file itself: *.rgb (red,
# green, blue), *.rgba (with alpha) or *.gray (one byte per pixel), top row first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
IM=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sources: a 13 x 7 colour picture with varied alpha, grey ramps with 256 and with 4 levels, and
# three 24 x 16 frames of an animation (RGBA; the later frames change parts of the first).
python3 - "$work" <<'PY'
import sys, os
out = sys.argv[1]
W, H = 13, 7
def pam(path, w, h, pixels):
    with open(path, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (w, h))
        f.write(bytes(pixels))
def pgm(path, w, h, pixels):
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (w, h))
        f.write(bytes(pixels))
px = []
for y in range(H):
    for x in range(W):
        r, g, b = (x * 19) % 256, (y * 37 + 5) % 256, (x * y * 11 + 50) % 256
        k = (x + y) % 3
        a = 255 if k == 0 else (0 if k == 1 else (40 * x + 7) % 256)
        px += [r, g, b, a]
pam(os.path.join(out, "colour.pam"), W, H, px)
pgm(os.path.join(out, "grey.pgm"), W, H, [(x * 17 + y * 9) % 256 for y in range(H) for x in range(W)])
pgm(os.path.join(out, "grey2.pgm"), W, H, [((x + 2 * y) % 4) * 85 for y in range(H) for x in range(W)])
FW, FH = 24, 16
def frame(k):
    p = []
    for y in range(FH):
        for x in range(FW):
            r, g, b, a = (x * 10) % 256, (y * 15) % 256, 90, 255
            if k >= 1 and 4 <= x < 14 and 3 <= y < 9:
                r, g, b, a = 250, 30, 30, 255
            if k >= 1 and 16 <= x < 22 and 10 <= y < 14:
                r, g, b, a = 20, 200, 40, 128
            if k == 2 and 2 <= x < 8 and 8 <= y < 15:
                r, g, b, a = 0, 0, 0, 0
            if k == 2 and 10 <= x < 20 and 1 <= y < 5:
                r, g, b, a = 30, 60, 240, 200
            p += [r, g, b, a]
    return p
for k in range(3):
    pam(os.path.join(out, "frame%d.pam" % k), FW, FH, frame(k))
PY

still() {   # still name source options...
  local name=$1 source=$2
  shift 2
  $IM "$work/$source" -strip "$@" "$name.png"
}
still rgb colour.pam -alpha off -define png:color-type=2 -define png:bit-depth=8
still rgb-interlaced colour.pam -alpha off -define png:color-type=2 -define png:bit-depth=8 -interlace PNG
still rgba colour.pam -define png:color-type=6 -define png:bit-depth=8
still rgba16 colour.pam -depth 16 -define png:color-type=6 -define png:bit-depth=16
still greya colour.pam -colorspace Gray -define png:color-type=4 -define png:bit-depth=8
still grey8 grey.pgm -define png:color-type=0 -define png:bit-depth=8
still grey16 grey.pgm -depth 16 -define png:color-type=0 -define png:bit-depth=16
still grey2 grey2.pgm -define png:color-type=0 -define png:bit-depth=2
still grey2-interlaced grey2.pgm -define png:color-type=0 -define png:bit-depth=2 -interlace PNG
still palette8 colour.pam -alpha off -colors 60 -define png:color-type=3 -define png:bit-depth=8
still palette4 colour.pam -alpha off -colors 12 -define png:color-type=3 -define png:bit-depth=4
$IM "$work/colour.pam" -strip -channel A -threshold 50% +channel -colors 40 PNG8:palette-trns.png
still rgb-trns colour.pam -alpha off -fill "rgb(0,5,50)" -opaque "rgb(0,5,50)" -transparent "rgb(0,5,50)" \
  -define png:color-type=2 -define png:bit-depth=8
$IM "$work/colour.pam" -alpha off -units PixelsPerInch -density 300 -define png:include-chunk=none,pHYs \
  -define png:color-type=2 rgb-300dpi.png

for f in rgb rgb-interlaced palette8 palette4 rgb-trns; do $IM "$f.png" -alpha off rgb:"$f.rgb"; done
for f in rgba rgba16 greya palette-trns; do $IM "$f.png" -depth 8 rgba:"$f.rgba"; done
for f in grey8 grey16 grey2 grey2-interlaced; do $IM "$f.png" -depth 8 gray:"$f.gray"; done

# Animated PNG: the three frames, every frame shown 3/100 s; apngasm picks the frame rectangles
# and the dispose and blend operations. anim-skip.png keeps frame 0 as a default image outside
# the animation (-f).
for k in 0 1 2; do $IM "$work/frame$k.pam" -strip -define png:color-type=6 "$work/frame$k.png"; done
apngasm anim3.png "$work/frame0.png" "$work/frame1.png" "$work/frame2.png" 3 100 -z0 >/dev/null
apngasm anim-skip.png "$work/frame0.png" "$work/frame1.png" "$work/frame2.png" 3 100 -z0 -f >/dev/null
python3 - "$work" <<'PY'
import sys, os
work = sys.argv[1]
with open("anim-frames.rgba", "wb") as out:
    for k in range(3):
        data = open(os.path.join(work, "frame%d.pam" % k), "rb").read()
        out.write(data[data.index(b"ENDHDR\n") + 7:])
PY

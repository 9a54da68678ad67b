#!/usr/bin/env bash
# Rebuilds the GIF fixtures of this folder with ImageMagick 6 (/usr/bin/convert), gifsicle 1.93
# (Debian package gifsicle) and Python 3. See README.md.
# Reference dumps, made by ImageMagick from each file (red, green, blue, top row first):
# *.rgb for still pictures, and for animations every frame as shown (-coalesce), one after the
# other.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
IM=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sources: a 20 x 15 picture with 300 different colours, and three 24 x 16 frames with few
# colours (the later ones change parts of the first).
python3 - "$work" <<'PY'
import sys, os
out = sys.argv[1]
def ppm(path, w, h, pixels):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(bytes(pixels))
px = []
for y in range(15):
    for x in range(20):
        i = y * 20 + x
        px += [(i * 7) % 256, (i * 13 + 40) % 256, (255 - i) % 256]
ppm(os.path.join(out, "many.ppm"), 20, 15, px)
W, H = 24, 16
def frame(k):
    p = []
    for y in range(H):
        for x in range(W):
            c = [(x // 4) * 40, (y // 4) * 60, 100]
            if k >= 1 and 4 <= x < 14 and 3 <= y < 9:
                c = [250, 30, 30]
            if k == 2 and 10 <= x < 20 and 6 <= y < 12:
                c = [30, 60, 240]
            p += c
    return p
for k in range(3):
    ppm(os.path.join(out, "frame%d.ppm" % k), W, H, frame(k))
PY

# Still pictures: 256-entry global table; the same interlaced; 16 and 2 colours.
$IM "$work/many.ppm" -colors 256 single.gif
$IM "$work/many.ppm" -colors 256 -interlace GIF single-interlaced.gif
$IM "$work/many.ppm" -colors 16 single16.gif
$IM "$work/many.ppm" -colors 2 single2.gif

# Animations of three 24 x 16 frames, 7/100 s each.
# anim3.gif: one global table, full frames.
$IM -delay 7 "$work/frame0.ppm" "$work/frame1.ppm" "$work/frame2.ppm" +map anim3.gif
# anim-local.gif: frame 1 and 2 with local colour tables.
$IM -delay 7 "$work/frame0.ppm" "$work/frame1.ppm" "$work/frame2.ppm" -dither None anim-local.gif
# anim-background.gif and anim-previous.gif: the same with disposal 2 (background) and 3
# (previous) on every frame.
$IM -delay 7 -dispose Background "$work/frame0.ppm" "$work/frame1.ppm" "$work/frame2.ppm" +map anim-background.gif
$IM -delay 7 -dispose Previous "$work/frame0.ppm" "$work/frame1.ppm" "$work/frame2.ppm" +map anim-previous.gif
# anim-opt.gif: gifsicle's optimisation, later frames as sub-rectangles with transparency.
gifsicle --no-warnings -O2 anim3.gif -o anim-opt.gif
# anim-interlaced.gif: the same frames interlaced.
gifsicle --no-warnings --interlace anim3.gif -o anim-interlaced.gif

for f in single single-interlaced single16 single2; do $IM "$f.gif" rgb:"$f.rgb"; done
for f in anim3 anim-local anim-opt anim-interlaced anim-background anim-previous; do $IM "$f.gif" -coalesce rgb:"$f.rgb"; done

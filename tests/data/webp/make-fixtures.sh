#!/usr/bin/env bash
# Rebuilds the WebP fixtures of this folder (see README.md). Needs python3 and the Debian package
# webp (cwebp, dwebp, img2webp 1.2.4).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Source pictures, 24 x 16: PNG files and raw references (top row first).
python3 - "$tmp" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
W, H = 24, 16
def png(path, rows, colour_type):
    raw = b''.join(b'\0' + r for r in rows)
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    ihdr = struct.pack('>IIBBBBB', W, H, 8, colour_type, 0, 0, 0)
    open(path, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
def pixel(x, y, k=0):
    return ((x * 10 + k * 40) % 256, (y * 15 + k * 20) % 256, (x * y * 3 + k * 90) % 256, 40 + (x * 5 + y * 3) % 216)
for k in range(3):
    rgb = [bytes(v for x in range(W) for v in pixel(x, y, k)[:3]) for y in range(H)]
    rgba = [bytes(v for x in range(W) for v in pixel(x, y, k)) for y in range(H)]
    png('%s/rgb%d.png' % (out, k), rgb, 2)
    png('%s/rgba%d.png' % (out, k), rgba, 6)
    open('%s/rgb%d.raw' % (out, k), 'wb').write(b''.join(rgb))
    open('%s/rgba%d.raw' % (out, k), 'wb').write(b''.join(rgba))
PY

# The pixels of a PPM or PAM file as raw bytes.
pnm_pixels() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
if data.startswith(b'P7'):
    end = data.index(b'ENDHDR\n') + len(b'ENDHDR\n')
else:
    fields, pos = [], 2
    while len(fields) < 3:
        while data[pos:pos + 1].isspace(): pos += 1
        start = pos
        while not data[pos:pos + 1].isspace(): pos += 1
        fields.append(data[start:pos])
    end = pos + 1
open(sys.argv[2], 'wb').write(data[end:])
PY
}

cwebp -quiet -lossless -exact "$tmp/rgb0.png" -o lossless.webp
cp "$tmp/rgb0.raw" lossless.rgb
cwebp -quiet -lossless -exact "$tmp/rgba0.png" -o lossless-alpha.webp
cp "$tmp/rgba0.raw" lossless-alpha.rgba
cwebp -quiet -q 80 "$tmp/rgb0.png" -o lossy.webp
dwebp -quiet lossy.webp -ppm -o "$tmp/lossy.ppm" && pnm_pixels "$tmp/lossy.ppm" lossy.rgb
cwebp -quiet -q 80 -exact "$tmp/rgba0.png" -o lossy-alpha.webp
dwebp -quiet lossy-alpha.webp -pam -o "$tmp/lossy-alpha.pam" && pnm_pixels "$tmp/lossy-alpha.pam" lossy-alpha.rgba
img2webp -lossless -d 100 "$tmp/rgb0.png" "$tmp/rgb1.png" "$tmp/rgb2.png" -o anim.webp >/dev/null
cp "$tmp/rgb0.raw" anim.rgb
ls -l *.webp

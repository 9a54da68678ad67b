#!/usr/bin/env bash
# Rebuilds the JPEG 2000 fixtures of this folder (see README.md). Needs python3 and the Debian
# package libopenjp2-tools (opj_compress, opj_decompress 2.5.0).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Source pictures, 24 x 16: PNG and raw files, and raw references (top row first).
python3 - "$tmp" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
W, H = 24, 16
def png(path, rows, colour_type, depth=8):
    raw = b''.join(b'\0' + r for r in rows)
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    ihdr = struct.pack('>IIBBBBB', W, H, depth, colour_type, 0, 0, 0)
    open(path, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
def pixel(x, y):
    return ((x * 10) % 256, (y * 15) % 256, (x * y * 3) % 256, 40 + (x * 5 + y * 3) % 216)
rgb = [bytes(v for x in range(W) for v in pixel(x, y)[:3]) for y in range(H)]
rgba = [bytes(v for x in range(W) for v in pixel(x, y)) for y in range(H)]
png(out + '/rgb.png', rgb, 2)
png(out + '/rgba.png', rgba, 6)
open(out + '/rgb.raw', 'wb').write(b''.join(rgb))
open(out + '/rgba.raw', 'wb').write(b''.join(rgba))
greya = [bytes(v for x in range(W) for v in ((x * 10 + y * 5) % 256, pixel(x, y)[3])) for y in range(H)]
png(out + '/greya.png', greya, 4)
open(out + '/greya.rgba', 'wb').write(b''.join(bytes([g, g, g, a]) for row in greya for g, a in zip(row[0::2], row[1::2])))
# 16 bits a channel: the 8-bit value in the high byte, a pattern in the low byte.
rgb16 = [b''.join(struct.pack('>H', (v << 8) | ((x * 7 + y) & 255)) for x in range(W) for v in pixel(x, y)[:3]) for y in range(H)]
png(out + '/rgb16.png', rgb16, 2, 16)
# Grey code streams of 1, 4, 5, 8 and 12 bits (raw samples: one byte, or two big-endian ones).
for depth in (1, 4, 5, 8, 12):
    top = (1 << depth) - 1
    values = [[(x * 3 + y * 5) % (top + 1) if depth > 1 else (x + y) % 2 for x in range(W)] for y in range(H)]
    body = b''.join((struct.pack('>H', v) if depth > 8 else bytes([v])) for row in values for v in row)
    open('%s/grey%d.raw' % (out, depth), 'wb').write(body)
    open('%s/grey%d.gray' % (out, depth), 'wb').write(bytes(v for row in values for v in row) if depth <= 8 else
                                                    b''.join(struct.pack('>H', v) for row in values for v in row))
# Y, Cb and Cr planes, the chroma at half size both ways (4:2:0), and the RGB they stand for
# (nearest chroma sample, the sYCC / JFIF equations).
Y = [[(x * 9 + y * 4) % 256 for x in range(W)] for y in range(H)]
Cb = [[(60 + x * 12) % 256 for x in range(W // 2)] for y in range(H // 2)]
Cr = [[(200 - y * 15) % 256 for x in range(W // 2)] for y in range(H // 2)]
open(out + '/ycc.raw', 'wb').write(bytes(v for p in (Y, Cb, Cr) for row in p for v in row))
clamp = lambda v: max(0, min(255, int(round(v))))
ref = bytearray()
for y in range(H):
    for x in range(W):
        l, cb, cr = Y[y][x], Cb[y // 2][x // 2] - 128, Cr[y // 2][x // 2] - 128
        ref += bytes([clamp(l + 1.402 * cr), clamp(l - 0.344136 * cb - 0.714136 * cr), clamp(l + 1.772 * cb)])
open(out + '/ycc.rgb', 'wb').write(ref)
PY

opj_compress -n 3 -i "$tmp/ycc.raw" -F 24,16,3,8,u@1x1:2x2:2x2 -o ycc420.j2k >/dev/null
cp "$tmp/ycc.rgb" ycc420.rgb
opj_compress -n 4 -i "$tmp/rgb.png" -o rgb.jp2 >/dev/null
opj_compress -n 4 -i "$tmp/rgb.png" -o rgb.j2k >/dev/null
opj_compress -n 4 -i "$tmp/rgba.png" -o rgba.jp2 >/dev/null
opj_compress -n 4 -i "$tmp/rgb16.png" -o rgb16.jp2 >/dev/null
opj_compress -n 4 -i "$tmp/greya.png" -o greya.jp2 >/dev/null
cp "$tmp/greya.rgba" greya.rgba
cp "$tmp/rgb.raw" rgb.rgb
cp "$tmp/rgba.raw" rgba.rgba
opj_compress -n 4 -i "$tmp/rgb.png" -o lossy.jp2 -r 20 -I >/dev/null
opj_decompress -i lossy.jp2 -o "$tmp/lossy.ppm" >/dev/null
python3 - "$tmp/lossy.ppm" lossy.rgb <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
fields, pos = [], 2
while len(fields) < 3:
    while data[pos:pos + 1].isspace(): pos += 1
    start = pos
    while not data[pos:pos + 1].isspace(): pos += 1
    fields.append(data[start:pos])
open(sys.argv[2], 'wb').write(data[pos + 1:])
PY
for depth in 1 4 5 8 12; do
  opj_compress -n 4 -i "$tmp/grey$depth.raw" -F 24,16,1,$depth,u -o grey$depth.j2k >/dev/null
  cp "$tmp/grey$depth.gray" grey$depth.gray
done
ls -l *.jp2 *.j2k

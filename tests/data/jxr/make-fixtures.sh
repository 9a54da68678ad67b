#!/usr/bin/env bash
# Rebuilds the JPEG XR fixtures of this folder with JxrEncApp (Debian package libjxr-tools).
# The source pictures are written by the Python program below; see README.md.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
command -v JxrEncApp >/dev/null || { echo "JxrEncApp missing: apt-get install libjxr-tools" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import math, struct, sys
out = sys.argv[1]
W, H = 21, 13

def r(x, y): return (x * 12 + y * 3) & 255
def g(x, y): return (y * 19 + 7) & 255
def b(x, y): return (255 - x * 11) & 255
def a(x, y): return 255 - (x + y) * 5
def grey(x, y): return x * 9 + y * 6
def linear(v):  # sRGB byte to linear light
    c = v / 255.0
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4

def bmp(path, bits):
    row = (W * bits // 8 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(H)):
        line = bytearray()
        for x in range(W):
            line += bytes([b(x, y), g(x, y), r(x, y)]) + (bytes([a(x, y)]) if bits == 32 else b'')
        pixels += line + bytes(row - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, bits, 0, len(pixels), 3780, 3780, 0, 0)
    open(path, 'wb').write(header + info + pixels)

def pnm(path, kind, maxval, sample):  # 8-bit samples
    data = bytes(v for y in range(H) for x in range(W) for v in sample(x, y))
    open(path, 'wb').write(b'%s\n%d %d\n%d\n' % (kind, W, H, maxval) + data)

def tiff(path, bits, sample_format, samples, pixel):
    # One strip, little-endian, chunky samples; alpha (a fourth sample) unassociated.
    data = b''.join(pixel(x, y) for y in range(H) for x in range(W))
    entries = [(256, 3, 1, W), (257, 3, 1, H), (258, 3, samples, 'bits'), (259, 3, 1, 1), (262, 3, 1, 2),
               (273, 4, 1, 'data'), (277, 3, 1, samples), (278, 3, 1, H), (279, 4, 1, len(data)),
               (284, 3, 1, 1)] + ([(338, 3, 1, 2)] if samples == 4 else []) + \
              [(339, 3, samples, 'format')]
    extra_at = 8 + 2 + 12 * len(entries) + 4
    where = {'bits': extra_at, 'format': extra_at + 2 * samples, 'data': extra_at + 4 * samples}
    ifd = struct.pack('<H', len(entries))
    for tag, kind, count, value in entries:
        value = where.get(value, value)
        if kind == 3 and count == 1:
            ifd += struct.pack('<HHIHH', tag, kind, count, value, 0)
        else:
            ifd += struct.pack('<HHII', tag, kind, count, value)
    ifd += struct.pack('<I', 0)
    blob = b'II*\0' + struct.pack('<I', 8) + ifd + struct.pack('<%dH' % samples, *([bits] * samples)) + \
           struct.pack('<%dH' % samples, *([sample_format] * samples)) + data
    open(path, 'wb').write(blob)

bmp(out + '/bgr24.bmp', 24)
bmp(out + '/bgra32.bmp', 32)
pnm(out + '/rgb24.ppm', b'P6', 255, lambda x, y: (r(x, y), g(x, y), b(x, y)))
pnm(out + '/grey8.pgm', b'P5', 255, lambda x, y: (grey(x, y),))
tiff(out + '/rgb48.tif', 16, 1, 3,
     lambda x, y: struct.pack('<3H', r(x, y) << 8 | (x * 7), g(x, y) << 8 | (y * 5), b(x, y) << 8 | 0x80))
tiff(out + '/rgba128f.tif', 32, 3, 4,
     lambda x, y: struct.pack('<4f', linear(r(x, y)), linear(g(x, y)), linear(b(x, y)), a(x, y) / 255.0))
# Taller than the loader's bands of rows: 21 x 300.
H = 300
pnm(out + '/rgb24-tall.ppm', b'P6', 255, lambda x, y: (r(x, y), g(x, y), b(x, y)))
PY

JxrEncApp -i "$work/bgr24.bmp" -o bgr24.jxr -c 0 >/dev/null
JxrEncApp -i "$work/bgra32.bmp" -o bgra32.jxr -c 22 -a 2 >/dev/null
JxrEncApp -i "$work/rgb24.ppm" -o rgb24.jxr -c 9 >/dev/null
JxrEncApp -i "$work/grey8.pgm" -o grey8.jxr -c 2 >/dev/null
JxrEncApp -i "$work/rgb48.tif" -o rgb48.jxr -c 10 >/dev/null
JxrEncApp -i "$work/rgba128f.tif" -o rgba128f.jxr -c 28 -a 2 >/dev/null
JxrEncApp -i "$work/rgb24-tall.ppm" -o rgb24-tall.jxr -c 9 >/dev/null

# Carved candidates: the same files followed by 700 bytes that belong to something else.
python3 - <<'PY'
import random
rng = random.Random(1)
for name in ('bgr24', 'bgra32', 'rgb24', 'grey8', 'rgb48', 'rgba128f'):
    data = open(name + '.jxr', 'rb').read()
    open(name + '-carved.jxr', 'wb').write(data + bytes(rng.randrange(256) for _ in range(700)))
PY
ls -l ./*.jxr

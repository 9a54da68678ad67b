# From an ImageMagick Radiance file (new run-length scanlines, "-Y h +X w"), writes:
#   <stem>-flat.hdr     the same pixels, flat (old encoding without repeats), "-Y h +X w"
#   <stem>-xmajor.hdr   the same picture stored by columns: "+X w -Y h", flat
#   <stem>-flipped.hdr  stored bottom row first and right to left: "+Y h -X w", flat
#   <stem>.rgb          the expected 24-bit picture, top-down R,G,B: gamma 2.0 display bytes
import math, sys

def read_radiance(path):
    d = open(path, 'rb').read()
    p = 0
    while True:
        e = d.index(b'\n', p)
        line = d[p:e]; p = e + 1
        if line == b'':
            break
    e = d.index(b'\n', p)
    res = d[p:e].split(); p = e + 1
    assert res[0] == b'-Y' and res[2] == b'+X', res
    h, w = int(res[1]), int(res[3])
    rows = []
    for y in range(h):
        assert d[p] == 2 and d[p+1] == 2 and (d[p+2] << 8 | d[p+3]) == w
        p += 4
        comps = []
        for c in range(4):
            out = bytearray()
            while len(out) < w:
                k = d[p]; p += 1
                if k > 128:
                    out += bytes([d[p]]) * (k - 128); p += 1
                else:
                    out += d[p:p+k]; p += k
            comps.append(out)
        rows.append([bytes([comps[0][x], comps[1][x], comps[2][x], comps[3][x]]) for x in range(w)])
    return w, h, rows

def header(res):
    return b'#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n' + res + b'\n'

def table(level, m):
    return min(255, int(256.0 * math.pow((m + 0.5) / 2.0 ** (8 + level), 0.5)))

def display(pixel):
    r, g, b, e = pixel
    x = e - 128
    out = []
    for m in (r, g, b):
        if x > 8:
            v = 255
        elif x > 0:
            s = (2 * m + 1) << (x - 1)
            v = 255 if s >= 256 else table(0, s)
        elif x >= -31:
            v = table(-x, m)
        elif x >= -39:
            v = table(31, ((m >> (-x - 32)) + 1) >> 1)
        else:
            v = 0
        out.append(v)
    return bytes(out)

src, stem = sys.argv[1], sys.argv[2]
w, h, rows = read_radiance(src)
flat = b''.join(b''.join(r) for r in rows)
open(stem + '-flat.hdr', 'wb').write(header(b'-Y %d +X %d' % (h, w)) + flat)
cols = b''.join(rows[y][x] for x in range(w) for y in range(h))
open(stem + '-xmajor.hdr', 'wb').write(header(b'+X %d -Y %d' % (w, h)) + cols)
flipped = b''.join(rows[y][x] for y in reversed(range(h)) for x in reversed(range(w)))
open(stem + '-flipped.hdr', 'wb').write(header(b'+Y %d -X %d' % (h, w)) + flipped)
open(stem + '.rgb', 'wb').write(b''.join(display(rows[y][x]) for y in range(h) for x in range(w)))

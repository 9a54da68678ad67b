# Writes chunky "PBM " IFF pictures (8 planes, rows of width bytes rounded up to even),
# raw and ByteRun1, from small.png quantised to 256 colours.
import struct, sys
from PIL import Image

def chunk(cid, data):
    out = cid + struct.pack('>I', len(data)) + data
    return out + (b'\0' if len(data) & 1 else b'')

def byterun1(row):
    out = bytearray(); i = 0
    while i < len(row):
        j = i
        while j < len(row) and j - i < 128 and row[j] == row[i]:
            j += 1
        if j - i >= 3:
            out += bytes([257 - (j - i), row[i]]); i = j; continue
        j = i + 1
        while j < len(row) and j - i < 128 and not (j + 2 < len(row) and row[j] == row[j+1] == row[j+2]):
            j += 1
        out += bytes([j - i - 1]) + row[i:j]; i = j
    return bytes(out)

def write(path, im, compress):
    w, h = im.size
    pal = im.getpalette()[:768]; pal += [0] * (768 - len(pal))
    bmhd = struct.pack('>HHhhBBBBHBBhh', w, h, 0, 0, 8, 0, 1 if compress else 0, 0, 0, 1, 1, w, h)
    body = bytearray()
    px = im.tobytes()
    rowlen = (w + 1) & ~1
    for y in range(h):
        row = px[y*w:(y+1)*w] + b'\0' * (rowlen - w)
        body += byterun1(row) if compress else row
    form = b'PBM ' + chunk(b'BMHD', bmhd) + chunk(b'CMAP', bytes(pal)) + chunk(b'BODY', bytes(body))
    open(path, 'wb').write(b'FORM' + struct.pack('>I', len(form)) + form)

im = Image.open(sys.argv[1]).convert('RGB').quantize(colors=256)
write(sys.argv[2], im, False)
write(sys.argv[3], im, True)

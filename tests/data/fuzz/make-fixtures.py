#!/usr/bin/env python3
"""Small files whose headers claim far more picture than they hold, one of each kind a loader
once took gigabytes for. Each is a fixture of this folder with its size fields enlarged (and its
CRC mended where the format checks one). The loader fuzz run takes them as seeds, and loads each
as it is first: every one must be refused quickly, with little memory.

Failing inputs that a fuzz campaign keeps (fuzz_<seed>_<iteration>.<ext>) land here too."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.dirname(HERE)


def fixture(name):
    with open(os.path.join(DATA, name), 'rb') as f:
        return bytearray(f.read())


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(bytes(data))


def fix_crc(b, type_at):
    length = struct.unpack('>I', b[type_at - 4:type_at])[0]
    crc = zlib.crc32(bytes(b[type_at:type_at + 4 + length])) & 0xFFFFFFFF
    b[type_at + 4 + length:type_at + 8 + length] = struct.pack('>I', crc)


# PNG: a tEXt chunk of 2 GB after the header of a 1 x 1 picture.
png = bytearray(b'\x89PNG\r\n\x1a\n')
ihdr = struct.pack('>IIBBBBB', 1, 1, 8, 0, 0, 0, 0)
png += struct.pack('>I', len(ihdr)) + b'IHDR' + ihdr + struct.pack('>I', zlib.crc32(b'IHDR' + ihdr) & 0xFFFFFFFF)
png += struct.pack('>I', 0x7FFFFFFF) + b'tEXt' + b'Comment\0' + b'x' * 56
write('png-text-2gb.png', png)

# BMP: OS/2 header of 65535 x 32767; RLE4 of 64 x 16777168.
b = fixture('bmp/os2-8.bmp')
b[18:22] = struct.pack('<HH', 0xFFFF, 0x7FFF)
write('bmp-os2-huge.bmp', b)
b = fixture('bmp/rle8.bmp')
b[18:26] = struct.pack('<ii', 64, 16777168)
b[28:30] = struct.pack('<H', 4)
b[30:34] = struct.pack('<I', 2)
write('bmp-rle4-tall.bmp', b)

# PCX and a DCX page: Xmax and Ymax enlarged.
pcx = fixture('pcx/p8.pcx')
pcx[8:12] = struct.pack('<HH', 0xFFFF, 0x7FFF)
write('pcx-huge.pcx', pcx)
write('dcx-huge.dcx', struct.pack('<IIII', 0x3ADE68B1, 16, 0, 0) + pcx)

# WebP: an animation's canvas 524608 wide; a lossless header of 16384 x 16384.
b = fixture('webp/anim.webp')
b[0x18:0x1B] = (524608 - 1).to_bytes(3, 'little')
write('webp-anim-wide.webp', b)
b = fixture('webp/lossless.webp')
b[0x15:0x18] = b'\xff\xff\xff'
b[0x18] |= 0x0F
write('webp-lossless-huge.webp', b)

# MNG: the embedded IHDR 16711744 wide.
b = fixture('mng/single.mng')
at = b.find(b'IHDR')
b[at + 4:at + 8] = struct.pack('>I', 0x00FF0040)
fix_crc(b, at)
write('mng-ihdr-wide.mng', b)

# JPEG 2000 code stream: SIZ of 16776968 x 8 in one tile.
b = fixture('jp2/grey8.j2k')
b[8:16] = struct.pack('>II', 0x00FFFF08, 8)
b[24:32] = struct.pack('>II', 0x00FFFF08, 8)
write('j2k-siz-wide.j2k', b)

# JPEG XR: the code stream's short header of 32768 x 12288.
b = fixture('jxr/grey8.jxr')
at = b.find(b'WMPHOTO')
b[at + 12:at + 16] = bytes([0x7F, 0xFF, 0x2F, 0xFF])
write('jxr-huge.jxr', b)

# GIF: two 1 x 1 frames on a logical screen of 12405 x 12405.
gif = bytearray(b'GIF89a') + struct.pack('<HHBBB', 12405, 12405, 0x80, 0, 0) + b'\0\0\0\xff\xff\xff'
for _ in range(2):
    gif += b'\x2c' + struct.pack('<HHHHB', 0, 0, 1, 1, 0) + b'\x02\x02\x44\x01\x00'
gif += b'\x3b'
write('gif-screen-huge.gif', gif)

# TIFF: a fax page whose ImageLength grew to 2100521 rows.
b = fixture('tiff/fax-204x196.tif')
little = b[:2] == b'II'
u16 = '<H' if little else '>H'
u32 = '<I' if little else '>I'
ifd = struct.unpack(u32, b[4:8])[0]
for i in range(struct.unpack(u16, b[ifd:ifd + 2])[0]):
    e = ifd + 2 + 12 * i
    if struct.unpack(u16, b[e:e + 2])[0] == 257:
        b[e + 2:e + 12] = struct.pack(u16, 4) + struct.pack(u32, 1) + struct.pack(u32, 2100521)
write('tif-fax-tall.tif', b)

# JPEG: a frame of 30000 x 30000.
b = fixture('jpeg/grey.jpg')
at = b.find(b'\xff\xc0')
if at < 0:
    at = b.find(b'\xff\xc2')
b[at + 5:at + 9] = struct.pack('>HH', 30000, 30000)
write('jpg-frame-huge.jpg', b)

#!/usr/bin/env python3
# Builds the Dr. Halo fixtures of this folder byte by byte: halo.cut with its palette halo.pal,
# and grey.cut, the same rows without a palette file. The references (8 bits a channel, top row
# first) are the pictures as ImageMagick 6 decodes them: halo.rgb and grey.rgb.
import os
import struct
import subprocess

os.chdir(os.path.dirname(os.path.abspath(__file__)))

WIDTH, HEIGHT = 150, 6


def row_pixels(y):
    if y == 0:
        return [(x * 7) % 256 for x in range(WIDTH)]           # literals only
    if y == 1:
        return [0] * WIDTH                                      # one long repeat (and index 0)
    if y == 2:
        return [78] * 60 + [(x * 3) % 256 for x in range(WIDTH - 60)]
    return [(x // 10 * 20 + y) % 256 for x in range(WIDTH)]     # runs of ten


def encode(pixels):
    # Runs of two or more equal bytes as repeat packets, the rest as literal packets, at most
    # 127 bytes a packet, then the end marker.
    out = bytearray()
    i = 0
    while i < len(pixels):
        j = i
        while j < len(pixels) and pixels[j] == pixels[i] and j - i < 127:
            j += 1
        if j - i >= 2:
            out += bytes([0x80 | (j - i), pixels[i]])
            i = j
            continue
        k = i
        while k < len(pixels) and k - i < 127 and (k + 1 >= len(pixels) or pixels[k + 1] != pixels[k]):
            k += 1
        k = max(k, i + 1)
        out += bytes([k - i]) + bytes(pixels[i:k])
        i = k
    return out + b"\0"


def cut():
    data = struct.pack("<HHH", WIDTH, HEIGHT, 0)
    for y in range(HEIGHT):
        record = encode(row_pixels(y))
        data += struct.pack("<H", len(record)) + record
    return data


def palette():
    # 40-byte header (ImageMagick reads the colours only with a proper one: "AH", version,
    # size, file type, sub type, board, graphics mode, largest index and channel maxima, name),
    # then 256 entries of three 16-bit values in 512-byte blocks no entry crosses.
    data = bytearray(b"AH" + struct.pack("<HH", 0x300, 0) + b"\x0a\x00" +
                     struct.pack("<HHHHHH", 0, 0, 255, 255, 255, 255) + b"Dr Halo".ljust(20, b"\0"))
    for i in range(256):
        rgb = (255, 0, 0) if i == 0 else ((i * 3) % 256, 255 - i, (i * 7) % 256)
        if len(data) % 512 + 6 > 512:
            data += bytes(512 - len(data) % 512)
        data += struct.pack("<HHH", *rgb)
    return bytes(data)


open("halo.cut", "wb").write(cut())
open("halo.pal", "wb").write(palette())
open("grey.cut", "wb").write(cut())
for name in ("halo", "grey"):
    subprocess.run(["convert", name + ".cut", "-depth", "8", "rgb:" + name + ".rgb"], check=True)

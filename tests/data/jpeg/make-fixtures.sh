#!/usr/bin/env bash
# Rebuilds the JPEG fixtures of this folder with ImageMagick 6 (/usr/bin/convert, libjpeg-turbo
# 2.1.5), cjpeg (libjpeg-turbo-progs 2.1.5), ExifTool 12.57 (libimage-exiftool-perl), Python 3 and
# the system's Little CMS 2 library (liblcms2.so.2). See README.md.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
IM=/usr/bin/convert

# 64 x 48 colour gradient, baseline, 4:2:0, quality 90.
$IM -size 64x48 gradient:"rgb(255,40,0)"-"rgb(0,90,255)" -strip -quality 90 rgb-gradient.jpg
# The same picture progressive.
$IM -size 64x48 gradient:"rgb(255,40,0)"-"rgb(0,90,255)" -strip -quality 90 -interlace JPEG progressive.jpg
# 32 x 16 grey ramp, one component.
$IM -size 16x32 gradient:white-black -rotate 90 -strip -colorspace Gray -type Grayscale -quality 95 grey.jpg
# 16 x 8 flat CMYK colour; ImageMagick writes Adobe-style inverted samples with an APP14 marker.
$IM -size 16x8 xc:"cmyk(20%,40%,60%,30%)" -strip -colorspace CMYK -quality 95 cmyk-adobe.jpg

python3 - <<'PY'
import ctypes, struct

# An RGB profile with sRGB primaries and white point but linear (gamma 1.0) curves.
lcms = ctypes.CDLL("liblcms2.so.2")
class xyY(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double), ("Y", ctypes.c_double)]
class Triple(ctypes.Structure):
    _fields_ = [("r", xyY), ("g", xyY), ("b", xyY)]
lcms.cmsBuildGamma.restype = ctypes.c_void_p
lcms.cmsBuildGamma.argtypes = [ctypes.c_void_p, ctypes.c_double]
lcms.cmsCreateRGBProfile.restype = ctypes.c_void_p
lcms.cmsCreateRGBProfile.argtypes = [ctypes.POINTER(xyY), ctypes.POINTER(Triple), ctypes.c_void_p * 3]
lcms.cmsSaveProfileToFile.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
lcms.cmsCloseProfile.argtypes = [ctypes.c_void_p]
white = xyY(0.3127, 0.3290, 1.0)
primaries = Triple(xyY(0.64, 0.33, 1.0), xyY(0.30, 0.60, 1.0), xyY(0.15, 0.06, 1.0))
curve = lcms.cmsBuildGamma(None, 1.0)
profile = lcms.cmsCreateRGBProfile(ctypes.byref(white), ctypes.byref(primaries), (ctypes.c_void_p * 3)(curve, curve, curve))
assert lcms.cmsSaveProfileToFile(profile, b"linear-rgb.icc")
lcms.cmsCloseProfile(profile)

# EXIF for exif-orientation6.jpg (little-endian TIFF): IFD0 Make "TestCam" (no Model),
# Orientation 6, XResolution and YResolution 300/1, the EXIF directory with DateTimeOriginal.
make = b"TestCam\0"
date = b"2021:06:15 10:20:30\0"
ifd0_count = 5
ifd0_at = 8
ifd0_size = 2 + 12 * ifd0_count + 4
make_at = ifd0_at + ifd0_size
xres_at = make_at + len(make)
yres_at = xres_at + 8
exif_ifd_at = yres_at + 8
exif_ifd_size = 2 + 12 + 4
date_at = exif_ifd_at + exif_ifd_size
def entry(tag, kind, count, value):
    return struct.pack("<HHI", tag, kind, count) + value
tiff = b"II*\0" + struct.pack("<I", ifd0_at)
tiff += struct.pack("<H", ifd0_count)
tiff += entry(0x010F, 2, len(make), struct.pack("<I", make_at))
tiff += entry(0x0112, 3, 1, struct.pack("<HH", 6, 0))
tiff += entry(0x011A, 5, 1, struct.pack("<I", xres_at))
tiff += entry(0x011B, 5, 1, struct.pack("<I", yres_at))
tiff += entry(0x8769, 4, 1, struct.pack("<I", exif_ifd_at))
tiff += struct.pack("<I", 0)
tiff += make + struct.pack("<II", 300, 1) + struct.pack("<II", 300, 1)
tiff += struct.pack("<H", 1) + entry(0x9003, 2, len(date), struct.pack("<I", date_at)) + struct.pack("<I", 0)
tiff += date
open("orientation6-exif.bin", "wb").write(b"Exif\0\0" + tiff)
PY

# 24 x 16 flat grey 128 with the linear profile assigned (no conversion by ImageMagick).
$IM -size 24x16 xc:"rgb(128,128,128)" -strip -type TrueColor -quality 95 -profile linear-rgb.icc icc-linear.jpg

# 24 x 16 picture (left half red, right half blue) with the EXIF block above put after the
# JFIF segment.
$IM -size 12x16 xc:red -size 12x16 xc:blue +append -strip -quality 95 exif-base.jpg
python3 - <<'PY'
data = open("exif-base.jpg", "rb").read()
exif = open("orientation6-exif.bin", "rb").read()
assert data[:2] == b"\xff\xd8"
at = 2
if data[2:4] == b"\xff\xe0":
    at = 4 + int.from_bytes(data[4:6], "big")
segment = b"\xff\xe1" + (len(exif) + 2).to_bytes(2, "big") + exif
open("exif-orientation6.jpg", "wb").write(data[:at] + segment + data[at:])
PY
rm -f exif-base.jpg orientation6-exif.bin

# ImageMagick's built-in 70 x 46 "rose" picture coded three ways by cjpeg at quality 90 (4:2:0):
# Huffman, Huffman with a restart marker after every MCU row, and arithmetic coding. The three
# decode to the same pixels.
$IM rose: -strip ppm:rose.ppm
cjpeg -quality 90 rose.ppm > rose-baseline.jpg
cjpeg -quality 90 -restart 1 rose.ppm > rose-restart.jpg
cjpeg -quality 90 -arithmetic rose.ppm > rose-arithmetic.jpg
rm -f rose.ppm

# The rose with EXIF written by ExifTool (big-endian): Make, Model, DateTimeOriginal and a
# 32 x 21 JPEG thumbnail in IFD1, which ExifTool puts at the end of the EXIF data.
$IM rose: -strip -quality 90 exif-thumbnail.jpg
$IM rose: -resize 32x21 -strip -quality 75 thumbnail-source.jpg
exiftool -q -overwrite_original -Make=TestCam -Model="TC-1 Mark II" -DateTimeOriginal="2022:03:04 05:06:07" \
  "-ThumbnailImage<=thumbnail-source.jpg" exif-thumbnail.jpg
rm -f thumbnail-source.jpg

# A CMYK printer profile (Lab PCS, one 5-point A2B0 table) of a press whose black darkens by 60 %
# at most, so that its colours differ plainly from the plain inverted-CMYK formula.
python3 - <<'PY'
import ctypes
lcms = ctypes.CDLL("liblcms2.so.2")
vp = ctypes.c_void_p
u32 = ctypes.c_uint32
lcms.cmsCreate_sRGBProfile.restype = vp
lcms.cmsCreateLab4Profile.restype = vp
lcms.cmsCreateLab4Profile.argtypes = [vp]
lcms.cmsCreateTransform.restype = vp
lcms.cmsCreateTransform.argtypes = [vp, u32, vp, u32, u32, u32]
lcms.cmsDoTransform.argtypes = [vp, vp, vp, u32]
lcms.cmsCreateProfilePlaceholder.restype = vp
lcms.cmsCreateProfilePlaceholder.argtypes = [vp]
lcms.cmsSetProfileVersion.argtypes = [vp, ctypes.c_double]
lcms.cmsSetDeviceClass.argtypes = [vp, u32]
lcms.cmsSetColorSpace.argtypes = [vp, u32]
lcms.cmsSetPCS.argtypes = [vp, u32]
lcms.cmsPipelineAlloc.restype = vp
lcms.cmsPipelineAlloc.argtypes = [vp, u32, u32]
lcms.cmsStageAllocCLut16bit.restype = vp
lcms.cmsStageAllocCLut16bit.argtypes = [vp, u32, u32, u32, ctypes.POINTER(ctypes.c_uint16)]
lcms.cmsPipelineInsertStage.argtypes = [vp, ctypes.c_int, vp]
lcms.cmsWriteTag.argtypes = [vp, u32, vp]
lcms.cmsD50_XYZ.restype = vp
lcms.cmsMLUalloc.restype = vp
lcms.cmsMLUalloc.argtypes = [vp, u32]
lcms.cmsMLUsetASCII.argtypes = [vp, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
lcms.cmsSaveProfileToFile.argtypes = [vp, ctypes.c_char_p]
lcms.cmsCloseProfile.argtypes = [vp]
def sig(text):
    return int.from_bytes(text.encode(), "big")
TYPE_RGB_16 = (4 << 16) | (3 << 3) | 2
TYPE_Lab_16 = (10 << 16) | (3 << 3) | 2
to_lab = lcms.cmsCreateTransform(lcms.cmsCreate_sRGBProfile(), TYPE_RGB_16, lcms.cmsCreateLab4Profile(None),
                                 TYPE_Lab_16, 1, 0)
grid = 5
table = []
for c in range(grid):
    for m in range(grid):
        for y in range(grid):
            for k in range(grid):
                C, M, Y, K = (v / (grid - 1) for v in (c, m, y, k))
                dark = 1 - 0.6 * K
                rgb = [(1 - C) * dark, (1 - 0.8 * M) * dark, (1 - Y) * dark]
                source = (ctypes.c_uint16 * 3)(*[round(v * 65535) for v in rgb])
                lab = (ctypes.c_uint16 * 3)()
                lcms.cmsDoTransform(to_lab, source, lab, 1)
                table.extend(lab)
profile = lcms.cmsCreateProfilePlaceholder(None)
lcms.cmsSetProfileVersion(profile, 2.1)
lcms.cmsSetDeviceClass(profile, sig("prtr"))
lcms.cmsSetColorSpace(profile, sig("CMYK"))
lcms.cmsSetPCS(profile, sig("Lab "))
pipeline = lcms.cmsPipelineAlloc(None, 4, 3)
lcms.cmsPipelineInsertStage(pipeline, 1, lcms.cmsStageAllocCLut16bit(None, grid, 4, 3,
                                                                     (ctypes.c_uint16 * len(table))(*table)))
assert lcms.cmsWriteTag(profile, sig("A2B0"), pipeline)
assert lcms.cmsWriteTag(profile, sig("wtpt"), lcms.cmsD50_XYZ())
description = lcms.cmsMLUalloc(None, 1)
lcms.cmsMLUsetASCII(description, b"en", b"US", b"Test CMYK press")
assert lcms.cmsWriteTag(profile, sig("desc"), description)
assert lcms.cmsSaveProfileToFile(profile, b"test-cmyk.icc")
lcms.cmsCloseProfile(profile)
PY

# 32 x 32 CMYK picture of four 16 x 16 patches (white, cyan, a red, a brown over full black),
# Adobe-style (inverted, YCCK) with test-cmyk.icc assigned. Reference colours in sRGB for the
# tests: `convert cmyk-icc.jpg -profile srgb.icc -depth 8 txt:-` with srgb.icc saved from Little
# CMS's cmsCreate_sRGBProfile, and `convert cmyk-icc.jpg -colorspace sRGB -depth 8 txt:-` for the
# plain formula (the profile ignored).
$IM \( -size 16x16 xc:"cmyk(0%,0%,0%,0%)" xc:"cmyk(100%,0%,0%,0%)" +append \) \
    \( -size 16x16 xc:"cmyk(0%,75%,50%,25%)" xc:"cmyk(20%,40%,60%,100%)" +append \) -append \
    -strip -colorspace CMYK -quality 95 -profile test-cmyk.icc cmyk-icc.jpg

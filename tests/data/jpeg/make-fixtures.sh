#!/usr/bin/env bash
# Rebuilds the JPEG fixtures of this folder with ImageMagick 6 (/usr/bin/convert, libjpeg-turbo
# 2.1.5), Python 3 and the system's Little CMS 2 library (liblcms2.so.2). See README.md.
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

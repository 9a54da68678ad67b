// Every signature check of the image-file layer with its window and a smallest header it
// accepts, in the detector's order. Header only, shared by the signature tests and the fuzz
// driver.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "imagefile/FormatRegistry.h"
#include "imagefile/extra/NImageFileANI.h"
#include "imagefile/extra/NImageFileBMP.h"
#include "imagefile/extra/NImageFileCLP.h"
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFileEPS.h"
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileGEM.h"
#include "imagefile/extra/NImageFileHDR.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/NImageFileIFF.h"
#include "imagefile/extra/NImageFileIFF2.h"
#include "imagefile/extra/NImageFileLMC.h"
#include "imagefile/extra/NImageFileMSP.h"
#include "imagefile/extra/NImageFilePCD.h"
#include "imagefile/extra/NImageFilePCX.h"
#include "imagefile/extra/NImageFilePFM.h"
#include "imagefile/extra/NImageFilePIC.h"
#include "imagefile/extra/NImageFilePIC2.h"
#include "imagefile/extra/NImageFilePIC3.h"
#include "imagefile/extra/NImageFilePPP.h"
#include "imagefile/extra/NImageFilePSD.h"
#include "imagefile/extra/NImageFileRAS.h"
#include "imagefile/extra/NImageFileRLA.h"
#include "imagefile/extra/NImageFileSGI.h"
#include "imagefile/extra/NImageFileTGA.h"
#include "imagefile/extra/NImageFileZBR.h"
#include "imagefile/formats/NImageFileGIF.h"
#include "imagefile/formats/NImageFileHEIC.h"
#include "imagefile/formats/NImageFileJNG.h"
#include "imagefile/formats/NImageFileJP2.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imagefile/formats/NImageFileJPS.h"
#include "imagefile/formats/NImageFileJXR.h"
#include "imagefile/formats/NImageFileMNG.h"
#include "imagefile/formats/NImageFileMPO.h"
#include "imagefile/formats/NImageFilePDF.h"
#include "imagefile/formats/NImageFilePNG.h"
#include "imagefile/formats/NImageFileTIF.h"
#include "imagefile/formats/NImageFileWEBP.h"

using namespace std::string_view_literals;

using SignatureCheck = bool (*)(const uint8_t*, uint64_t, uint64_t);

// Bytes written at a position of a zero-filled window.
struct SignaturePatch {
    uint32_t at = 0;
    std::string_view bytes;
};

struct SignatureCase {
    const char* name;
    SignatureCheck check;
    FileType id;
    NImageFile* (*make)();
    uint32_t window;               // bytes needed from the offset
    SignaturePatch patches[2];     // a header the check accepts; patches[0] holds its first byte
    uint8_t group;                 // detector group (1 to 3)
};

template <class T>
NImageFile* MakeFormatObject()
{
    return new T;
}

// The zero-filled window with the case's patches written into it.
inline std::vector<uint8_t> SignatureSample(const SignatureCase& c)
{
    std::vector<uint8_t> bytes(c.window, 0);
    for (const SignaturePatch& patch : c.patches) {
        for (size_t i = 0; i < patch.bytes.size(); ++i)
            bytes[patch.at + i] = static_cast<uint8_t>(patch.bytes[i]);
    }
    return bytes;
}

#define SIGNATURE_CASE(X) #X, NImageFile##X::IsFormat, FT_##X, MakeFormatObject<NImageFile##X>

// RLA has no signature (its check always answers false) and is not listed.
inline const SignatureCase signatureCases[] = {
    {SIGNATURE_CASE(PNG), 8, {{0, "\x89PNG\r\n\x1A\n"sv}}, 1},
    {SIGNATURE_CASE(JPG), 10, {{0, "\xFF\xD8\xFF"sv}}, 1},
    {SIGNATURE_CASE(BMP), 18, {{0, "BM"sv}, {14, "\x28"sv}}, 1},
    {SIGNATURE_CASE(TGA), 19, {{2, "\x02"sv}, {12, "\x80\x02\xE0\x01\x18"sv}}, 1},
    {SIGNATURE_CASE(PDF), 4, {{0, "%PDF"sv}}, 1},
    {SIGNATURE_CASE(LMC), 14, {{0, "L\0M\0C\0D\0O\0C\0" "3\0"sv}}, 1},
    {SIGNATURE_CASE(TIF), 4, {{0, "II*\0"sv}}, 1},
    {SIGNATURE_CASE(GIF), 6, {{0, "GIF89a"sv}}, 1},
    {SIGNATURE_CASE(WEBP), 16, {{0, "RIFF"sv}, {8, "WEBPVP8 "sv}}, 2},
    {SIGNATURE_CASE(JXR), 1025, {{0, "II\xBC\x01"sv}, {1017, "WMPHOTO"sv}}, 2},
    {SIGNATURE_CASE(PCX), 5, {{0, "\x0A\x05\x01\x08"sv}}, 2},
    {SIGNATURE_CASE(ICO), 7, {{0, "\0\0\x01\0\x01\0"sv}}, 2},
    {SIGNATURE_CASE(RAS), 5, {{0, "\x59\xA6\x6A\x95"sv}}, 2},
    {SIGNATURE_CASE(SGI), 5, {{0, "\x01\xDA\x00\x01"sv}}, 2},
    {SIGNATURE_CASE(PIC), 92, {{0, "\x53\x80\xF6\x34"sv}, {88, "PICT"sv}}, 2},
    {SIGNATURE_CASE(JNG), 5, {{0, "\x8BJNG"sv}}, 2},
    {SIGNATURE_CASE(PCD), 2055, {{2048, "PCD_IPI"sv}}, 2},
    {SIGNATURE_CASE(JP2), 8, {{0, "\0\0\0\x0C\x6A\x50\x20\x20"sv}}, 2},
    {SIGNATURE_CASE(IFF), 5, {{0, "FORM"sv}}, 2},
    {SIGNATURE_CASE(IFF2), 5, {{0, "FOR4"sv}}, 2},
    {SIGNATURE_CASE(HDR), 33, {{0, "#?RADIANCE\n"sv}}, 2},
    {SIGNATURE_CASE(EPS), 5, {{0, "\xC5\xD0\xD3\xC6"sv}}, 2},
    {SIGNATURE_CASE(ANI), 4, {{0, "RIFF"sv}}, 2},
    {SIGNATURE_CASE(PSD), 4, {{0, "8BPS"sv}}, 2},
    {SIGNATURE_CASE(HEIC), 13, {{4, "ftypheic"sv}}, 2},
    {SIGNATURE_CASE(PFM), 3, {{0, "PF"sv}}, 3},
    {SIGNATURE_CASE(CLP), 5, {{0, "\x50\xC3\x01"sv}}, 3},
    {SIGNATURE_CASE(FLT), 9, {{0, "IMAGE11\0"sv}}, 3},
    {SIGNATURE_CASE(PIC2), 2, {{0, "\x34\x12"sv}}, 3},
    {SIGNATURE_CASE(PIC3), 4, {{0, "PIC"sv}}, 3},
    {SIGNATURE_CASE(DCX), 5, {{0, "\xB1\x68\xDE\x3A"sv}}, 3},
    {SIGNATURE_CASE(ZBR), 5, {{0, "\x9A\x02\x04"sv}}, 3},
    {SIGNATURE_CASE(MNG), 5, {{0, "\x8AMNG"sv}}, 3},
    {SIGNATURE_CASE(MSP), 5, {{0, "LinS"sv}}, 3},
    {SIGNATURE_CASE(GEM), 12, {{8, "\0\x55\0\x55"sv}}, 3},
    {SIGNATURE_CASE(PPP), 5, {{0, "PP\x02"sv}}, 3},
    {SIGNATURE_CASE(MPO), 12, {{0, "\xFF\xD8\xFF\xE1"sv}, {6, "Exif"sv}}, 3},
    {SIGNATURE_CASE(JPS), 12, {{0, "\xFF\xD8\xFF\xE0"sv}, {6, "JFIF"sv}}, 3},
};

#undef SIGNATURE_CASE

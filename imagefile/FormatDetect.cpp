#include "imagefile/FormatDetect.h"

#include <cstdio>

#include "base/ScopedFile.h"
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

namespace {

struct DetectorEntry {
    FileType id;
    bool (*isFormat)(const uint8_t*, uint64_t, uint64_t);
};

constexpr DetectorEntry photoFormats[] = {
    {FT_PNG, NImageFilePNG::IsFormat},
    {FT_JPG, NImageFileJPG::IsFormat},
    {FT_BMP, NImageFileBMP::IsFormat},
    {FT_TGA, NImageFileTGA::IsFormat},
    {FT_PDF, NImageFilePDF::IsFormat},
    {FT_LMC, NImageFileLMC::IsFormat},
    {FT_TIF, NImageFileTIF::IsFormat},
    {FT_GIF, NImageFileGIF::IsFormat},
};

// WebP comes before ANI, which accepts any RIFF file.
constexpr DetectorEntry commonFormats[] = {
    {FT_WEBP, NImageFileWEBP::IsFormat},
    {FT_JXR, NImageFileJXR::IsFormat},
    {FT_PCX, NImageFilePCX::IsFormat},
    {FT_ICO, NImageFileICO::IsFormat},
    {FT_RAS, NImageFileRAS::IsFormat},
    {FT_RLA, NImageFileRLA::IsFormat},
    {FT_SGI, NImageFileSGI::IsFormat},
    {FT_PIC, NImageFilePIC::IsFormat},
    {FT_JNG, NImageFileJNG::IsFormat},
    {FT_PCD, NImageFilePCD::IsFormat},
    {FT_JP2, NImageFileJP2::IsFormat},
    {FT_IFF, NImageFileIFF::IsFormat},
    {FT_IFF2, NImageFileIFF2::IsFormat},
    {FT_HDR, NImageFileHDR::IsFormat},
    {FT_EPS, NImageFileEPS::IsFormat},
    {FT_ANI, NImageFileANI::IsFormat},
    {FT_PSD, NImageFilePSD::IsFormat},
    {FT_HEIC, NImageFileHEIC::IsFormat},
};

constexpr DetectorEntry rareFormats[] = {
    {FT_PFM, NImageFilePFM::IsFormat},
    {FT_CLP, NImageFileCLP::IsFormat},
    {FT_FLT, NImageFileFLT::IsFormat},
    {FT_PIC2, NImageFilePIC2::IsFormat},
    {FT_PIC3, NImageFilePIC3::IsFormat},
    {FT_DCX, NImageFileDCX::IsFormat},
    {FT_ZBR, NImageFileZBR::IsFormat},
    {FT_MNG, NImageFileMNG::IsFormat},
    {FT_MSP, NImageFileMSP::IsFormat},
    {FT_GEM, NImageFileGEM::IsFormat},
    {FT_PPP, NImageFilePPP::IsFormat},
    {FT_MPO, NImageFileMPO::IsFormat},
    {FT_JPS, NImageFileJPS::IsFormat},
};

template <size_t N>
FileType FirstMatch(const DetectorEntry (&entries)[N], const uint8_t* bytes, uint64_t offset,
                    uint64_t length)
{
    for (const DetectorEntry& entry : entries) {
        if (entry.isFormat(bytes, offset, length))
            return entry.id;
    }
    return FT_UNKNOWN;
}

}  // namespace

FileType DetectFormatFromBuffer(const uint8_t* bytes, uint64_t offset, uint64_t length,
                                bool group1, bool group2, bool group3)
{
    FileType id = FT_UNKNOWN;
    if (group1)
        id = FirstMatch(photoFormats, bytes, offset, length);
    if (id == FT_UNKNOWN && group2)
        id = FirstMatch(commonFormats, bytes, offset, length);
    if (id == FT_UNKNOWN && group3)
        id = FirstMatch(rareFormats, bytes, offset, length);
    return id;
}

FileType DetectFormatFromFile(const wchar_t* path)
{
    constexpr size_t headSize = 4096;
    uint8_t head[headSize] = {};
    int64_t fileSize = 0;
    {
        const ScopedFile file(path, L"rb");
        if (!file)
            return FT_UNKNOWN;
        fread(head, 1, headSize, file.Get());
        if (_fseeki64(file.Get(), 0, SEEK_END) != 0)
            return FT_UNKNOWN;
        fileSize = _ftelli64(file.Get());
    }
    if (fileSize <= 19)
        return FT_UNKNOWN;
    return DetectFormatFromBuffer(head, 0, headSize, true, true, true);
}

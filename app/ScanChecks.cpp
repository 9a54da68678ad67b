#include "app/ScanChecks.h"

#include "imagefile/CameraRaw.h"
#include "imagefile/extra/NImageFileBMP.h"
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileHDR.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/NImageFileIFF.h"
#include "imagefile/extra/NImageFileLMC.h"
#include "imagefile/extra/NImageFilePCD.h"
#include "imagefile/extra/NImageFilePSD.h"
#include "imagefile/formats/NImageFileGIF.h"
#include "imagefile/formats/NImageFileHEIC.h"
#include "imagefile/formats/NImageFileJNG.h"
#include "imagefile/formats/NImageFileJP2.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imagefile/formats/NImageFileJXR.h"
#include "imagefile/formats/NImageFileMNG.h"
#include "imagefile/formats/NImageFilePDF.h"
#include "imagefile/formats/NImageFilePNG.h"
#include "imagefile/formats/NImageFileTIF.h"
#include "imagefile/formats/NImageFileWEBP.h"

namespace {

const ScanCheck kChecks[kScanCheckCount] = {
    {1, FT_JPG, &NImageFileJPG::IsFormat, &NImageFileJPG::FindExtent},
    {1, FT_PNG, &NImageFilePNG::IsFormat, &NImageFilePNG::FindExtent},
    {1, FT_GIF, &NImageFileGIF::IsFormat, &NImageFileGIF::FindExtent},
    {1, FT_TIF, &NImageFileTIF::IsFormat, &NImageFileTIF::FindExtent},
    {1, FT_PDF, &NImageFilePDF::IsFormat, &NImageFilePDF::FindExtent},
    {2, FT_RAW, &IsCameraRawData, nullptr},
    {3, FT_WEBP, &NImageFileWEBP::IsFormat, &NImageFileWEBP::FindExtent},
    {3, FT_JXR, &NImageFileJXR::IsFormat, &NImageFileJXR::FindExtent},
    {3, FT_JP2, &NImageFileJP2::IsFormat, &NImageFileJP2::FindExtent},
    {3, FT_HEIC, &NImageFileHEIC::IsFormat, &NImageFileHEIC::FindExtent},
    {4, FT_LMC, &NImageFileLMC::IsFormat, &NImageFileLMC::FindExtent},
    {4, FT_BMP, &NImageFileBMP::IsFormat, &NImageFileBMP::FindExtent},
    {4, FT_PSD, &NImageFilePSD::IsFormat, &NImageFilePSD::FindExtent},
    {4, FT_JNG, &NImageFileJNG::IsFormat, &NImageFileJNG::FindExtent},
    {4, FT_MNG, &NImageFileMNG::IsFormat, &NImageFileMNG::FindExtent},
    {4, FT_IFF, &NImageFileIFF::IsFormat, &NImageFileIFF::FindExtent},
    {4, FT_HDR, &NImageFileHDR::IsFormat, &NImageFileHDR::FindExtent},
    {4, FT_PCD, &NImageFilePCD::IsFormat, &NImageFilePCD::FindExtent},
    {4, FT_FLT, &NImageFileFLT::IsFormat, &NImageFileFLT::FindExtent},
    {4, FT_DCX, &NImageFileDCX::IsFormat, &NImageFileDCX::FindExtent},
    {4, FT_ICO, &NImageFileICO::IsFormat, &NImageFileICO::FindExtent},
};

}  // namespace

const ScanCheck* ScanChecks()
{
    return kChecks;
}

ScanExtentFunction ScanExtentOf(FileType type)
{
    for (const ScanCheck& entry : kChecks) {
        if (entry.type == type)
            return entry.extent;
    }
    return nullptr;
}

int CollectScanHits(const uint8_t* buffer, size_t offset, size_t length, unsigned groupMask, FileType* hits)
{
    int count = 0;
    bool tiffHit = false;
    for (const ScanCheck& entry : kChecks) {
        if ((groupMask & (1u << (entry.group - 1))) == 0)
            continue;
        if (!entry.check(buffer, offset, length))
            continue;
        if (entry.type == FT_TIF)
            tiffHit = true;
        else if (entry.type == FT_RAW && tiffHit)
            continue;
        hits[count++] = entry.type;
    }
    return count;
}

#include "imagefile/ImageFactory.h"

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "base/ResourceUtils.h"
#include "base/SystemOwners.h"
#include "imaging/DecodeBudget.h"
#include "imagefile/FormatDetect.h"
#include "imagefile/NImageFile.h"
#include "imagefile/extra/NImageFileANI.h"
#include "imagefile/extra/NImageFileBMP.h"
#include "imagefile/extra/NImageFileCLP.h"
#include "imagefile/extra/NImageFileCUT.h"
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFileDWG.h"
#include "imagefile/extra/NImageFileEMF.h"
#include "imagefile/extra/NImageFileEPS.h"
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileGEM.h"
#include "imagefile/extra/NImageFileHDR.h"
#include "imagefile/extra/NImageFileHRZ.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/NImageFileIFF.h"
#include "imagefile/extra/NImageFileIFF2.h"
#include "imagefile/extra/NImageFileLMC.h"
#include "imagefile/extra/NImageFileMAC.h"
#include "imagefile/extra/NImageFileMSP.h"
#include "imagefile/extra/NImageFilePCD.h"
#include "imagefile/extra/NImageFilePCT.h"
#include "imagefile/extra/NImageFilePCX.h"
#include "imagefile/extra/NImageFilePFM.h"
#include "imagefile/extra/NImageFilePIC.h"
#include "imagefile/extra/NImageFilePIC2.h"
#include "imagefile/extra/NImageFilePIC3.h"
#include "imagefile/extra/NImageFilePIX.h"
#include "imagefile/extra/NImageFilePPP.h"
#include "imagefile/extra/NImageFilePSD.h"
#include "imagefile/extra/NImageFileRAS.h"
#include "imagefile/extra/NImageFileRLA.h"
#include "imagefile/extra/NImageFileSGI.h"
#include "imagefile/extra/NImageFileTGA.h"
#include "imagefile/extra/NImageFileWBMP.h"
#include "imagefile/extra/NImageFileXBM.h"
#include "imagefile/extra/NImageFileZBR.h"
#include "imagefile/formats/NImageFileGIF.h"
#include "imagefile/formats/NImageFileHEIC.h"
#include "imagefile/formats/NImageFileJNG.h"
#include "imagefile/formats/NImageFileJP2.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imagefile/formats/NImageFileJPP.h"
#include "imagefile/formats/NImageFileJPS.h"
#include "imagefile/formats/NImageFileJXR.h"
#include "imagefile/formats/NImageFileMNG.h"
#include "imagefile/formats/NImageFileMPO.h"
#include "imagefile/formats/NImageFilePDF.h"
#include "imagefile/formats/NImageFilePLUGIN.h"
#include "imagefile/formats/NImageFilePNG.h"
#include "imagefile/formats/NImageFileTIF.h"
#include "imagefile/formats/NImageFileWEBP.h"

namespace {

template <typename T>
NImageFile* Make()
{
    return new (std::nothrow) T();
}

// The ids whose class writes (the plug-in id aside).
bool IsWriterId(FileType id)
{
    switch (id) {
    case FT_BMP: case FT_GIF: case FT_ICO: case FT_JNG: case FT_JPG: case FT_JP2: case FT_MNG:
    case FT_PCX: case FT_PIX: case FT_PNG: case FT_PPP: case FT_PSD: case FT_RAS: case FT_SGI:
    case FT_TGA: case FT_TIF: case FT_PDF: case FT_LMC: case FT_JXR: case FT_WEBP:
        return true;
    default:
        return false;
    }
}

// A plug-in reader, or null when no plug-in reads the path's extension (its DLL path stays empty).
NImageFile* MakePlugInReader(const wchar_t* path, ImageLoadOptions* options)
{
    NImageFilePLUGIN* reader = CreatePlugInReader(path, options);
    if (!reader)
        return nullptr;
    const NString& dll = options ? options->plugInPath : reader->loadOptions.plugInPath;
    if (dll.IsEmpty()) {
        delete reader;
        return nullptr;
    }
    return reader;
}

NImageFile* MakeWriter(FileType id, const wchar_t* path, ImageSaveOptions* options)
{
    if (id == FT_PLUGIN) {
        NImageFilePLUGIN* writer = CreatePlugInWriter(path, options);
        if (!writer)
            return nullptr;
        const NString& dll = options ? options->plugInPath : writer->saveOptions.plugInPath;
        if (dll.IsEmpty()) {
            delete writer;
            return nullptr;
        }
        return writer;
    }
    if (!IsWriterId(id))
        return nullptr;
    return CreateImageFileObject(id);
}

// True when the picture is a strip of frames: the memory behind it holds the scan lines of every
// frame while its height field counts one (animated PNG, GIF and MNG, MPO and JPS pairs).
// Every such loader makes the picture as tall as the whole strip and then sets the height to one
// frame, so the bitmap itself tells.
bool IsFrameStrip(const NImageBuffer& picture)
{
    DIBSECTION section = {};
    if (picture.bitmap && GetObjectW(picture.bitmap, sizeof(section), &section) == sizeof(section)) {
        const LONG rows = section.dsBm.bmHeight < 0 ? -section.dsBm.bmHeight : section.dsBm.bmHeight;
        return rows > picture.height;
    }
    return false;
}

// A decoded 32-bpp picture whose alpha bytes are all 0 carries no transparency: opaque 24 bpp.
// A strip of frames is left alone: the check would see one frame and the conversion keep one.
void DropEmptyAlpha(NImageBuffer& picture, bool frameStrip)
{
    if (!frameStrip && picture.valid && picture.bpp == 32 && !picture.HasAlpha()) {
        picture.SetChannel(4, 255);
        picture.ConvertToBpp(24, false);
    }
}

// The search shared by both loads. target null: into the object, which is kept in *out on any
// answer but 200; otherwise into target, every object destroyed at once. Answers 200 when the
// search should go on with the embedded-JPEG fallback.
NRESULT SearchAndLoad(ImageFileMaker maker, NImageFile** out, NImageBuffer* target, const wchar_t* path,
                      uint8_t preview, uint8_t quick, ImageLoadOptions* options, FileType id)
{
    if (id == 0)
        id = FormatFromExtension(path);
    std::vector<FileType> tried;
    bool detected = false;
    for (;;) {
        NImageFile* object = id == FT_PLUGIN ? MakePlugInReader(path, options) : maker(id);
        if (object) {
            tried.push_back(id);
            if (options)
                object->SetLoadOptions(options);
            const NRESULT result = object->Load(path, preview, quick, target);
            if (target) {
                const bool strip = result == NR_OK && IsFrameStrip(*target);
                delete object;
                if (result != NR_NOT_THIS_FORMAT) {
                    if (result == NR_OK)
                        DropEmptyAlpha(*target, strip);
                    return result;
                }
            } else if (result != NR_NOT_THIS_FORMAT) {
                if (result == NR_OK)
                    DropEmptyAlpha(object->picture, IsFrameStrip(object->picture));
                *out = object;
                return result;
            } else {
                delete object;
            }
        }
        if (detected)
            return NR_NOT_THIS_FORMAT;
        detected = true;
        const FileType found = DetectFormatFromFile(path);
        bool seen = found == 0;
        for (FileType t : tried)
            seen = seen || t == found;
        if (seen)
            return NR_NOT_THIS_FORMAT;
        id = found;
    }
}

// A load that failed after the decode budget refused it memory answers "Memory insufficient",
// whatever the loader made of the refusal.
NRESULT BudgetAnswer(const NDecodeScope& scope, NRESULT result)
{
    return result != NR_OK && scope.Refused() ? NR_NOT_ENOUGH_MEMORY : result;
}

}  // namespace

NImageFile* CreateImageFileObject(FileType id)
{
    switch (id) {
    case FT_ANI: return Make<NImageFileANI>();
    case FT_BMP: return Make<NImageFileBMP>();
    case FT_CLP: return Make<NImageFileCLP>();
    case FT_CUT: return Make<NImageFileCUT>();
    case FT_DCX: return Make<NImageFileDCX>();
    case FT_DWG: return Make<NImageFileDWG>();
    case FT_EMF: return Make<NImageFileEMF>();
    case FT_EPS: return Make<NImageFileEPS>();
    case FT_FLT: return Make<NImageFileFLT>();
    case FT_GEM: return Make<NImageFileGEM>();
    case FT_GIF: return Make<NImageFileGIF>();
    case FT_HDR: return Make<NImageFileHDR>();
    case FT_HRZ: return Make<NImageFileHRZ>();
    case FT_ICO: return Make<NImageFileICO>();
    case FT_IFF: return Make<NImageFileIFF>();
    case FT_JNG: return Make<NImageFileJNG>();
    case FT_JPG: return Make<NImageFileJPG>();
    case FT_JP2: return Make<NImageFileJP2>();
    case FT_JPP: return Make<NImageFileJPP>();
    case FT_MAC: return Make<NImageFileMAC>();
    case FT_MNG: return Make<NImageFileMNG>();
    case FT_MSP: return Make<NImageFileMSP>();
    case FT_PCD: return Make<NImageFilePCD>();
    case FT_PCT: return Make<NImageFilePCT>();
    case FT_PCX: return Make<NImageFilePCX>();
    case FT_PIC: return Make<NImageFilePIC>();
    case FT_PIX: return Make<NImageFilePIX>();
    case FT_PNG: return Make<NImageFilePNG>();
    case FT_PPP: return Make<NImageFilePPP>();
    case FT_PSD: return Make<NImageFilePSD>();
    case FT_RAS: return Make<NImageFileRAS>();
    case FT_RLA: return Make<NImageFileRLA>();
    case FT_SGI: return Make<NImageFileSGI>();
    case FT_TGA: return Make<NImageFileTGA>();
    case FT_TIF: return Make<NImageFileTIF>();
    case FT_WBMP: return Make<NImageFileWBMP>();
    case FT_XBM: return Make<NImageFileXBM>();
    case FT_ZBR: return Make<NImageFileZBR>();
    case FT_PFM: return Make<NImageFilePFM>();
    case FT_PDF: return Make<NImageFilePDF>();
    case FT_LMC: return Make<NImageFileLMC>();
    case FT_JXR: return Make<NImageFileJXR>();
    case FT_PIC2: return Make<NImageFilePIC2>();
    case FT_PIC3: return Make<NImageFilePIC3>();
    case FT_IFF2: return Make<NImageFileIFF2>();
    case FT_WEBP: return Make<NImageFileWEBP>();
    case FT_MPO: return Make<NImageFileMPO>();
    case FT_JPS: return Make<NImageFileJPS>();
    case FT_HEIC: return Make<NImageFileHEIC>();
    default:
        // No class: the name-only ids, the plug-in id (made by the plug-in host), the formats
        // whose classes are not part of the program, and everything outside 0..60.
        return nullptr;
    }
}

NRESULT LoadImageFileWith(ImageFileMaker maker, NImageFile** out, const wchar_t* path, uint8_t preview,
                          uint8_t quick, ImageLoadOptions* options, FileType id)
{
    if (!path || !out)
        return NR_FILE_NOT_FOUND;
    NDecodeScope scope;
    NRESULT result = SearchAndLoad(maker, out, nullptr, path, preview, quick, options, id);
    if (result == NR_NOT_THIS_FORMAT)
        result = LoadFallbackImageFile(path, out);
    return BudgetAnswer(scope, result);
}

NRESULT LoadImageIntoBitmapWith(ImageFileMaker maker, NImageBuffer& target, const wchar_t* path, uint8_t preview,
                                uint8_t quick, ImageLoadOptions* options, FileType id)
{
    if (!path)
        return NR_FILE_NOT_FOUND;
    NDecodeScope scope;
    NRESULT result = SearchAndLoad(maker, nullptr, &target, path, preview, quick, options, id);
    if (result == NR_NOT_THIS_FORMAT)
        result = LoadFallbackIntoBitmap(path, target);
    return BudgetAnswer(scope, result);
}

NRESULT LoadImageFile(NImageFile** out, const wchar_t* path, uint8_t preview, uint8_t quick,
                      ImageLoadOptions* options, FileType id)
{
    return LoadImageFileWith(CreateImageFileObject, out, path, preview, quick, options, id);
}

NRESULT LoadImageIntoBitmap(NImageBuffer& target, const wchar_t* path, uint8_t preview, uint8_t quick,
                            ImageLoadOptions* options, FileType id)
{
    return LoadImageIntoBitmapWith(CreateImageFileObject, target, path, preview, quick, options, id);
}

NRESULT LoadFallbackImageFile(const wchar_t* path, NImageFile** out)
{
    if (!path || !out)
        return NR_FILE_NOT_FOUND;
    NImageFileJPG jpeg;
    const NRESULT result = jpeg.LoadEmbeddedJpeg(path, nullptr);
    auto* holder = new NImageFileGeneric();
    holder->SetFileName(path);
    if (result == NR_NOT_THIS_FORMAT) {
        holder->formatId = 0;
    } else {
        holder->formatId = FormatFromExtension(path);
        if (jpeg.picture.valid)
            holder->picture.Copy(jpeg.picture);
    }
    *out = holder;
    return result;
}

NRESULT LoadFallbackIntoBitmap(const wchar_t* path, NImageBuffer& target)
{
    if (!path)
        return NR_FILE_NOT_FOUND;
    NImageFileJPG jpeg;
    return jpeg.LoadEmbeddedJpeg(path, &target);
}

NRESULT SaveImageFile(NImageBuffer* picture, const wchar_t* path, FileType id, ImageSaveOptions* options)
{
    if (!path)
        return NR_FILE_NOT_FOUND;
    if (id == 0)
        id = FormatFromExtension(path);
    NImageFile* writer = MakeWriter(id, path, options);
    if (!writer)
        return NR_NO_WRITER;
    if (options)
        writer->SetSaveOptions(options);
    const NRESULT result = writer->Save(path, picture, nullptr);
    delete writer;
    return result;
}

NRESULT SaveImageFileFrom(NImageFile* source, const wchar_t* path, FileType id, ImageSaveOptions* options)
{
    if (!path || !source)
        return NR_FILE_NOT_FOUND;
    if (id == 0)
        id = source->GetFormatId();
    if (id == source->GetFormatId()) {
        if (options)
            source->SetSaveOptions(options);
        return source->Save(path, nullptr, nullptr);
    }
    NImageFile* writer = MakeWriter(id, path, options);
    if (!writer)
        return NR_NO_WRITER;
    if (options)
        writer->SetSaveOptions(options);
    const NRESULT result = writer->SaveFrom(path, source);
    delete writer;
    return result;
}

NRESULT LoadImageFromResource(NImageBuffer& target, HMODULE module, const wchar_t* name, const wchar_t* type)
{
    DWORD size = 0;
    if (!LoadResourceData(module, name, type, nullptr, &size) || size == 0)
        return NR_RESOURCE_NOT_VALID;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return NR_RESOURCE_FETCH_FAILED;
    }
    if (!LoadResourceData(module, name, type, bytes.data(), &size))
        return NR_RESOURCE_FETCH_FAILED;

    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t unique[MAX_PATH + 1] = {};
    const DWORD folderLength = GetTempPathW(MAX_PATH, folder);
    if (folderLength == 0 || folderLength > MAX_PATH || !GetTempFileNameW(folder, L"dlv", 0, unique))
        return NR_FILE_OPEN_WRITE;
    // GetTempFileNameW made the unique name as an empty file; the picture goes to that name with
    // an extension for its format, and both files are removed afterwards.
    const uint8_t* data = bytes.data();
    const wchar_t* extension = L"";
    if (NImageFileBMP::IsFormat(data, 0, size))
        extension = L".bmp";
    else if (NImageFilePNG::IsFormat(data, 0, size))
        extension = L".png";
    else if (NImageFileJPG::IsFormat(data, 0, size))
        extension = L".jpg";
    else if (NImageFileTGA::IsFormat(data, 0, size))
        extension = L".tga";
    std::wstring picturePath = std::wstring(unique) + extension;

    {
        const KernelHandleOwner file(CreateFileW(picturePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_TEMPORARY, nullptr));
        DWORD written = 0;
        if (file)
            WriteFile(file.Get(), data, size, &written, nullptr);
    }
    bytes.clear();
    bytes.shrink_to_fit();

    const NRESULT result = LoadImageIntoBitmap(target, picturePath.c_str(), 0, 1, nullptr, 0);
    DeleteFileW(picturePath.c_str());
    if (*extension)
        DeleteFileW(unique);
    return result;
}

// NImageFile: one picture file being read or written, and the base of every format class.
//
// An object holds the decoded picture, its metadata, the load and save options, the file name,
// how many bytes of the file the last load consumed, and the page and frame tables of
// multi-picture formats. The 24 virtual operations below, in this order, are the whole
// interface through which the factories, the recovery scan and the application use a format;
// each format class overrides what its format needs. Owners delete objects through an
// NImageFile pointer (the destructor is virtual).
//
// Every member starts at 0 or null except: resolution 96 x 96 in the metadata, the option
// defaults, and a colour count of 256.
#pragma once

#include "docobjects/NResult.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageMetadata.h"
#include "imagefile/ImageOptions.h"
#include "imagefile/PictureExtent.h"
#include "imaging/NImageBuffer.h"
#include "base/NString.h"
#include "base/ProgressSink.h"

#include <cstdint>
#include <vector>



class NImageFile {
public:
    NImageFile();
    virtual ~NImageFile();
    NImageFile(const NImageFile&) = delete;
    NImageFile& operator=(const NImageFile&) = delete;

    // preview: decode small and fast (thumbnails). quick: the caller needs the picture only,
    // so metadata, frames and further pages may be skipped. target null: the own picture.
    virtual NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target);
    // Writers: NR_INVALID_DATA for a null source, else Save with the source's picture and
    // metadata (see SaveFromSource).
    virtual NRESULT SaveFrom(const wchar_t* path, NImageFile* source);
    // picture or metadata null: the object's own.
    virtual NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata);
    virtual FileType GetFormatId() const;
    virtual void SetLoadOptions(const ImageLoadOptions* options);   // copied; null is ignored
    virtual void ResetLoadOptions();
    virtual void SetSaveOptions(const ImageSaveOptions* options);   // copied; null is ignored
    virtual void ResetSaveOptions();
    virtual bool IsMultiImage() const;
    virtual int32_t GetPageCount() const;
    virtual void SetPage(int32_t index);
    virtual bool IsAnimated() const;
    virtual int32_t ReservedOperation() const;
    virtual int32_t GetColorCount() const;
    // Frame tables: the entry for 0 <= index < length, else 0.
    virtual uint16_t GetFrameDelay(int32_t index) const;
    virtual uint8_t GetFrameDisposal(int32_t index) const;
    virtual uint16_t GetFrameTransparentIndex(int32_t index) const;
    virtual bool IsHighDynamicRange() const;
    virtual uint64_t GetConsumedSize() const;
    virtual void SetFileName(const wchar_t* name);
    // Valid until the next SetFileName or load.
    virtual const wchar_t* GetFileName() const;
    // Page-by-page writing; NR_NOT_IMPLEMENTED unless the class writes pages.
    virtual NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference);
    virtual NRESULT AddPage(NImageBuffer* page);
    virtual NRESULT EndPages();

    // Helpers for the format classes' overrides.
    // The writers' SaveFrom: NR_INVALID_DATA for a null source, else this object's Save with
    // the source's picture and metadata (this object's own are not used).
    NRESULT SaveFromSource(const wchar_t* path, NImageFile* source);
    // The current page becomes the index, but not more than the last page (0 when there are
    // no pages); compared unsigned, so a negative index also selects the last page.
    void SetPageLimitedToLast(int32_t index);

public:
    ImageMetadata metadata;
    NImageBuffer picture;            // the decoded picture when a load is given no target
    int32_t fullWidth = 0;           // size as stored in the file (a preview may be smaller)
    int32_t fullHeight = 0;
    // A load for verification only (ImageLoadOptions::verifyOnly) kept a smaller picture than
    // the file holds, or none of its pixels: fullWidth/fullHeight are the picture's real size.
    uint8_t verifiedSmaller = 0;

    // Read by the page writers; nothing sets them yet.
    uint32_t pageTotal = 0;
    NProgressSink* progressOverlay = nullptr;   // told of each page written, when set
    uint32_t pageNumber = 0;
    uint16_t pageDelay = 0;
    uint32_t pageOption = 0;
    uint32_t pageMode = 0;

    ImageLoadOptions loadOptions;
    ImageSaveOptions saveOptions;
    NString fileName;
    uint64_t consumedSize = 0;       // bytes of the file the last load consumed
    uint8_t multiImage = 0;
    int32_t pageCount = 0;
    int32_t currentPage = 0;         // the page the next load decodes
    uint8_t animated = 0;
    std::vector<uint16_t> frameDelays;           // per frame, in the format's unit
    std::vector<uint8_t> frameDisposals;
    std::vector<uint16_t> frameTransparentIndexes;   // 0xFFFF = none
    int32_t colorCount = 256;
};

// A holder without a format of its own: answers the stored id.
class NImageFileGeneric : public NImageFile {
public:
    FileType GetFormatId() const override;

    FileType formatId = 0;
};

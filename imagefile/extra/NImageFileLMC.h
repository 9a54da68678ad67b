// NImageFileLMC: the LMCDOC document format class. A document file holds a picture, a small
// preview, the picture's EXIF and XMP metadata and drawing objects above the picture
// (NObjectDocument). The object reads the picture (or the preview) and the metadata; the objects
// go to the document of the load options when one is attached, else they are dropped. Writing
// needs a document in the save options.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileLMC : public NImageFile {
public:
    // Signature check: the seven UTF-16 little-endian units "LMCDOC1", "LMCDOC2" or "LMCDOC3", the
    // letters compared without regard to case. Needs 14 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where a document at byte 0 ends: after its base picture and the object records that
    // follow, read as Load reads them (without the preview). The records have no end marker, so
    // the walk ends the document at a record id 0 (counted, as Load counts it) or at the first
    // record id that no writer uses (50, 3936, 7836): Load given only those bytes consumes them
    // all and reads the same picture. Broken for a signature or a base picture Load refuses.
    static PictureExtent FindExtent(ByteSource& source);

    // preview: the file's preview when it has one (the full size is still reported). With
    // neither flag and a document in the load options, the objects are read into it. The
    // consumed size is where reading ended: after the last object record, which runs to the
    // end of the file (or to a record id 0). 0; 103; 200 not a document; 204, 300, 302, 403
    // (NObjectDocument::Load).
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // picture or metadata null: the own. The preview is the save options' document preview when
    // it is valid, else the picture scaled to fit 200 x 200. The EXIF block written describes
    // this picture (resolution, size, orientation 1, no thumbnail); the metadata passed in is not
    // changed. 0; 400 no valid picture; 405 no document in the save options; 104, 300, 301
    // (NObjectDocument::Save).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
};

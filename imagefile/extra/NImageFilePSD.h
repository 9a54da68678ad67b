// NImageFilePSD: the PSD (Photoshop) format class. Reading takes the merged (composite) picture
// of "8BPS" version-1 files and ignores layers, resources and metadata. Writing makes an 8-bit
// RGB file with a raw composite; when the save options carry a document of drawing objects, also
// a layer-and-mask section with one layer per visible object above a background layer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NObjectDocument;

class NImageFilePSD : public NImageFile {
public:
    NImageFilePSD();
    ~NImageFilePSD() override;

    // Signature check: "8BPS". Needs 4 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where a file at byte 0 ends, as Load measures it: the end of the composite (every
    // channel), or of the run-length rows Load reads when they run further. Broken for a header
    // Load refuses (version, channels, colour mode, depth, compression, picture size).
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 0; 103 the file does not open; 200 no "8BPS"; 204 the file ends
    // before the picture data; 206 version not 1, more than 16 channels, a colour mode, depth,
    // channel layout or compression that is not read; 403 the picture cannot be made. A file
    // that ends inside the picture data loads with the rows read so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // picture null: the own picture; no metadata is written. 0; 400 no valid picture; 206 a side
    // above 30000; 300 no memory for the background layer; 104 the file cannot be created or
    // written (a partial file is removed). The save options' document preview is the composite
    // when it has the picture's size; their document gives the layers (RenderDocumentLayers).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // Writes the layer-and-mask section for the layer lists at the stream's position: the
    // last entry (the background) first, then the others from the first on, each named
    // "Glim Layer n" with n counting down from the number of layers. False when a write fails,
    // the lists differ in length or the section would not fit its 32-bit lengths.
    bool WriteLayers(FILE* file);
    // Empties both layer lists and releases their storage.
    void ClearLayers();
    // Fills the layer lists for a save of the picture with the document: every visible object
    // rendered on transparency (objects that draw nothing, and layers larger than 30000 pixels,
    // are left out), each placed at its rectangle less half the render margin, then the picture
    // itself, opaque, as the background. False when the background cannot be made.
    bool RenderDocumentLayers(NObjectDocument& document, const NImageBuffer& image);

    // One picture per layer (owned; 32 bpp with straight alpha) and its place in the picture.
    std::vector<std::unique_ptr<NImageBuffer>> layerPictures;
    std::vector<RECT> layerRects;
};

// What the format classes share whose files hold several JPEG pictures (MPO) or one JPEG picture
// split into several (JPS): their base class, which loads the pictures as a frame strip, and two
// helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "imagefile/NImageFile.h"

// The frames a class reads from its file: areas of decoded pictures.
struct JpegStripSource {
    struct Frame {
        const NImageBuffer* picture;
        int x, y, width, height;
    };
    std::vector<std::unique_ptr<NImageBuffer>> pictures;
    std::vector<Frame> frames;

    // Keeps the picture; with whole, the whole picture is the next frame.
    const NImageBuffer& Add(std::unique_ptr<NImageBuffer> picture, bool whole);
};

// The base of those classes, read only. A load with the preview or quick flag gives the first JPEG
// of the file as one picture (LoadFirstJpegPicture). Otherwise the class reads its frames from the
// open file (103 when it does not open; the class's failure as it answers it), and they come back
// as a frame strip: N frames of W x H (the size of the first) in one picture of N x H rows, frame i
// drawn at device row i x H (so, bottom-up, in block N - 1 - i of pixel memory), and the picture's
// height field set back to H when there are several; the buffer then shows the last frame. A frame
// of another size is stretched to W x H in its slot. Each frame adds a delay of 250 to the delay
// table; 403 when the strip cannot be made. Consumed size: the file position after the reading.
class NImageFileJpegStrip : public NImageFile {
public:
    // Signature check: FF D8 FF, and "JFIF", "Exif" or "Adob" at 6 (the identifier of the APP0,
    // APP1 or APP14 segment that follows the start of image). Needs 12 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;   // stored; loads always read the whole file
    bool IsAnimated() const override;

protected:
    // Reads the frames from the file (at its start). NR_OK with at least one frame; any other
    // answer is what the load answers.
    virtual NRESULT ReadFrames(FILE* file, JpegStripSource& source) = 0;
};

// The first-picture load of those classes (their preview and quick loads): decodes the first
// JPEG that starts in the first 102400 bytes of the file into target (null: the owner's own
// picture). The owner takes the file name, and the JPEG's full size and consumed size.
NRESULT LoadFirstJpegPicture(NImageFile& owner, const wchar_t* path, NImageBuffer* target);

// Where the JPEG stream that starts (with FF D8) at `start` of the bytes ends: the offset just
// past its end-of-image marker. Segments are skipped by their lengths, so JPEG data inside a
// segment (an EXIF thumbnail) is passed over. 0 when the stream is damaged or not complete.
size_t FindJpegStreamEnd(const uint8_t* bytes, size_t size, size_t start);

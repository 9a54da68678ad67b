// NImageFileMPO: the MPO (Multi Picture Object) format class, read only. An MPO file is several
// JPEG pictures stored one after another; every one found in the file is decoded.
//
// The pictures come back as a frame strip (see NImageFileJpegStrip): N pictures of W x H (the
// size of the first) in one picture of N x H rows, picture i drawn at device row i x H (so,
// bottom-up, in block N - 1 - i of pixel memory), and the picture's height field set back to H
// when there are several; the buffer then shows the last picture. A picture of another size is
// stretched to W x H in its slot. Each picture adds a delay of 250 to the delay table.
#pragma once

#include <cstdint>

#include "imagefile/formats/MultiJpeg.h"

//
// A load answers 0; 103 when the file does not open; 300 without memory for the file; 205 when no
// JPEG of the file decodes; 403 when the strip cannot be made. Consumed size: the file position
// after the last decode attempt.
class NImageFileMPO : public NImageFileJpegStrip {
public:
    FileType GetFormatId() const override;

protected:
    NRESULT ReadFrames(FILE* file, JpegStripSource& source) override;
};

// NImageFileJPS: the JPS (JPEG Stereo) format class, read only. A JPS file is one JPEG picture
// holding a side-by-side stereo pair; the class splits it into its two halves.
//
// The halves come back as a frame strip of W / 2 x 2H (see NImageFileJpegStrip): the left half
// drawn at device row 0, the right half at device row H (so, bottom-up, the right half is first
// in pixel memory), and the picture's height field set back to H; the buffer then shows the right
// half. Each half adds a delay of 250 to the delay table.
#pragma once

#include <cstdint>

#include "imagefile/formats/MultiJpeg.h"

//
// A load answers 0; 103 when the file does not open; the JPEG decoder's answer when it fails (200
// when the file is not JPEG); 403 when the strip cannot be made. Consumed size: the file position
// after decoding. A stereo pair is recognised exactly like a multi-picture object.
class NImageFileJPS : public NImageFileJpegStrip {
public:
    FileType GetFormatId() const override;

protected:
    NRESULT ReadFrames(FILE* file, JpegStripSource& source) override;
};

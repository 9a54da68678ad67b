// JxrCodec: the JPEG XR codec (jxrlib) behind a small C interface.
//
// jxrlib's headers need macros of their own (__ANSI__, no WIN32) and bring a guiddef.h that
// clashes with <windows.h>, so JxrCodec.c is the only file that sees them. Files cross this
// border as stdio streams that the caller opened (wide paths stay on the caller's side); the
// codec owns and closes every stream handed to it, on success and on failure.
#pragma once

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

// The decoder's settings. pixelFormat is one of jxrlib's 16-byte pixel-format GUIDs; the
// initial "no preference" format means the file's own.
typedef struct JxrDecodeArgs {
    uint8_t pixelFormat[16];
    uint8_t alphaMode;          // 255: chosen from the pixel format (2 with alpha, else 0)
    uint8_t bitstreamFormat;
    uint8_t subband;
    uint8_t thumbnailFactor;    // 0: full size
    uint8_t postProcessing;
} JxrDecodeArgs;

// The encoder's settings: the source pixel format and the codec parameters.
typedef struct JxrEncodeArgs {
    uint8_t pixelFormat[16];
    uint8_t quantiser;          // default quantiser index; 1 is lossless
    uint8_t colourFormat;       // 3: YUV 4:4:4
    uint8_t bitDepth;           // 1
    uint8_t overlap;            // 1: one level
    uint8_t bitstreamFormat;    // 0: spatial order
    uint8_t channels;           // 3, or 4 with alpha
    uint8_t alphaMode;          // 0, or 2 for planar alpha
    uint8_t alphaQuantiser;     // 1
} JxrEncodeArgs;

void JxrInitDecodeArgs(JxrDecodeArgs* args);
void JxrInitEncodeArgs(JxrEncodeArgs* args);

enum JxrStatus {
    JXR_OK = 0,
    JXR_DECODE_FAILED = 1,      // not JPEG XR, damaged, or the decoder failed
    JXR_UNSUPPORTED = 2,        // a pixel format that cannot be turned into B,G,R(,A)
    JXR_NO_MEMORY = 3,
    JXR_ENCODER_FAILED = 4,     // the JPEG XR encoder could not be made or initialised
    JXR_STREAM_FAILED = 5,      // the output stream could not be made
    JXR_CODEC_FACTORY_FAILED = 6,
    JXR_SOURCE_FAILED = 7,      // the BMP source could not be read
    JXR_ENCODE_FAILED = 8,      // writing the pixels failed
};

typedef struct JxrPictureInfo {
    int32_t width;
    int32_t height;
    int bitsPerPixel;           // of the decoded result: 24 (B,G,R) or 32 (B,G,R,A)
    float dpiX;
    float dpiY;
    uint8_t pixelFormatId;      // last byte of the file's own pixel-format GUID
} JxrPictureInfo;

typedef struct JxrDecoder JxrDecoder;

// Reads the file's header and chooses the output layout. *decoder is set on success only.
int JxrOpenDecoder(FILE* file, const JxrDecodeArgs* args, JxrDecoder** decoder, JxrPictureInfo* info);
// Decodes the whole picture into rows of width x bitsPerPixel / 8 bytes, top row first, `stride`
// bytes apart; `pixels` holds height x stride bytes. Writes nothing outside those rows.
int JxrDecodePixels(JxrDecoder* decoder, uint8_t* pixels, uint32_t stride);
void JxrCloseDecoder(JxrDecoder* decoder);

// Encodes the 24- or 32-bit BMP file `bmp` into `output` as JPEG XR, with the resolution given in
// dots per inch. *code receives jxrlib's error code of the failing step (0 when none).
int JxrEncodeFromBmp(FILE* bmp, FILE* output, const JxrEncodeArgs* args, float dpiX, float dpiY, int* code);

#ifdef __cplusplus
}
#endif

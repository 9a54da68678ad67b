// What the files of the JPEG format class share: libjpeg's header (kept apart from the Windows
// `boolean`), the error manager whose error exit returns to the running operation, and the
// markers' signatures.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The Windows headers define `boolean` as a byte; libjpeg was built with its own `int` boolean.
#define boolean jpeg_boolean
#include <jpeglib.h>
#undef boolean

class NImageFileJPG;

// Bytes the signature check needs from its offset.
constexpr uint64_t kJpegSignatureWindow = 10;

// The XMP namespace that begins an XMP APP1 segment, with its terminating zero: 29 bytes.
constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kXmpSignatureLength = sizeof(kXmpSignature);
static_assert(kXmpSignatureLength == 29, "28 characters and a zero byte");

// The standard error manager with a jump target behind it. __builtin_setjmp/__builtin_longjmp
// only restore the stack and frame pointers, so the return from libjpeg never walks the
// unwinding tables of libjpeg's frames. The operation that sets the target must keep every
// object with a destructor out of its own frame and the frames below it that call libjpeg.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    void* jump[5];
    NImageFileJPG* owner;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's standard manager with NImageFileJPG::ErrorExit as its error exit; owner (may be null)
// gets the message.
void SetUpJpegErrorManager(JpegErrorManager& manager, NImageFileJPG* owner);
// True when the error said the data is not JPEG.
bool IsNotJpegMessage(const JpegErrorManager& manager);

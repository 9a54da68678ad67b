// MngCallbacks: what the libmng handles of the MNG and JNG classes share: memory, the clock, a
// refresh that draws nothing, and the output stream into which a writer's chunks go.
//
// A format's I/O context derives from MngIoBase, and a handle's user data is that base: the
// shared callbacks use it directly, a format's own callbacks get their context through
// MngContextOf.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <libmng.h>

#include "base/ScopedFile.h"
#include "docobjects/NResult.h"
#include "imagefile/formats/MngStreamWalk.h"

struct MngIoBase {
    uint64_t fileSize = 0;    // of the file being read
    std::wstring path;        // output path (writers), kept whole
    FILE* file = nullptr;     // the stream libmng reads (the reader owns it)
    ScopedFile output;        // the stream libmng writes
    bool opened = false;      // the output file was created
    NRESULT result = NR_OK;
};

MngIoBase* MngIoOf(mng_handle handle);

template <typename Context>
Context* MngContextOf(mng_handle handle)
{
    return static_cast<Context*>(MngIoOf(handle));
}

// A handle whose user data is io; null when libmng fails. A reader's blocks come from the decode
// budget within the thread's MngMemoryLimit (see MngStreamWalk.h), a writer's from the heap.
mng_handle MngInitializeForReading(MngIoBase& io);
mng_handle MngInitializeForWriting(MngIoBase& io);

// What both classes set on a handle made for reading: no chunks stored, no progressive display,
// the background colour (0x00BBGGRR) under transparent pixels.
void MngSetUpReader(mng_handle handle, uint32_t background);
// Ends a load: the consumed size (see MngConsumedSize) from where libmng's reading reached, then
// the handle cleaned up and the file closed.
uint64_t MngFinishReading(mng_handle& handle, MngOpenedStream& stream);

mng_uint32 MNG_DECL MngTickCount(mng_handle);
mng_bool MNG_DECL MngRefreshNothing(mng_handle, mng_uint32, mng_uint32, mng_uint32, mng_uint32);

// Makes a handle a writer: libmng opens the stream at io.path ("wb"; 104 in io.result when that
// fails), writes to it and closes it. False when libmng refuses.
bool MngSetUpWriter(mng_handle handle);

// Ends a writer: cleans the handle up, closes a stream libmng left open (a failed write, 102),
// and removes the partial file when the result is a failure. Answers the final result.
NRESULT MngFinishWriter(mng_handle& handle, MngIoBase& io, NRESULT result);

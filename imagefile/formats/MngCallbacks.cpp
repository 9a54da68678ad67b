#include "imagefile/formats/MngCallbacks.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "imagefile/formats/MngStreamWalk.h"

namespace {

mng_ptr MNG_DECL MemAlloc(mng_size_t size)
{
    return calloc(1, size);
}

void MNG_DECL MemFree(mng_ptr pointer, mng_size_t)
{
    free(pointer);
}

mng_bool MNG_DECL OpenOutput(mng_handle handle)
{
    MngIoBase* io = MngIoOf(handle);
    if (!io)
        return MNG_FALSE;
    if (!io->output.Open(io->path.c_str(), L"wb")) {
        io->result = NR_FILE_OPEN_WRITE;
        return MNG_FALSE;
    }
    io->opened = true;
    return MNG_TRUE;
}

mng_bool MNG_DECL WriteOutput(mng_handle handle, mng_ptr buffer, mng_uint32 count, mng_uint32p written)
{
    MngIoBase* io = MngIoOf(handle);
    *written = 0;
    if (!io || !io->output)
        return MNG_FALSE;
    *written = static_cast<mng_uint32>(fwrite(buffer, 1, count, io->output.Get()));
    return *written >= count ? MNG_TRUE : MNG_FALSE;
}

mng_bool MNG_DECL CloseOutput(mng_handle handle)
{
    MngIoBase* io = MngIoOf(handle);
    if (!io || !io->output)
        return MNG_FALSE;
    return io->output.Close() ? MNG_TRUE : MNG_FALSE;
}

}  // namespace

MngIoBase* MngIoOf(mng_handle handle)
{
    return static_cast<MngIoBase*>(mng_get_userdata(handle));
}

mng_handle MngInitializeForReading(MngIoBase& io)
{
    return mng_initialize(&io, MngAllocate, MngRelease, MNG_NULL);
}

mng_handle MngInitializeForWriting(MngIoBase& io)
{
    return mng_initialize(&io, MemAlloc, MemFree, MNG_NULL);
}

void MngSetUpReader(mng_handle handle, uint32_t background)
{
    mng_set_storechunks(handle, MNG_FALSE);
    mng_set_doprogressive(handle, MNG_FALSE);
    mng_set_bgcolor(handle, static_cast<mng_uint16>(GetRValue(background) * 257),
                    static_cast<mng_uint16>(GetGValue(background) * 257),
                    static_cast<mng_uint16>(GetBValue(background) * 257));
}

uint64_t MngFinishReading(mng_handle& handle, MngOpenedStream& stream)
{
    const int64_t position = _ftelli64(stream.file.Get());
    const uint64_t consumed =
        MngConsumedSize(stream.layout, position > 0 ? static_cast<uint64_t>(position) : 0, stream.fileSize);
    mng_cleanup(&handle);
    handle = nullptr;
    stream.file.Close();
    return consumed;
}

mng_uint32 MNG_DECL MngTickCount(mng_handle)
{
    return GetTickCount();
}

mng_bool MNG_DECL MngRefreshNothing(mng_handle, mng_uint32, mng_uint32, mng_uint32, mng_uint32)
{
    return MNG_TRUE;
}

bool MngSetUpWriter(mng_handle handle)
{
    return mng_setcb_openstream(handle, OpenOutput) == MNG_NOERROR &&
           mng_setcb_closestream(handle, CloseOutput) == MNG_NOERROR &&
           mng_setcb_writedata(handle, WriteOutput) == MNG_NOERROR && mng_create(handle) == MNG_NOERROR;
}

NRESULT MngFinishWriter(mng_handle& handle, MngIoBase& io, NRESULT result)
{
    if (handle)
        mng_cleanup(&handle);
    handle = nullptr;
    if (io.output) {
        io.output.Reset();
        if (result == NR_OK)
            result = NR_FILE_ERROR;
    }
    if (result != NR_OK && io.opened)
        _wremove(io.path.c_str());
    return result;
}

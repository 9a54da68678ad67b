// RunPngGuarded: runs a piece of libpng work with a jump target armed for libpng's errors.
//
// libpng reports an error by calling the error callback and then, when the callback returns,
// jumping through the structure's jump buffer. RunPngGuarded arms that buffer with
// __builtin_setjmp/__builtin_longjmp, which only restore the stack and frame pointers: the
// return from libpng never walks unwinding tables and never ends the process.
//
// After an error the body was left in the middle, without running destructors of its own
// locals: a body keeps everything that must be released (buffers, the file, the libpng
// structures) outside its frame, in objects that its caller owns and releases afterwards.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>

#include "imagefile/DataBound.h"

namespace pngguard {

[[noreturn]] inline void JumpBack(jmp_buf target, int)
{
    __builtin_longjmp(reinterpret_cast<void**>(target), 1);
}

}  // namespace pngguard

// True when body() returned; false when libpng raised an error inside it (or no jump buffer
// could be armed).
template <typename Body>
__attribute__((noinline)) bool RunPngGuarded(png_structp png, Body& body)
{
    jmp_buf* target = png_set_longjmp_fn(png, pngguard::JumpBack, sizeof(jmp_buf));
    if (!target)
        return false;
    if (__builtin_setjmp(reinterpret_cast<void**>(*target)))
        return false;
    body();
    return true;
}

// libpng's blocks: none larger than the structure's chunk limit (libpng only warns about a
// chunk longer than that and would still allocate and read it whole).
namespace pngguard {

inline png_voidp LimitedAllocate(png_structp png, png_alloc_size_t size)
{
    const png_alloc_size_t limit = png ? png_get_chunk_malloc_max(png) : 0;
    if (limit != 0 && size > limit)
        return nullptr;
    return malloc(size);
}

inline void LimitedFree(png_structp, png_voidp block)
{
    free(block);
}

}  // namespace pngguard

// png_create_read_struct with the limited allocator.
inline png_structp CreatePngReadStruct(png_voidp errorPointer, png_error_ptr onError, png_error_ptr onWarning)
{
    return png_create_read_struct_2(PNG_LIBPNG_VER_STRING, errorPointer, onError, onWarning, nullptr,
                                    pngguard::LimitedAllocate, pngguard::LimitedFree);
}

// libpng's own limits for reading a file of fileLength bytes: no chunk (or decompressed text or
// profile) larger than the file, or than 64 MB where deflate could make it so; the picture's
// size is checked by the reader against the file (DataBound).
inline void LimitPngMemory(png_structp png, uint64_t fileLength)
{
    constexpr uint64_t kInflatedChunkLimit = uint64_t{64} << 20;
    uint64_t limit = fileLength > kInflatedChunkLimit / DataBound::kDeflate ? kInflatedChunkLimit
                                                                            : fileLength * DataBound::kDeflate;
    if (limit < fileLength + 65536)
        limit = fileLength + 65536;
    png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(limit));
    png_set_chunk_cache_max(png, 1000);
}


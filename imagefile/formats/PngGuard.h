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

// Texts of the image library's progress reports.
//
// The library shows texts only on a progress sink a caller handed it. The texts themselves come
// from whoever runs the library: the application sets a text source that looks them up in its
// language table (checked against the arguments they are formatted with); without one, or when
// the table has no fitting text, the built-in English text is used.
#pragma once

#include "base/NString.h"

class NProgressSink;

// section, key: where the text is kept; argumentKinds: the printf arguments the text must take
// (see the window framework's format check: 'd' int, 's' wide string, 'f' double); builtIn: the
// text to answer when there is none that fits.
using ImageTextSource = NString (*)(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                                    const wchar_t* builtIn);
// Null removes it.
void SetImageTextSource(ImageTextSource source);
NString GetImageFormatText(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                           const wchar_t* builtIn);

// Shows "<path>:\r\n<line>" on the sink, the line being the text of section "Dlg_CreateAnimation"
// and key (builtIn when there is none) with number and count; then lets up to 100 of the calling
// thread's pending messages run, so that a window showing the sink stays alive. Nothing without a
// sink.
void ReportFrameProgress(NProgressSink* sink, const wchar_t* key, const wchar_t* builtIn, const wchar_t* path,
                         int number, int count);

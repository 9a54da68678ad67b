// Texts of the image library's progress reports.
//
// The library shows texts only on a progress sink a caller handed it. The texts themselves come
// from the library's text source (LibraryTexts.h), checked against the arguments they are
// formatted with; without one, or when the table has no fitting text, the built-in English text
// is used.
#pragma once

class NProgressSink;

// Shows "<path>:\r\n<line>" on the sink, the line being the text of section "Dlg_CreateAnimation"
// and key (builtIn when there is none) with number and count; then lets up to 100 of the calling
// thread's pending messages run, so that a window showing the sink stays alive. Nothing without a
// sink.
void ReportFrameProgress(NProgressSink* sink, const wchar_t* key, const wchar_t* builtIn, const wchar_t* path,
                         int number, int count);

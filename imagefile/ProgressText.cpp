#include "imagefile/ProgressText.h"

#include <windows.h>

#include "base/NString.h"
#include "base/ProgressSink.h"
#include "imagefile/LibraryTexts.h"

namespace {

// Runs at most limit pending messages of this thread. A quit message ends the pumping and is
// posted again for the thread's own loop.
void PumpPendingMessages(int limit)
{
    MSG message;
    for (int i = 0; i < limit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

void ReportFrameProgress(NProgressSink* sink, const wchar_t* key, const wchar_t* builtIn, const wchar_t* path,
                         int number, int count)
{
    if (!sink)
        return;
    const NString format = GetLibraryFormatText(L"Dlg_CreateAnimation", key, L"dd", builtIn);
    NString line;
    line.Format(format.c_str(), number, count);
    NString message;
    message.Format(L"%s:\r\n%s", path ? path : L"", line.c_str());
    sink->SetText(message.c_str());
    PumpPendingMessages(100);
}

// Result list benchmark: the time until the result list shows its first tiles for a folder of
// kept pictures, and the time to draw every tile once (scrolling through the whole list).
// Thumbnails are made when a tile is first drawn, so the first figure grows with the visible
// tiles only. Usage: result_bench [pictures=500] [width=1600] [height=1200]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ResultList.h"
#include "bench/BenchClock.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageFactory.h"

namespace {

ResultList* g_list = nullptr;
int g_tilesDrawn = 0;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && g_list) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        switch (header->code) {
        case LVN_GETDISPINFOW:
            return g_list->GetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        case NM_CUSTOMDRAW: {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
            const LRESULT result = g_list->OnCustomDraw(draw);
            if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && result == CDRF_SKIPDEFAULT)
                ++g_tilesDrawn;
            return result;
        }
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int count = argc > 1 ? _wtoi(argv[1]) : 500;
    const int width = argc > 2 ? _wtoi(argv[2]) : 1600;
    const int height = argc > 3 ? _wtoi(argv[3]) : 1200;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"result_bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH];
        swprintf(path, MAX_PATH, L"%ls\\VSTScan%04d.jpg", folder.c_str(), i + 1);
        if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
            continue;
        NImageBuffer picture;
        picture.Create(width, height, 24, RGB(40 + i % 200, 90, 160));
        SaveImageFile(&picture, path, FT_JPG, nullptr);
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ResultBenchHost";
    RegisterClassW(&windowClass);

    const double start = BenchSeconds();
    HWND host = CreateWindowExW(0, L"ResultBenchHost", L"Result bench", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 560, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA |
                                    LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER,
                                0, 0, 980, 520, host, reinterpret_cast<HMENU>(40027), windowClass.hInstance, nullptr);
    ResultList results;
    g_list = &results;
    results.Setup(host, list);
    results.SetViewMode(ResultList::kViewIcons);
    results.Fill(folder.c_str());
    ShowWindow(host, SW_SHOWNORMAL);
    UpdateWindow(host);
    Pump();
    const double shown = BenchSeconds();
    const int firstTiles = g_tilesDrawn;

    // Every tile once: scroll page by page to the end.
    for (int i = 0; i < results.GetCount(); ++i) {
        SendMessageW(list, LVM_ENSUREVISIBLE, i, FALSE);
        UpdateWindow(list);
    }
    Pump();
    const double all = BenchSeconds();

    wprintf(L"%d pictures of %dx%d, %d listed\n", count, width, height, results.GetCount());
    wprintf(L"first view: %.3f s (%d tiles drawn)\n", shown - start, firstTiles);
    wprintf(L"every tile once: %.3f s (%d tiles drawn in all)\n", all - start, g_tilesDrawn);
    g_list = nullptr;
    results.Clear();
    DestroyWindow(host);
    return 0;
}
